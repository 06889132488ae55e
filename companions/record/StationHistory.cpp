#include "companions/record/StationHistory.h"

#include "companions/picture/Picture.h"

#include <QPainter>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace heliotrope::record {

namespace {

const QString kDuringBurstMark = QStringLiteral("  バースト中 during a burst (健康の判断から除外 out of the health check)");

QString signedNumber(double value, int decimals)
{
    return (value >= 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', decimals);
}

QString measuredText(const Measured& m, int decimals, const QString& unit, bool sign = false)
{
    return QStringLiteral("%1 ± %2%3")
        .arg(sign ? signedNumber(m.value, decimals) : QString::number(m.value, 'f', decimals),
             QString::number(m.error, 'f', decimals), unit);
}

// A reason kept as "Japanese\nEnglish", on one line.
QString reasonOnOneLine(const QString& reason)
{
    QStringList parts = reason.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& part : parts)
        part = part.trimmed();
    return parts.isEmpty() ? QStringLiteral("理由不明 / no reason recorded") : parts.join(QStringLiteral(" / "));
}

// A rehearsal's mark, with the shift of its clock: it stands at the sun's
// time, not at the hour it was run.
QString rehearsalMark(double clockOffsetSeconds)
{
    if (clockOffsetSeconds == 0)
        return {};
    return QStringLiteral(", リハーサル rehearsal, 時計 clock %1%2 h")
        .arg(clockOffsetSeconds > 0 ? QStringLiteral("+") : QString())
        .arg(QString::number(clockOffsetSeconds / 3600.0, 'f', 2));
}

QString calibrationLine(const RecordedCalibration& c)
{
    QString line = QStringLiteral("%1  較正 calibration (%2%3%4):")
                       .arg(recordTimeText(c.utc), c.pattern, c.overTheTop ? QStringLiteral(", 反転 flipped") : QString(),
                            rehearsalMark(c.clockOffsetSeconds));
    if (!c.found || !c.azimuthOffset || !c.elevationOffset)
        return line + QStringLiteral(" 結果なし no result: ") + reasonOnOneLine(c.reason);
    line += QStringLiteral(" Δaz %1  Δel %2")
                .arg(measuredText(*c.azimuthOffset, 3, QStringLiteral("°"), true),
                     measuredText(*c.elevationOffset, 3, QStringLiteral("°"), true));
    if (c.crossElevationBeamwidth && c.elevationBeamwidth)
        line += QStringLiteral("  ビーム幅 beamwidth %1 / %2")
                    .arg(measuredText(*c.crossElevationBeamwidth, 2, QStringLiteral("°")),
                         measuredText(*c.elevationBeamwidth, 2, QStringLiteral("°")));
    if (c.yDecibels)
        line += QStringLiteral("  Y %1").arg(measuredText(*c.yDecibels, 2, QStringLiteral(" dB")));
    line += QStringLiteral("  仰角 el %1°  大気差 refraction %2")
                .arg(QString::number(c.sunElevation, 'f', 1), c.refraction);
    if (c.rotatorStep)
        line += QStringLiteral("  刻み step %1°").arg(QString::number(*c.rotatorStep, 'f', 2));
    line += QStringLiteral("  不感帯 dead band %1°").arg(QString::number(c.deadBand, 'f', 2));
    if (c.overTheTop)
        line += QStringLiteral("  指向モデル用 for the pointing model (読み − 反転した太陽 reading minus the flipped sun)");
    else
        line += c.saved ? QStringLiteral("  保存 saved")
                        : QStringLiteral("  保存せず not saved: ") + reasonOnOneLine(c.reason);
    if (c.duringBurst)
        line += kDuringBurstMark;
    return line;
}

QString sunNoiseLine(const RecordedSunNoise& r)
{
    QString line = QStringLiteral("%1  太陽雑音 sun noise").arg(recordTimeText(r.utc));
    if (r.frequencyMegahertz)
        line += QStringLiteral(" %1 MHz").arg(QString::number(*r.frequencyMegahertz, 'f', 3));
    if (r.rehearsal())
        line += QStringLiteral(" (%1)").arg(rehearsalMark(r.clockOffsetSeconds).mid(2));
    line += QLatin1Char(':');
    if (!r.found || !r.yDecibels)
        return line + QStringLiteral(" 結果なし no result: ") + reasonOnOneLine(r.reason);
    line += QStringLiteral(" Y %1").arg(QString::number(*r.yDecibels, 'f', 2));
    if (r.yDecibelsDeviation)
        line += QStringLiteral(" ± %1").arg(QString::number(*r.yDecibelsDeviation, 'f', 2));
    line += QStringLiteral(" dB (%1 回 repeats)").arg(r.repeats.size());
    if (r.expectedYDecibels)
        line += QStringLiteral("  期待値 expected %1 dB").arg(QString::number(*r.expectedYDecibels, 'f', 2));
    if (r.gOverTDecibelsPerKelvin)
        line += QStringLiteral("  G/T %1 dB/K").arg(QString::number(*r.gOverTDecibelsPerKelvin, 'f', 2));
    if (r.fluxSfu)
        line += QStringLiteral("  フラックス flux %1 sfu (%2)")
                    .arg(QString::number(*r.fluxSfu, 'f', 1),
                         r.fluxSource == FluxSource::TypedForTheDay ? QStringLiteral("その日の値 typed for the day")
                                                                    : QStringLiteral("仮定 assumed, --flux"));
    if (r.gainControlWarning)
        line += QStringLiteral("  AGC の疑い AGC suspected");
    if (r.duringBurst)
        line += kDuringBurstMark;
    return line;
}

}  // namespace

QStringList historyLines(const std::vector<StationRun>& runs)
{
    QStringList lines;
    for (const StationRun& run : runs) {
        if (const auto* c = std::get_if<RecordedCalibration>(&run))
            lines << calibrationLine(*c);
        else
            lines << sunNoiseLine(std::get<RecordedSunNoise>(run));
    }
    return lines;
}

QString historyHeading()
{
    return QStringLiteral("局の記録（古い順）: 較正のずれ Δaz Δel はローテーターの読み − 真の方向\n"
                          "The station's record, oldest first: calibration offsets Δaz Δel are the rotator's reading "
                          "minus the true direction");
}

QString noHistoryLine()
{
    return QStringLiteral("記録はまだありません。\nNothing recorded yet.");
}

QDateTime sinceFromText(const QString& text)
{
    const QString t = text.trimmed();
    const QDate date = t.size() == 10 ? QDate::fromString(t, Qt::ISODate) : QDate();
    if (date.isValid())
        return QDateTime(date, QTime(0, 0), QTimeZone::utc());
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (!when.isValid())
        return {};
    if (when.timeSpec() == Qt::LocalTime)
        when.setTimeZone(QTimeZone::utc());  // a time without a zone is UTC, as the record's
    return when.toUTC();
}

namespace {

struct Sample {
    double t = 0;  // seconds since 1970
    double value = 0;
    double error = 0;
};

struct Series {
    QString label;
    QColor colour;
    std::vector<Sample> samples;
};

void drawPanel(QPainter& painter, const QRectF& area, const QString& title, const QString& unit,
               const std::vector<Series>& series, double t0, double t1, const std::vector<double>& failures)
{
    const QRectF plot = area.adjusted(80, 28, -20, -30);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top() + 4, area.width(), 20), Qt::AlignHCenter, title);
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const Series& s : series)
        for (const Sample& p : s.samples) {
            lo = std::min(lo, p.value - p.error);
            hi = std::max(hi, p.value + p.error);
        }
    if (!std::isfinite(lo)) {
        lo = 0;
        hi = 1;
    }
    if (hi - lo < 1e-6) {
        lo -= 0.5;
        hi += 0.5;
    }
    const double pad = (hi - lo) * 0.08;
    lo -= pad;
    hi += pad;
    const auto map = [&](double t, double v) {
        return QPointF(plot.left() + (t - t0) / (t1 - t0) * plot.width(), plot.bottom() - (v - lo) / (hi - lo) * plot.height());
    };
    painter.setPen(QPen(QColor(220, 220, 220), 1));
    for (const double v : picture::ticks(lo, hi, 5)) {
        const QPointF at = map(t0, v);
        painter.drawLine(QPointF(plot.left(), at.y()), QPointF(plot.right(), at.y()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), at.y() - 9, 74, 18), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(v, 'g', 4));
        painter.setPen(QPen(QColor(220, 220, 220), 1));
    }
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    painter.save();
    painter.translate(area.left() + 14, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-100, -10, 200, 20), Qt::AlignCenter, unit);
    painter.restore();
    painter.setClipRect(plot.adjusted(-6, -6, 6, 6));
    for (const double t : failures) {
        painter.setPen(QPen(QColor(200, 0, 0), 2));
        painter.drawLine(map(t, lo) + QPointF(0, -1), map(t, lo) + QPointF(0, -12));
    }
    double legendX = plot.left() + 8;
    for (const Series& s : series) {
        painter.setPen(QPen(s.colour, 1.5));
        painter.setBrush(s.colour);
        QPointF last;
        bool first = true;
        for (const Sample& p : s.samples) {
            const QPointF at = map(p.t, p.value);
            if (!first)
                painter.drawLine(last, at);
            if (p.error > 0)
                painter.drawLine(map(p.t, p.value - p.error), map(p.t, p.value + p.error));
            painter.drawEllipse(at, 3.5, 3.5);
            last = at;
            first = false;
        }
        painter.drawText(QRectF(legendX, plot.top() + 4, 260, 18), Qt::AlignLeft, s.label);
        legendX += 20 + painter.fontMetrics().horizontalAdvance(s.label);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setClipping(false);
}

// What the record shows over time (UTC seconds since 1970): each
// frequency's sun-noise Y in dB, G/T in dB/K, the calibration offsets in
// degrees, and when runs ended without a result.
struct HistorySeries {
    std::map<double, Series> yByFrequency;
    Series gOverT{QStringLiteral("G/T"), QColor(0, 110, 0), {}};
    Series azimuth{QStringLiteral("azimuth offset"), QColor(20, 60, 160), {}};
    Series elevation{QStringLiteral("elevation offset"), QColor(190, 90, 0), {}};
    std::vector<double> sunNoiseFailures;
    std::vector<double> calibrationFailures;
    double t0 = std::numeric_limits<double>::infinity();
    double t1 = -t0;
};

// The runs sorted into their series, and the span of time they cover with
// a margin; a day when there are none, a day around a lone hour.
HistorySeries historySeries(const std::vector<StationRun>& runs)
{
    HistorySeries h;
    double& t0 = h.t0;
    double& t1 = h.t1;
    const QColor palette[] = {QColor(20, 60, 160), QColor(160, 20, 120), QColor(0, 130, 130), QColor(120, 80, 0)};
    for (const StationRun& run : runs) {
        const double t = static_cast<double>(runUtc(run).toMSecsSinceEpoch()) / 1000.0;
        t0 = std::min(t0, t);
        t1 = std::max(t1, t);
        if (const auto* c = std::get_if<RecordedCalibration>(&run)) {
            // A scan over the top found the other side's offsets: not of this series.
            if (c->found && c->overTheTop)
                continue;
            if (c->found && c->azimuthOffset && c->elevationOffset) {
                h.azimuth.samples.push_back({t, c->azimuthOffset->value, c->azimuthOffset->error});
                h.elevation.samples.push_back({t, c->elevationOffset->value, c->elevationOffset->error});
            } else {
                h.calibrationFailures.push_back(t);
            }
            continue;
        }
        const auto& r = std::get<RecordedSunNoise>(run);
        if (!r.found || !r.yDecibels) {
            h.sunNoiseFailures.push_back(t);
            continue;
        }
        const double f = r.frequencyMegahertz.value_or(0);
        Series& s = h.yByFrequency[f];
        if (s.label.isEmpty()) {
            s.label = f > 0 ? QStringLiteral("Y at %1 MHz").arg(QString::number(f, 'f', 3)) : QStringLiteral("Y");
            s.colour = palette[(h.yByFrequency.size() - 1) % std::size(palette)];
        }
        s.samples.push_back({t, *r.yDecibels, r.yDecibelsDeviation.value_or(0)});
        if (r.gOverTDecibelsPerKelvin)
            h.gOverT.samples.push_back({t, *r.gOverTDecibelsPerKelvin, 0});
    }
    if (!std::isfinite(t0)) {
        t0 = 0;
        t1 = 86400;
    }
    if (t1 - t0 < 3600) {
        t0 -= 43200;
        t1 += 43200;
    }
    const double margin = (t1 - t0) * 0.03;
    t0 -= margin;
    t1 += margin;
    return h;
}

// The date axis under the last panel, which ends at axisBottom; times UTC.
void drawDateAxis(QPainter& painter, double w, double axisBottom, double t0, double t1)
{
    const double left = 80;
    const double right = w - 20;
    const double axisY = axisBottom - 26;
    const int labels = 6;
    const bool withTime = (t1 - t0) < 4 * 86400;
    painter.setPen(Qt::black);
    for (int i = 0; i <= labels; ++i) {
        const double t = t0 + (t1 - t0) * i / labels;
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t * 1000), QTimeZone::utc());
        const double x = left + (right - left) * i / labels;
        painter.drawText(QRectF(x - 80, axisY, 160, 20), Qt::AlignHCenter,
                         when.toString(withTime ? QStringLiteral("MM-dd HH:mm") : QStringLiteral("yyyy-MM-dd")));
    }
}

}  // namespace

QImage historyPicture(const std::vector<StationRun>& runs, QSize size)
{
    picture::Canvas canvas(size.width(), size.height(), 13);
    QPainter& painter = canvas.painter();

    const HistorySeries h = historySeries(runs);
    const double t0 = h.t0;
    const double t1 = h.t1;

    const double w = size.width();
    const double top = 30;
    const double panelHeight = (size.height() - top - 50) / 3.0;
    painter.drawText(QRectF(0, 6, w, 22), Qt::AlignHCenter,
                     QStringLiteral("heliotrope-rotctl: the station's record, %1 runs (red marks: runs without a result)")
                         .arg(runs.size()));
    std::vector<Series> ys;
    for (const auto& [f, s] : h.yByFrequency)
        ys.push_back(s);
    drawPanel(painter, QRectF(0, top, w, panelHeight), QStringLiteral("Sun-noise Y"), QStringLiteral("dB"), ys, t0, t1,
              h.sunNoiseFailures);
    drawPanel(painter, QRectF(0, top + panelHeight, w, panelHeight), QStringLiteral("G/T"), QStringLiteral("dB/K"),
              {h.gOverT}, t0, t1, {});
    drawPanel(painter, QRectF(0, top + 2 * panelHeight, w, panelHeight),
              QStringLiteral("Calibration offsets (rotator reading minus true direction)"), QStringLiteral("degrees"),
              {h.azimuth, h.elevation}, t0, t1, h.calibrationFailures);

    drawDateAxis(painter, w, top + 3 * panelHeight, t0, t1);
    painter.drawText(QRectF(0, size.height() - 24, w, 20), Qt::AlignHCenter, QStringLiteral("date (UTC)"));
    return canvas.finished();
}

bool saveHistoryPicture(const std::vector<StationRun>& runs, const QString& path, QString* problem)
{
    return picture::savePng(historyPicture(runs), path, problem);
}

}  // namespace heliotrope::record
