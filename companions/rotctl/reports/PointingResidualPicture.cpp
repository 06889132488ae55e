#include "companions/rotctl/reports/PointingResidualPicture.h"

#include "companions/picture/Picture.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace heliotrope::pointing;

namespace heliotrope::rotctl {

QImage pointingResidualPicture(const std::vector<Scan>& scans, const PointingFit& fit)
{
    constexpr int kWidth = 1200;
    constexpr int kHeight = 780;
    picture::Canvas canvas(kWidth, kHeight, 14);
    QPainter& painter = canvas.painter();
    const std::vector<Direction> before = skyResiduals(scans, MountModel{});
    const std::vector<Direction> after = skyResiduals(scans, fit.model);
    // The scale holds the largest residual, on a quarter of a degree.
    double largest = 0.25;
    for (const std::vector<Direction>* residuals : {&before, &after}) {
        for (const Direction& r : *residuals)
            largest = std::max({largest, std::abs(r.azimuth), std::abs(r.elevation)});
    }
    const double top = std::ceil(largest / 0.25) * 0.25;
    const double tick = top > 2 ? 1.0 : top > 1 ? 0.5
                                                : 0.25;
    const char* rows[2] = {"cross-elevation residual", "elevation residual"};
    const char* columns[2] = {"the sun's azimuth", "the sun's elevation"};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QRect area(90 + column * 570, 50 + row * 350, 510, 280);
            const double low = 0;
            const double high = column == 0 ? 360 : 90;
            painter.setPen(QColor(90, 90, 90));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(area);
            for (double v = -top; v <= top + 1e-9; v += tick) {
                const double y = area.center().y() - v / top * area.height() / 2;
                painter.setPen(std::abs(v) < 1e-9 ? QColor(160, 160, 160) : QColor(230, 230, 230));
                painter.drawLine(QPointF(area.left() + 1, y), QPointF(area.right() - 1, y));
                painter.setPen(Qt::black);
                painter.drawText(QRectF(area.left() - 80, y - 9, 74, 18), Qt::AlignRight | Qt::AlignVCenter,
                                 QString::number(v, 'f', 2) + QStringLiteral("°"));
            }
            for (double v = low; v <= high + 1e-9; v += column == 0 ? 45 : 15) {
                const double x = area.left() + (v - low) / (high - low) * area.width();
                painter.drawText(QRectF(x - 30, area.bottom() + 4, 60, 18), Qt::AlignHCenter, QString::number(v) + QStringLiteral("°"));
            }
            painter.drawText(QRectF(area.left(), area.top() - 26, area.width(), 20), Qt::AlignLeft,
                             QStringLiteral("%1 against %2").arg(QString::fromLatin1(rows[row]), QString::fromLatin1(columns[column])));
            for (int which = 0; which < 2; ++which) {
                const std::vector<Direction>& points = which == 0 ? before : after;
                painter.setPen(Qt::NoPen);
                painter.setBrush(which == 0 ? QColor(150, 150, 150) : QColor(30, 90, 200));
                for (std::size_t i = 0; i < points.size(); ++i) {
                    const double along = column == 0 ? scans[i].sun.azimuth : scans[i].sun.elevation;
                    const double value = row == 0 ? points[i].azimuth : points[i].elevation;
                    const double x = area.left() + (along - low) / (high - low) * area.width();
                    const double y = area.center().y() - value / top * area.height() / 2;
                    painter.drawEllipse(QPointF(x, y), 4.5, 4.5);
                }
            }
        }
    }
    painter.setPen(Qt::black);
    painter.drawText(QRectF(90, 740, 1100, 24), Qt::AlignLeft,
                     QStringLiteral("Grey: the %1 scans' offsets with no model (rms %2° on the sky). Blue: after the fitted model (rms %3°).")
                         .arg(scans.size())
                         .arg(fit.rmsBefore, 0, 'f', 3)
                         .arg(fit.rmsAfter, 0, 'f', 3));
    return canvas.finished();
}

}  // namespace heliotrope::rotctl
