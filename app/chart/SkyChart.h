#pragma once

#include "solar/CycleView.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstddef>
#include <vector>

// The polar sky chart: horizon outside, zenith in the centre, north up, east
// right. It is output only: the calculation cycle decides what to show (day or
// night, marker or not, which notice) and the chart draws exactly that.
//
// What has been drawn is kept as a list of drawing operations in twips, so the
// chart survives being covered, hidden and resized, and is re-rendered sharply
// at any device pixel ratio, without a new cycle. The fixed grid is kept
// pre-rendered at the widget's size and pixel ratio, so a cycle's redraw is a
// blit plus the marker and the notice.
class SkyChart : public QWidget {
    Q_OBJECT

public:
    explicit SkyChart(QWidget* parent = nullptr);

    // Start-up: the grid and its labels on the fresh area. Nothing is cleared
    // first and no notice is drawn.
    void drawStartUp();
    // One cycle's sky: clear, the grid, and the red sun disc at the step's
    // position when the sun is up and the step asks for the marker.
    void drawSky(const solar::SkyStep& step);
    // One cycle's notice, drawn over what the sky step left.
    void drawNotice(const solar::Notice& notice);
    // Fills the area with its background and forgets everything drawn.
    void clear();

    // The texts of the kept drawing in drawing order, the grid's labels left
    // out: what the notice currently says ("日の入りは", "18時5分").
    QStringList drawnTexts() const;

    // The kept drawing rendered without the border, 1/15 logical pixel per
    // twip, at `scale` device pixels per logical pixel (for tests and
    // screenshots). A scale that is not a positive number counts as 1.
    QImage chartImage(qreal scale = 1.0) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Stroke {
        enum class Kind { Grid, Marker, Text };
        Kind kind = Kind::Grid;
        QPointF at;    // twips: the marker's centre, or the text's top-left corner
        QString text;  // Kind::Text only
        bool operator==(const Stroke& other) const;
    };

    void append(Stroke stroke);
    void appendText(double xTwips, double yTwips, const QString& text);
    bool startsWithGrid() const;

    // Text and the sun disc are rendered once per pixel ratio into small
    // images and blitted: the notice and the marker are redrawn every cycle.
    struct Sprite {
        QImage image;    // premultiplied, at the cache's pixel ratio
        QPointF offset;  // logical pixels from the anchor to the image's corner
    };
    struct Sprites {
        qreal ratio = 0;
        Sprite marker;
        QHash<QString, Sprite> texts;
    };

    Sprites& spritesFor(qreal ratio, Sprites& scratch) const;
    QImage renderFace(QSize logicalSize, qreal ratio, bool withGrid, bool withBorder) const;
    void replay(QPainter& painter, std::size_t from, Sprites& sprites) const;
    void paintGrid(QPainter& painter, Sprites& sprites) const;
    void paintMarker(QPainter& painter, QPointF centre, Sprites& sprites) const;
    void paintText(QPainter& painter, QPointF topLeft, const QString& text, Sprites& sprites) const;
    Sprite renderText(const QString& text, qreal ratio) const;
    Sprite renderMarker(qreal ratio) const;
    void styleChanged();

    std::vector<Stroke> m_strokes;
    QFont m_font;

    // Caches, rebuilt on demand; they never hold anything the strokes do not.
    mutable QImage m_face;  // background, border and (when the strokes begin with it) the grid
    mutable bool m_faceHasGrid = false;
    mutable QSize m_faceSize;
    mutable Sprites m_sprites;  // at the widget's pixel ratio
};
