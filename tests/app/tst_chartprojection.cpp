#include "app/chart/ChartProjection.h"

#include <QtTest>

#include <cmath>

// The projection in twips, against points read off the chart's own grid.
class TestChartProjection : public QObject {
    Q_OBJECT

private slots:
    void landsOnTheGrid_data();
    void landsOnTheGrid();
    void justAboveTheHorizonStaysInside();
};

void TestChartProjection::landsOnTheGrid_data()
{
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");

    QTest::newRow("east, on the 30 degree circle") << 90.0 << 30.0 << 1800.0 << 1200.0;
    QTest::newRow("south, on the 60 degree circle") << 180.0 << 60.0 << 1200.0 << 1500.0;
    QTest::newRow("zenith from the north") << 0.0 << 90.0 << 1200.0 << 1200.0;
    QTest::newRow("zenith from the south-west") << 237.5 << 90.0 << 1200.0 << 1200.0;
    QTest::newRow("north horizon, straight up") << 0.0 << 0.0 << 1200.0 << 300.0;
    QTest::newRow("east horizon, right") << 90.0 << 0.0 << 2100.0 << 1200.0;
    QTest::newRow("south horizon, down") << 180.0 << 0.0 << 1200.0 << 2100.0;
    QTest::newRow("west horizon, left") << 270.0 << 0.0 << 300.0 << 1200.0;
    QTest::newRow("due north given as 360") << 360.0 << 0.0 << 1200.0 << 300.0;
    // r = 450 at 45 degrees clockwise from north: up and to the right.
    QTest::newRow("north-east at 45") << 45.0 << 45.0 << 1200 + 450 * std::sqrt(0.5) << 1200 - 450 * std::sqrt(0.5);
}

void TestChartProjection::landsOnTheGrid()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(double, x);
    QFETCH(double, y);

    const chart::ChartPoint p = chart::projectSun(azimuth, elevation);
    // The literal pi leaves errors of order 1e-12 twips; a pixel is 15.
    const double tolerance = 1e-6;
    QVERIFY2(std::abs(p.x - x) < tolerance && std::abs(p.y - y) < tolerance,
             qPrintable(QStringLiteral("expected (%1, %2), got (%3, %4)")
                            .arg(x, 0, 'f', 9)
                            .arg(y, 0, 'f', 9)
                            .arg(p.x, 0, 'f', 9)
                            .arg(p.y, 0, 'f', 9)));
}

void TestChartProjection::justAboveTheHorizonStaysInside()
{
    for (const double azimuth : {0.0, 45.0, 135.0, 200.0, 315.0}) {
        const chart::ChartPoint p = chart::projectSun(azimuth, 0.01);
        const double r = std::hypot(p.x - 1200, p.y - 1200);
        QVERIFY2(r < 900 && r > 899.8, qPrintable(QStringLiteral("azimuth %1: r = %2").arg(azimuth).arg(r)));
    }
}

QTEST_APPLESS_MAIN(TestChartProjection)
#include "tst_chartprojection.moc"
