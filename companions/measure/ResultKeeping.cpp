#include "companions/measure/ResultKeeping.h"

#include "companions/measure/CalibrationReport.h"
#include "companions/measure/DayFlux.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/measure/SunNoiseRun.h"
#include "companions/measure/SystemTemperatureRun.h"
#include "companions/mount/SavedPointingModel.h"
#include "companions/record/StationHealth.h"
#include "companions/record/StationRecord.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

using heliotrope::record::Measured;
using heliotrope::record::RecordedCalibration;
using heliotrope::record::RecordedSunNoise;
using heliotrope::record::StationRecord;
using heliotrope::station::ClockState;

namespace heliotrope::measure {

namespace {

// The station's record keeps which version measured each result.
const QString kProgramVersion = QStringLiteral(HELIOTROPE_VERSION);

QDateTime utcOf(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0), Qt::UTC);
}

record::RecordedSite recordedSite(const heliotrope::sky::Site& site)
{
    return {site.latitude, site.longitude, site.height};
}

record::RecordedPoint recordedPoint(const MeasuredPoint& point)
{
    record::RecordedPoint kept;
    kept.role = pointRoleName(point.role);
    kept.plannedCrossElevation = point.plannedCrossElevation;
    kept.plannedElevation = point.plannedElevation;
    kept.skipped = point.skipped;
    kept.crossElevation = point.crossElevation;
    kept.elevation = point.elevation;
    kept.power = point.dwell.power;
    kept.spread = point.dwell.spread;
    kept.count = point.dwell.count;
    kept.utc = utcOf(point.dwell.utc);
    kept.sunAzimuth = point.sunAzimuth;
    kept.sunElevation = point.sunElevation;
    kept.readAzimuth = point.dwell.reading.azimuth;
    kept.readElevation = point.dwell.reading.elevation;
    kept.positionUncertainty = point.dwell.pointUncertainty.largest();
    return kept;
}

}  // namespace

ResultKeeping::ResultKeeping(const MeasurementRequest& request, Say notice, Say warning)
    : m_request(request)
    , m_notice(std::move(notice))
    , m_warning(std::move(warning))
{
}

void ResultKeeping::writePictureAndCsv(const CalibrationOutcome& fitted, const QDateTime& measured) const
{
    const QString& outputBase = std::get<CalibrationOptions>(m_request.run).outputBase;
    QString base = outputBase;
    if (base.isEmpty()) {
        const QString name = QStringLiteral("heliotrope-calibration-%1").arg(measured.toString(QStringLiteral("yyyyMMdd-HHmmss")));
        base = m_request.outputFolder.isEmpty() ? name : m_request.outputFolder + QLatin1Char('/') + name;
        if (!m_request.outputFolder.isEmpty())
            QDir().mkpath(m_request.outputFolder);
    }
    // The whole path: whoever reads it may stand in another folder than the bridge.
    base = QFileInfo(base).absoluteFilePath();
    QString problem;
    if (writeCalibrationCsv(base + QStringLiteral(".csv"), fitted, &problem))
        m_notice(QStringLiteral("測定点: %1\nPoints: %1").arg(base + QStringLiteral(".csv")));
    else
        m_notice(problem);
    if (drawCalibrationPicture(base + QStringLiteral(".png"), fitted, measured, &problem))
        m_notice(QStringLiteral("図: %1\nPicture: %1").arg(base + QStringLiteral(".png")));
    else
        m_notice(problem);
}

MeasurementOutcome ResultKeeping::keepOffsets(const CalibrationOutcome& fitted, const QDateTime& measured) const
{
    const CalibrationOptions& options = std::get<CalibrationOptions>(m_request.run);
    // The sun was placed by the system clock: offsets found on a wrong one
    // would carry its error into every later pointing.
    const ClockState clock = measurementClockState();
    if (clock != ClockState::Synchronised && !m_request.measurement.clockUnsynchronisedOk)
        return outcomeSaying(OutcomeReason::NotSaved, heliotrope::station::clockStateText(clock));
    sayDisagreementWithTheSaved(fitted);
    if (saveCalibration({fitted.azimuthOffset, fitted.elevationOffset, measured, options.refraction})) {
        m_notice(QStringLiteral("ずれを %1 に保存しました。ブリッジはこのずれで向けます（--az-offset か --el-offset を与えたときを除く）。\n"
                                "Offsets saved in %1; the bridge points with them unless --az-offset or --el-offset is given.")
                     .arg(calibrationSettingsPath()));
        // A saved pointing model takes the offsets' place: the scan counts
        // through the next fit.
        if (heliotrope::mount::loadPointingModel()) {
            m_notice(QStringLiteral("保存した指向モデルがあるため、ブリッジはこのずれの代わりにモデルを使います。"
                                    "このスキャンをモデルに入れるには --fit-pointing-model で求め直してください。\n"
                                    "A pointing model is saved: the bridge applies it in place of these offsets. "
                                    "Fit it again with --fit-pointing-model to take this scan in."));
        }
        return outcomeOf(OutcomeReason::Found);
    }
    return outcomeOf(OutcomeReason::NotSaved,
                     QStringLiteral("ずれを %1 に保存できません。手で与えてください: %2").arg(calibrationSettingsPath(), offsetOptionsText(fitted)),
                     QStringLiteral("Cannot save the offsets in %1; give them by hand: %2").arg(calibrationSettingsPath(), offsetOptionsText(fitted)));
}

MeasurementOutcome ResultKeeping::keptForTheModel() const
{
    // Offsets found over the top hold only on that side of the zenith: as
    // tracking offsets they would throw every straight command off by twice
    // the collimation. The record keeps them for the pointing model's fit.
    m_notice(QStringLiteral("天頂の向こう側のスキャンなので、ずれは保存せず、追尾のずれもそのままです。局の記録に反転スキャンとして残し、"
                            "--fit-pointing-model がコリメーションを方位角のゼロ点から分けるのに使います。\n"
                            "A scan over the top: its offsets are not saved and the tracking offsets stay as they were. The "
                            "station's record keeps it marked as flipped, for --fit-pointing-model to tell collimation from "
                            "the azimuth zero point."));
    return outcomeOf(OutcomeReason::FoundOverTheTop);
}

namespace {

// The record at its place, open for writing; nothing, with the reason said.
std::unique_ptr<StationRecord> openRecord(const QString& path, QString* problem)
{
    auto record = std::make_unique<StationRecord>(path.isEmpty() ? StationRecord::defaultPath() : path);
    if (!record->open()) {
        *problem = record->problem();
        return nullptr;
    }
    if (!record->writable()) {
        *problem = QStringLiteral("局の記録 %1 は新しい版のプログラムが書いたものなので、書き足しません。\n"
                                  "The station's record %1 was written by a newer program; nothing is added to it.")
                       .arg(record->path());
        return nullptr;
    }
    return record;
}

}  // namespace

void ResultKeeping::sayDisagreementWithTheSaved(const CalibrationOutcome& fitted) const
{
    QString problem;
    const std::unique_ptr<StationRecord> record = openRecord(m_request.recordPath, &problem);
    const std::optional<RecordedCalibration> saved = record ? record->lastCalibration(true) : std::nullopt;
    if (!saved || !saved->azimuthOffset || !saved->elevationOffset)
        return;
    // Two measurements of one mount differ by chance within about twice
    // their combined standard deviation; beyond it one of them, or the
    // mount, has changed.
    const auto beyond = [](double now, double nowError, const Measured& before) {
        const double allowed = 2 * std::hypot(nowError, before.error);
        return std::abs(now - before.value) > allowed ? std::optional<double>(allowed) : std::nullopt;
    };
    const std::optional<double> azimuth = beyond(fitted.azimuthOffset, fitted.azimuthOffsetError, *saved->azimuthOffset);
    const std::optional<double> elevation = beyond(fitted.elevationOffset, fitted.elevationOffsetError, *saved->elevationOffset);
    if (!azimuth && !elevation)
        return;
    const QString when = record::recordTimeText(saved->utc);
    const auto figures = [](double now, const Measured& before, double allowed) {
        return QStringLiteral("%1° → %2° (±%3°)")
            .arg(QString::number(before.value, 'f', 3), QString::number(now, 'f', 3), QString::number(allowed, 'f', 3));
    };
    QStringList ja, en;
    if (azimuth) {
        ja << QStringLiteral("方位角 ") + figures(fitted.azimuthOffset, *saved->azimuthOffset, *azimuth);
        en << QStringLiteral("azimuth ") + figures(fitted.azimuthOffset, *saved->azimuthOffset, *azimuth);
    }
    if (elevation) {
        ja << QStringLiteral("仰角 ") + figures(fitted.elevationOffset, *saved->elevationOffset, *elevation);
        en << QStringLiteral("elevation ") + figures(fitted.elevationOffset, *saved->elevationOffset, *elevation);
    }
    m_warning(QStringLiteral("新しいずれは %1 に保存したずれと、両方の誤差から見込める差（括弧内、2σ）より大きく違います: %2。"
                             "新しいほうを保存しますが、ローテーターの不感帯（--deadband）、マウントの動き、較正の条件を確かめてください。\n"
                             "The new offsets differ from those saved at %1 by more than both errors allow (in brackets, 2σ): "
                             "%3. The new ones will be saved over them; check the rotator's dead band (--deadband), the mount, and the "
                             "calibration's conditions.")
                  .arg(when, ja.join(QStringLiteral("、")), en.join(QStringLiteral(", "))));
}

namespace {

QString dayFluxTakenText(const RecordedSunNoise& kept)
{
    const QString flux = QString::number(*kept.fluxSfu, 'f', 1);
    const QString day = kept.utc.date().toString(Qt::ISODate);
    if (!kept.gOverTDecibelsPerKelvin)
        return QStringLiteral("%1 のフラックスは %2 SFU と入力されています（--set-flux）。記録にはこの値を書きます。\n"
                              "The flux of %1 was typed in as %2 SFU (--set-flux): the record keeps that value.")
            .arg(day, flux);
    const QString gOverT = QString::number(*kept.gOverTDecibelsPerKelvin, 'f', 2);
    return QStringLiteral("%1 のフラックスは %2 SFU と入力されています（--set-flux）。記録する G/T はこの値による %3 dB/K です。\n"
                          "The flux of %1 was typed in as %2 SFU (--set-flux): the G/T kept is %3 dB/K, from that value.")
        .arg(day, flux, gOverT);
}

QString notRecordedText(const QString& problem)
{
    return QStringLiteral("この測定を局の記録に書けません。測定の結果はそのままです。\n"
                          "This measurement cannot be written to the station's record; the measurement stands.\n")
        + problem;
}

}  // namespace

void ResultKeeping::recordCalibration(const std::optional<CalibrationOutcome>& fitted, const std::vector<MeasuredPoint>& runPoints,
                                      const MeasurementOutcome& outcome, const QDateTime& measured, const rotator::RotatorProfile& learnt) const
{
    const CalibrationOptions& options = std::get<CalibrationOptions>(m_request.run);
    RecordedCalibration kept;
    kept.utc = measured;
    kept.site = recordedSite(options.site);
    kept.pattern = patternName(options.pattern);
    for (const MeasuredPoint& point : fitted ? fitted->points : runPoints) {
        if (point.dwell.count > 0 || point.skipped)
            kept.points.push_back(recordedPoint(point));
    }
    kept.found = fitted && fitted->ok;
    kept.overTheTop = options.overTheTop;
    kept.saved = outcome.reason == OutcomeReason::Found;
    kept.reason = outcome.found() ? QString() : outcomeText(outcome);
    if (kept.found) {
        kept.azimuthOffset = Measured{fitted->azimuthOffset, fitted->azimuthOffsetError};
        kept.elevationOffset = Measured{fitted->elevationOffset, fitted->elevationOffsetError};
        kept.crossElevationBeamwidth = Measured{fitted->crossElevationFit.width, fitted->crossElevationFit.widthError};
        kept.elevationBeamwidth = Measured{fitted->elevationFit.width, fitted->elevationFit.widthError};
        kept.yDecibels = Measured{fitted->crossElevationFit.yDecibels, fitted->crossElevationFit.yDecibelsError};
    }
    kept.sunElevation = fitted ? fitted->sunElevation : 0;
    kept.refraction = QString::fromLatin1(heliotrope::sky::refractionName(options.refraction));
    // What the bridge has learnt of the rotator so far, which this run may have added to.
    kept.rotatorStep = learnt.step();
    kept.deadBand = learnt.deadBand();
    kept.programVersion = kProgramVersion;
    kept.clockOffsetSeconds = m_request.measurement.clockOffsetSeconds;

    QString problem;
    const std::unique_ptr<StationRecord> record = openRecord(m_request.recordPath, &problem);
    if (!record) {
        m_notice(notRecordedText(problem));
        return;
    }
    // Compared with the calibration in use before this one is added; a
    // flipped scan's offsets are of the other side of the zenith, not
    // comparable, and a rehearsal's are not the station's.
    const std::optional<RecordedCalibration> previous
        = kept.found && !kept.overTheTop && !kept.rehearsal() ? record->lastCalibration() : std::nullopt;
    if (!record->addCalibration(kept)) {
        m_notice(notRecordedText(record->problem()));
        return;
    }
    m_notice(QStringLiteral("局の記録 %1 に書きました。\nWritten to the station's record %1.").arg(record->path()));
    if (!previous)
        return;
    if (const auto moved = record::offsetMoveWarning(*previous, kept, options.beamwidth))
        m_warning(record::warningText(*moved));
}

void ResultKeeping::recordSunNoise(const SunNoiseResult& result, const MeasurementOutcome& outcome, const QDateTime& started,
                                   const QDateTime& measured) const
{
    const SunNoiseOptions& options = std::get<SunNoiseOptions>(m_request.run);
    RecordedSunNoise kept;
    kept.utc = measured;
    kept.startedUtc = started;
    kept.site = recordedSite(m_request.site);
    kept.clockOffsetSeconds = m_request.measurement.clockOffsetSeconds;
    for (const heliotrope::sunnoise::PowerPair& pair : result.repeats)
        kept.repeats.push_back({pair.sunDecibels, pair.coldDecibels});
    kept.found = outcome.found();
    kept.reason = outcome.found() ? QString() : outcomeText(outcome);
    if (result.y) {
        kept.yDecibels = result.y->meanDecibels;
        kept.yDecibelsDeviation = result.y->standardDeviationDecibels;
    }
    kept.expectedYDecibels = result.expectedYDecibels;
    kept.gOverTDecibelsPerKelvin = result.gOverTDecibelsPerKelvin;
    kept.gainControlWarning = result.gainControlWarning;
    kept.fluxSfu = options.fluxSfu;
    kept.frequencyMegahertz = options.frequencyMegahertz;
    kept.dishDiameterMetres = options.dishDiameterMetres;
    kept.programVersion = kProgramVersion;

    QString problem;
    const std::unique_ptr<StationRecord> record = openRecord(m_request.recordPath, &problem);
    if (!record) {
        m_notice(notRecordedText(problem));
        return;
    }
    // The day's own flux, once typed in, is the one the day's G/T is worth.
    if (const std::optional<double> typed = record->fluxOn(kept.utc.date())) {
        kept = withDayFlux(kept, *typed);
        m_notice(dayFluxTakenText(kept));
    }
    if (!record->addSunNoise(kept)) {
        m_notice(notRecordedText(record->problem()));
        return;
    }
    m_notice(QStringLiteral("局の記録 %1 に書きました。\nWritten to the station's record %1.").arg(record->path()));
    // The usual Y is a frequency's own: without one there is nothing to compare with.
    if (!kept.found || !kept.frequencyMegahertz || kept.rehearsal())
        return;
    record::HealthThresholds thresholds;
    thresholds.yDropDecibels = m_request.measurement.healthDropDecibels;
    const std::vector<RecordedSunNoise> runs = record->lastSunNoiseAt(*kept.frequencyMegahertz, thresholds.medianOf + 1);
    if (const auto drop = record::yDropWarning(runs, thresholds))
        m_warning(record::warningText(*drop));
}

namespace {

std::optional<record::RecordedPower> recordedPower(const std::optional<flux::PowerMean>& power)
{
    if (!power)
        return std::nullopt;
    return record::RecordedPower{power->mean, power->scatter, power->count};
}

}  // namespace

void ResultKeeping::recordSystemTemperature(const SystemTemperatureResult* result, const MeasurementOutcome& outcome,
                                            const QDateTime& measured) const
{
    const SystemTemperatureOptions& options = std::get<SystemTemperatureOptions>(m_request.run);
    record::RecordedSystemTemperature kept;
    kept.utc = measured;
    kept.site = recordedSite(m_request.site);
    kept.kind = options.method == SystemTemperatureMethod::HotCold ? record::SystemTemperatureKind::HotCold
                                                                   : record::SystemTemperatureKind::NoiseSource;
    kept.found = outcome.found();
    kept.reason = outcome.found() ? QString() : outcomeText(outcome);
    kept.frequencyMegahertz = options.frequencyMegahertz;
    kept.dishDiameterMetres = options.dishDiameterMetres;
    kept.efficiency = options.efficiency;
    kept.efficiencyError = options.efficiencyError;
    kept.clockOffsetSeconds = m_request.measurement.clockOffsetSeconds;
    kept.programVersion = kProgramVersion;
    if (options.method == SystemTemperatureMethod::NoiseSource)
        kept.enrDecibels = record::Measured{options.enrDecibels, options.enrErrorDecibels};
    if (result) {
        if (result->cold) {
            kept.coldAzimuth = result->cold->azimuth;
            kept.coldElevation = result->cold->elevation;
        }
        kept.coldBefore = recordedPower(result->coldBefore);
        kept.raised = recordedPower(result->raised);
        kept.coldAfter = recordedPower(result->coldAfter);
        if (options.method == SystemTemperatureMethod::HotCold && result->cold) {
            kept.ambientKelvin = record::Measured{result->ambientKelvin, result->ambientErrorKelvin};
            kept.coldSkyKelvin = record::Measured{result->coldSkyKelvin, result->coldSkyErrorKelvin};
        }
        kept.yFactor = result->y;
        kept.coldDrift = result->coldDrift;
        if (outcome.found() && result->systemKelvin)
            kept.systemKelvin = record::Measured{*result->systemKelvin, result->systemErrorKelvin};
    }
    QString problem;
    const std::unique_ptr<StationRecord> record = openRecord(m_request.recordPath, &problem);
    if (!record) {
        m_notice(notRecordedText(problem));
        return;
    }
    if (!record->addSystemTemperature(kept)) {
        m_notice(notRecordedText(record->problem()));
        return;
    }
    m_notice(QStringLiteral("局の記録 %1 に書きました。\nWritten to the station's record %1.").arg(record->path()));
}

}  // namespace heliotrope::measure
