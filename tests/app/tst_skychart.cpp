#include "app/chart/ChartProjection.h"
#include "app/chart/SkyChart.h"

#include <QtTest>

#include <QPalette>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

using solar::Notice;
using solar::SkyStep;

Q_DECLARE_METATYPE(Notice::Kind)

namespace {

constexpr double kTwipsPerPixel = 15;
const QRgb kPaper = qRgb(255, 255, 255);
const QRgb kInk = qRgb(0, 0, 0);

// A chart on a known palette, so that "ink" and "paper" are exact colours.
std::unique_ptr<SkyChart> makeChart()
{
    auto chart = std::make_unique<SkyChart>();
    QPalette palette = chart->palette();
    palette.setColor(QPalette::Window, QColor(kPaper));
    palette.setColor(QPalette::WindowText, QColor(kInk));
    chart->setPalette(palette);
    return chart;
}

SkyStep day(double azimuth, double elevation, bool marker)
{
    return {true, marker, azimuth, elevation};
}

SkyStep night()
{
    return {false, false, 200, -12};
}

QPoint pixelAt(double xTwips, double yTwips, qreal scale = 1)
{
    return {static_cast<int>(std::floor(xTwips / kTwipsPerPixel * scale)),
            static_cast<int>(std::floor(yTwips / kTwipsPerPixel * scale))};
}

QRect pixelRect(const QRectF& twips, qreal scale = 1)
{
    return QRect(pixelAt(twips.left(), twips.top(), scale), pixelAt(twips.right(), twips.bottom(), scale) - QPoint(1, 1));
}

bool isRed(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) < 100 && qBlue(c) < 100;
}

// Pixels in the rectangle (twips) that are not paper.
int inkIn(const QImage& image, const QRectF& twips, qreal scale = 1)
{
    const QRect r = pixelRect(twips, scale).intersected(image.rect());
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x)
            count += image.pixel(x, y) != kPaper ? 1 : 0;
    }
    return count;
}

// Ink within `slack` pixels of a point given in twips.
bool inkNear(const QImage& image, double xTwips, double yTwips, qreal scale = 1, int slack = 1)
{
    const QPoint p = pixelAt(xTwips, yTwips, scale);
    for (int dy = -slack; dy <= slack; ++dy) {
        for (int dx = -slack; dx <= slack; ++dx) {
            const QPoint q = p + QPoint(dx, dy);
            if (image.rect().contains(q) && image.pixel(q) != kPaper)
                return true;
        }
    }
    return false;
}

std::vector<QPoint> redPixels(const QImage& image)
{
    std::vector<QPoint> red;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isRed(image.pixel(x, y)))
                red.emplace_back(x, y);
        }
    }
    return red;
}

bool allPaper(const QImage& image)
{
    return inkIn(image, QRectF(0, 0, image.width() * kTwipsPerPixel, image.height() * kTwipsPerPixel)) == 0;
}

// Where the notices stand: the top-left corner by day, the bottom by night.
// Chosen clear of the grid's circles, axes and labels.
const QRectF kDayBand(0, 0, 700, 380);
const QRectF kNightLeftBand(0, 2100, 700, 200);
const QRectF kNightRightBand(1600, 2100, 800, 450);

QImage widgetPixels(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestSkyChart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startUpDrawsTheGridOnly();
    void labelsHangFromTheirPoint();
    void markerFollowsTheStep_data();
    void markerFollowsTheStep();
    void markerIsTheRedDiscOfRadius80();
    void unusablePositionDrawsNoMarker();
    void noticeStandsWhereTheKindSays_data();
    void noticeStandsWhereTheKindSays();
    void noticeTexts();
    void eachSkyStepStartsFromAnEmptyArea();
    void clearEmptiesEverything();
    void widgetShowsTheKeptDrawing();
    void drawingSurvivesHideShowAndResize();
    void colourChangeRedrawsTheGrid();
    void linesStaySharpAtDoubleDensity();
    void cycleRedrawMedian();
    void cycleRedrawBenchmark();
};

void TestSkyChart::initTestCase()
{
    // The window sets this font for the whole application.
    QApplication::setFont(QFont(QStringLiteral("IPAGothic")));
}

void TestSkyChart::startUpDrawsTheGridOnly()
{
    auto chart = makeChart();
    QVERIFY(chart->focusPolicy() & Qt::TabFocus);
    QVERIFY2(allPaper(chart->chartImage()), "a fresh area is blank");

    chart->drawStartUp();
    const QImage image = chart->chartImage();
    QCOMPARE(image.size(), QSize(189, 173));

    // The three circles, probed off the axes at 45 degrees, and the gaps between them.
    const double diagonal = std::sqrt(0.5);
    for (const double r : {900.0, 600.0, 300.0})
        QVERIFY2(inkNear(image, 1200 + r * diagonal, 1200 + r * diagonal), qPrintable(QString::number(r)));
    for (const double r : {150.0, 450.0, 750.0})
        QVERIFY2(!inkNear(image, 1200 + r * diagonal, 1200 - r * diagonal), qPrintable(QString::number(r)));
    // Outermost points of the horizon circle, where only an axis passes too.
    QVERIFY(inkNear(image, 1200, 300));
    QVERIFY(inkNear(image, 2100, 1200));
    // The axes reach out to the chart's edge, beyond the horizon.
    QVERIFY(inkNear(image, 100, 1200, 1, 0));
    QVERIFY(inkNear(image, 2350, 1200, 1, 0));
    QVERIFY(inkNear(image, 1200, 100, 1, 0));
    QVERIFY(inkNear(image, 1200, 2350, 1, 0));

    // Grid only: no marker, no notice, and nothing outside the 2400 square.
    QVERIFY(redPixels(image).empty());
    QCOMPARE(inkIn(image, kDayBand), 0);
    QCOMPARE(inkIn(image, kNightLeftBand), 0);
    QCOMPARE(inkIn(image, kNightRightBand), 0);
    QCOMPARE(inkIn(image, QRectF(2430, 0, 400, 2595)), 0);
    QVERIFY(chart->drawnTexts().isEmpty());

    // Drawing the start-up twice changes nothing.
    chart->drawStartUp();
    QCOMPARE(chart->chartImage(), image);
}

void TestSkyChart::labelsHangFromTheirPoint()
{
    // Each label's first character has its top-left corner at the point: ink in
    // the text-sized box below and right of it, none in the same-sized box above.
    auto chart = makeChart();
    chart->drawStartUp();
    const QImage image = chart->chartImage();
    struct Label {
        const char* name;
        double x;
        double y;
    };
    for (const Label& l : {Label{"N", 1250, 0}, Label{"W", 0, 1210}, Label{"E", 2300, 1210},
                           Label{"S", 1250, 2300}, Label{"0°", 2125, 1000}, Label{"30°", 1825, 1000},
                           Label{"60°", 1525, 1000}}) {
        QVERIFY2(inkIn(image, QRectF(l.x, l.y, 180, 180)) > 5, l.name);
    }
    // Where nothing else is drawn just above a letter, it must not rise above its point.
    for (const Label& l : {Label{"W", 0, 1210}, Label{"E", 2300, 1210}, Label{"S", 1250, 2300}})
        QVERIFY2(inkIn(image, QRectF(l.x + 30, l.y - 180, 120, 165)) == 0, l.name);
}

void TestSkyChart::markerFollowsTheStep_data()
{
    QTest::addColumn<SkyStep>("step");
    QTest::addColumn<bool>("red");

    QTest::newRow("day, marker, east at 30") << day(90, 30, true) << true;
    QTest::newRow("day, marker, south at 60") << day(180, 60, true) << true;
    QTest::newRow("day, marker, zenith") << day(123, 90, true) << true;
    QTest::newRow("day, marker, just above the horizon") << day(135, 0.01, true) << true;
    QTest::newRow("day, blink phase off") << day(90, 30, false) << false;
    QTest::newRow("night") << night() << false;
    // The cycle never asks for this; night must still show no sun.
    QTest::newRow("night, marker asked for") << SkyStep{false, true, 90, 30} << false;
}

void TestSkyChart::markerFollowsTheStep()
{
    QFETCH(SkyStep, step);
    QFETCH(bool, red);

    auto chart = makeChart();
    chart->drawStartUp();
    chart->drawSky(step);
    const QImage image = chart->chartImage();

    QCOMPARE(!redPixels(image).empty(), red);
    if (red) {
        const ::chart::ChartPoint centre = ::chart::projectSun(step.azimuthDeg, step.elevationDeg);
        QCOMPARE(image.pixel(pixelAt(centre.x, centre.y)), qRgb(255, 0, 0));
    }
    // The grid is always redrawn.
    QVERIFY(inkNear(image, 100, 1200, 1, 0));
}

void TestSkyChart::markerIsTheRedDiscOfRadius80()
{
    auto chart = makeChart();
    chart->drawSky(day(90, 30, true));  // centre (1800, 1200)
    const QImage image = chart->chartImage();
    const std::vector<QPoint> red = redPixels(image);
    // Radius 80 twips plus the half-pixel outline: about 5.8 px, about 106 px of area.
    QVERIFY2(red.size() > 80 && red.size() < 135, qPrintable(QString::number(red.size())));
    const QPointF centre(1800 / kTwipsPerPixel + 0.5, 1200 / kTwipsPerPixel + 0.5);
    for (const QPoint& p : red) {
        const QPointF d = QPointF(p) + QPointF(0.5, 0.5) - centre;
        QVERIFY2(std::hypot(d.x(), d.y()) < 6.5, qPrintable(QStringLiteral("red at %1,%2").arg(p.x()).arg(p.y())));
    }
    // Filled: solid red all over its inner part.
    for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx)
            QCOMPARE(image.pixel(120 + dx, 80 + dy), qRgb(255, 0, 0));
    }
}

void TestSkyChart::unusablePositionDrawsNoMarker()
{
    auto chart = makeChart();
    chart->drawStartUp();
    const QImage gridOnly = chart->chartImage();
    for (const SkyStep& step : {day(qQNaN(), 30, true), day(90, qInf(), true), day(90, -qInf(), true),
                                day(1e308, 45, true), day(90, -1e300, true)}) {
        chart->drawSky(step);
        QCOMPARE(chart->chartImage(), gridOnly);
    }
}

void TestSkyChart::noticeStandsWhereTheKindSays_data()
{
    QTest::addColumn<Notice::Kind>("kind");
    QTest::addColumn<bool>("sunUp");
    QTest::addColumn<bool>("top");
    QTest::addColumn<bool>("bottom");

    QTest::newRow("sunset") << Notice::Kind::Sunset << true << true << false;
    QTest::newRow("sunset unknown") << Notice::Kind::SunsetUnknown << true << true << false;
    QTest::newRow("next sunrise") << Notice::Kind::NextSunrise << false << false << true;
    QTest::newRow("next sunrise unknown") << Notice::Kind::NextSunriseUnknown << false << false << true;
    QTest::newRow("observer invalid") << Notice::Kind::ObserverInvalid << false << true << false;
}

void TestSkyChart::noticeStandsWhereTheKindSays()
{
    QFETCH(Notice::Kind, kind);
    QFETCH(bool, sunUp);
    QFETCH(bool, top);
    QFETCH(bool, bottom);

    auto chart = makeChart();
    chart->drawSky(sunUp ? day(120, 20, false) : night());
    chart->drawNotice({kind, 18, 5});
    const QImage image = chart->chartImage();
    // Both lines of a top notice: the first at the corner, the time 200 below.
    QCOMPARE(inkIn(image, QRectF(0, 0, 700, 180)) > 0, top);
    QCOMPARE(inkIn(image, QRectF(0, 200, 700, 180)) > 0, top);
    QCOMPARE(inkIn(image, kNightLeftBand) > 0, bottom);
    QCOMPARE(inkIn(image, kNightRightBand) > 0, bottom);
    // The night's time stands under "次の日の出は".
    QCOMPARE(inkIn(image, QRectF(1525, 2300, 700, 180)) > 0, bottom);
}

void TestSkyChart::noticeTexts()
{
    auto chart = makeChart();
    auto notice = [&](Notice n) {
        chart->drawSky(night());
        chart->drawNotice(n);
        return chart->drawnTexts();
    };
    const QString unknown = QStringLiteral("計算できません");

    QCOMPARE(notice({Notice::Kind::Sunset, 18, 5}), QStringList({"日の入りは", "18時5分"}));
    QCOMPARE(notice({Notice::Kind::Sunset, 6, 0}), QStringList({"日の入りは", "6時0分"}));
    QCOMPARE(notice({Notice::Kind::NextSunrise, 4, 47}), QStringList({"沈んでます。", "次の日の出は", "4時47分"}));
    // Values are shown as received, not rounded.
    QCOMPARE(notice({Notice::Kind::NextSunrise, 4, 47.5}), QStringList({"沈んでます。", "次の日の出は", "4時47.5分"}));
    // An unknown time is said to be unknown, never shown as a made-up hour.
    QCOMPARE(notice({Notice::Kind::SunsetUnknown, 18, 5}), QStringList({"日の入りは", unknown}));
    QCOMPARE(notice({Notice::Kind::NextSunriseUnknown, 4, 47}), QStringList({"沈んでます。", "次の日の出は", unknown}));
    QCOMPARE(notice({Notice::Kind::Sunset, qQNaN(), 5}), QStringList({"日の入りは", unknown}));
    QCOMPARE(notice({Notice::Kind::NextSunrise, 4, qInf()}), QStringList({"沈んでます。", "次の日の出は", unknown}));
    QCOMPARE(notice({Notice::Kind::ObserverInvalid, 0, 0}), QStringList({"観測点の緯度・経度を", "確認してください"}));

    // A NaN time draws exactly what "cannot compute" draws.
    chart->drawSky(night());
    chart->drawNotice({Notice::Kind::SunsetUnknown, 0, 0});
    const QImage unknownImage = chart->chartImage();
    chart->drawSky(night());
    chart->drawNotice({Notice::Kind::Sunset, qQNaN(), qQNaN()});
    QCOMPARE(chart->chartImage(), unknownImage);
}

void TestSkyChart::eachSkyStepStartsFromAnEmptyArea()
{
    auto chart = makeChart();
    chart->drawStartUp();
    const QImage gridOnly = chart->chartImage();

    chart->drawSky(day(90, 30, true));
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    QVERIFY(!redPixels(chart->chartImage()).empty());

    // The next tick is night: neither the sun nor the sunset notice survives.
    chart->drawSky(night());
    QCOMPARE(chart->chartImage(), gridOnly);
    QVERIFY(chart->drawnTexts().isEmpty());
}

void TestSkyChart::clearEmptiesEverything()
{
    auto chart = makeChart();
    chart->drawSky(day(90, 30, true));
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    // Drawing the same notice again without clearing adds nothing to keep.
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    QCOMPARE(chart->drawnTexts().size(), 2);

    chart->clear();
    QVERIFY(allPaper(chart->chartImage()));
    QVERIFY(allPaper(chart->chartImage(2.0)));
    QVERIFY(chart->drawnTexts().isEmpty());

    // A notice on a cleared area stands alone, without the grid.
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    const QImage image = chart->chartImage();
    QVERIFY(inkIn(image, kDayBand) > 0);
    QVERIFY(!inkNear(image, 100, 1200, 1, 0));
}

void TestSkyChart::widgetShowsTheKeptDrawing()
{
    auto chart = makeChart();
    chart->resize(chart->sizeHint());
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    chart->drawSky(day(90, 30, true));
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});

    // Inside its one-pixel border the widget shows exactly the kept drawing.
    const QImage shown = widgetPixels(*chart);
    const QImage kept = chart->chartImage();
    const QRect inner(0, 0, shown.width() - 2, shown.height() - 2);
    QCOMPARE(shown.copy(inner.translated(1, 1)), kept.copy(inner));
}

void TestSkyChart::drawingSurvivesHideShowAndResize()
{
    auto chart = makeChart();
    chart->resize(chart->sizeHint());
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    chart->drawSky(day(180, 60, true));
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    const QImage before = widgetPixels(*chart);
    QVERIFY(!redPixels(before).empty());

    chart->hide();
    QCoreApplication::processEvents();
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    QCOMPARE(widgetPixels(*chart), before);

    chart->resize(60, 40);
    QCoreApplication::processEvents();
    chart->resize(400, 300);
    QCoreApplication::processEvents();
    const QImage large = widgetPixels(*chart);
    QCOMPARE(large.copy(1, 1, 170, 170), before.copy(1, 1, 170, 170));
    chart->resize(chart->sizeHint());
    QCoreApplication::processEvents();
    QCOMPARE(widgetPixels(*chart), before);
}

void TestSkyChart::colourChangeRedrawsTheGrid()
{
    auto chart = makeChart();
    chart->resize(chart->sizeHint());
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    chart->drawStartUp();
    (void)widgetPixels(*chart);  // the grid is now cached in the old colours

    QPalette dark = chart->palette();
    const QRgb paper = qRgb(20, 20, 40);
    const QRgb ink = qRgb(230, 230, 0);
    dark.setColor(QPalette::Window, QColor(paper));
    dark.setColor(QPalette::WindowText, QColor(ink));
    chart->setPalette(dark);
    const QImage shown = widgetPixels(*chart);
    // Inside the border: the horizontal axis in the new ink, the paper around it new too.
    QCOMPARE(shown.pixel(1 + 5, 1 + 80), ink);
    QCOMPARE(shown.pixel(1 + 5, 1 + 70), paper);
    QCOMPARE(chart->chartImage().pixel(5, 80), ink);
}

void TestSkyChart::linesStaySharpAtDoubleDensity()
{
    auto chart = makeChart();
    chart->drawStartUp();
    chart->drawSky(day(90, 30, true));
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});

    // One logical pixel of axis: exactly one row at 1x, exactly two at 2x,
    // in full ink with clean paper on both sides.
    const QImage single = chart->chartImage(1.0);
    QCOMPARE(single.pixel(10, 79), kPaper);
    QCOMPARE(single.pixel(10, 80), kInk);
    QCOMPARE(single.pixel(10, 81), kPaper);
    const QImage doubled = chart->chartImage(2.0);
    QCOMPARE(doubled.size(), QSize(378, 346));
    QCOMPARE(doubled.pixel(20, 159), kPaper);
    QCOMPARE(doubled.pixel(20, 160), kInk);
    QCOMPARE(doubled.pixel(20, 161), kInk);
    QCOMPARE(doubled.pixel(20, 162), kPaper);
    QCOMPARE(doubled.pixel(159, 20), kPaper);
    QCOMPARE(doubled.pixel(160, 20), kInk);
    QCOMPARE(doubled.pixel(161, 20), kInk);
    QCOMPARE(doubled.pixel(162, 20), kPaper);

    // Everything else lands at twice the coordinates, drawn at full resolution.
    const double diagonal = std::sqrt(0.5);
    for (const double r : {900.0, 600.0, 300.0})
        QVERIFY(inkNear(doubled, 1200 + r * diagonal, 1200 + r * diagonal, 2.0, 2));
    QCOMPARE(doubled.pixel(pixelAt(1800, 1200, 2.0)), qRgb(255, 0, 0));
    QVERIFY(inkIn(doubled, kDayBand, 2.0) > 4 * inkIn(single, kDayBand) / 2);
}

namespace {

// One cycle's chart work as the window does it: sky step, notice, repaint.
struct CycleDriver {
    std::unique_ptr<SkyChart> chart = makeChart();
    int tick = 0;

    bool start()
    {
        chart->resize(chart->sizeHint());
        chart->show();
        if (!QTest::qWaitForWindowExposed(chart.get()))
            return false;
        chart->drawStartUp();
        chart->repaint();
        return true;
    }
    void cycle()
    {
        chart->drawSky(day(150 + 0.001 * tick, 40, (tick & 1) != 0));
        chart->drawNotice({Notice::Kind::Sunset, 18, 5});
        chart->repaint();
        ++tick;
    }
};

}  // namespace

void TestSkyChart::cycleRedrawMedian()
{
    CycleDriver driver;
    QVERIFY(driver.start());
    std::vector<double> micros;
    for (int i = 0; i < 2000; ++i) {
        const auto start = std::chrono::steady_clock::now();
        driver.cycle();
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
    qInfo("median chart redraw: %.1f us over %zu cycles", micros[micros.size() / 2], micros.size());
}

void TestSkyChart::cycleRedrawBenchmark()
{
    CycleDriver driver;
    QVERIFY(driver.start());
    QBENCHMARK {
        driver.cycle();
    }
}

QTEST_MAIN(TestSkyChart)
#include "tst_skychart.moc"
