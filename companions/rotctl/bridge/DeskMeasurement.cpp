#include "companions/rotctl/bridge/DeskMeasurement.h"

#include "companions/common/ShiftedClock.h"
#include "companions/measure/CalibrationSeries.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/power/PowerSourceChoice.h"
#include "companions/rotctl/bridge/Bridge.h"

using heliotrope::companions::shiftedUtcClock;

namespace heliotrope::rotctl {

namespace {

class DeskSession : public DeskMeasurement {
public:
    DeskSession(Bridge& bridge, const measure::MeasurementRequest& request)
        : m_session(bridge, request, shiftedUtcClock(request.measurement.clockOffsetSeconds))
    {
        connect(&m_session, &measure::CalibrationSeries::notice, this, &DeskMeasurement::notice);
        connect(&m_session, &measure::CalibrationSeries::warning, this, &DeskMeasurement::warning);
        connect(&m_session, &measure::CalibrationSeries::progress, this, &DeskMeasurement::progress);
        connect(&m_session, &measure::CalibrationSeries::scanFinished, this, [this](const measure::MeasurementOutcome& outcome) {
            // A scan over the top saved no offsets: nothing to take up.
            if (outcome.reason == measure::OutcomeReason::Found)
                emit resultKept();
        });
        connect(&m_session, &measure::CalibrationSeries::finished, this,
                [this](const measure::MeasurementOutcome& outcome) { emit finished(measure::outcomeCode(outcome.reason)); });
    }
    void start() { m_session.start(); }
    void cancel() override { m_session.interrupt(); }

private:
    measure::CalibrationSeries m_session;
};

}  // namespace

std::optional<measure::MeasurementRequest> checkedMeasurement(const RunOptions& asked, QString* problem)
{
    std::optional<measure::MeasurementRequest> request = measurementRequest(asked);
    if (!request || ((asked.sunNoise || asked.systemTemperature) && !asked.sky.site)) {
        *problem = QStringLiteral("測定の依頼ではありません。\nNot a measurement request.");
        return std::nullopt;
    }
    // A power source that cannot even be made (a malformed --power) is a
    // wrong request, answered before the rotator is borrowed.
    if (!heliotrope::power::makePowerSource(request->measurement.power, problem))
        return std::nullopt;
    return request;
}

std::unique_ptr<DeskMeasurement> startMeasurement(const measure::MeasurementRequest& request, Bridge& bridge)
{
    auto session = std::make_unique<DeskSession>(bridge, request);
    session->start();
    return session;
}

}  // namespace heliotrope::rotctl
