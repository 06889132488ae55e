#pragma once

// A name server a test scripts: it either never answers, or answers every
// lookup with the outcome set beforehand, from the event loop as the system's
// resolver does. It keeps the names it was asked and the lookups cancelled.
// A name that starts with "gone." is never found. Unless it honours cancel, a
// cancelled lookup is still answered, as the system's may be when the answer
// was already on its way.

#include "link/HostResolver.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

class ScriptedResolver final : public heliotrope::link::HostResolver {
public:
    struct Log {
        QStringList asked;
        int cancelled = 0;
    };

    // `log` outlives the resolver, which the link owns.
    explicit ScriptedResolver(Log& log, bool answers = false, Outcome outcome = Outcome::NotFound,
                              QList<QHostAddress> addresses = {}, bool honoursCancel = true)
        : m_log(log)
        , m_answers(answers)
        , m_outcome(outcome)
        , m_addresses(std::move(addresses))
        , m_honoursCancel(honoursCancel)
    {
    }

    int lookUp(const QString& name, QObject* context, Done done) override
    {
        m_log.asked << name;
        const int id = ++m_lastId;
        if (m_answers) {
            const bool gone = name.startsWith(QLatin1String("gone."));
            QTimer::singleShot(0, context, [this, id, gone, done = std::move(done)] {
                if (!m_honoursCancel || !m_cancelled.contains(id))
                    done(gone ? Outcome::NotFound : m_outcome, gone ? QList<QHostAddress>{} : m_addresses);
            });
        }
        return id;
    }

    void cancel(int id) override
    {
        m_cancelled.insert(id);
        ++m_log.cancelled;
    }

private:
    Log& m_log;
    bool m_answers;
    Outcome m_outcome;
    QList<QHostAddress> m_addresses;
    bool m_honoursCancel;
    QSet<int> m_cancelled;
    int m_lastId = 0;
};
