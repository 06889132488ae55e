#pragma once

// heliotrope-rotctl --calibrate: the power source the options name, the run
// on the sun, and what is done with its outcome: the result printed, the
// offsets saved for the next run of the bridge, the picture and the CSV
// written.

#include "companions/common/ShiftedClock.h"
#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/CalibrationRun.h"
#include "companions/power/PowerSource.h"

#include <QObject>

#include <memory>

namespace heliotrope::rotctl {

class RotatorLender;

class CalibrationSession : public QObject {
    Q_OBJECT

public:
    CalibrationSession(RotatorLender& lender, const CalibrationOptions& options, companions::UtcClock clock,
                       QObject* parent = nullptr);
    ~CalibrationSession() override;

    // False with the reason when the power source cannot be used at all.
    bool start(QString* problem);
    bool isRunning() const { return m_run && m_run->isRunning(); }
    void interrupt();
    // The run was refused because the sun stood too low (CalibrationRun::sunTooLow).
    bool sunTooLow() const { return m_run && m_run->sunTooLow(); }

signals:
    void notice(const QString& line);
    void progress(const QString& line);
    // The run is over and its outcome dealt with; ok when offsets were saved.
    void finished(bool ok);

private:
    void onFinished(const std::optional<CalibrationOutcome>& outcome);

    CalibrationOptions m_options;
    companions::UtcClock m_clock;
    RotatorLender& m_lender;
    std::unique_ptr<heliotrope::power::PowerSource> m_power;
    std::unique_ptr<CalibrationRun> m_run;
};

}  // namespace heliotrope::rotctl
