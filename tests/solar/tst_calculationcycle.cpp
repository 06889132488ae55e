#include "solar/CalculationCycle.h"
#include "solar/JstTime.h"
#include "solar/NumberFormat.h"
#include "solar/SunPosition.h"

#include <QTest>
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
    void sunExactlyOnTheHorizonIsNight();
    void februaryAndTheLeapDay_data();
    void februaryAndTheLeapDay();
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
    QTest::newRow("15 January 10:30:36") << 1 << 15 << 10 << 2006 << 13 << 1.51 << 15.0;
    QTest::newRow("1 March 03:30:36") << 3 << 1 << 3 << 2007 << 3 << -5.49 << 60.0;
    QTest::newRow("28 February 23:30:36") << 2 << 28 << 23 << 2006 << 14 << 14.51 << 59.0;
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
    runCalculationCycle(state, at(2007, month, day, hour, 30, 36), view);
    const CalculationState& s = view.stateAtSky;
    QCOMPARE(int(s.intYear), expectedYear);
    QCOMPARE(int(s.intMonth), expectedMonth);
    QCOMPARE(int(s.intDay), day);
    QCOMPARE(int(s.intHour), hour);
    QCOMPARE(s.dblUT, expectedUt);
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
    // The model's sun on day 173 at 04:46 JST (UT counted from the clock
    // date's 0 h), evaluated apart in Python: azimuth 60.1589, north-east.
    QCOMPARE(view.sent, std::vector<std::string>{"0,060.16,.000"});
    QCOMPARE(out.elevationDeg, 0.0);
}

void TestCalculationCycle::nightOnNewYearsEveUsesDay366()
{
    CalculationState state;
    RecordingView view(state);
    runCalculationCycle(state, at(2006, 12, 31, 20, 0, 0), view);
    QCOMPARE(state.dblRiseHour, 7.0);
    QCOMPARE(state.dblRiseMinute, 7.0);
    // Evaluated apart in Python at 07:07 JST: 116.9652 on day 366; day 1
    // would give 117.6852.
    QCOMPARE(view.azimuthBox, std::string("116.97"));
}

void TestCalculationCycle::sunExactlyOnTheHorizonIsNight()
{
    // At this latitude the sun's centre stands exactly on the horizon at
    // 04:50 JST: the elevation comes out 0.0, not merely near it (the formulas
    // evaluated independently in Python give 0.0 as well). Only strictly
    // above the horizon is day, so the antenna parks at the next sunrise.
    CalculationState state;
    RecordingView view(state);
    view.latitude = "28.680183506975425";
    view.longitude = "139.3";
    const CycleOutcome out = runCalculationCycle(state, at(2006, 6, 21, 4, 50, 0), view);
    QCOMPARE(view.skies.back().elevationDeg, 0.0);
    QVERIFY(!out.sunUp);
    QVERIFY(!view.skies.back().sunUp);
    QCOMPARE(view.notices.back().kind, Notice::Kind::NextSunrise);
    QCOMPARE(view.sent, std::vector<std::string>{"0,062.43,.000"});
    QCOMPARE(state.intBlink, std::int16_t(0));
}

// February and the days around it, from the instant on the system clock to
// the message: the clock date (leap years, 2100 without a 29 February), the
// month shift into 13 and 14, and day numbers 59, 60 and the parking day
// after them. Expected values from the formulas as they stand, evaluated
// independently in Python (datetime for the instants), at 35.64 N 139.3 E.
void TestCalculationCycle::februaryAndTheLeapDay_data()
{
    QTest::addColumn<qint64>("unixSeconds");
    QTest::addColumn<int>("year");   // as the solver sees it: less 1 in January and February
    QTest::addColumn<int>("month");  // 3..14
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("noticeHour");
    QTest::addColumn<double>("noticeMinute");
    // 2024-02-29 12:00 JST: day 60, by day; sunset 17:39.
    QTest::newRow("29 February 2024, noon") << qint64(1709175600) << 2023 << 14 << "0,181.69, 47.17" << 17.0 << 39.0;
    // 21:00: parked at the sunrise of day 61, 6:10.
    QTest::newRow("29 February 2024, night") << qint64(1709208000) << 2023 << 14 << "0,097.67,.000" << 6.0 << 10.0;
    // 2023-02-28 21:00: sunrise of day 60, 6:12.
    QTest::newRow("28 February 2023, night") << qint64(1677585600) << 2022 << 14 << "0,098.25,.000" << 6.0 << 12.0;
    // 2023-03-01 12:00: day 60 again, the leap day being ignored.
    QTest::newRow("1 March 2023, noon") << qint64(1677639600) << 2023 << 3 << "0,181.69, 47.17" << 17.0 << 39.0;
    // 2100-02-28 23:59:59 and one second later 2100-03-01: no 29 February.
    QTest::newRow("28 February 2100, last second") << qint64(4107509999) << 2099 << 14 << "0,098.25,.000" << 6.0 << 12.0;
    QTest::newRow("1 March 2100, noon") << qint64(4107553200) << 2100 << 3 << "0,181.69, 47.17" << 17.0 << 39.0;
    // 2000-02-29 06:00, before sunrise: the sunrise shown is the next
    // morning's (day 61).
    QTest::newRow("29 February 2000, dawn") << qint64(951771600) << 1999 << 14 << "0,097.67,.000" << 6.0 << 10.0;
}

void TestCalculationCycle::februaryAndTheLeapDay()
{
    QFETCH(qint64, unixSeconds);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(QString, message);
    QFETCH(double, noticeHour);
    QFETCH(double, noticeMinute);
    CalculationState state;
    RecordingView view(state);
    view.latitude = "35.64";
    view.longitude = "139.3";
    runCalculationCycle(state, jstFromUnixSeconds(unixSeconds), view);
    QCOMPARE(int(view.stateAtSky.intYear), year);
    QCOMPARE(int(view.stateAtSky.intMonth), month);
    QCOMPARE(view.sent, std::vector<std::string>{message.toStdString()});
    QCOMPARE(view.notices.back().hour, noticeHour);
    QCOMPARE(view.notices.back().minute, noticeMinute);
}

void TestCalculationCycle::unreadableObserverFailsThatTickOnly_data()
{
    QTest::addColumn<QString>("latitude");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<bool>("latitudeBad");
    QTest::addColumn<bool>("longitudeBad");
    QTest::newRow("empty latitude") << ""
                                    << "135" << true << false;
    QTest::newRow("letters") << "abc"
                             << "135" << true << false;
    QTest::newRow("nan") << "nan"
                         << "135" << true << false;
    QTest::newRow("inf longitude") << "35"
                                   << "inf" << false << true;
    QTest::newRow("1e999") << "1e999"
                           << "135" << true << false;
    QTest::newRow("both") << "x"
                          << "" << true << true;
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
