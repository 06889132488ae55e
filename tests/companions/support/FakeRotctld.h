#pragma once

// A peer on rotctld's port that is not a working rotctld: it takes the
// connection and then never answers, or answers with what is not the
// protocol, or answers \dump_state and then hangs on the rotator. Counts the
// connections it was offered, so a test sees that the bridge reconnects.

#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class FakeRotctld : public QObject {
public:
    enum class Behaviour {
        NeverAnswers,
        AnswersGarbage,
        HangsAfterDumpState,
    };

    explicit FakeRotctld(Behaviour behaviour)
        : m_behaviour(behaviour)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                m_sockets << socket;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
            }
        });
    }

    bool listen(quint16 port) { return m_server.listen(QHostAddress::LocalHost, port); }
    // Closes the port and every connection, as a hung rotctld killed would.
    void close()
    {
        m_server.close();
        for (const QPointer<QTcpSocket>& socket : m_sockets) {
            if (socket)
                socket->abort();
        }
    }
    int connections() const { return m_connections; }

private:
    void answer(QTcpSocket* socket)
    {
        const QByteArray received = socket->readAll();
        switch (m_behaviour) {
        case Behaviour::NeverAnswers:
            return;
        case Behaviour::AnswersGarbage:
            // What a web server or a radio's CAT port might say to a line.
            socket->write("HTTP/1.0 400 Bad Request\r\n\x1b[2J\xff\xfe\r\n");
            return;
        case Behaviour::HangsAfterDumpState:
            // Hamlib 3's dump_state (protocol 0): model 1, 0..360, 0..90.
            if (received.startsWith("\\dump_state"))
                socket->write("0\n1\n0.000000\n360.000000\n0.000000\n90.000000\n");
            return;
        }
    }

    Behaviour m_behaviour;
    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    int m_connections = 0;
};
