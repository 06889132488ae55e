#include "app/chart/ChartProjection.h"

#include <QTest>

#include <cmath>

// The projection in twips, against points read off the chart's own grid.
class TestChartProjection : public QObject {
    Q_OBJECT

private slots:
    void landsOnTheGrid_data();
    void landsOnTheGrid();
};

void TestChartProjection::landsOnTheGrid_data()
{
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");

    const double diagonal = std::sqrt(0.5);
    QTest::newRow("east, on the 30 degree circle") << 90.0 << 30.0 << 1800.0 << 1200.0;
    QTest::newRow("south, on the 60 degree circle") << 180.0 << 60.0 << 1200.0 << 1500.0;
    QTest::newRow("zenith from the north") << 0.0 << 90.0 << 1200.0 << 1200.0;
    QTest::newRow("zenith from the south-west") << 237.5 << 90.0 << 1200.0 << 1200.0;
    QTest::newRow("north horizon, straight up") << 0.0 << 0.0 << 1200.0 << 300.0;
    QTest::newRow("due north given as 360") << 360.0 << 0.0 << 1200.0 << 300.0;
    QTest::newRow("west horizon, left") << 270.0 << 0.0 << 300.0 << 1200.0;
    QTest::newRow("north-east at 45, up and right") << 45.0 << 45.0 << 1200 + 450 * diagonal << 1200 - 450 * diagonal;
    QTest::newRow("south-east just above the horizon, inside it")
        << 135.0 << 0.01 << 1200 + 899.9 * diagonal << 1200 + 899.9 * diagonal;
}

void TestChartProjection::landsOnTheGrid()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(double, x);
    QFETCH(double, y);

    const chart::ChartPoint p = chart::projectSun(azimuth, elevation);
    // The literal pi leaves errors of order 1e-12 twips; a pixel is 15.
    QVERIFY2(std::abs(p.x - x) < 1e-6 && std::abs(p.y - y) < 1e-6,
             qPrintable(QStringLiteral("expected (%1, %2), got (%3, %4)")
                            .arg(x, 0, 'f', 9)
                            .arg(y, 0, 'f', 9)
                            .arg(p.x, 0, 'f', 9)
                            .arg(p.y, 0, 'f', 9)));
}

QTEST_APPLESS_MAIN(TestChartProjection)
#include "tst_chartprojection.moc"
