#pragma once

// Ctrl+C (SIGINT) delivered through the event loop: the handler only writes a
// byte to a socket pair, and a QSocketNotifier on the other end emits
// interrupted() where anything may be done. One instance per program.

#include <QObject>

class QSocketNotifier;

namespace heliotrope::companions {

class InterruptNotifier : public QObject {
    Q_OBJECT

public:
    explicit InterruptNotifier(QObject* parent = nullptr);
    ~InterruptNotifier() override;

    // False when the socket pair or the handler cannot be set up.
    bool install();

signals:
    void interrupted();

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace heliotrope::companions
