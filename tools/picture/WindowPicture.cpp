// Pictures the window for the README, the same every time: the offscreen
// platform, a fixed clock (21 June, mid-morning JST), two calculation cycles
// (so the blinking sun is on the chart) and a controller on loopback that
// answers with the antenna's angles. The picture is the window's own grab.
//
//   heliotrope-picture OUTPUT.png

#include "app/Appearance.h"
#include "app/Clock.h"
#include "app/OperatorDialogs.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>
#include <cstdio>

using namespace heliotrope::app;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: heliotrope-picture OUTPUT.png\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyHeliotropeAppearance(app);

    // A controller on the default port (another free one if that is taken)
    // that reports the antenna a little behind the set-point.
    QUdpSocket controller;
    if (!controller.bind(QHostAddress::LocalHost, 10006) && !controller.bind(QHostAddress::LocalHost, 0))
        return 1;
    QObject::connect(&controller, &QUdpSocket::readyRead, [&] {
        while (controller.hasPendingDatagrams()) {
            const QNetworkDatagram d = controller.receiveDatagram();
            const QList<QByteArray> fields = d.data().split(',');
            if (fields.size() < 3)
                continue;
            const QByteArray report = "1," + QByteArray::number(fields[1].trimmed().toDouble() - 0.4, 'f', 2) + ","
                + QByteArray::number(fields[2].trimmed().toDouble() - 0.2, 'f', 2);
            controller.writeDatagram(report, d.senderAddress(), static_cast<quint16>(d.senderPort()));
        }
    });

    FixedClock clock(2026, 6, 21, 9, 30, 0);
    OperatorDialogs dialogs;
    frmMain window(clock, dialogs);
    window.findChild<QLineEdit*>(QStringLiteral("txtACTLR_Port"))->setText(QString::number(controller.localPort()));
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();

    int status = 1;
    // Two cycles at 750 ms, then a moment for the report to arrive.
    QTimer::singleShot(1500 + 300, [&] {
        status = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        QCoreApplication::exit(0);
    });
    app.exec();
    return status;
}
