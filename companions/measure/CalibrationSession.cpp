#include "companions/measure/CalibrationSession.h"

#include "companions/measure/CalibrationReport.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/power/PowerSourceChoice.h"

#include <QDateTime>

using heliotrope::companions::UtcClock;

namespace heliotrope::rotctl {

CalibrationSession::CalibrationSession(RotatorLender& lender, const CalibrationOptions& options, UtcClock clock,
                                       QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_clock(std::move(clock))
    , m_lender(lender)
{
}

CalibrationSession::~CalibrationSession()
{
    // The run listens to the source: it goes first.
    m_run.reset();
    m_power.reset();
}

bool CalibrationSession::start(QString* problem)
{
    m_power = heliotrope::power::makePowerSource(m_options.power, problem);
    if (!m_power)
        return false;
    m_run = std::make_unique<CalibrationRun>(m_lender, m_options, *m_power, m_clock);
    connect(m_run.get(), &CalibrationRun::notice, this, &CalibrationSession::notice);
    connect(m_run.get(), &CalibrationRun::progress, this, &CalibrationSession::progress);
    connect(m_run.get(), &CalibrationRun::finished, this, &CalibrationSession::onFinished);
    m_run->start();
    return true;
}

void CalibrationSession::interrupt()
{
    if (m_run)
        m_run->interrupt();
}

void CalibrationSession::onFinished(const std::optional<CalibrationOutcome>& outcome)
{
    if (!outcome) {
        emit finished(false);
        return;
    }
    for (const QString& line : calibrationResultLines(*outcome, m_power->resolution()))
        emit notice(line);

    const QDateTime measured = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(m_clock() * 1000.0), Qt::UTC);
    const QString base = m_options.outputBase.isEmpty()
        ? QStringLiteral("heliotrope-calibration-%1").arg(measured.toString(QStringLiteral("yyyyMMdd-HHmmss")))
        : m_options.outputBase;
    QString problem;
    if (writeCalibrationCsv(base + QStringLiteral(".csv"), *outcome, &problem))
        emit notice(QStringLiteral("測定点: %1\nPoints: %1").arg(base + QStringLiteral(".csv")));
    else
        emit notice(problem);
    if (drawCalibrationPicture(base + QStringLiteral(".png"), *outcome, measured, &problem))
        emit notice(QStringLiteral("図: %1\nPicture: %1").arg(base + QStringLiteral(".png")));
    else
        emit notice(problem);

    if (!outcome->ok) {
        emit finished(false);
        return;
    }
    if (saveCalibration({outcome->azimuthOffset, outcome->elevationOffset, measured, m_options.refraction})) {
        emit notice(QStringLiteral("ずれを %1 に保存しました。次にブリッジを起動すると使います（--az-offset か --el-offset を与えたときを除く）。\n"
                                   "Offsets saved in %1; the bridge applies them from its next start unless --az-offset or --el-offset is given.")
                        .arg(calibrationSettingsPath()));
        // A saved pointing model takes the offsets' place at the next start:
        // the scan counts through the next fit.
        if (loadPointingModel()) {
            emit notice(QStringLiteral("保存した指向モデルがあるため、ブリッジはこのずれの代わりにモデルを使います。"
                                       "このスキャンをモデルに入れるには --fit-pointing-model で求め直してください。\n"
                                       "A pointing model is saved: the bridge applies it in place of these offsets. "
                                       "Fit it again with --fit-pointing-model to take this scan in."));
        }
    } else {
        emit notice(QStringLiteral("ずれを %1 に保存できません。手で与えてください: %2\nCannot save the offsets in %1; give them by hand: %2")
                        .arg(calibrationSettingsPath(), offsetOptionsText(*outcome)));
    }
    emit finished(true);
}

}  // namespace heliotrope::rotctl
