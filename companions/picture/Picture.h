#pragma once

// What the station's three pictures share (a calibration's two cuts, the
// record's history, the pointing fit's residuals): a white canvas with an
// antialiased painter in the house's font size, and the PNG saved whole or
// not at all, so that a full disk or a power cut mid-write never leaves half
// a picture under the name the operator was told. Sees only itself.

#include <QImage>
#include <QPainter>
#include <QString>

#include <vector>

namespace heliotrope::picture {

class Canvas {
public:
    Canvas(int width, int height, int fontPixels);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    QPainter& painter() { return m_painter; }
    // The picture, once drawing is over (the painter is ended).
    QImage finished();

private:
    QImage m_image;
    QPainter m_painter;
};

// Saves `image` to `path` as PNG through a temporary file renamed into place;
// false, with why in Japanese and English, when it cannot.
// Round numbers for an axis from lo to hi, about `count` of them.
std::vector<double> ticks(double lo, double hi, int count);

bool savePng(const QImage& image, const QString& path, QString* problem);

}  // namespace heliotrope::picture
