#pragma once

// A measurement asked with --every: ordinary calibrations one after another,
// each begun that many minutes after the previous one began (at once when a
// scan outlasted the interval), until a scan is refused (the sun under 10°:
// sunset), --until's time (JST) comes or the operator ends it. Each scan is
// recorded and saved as one asked alone. On a rotator whose elevation
// reaches 180°, every other scan (the 2nd, 4th, …) is taken over the top,
// recorded for the pointing model and never saved; elsewhere the series says
// which terms its scans leave tied. Any other measurement passes
// through as its single session, so that the bridge and main() start every
// measurement through this one door.

#include "companions/measure/MeasurementSession.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

namespace heliotrope::measure {

class CalibrationSeries : public QObject {
    Q_OBJECT

public:
    CalibrationSeries(RotatorLender& lender, MeasurementRequest request, companions::UtcClock clock,
                      QObject* parent = nullptr);
    ~CalibrationSeries() override;

    void start();
    // Ctrl+C: the scan that runs ends unsaved, and no other begins.
    void interrupt();
    bool isRunning() const { return m_running; }

signals:
    void notice(const QString& line);
    void warning(const QString& line);
    void progress(const QString& line);
    // Each scan's own end, before the next is planned: a result found is
    // already kept (a calibration's offsets saved), to be taken up at once.
    void scanFinished(const heliotrope::measure::MeasurementOutcome& outcome);
    // Result when any scan found one; otherwise the last scan's outcome.
    void finished(const heliotrope::measure::MeasurementOutcome& outcome);

private:
    bool repeats() const;
    // Once rotctld has told the rotator's limits: whether scans go over the top, said.
    void sayHowScansAreTaken();
    void startScan();
    // The wait for the next scan over: the scan starts, or, woken before
    // the time it announced, the series waits again for the rest.
    void onWaitOver();
    void onScanFinished(const MeasurementOutcome& outcome);
    // Ends the series; `why` is said for a series of more than one scan.
    void end(const MeasurementOutcome& last, const companions::Words& why);

    RotatorLender& m_lender;
    MeasurementRequest m_request;
    companions::UtcClock m_clock;
    std::unique_ptr<MeasurementSession> m_session;
    QTimer m_wait;
    std::optional<double> m_untilUtc;
    double m_scanStartedUtc = 0;
    double m_nextScanUtc = 0;  // the time the next scan was announced for
    int m_scans = 0;
    int m_found = 0;
    bool m_running = false;
    bool m_interrupted = false;
    bool m_flips = false;  // every other scan over the top
    bool m_flipsSaid = false;
    bool m_scanOverTheTop = false;  // the scan running, or just ended
};

}  // namespace heliotrope::measure
