#include "link/HostResolver.h"

#include <QHostInfo>

namespace heliotrope::link {

int SystemHostResolver::lookUp(const QString& name, QObject* context, Done done)
{
    return QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo& info) {
        switch (info.error()) {
        case QHostInfo::NoError:
            if (!info.addresses().isEmpty()) {
                done(Outcome::Found, info.addresses());
                return;
            }
            done(Outcome::NotFound, {});
            return;
        case QHostInfo::HostNotFound:
            done(Outcome::NotFound, {});
            return;
        case QHostInfo::UnknownError:
            break;
        }
        // The system gave up before the link did (its own timeout, "temporary
        // failure in name resolution", no server reachable).
        done(Outcome::Failed, {});
    });
}

void SystemHostResolver::cancel(int id)
{
    QHostInfo::abortHostLookup(id);
}

}  // namespace heliotrope::link
