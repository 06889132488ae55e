// The yardstick for the figures that depend on the machine's load (CPU share,
// start-up time): the least a Qt 6 window of the same size can do to show and
// send the same things. A clock label rewritten every second; every 750 ms
// once started, the sun's position, two set-point boxes, the sky chart painted
// straight onto its widget (grid, sun, notice; no caching) and one datagram.
// No frames, captions or other decoration. The port box and the start button
// stand where the real window has them, so the bench drives both alike.
//
// scripts/bench runs it beside the real window, at the same time, so that a
// figure can be read against what the machine allowed at that moment.

#include "app/Appearance.h"
#include "app/ControlLayout.h"
#include "solar/SunPosition.h"

#include <QApplication>
#include <QDateTime>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

#include <cmath>
#include <tuple>

using namespace heliotrope::app;

namespace {

QRect placed(const char* name)
{
    QRect r = twipsRect(*findPlacement(QLatin1String(name)));
    const char* container = findPlacement(QLatin1String(name))->container;
    if (QLatin1String(container) != QLatin1String("frmMain"))
        r.translate(twipsRect(*findPlacement(QLatin1String(container))).topLeft());
    return r;
}

class PlainChart final : public QWidget {
public:
    using QWidget::QWidget;
    double azimuth = 0;
    double elevation = -1;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().window());
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(width() / 2.0, height() / 2.0);
        const double horizon = 60;
        for (const double r : {horizon, 40.0, 20.0})
            p.drawEllipse(centre, r, r);
        p.drawLine(QPointF(0, centre.y()), QPointF(width(), centre.y()));
        p.drawLine(QPointF(centre.x(), 0), QPointF(centre.x(), height()));
        for (const auto& [x, y, text] : {std::tuple{centre.x() + 3, 12.0, "N"}, {centre.x() + 3, height() - 2.0, "S"}, {2.0, centre.y() - 3, "W"}, {width() - 10.0, centre.y() - 3, "E"}})
            p.drawText(QPointF(x, y), QLatin1String(text));
        if (elevation > 0) {
            const double r = horizon * (90 - elevation) / 90;
            const double a = qDegreesToRadians(azimuth);
            p.setBrush(Qt::red);
            p.setPen(Qt::red);
            p.drawEllipse(centre + QPointF(r * std::sin(a), -r * std::cos(a)), 5, 5);
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(QPointF(2, 12), QStringLiteral("日の入りは"));
            p.drawText(QPointF(2, 26), QStringLiteral("18時5分"));
        } else {
            p.drawText(QPointF(2, height() - 16), QStringLiteral("沈んでます。"));
            p.drawText(QPointF(centre.x() + 8, height() - 16), QStringLiteral("次の日の出は"));
            p.drawText(QPointF(centre.x() + 8, height() - 2), QStringLiteral("6時43分"));
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyHeliotropeAppearance(app);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.setFixedSize(twips(kClientWidthTwips), twips(kClientHeightTwips));

    auto* clock = new QLabel(&window);
    clock->setGeometry(placed("lblTime"));
    auto* elevationBox = new QLineEdit(&window);
    elevationBox->setGeometry(placed("txtSettingElevation"));
    auto* azimuthBox = new QLineEdit(&window);
    azimuthBox->setGeometry(placed("txtSettingAzimuth"));
    auto* chart = new PlainChart(&window);
    chart->setGeometry(placed("picView"));
    auto* portBox = new QLineEdit(QStringLiteral("10006"), &window);
    portBox->setGeometry(placed("txtACTLR_Port"));
    auto* start = new QPushButton(QStringLiteral("計算開始"), &window);
    start->setGeometry(placed("cmdStart"));

    QTimer clockTimer;
    QObject::connect(&clockTimer, &QTimer::timeout, [&] {
        clock->setText(QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd H:mm:ss")));
    });
    clockTimer.start(1000);

    QUdpSocket socket;
    QTimer cycle;
    cycle.setTimerType(Qt::PreciseTimer);
    QObject::connect(&cycle, &QTimer::timeout, [&] {
        const QDateTime utc = QDateTime::currentDateTimeUtc();
        const double ut = utc.time().hour() + utc.time().minute() / 60.0 + utc.time().second() / 3600.0;
        const solar::SunPosition sun = solar::CALAZEL(utc.date().dayOfYear(), ut, 35.64, 139.3);
        elevationBox->setText(QString::number(sun.elevationDeg, 'f', 2));
        azimuthBox->setText(QString::number(sun.azimuthDeg, 'f', 2));
        chart->azimuth = sun.azimuthDeg;
        chart->elevation = sun.elevationDeg;
        chart->update();
        socket.writeDatagram("0," + azimuthBox->text().toLatin1() + "," + elevationBox->text().toLatin1(),
                             QHostAddress::LocalHost, static_cast<quint16>(portBox->text().toUInt()));
    });
    QObject::connect(start, &QPushButton::clicked, [&] { cycle.start(750); });

    window.show();
    return QApplication::exec();
}
