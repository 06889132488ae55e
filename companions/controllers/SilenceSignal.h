#pragma once

// SIGUSR1 delivered through the event loop, as the termination signals are
// (companions/common/QuitOnSignal.h): the handler writes a byte to a socket
// pair and received() is emitted where anything may be done. One instance.

#include <QObject>

class QSocketNotifier;

namespace heliotrope::controllers {

class SilenceSignal : public QObject {
    Q_OBJECT

public:
    explicit SilenceSignal(QObject* parent = nullptr);
    ~SilenceSignal() override;

    // False when the socket pair or the handler cannot be set up.
    bool install();

signals:
    void received();

private:
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace heliotrope::controllers
