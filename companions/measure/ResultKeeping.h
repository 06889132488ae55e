#pragma once

// What is kept of a measurement once it has ended: the calibration's
// picture and points beside the station's record (the whole path said), its
// offsets saved where the clock allows (and said when they disagree with the
// saved ones), and every run, found or not, in the station's record, with
// what the record then shows (offsets that moved, a Y that dropped). The
// session runs the measurement; this keeps it, saying what it did through
// the session's notice and warning.

#include "companions/measure/CalibrationResult.h"
#include "companions/measure/MeasurementOutcome.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/rotator/RotatorProfile.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace heliotrope::measure {

struct SunNoiseResult;
struct SystemTemperatureResult;

class ResultKeeping {
public:
    using Say = std::function<void(const QString&)>;
    // `request` must outlive this.
    ResultKeeping(const MeasurementRequest& request, Say notice, Say warning);

    void writePictureAndCsv(const CalibrationOutcome& fitted, const QDateTime& measured) const;
    // Saves the offsets where the clock allows; the outcome.
    MeasurementOutcome keepOffsets(const CalibrationOutcome& fitted, const QDateTime& measured) const;
    // A scan over the top: recorded for the pointing model, nothing saved.
    MeasurementOutcome keptForTheModel() const;
    // The run's points (`runPoints` when there is no fit) with what the
    // bridge has learnt of the rotator so far.
    void recordCalibration(const std::optional<CalibrationOutcome>& fitted, const std::vector<MeasuredPoint>& runPoints,
                           const MeasurementOutcome& outcome, const QDateTime& measured, const rotator::RotatorProfile& learnt) const;
    // `started`: when it began to measure (its end, for a run that never began).
    void recordSunNoise(const SunNoiseResult& result, const MeasurementOutcome& outcome, const QDateTime& started,
                        const QDateTime& measured) const;
    // `result` none: the run never began.
    void recordSystemTemperature(const SystemTemperatureResult* result, const MeasurementOutcome& outcome, const QDateTime& measured) const;

private:
    // Said before new offsets are saved over ones they do not agree with.
    void sayDisagreementWithTheSaved(const CalibrationOutcome& fitted) const;

    const MeasurementRequest& m_request;
    Say m_notice;
    Say m_warning;
};

}  // namespace heliotrope::measure
