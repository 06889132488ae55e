#pragma once

#include "solar/CycleView.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QStaticText>
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
    QSize minimumSizeHint() const override;

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

    QImage renderFace(QSize logicalSize, qreal pixelRatio, bool withGrid, bool withBorder) const;
    void replay(QPainter& painter, std::size_t from) const;
    void paintGrid(QPainter& painter) const;
    void paintMarker(QPainter& painter, QPointF centre) const;
    void paintText(QPainter& painter, QPointF topLeft, const QString& text) const;
    const QStaticText& layoutOf(const QString& text) const;
    void styleChanged();

    std::vector<Stroke> m_strokes;
    QFont m_font;

    // Caches, rebuilt on demand; they never hold anything the strokes do not.
    mutable QImage m_face;  // background, border and (when the strokes begin with it) the grid
    mutable bool m_faceHasGrid = false;
    mutable QSize m_faceSize;
    mutable QHash<QString, QStaticText> m_layouts;
};
