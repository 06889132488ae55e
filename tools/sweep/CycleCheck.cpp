#include "tools/sweep/CycleCheck.h"

#include "solar/CalculationCycle.h"
#include "solar/NumberFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace sweep {
namespace {

constexpr std::size_t kFaultsKept = 5;

// The window, reduced to what one tick writes; it counts calls so that a tick
// that draws twice or never is caught too.
class RecordingView final : public solar::CycleView {
public:
    RecordingView(const std::string& latitude, const std::string& longitude)
        : m_latitude(latitude)
        , m_longitude(longitude)
    {
    }

    std::string observerLatitudeText() const override { return m_latitude; }
    std::string observerLongitudeText() const override { return m_longitude; }
    void showObserverProblem(const solar::ObserverProblem& p) override
    {
        problem = p;
        ++problemCalls;
    }
    void setSettingElevationText(const std::string& t) override { elevationBox = t; }
    void setSettingAzimuthText(const std::string& t) override { azimuthBox = t; }
    std::string settingAzimuthText() const override { return azimuthBox; }
    std::string settingElevationText() const override { return elevationBox; }
    void drawSky(const solar::SkyStep& s) override
    {
        sky = s;
        ++skyCalls;
    }
    void drawNotice(const solar::Notice& n) override
    {
        notice = n;
        ++noticeCalls;
    }
    void sendPointing(const std::string& az, const std::string& el) override
    {
        sentAzimuth = az;
        sentElevation = el;
        ++sendCalls;
    }

    solar::ObserverProblem problem;
    solar::SkyStep sky;
    solar::Notice notice;
    std::string elevationBox;
    std::string azimuthBox;
    std::string sentAzimuth;
    std::string sentElevation;
    int problemCalls = 0;
    int skyCalls = 0;
    int noticeCalls = 0;
    int sendCalls = 0;

private:
    const std::string& m_latitude;
    const std::string& m_longitude;
};

bool digits(const std::string& s, std::size_t from, std::size_t count)
{
    if (from + count > s.size())
        return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// "000.00" for 0..360: three whole digits, a point, two decimals.
std::optional<double> azimuthText(const std::string& s)
{
    if (s.size() != 6 || !digits(s, 0, 3) || s[3] != '.' || !digits(s, 4, 2))
        return std::nullopt;
    const double v = std::strtod(s.c_str(), nullptr);
    if (v < 0 || v > 360)
        return std::nullopt;
    return v;
}

// " ##.00" for 0..90: a blank, up to two whole digits without a leading zero,
// a point, two decimals.
std::optional<double> dayElevationText(const std::string& s)
{
    if (s.size() < 4 || s.size() > 6 || s[0] != ' ')
        return std::nullopt;
    const std::size_t whole = s.size() - 4;
    if (!digits(s, 1, whole) || (whole > 0 && s[1] == '0') || s[1 + whole] != '.' || !digits(s, 2 + whole, 2))
        return std::nullopt;
    const double v = std::strtod(s.c_str(), nullptr);
    if (v < 0 || v > 90)
        return std::nullopt;
    return v;
}

bool wholeIn(double v, double lo, double hi)
{
    return std::isfinite(v) && v == std::floor(v) && v >= lo && v <= hi;
}

std::string clockText(const solar::ClockReading& c)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d JST", c.year, c.month, c.day, c.hour, c.minute);
    return buf;
}

}  // namespace

void Tally::add(const Tally& o)
{
    ticks += o.ticks;
    sentByDay += o.sentByDay;
    sentByNight += o.sentByNight;
    sunsetUnknown += o.sunsetUnknown;
    withheldObserver += o.withheldObserver;
    withheldNoSunrise += o.withheldNoSunrise;
    faults += o.faults;
    for (const auto& [rule, count] : o.faultsByRule)
        faultsByRule[rule] += count;
    for (const std::string& f : o.firstFaults)
        if (firstFaults.size() < kFaultsKept)
            firstFaults.push_back(f);
}

PlaceSweep::PlaceSweep(const Place& place)
    : m_place(place)
{
}

void PlaceSweep::fault(const solar::ClockReading& now, const char* rule, const std::string& detail)
{
    ++m_tally.faults;
    ++m_tally.faultsByRule[rule];
    if (m_tally.firstFaults.size() < kFaultsKept)
        m_tally.firstFaults.push_back(m_place.name + ", " + clockText(now) + ": " + rule
                                      + (detail.empty() ? "" : " (" + detail + ")"));
}

void PlaceSweep::tick(const solar::ClockReading& now)
{
    // The boxes start with a text no tick writes, so that a tick that forgets
    // to rewrite or empty them is caught.
    RecordingView view(m_place.latitudeText, m_place.longitudeText);
    view.elevationBox = "stale";
    view.azimuthBox = "stale";

    const solar::CycleOutcome out = solar::runCalculationCycle(m_state, now, view);
    ++m_tally.ticks;
    using Kind = solar::Notice::Kind;

    if (view.problemCalls != 1 || view.skyCalls != 1 || view.noticeCalls != 1 || view.sendCalls > 1)
        fault(now, "a tick must mark the boxes, draw the sky and a notice once each, and send at most once");

    // Nothing non-finite may reach the chart.
    if (!std::isfinite(view.sky.azimuthDeg) || !std::isfinite(view.sky.elevationDeg))
        fault(now, "non-finite sky step");
    if (view.sky.drawMarker && !view.sky.sunUp)
        fault(now, "sun marker drawn by night");

    // A notice with a time shows whole hours and minutes that the general form can write.
    const solar::Notice& n = view.notice;
    if (n.kind == Kind::Sunset || n.kind == Kind::NextSunrise) {
        if (!wholeIn(n.hour, 0, 23) || !wholeIn(n.minute, 0, 59) || !solar::formatGeneral(n.hour)
            || !solar::formatGeneral(n.minute)) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%.17g h %.17g min", n.hour, n.minute);
            fault(now, n.kind == Kind::Sunset ? "the sunset notice must show a clock time (0..23 h, 0..59 min)" : "the sunrise notice must show a clock time (0..23 h, 0..59 min)",
                  buf);
        }
    }

    const bool refused = m_place.refusedLatitude || m_place.refusedLongitude;
    if (refused) {
        const bool marked = view.problem.latitude == m_place.refusedLatitude
            && view.problem.longitude == m_place.refusedLongitude;
        if (!marked || out.sent)
            fault(now, "a box that does not convert must be marked and the tick withheld");
    }

    if (view.sendCalls == 0) {
        // Withheld: the boxes are empty and the chart says why.
        if (!view.azimuthBox.empty() || !view.elevationBox.empty())
            fault(now, "a withheld tick must empty the boxes", view.azimuthBox + " / " + view.elevationBox);
        if (n.kind == Kind::ObserverInvalid) {
            if (!view.problem.any())
                fault(now, "observation point reported invalid, but no box marked");
            ++m_tally.withheldObserver;
        } else if (n.kind == Kind::NextSunriseUnknown) {
            ++m_tally.withheldNoSunrise;
        } else {
            fault(now, "tick withheld without a reason on the chart");
        }
        if (out.sent)
            fault(now, "outcome says sent, but nothing was sent");
        if (m_place.designRange)
            fault(now, "withheld inside the design range");
        return;
    }

    // Sent: the message carries exactly the boxes' texts, each well formed.
    if (!out.sent)
        fault(now, "sent, but the outcome says not");
    if (view.sentAzimuth != view.azimuthBox || view.sentElevation != view.elevationBox)
        fault(now, "the message is not what the boxes show");
    if (view.problem.any())
        fault(now, "sent while a box is marked");
    const std::optional<double> azimuth = azimuthText(view.sentAzimuth);
    if (!azimuth)
        fault(now, "the azimuth text must be 000.00 within 0..360", view.sentAzimuth);
    else if (std::fabs(*azimuth - out.azimuthDeg) > 0.005 + 1e-9)
        fault(now, "the azimuth text must be the computed azimuth", view.sentAzimuth);

    if (out.sunUp) {
        ++m_tally.sentByDay;
        const std::optional<double> elevation = dayElevationText(view.sentElevation);
        if (!elevation)
            fault(now, "the day elevation text must be ' ##.00' within 0..90", view.sentElevation);
        else if (std::fabs(*elevation - out.elevationDeg) > 0.005 + 1e-9)
            fault(now, "the day elevation text must be the computed elevation", view.sentElevation);
        if (!view.sky.sunUp || (n.kind != Kind::Sunset && n.kind != Kind::SunsetUnknown))
            fault(now, "a day tick must draw the day sky and the sunset notice");
        if (n.kind == Kind::SunsetUnknown) {
            ++m_tally.sunsetUnknown;
            if (m_place.designRange)
                fault(now, "no sunset inside the design range");
        }
        if (m_place.listedCity && n.kind == Kind::Sunset && (n.hour < 16 || n.hour > 19))
            fault(now, "a listed city's sunset must fall at 16..19 h");
    } else {
        ++m_tally.sentByNight;
        if (view.sentElevation != ".000")
            fault(now, "the night elevation text must be .000", view.sentElevation);
        if (view.sky.sunUp || view.sky.drawMarker || n.kind != Kind::NextSunrise)
            fault(now, "a night tick that sends must draw the night sky and the next sunrise");
        if (m_place.listedCity && (n.hour < 3 || n.hour > 7))
            fault(now, "a listed city's sunrise must fall at 3..7 h");
    }
}

}  // namespace sweep
