#pragma once

#include "solar/CycleView.h"

#include <QImage>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class QPainter;

// The polar sky chart: horizon outside, zenith in the centre, north up, east
// right. It is output only: the calculation cycle decides what to show (day or
// night, marker or not, which notice) and the chart draws exactly that.
//
// The drawing is retained: what has been drawn since the area was last
// cleared (the grid, the sun, the notice's lines) is kept as plain state, and
// paintEvent draws that state afresh whenever Qt asks. So the chart survives
// being covered, hidden and resized, follows a change of colours, and is sharp
// at any device pixel ratio, all without a new cycle.
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

    // The notice's lines in drawing order: what the notice currently says
    // ("日の入りは", "18時5分"). The grid's labels are not among them.
    QStringList drawnTexts() const;

    // The kept drawing rendered without the border, 1/15 logical pixel per
    // twip, at `scale` device pixels per logical pixel (for tests and
    // screenshots). A scale that is not a positive number counts as 1; one
    // that would need more than 32767 pixels a side gives a null image.
    QImage chartImage(qreal scale = 1.0) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Line {
        QPointF topLeft;  // twips: the top-left corner of the first character
        QString text;
        bool operator==(const Line&) const = default;
    };

    void addLine(double xTwips, double yTwips, const QString& text);
    // Draws the kept state with the chart's origin at the painter's origin.
    void paintChart(QPainter& painter) const;

    bool m_grid = false;           // the grid and its labels, beneath everything else
    std::optional<QPointF> m_sun;  // twips: the centre of the sun disc
    QList<Line> m_lines;           // the notice, in drawing order
};
