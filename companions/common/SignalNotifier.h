#pragma once

// Unix signals delivered through the event loop, the one way for every
// companion: the handler only writes the signal's number to a socket pair,
// and received() is emitted where anything may be done, as Qt's own "Calling
// Qt Functions From Unix Signal Handlers" does. One per program, made on
// first use and owned by the application object.

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace heliotrope::companions {

class SignalNotifier : public QObject {
    Q_OBJECT

public:
    // The program's notifier; call after the QCoreApplication exists.
    static SignalNotifier& instance();
    ~SignalNotifier() override;

    // Delivers each of these signals as received(). False when the socket
    // pair or a handler cannot be set up: the signal keeps its default action.
    bool install(std::initializer_list<int> signalNumbers);

    // The signal's default action again: the next one ends the program at
    // once, for a program already ending whose event loop may no longer turn.
    static void restoreDefault(int signalNumber);

signals:
    void received(int signalNumber);

private:
    explicit SignalNotifier(QObject* parent);
    bool openPair();

    QSocketNotifier* m_notifier = nullptr;
};

// Ctrl+C (SIGINT) and kill (SIGTERM) end the program through its event loop
// rather than on the spot, so that it can still say what it received before
// it goes; a second one while it ends ends it at once.
void quitOnTerminationSignals();

}  // namespace heliotrope::companions
