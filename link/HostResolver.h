#pragma once

// Looks the controller's host name up without blocking the window's thread.
//
// The link asks through this interface so that a test can stand in for a name
// server that never answers, or answers at once, without any network; the
// program uses SystemHostResolver, which is Qt's asynchronous host lookup.

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

class QObject;

namespace heliotrope::link {

class HostResolver {
public:
    enum class Outcome {
        Found,     // addresses holds at least one address
        NotFound,  // the name server answered: no such name
        Failed,    // no usable answer (a temporary failure, no server reachable, ...)
    };
    using Done = std::function<void(Outcome outcome, const QList<QHostAddress>& addresses)>;

    virtual ~HostResolver() = default;

    // Starts looking `name` up. `done` is called once, later, from the event
    // loop of `context`'s thread (never from inside lookUp), unless cancel(id)
    // is called or `context` is destroyed first. Returns the id for cancel().
    virtual int lookUp(const QString& name, QObject* context, Done done) = 0;

    // Forgets the lookup: its `done` is never called. Harmless for an id that
    // has already finished.
    virtual void cancel(int id) = 0;
};

// The system's resolver (hosts file, then DNS, as the system is set up), run
// by Qt on a thread of its own. A cancelled lookup may keep that thread busy
// until the system gives up on the name server, but nothing waits for it.
class SystemHostResolver final : public HostResolver {
public:
    int lookUp(const QString& name, QObject* context, Done done) override;
    void cancel(int id) override;
};

}  // namespace heliotrope::link
