#pragma once

// Stands where the window would, for the companions' tests: a UDP socket on
// loopback that sends pointing messages and keeps every report that comes
// back, in order.

#include <QElapsedTimer>
#include <QList>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

struct WindowSocket {
    QUdpSocket socket;
    QList<QByteArray> reports;

    WindowSocket()
    {
        socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, &socket, [this] {
            while (socket.hasPendingDatagrams())
                reports << socket.receiveDatagram().data();
        });
    }
    void send(quint16 port, const QByteArray& message) { socket.writeDatagram(message, QHostAddress::LocalHost, port); }
    QByteArray lastReport() const { return reports.isEmpty() ? QByteArray() : reports.last(); }
    // The report after the last one taken, or an empty one when none comes
    // within waitMs; the event loop runs meanwhile, so a companion in this
    // thread goes on.
    QByteArray nextReport(int waitMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (m_taken >= reports.size() && waited.elapsed() < waitMs)
            QTest::qWait(5);
        return m_taken < reports.size() ? reports[m_taken++] : QByteArray();
    }

    // Whatever has come so far is taken as read.
    void drain()
    {
        while (socket.hasPendingDatagrams())
            reports << socket.receiveDatagram().data();
        m_taken = reports.size();
    }

private:
    qsizetype m_taken = 0;
};
