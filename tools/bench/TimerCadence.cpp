// Measures the calculation timer's cadence the way the controller sees it:
// the real window (offscreen) runs its cycles against a loopback listener,
// which stamps every pointing message on arrival. Prints the interval
// percentiles, the largest deviation from 750 ms and the cumulative drift.
//
//   heliotrope-cadence [seconds]   (default 600: ten minutes, 800 cycles)

#include "app/Clock.h"
#include "app/OperatorDialogs.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

using namespace heliotrope::app;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 600;

    // The controller listens on its own thread, so its time stamps are not held
    // back by the window's repaints on the user-interface thread.
    QElapsedTimer elapsed;
    std::vector<double> arrivals;  // ms since the start click
    std::atomic<bool> stop{false};
    std::atomic<quint16> controllerPort{0};
    std::thread controllerThread([&] {
        QUdpSocket controller;
        if (!controller.bind(QHostAddress::LocalHost, 0))
            return;
        controllerPort = controller.localPort();
        while (!stop) {
            if (!controller.waitForReadyRead(100))
                continue;
            while (controller.hasPendingDatagrams()) {
                controller.receiveDatagram();
                arrivals.push_back(static_cast<double>(elapsed.nsecsElapsed()) / 1e6);
            }
        }
    });
    while (controllerPort == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SystemClock clock;
    OperatorDialogs dialogs;
    frmMain window(clock, dialogs);
    window.findChild<QLineEdit*>(QStringLiteral("txtACTLR_Port"))->setText(QString::number(controllerPort.load()));
    window.show();

    QTimer::singleShot(100, [&] {
        elapsed.start();
        window.findChild<QPushButton*>(QStringLiteral("cmdStart"))->click();
    });
    QTimer::singleShot(100 + seconds * 1000 + 300, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    stop = true;
    controllerThread.join();

    if (arrivals.size() < 3) {
        std::puts("too few cycles");
        return 1;
    }
    std::vector<double> deviation;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        deviation.push_back(std::fabs(arrivals[i] - arrivals[i - 1] - 750.0));
    std::vector<double> sorted = deviation;
    std::sort(sorted.begin(), sorted.end());
    const auto pct = [&](double p) { return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))]; };
    std::printf("cycles                       %zu over %d s\n", arrivals.size(), seconds);
    std::printf("first cycle after the click  %.2f ms\n", arrivals[0]);
    std::printf("|interval - 750 ms| p50      %.3f ms\n", pct(0.50));
    std::printf("|interval - 750 ms| p99      %.3f ms\n", pct(0.99));
    std::printf("|interval - 750 ms| max      %.3f ms\n", sorted.back());
    const auto beyond = [&](double ms) { return std::count_if(deviation.begin(), deviation.end(), [ms](double d) { return d > ms; }); };
    std::printf("intervals off by over 4 ms   %td of %zu\n", beyond(4.0), deviation.size());
    std::printf("intervals off by over 10 ms  %td\n", beyond(10.0));
    // A single late cycle shows twice: its own interval long, the next short.
    for (std::size_t i = 0; i < deviation.size(); ++i)
        if (deviation[i] > 10.0)
            std::printf("  interval %zu (cycle %zu to %zu, %.1f s in): %+.3f ms\n", i + 1, i + 1, i + 2,
                        arrivals[i] / 1000.0, arrivals[i + 1] - arrivals[i] - 750.0);
    const std::size_t last = std::min<std::size_t>(arrivals.size() - 1, 799);
    std::printf("cycle %zu drift               %.3f ms (expected %zu x 750 ms after the first)\n", last + 1,
                arrivals[last] - arrivals[0] - 750.0 * static_cast<double>(last), last);
    return 0;
}
