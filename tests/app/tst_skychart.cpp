#include "app/chart/ChartProjection.h"
#include "app/chart/SkyChart.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <memory>

using solar::Notice;
using solar::SkyStep;

Q_DECLARE_METATYPE(Notice::Kind)

namespace {

const QRgb kPaper = qRgb(255, 255, 255);
const QRgb kInk = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);

// A chart on a known palette, so that ink and paper are exact colours.
std::unique_ptr<SkyChart> makeChart(QRgb paper = kPaper, QRgb ink = kInk)
{
    auto chart = std::make_unique<SkyChart>();
    QPalette palette = chart->palette();
    palette.setColor(QPalette::Window, QColor(paper));
    palette.setColor(QPalette::WindowText, QColor(ink));
    chart->setPalette(palette);
    return chart;
}

const SkyStep kNight{false, false, 200, -12};

QPoint pixelAt(double xTwips, double yTwips, qreal scale = 1)
{
    return {int(std::floor(xTwips / chart::kTwipsPerPixel * scale)), int(std::floor(yTwips / chart::kTwipsPerPixel * scale))};
}

// Pixels of the rectangle (twips) that are not paper, or that are red.
int count(const QImage& image, const QRectF& twips, bool red = false, qreal scale = 1)
{
    const QRect r = QRect(pixelAt(twips.left(), twips.top(), scale), pixelAt(twips.right(), twips.bottom(), scale))
                        .adjusted(0, 0, -1, -1)
                        .intersected(image.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            n += red ? (qRed(c) > 200 && qGreen(c) < 100 && qBlue(c) < 100) : c != kPaper;
        }
    }
    return n;
}

const QRectF kWhole(0, 0, 2835, 2595);

// Ink within a pixel of a point given in twips.
bool inkNear(const QImage& image, double x, double y, qreal scale = 1)
{
    const double pixel = chart::kTwipsPerPixel / scale;
    return count(image, QRectF(x - pixel, y - pixel, 3 * pixel, 3 * pixel), false, scale) > 0;
}

// Where the notices stand, clear of the grid: the top-left corner by day, the
// bottom by night ("沈んでます。" left, "次の日の出は" and the time right).
const QRectF kDayBand(0, 0, 700, 380);
const QRectF kNightLeft(0, 2100, 700, 200);
const QRectF kNightRight(1600, 2100, 800, 450);

QImage shown(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestSkyChart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startUpDrawsTheGridOnly();
    void compassLettersHangFromTheirPoints();
    void markerFollowsTheStep_data();
    void markerFollowsTheStep();
    void noticeFollowsItsKind_data();
    void noticeFollowsItsKind();
    void clearingEmptiesTheArea();
    void widgetKeepsShowingTheDrawing();
    void linesStaySharpAtDoubleDensity();
    void cycleRedraw();
};

void TestSkyChart::initTestCase()
{
    // The window sets this font for the whole application.
    QApplication::setFont(QFont(QStringLiteral("IPAGothic")));
}

void TestSkyChart::startUpDrawsTheGridOnly()
{
    auto chart = makeChart();
    QCOMPARE(count(chart->chartImage(), kWhole), 0);
    chart->drawStartUp();
    const QImage image = chart->chartImage();

    // The circles, probed off the axes at 45 degrees, and the gaps between them.
    const double d = std::sqrt(0.5);
    for (const double r : {900.0, 600.0, 300.0})
        QVERIFY2(inkNear(image, 1200 + r * d, 1200 + r * d), qPrintable(QString::number(r)));
    for (const double r : {150.0, 450.0, 750.0})
        QVERIFY2(!inkNear(image, 1200 - r * d, 1200 + r * d), qPrintable(QString::number(r)));
    // The axes run out to the chart's edge, beyond the horizon, and no further.
    for (const QPointF& p : {QPointF(100, 1200), QPointF(2350, 1200), QPointF(1200, 100), QPointF(1200, 2350)})
        QVERIFY(image.pixel(pixelAt(p.x(), p.y())) == kInk);
    QCOMPARE(count(image, QRectF(2430, 0, 405, 2595)), 0);

    // Each label's first character hangs from its point: ink in the text-sized
    // box below and right of it; for the letters with nothing else above them,
    // none in the box above.
    for (const QPointF& p : {QPointF(1250, 0), QPointF(0, 1210), QPointF(2300, 1210), QPointF(1250, 2300),
                             QPointF(2125, 1000), QPointF(1825, 1000), QPointF(1525, 1000)})
        QVERIFY(count(image, QRectF(p, QSizeF(180, 180))) > 5);
    for (const QPointF& p : {QPointF(0, 1210), QPointF(2300, 1210), QPointF(1250, 2300)})
        QCOMPARE(count(image, QRectF(p.x() + 30, p.y() - 180, 120, 165)), 0);

    // No marker, no notice.
    QCOMPARE(count(image, kWhole, true), 0);
    QCOMPARE(count(image, kDayBand) + count(image, kNightLeft) + count(image, kNightRight), 0);
}

// Each compass letter exactly where a letter hung from its point lands: the
// chart against the same letter drawn alone at the figures of the drawing
// (twips, 15 to a pixel), so that a letter one pixel off shows.
void TestSkyChart::compassLettersHangFromTheirPoints()
{
    auto chart = makeChart();
    chart->drawStartUp();
    const QImage image = chart->chartImage();
    QFont font = chart->font();
    font.setPixelSize(12);  // the chart's text size
    const struct {
        const char* letter;
        double x, y;  // twips
    } letters[] = {{"N", 1250, 0}, {"W", 0, 1210}, {"E", 2300, 1210}, {"S", 1250, 2300}};
    for (const auto& l : letters) {
        QImage alone(image.size(), QImage::Format_RGB32);
        alone.fill(kPaper);
        QPainter painter(&alone);
        painter.setFont(font);
        painter.setPen(QColor(kInk));
        const QPoint corner(qRound(l.x / 15), qRound(l.y / 15));
        painter.drawText(QPointF(corner) + QPointF(0, QFontMetricsF(font).ascent()), QLatin1String(l.letter));
        painter.end();
        // Clear of the axes and circles, which pass above or left of it.
        const QRect box = QRect(corner.x() - 1, corner.y(), 16, 16).intersected(image.rect());
        QVERIFY2(count(alone, QRectF(box.x() * 15, box.y() * 15, box.width() * 15, box.height() * 15)) > 5, l.letter);
        QVERIFY2(image.copy(box) == alone.copy(box), l.letter);
    }
}

void TestSkyChart::markerFollowsTheStep_data()
{
    QTest::addColumn<SkyStep>("step");
    QTest::addColumn<bool>("red");

    QTest::newRow("day, east at 30") << SkyStep{true, true, 90, 30} << true;
    QTest::newRow("day, zenith") << SkyStep{true, true, 123, 90} << true;
    QTest::newRow("day, just above the horizon") << SkyStep{true, true, 135, 0.01} << true;
    // A point past the middle of its pixel on both axes (124.64, 87.87 px).
    QTest::newRow("day, late in its pixel") << SkyStep{true, true, 100, 22} << true;
    QTest::newRow("day, blink phase off") << SkyStep{true, false, 90, 30} << false;
    QTest::newRow("night") << kNight << false;
    // Never asked by the cycle; night must still show no sun.
    QTest::newRow("night, marker asked for") << SkyStep{false, true, 90, 30} << false;
    // A position that is not a number, or far off the area, draws nothing.
    QTest::newRow("azimuth NaN") << SkyStep{true, true, qQNaN(), 30} << false;
    QTest::newRow("elevation infinite") << SkyStep{true, true, 90, -qInf()} << false;
    QTest::newRow("elevation absurd") << SkyStep{true, true, 90, -1e300} << false;
}

void TestSkyChart::markerFollowsTheStep()
{
    QFETCH(SkyStep, step);
    QFETCH(bool, red);

    auto chart = makeChart();
    chart->drawSky(step);
    const QImage image = chart->chartImage();
    QVERIFY(image.pixel(pixelAt(100, 1200)) == kInk);  // the grid, always

    const int redPixels = count(image, kWhole, true);
    if (!red) {
        QCOMPARE(redPixels, 0);
        return;
    }
    // A solid disc of radius 80 twips (with its outline about 5.8 px, 106 px²)
    // centred on the projected point.
    const chart::ChartPoint c = chart::projectSun(step.azimuthDeg, step.elevationDeg);
    QVERIFY2(redPixels > 80 && redPixels < 135, qPrintable(QString::number(redPixels)));
    QCOMPARE(count(image, QRectF(c.x - 90, c.y - 90, 195, 195), true), redPixels);
    QCOMPARE(count(image, QRectF(c.x - 45, c.y - 45, 105, 105), true), 49);
    QCOMPARE(image.pixel(pixelAt(c.x, c.y)), kRed);
    // Centred on the pixel the point falls in, never the one it is nearest:
    // the red's extent is symmetric about that pixel on both axes.
    QRect extent;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 200 && qGreen(p) < 100 && qBlue(p) < 100)
                extent |= QRect(x, y, 1, 1);
        }
    }
    const QPoint holding = pixelAt(c.x, c.y);
    QVERIFY2(extent.left() + extent.right() == 2 * holding.x() && extent.top() + extent.bottom() == 2 * holding.y(),
             qPrintable(QStringLiteral("point %1, %2 px; red %3..%4, %5..%6")
                            .arg(c.x / chart::kTwipsPerPixel)
                            .arg(c.y / chart::kTwipsPerPixel)
                            .arg(extent.left())
                            .arg(extent.right())
                            .arg(extent.top())
                            .arg(extent.bottom())));
}

void TestSkyChart::noticeFollowsItsKind_data()
{
    QTest::addColumn<Notice>("notice");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("top");

    const QString unknown = QStringLiteral("計算できません");
    const QString set = QStringLiteral("日の入りは");
    const QString down = QStringLiteral("沈んでます。");
    const QString next = QStringLiteral("次の日の出は");
    QTest::newRow("sunset") << Notice{Notice::Kind::Sunset, 18, 5} << QStringList{set, "18時5分"} << true;
    QTest::newRow("sunset on the hour") << Notice{Notice::Kind::Sunset, 6, 0} << QStringList{set, "6時0分"} << true;
    QTest::newRow("sunset unknown") << Notice{Notice::Kind::SunsetUnknown, 18, 5} << QStringList{set, unknown} << true;
    QTest::newRow("sunset NaN") << Notice{Notice::Kind::Sunset, qQNaN(), 5} << QStringList{set, unknown} << true;
    QTest::newRow("next sunrise") << Notice{Notice::Kind::NextSunrise, 4, 47} << QStringList{down, next, "4時47分"}
                                  << false;
    // Shown as received, not rounded.
    QTest::newRow("next sunrise, fraction")
        << Notice{Notice::Kind::NextSunrise, 4, 47.5} << QStringList{down, next, "4時47.5分"} << false;
    QTest::newRow("next sunrise unknown")
        << Notice{Notice::Kind::NextSunriseUnknown, 4, 47} << QStringList{down, next, unknown} << false;
    QTest::newRow("next sunrise infinite")
        << Notice{Notice::Kind::NextSunrise, 4, qInf()} << QStringList{down, next, unknown} << false;
    QTest::newRow("observer invalid") << Notice{Notice::Kind::ObserverInvalid, 0, 0}
                                      << QStringList{"緯度・経度の", "値が不正です"} << true;
}

void TestSkyChart::noticeFollowsItsKind()
{
    QFETCH(Notice, notice);
    QFETCH(QStringList, texts);
    QFETCH(bool, top);

    auto chart = makeChart();
    chart->drawSky(kNight);
    chart->drawNotice(notice);
    QCOMPARE(chart->drawnTexts(), texts);

    // Top: the first line at the corner and the second 200 below it. Bottom:
    // both bands, the time standing under "次の日の出は".
    const QImage image = chart->chartImage();
    QCOMPARE(count(image, QRectF(0, 0, 700, 180)) > 0, top);
    QCOMPARE(count(image, QRectF(0, 200, 700, 180)) > 0, top);
    QCOMPARE(count(image, kNightLeft) > 0, !top);
    QCOMPARE(count(image, kNightRight) > 0, !top);
    QCOMPARE(count(image, QRectF(1525, 2300, 700, 180)) > 0, !top);
}

void TestSkyChart::clearingEmptiesTheArea()
{
    auto chart = makeChart();
    chart->drawStartUp();
    const QImage gridOnly = chart->chartImage();

    chart->drawSky({true, true, 90, 30});
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});  // again, without clearing
    QCOMPARE(chart->drawnTexts().size(), 2);

    // The next sky step starts from an empty area: no sun, no old notice.
    chart->drawSky(kNight);
    QCOMPARE(chart->chartImage(), gridOnly);
    QVERIFY(chart->drawnTexts().isEmpty());

    chart->clear();
    QCOMPARE(count(chart->chartImage(2.0), kWhole, false, 2.0), 0);
    // A notice on a cleared area stands alone, without the grid.
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    QVERIFY(count(chart->chartImage(), kDayBand) > 0);
    QVERIFY(chart->chartImage().pixel(pixelAt(100, 1200)) == kPaper);
}

void TestSkyChart::widgetKeepsShowingTheDrawing()
{
    auto chart = makeChart();
    chart->resize(chart->sizeHint());
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    chart->drawSky({true, true, 180, 60});
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});
    const QImage doubled = chart->chartImage(2.0);

    // Inside its one-pixel border the widget shows exactly the kept drawing,
    // and showing it does not change how the drawing renders elsewhere.
    const QImage before = shown(*chart);
    QCOMPARE(chart->chartImage(2.0), doubled);
    const QRect inner(0, 0, before.width() - 2, before.height() - 2);
    QCOMPARE(before.copy(inner.translated(1, 1)), chart->chartImage().copy(inner));

    // Hidden and shown, shrunk and grown: the same picture, with no new cycle.
    chart->hide();
    QCoreApplication::processEvents();
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    QCOMPARE(shown(*chart), before);
    chart->resize(60, 40);
    QCoreApplication::processEvents();
    chart->resize(400, 300);
    const QImage large = shown(*chart);
    QCOMPARE(large.copy(inner.translated(1, 1)), before.copy(inner.translated(1, 1)));
    QCOMPARE(large.pixel(300, 250), kPaper);  // the area grows with the widget
    chart->resize(chart->sizeHint());
    QCOMPARE(shown(*chart), before);

    // A colour change reaches the grid, not only what is drawn after it.
    const QRgb paper = qRgb(20, 20, 40);
    const QRgb ink = qRgb(230, 230, 0);
    chart->setPalette(makeChart(paper, ink)->palette());
    const QImage dark = shown(*chart);
    QCOMPARE(dark.pixel(1 + 5, 1 + 80), ink);  // the east-west axis
    QCOMPARE(dark.pixel(1 + 5, 1 + 70), paper);
    int notice = 0;  // and the notice, kept from before the change: closer to the new ink
    for (int y = 1; y < 26; ++y) {
        for (int x = 1; x < 47; ++x)
            notice += qRed(dark.pixel(x, y)) > 125 && qBlue(dark.pixel(x, y)) < 40;
    }
    QVERIFY(notice > 20);
}

void TestSkyChart::linesStaySharpAtDoubleDensity()
{
    auto chart = makeChart();
    chart->drawSky({true, true, 90, 30});
    chart->drawNotice({Notice::Kind::Sunset, 18, 5});

    // One logical pixel of axis: one full row at 1x, two at 2x, clean paper
    // on both sides.
    const QImage single = chart->chartImage(1.0);
    const QImage doubled = chart->chartImage(2.0);
    QCOMPARE(doubled.size(), QSize(378, 346));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(single.pixel(10, 79 + i), i == 1 ? kInk : kPaper);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(doubled.pixel(20, 159 + i), (i == 1 || i == 2) ? kInk : kPaper);
        QCOMPARE(doubled.pixel(159 + i, 20), (i == 1 || i == 2) ? kInk : kPaper);
    }
    // The rest lands at twice the coordinates, drawn at full resolution.
    const double d = std::sqrt(0.5);
    for (const double r : {900.0, 600.0, 300.0})
        QVERIFY(inkNear(doubled, 1200 + r * d, 1200 + r * d, 2.0));
    QCOMPARE(doubled.pixel(pixelAt(1800, 1200, 2.0)), kRed);
    QVERIFY(count(doubled, kDayBand, false, 2.0) > 2 * count(single, kDayBand));
    // A scale no image can hold gives none, rather than a side that overflows.
    QVERIFY(chart->chartImage(1e12).isNull());
    QCOMPARE(chart->chartImage(qQNaN()).size(), single.size());
}

void TestSkyChart::cycleRedraw()
{
    // One cycle's chart work as the window does it: sky step, notice, repaint.
    // Run with -median N for the median, -callgrind for instructions.
    auto chart = makeChart();
    chart->resize(chart->sizeHint());
    chart->show();
    QVERIFY(QTest::qWaitForWindowExposed(chart.get()));
    chart->drawStartUp();
    chart->repaint();
    int tick = 0;
    QBENCHMARK
    {
        chart->drawSky({true, (tick & 1) != 0, 150 + 0.001 * tick, 40});
        chart->drawNotice({Notice::Kind::Sunset, 18, 5});
        chart->repaint();
        ++tick;
    }
}

QTEST_MAIN(TestSkyChart)
#include "tst_skychart.moc"
