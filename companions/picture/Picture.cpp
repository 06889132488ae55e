#include "companions/picture/Picture.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace heliotrope::picture {

// Round numbers for an axis from lo to hi, about `count` of them.
std::vector<double> ticks(double lo, double hi, int count)
{
    const double raw = (hi - lo) / std::max(count, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * magnitude >= raw) {
            step = m * magnitude;
            break;
        }
    std::vector<double> out;
    for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step)
        out.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return out;
}

Canvas::Canvas(int width, int height, int fontPixels)
    : m_image(width, height, QImage::Format_RGB32)
{
    m_image.fill(Qt::white);
    m_painter.begin(&m_image);
    m_painter.setRenderHint(QPainter::Antialiasing);
    QFont font = m_painter.font();
    font.setPixelSize(fontPixels);
    m_painter.setFont(font);
}

QImage Canvas::finished()
{
    if (m_painter.isActive())
        m_painter.end();
    return m_image;
}

bool savePng(const QImage& image, const QString& path, QString* problem)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit())
        return true;
    *problem = QStringLiteral("図「%1」を保存できません（%2）。フォルダがあり、書き込めるか確かめてください。\n"
                              "Cannot save the picture %1 (%2): check that its folder exists and can be written.")
                   .arg(path, file.errorString());
    return false;
}

}  // namespace heliotrope::picture
