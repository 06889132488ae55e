#pragma once

// The page's TCP listener, which bounds what a browser, or anything that
// connects, may cost the bridge: so many connections at once, so many bytes
// a request, and a request that has not come whole within a while after the
// answer before it (or the connection) is dropped with its connection. Qt's HTTP
// server reads the connections it hands over; this sees their bytes first.

#include <QTcpServer>

namespace heliotrope::rotctl {

class PageListener : public QTcpServer {
    Q_OBJECT

public:
    static constexpr int kMostConnections = 16;
    static constexpr qint64 kMostRequestBytes = 16 * 1024;  // headers and body, until the answer goes
    static constexpr int kIdleMs = 20000;                   // for each request to come whole

    explicit PageListener(QObject* parent = nullptr);
    int connections() const { return m_connections; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    int m_connections = 0;
};

}  // namespace heliotrope::rotctl
