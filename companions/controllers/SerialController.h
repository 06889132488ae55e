#pragma once

// heliotrope-sim --serial: a controller on a pseudo-terminal. Bytes from the
// line go through the controller's dialogue, its answers go back, the
// rotator turns on its own clock, and the line can go silent on request (a
// schedule, or SIGUSR1) so that what rotctld does then can be seen.

#include "companions/common/ShiftedClock.h"
#include "companions/controllers/CommandRecord.h"
#include "companions/controllers/ControllerDialogue.h"
#include "companions/controllers/PseudoTerminal.h"
#include "companions/controllers/SerialControllerOptions.h"

#include <QObject>
#include <QTimer>

#include <optional>

class QSocketNotifier;

namespace heliotrope::controllers {

class SerialController : public QObject {
    Q_OBJECT

public:
    explicit SerialController(const SerialControllerOptions& options, QObject* parent = nullptr);
    ~SerialController() override;

    // Opens the pseudo-terminal, makes the link and the command log, and
    // says where the device is. False with the reason when one fails.
    bool start(QString* reason);
    QString devicePath() const { return m_terminal.devicePath(); }
    const CommandCounts& counts() const { return m_record.counts(); }

    // Toggles the line's silence, as SIGUSR1 does.
    void toggleSilence();
    // The rotator fails so from now (None: it works again), said with the time.
    void fail(RotatorFault fault);

signals:
    // progress: the operator's lines (a change of target, silenced by
    // --quiet; the line's silence, always). dialogue: with --verbose, one
    // line per message each way. problem: what went wrong on the line.
    void progress(const QString& line);
    void dialogue(const QString& line);
    void problem(const QString& line);

private:
    void onReadable();
    void setSilent(bool silent);
    void reportTarget(const Exchange& exchange);
    void writeAntennaFile();
    long long nowMs() const { return m_clock.elapsed(); }

    SerialControllerOptions m_options;
    companions::CompanionElapsedTimer m_clock;  // the rotator turns on the companions' time
    ControllerDialogue m_dialogue;
    PseudoTerminal m_terminal;
    CommandRecord m_record;
    QSocketNotifier* m_readable = nullptr;
    QTimer m_silenceStart;
    QTimer m_silenceEnd;
    QTimer m_failStart;
    QTimer m_failEnd;
    QTimer m_antennaTimer;
    std::optional<ControllerAngles> m_lastTarget;  // the last one said
    QByteArray m_antennaLine;                      // the last one written to the antenna file
    bool m_silent = false;
    bool m_linked = false;
};

}  // namespace heliotrope::controllers
