#include "app/chart/SkyChart.h"

#include "app/chart/ChartProjection.h"
#include "solar/NumberFormat.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <qdrawutil.h>

#include <cmath>
#include <optional>
#include <utility>

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
    {1250, 0, u"N"},      {0, 1210, u"W"},      {2300, 1210, u"E"},   {1250, 2300, u"S"},
    {2125, 1000, u"0°"}, {1825, 1000, u"30°"}, {1525, 1000, u"60°"},
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

}  // namespace

bool SkyChart::Stroke::operator==(const Stroke& other) const
{
    return kind == other.kind && at == other.at && text == other.text;
}

SkyChart::SkyChart(QWidget* parent)
    : QWidget(parent)
{
    // Output only, but the window lists it in its tab order.
    setFocusPolicy(Qt::TabFocus);
    // paintEvent covers every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    styleChanged();
}

// 2835 x 2595 twips, border included.
QSize SkyChart::sizeHint() const
{
    return areaPixels();
}

void SkyChart::drawStartUp()
{
    // The kept drawing is always on; the fresh area needs only the grid.
    append({Stroke::Kind::Grid, {}, {}});
}

void SkyChart::drawSky(const solar::SkyStep& step)
{
    m_strokes.clear();
    append({Stroke::Kind::Grid, {}, {}});
    // Night shows no sun even if a caller asked for one.
    if (step.sunUp && step.drawMarker) {
        const chart::ChartPoint p = chart::projectSun(step.azimuthDeg, step.elevationDeg);
        if (markerVisible(p))
            append({Stroke::Kind::Marker, QPointF(p.x, p.y), {}});
    }
}

void SkyChart::drawNotice(const solar::Notice& notice)
{
    using Kind = solar::Notice::Kind;
    const QString cannotCompute = QStringLiteral("計算できません");
    switch (notice.kind) {
    case Kind::Sunset:
    case Kind::SunsetUnknown: {
        appendText(0, 0, QStringLiteral("日の入りは"));
        const std::optional<QString> time
            = notice.kind == Kind::Sunset ? clockText(notice.hour, notice.minute) : std::nullopt;
        appendText(0, 200, time.value_or(cannotCompute));
        break;
    }
    case Kind::NextSunrise:
    case Kind::NextSunriseUnknown: {
        appendText(0, 2100, QStringLiteral("沈んでます。"));
        appendText(1525, 2100, QStringLiteral("次の日の出は"));
        const std::optional<QString> time
            = notice.kind == Kind::NextSunrise ? clockText(notice.hour, notice.minute) : std::nullopt;
        appendText(1525, 2300, time.value_or(cannotCompute));
        break;
    }
    case Kind::ObserverInvalid:
        appendText(0, 0, QStringLiteral("緯度・経度の"));
        appendText(0, 200, QStringLiteral("値が不正です"));
        break;
    }
}

void SkyChart::clear()
{
    m_strokes.clear();
    update();
}

QStringList SkyChart::drawnTexts() const
{
    QStringList texts;
    for (const Stroke& s : m_strokes) {
        if (s.kind == Stroke::Kind::Text)
            texts.append(s.text);
    }
    return texts;
}

void SkyChart::append(Stroke stroke)
{
    // Drawing the same thing twice changes nothing on screen; skipping it keeps
    // the list bounded when a caller draws without clearing.
    for (const Stroke& s : m_strokes) {
        if (s == stroke)
            return;
    }
    m_strokes.push_back(std::move(stroke));
    update();
}

void SkyChart::appendText(double xTwips, double yTwips, const QString& text)
{
    append({Stroke::Kind::Text, QPointF(xTwips, yTwips), text});
}

bool SkyChart::startsWithGrid() const
{
    return !m_strokes.empty() && m_strokes.front().kind == Stroke::Kind::Grid;
}

QImage SkyChart::chartImage(qreal scale) const
{
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1.0;
    const bool grid = startsWithGrid();
    QImage image = renderFace(areaPixels(), scale, grid, false);
    if (image.isNull())
        return image;
    Sprites scratch;
    QPainter painter(&image);
    replay(painter, grid ? 1 : 0, spritesFor(scale, scratch));
    return image;
}

void SkyChart::paintEvent(QPaintEvent*)
{
    const bool grid = startsWithGrid();
    const qreal ratio = devicePixelRatioF();
    // Rebuilt only when the size, the screen, the colors or the drawing's
    // first stroke changed, never for a cycle's ordinary redraw.
    if (m_sprites.ratio != ratio)
        m_sprites = Sprites{ratio, {}, {}};
    if (m_face.isNull() || m_faceSize != size() || m_face.devicePixelRatio() != ratio || m_faceHasGrid != grid) {
        m_face = renderFace(size(), ratio, grid, true);
        m_faceSize = size();
        m_faceHasGrid = grid;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_face);
    painter.translate(kBorder, kBorder);
    replay(painter, grid ? 1 : 0, m_sprites);
}

void SkyChart::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::StyleChange)
        styleChanged();
    QWidget::changeEvent(event);
}

void SkyChart::styleChanged()
{
    m_font = font();
    m_font.setPixelSize(kTextPixelSize);
    m_sprites = Sprites{};
    m_face = QImage();
    update();
}

SkyChart::Sprites& SkyChart::spritesFor(qreal ratio, Sprites& scratch) const
{
    if (m_sprites.ratio == ratio)
        return m_sprites;
    scratch = Sprites{ratio, {}, {}};
    return scratch;
}

QImage SkyChart::renderFace(QSize logicalSize, qreal ratio, bool withGrid, bool withBorder) const
{
    const QSize pixels(static_cast<int>(std::ceil(logicalSize.width() * ratio)),
                       static_cast<int>(std::ceil(logicalSize.height() * ratio)));
    QImage image(pixels, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(ratio);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    if (withBorder) {
        qDrawShadePanel(&painter, QRect(QPoint(0, 0), logicalSize), palette(), true, kBorder);
        painter.translate(kBorder, kBorder);
    }
    if (withGrid) {
        Sprites scratch;
        paintGrid(painter, spritesFor(ratio, scratch));
    }
    return image;
}

void SkyChart::replay(QPainter& painter, std::size_t from, Sprites& sprites) const
{
    for (std::size_t i = from; i < m_strokes.size(); ++i) {
        const Stroke& s = m_strokes[i];
        switch (s.kind) {
        case Stroke::Kind::Grid:
            paintGrid(painter, sprites);
            break;
        case Stroke::Kind::Marker:
            paintMarker(painter, s.at, sprites);
            break;
        case Stroke::Kind::Text:
            paintText(painter, s.at, s.text, sprites);
            break;
        }
    }
}

void SkyChart::paintGrid(QPainter& painter, Sprites& sprites) const
{
    const QColor ink = palette().color(QPalette::WindowText);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
    painter.setPen(QPen(ink, kTwipsPerPixel));
    painter.setBrush(Qt::NoBrush);
    const QPointF centre(chart::kCentre + kHalfPixel, chart::kCentre + kHalfPixel);
    for (const double r : kRings)
        painter.drawEllipse(centre, r, r);
    // The axes as one-pixel bands from their first point up to, not including,
    // their last.
    painter.fillRect(QRectF(0, chart::kCentre, chart::kChartSize, kTwipsPerPixel), ink);
    painter.fillRect(QRectF(chart::kCentre, 0, kTwipsPerPixel, chart::kChartSize), ink);
    painter.restore();

    for (const Label& label : kLabels)
        paintText(painter, QPointF(label.x, label.y), QString::fromUtf16(label.text), sprites);
}

namespace {

// A sprite's corner on whole device pixels, so it is copied, not resampled.
QPointF snapped(QPointF logical, qreal ratio)
{
    return {std::round(logical.x() * ratio) / ratio, std::round(logical.y() * ratio) / ratio};
}

}  // namespace

void SkyChart::paintMarker(QPainter& painter, QPointF centre, Sprites& sprites) const
{
    if (sprites.marker.image.isNull())
        sprites.marker = renderMarker(sprites.ratio);
    // Centred on the middle of the pixel that holds the point.
    const QPointF pixel(std::floor(centre.x() / kTwipsPerPixel), std::floor(centre.y() / kTwipsPerPixel));
    painter.drawImage(snapped(pixel + sprites.marker.offset, sprites.ratio), sprites.marker.image);
}

void SkyChart::paintText(QPainter& painter, QPointF topLeft, const QString& text, Sprites& sprites) const
{
    auto it = sprites.texts.constFind(text);
    if (it == sprites.texts.cend()) {
        // The notice's time changes a few times a day; keep the cache small.
        if (sprites.texts.size() > 64)
            sprites.texts.clear();
        it = sprites.texts.insert(text, renderText(text, sprites.ratio));
    }
    painter.drawImage(snapped(topLeft / kTwipsPerPixel + it->offset, sprites.ratio), it->image);
}

SkyChart::Sprite SkyChart::renderText(const QString& text, qreal ratio) const
{
    // The top-left corner of the first character is the anchor; the baseline
    // lies one ascent below it. The image covers the line and any ink that
    // reaches past it, with a pixel to spare for the edges.
    const QFontMetricsF metrics(m_font);
    const QRectF line(0, 0, metrics.horizontalAdvance(text), metrics.height());
    const QRectF ink = metrics.boundingRect(text).translated(0, metrics.ascent());
    const QRect box = line.united(ink).adjusted(-1, -1, 1, 1).toAlignedRect();
    QImage image(static_cast<int>(std::ceil(box.width() * ratio)), static_cast<int>(std::ceil(box.height() * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(m_font);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QPointF(-box.left(), metrics.ascent() - box.top()), text);
    return {image, QPointF(box.topLeft())};
}

SkyChart::Sprite SkyChart::renderMarker(qreal ratio) const
{
    // Radius 80 with a one-pixel red outline around a red fill: a solid disc.
    const int half = static_cast<int>(std::ceil((chart::kMarkerRadius + kTwipsPerPixel) / kTwipsPerPixel));
    const int side = 2 * half + 1;
    QImage image(static_cast<int>(std::ceil(side * ratio)), static_cast<int>(std::ceil(side * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(1 / kTwipsPerPixel, 1 / kTwipsPerPixel);
    painter.setPen(QPen(kSunRed, kTwipsPerPixel));
    painter.setBrush(kSunRed);
    const double middle = (half + 0.5) * kTwipsPerPixel;
    painter.drawEllipse(QPointF(middle, middle), chart::kMarkerRadius, chart::kMarkerRadius);
    return {image, QPointF(-half, -half)};
}
