#include "companions/record/StationHealth.h"

#include "companions/record/StationRecord.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::record {

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString decibels(double value)
{
    return QString::number(value, 'f', 2) + QStringLiteral(" dB");
}

QString degrees(double value)
{
    return QString::number(value, 'f', 3) + QStringLiteral("°");
}

}  // namespace

std::optional<YDropWarning> yDropWarning(const std::vector<RecordedSunNoise>& runs, const HealthThresholds& thresholds)
{
    std::vector<const RecordedSunNoise*> withY;
    for (const RecordedSunNoise& run : runs)
        if (run.yDecibels && std::isfinite(*run.yDecibels))
            withY.push_back(&run);
    if (withY.size() < static_cast<std::size_t>(thresholds.fewestForMedian) + 1)
        return std::nullopt;
    const RecordedSunNoise& latest = *withY.back();
    const std::size_t before = std::min(withY.size() - 1, static_cast<std::size_t>(std::max(thresholds.medianOf, 1)));
    std::vector<double> usual;
    for (std::size_t i = withY.size() - 1 - before; i + 1 < withY.size(); ++i)
        usual.push_back(*withY[i]->yDecibels);
    const double usualY = median(usual);
    const double limit = usualY - thresholds.yDropDecibels;
    if (!(*latest.yDecibels < limit))
        return std::nullopt;
    YDropWarning warning;
    warning.frequencyMegahertz = latest.frequencyMegahertz.value_or(0);
    warning.latestDecibels = *latest.yDecibels;
    warning.medianDecibels = usualY;
    warning.dropDecibels = usualY - *latest.yDecibels;
    // The drop began with the first of the latest runs that are all below
    // the limit.
    std::size_t first = withY.size() - 1;
    while (first > 0 && *withY[first - 1]->yDecibels < limit)
        --first;
    warning.runsLow = static_cast<int>(withY.size() - first);
    warning.began = withY[first]->utc;
    return warning;
}

std::optional<OffsetMoveWarning> offsetMoveWarning(const RecordedCalibration& previous, const RecordedCalibration& latest,
                                                   double nominalBeamwidth, const HealthThresholds& thresholds)
{
    if (!previous.azimuthOffset || !previous.elevationOffset || !latest.azimuthOffset || !latest.elevationOffset)
        return std::nullopt;
    double beamwidth = nominalBeamwidth;
    if (latest.crossElevationBeamwidth && latest.elevationBeamwidth)
        beamwidth = (latest.crossElevationBeamwidth->value + latest.elevationBeamwidth->value) / 2;
    if (!(beamwidth > 0))
        return std::nullopt;
    const double azimuthChange = latest.azimuthOffset->value - previous.azimuthOffset->value;
    const double elevationChange = latest.elevationOffset->value - previous.elevationOffset->value;
    // An azimuth offset is degrees of azimuth; on the sky it shrinks with the
    // elevation it was measured at.
    const double crossElevation = azimuthChange * std::cos(latest.sunElevation * 3.14159265358979 / 180);
    const double moved = std::hypot(crossElevation, elevationChange);
    if (!(moved > thresholds.offsetBeamFraction * beamwidth))
        return std::nullopt;
    return OffsetMoveWarning{moved, beamwidth, azimuthChange, elevationChange, previous.utc, latest.utc};
}

QString warningText(const YDropWarning& w)
{
    return QStringLiteral("警告: %1 MHz の太陽雑音 Y が %2 で、直近の中央値 %3 より %4 低下しています（%5 から %6 回続けて）。"
                          "LNA、給電部、ケーブルとコネクタを確かめてください。\n"
                          "Warning: the sun-noise Y at %1 MHz is %2, %4 below the recent median of %3 "
                          "(%6 runs in a row since %5). Check the LNA, the feed, the cables and connectors.")
        .arg(QString::number(w.frequencyMegahertz, 'f', 3), decibels(w.latestDecibels), decibels(w.medianDecibels),
             decibels(w.dropDecibels), recordTimeText(w.began))
        .arg(w.runsLow);
}

QString warningText(const OffsetMoveWarning& w)
{
    return QStringLiteral("警告: 較正のずれが前回（%1）から空の上で %2 動きました。ビーム幅 %3 の 4 分の 1 を超えています"
                          "（方位角 %4、仰角 %5）。給電部やローテーターの取り付けを確かめてください（%6 から）。\n"
                          "Warning: the calibration's offsets moved %2 on the sky since the last one (%1), more than a "
                          "quarter of the %3 beamwidth (azimuth %4, elevation %5). Check the feed and the rotator's "
                          "mounting (since %6).")
        .arg(recordTimeText(w.previous), degrees(w.movedDegrees), degrees(w.beamwidthDegrees), degrees(w.azimuthChange),
             degrees(w.elevationChange), recordTimeText(w.began));
}

QStringList healthLines(const StationRecord& record, const HealthThresholds& thresholds)
{
    QStringList lines;
    // A rehearsal measured the sun of another hour, and a run during a burst
    // a sun that was not quiet: neither is the station as it is; nor is a
    // scan over the top, which found the offsets of the other side of the
    // zenith. The record leaves them out.
    const std::optional<RecordedSunNoise> latestRun = record.latestYForHealth();
    const RecordedSunNoise* latestY = latestRun ? &*latestRun : nullptr;
    const std::vector<RecordedCalibration> lastTwo = record.lastCalibrationsForHealth(2);
    const RecordedCalibration* latest = lastTwo.empty() ? nullptr : &lastTwo.back();
    const RecordedCalibration* before = lastTwo.size() == 2 ? &lastTwo.front() : nullptr;
    if (latestY) {
        const std::vector<RecordedSunNoise> recent = record.lastSunNoiseAt(*latestY->frequencyMegahertz, thresholds.medianOf + 1);
        if (const std::optional<YDropWarning> drop = yDropWarning(recent, thresholds)) {
            lines << warningText(*drop).split(QLatin1Char('\n'));
        } else {
            const QString y = decibels(*latestY->yDecibels);
            const QString f = QString::number(*latestY->frequencyMegahertz, 'f', 3);
            lines << QStringLiteral("最新の太陽雑音 Y: %1（%2 MHz、%3）").arg(y, f, recordTimeText(latestY->utc))
                  << QStringLiteral("latest sun-noise Y: %1 (%2 MHz, %3)").arg(y, f, recordTimeText(latestY->utc));
        }
    } else {
        lines << QStringLiteral("太陽雑音 Y の記録はまだありません") << QStringLiteral("no sun-noise Y recorded yet");
    }
    if (latest && latest->azimuthOffset && latest->elevationOffset) {
        const QString az = degrees(latest->azimuthOffset->value);
        const QString el = degrees(latest->elevationOffset->value);
        lines << QStringLiteral("最新の較正: 方位角 %1、仰角 %2（%3）").arg(az, el, recordTimeText(latest->utc))
              << QStringLiteral("latest calibration: azimuth %1, elevation %2 (%3)").arg(az, el, recordTimeText(latest->utc));
        const double nominal = latest->crossElevationBeamwidth ? latest->crossElevationBeamwidth->value : 0.0;
        if (before && before->azimuthOffset && before->elevationOffset) {
            if (const std::optional<OffsetMoveWarning> moved = offsetMoveWarning(*before, *latest, nominal, thresholds))
                lines << warningText(*moved).split(QLatin1Char('\n'));
        }
    }
    return lines;
}

}  // namespace heliotrope::record
