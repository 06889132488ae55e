#include "tools/bench/Workloads.h"

#include "app/Clock.h"
#include "app/OperatorDialogs.h"
#include "app/frmMain.h"
#include "link/ControllerLink.h"
#include "link/PointingMessage.h"
#include "solar/CalculationCycle.h"
#include "solar/RiseSet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace heliotrope::app;
using heliotrope::link::ControllerLink;
using heliotrope::link::pointingMessage;

#include <array>

namespace bench {

using namespace std::chrono;

const char* skyName(Sky sky)
{
    return sky == Sky::Day ? "day" : "night";
}

// ---------------------------------------------------------------- position

const std::vector<PositionInput>& positionInputs()
{
    static const std::vector<PositionInput> inputs = [] {
        std::vector<PositionInput> v;
        for (int month = 1; month <= 12; ++month) {
            for (const int day : {1, 15}) {
                const double n = solar::CALDAY(static_cast<std::int16_t>(month), static_cast<std::int16_t>(day));
                for (int hourJst = 0; hourJst < 24; ++hourJst)
                    v.push_back({n, hourJst - 9.0});
            }
        }
        return v;
    }();
    return inputs;
}

solar::SunPosition PositionWorkload::once()
{
    const std::vector<PositionInput>& inputs = positionInputs();
    const PositionInput& in = inputs[m_next];
    m_next = m_next + 1 == inputs.size() ? 0 : m_next + 1;
    return solar::CALAZEL(in.dayNumber, in.utHours, kLatitudeDeg, kLongitudeDeg);
}

// ---------------------------------------------------------------- solver

RiseSetWorkload::RiseSetWorkload()
{
    // The solver reads what the position step of the same tick left in the
    // state; a noon tick of the plain cycle leaves exactly that.
    for (int month = 1; month <= 12; ++month) {
        for (const int day : {1, 15}) {
            solar::CalculationState state;
            PlainView view;
            solar::runCalculationCycle(state, solar::ClockReading{2026, month, day, 12, 0, 0}, view);
            m_states.push_back(state);
        }
    }
}

double RiseSetWorkload::once()
{
    solar::CalculationState& state = m_states[m_next];
    m_next = m_next + 1 == m_states.size() ? 0 : m_next + 1;
    solar::CALRISE(state);
    return state.dblSetHour;
}

// ---------------------------------------------------------------- cycle

namespace {

// 21 June 2026, 10:00 or 22:00 JST: well clear of sunrise and sunset at
// 八王子 (04:26 and 19:01) for the half hour a stepping clock covers.
system_clock::time_point startOf(Sky sky)
{
    const sys_days date = year(2026) / June / 21;
    const hours jst = sky == Sky::Day ? hours(10) : hours(22);
    return system_clock::time_point(date) + jst - hours(9);
}

constexpr long kStepsPerRound = 2400;  // half an hour at 750 ms, 40 minutes at 1 s

}  // namespace

SteppingTime::SteppingTime(Sky sky, milliseconds step)
    : m_start(startOf(sky))
    , m_step(step)
{
}

system_clock::time_point SteppingTime::next()
{
    const system_clock::time_point t = m_start + m_step * m_steps;
    m_steps = (m_steps + 1) % kStepsPerRound;
    return t;
}

std::string PlainView::observerLatitudeText() const
{
    return "35.64";
}

std::string PlainView::observerLongitudeText() const
{
    return "139.3";
}

void PlainView::showObserverProblem(const solar::ObserverProblem& problem)
{
    m_problem = problem;
}

void PlainView::setSettingElevationText(const std::string& text)
{
    m_elevation = text;
}

void PlainView::setSettingAzimuthText(const std::string& text)
{
    m_azimuth = text;
}

std::string PlainView::settingAzimuthText() const
{
    return m_azimuth;
}

std::string PlainView::settingElevationText() const
{
    return m_elevation;
}

void PlainView::drawSky(const solar::SkyStep& step)
{
    m_sky = step;
}

void PlainView::drawNotice(const solar::Notice& notice)
{
    m_notice = notice;
}

void PlainView::sendPointing(const std::string& azimuthText, const std::string& elevationText)
{
    // The link's own conversion: the box texts as QStrings, then the bytes.
    m_message = pointingMessage(QString::fromStdString(azimuthText), QString::fromStdString(elevationText))
                    .value_or(QByteArray());
}

CycleWorkload::CycleWorkload(Sky sky)
    : m_sky(sky)
    , m_time(sky)
{
}

bool CycleWorkload::once()
{
    const solar::ClockReading now
        = solar::jstFromUnixSeconds(duration_cast<seconds>(m_time.next().time_since_epoch()).count());
    const solar::CycleOutcome out = solar::runCalculationCycle(m_state, now, m_view);
    return out.sent && out.sunUp == (m_sky == Sky::Day) && !m_view.lastMessage().isEmpty();
}

// ---------------------------------------------------------------- window

namespace {

class SteppingClock final : public Clock {
public:
    SteppingClock(Sky sky, milliseconds step)
        : m_time(sky, step)
    {
    }
    system_clock::time_point now() const override { return m_time.next(); }

private:
    mutable SteppingTime m_time;
};

// No modal box may stop a measurement: a warning is kept for the check.
class QuietDialogs final : public OperatorDialogs {
public:
    bool confirmQuit(QWidget*) override { return true; }
    void warn(QWidget*, const QString& text) override { warnings.append(text); }
    QStringList warnings;
};

class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

struct WindowWorkload::Rig {
    Rig(Sky s, milliseconds clockStep)
        : sky(s)
        , clock(s, clockStep)
    {
    }

    Sky sky;
    SteppingClock clock;
    QuietDialogs dialogs;
    std::unique_ptr<frmMain> window;
    PaintCounter chartPaints;
    PaintCounter timePaints;
    int controller = -1;  // the loopback listener, a plain socket outside Qt's event loop
    quint16 controllerPort = 0;
    std::string error;

    bool openController()
    {
        controller = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (controller < 0)
            return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(controller, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::getsockname(controller, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return false;
        controllerPort = ntohs(address.sin_port);
        return true;
    }

    // Every datagram waiting at the controller; the last one kept.
    int drain(QByteArray& last)
    {
        int count = 0;
        std::array<char, 2048> buffer{};
        for (;;) {
            const ssize_t n = ::recv(controller, buffer.data(), buffer.size(), MSG_DONTWAIT);
            if (n < 0)
                return count;
            last = QByteArray(buffer.data(), static_cast<qsizetype>(n));
            ++count;
        }
    }
};

WindowWorkload::WindowWorkload(Sky sky, milliseconds clockStep)
    : m_rig(std::make_unique<Rig>(sky, clockStep))
{
    Rig& r = *m_rig;
    if (!r.openController()) {
        r.error = "cannot bind the loopback controller";
        return;
    }
    r.window = std::make_unique<frmMain>(r.clock, r.dialogs);
    QWidget* chart = r.window->findChild<QWidget*>(QStringLiteral("picView"));
    auto* port = r.window->findChild<QLineEdit*>(QStringLiteral("txtACTLR_Port"));
    auto* start = r.window->findChild<QPushButton*>(QStringLiteral("cmdStart"));
    auto* calculationTimer = r.window->findChild<QTimer*>(QStringLiteral("Timer_cal"));
    auto* clockTimer = r.window->findChild<QTimer*>(QStringLiteral("tmrTime"));
    QWidget* time = r.window->findChild<QWidget*>(QStringLiteral("lblTime"));
    if (!chart || !port || !start || !calculationTimer || !clockTimer || !time) {
        r.error = "the window lacks a control the rig drives"
                  " (picView, txtACTLR_Port, cmdStart, Timer_cal, tmrTime, lblTime)";
        return;
    }
    chart->installEventFilter(&r.chartPaints);
    time->installEventFilter(&r.timePaints);
    port->setText(QString::number(r.controllerPort));
    r.window->show();
    const QDeadlineTimer deadline(5000);
    while (r.chartPaints.paints == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (r.chartPaints.paints == 0) {
        r.error = "the chart was never painted after show()";
        return;
    }
    start->click();
    if (!r.window->controllerLink().isOpen()) {
        r.error = "the link did not open: " + r.dialogs.warnings.join(QStringLiteral("; ")).toStdString();
        return;
    }
    // The cycles are driven one by one from here; a timer firing in between
    // would add a cycle (or a clock repaint) to the one being measured.
    calculationTimer->stop();
    clockTimer->stop();
    QCoreApplication::processEvents();
    QByteArray ignored;
    r.drain(ignored);
    r.chartPaints.paints = 0;
    r.timePaints.paints = 0;
}

WindowWorkload::~WindowWorkload()
{
    m_rig->window.reset();
    if (m_rig->controller >= 0)
        ::close(m_rig->controller);
}

const std::string& WindowWorkload::setupError() const
{
    return m_rig->error;
}

frmMain& WindowWorkload::window()
{
    return *m_rig->window;
}

void WindowWorkload::once()
{
    m_rig->window->SOLCAL();
    // What the event loop does when the tick's handler returns: the posted
    // update request repaints what the cycle changed (chart and boxes) and
    // hands the backing store to the platform.
    QCoreApplication::processEvents();
}

std::string WindowWorkload::check(int cycles)
{
    Rig& r = *m_rig;
    if (!r.error.empty())
        return r.error;
    QByteArray last;
    const int datagrams = r.drain(last);
    const int paints = r.chartPaints.paints;
    r.chartPaints.paints = 0;
    if (datagrams != cycles)
        return std::to_string(cycles) + " cycles sent " + std::to_string(datagrams) + " datagrams";
    if (paints != cycles)
        return std::to_string(cycles) + " cycles painted the chart " + std::to_string(paints) + " times";
    // By day "0,108.46, 78.43", by night "0,065.20,.000".
    const bool night = last.endsWith(",.000");
    if (!last.startsWith("0,") || night != (r.sky == Sky::Night))
        return "unexpected " + std::string(skyName(r.sky)) + " message: " + last.toStdString();
    if (!r.dialogs.warnings.isEmpty())
        return "the window warned: " + r.dialogs.warnings.join(QStringLiteral("; ")).toStdString();
    return {};
}

void WindowWorkload::clockTick()
{
    m_rig->window->tmrTime_Timer();
    QCoreApplication::processEvents();
}

std::string WindowWorkload::checkClock(int ticks)
{
    Rig& r = *m_rig;
    if (!r.error.empty())
        return r.error;
    QByteArray last;
    const int datagrams = r.drain(last);
    const int paints = r.timePaints.paints;
    r.timePaints.paints = 0;
    r.chartPaints.paints = 0;
    if (datagrams != 0)
        return std::to_string(ticks) + " clock ticks sent " + std::to_string(datagrams) + " datagrams";
    if (paints != ticks)
        return std::to_string(ticks) + " clock ticks painted the time " + std::to_string(paints) + " times";
    return {};
}

}  // namespace bench
