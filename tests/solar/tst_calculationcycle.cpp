#include "solar/CalculationCycle.h"
#include "solar/NumberFormat.h"
#include "solar/SunPosition.h"

#include <QtTest>
#include <vector>

using namespace solar;

namespace {

// A window made of plain strings that records what the cycle did to it.
class RecordingView final : public CycleView {
public:
    explicit RecordingView(const CalculationState& state)
        : m_state(state)
    {
    }

    std::string latitude = "35.0";
    std::string longitude = "135.0";
    std::string elevationBox;
    std::string azimuthBox;
    ObserverProblem problem;
    std::vector<SkyStep> skies;
    std::vector<Notice> notices;
    std::vector<std::string> sent;
    CalculationState stateAtSky;  // the state as the sky step saw it, before the solver ran

    std::string observerLatitudeText() const override { return latitude; }
    std::string observerLongitudeText() const override { return longitude; }
    void showObserverProblem(const ObserverProblem& p) override { problem = p; }
    void setSettingElevationText(const std::string& t) override { elevationBox = t; }
    void setSettingAzimuthText(const std::string& t) override { azimuthBox = t; }
    std::string settingAzimuthText() const override { return azimuthBox; }
    std::string settingElevationText() const override { return elevationBox; }
    void drawSky(const SkyStep& s) override
    {
        skies.push_back(s);
        stateAtSky = m_state;
    }
    void drawNotice(const Notice& n) override { notices.push_back(n); }
    void sendPointing(const std::string& az, const std::string& el) override { sent.push_back("0," + az + "," + el); }

private:
    const CalculationState& m_state;
};

ClockReading at(int y, int mo, int d, int h, int mi, int s)
{
    return ClockReading{y, mo, d, h, mi, s};
}

}  // namespace

class TestCalculationCycle : public QObject {
    Q_OBJECT
private slots:
    void dayCycleShowsAndSendsTheSun();
    void clockFieldsAndUniversalTime_data();
    void clockFieldsAndUniversalTime();
    void markerBlinksOnDayTicksOnly();
    void nightParksAtTheNextSunrise();
    void nightOnNewYearsEveUsesDay366();
    void unreadableObserverFailsThatTickOnly_data();
    void unreadableObserverFailsThatTickOnly();
    void editedObserverCountsFromTheNextTick();
    void noSunriseMeansNothingIsSent();
    void noSunsetStillPointsAtTheSun();
};

void TestCalculationCycle::dayCycleShowsAndSendsTheSun()
{
    CalculationState state;
    RecordingView view(state);
    const CycleOutcome out = runCalculationCycle(state, at(2006, 6, 21, 12, 0, 0), view);
    QVERIFY(out.sunUp);
    QCOMPARE(view.elevationBox, std::string(" 78.43"));
    QCOMPARE(view.azimuthBox, std::string("177.63"));
    QCOMPARE(view.sent, std::vector<std::string>{"0,177.63, 78.43"});
    QCOMPARE(view.notices.back().kind, Notice::Kind::Sunset);
    QCOMPARE(view.notices.back().hour, 19.0);
    QCOMPARE(view.notices.back().minute, 17.0);
    QVERIFY(!view.problem.any());
    // 5 August 09:30: the azimuth the wire examples quote.
    runCalculationCycle(state, at(2006, 8, 5, 9, 30, 0), view);
    QCOMPARE(view.sent.back(), std::string("0,108.46, 50.44"));
}

void TestCalculationCycle::clockFieldsAndUniversalTime_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("expectedYear");
    QTest::addColumn<int>("expectedMonth");
    QTest::addColumn<double>("expectedUt");
    QTest::addColumn<double>("expectedDayNumber");
    QTest::newRow("15 January 10:00:00") << 1 << 15 << 10 << 2006 << 13 << 1.0 << 15.0;
    QTest::newRow("1 March 03:00:00") << 3 << 1 << 3 << 2007 << 3 << -6.0 << 60.0;
    QTest::newRow("28 February 23:00:00") << 2 << 28 << 23 << 2006 << 14 << 14.0 << 59.0;
}

void TestCalculationCycle::clockFieldsAndUniversalTime()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, expectedYear);
    QFETCH(int, expectedMonth);
    QFETCH(double, expectedUt);
    QFETCH(double, expectedDayNumber);
    CalculationState state;
    RecordingView view(state);
    runCalculationCycle(state, at(2007, month, day, hour, 0, 0), view);
    const CalculationState& s = view.stateAtSky;
    QCOMPARE(int(s.intYear), expectedYear);
    QCOMPARE(int(s.intMonth), expectedMonth);
    QCOMPARE(int(s.intDay), day);
    QCOMPARE(int(s.intHour), hour);
    QCOMPARE(s.dblUT, expectedUt);
    QCOMPARE(s.dblLocalMeanTime, 135.0 / 15 + expectedUt);
    // The position the sky step was given is the one of that day number.
    const SunPosition p = CALAZEL(expectedDayNumber, expectedUt, 35.0, 135.0);
    QCOMPARE(view.skies.back().elevationDeg, p.elevationDeg);
    QCOMPARE(view.skies.back().azimuthDeg, p.azimuthDeg);
}

void TestCalculationCycle::markerBlinksOnDayTicksOnly()
{
    CalculationState state;
    RecordingView view(state);
    const ClockReading noon = at(2006, 6, 21, 12, 0, 0);
    const ClockReading night = at(2006, 6, 21, 23, 0, 0);
    runCalculationCycle(state, noon, view);   // first day tick: no marker
    runCalculationCycle(state, noon, view);   // second: marker
    runCalculationCycle(state, noon, view);   // third: none
    runCalculationCycle(state, night, view);  // night: phase kept
    runCalculationCycle(state, noon, view);   // continues: marker
    std::vector<bool> markers;
    for (const SkyStep& s : view.skies)
        markers.push_back(s.drawMarker);
    QCOMPARE(markers, (std::vector<bool>{false, true, false, false, true}));
    QVERIFY(!view.skies[3].sunUp);
}

void TestCalculationCycle::nightParksAtTheNextSunrise()
{
    CalculationState state;
    RecordingView view(state);
    const CycleOutcome out = runCalculationCycle(state, at(2006, 6, 21, 22, 0, 0), view);
    QVERIFY(!out.sunUp);
    QCOMPARE(state.dblRiseHour, 4.0);
    QCOMPARE(state.dblRiseMinute, 46.0);
    QCOMPARE(view.notices.back().kind, Notice::Kind::NextSunrise);
    QCOMPARE(view.elevationBox, std::string(".000"));
    // Day 173 at 04:46 JST, UT counted from the clock date's 0 h.
    const SunPosition rise = CALAZEL(173, 4.0 - 9 + 46.0 / 60, 35.0, 135.0);
    QCOMPARE(view.azimuthBox, *formatAzimuth(rise.azimuthDeg));
    QVERIFY(rise.azimuthDeg > 55 && rise.azimuthDeg < 65);  // north-east in June
    QCOMPARE(view.sent, std::vector<std::string>{"0," + view.azimuthBox + ",.000"});
    QCOMPARE(out.elevationDeg, 0.0);
}

void TestCalculationCycle::nightOnNewYearsEveUsesDay366()
{
    CalculationState state;
    RecordingView view(state);
    runCalculationCycle(state, at(2006, 12, 31, 20, 0, 0), view);
    QCOMPARE(state.dblRiseHour, 7.0);
    QCOMPARE(state.dblRiseMinute, 7.0);
    const SunPosition rise = CALAZEL(366, 7.0 - 9 + 7.0 / 60, 35.0, 135.0);
    QCOMPARE(view.azimuthBox, *formatAzimuth(rise.azimuthDeg));
    QVERIFY(view.azimuthBox != *formatAzimuth(CALAZEL(1, 7.0 - 9 + 7.0 / 60, 35.0, 135.0).azimuthDeg));
}

void TestCalculationCycle::unreadableObserverFailsThatTickOnly_data()
{
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<bool>("latitudeBad");
    QTest::addColumn<bool>("longitudeBad");
    QTest::newRow("empty latitude") << "" << "135" << true << false;
    QTest::newRow("letters") << "abc" << "135" << true << false;
    QTest::newRow("nan") << "nan" << "135" << true << false;
    QTest::newRow("inf longitude") << "35" << "inf" << false << true;
    QTest::newRow("1e999") << "1e999" << "135" << true << false;
    QTest::newRow("both") << "x" << "" << true << true;
}

void TestCalculationCycle::unreadableObserverFailsThatTickOnly()
{
    QFETCH(QString, latitude);
    QFETCH(QString, longitude);
    QFETCH(bool, latitudeBad);
    QFETCH(bool, longitudeBad);
    CalculationState state;
    RecordingView view(state);
    const ClockReading noon = at(2006, 6, 21, 12, 0, 0);
    runCalculationCycle(state, noon, view);
    QCOMPARE(view.sent.size(), std::size_t(1));
    const std::int16_t blink = state.intBlink;

    view.latitude = latitude.toStdString();
    view.longitude = longitude.toStdString();
    const CycleOutcome out = runCalculationCycle(state, noon, view);
    QVERIFY(!out.sent);
    QCOMPARE(view.sent.size(), std::size_t(1));
    QCOMPARE(view.problem.latitude, latitudeBad);
    QCOMPARE(view.problem.longitude, longitudeBad);
    QCOMPARE(view.elevationBox, std::string());
    QCOMPARE(view.azimuthBox, std::string());
    QCOMPARE(view.notices.back().kind, Notice::Kind::ObserverInvalid);
    QVERIFY(!view.skies.back().drawMarker);
    QCOMPARE(state.intBlink, blink);

    // A good text again: the next tick points and sends, and the mark clears.
    view.latitude = "３５．０";
    view.longitude = " 135 ";
    QVERIFY(runCalculationCycle(state, noon, view).sent);
    QVERIFY(!view.problem.any());
    QCOMPARE(view.sent.size(), std::size_t(2));
}

void TestCalculationCycle::editedObserverCountsFromTheNextTick()
{
    CalculationState state;
    RecordingView view(state);
    const ClockReading noon = at(2006, 6, 21, 12, 0, 0);
    runCalculationCycle(state, noon, view);
    const std::string tokyo = view.sent.back();
    view.latitude = "26.217";
    view.longitude = "127.7";
    runCalculationCycle(state, noon, view);
    QVERIFY(view.sent.back() != tokyo);
    QCOMPARE(state.dblLatDeg, 26.217);
    QCOMPARE(state.dblLonDeg, 127.7);
}

void TestCalculationCycle::noSunriseMeansNothingIsSent()
{
    // Polar night: the sun neither rises nor sets. The antenna is not sent a
    // parking position computed from nothing; the last sunrise found for a
    // sane position stays in the state but is not shown as this one's.
    CalculationState state;
    RecordingView view(state);
    runCalculationCycle(state, at(2006, 12, 21, 20, 0, 0), view);
    QCOMPARE(view.sent.size(), std::size_t(1));
    const double riseHour = state.dblRiseHour;
    const double riseMinute = state.dblRiseMinute;

    view.latitude = "70";
    const CycleOutcome out = runCalculationCycle(state, at(2006, 12, 21, 12, 0, 0), view);
    QVERIFY(!out.sunUp);
    QVERIFY(!out.sent);
    QCOMPARE(view.sent.size(), std::size_t(1));
    QCOMPARE(view.notices.back().kind, Notice::Kind::NextSunriseUnknown);
    QCOMPARE(view.elevationBox, std::string());
    QCOMPARE(view.azimuthBox, std::string());
    QCOMPARE(state.dblRiseHour, riseHour);
    QCOMPARE(state.dblRiseMinute, riseMinute);
}

void TestCalculationCycle::noSunsetStillPointsAtTheSun()
{
    // Midnight sun: no sunset to show, but the sun itself is well defined.
    CalculationState state;
    RecordingView view(state);
    view.latitude = "70";
    const CycleOutcome out = runCalculationCycle(state, at(2006, 6, 21, 12, 0, 0), view);
    QVERIFY(out.sunUp);
    QVERIFY(out.sent);
    QCOMPARE(view.notices.back().kind, Notice::Kind::SunsetUnknown);
    QCOMPARE(view.sent.size(), std::size_t(1));
}

QTEST_APPLESS_MAIN(TestCalculationCycle)
#include "tst_calculationcycle.moc"
