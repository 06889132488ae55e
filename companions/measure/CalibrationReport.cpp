#include "companions/measure/CalibrationReport.h"

#include "companions/picture/Picture.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>

using heliotrope::beamfit::BeamFitResult;

namespace heliotrope::measure {

namespace {

// A file of the calibration that cannot be written: the operator chose where.
QString writeProblem(const QString& path, const QString& reason)
{
    const QString why = reason.isEmpty() ? QString() : QStringLiteral(": ") + reason;
    return QStringLiteral("「%1」に書けません%2。--calibration-output のフォルダがあり、書き込めるか確かめてください。\n"
                          "Cannot write %1%2. Check that the folder of --calibration-output exists and may be written.")
        .arg(path, why);
}

QString signedDegrees(double value, int decimals = 3)
{
    return (value >= 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals) + QStringLiteral("°");
}

double gaussian(const BeamFitResult& fit, double x)
{
    // The fitted beam in linear power over the baseline, drawn in dB as the source read it.
    const double u = (x - fit.centre) / fit.width;
    const double y = std::pow(10.0, fit.yDecibels / 10.0);
    return fit.baseline + 10.0 * std::log10(1.0 + (y - 1.0) * std::exp(-4.0 * std::log(2.0) * u * u));
}

bool drawable(const BeamFitResult& fit)
{
    return std::isfinite(fit.centre) && std::isfinite(fit.width) && fit.width > 0 && std::isfinite(fit.yDecibels)
        && std::isfinite(fit.baseline) && (fit.ok() || fit.iterations > 0);
}

}  // namespace

QString offsetOptionsText(const CalibrationOutcome& outcome)
{
    return QStringLiteral("--az-offset %1 --el-offset %2")
        .arg(QString::number(outcome.azimuthOffset, 'f', 3), QString::number(outcome.elevationOffset, 'f', 3));
}

QStringList calibrationResultLines(const CalibrationOutcome& outcome, double resolution)
{
    QStringList lines;
    if (!outcome.ok) {
        // Why not is the measurement's outcome, said once by whoever keeps it.
        return lines;
    }
    const BeamFitResult& x = outcome.crossElevationFit;
    const BeamFitResult& e = outcome.elevationFit;
    // Over the top the offsets are the mount's on the other side of the zenith:
    // reading − beam in its flipped angles, for the pointing model only.
    const QString meaningJa = outcome.overTheTop ? QStringLiteral("天頂の向こう側で、ローテーターの読みが反転した太陽の向き（方位角 + 180°、仰角 180° − e）より大きい分")
                                                 : QStringLiteral("ローテーターの読みが太陽の本当の向きより大きい分");
    const QString meaningEn = outcome.overTheTop
        ? QStringLiteral("over the top: how much the rotator's reading exceeds the flipped sun, azimuth + 180°, elevation 180° − e")
        : QStringLiteral("how much the rotator's reading exceeds the true sun");
    lines << QStringLiteral("方位角のずれ %1 ± %2、仰角のずれ %3 ± %4（%5）")
                 .arg(signedDegrees(outcome.azimuthOffset), QString::number(outcome.azimuthOffsetError, 'f', 3) + QStringLiteral("°"),
                      signedDegrees(outcome.elevationOffset), QString::number(outcome.elevationOffsetError, 'f', 3) + QStringLiteral("°"), meaningJa);
    lines << QStringLiteral("Azimuth offset %1 ± %2, elevation offset %3 ± %4 (%5)")
                 .arg(signedDegrees(outcome.azimuthOffset), QString::number(outcome.azimuthOffsetError, 'f', 3) + QStringLiteral("°"),
                      signedDegrees(outcome.elevationOffset), QString::number(outcome.elevationOffsetError, 'f', 3) + QStringLiteral("°"), meaningEn);
    lines << QStringLiteral("ビーム幅（半値全幅）: クロス仰角 %1 ± %2、仰角 %3 ± %4\nBeamwidth (FWHM): cross-elevation %1 ± %2, elevation %3 ± %4")
                 .arg(QString::number(x.width, 'f', 3) + QStringLiteral("°"), QString::number(x.widthError, 'f', 3) + QStringLiteral("°"),
                      QString::number(e.width, 'f', 3) + QStringLiteral("°"), QString::number(e.widthError, 'f', 3) + QStringLiteral("°"));
    lines << QStringLiteral("太陽のベースラインからの上昇 Y: %1 ± %2 dB（クロス仰角）、%3 ± %4 dB（仰角）、ベースライン %5 dB、太陽の仰角 %6\n"
                            "Sun over baseline, Y: %1 ± %2 dB (cross-elevation), %3 ± %4 dB (elevation), baseline %5 dB, sun at %6 elevation")
                 .arg(QString::number(x.yDecibels, 'f', 2), QString::number(x.yDecibelsError, 'f', 2), QString::number(e.yDecibels, 'f', 2),
                      QString::number(e.yDecibelsError, 'f', 2), QString::number(x.baseline, 'f', 2),
                      QString::number(outcome.sunElevation, 'f', 2) + QStringLiteral("°"));
    if (resolution >= 1) {
        lines << QStringLiteral("電力は整数 dB で読まれています: 中心の精度はその分落ちます。\n"
                                "The power was read in whole dB: the centres are less certain for it.");
    }
    double unseen = 0;
    for (const MeasuredPoint& point : outcome.points)
        unseen = std::max(unseen, point.skipped ? 0.0 : point.dwell.unseenDeadBand);
    if (unseen > 0) {
        const QString range = QString::number(unseen, 'f', 2) + QStringLiteral("°");
        lines << QStringLiteral("ローテーターの不感帯が読みに見えないため、0° から %1 までのどれでもよいものとしてずれの誤差に含めました"
                                "（--deadband で与えると誤差が小さくなります）。\n"
                                "The rotator's dead band does not show in its readings: anything from 0° to %1 is counted in "
                                "the offsets' errors (give --deadband to narrow them).")
                     .arg(range);
    }
    if (!outcome.overTheTop)
        lines << QStringLiteral("手で同じずれを与えるオプション: %1\nThe same offsets by hand: %1").arg(offsetOptionsText(outcome));
    return lines;
}

bool writeCalibrationCsv(const QString& path, const CalibrationOutcome& outcome, QString* problem)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *problem = writeProblem(path, file.errorString());
        return false;
    }
    QTextStream out(&file);
    out << "role,planned_xel_deg,planned_el_deg,skipped,xel_deg,el_deg,power_db,spread_db,count,utc_unix_s,"
           "sun_az_deg,sun_el_deg,rotator_az_deg,rotator_el_deg\n";
    for (const MeasuredPoint& p : outcome.points) {
        out << pointRoleName(p.role) << ',' << QString::number(p.plannedCrossElevation, 'f', 4) << ','
            << QString::number(p.plannedElevation, 'f', 4) << ',' << (p.skipped ? 1 : 0) << ','
            << QString::number(p.crossElevation, 'f', 4) << ',' << QString::number(p.elevation, 'f', 4) << ','
            << QString::number(p.dwell.power, 'f', 3) << ',' << QString::number(p.dwell.spread, 'f', 3) << ','
            << p.dwell.count << ',' << QString::number(p.dwell.utc, 'f', 2) << ',' << QString::number(p.sunAzimuth, 'f', 4) << ','
            << QString::number(p.sunElevation, 'f', 4) << ',' << QString::number(p.dwell.reading.azimuth, 'f', 2) << ','
            << QString::number(p.dwell.reading.elevation, 'f', 2) << '\n';
    }
    out.flush();
    if (!file.commit()) {
        *problem = writeProblem(path, file.errorString());
        return false;
    }
    return true;
}

namespace {

struct Panel {
    QRectF area;
    QString title;
    bool alongElevation = false;
    const BeamFitResult* fit = nullptr;
};

// The points a panel shows: its own axis, the centre, and in five-point
// the baseline points (on the cross-elevation panel).
std::vector<const MeasuredPoint*> shownPoints(const Panel& panel, const CalibrationOutcome& outcome)
{
    std::vector<const MeasuredPoint*> shown;
    for (const MeasuredPoint& p : outcome.points) {
        if (p.skipped)
            continue;
        const bool mine = panel.alongElevation ? p.role == PointRole::Elevation
                                               : p.role == PointRole::CrossElevation || p.role == PointRole::Baseline;
        if (mine || p.role == PointRole::Centre)
            shown.push_back(&p);
    }
    return shown;
}

// Where a point lies along the panel's own axis, degrees from the true sun.
double panelOffset(const Panel& panel, const MeasuredPoint& p)
{
    return panel.alongElevation ? p.elevation : p.crossElevation;
}

// The panel's ranges: offset in degrees across, power in dB up.
struct PanelRange {
    double xMin = -1;
    double xMax = 1;
    double yMin = 0;
    double yMax = 1;
};

// The points with their spread and, when drawn, the whole fitted beam, with a
// margin so that none sits on the frame.
PanelRange panelRange(const Panel& panel, const std::vector<const MeasuredPoint*>& shown, bool withCurve)
{
    PanelRange r;
    if (!shown.empty()) {
        r.xMin = r.xMax = panelOffset(panel, *shown.front());
        r.yMin = r.yMax = shown.front()->dwell.power;
        for (const MeasuredPoint* p : shown) {
            r.xMin = std::min(r.xMin, panelOffset(panel, *p));
            r.xMax = std::max(r.xMax, panelOffset(panel, *p));
            r.yMin = std::min(r.yMin, p->dwell.power - p->dwell.spread);
            r.yMax = std::max(r.yMax, p->dwell.power + p->dwell.spread);
        }
    }
    if (withCurve) {
        r.yMin = std::min(r.yMin, panel.fit->baseline);
        r.yMax = std::max(r.yMax, panel.fit->baseline + panel.fit->yDecibels);
    }
    const double xPad = std::max(0.1, (r.xMax - r.xMin) * 0.05);
    r.xMin -= xPad;
    r.xMax += xPad;
    const double yPad = std::max(0.2, (r.yMax - r.yMin) * 0.08);
    r.yMin -= yPad;
    r.yMax += yPad;
    return r;
}

// From degrees and dB to the picture's pixels inside the plot's frame.
struct PanelMap {
    QRectF plot;
    PanelRange range;

    QPointF operator()(double x, double y) const
    {
        return QPointF(plot.left() + (x - range.xMin) / (range.xMax - range.xMin) * plot.width(),
                       plot.bottom() - (y - range.yMin) / (range.yMax - range.yMin) * plot.height());
    }
};

// Ticks: about six per axis, on round steps.
double niceStep(double range)
{
    const double raw = range / 6;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= m * magnitude)
            return m * magnitude;
    }
    return 10 * magnitude;
}

// The frame, the title, the grid with its numbers and the axes' names.
void drawFrame(QPainter& painter, const Panel& panel, const PanelMap& map)
{
    const QRectF& plot = map.plot;
    const PanelRange& r = map.range;
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(plot);
    painter.drawText(QRectF(panel.area.left(), panel.area.top() + 8, panel.area.width(), 24), Qt::AlignHCenter, panel.title);
    const double xStep = niceStep(r.xMax - r.xMin);
    for (double x = std::ceil(r.xMin / xStep) * xStep; x <= r.xMax; x += xStep) {
        const QPointF at = map(x, r.yMin);
        painter.setPen(QPen(QColor(220, 220, 220), 1));
        painter.drawLine(QPointF(at.x(), plot.top()), QPointF(at.x(), plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(at.x() - 40, plot.bottom() + 4, 80, 18), Qt::AlignHCenter, QString::number(x, 'f', 2));
    }
    const double yStep = niceStep(r.yMax - r.yMin);
    for (double y = std::ceil(r.yMin / yStep) * yStep; y <= r.yMax; y += yStep) {
        const QPointF at = map(r.xMin, y);
        painter.setPen(QPen(QColor(220, 220, 220), 1));
        painter.drawLine(QPointF(plot.left(), at.y()), QPointF(plot.right(), at.y()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(plot.left() - 66, at.y() - 9, 60, 18), Qt::AlignRight | Qt::AlignVCenter, QString::number(y, 'f', 1));
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + 24, plot.width(), 20), Qt::AlignHCenter,
                     panel.alongElevation ? QStringLiteral("elevation offset from the true sun (deg)")
                                          : QStringLiteral("cross-elevation offset from the true sun (deg)"));
    painter.save();
    painter.translate(panel.area.left() + 14, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-100, -10, 200, 20), Qt::AlignCenter, QStringLiteral("power (dB)"));
    painter.restore();
}

// The fitted beam across the whole panel and a dashed line at its centre.
void drawCurve(QPainter& painter, const BeamFitResult& fit, const PanelMap& map)
{
    const PanelRange& r = map.range;
    QPainterPath curve;
    constexpr int kSamples = 200;
    for (int i = 0; i <= kSamples; ++i) {
        const double x = r.xMin + (r.xMax - r.xMin) * i / kSamples;
        const QPointF at = map(x, gaussian(fit, x));
        if (i == 0)
            curve.moveTo(at);
        else
            curve.lineTo(at);
    }
    painter.setPen(QPen(QColor(200, 60, 20), 2));
    painter.drawPath(curve);
    painter.setPen(QPen(QColor(200, 60, 20), 1, Qt::DashLine));
    painter.drawLine(map(fit.centre, r.yMin), map(fit.centre, r.yMax));
}

// The fit's figures in the panel's corner; on the cross-elevation panel also
// what its centre means in azimuth.
void drawFitText(QPainter& painter, const Panel& panel, const QRectF& plot, const CalibrationOutcome& outcome)
{
    painter.setPen(Qt::black);
    QString text = panel.fit->ok()
        ? QStringLiteral("centre %1 ± %2°, FWHM %3 ± %4°, Y %5 dB")
              .arg(QString::number(panel.fit->centre, 'f', 3), QString::number(panel.fit->centreError, 'f', 3),
                   QString::number(panel.fit->width, 'f', 3), QString::number(panel.fit->widthError, 'f', 3),
                   QString::number(panel.fit->yDecibels, 'f', 2))
        : QStringLiteral("no fit: refused");
    if (panel.fit->ok() && !panel.alongElevation && outcome.ok)
        text += QStringLiteral(" (= %1° of azimuth)").arg(QString::number(outcome.azimuthOffset, 'f', 3));
    painter.drawText(QRectF(plot.left() + 6, plot.top() + 4, plot.width() - 12, 20), Qt::AlignLeft, text);
}

void drawPanel(QPainter& painter, const Panel& panel, const CalibrationOutcome& outcome)
{
    const std::vector<const MeasuredPoint*> shown = shownPoints(panel, outcome);
    const bool withCurve = panel.fit && drawable(*panel.fit);
    const PanelMap map{panel.area.adjusted(70, 40, -20, -50), panelRange(panel, shown, withCurve)};
    const PanelRange& r = map.range;
    drawFrame(painter, panel, map);

    painter.setClipRect(map.plot);
    if (withCurve)
        drawCurve(painter, *panel.fit, map);
    painter.setPen(QPen(QColor(120, 120, 120), 1, Qt::DotLine));
    painter.drawLine(map(0, r.yMin), map(0, r.yMax));
    for (const MeasuredPoint* p : shown) {
        const double x = panelOffset(panel, *p);
        const QPointF at = map(x, p->dwell.power);
        painter.setPen(QPen(QColor(20, 60, 160), 1.5));
        painter.drawLine(map(x, p->dwell.power - p->dwell.spread), map(x, p->dwell.power + p->dwell.spread));
        painter.setBrush(QColor(20, 60, 160));
        painter.drawEllipse(at, 4, 4);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setClipping(false);
    if (panel.fit)
        drawFitText(painter, panel, map.plot, outcome);
}

}  // namespace

bool drawCalibrationPicture(const QString& path, const CalibrationOutcome& outcome, const QDateTime& measuredUtc,
                            QString* problem)
{
    constexpr int kWidth = 1400;
    constexpr int kHeight = 620;
    picture::Canvas canvas(kWidth, kHeight, 14);
    QPainter& painter = canvas.painter();
    const QFont font = painter.font();

    const QString pattern = outcome.pattern == CalibrationPattern::Cross ? QStringLiteral("cross scan, Gaussian fits")
                                                                         : QStringLiteral("five-point, closed form");
    painter.drawText(QRectF(0, 6, kWidth, 22), Qt::AlignHCenter,
                     QStringLiteral("heliotrope-rotctl: calibration on the sun, %1 UTC (%2), sun at %3° elevation")
                         .arg(measuredUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")), pattern,
                              QString::number(outcome.sunElevation, 'f', 1)));
    drawPanel(painter, {QRectF(0, 30, kWidth / 2.0, kHeight - 80), QStringLiteral("Cross-elevation cut"), false, &outcome.crossElevationFit},
              outcome);
    drawPanel(painter, {QRectF(kWidth / 2.0, 30, kWidth / 2.0, kHeight - 80), QStringLiteral("Elevation cut"), true, &outcome.elevationFit},
              outcome);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(16);
    painter.setFont(bold);
    painter.setPen(outcome.ok ? QColor(0, 100, 0) : QColor(180, 0, 0));
    const QString result = outcome.ok
        ? QStringLiteral("Offsets (rotator reading minus true sun): azimuth %1 ± %2°, elevation %3 ± %4°   →   %5")
              .arg(QString::number(outcome.azimuthOffset, 'f', 3), QString::number(outcome.azimuthOffsetError, 'f', 3),
                   QString::number(outcome.elevationOffset, 'f', 3), QString::number(outcome.elevationOffsetError, 'f', 3),
                   offsetOptionsText(outcome))
        : QStringLiteral("No offsets: %1").arg(outcome.refusalEnglish);
    painter.drawText(QRectF(10, kHeight - 40, kWidth - 20, 30), Qt::AlignHCenter | Qt::AlignVCenter, result);
    return picture::savePng(canvas.finished(), path, problem);
}

}  // namespace heliotrope::measure
