#include "companions/rotctl/DeskMeasurement.h"

#include "companions/common/ShiftedClock.h"
#include "companions/measure/CalibrationSession.h"
#include "companions/measure/SunNoiseRun.h"
#include "companions/power/PowerSourceChoice.h"
#include "companions/rotctl/Bridge.h"

using heliotrope::companions::shiftedUtcClock;
using heliotrope::station::StationCode;

namespace heliotrope::rotctl {

namespace {

class DeskCalibration : public DeskMeasurement {
public:
    DeskCalibration(Bridge& bridge, const CalibrationOptions& options)
        : m_session(bridge, options, shiftedUtcClock(options.clockOffsetSeconds))
    {
        connect(&m_session, &CalibrationSession::notice, this, &DeskMeasurement::notice);
        connect(&m_session, &CalibrationSession::progress, this, &DeskMeasurement::progress);
        connect(&m_session, &CalibrationSession::finished, this,
                [this](bool saved) { emit finished(saved ? StationCode::Ok : m_session.sunTooLow() ? StationCode::SunTooLow
                                                                                                   : StationCode::NoResult); });
    }
    bool start(QString* problem) { return m_session.start(problem); }
    void cancel() override { m_session.interrupt(); }

private:
    CalibrationSession m_session;
};

class DeskSunNoise : public DeskMeasurement {
public:
    DeskSunNoise(Bridge& bridge, const BridgeOptions& asked, std::unique_ptr<heliotrope::power::PowerSource> power)
        : m_power(std::move(power))
        , m_run(*asked.sunNoise, *asked.trueSun.site, asked.trueSun.refraction, asked.trueSun.atmosphere, bridge, *m_power,
                shiftedUtcClock(asked.sunNoise->clockOffsetSeconds))
    {
        connect(&m_run, &SunNoiseRun::notice, this, &DeskMeasurement::notice);
        connect(&m_run, &SunNoiseRun::progress, this, &DeskMeasurement::progress);
        connect(&m_run, &SunNoiseRun::finished, this, [this](bool completed) {
            if (completed && m_run.result().y)
                emit finished(StationCode::Ok);
            else
                emit finished(m_run.sunTooLow() ? StationCode::SunTooLow : StationCode::NoResult);
        });
    }
    void start() { m_run.start(); }
    void cancel() override
    {
        m_run.abort(QStringLiteral("依頼で止めました。追尾に戻ります。"), QStringLiteral("cancelled on request; back to tracking."));
    }

private:
    // The run reads the source: made first, it goes last.
    std::unique_ptr<heliotrope::power::PowerSource> m_power;
    SunNoiseRun m_run;
};

}  // namespace

std::unique_ptr<DeskMeasurement> startMeasurement(const BridgeOptions& asked, Bridge& bridge, QString* problem)
{
    if (asked.calibration) {
        auto calibration = std::make_unique<DeskCalibration>(bridge, *asked.calibration);
        if (!calibration->start(problem))
            return nullptr;
        return calibration;
    }
    if (asked.sunNoise && asked.trueSun.site) {
        std::unique_ptr<heliotrope::power::PowerSource> power = heliotrope::power::makePowerSource(asked.sunNoise->power, problem);
        if (!power)
            return nullptr;
        auto sunNoise = std::make_unique<DeskSunNoise>(bridge, asked, std::move(power));
        sunNoise->start();
        return sunNoise;
    }
    *problem = QStringLiteral("測定の依頼ではありません。\nNot a measurement request.");
    return nullptr;
}

}  // namespace heliotrope::rotctl
