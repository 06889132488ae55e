#include "companions/measure/MeasurementSession.h"

#include "companions/common/ConsoleText.h"
#include "companions/measure/CalibrationReport.h"
#include "companions/measure/CalibrationRun.h"
#include "companions/measure/DayFlux.h"
#include "companions/measure/MeasurementEngine.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/measure/ResultKeeping.h"
#include "companions/measure/RotatorLender.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/measure/SunNoiseRun.h"
#include "companions/measure/SystemTemperatureRun.h"
#include "companions/power/PowerSourceChoice.h"
#include "companions/record/StationHealth.h"
#include "companions/record/StationRecord.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

using heliotrope::record::Measured;
using heliotrope::record::RecordedCalibration;
using heliotrope::record::RecordedSunNoise;
using heliotrope::record::StationRecord;
using heliotrope::station::ClockState;

namespace heliotrope::measure {

namespace {

// The shared settings, with the run's own dwell where none was given.
template <typename RunOptions>
EngineSettings engineSettings(const MeasurementOptions& shared, const RunOptions&)
{
    return EngineSettings{shared.dwellSeconds.value_or(RunOptions::kDefaultDwellSeconds), shared.settleToleranceDegrees,
                          shared.settleTimeoutSeconds};
}

QDateTime utcOf(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000.0), Qt::UTC);
}

}  // namespace

ClockState measurementClockState()
{
    const QByteArray standIn = qgetenv("HELIOTROPE_CLOCK_STATE").trimmed();
    if (standIn == "synchronised")
        return ClockState::Synchronised;
    if (standIn == "unsynchronised")
        return ClockState::Unsynchronised;
    if (standIn == "unknown")
        return ClockState::Unknown;
    return heliotrope::station::systemClockState();
}

MeasurementSession::MeasurementSession(RotatorLender& lender, MeasurementRequest request, companions::UtcClock clock,
                                       QObject* parent)
    : QObject(parent)
    , m_lender(lender)
    , m_request(std::move(request))
    , m_clock(std::move(clock))
    , m_keeping(std::make_unique<ResultKeeping>(
          m_request, [this](const QString& line) { emit notice(line); }, [this](const QString& line) { emit warning(line); }))
{
}

MeasurementSession::~MeasurementSession()
{
    // The run aims the engine, which reads the source: in that order they go.
    m_calibration.reset();
    m_sunNoise.reset();
    m_systemTemperature.reset();
    if (m_engine)
        m_engine->finish();
    m_engine.reset();
    m_power.reset();
}

const SunNoiseResult* MeasurementSession::sunNoiseResult() const
{
    return m_sunNoise && m_stage == Stage::Over ? &m_sunNoise->result() : nullptr;
}

void MeasurementSession::start()
{
    if (m_stage != Stage::Idle)
        return;
    m_stage = Stage::ReadingPower;
    QString problem;
    m_power = heliotrope::power::makePowerSource(m_request.measurement.power, &problem);
    if (!m_power) {
        // From the event loop, so that whoever started it hears the end.
        QTimer::singleShot(0, this, [this, problem] { endBeforeTheRun(outcomeSaying(OutcomeReason::PowerUnusable, problem)); });
        return;
    }
    // One reading before the antenna moves: a source that cannot be read
    // would otherwise be found out only at the first point, the rotator
    // already swung off the window's set-point for nothing.
    connect(m_power.get(), &heliotrope::power::PowerSource::readingArrived, this, &MeasurementSession::onFirstReading,
            Qt::SingleShotConnection);
    connect(
        m_power.get(), &heliotrope::power::PowerSource::failed, this,
        [this](const QString& reason) {
            if (m_stage != Stage::ReadingPower)
                return;
            endBeforeTheRun(outcomeSaying(OutcomeReason::PowerUnusable,
                                          reason + QLatin1Char('\n')
                                              + companions::bilingual(QStringLiteral("--power の読み取り元を確かめてください（command: なら端末で一度実行し、"
                                                                                     "rigctld: なら rigctld が起動しているかを）。"),
                                                                      QStringLiteral("Check the --power source (run a command: once in a terminal; "
                                                                                     "for rigctld:, check that rigctld runs)."))));
        },
        Qt::SingleShotConnection);
    m_power->requestReading();
}

void MeasurementSession::onFirstReading()
{
    if (m_stage != Stage::ReadingPower)
        return;
    m_stage = Stage::Running;
    m_runStarted = utcOf(m_clock());
    m_engine = std::make_unique<MeasurementEngine>(
        m_lender, *m_power, std::visit([this](const auto& run) { return engineSettings(m_request.measurement, run); }, m_request.run), m_clock);
    connect(m_engine.get(), &MeasurementEngine::notice, this, &MeasurementSession::notice);
    if (const auto* calibration = std::get_if<CalibrationOptions>(&m_request.run)) {
        m_calibration = std::make_unique<CalibrationRun>(*m_engine, *calibration);
        connect(m_calibration.get(), &CalibrationRun::notice, this, &MeasurementSession::notice);
        connect(m_calibration.get(), &CalibrationRun::progress, this, &MeasurementSession::progress);
        connect(m_calibration.get(), &CalibrationRun::finished, this, &MeasurementSession::onCalibrationFinished);
        m_calibration->start();
    } else if (const auto* systemTemperature = std::get_if<SystemTemperatureOptions>(&m_request.run)) {
        std::unique_ptr<FeedSteps> steps = m_request.feedSteps ? m_request.feedSteps(*systemTemperature) : makeFeedSteps(*systemTemperature);
        m_systemTemperature = std::make_unique<SystemTemperatureRun>(*m_engine, *systemTemperature, std::move(steps), m_request.site,
                                                                     m_request.refraction, m_request.atmosphere);
        connect(m_systemTemperature.get(), &SystemTemperatureRun::notice, this, &MeasurementSession::notice);
        connect(m_systemTemperature.get(), &SystemTemperatureRun::progress, this, &MeasurementSession::progress);
        connect(m_systemTemperature.get(), &SystemTemperatureRun::finished, this, &MeasurementSession::onSystemTemperatureFinished);
        m_systemTemperature->start();
    } else {
        m_sunNoise = std::make_unique<SunNoiseRun>(*m_engine, std::get<SunNoiseOptions>(m_request.run), m_request.site,
                                                   m_request.refraction, m_request.atmosphere);
        connect(m_sunNoise.get(), &SunNoiseRun::notice, this, &MeasurementSession::notice);
        connect(m_sunNoise.get(), &SunNoiseRun::progress, this, &MeasurementSession::progress);
        connect(m_sunNoise.get(), &SunNoiseRun::finished, this, &MeasurementSession::onSunNoiseFinished);
        m_sunNoise->start();
    }
    m_engine->start();
}

void MeasurementSession::interrupt()
{
    if (m_stage == Stage::ReadingPower) {
        endBeforeTheRun(outcomeOf(OutcomeReason::InterruptedBeforeMoving));
    } else if (m_stage == Stage::Running && m_calibration) {
        m_calibration->interrupt();
    } else if (m_stage == Stage::Running && m_sunNoise) {
        m_sunNoise->abort(outcomeOf(OutcomeReason::Interrupted));
    } else if (m_stage == Stage::Running && m_systemTemperature) {
        m_systemTemperature->abort(outcomeOf(OutcomeReason::Interrupted));
    }
}

void MeasurementSession::onCalibrationFinished(const std::optional<CalibrationOutcome>& fitted, const MeasurementOutcome& ended)
{
    m_engine->finish();
    const QDateTime measured = utcOf(m_clock());
    MeasurementOutcome outcome = ended;
    if (fitted) {
        for (const QString& line : calibrationResultLines(*fitted, m_power->resolution()))
            emit notice(line);
        m_keeping->writePictureAndCsv(*fitted, measured);
        if (!fitted->ok)
            outcome = outcomeSaying(OutcomeReason::NotFound, fitted->refusal);
        else if (fitted->overTheTop)
            outcome = m_keeping->keptForTheModel();
        else
            outcome = m_keeping->keepOffsets(*fitted, measured);
    }
    sayOutcome(outcome);
    m_keeping->recordCalibration(fitted, m_calibration->points(), outcome, measured, m_lender.rotatorProfile());
    end(outcome);
}

void MeasurementSession::onSunNoiseFinished(const MeasurementOutcome& ended)
{
    m_engine->finish();
    sayOutcome(ended);
    m_keeping->recordSunNoise(m_sunNoise->result(), ended, m_runStarted, utcOf(m_clock()));
    end(ended);
}

void MeasurementSession::onSystemTemperatureFinished(const MeasurementOutcome& ended)
{
    m_engine->finish();
    sayOutcome(ended);
    m_keeping->recordSystemTemperature(&m_systemTemperature->result(), ended, utcOf(m_clock()));
    end(ended);
}

void MeasurementSession::endBeforeTheRun(const MeasurementOutcome& outcome)
{
    sayOutcome(outcome);
    // Kept all the same: a scheduled run that never began is part of the station's story.
    if (std::holds_alternative<CalibrationOptions>(m_request.run))
        m_keeping->recordCalibration(std::nullopt, {}, outcome, utcOf(m_clock()), m_lender.rotatorProfile());
    else if (std::holds_alternative<SystemTemperatureOptions>(m_request.run))
        m_keeping->recordSystemTemperature(nullptr, outcome, utcOf(m_clock()));
    else
        m_keeping->recordSunNoise(SunNoiseResult{}, outcome, utcOf(m_clock()), utcOf(m_clock()));
    end(outcome);
}

void MeasurementSession::sayOutcome(const MeasurementOutcome& outcome)
{
    // A result has said itself in its figures.
    if (!outcome.found())
        emit notice(outcomeText(outcome));
}

void MeasurementSession::end(const MeasurementOutcome& outcome)
{
    if (m_stage == Stage::Over)
        return;
    m_stage = Stage::Over;
    m_outcome = outcome;
    // What is tracked again is the bridge's to say (the window's set-point,
    // or the sun by itself): the measurement only gives the rotator back.
    if (m_engine)
        emit notice(QStringLiteral("測定を終えて、追尾に戻ります。\nBack to tracking: the measurement is over."));
    emit finished(m_outcome);
}

}  // namespace heliotrope::measure
