#include "app/chart/SkyChart.h"

#include "app/chart/ChartProjection.h"
#include "solar/NumberFormat.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <qdrawutil.h>

#include <cmath>
#include <optional>

namespace {

using chart::kTwipsPerPixel;

// Strokes are centred on the middle of the pixel that holds their point, as a
// classic raster drawing puts them, so that one-pixel lines land on whole
// pixels at every pixel ratio instead of smearing over two.
constexpr double kHalfPixel = kTwipsPerPixel / 2;

// The sunken one-pixel border of the area; the chart's origin lies inside it.
constexpr int kBorder = 1;

// About 12 pixels high: the labels fit the 300-twip spacing of the circles.
constexpr int kTextPixelSize = 12;

constexpr double kRings[] = {900, 600, 300};

struct Label {
    double x;
    double y;
    const char16_t* text;
};
// Compass letters 50 right of the vertical axis or 10 below the horizontal
// one; elevation labels 25 right of where their circle crosses the east axis
// and 200 above it.
constexpr Label kLabels[] = {
    {1250, 0, u"N"},
    {0, 1210, u"W"},
    {2300, 1210, u"E"},
    {1250, 2300, u"S"},
    {2125, 1000, u"0°"},
    {1825, 1000, u"30°"},
    {1525, 1000, u"60°"},
};

const QColor kSunRed(255, 0, 0);

QSize areaPixels()
{
    return {static_cast<int>(chart::kAreaWidth / kTwipsPerPixel),
            static_cast<int>(chart::kAreaHeight / kTwipsPerPixel)};
}

// The notice's time, "18時5分". A value that has no decimal text (not finite)
// gives no time at all; the notice then says it could not be computed.
std::optional<QString> clockText(double hour, double minute)
{
    const std::optional<std::string> h = solar::formatGeneral(hour);
    const std::optional<std::string> m = solar::formatGeneral(minute);
    if (!h || !m)
        return std::nullopt;
    return QString::fromStdString(*h) + QChar(u'時') + QString::fromStdString(*m) + QChar(u'分');
}

// A disc whose centre is not a number, or that lies wholly off the area, would
// show nothing; keeping it out also keeps absurd coordinates away from the
// rasterizer.
bool markerVisible(const chart::ChartPoint& p)
{
    const double reach = chart::kMarkerRadius + kTwipsPerPixel;
    return std::isfinite(p.x) && std::isfinite(p.y) && p.x > -reach && p.x < chart::kAreaWidth + reach
        && p.y > -reach && p.y < chart::kAreaHeight + reach;
}

// A point on whole device pixels (`ratio` of them per logical pixel), so that
// a glyph or the disc lands on the same pixels whatever twip it starts at.
QPointF onDevicePixels(QPointF logical, qreal ratio)
{
    return {std::round(logical.x() * ratio) / ratio, std::round(logical.y() * ratio) / ratio};
}

// The sun disc, radius 80 with a one-pixel red outline around a red fill, on
// a transparent square of whole pixels whose middle pixel holds the centre.
// Outline and fill meet on the transparent square first and reach the chart
// as one shape, so their shared anti-aliased edge blends with the chart once.
QImage sunDisc(int halfSide, qreal ratio)
{
    const int side = 2 * halfSide + 1;
    QImage disc(static_cast<int>(std::ceil(side * ratio)), static_cast<int>(std::ceil(side * ratio)),
                QImage::Format_ARGB32_Premultiplied);
    disc.setDevicePixelRatio(ratio);
    disc.fill(Qt::transparent);
    QPainter painter(&disc);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
    painter.setPen(QPen(kSunRed, kTwipsPerPixel));
    painter.setBrush(kSunRed);
    const double middle = (halfSide + 0.5) * kTwipsPerPixel;
    painter.drawEllipse(QPointF(middle, middle), chart::kMarkerRadius, chart::kMarkerRadius);
    return disc;
}

}  // namespace

SkyChart::SkyChart(QWidget* parent)
    : QWidget(parent)
{
    // Output only, but the window lists it in its tab order.
    setFocusPolicy(Qt::TabFocus);
    // paintEvent covers every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// 2835 x 2595 twips, border included.
QSize SkyChart::sizeHint() const
{
    return areaPixels();
}

void SkyChart::drawStartUp()
{
    m_grid = true;
    update();
}

void SkyChart::drawSky(const solar::SkyStep& step)
{
    m_lines.clear();
    m_sun.reset();
    m_grid = true;
    // Night shows no sun even if a caller asked for one.
    if (step.sunUp && step.drawMarker) {
        const chart::ChartPoint p = chart::projectSun(step.azimuthDeg, step.elevationDeg);
        if (markerVisible(p))
            m_sun = QPointF(p.x, p.y);
    }
    update();
}

void SkyChart::drawNotice(const solar::Notice& notice)
{
    using Kind = solar::Notice::Kind;
    const QString cannotCompute = QStringLiteral("計算できません");
    switch (notice.kind) {
    case Kind::Sunset:
    case Kind::SunsetUnknown: {
        addLine(0, 0, QStringLiteral("日の入りは"));
        const std::optional<QString> time
            = notice.kind == Kind::Sunset ? clockText(notice.hour, notice.minute) : std::nullopt;
        addLine(0, 200, time.value_or(cannotCompute));
        break;
    }
    case Kind::NextSunrise:
    case Kind::NextSunriseUnknown: {
        addLine(0, 2100, QStringLiteral("沈んでます。"));
        addLine(1525, 2100, QStringLiteral("次の日の出は"));
        const std::optional<QString> time
            = notice.kind == Kind::NextSunrise ? clockText(notice.hour, notice.minute) : std::nullopt;
        addLine(1525, 2300, time.value_or(cannotCompute));
        break;
    }
    case Kind::ObserverInvalid:
        addLine(0, 0, QStringLiteral("緯度・経度の"));
        addLine(0, 200, QStringLiteral("値が不正です"));
        break;
    }
    update();
}

void SkyChart::addLine(double xTwips, double yTwips, const QString& text)
{
    // The same text on the same spot again would show nothing new, only
    // darken its anti-aliased edges; keeping it once also bounds the list
    // when a caller draws notices without clearing.
    const Line line{QPointF(xTwips, yTwips), text};
    if (!m_lines.contains(line))
        m_lines.append(line);
}

void SkyChart::clear()
{
    m_grid = false;
    m_sun.reset();
    m_lines.clear();
    update();
}

QStringList SkyChart::drawnTexts() const
{
    QStringList texts;
    for (const Line& line : m_lines)
        texts.append(line.text);
    return texts;
}

QImage SkyChart::chartImage(qreal scale) const
{
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1.0;
    const QSize area = areaPixels();
    const double width = std::ceil(area.width() * scale);
    const double height = std::ceil(area.height() * scale);
    // Beyond what a QImage can hold (and an int can count): no picture.
    constexpr double kLargestSide = 32767;
    if (width > kLargestSide || height > kLargestSide)
        return {};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(scale);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    paintChart(painter);
    return image;
}

void SkyChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    qDrawShadePanel(&painter, rect(), palette(), true, kBorder);
    painter.translate(kBorder, kBorder);
    paintChart(painter);
}

void SkyChart::paintChart(QPainter& painter) const
{
    const QColor ink = palette().color(QPalette::WindowText);
    QFont font = this->font();
    font.setPixelSize(kTextPixelSize);
    // Each text hangs from its point: the baseline lies one ascent below it.
    const QPointF ascent(0, QFontMetricsF(font).ascent());
    const qreal ratio = painter.device()->devicePixelRatioF();
    const auto drawText = [&](QPointF topLeftTwips, const QString& text) {
        painter.drawText(onDevicePixels(topLeftTwips / kTwipsPerPixel, ratio) + ascent, text);
    };
    painter.setFont(font);
    painter.setPen(ink);

    if (m_grid) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
        painter.setPen(QPen(ink, kTwipsPerPixel));
        painter.setBrush(Qt::NoBrush);
        const QPointF centre(chart::kCentre + kHalfPixel, chart::kCentre + kHalfPixel);
        for (const double r : kRings)
            painter.drawEllipse(centre, r, r);
        // The axes as one-pixel bands from their first point up to, not
        // including, their last.
        painter.fillRect(QRectF(0, chart::kCentre, chart::kChartSize, kTwipsPerPixel), ink);
        painter.fillRect(QRectF(chart::kCentre, 0, kTwipsPerPixel, chart::kChartSize), ink);
        painter.restore();
        for (const Label& label : kLabels)
            drawText({label.x, label.y}, QString::fromUtf16(label.text));
    }

    if (m_sun) {
        const int halfSide = static_cast<int>(std::ceil((chart::kMarkerRadius + kTwipsPerPixel) / kTwipsPerPixel));
        const QPointF pixel(std::floor(m_sun->x() / kTwipsPerPixel), std::floor(m_sun->y() / kTwipsPerPixel));
        painter.drawImage(onDevicePixels(pixel - QPointF(halfSide, halfSide), ratio), sunDisc(halfSide, ratio));
    }

    for (const Line& line : m_lines)
        drawText(line.topLeft, line.text);
}
