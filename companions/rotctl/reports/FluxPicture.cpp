#include "companions/rotctl/reports/FluxPicture.h"

#include "companions/picture/Picture.h"

#include <QDateTime>
#include <QPainter>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>

namespace heliotrope::rotctl {

namespace {

const QColor kClean(20, 60, 160);
const QColor kBurst(200, 90, 0);
const QColor kValue(200, 0, 0);
const QColor kReference(0, 140, 60);

// A plot's frame: the data's ranges mapped into a rectangle, its grid and
// labels drawn.
struct Frame {
    QRectF plot;
    double t0 = 0;
    double t1 = 1;
    double lo = 0;
    double hi = 1;

    QPointF at(double t, double v) const
    {
        return {plot.left() + (t - t0) / (t1 - t0) * plot.width(), plot.bottom() - (v - lo) / (hi - lo) * plot.height()};
    }
};

// The range of the values, padded; 0 to 1 when there are none.
void fitRange(Frame& frame, double lo, double hi)
{
    if (!std::isfinite(lo) || !std::isfinite(hi)) {
        lo = 0;
        hi = 1;
    }
    if (hi - lo < 1e-6) {
        lo -= 0.5;
        hi += 0.5;
    }
    const double pad = (hi - lo) * 0.08;
    frame.lo = lo - pad;
    frame.hi = hi + pad;
}

// Times on the axis at whole steps of the Japanese clock (an hour, a day),
// the finest of `steps` (seconds) that gives at most `most` of them.
std::vector<double> jstTicks(double t0, double t1, int most, std::initializer_list<double> steps)
{
    constexpr double kJst = 9 * 3600.0;
    std::vector<double> out;
    for (const double step : steps) {
        out.clear();
        for (double t = std::ceil((t0 + kJst) / step) * step - kJst; t <= t1; t += step)
            out.push_back(t);
        if (static_cast<int>(out.size()) <= most)
            break;
    }
    return out;
}

void drawFrame(QPainter& painter, const Frame& f, const QString& yLabel, const QString& xLabel,
               const std::function<QString(double)>& timeText, const std::vector<double>& timeTicks)
{
    painter.setPen(QPen(QColor(220, 220, 220), 1));
    for (const double v : picture::ticks(f.lo, f.hi, 6)) {
        const double y = f.at(f.t0, v).y();
        painter.setPen(QPen(QColor(220, 220, 220), 1));
        painter.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(f.plot.left() - 80, y - 9, 74, 18), Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 5));
    }
    painter.setPen(Qt::black);
    for (const double t : timeTicks) {
        const double x = f.at(t, f.lo).x();
        painter.drawLine(QPointF(x, f.plot.bottom()), QPointF(x, f.plot.bottom() + 4));
        painter.drawText(QRectF(x - 60, f.plot.bottom() + 6, 120, 18), Qt::AlignHCenter, timeText(t));
    }
    painter.drawRect(f.plot);
    painter.drawText(QRectF(f.plot.left(), f.plot.bottom() + 26, f.plot.width(), 20), Qt::AlignHCenter, xLabel);
    painter.save();
    painter.translate(f.plot.left() - 92, f.plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-200, -10, 400, 20), Qt::AlignCenter, yLabel);
    painter.restore();
}

void errorBar(QPainter& painter, const Frame& f, double t, double value, double error, double radius)
{
    painter.drawLine(f.at(t, value - error), f.at(t, value + error));
    const QPointF c = f.at(t, value);
    painter.drawLine(c + QPointF(-radius, -f.plot.height() * error / (f.hi - f.lo)), c + QPointF(radius, -f.plot.height() * error / (f.hi - f.lo)));
    painter.drawLine(c + QPointF(-radius, f.plot.height() * error / (f.hi - f.lo)), c + QPointF(radius, f.plot.height() * error / (f.hi - f.lo)));
    painter.drawEllipse(c, radius, radius);
}

// A flagged reading's grey, by the reason that weighs most in it.
QColor greyFor(unsigned flags)
{
    int shade = 150;
    for (const flux::Flag flag : flux::kAllFlags) {
        if (flux::hasFlag(flags, flag))
            break;
        shade += 9;
    }
    return QColor(shade - 40, shade - 40, shade - 40);
}

QString flagLabel(flux::Flag flag)
{
    switch (flag) {
    case flux::Flag::Moved:
        return QStringLiteral("動いた moved");
    case flux::Flag::OffSun:
        return QStringLiteral("太陽から外れた off the sun");
    case flux::Flag::DuringReference:
        return QStringLiteral("参照中 on a reference");
    case flux::Flag::DuringStow:
        return QStringLiteral("格納中 stowed");
    case flux::Flag::DuringMeasurement:
        return QStringLiteral("測定中 measuring");
    case flux::Flag::Spike:
        return QStringLiteral("スパイク spike");
    case flux::Flag::NoReference:
        return QStringLiteral("参照なし no reference");
    case flux::Flag::SunLow:
        return QStringLiteral("太陽が低い sun low");
    case flux::Flag::Unreadable:
        return QStringLiteral("読めない unreadable");
    case flux::Flag::GainStep:
        return QStringLiteral("利得の段差 gain step");
    }
    return {};
}

flux::Flag firstFlag(unsigned flags)
{
    for (const flux::Flag flag : flux::kAllFlags)
        if (flux::hasFlag(flags, flag))
            return flag;
    return flux::Flag::Unreadable;
}

QString jstText(double utc, const QString& format)
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(utc * 1000.0), QTimeZone(9 * 3600)).toString(format);
}

}  // namespace

QImage fluxDayPicture(const WorkedFluxDay& worked, QSize size)
{
    picture::Canvas canvas(size.width(), size.height(), 13);
    QPainter& painter = canvas.painter();
    const flux::FluxDay& day = worked.day;
    Frame f;
    f.plot = QRectF(110, 60, size.width() - 140, size.height() - 160);
    double t0 = std::numeric_limits<double>::infinity();
    double t1 = -t0;
    double lo = t0;
    double hi = -t0;
    for (const flux::FluxReading& r : day.readings) {
        t0 = std::min(t0, r.utc);
        t1 = std::max(t1, r.utc);
        // The scale is set by the clean readings; flagged ones far off it are clipped.
        if (r.fluxSfu && r.flags == 0) {
            lo = std::min(lo, *r.fluxSfu);
            hi = std::max(hi, *r.fluxSfu);
        }
    }
    if (!std::isfinite(t0) || t1 - t0 < 60) {
        t0 = record::jstDayStartUtc(worked.jstDay);
        t1 = t0 + 86400;
    }
    f.t0 = t0 - (t1 - t0) * 0.02;
    f.t1 = t1 + (t1 - t0) * 0.02;
    fitRange(f, lo, hi);

    painter.drawText(QRectF(0, 8, size.width(), 22), Qt::AlignHCenter,
                     QStringLiteral("%1（JST）の太陽フラックス  the sun's flux on %1 (JST), %2 MHz, %3%4")
                         .arg(worked.jstDay.toString(Qt::ISODate), QString::number(worked.station.frequencyMegahertz, 'f', 1),
                              record::scaleKindText(day.scale),
                              worked.provisional ? QStringLiteral("  暫定 provisional") : QString()));
    drawFrame(
        painter, f, QStringLiteral("フラックス flux (SFU)"), QStringLiteral("日本時間 JST"),
        [](double t) { return jstText(t, QStringLiteral("HH:mm")); }, jstTicks(f.t0, f.t1, 9, {600, 900, 1800, 3600, 7200, 10800, 21600}));

    painter.setClipRect(f.plot);
    // Bursts under everything, as bands.
    for (const flux::FluxBurst& b : day.bursts) {
        const QPointF a = f.at(b.startUtc, f.hi);
        const QPointF z = f.at(b.endUtc, f.lo);
        painter.fillRect(QRectF(a, z), QColor(255, 225, 190));
    }
    // References as ticks along the top.
    painter.setPen(QPen(kReference, 3));
    for (const flux::Reference& r : worked.references) {
        const double x0 = f.at(r.startUtc, f.hi).x();
        const double x1 = std::max(f.at(r.endUtc, f.hi).x(), x0 + 1);
        painter.drawLine(QPointF(x0, f.plot.top() + 3), QPointF(x1, f.plot.top() + 3));
    }
    unsigned flagsSeen = 0;
    for (const flux::FluxReading& r : day.readings) {
        if (!r.fluxSfu)
            continue;
        if (r.flags != 0) {
            flagsSeen |= static_cast<unsigned>(firstFlag(r.flags));
            painter.setPen(QPen(greyFor(r.flags), 1.5));
        } else {
            painter.setPen(QPen(r.inBurst ? kBurst : kClean, 1.5));
        }
        painter.drawPoint(f.at(r.utc, *r.fluxSfu));
    }
    // Readings without a flux (no Y, too far off the sun) along the bottom.
    for (const flux::FluxReading& r : day.readings)
        if (!r.fluxSfu) {
            flagsSeen |= static_cast<unsigned>(firstFlag(r.flags));
            painter.setPen(QPen(greyFor(r.flags), 1));
            painter.drawLine(f.at(r.utc, f.lo), f.at(r.utc, f.lo) + QPointF(0, -6));
        }
    painter.setPen(QPen(kBurst, 2));
    for (const flux::FluxBurst& b : day.bursts) {
        painter.drawLine(f.at(b.peakUtc - b.peakUtcError, b.peakSfu), f.at(b.peakUtc + b.peakUtcError, b.peakSfu));
        painter.drawLine(f.at(b.peakUtc, b.peakSfu) + QPointF(0, -8), f.at(b.peakUtc, b.peakSfu) + QPointF(0, 8));
    }
    painter.setPen(QPen(kValue, 2));
    painter.setBrush(kValue);
    for (const flux::FluxValue& v : day.atFixedTimes)
        if (v.fluxSfu)
            errorBar(painter, f, v.meanUtc, *v.fluxSfu, v.totalError, 4);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kValue, 2.5));
    if (day.daily.fluxSfu)
        errorBar(painter, f, day.daily.meanUtc, *day.daily.fluxSfu, day.daily.totalError, 7);
    painter.setClipping(false);

    // The legend under the plot: what each colour and mark is.
    struct Entry {
        QColor colour;
        QString label;
    };
    std::vector<Entry> legend{{kClean, QStringLiteral("きれいな読み clean readings")},
                              {kBurst, QStringLiteral("バースト bursts")},
                              {kReference, QStringLiteral("参照 references")},
                              {kValue, QStringLiteral("日の値（白丸）と定時の値 ± 全体の誤差 daily (open) and fixed-time values ± total error")}};
    for (const flux::Flag flag : flux::kAllFlags)
        if ((flagsSeen & static_cast<unsigned>(flag)) != 0)
            legend.push_back({greyFor(static_cast<unsigned>(flag)), flagLabel(flag)});
    double x = f.plot.left();
    double y = size.height() - 44;
    for (const Entry& e : legend) {
        const double width = 24 + painter.fontMetrics().horizontalAdvance(e.label);
        if (x + width > size.width() - 20) {
            x = f.plot.left();
            y += 20;
        }
        painter.fillRect(QRectF(x, y + 4, 12, 10), e.colour);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x + 16, y, width, 18), Qt::AlignLeft, e.label);
        x += width + 14;
    }
    return canvas.finished();
}

QImage fluxDaysPicture(const std::vector<ShownFluxDay>& days, QSize size)
{
    picture::Canvas canvas(size.width(), size.height(), 13);
    QPainter& painter = canvas.painter();
    Frame f;
    f.plot = QRectF(110, 60, size.width() - 140, size.height() - 140);
    double t0 = std::numeric_limits<double>::infinity();
    double t1 = -t0;
    double lo = t0;
    double hi = -t0;
    const auto noonOf = [](const QDate& d) { return record::jstDayStartUtc(d) + 43200; };
    for (const ShownFluxDay& d : days) {
        const double t = noonOf(d.values.jstDay);
        t0 = std::min(t0, t);
        t1 = std::max(t1, t);
        if (d.values.daily.fluxSfu) {
            lo = std::min(lo, *d.values.daily.fluxSfu - d.values.daily.totalError);
            hi = std::max(hi, *d.values.daily.fluxSfu + d.values.daily.totalError);
        }
    }
    if (!std::isfinite(t0)) {
        t0 = 0;
        t1 = 86400;
    }
    if (t1 - t0 < 2 * 86400) {
        t0 -= 86400;
        t1 += 86400;
    }
    const double margin = (t1 - t0) * 0.03;
    f.t0 = t0 - margin;
    f.t1 = t1 + margin;
    fitRange(f, lo, hi);
    painter.drawText(QRectF(0, 8, size.width(), 22), Qt::AlignHCenter,
                     QStringLiteral("日ごとの太陽フラックス  the sun's daily flux, %1 days (± 全体の誤差 total error; "
                                    "赤の印: 値のない日 red marks: days without a value)")
                         .arg(days.size()));
    drawFrame(
        painter, f, QStringLiteral("日の値 daily flux (SFU)"), QStringLiteral("日付（日本時間） date (JST)"),
        [](double t) { return jstText(t, QStringLiteral("yyyy-MM-dd")); },
        jstTicks(f.t0, f.t1, 7, {86400, 2 * 86400, 5 * 86400, 7 * 86400, 14 * 86400, 28 * 86400, 56 * 86400, 91 * 86400, 182 * 86400, 364 * 86400}));
    painter.setClipRect(f.plot.adjusted(-8, -8, 8, 8));
    QPointF last;
    bool joined = false;
    for (const ShownFluxDay& d : days) {
        const double t = noonOf(d.values.jstDay);
        const flux::FluxValue& v = d.values.daily;
        if (!v.fluxSfu) {
            painter.setPen(QPen(kValue, 2));
            painter.drawLine(f.at(t, f.lo) + QPointF(0, -1), f.at(t, f.lo) + QPointF(0, -12));
            joined = false;
            continue;
        }
        const QPointF at = f.at(t, *v.fluxSfu);
        painter.setPen(QPen(QColor(150, 170, 210), 1));
        if (joined)
            painter.drawLine(last, at);
        painter.setPen(QPen(d.provisional ? kBurst : kClean, 1.5));
        painter.setBrush(d.provisional ? kBurst : kClean);
        errorBar(painter, f, t, *v.fluxSfu, v.totalError, 3);
        painter.setBrush(Qt::NoBrush);
        last = at;
        joined = true;
    }
    return canvas.finished();
}

bool saveFluxDayPicture(const WorkedFluxDay& worked, const QString& path, QString* problem)
{
    return picture::savePng(fluxDayPicture(worked), path, problem);
}

bool saveFluxDaysPicture(const std::vector<ShownFluxDay>& days, const QString& path, QString* problem)
{
    return picture::savePng(fluxDaysPicture(days), path, problem);
}

}  // namespace heliotrope::rotctl
