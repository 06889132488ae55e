#include "solar/JstTime.h"
#include "solar/SolarConstants.h"
#include "solar/SunPosition.h"

#include <QTest>
#include <cmath>

using namespace solar;

namespace {

// Rounds to `decimals` places the way the reference table was printed.
double rounded(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

}  // namespace

class TestSunPosition : public QObject {
    Q_OBJECT
private slots:
    void workedTable_data();
    void workedTable();
    void dayNumber_data();
    void dayNumber();
    void dayAngleRunsPastOneTurn();
    void azimuthQuadrants_data();
    void azimuthQuadrants();
    void everyObserverGivesAFinitePosition();
    void sunInTheZenith();
    void jstIgnoresTheMachineZone_data();
    void jstIgnoresTheMachineZone();
};

void TestSunPosition::workedTable_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<double>("ut");
    QTest::addColumn<double>("dayNumber");
    QTest::addColumn<double>("eqTime");
    QTest::addColumn<double>("declination");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<double>("azimuth");
    // Clock JST at 35.0 N 135.0 E; UT = clock hour - 9.
    QTest::newRow("21 June 12:00") << 6 << 21 << 3.0 << 172.0 << -0.034486 << 23.43601 << 78.42726 << 177.63352;
    QTest::newRow("5 August 09:30") << 8 << 5 << 0.5 << 217.0 << -0.097049 << 16.08184 << 50.43996 << 108.45981;
    QTest::newRow("22 December 15:00") << 12 << 22 << 6.0 << 356.0 << -0.017615 << -23.30133 << 17.91130
                                       << 222.79343;
    QTest::newRow("21 March 06:00") << 3 << 21 << -3.0 << 80.0 << -0.120046 << 0.76725 << -1.03465 << 88.33845;
}

void TestSunPosition::workedTable()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(double, ut);
    QFETCH(double, dayNumber);
    QFETCH(double, eqTime);
    QFETCH(double, declination);
    QFETCH(double, elevation);
    QFETCH(double, azimuth);

    const double n = CALDAY(static_cast<std::int16_t>(month), static_cast<std::int16_t>(day));
    QCOMPARE(n, dayNumber);
    const SunPosition p = CALAZEL(n, ut, 35.0, 135.0);
    // Each figure to the decimals of the table. The tolerance is one unit of
    // the last printed digit: the table's 5 August elevation, 50.43996, is
    // 50.4399548 computed in double precision, which prints as 50.43995.
    const auto check = [](const char* what, double got, double expected, int decimals) {
        const double tolerance = std::pow(10.0, -decimals) + 1e-12;
        QVERIFY2(std::fabs(got - expected) <= tolerance,
                 qPrintable(QStringLiteral("%1: expected %2, got %3, error %4")
                                .arg(QLatin1String(what))
                                .arg(expected, 0, 'f', decimals + 2)
                                .arg(got, 0, 'f', decimals + 3)
                                .arg(got - expected, 0, 'g', 3)));
    };
    check("equation of time", p.equationOfTimeHours, eqTime, 6);
    check("declination", p.declinationRad * 180 / kPi, declination, 5);
    check("elevation", p.elevationDeg, elevation, 5);
    check("azimuth", p.azimuthDeg, azimuth, 5);
    QVERIFY(p.azimuthDefined);
    // The displayed rounding of the two azimuths the messages quote.
    if (dayNumber == 217)
        QCOMPARE(rounded(p.azimuthDeg, 2), 108.46);
    if (dayNumber == 172)
        QCOMPARE(rounded(p.elevationDeg, 2), 78.43);
}

void TestSunPosition::dayNumber_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<double>("expected");
    QTest::newRow("1 January") << 1 << 1 << 1.0;
    QTest::newRow("31 January") << 1 << 31 << 31.0;
    QTest::newRow("1 February") << 2 << 1 << 32.0;
    QTest::newRow("28 February") << 2 << 28 << 59.0;
    QTest::newRow("29 February") << 2 << 29 << 60.0;
    QTest::newRow("1 March") << 3 << 1 << 60.0;
    QTest::newRow("31 March") << 3 << 31 << 90.0;
    QTest::newRow("1 April") << 4 << 1 << 91.0;
    QTest::newRow("31 August") << 8 << 31 << 243.0;
    QTest::newRow("1 September") << 9 << 1 << 244.0;
    QTest::newRow("30 September") << 9 << 30 << 273.0;
    QTest::newRow("31 December") << 12 << 31 << 365.0;
}

void TestSunPosition::dayNumber()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(double, expected);
    QCOMPARE(CALDAY(static_cast<std::int16_t>(month), static_cast<std::int16_t>(day)), expected);
}

void TestSunPosition::dayAngleRunsPastOneTurn()
{
    // Day 360 is one full turn of the day angle, so the series repeats day 0.
    const SunSeries full = sunSeries(360);
    const SunSeries zero = sunSeries(0);
    QVERIFY(std::fabs(full.declinationRad - zero.declinationRad) < 1e-12);
    QVERIFY(std::fabs(full.equationOfTimeHours - zero.equationOfTimeHours) < 1e-12);
    // And day 365 is not reduced: it equals day 5 of the series.
    QVERIFY(std::fabs(sunSeries(365).declinationRad - sunSeries(5).declinationRad) < 1e-12);
    QVERIFY(std::fabs(365 * kTwoPi / 360 - 6.3705) < 1e-4);
}

void TestSunPosition::azimuthQuadrants_data()
{
    QTest::addColumn<double>("s");
    QTest::addColumn<double>("c");
    QTest::addColumn<double>("expected");
    QTest::newRow("due south") << 0.0 << 1.0 << 180.0;
    QTest::newRow("due east") << -1.0 << 0.0 << 90.0;
    QTest::newRow("due west") << 1.0 << 0.0 << 270.0;
    QTest::newRow("due north stays 360") << 0.0 << -1.0 << 360.0;
    QTest::newRow("overshoot past 1, c positive") << 1.0000000001 << 0.3 << 270.0;
    QTest::newRow("overshoot past 1, c negative") << 1.0000000001 << -0.3 << 270.0;
    QTest::newRow("overshoot past -1, c positive") << -1.0000000001 << 0.3 << 90.0;
    QTest::newRow("overshoot past -1, c negative") << -1.0000000001 << -0.3 << 90.0;
    QTest::newRow("south-east") << -std::sqrt(0.5) << std::sqrt(0.5) << 135.0;
    QTest::newRow("north-west") << std::sqrt(0.5) << -std::sqrt(0.5) << 315.0;
}

void TestSunPosition::azimuthQuadrants()
{
    QFETCH(double, s);
    QFETCH(double, c);
    QFETCH(double, expected);
    const double got = azimuthFromSouthBased(s, c);
    QVERIFY2(std::fabs(got - expected) < 1e-9, qPrintable(QStringLiteral("expected %1, got %2").arg(expected).arg(got, 0, 'g', 17)));
}

void TestSunPosition::everyObserverGivesAFinitePosition()
{
    // Typed positions go through unchanged, poles and equator included; the
    // formulas must still give a finite elevation and an azimuth in 0..360.
    const double latitudes[] = {-90, -66.5, -23.44, 0, 0.5, 23.44, 23.4360, 45, 66.5, 89.999, 90, 135, 1e6};
    const double longitudes[] = {-180, -70, 0, 127.7, 139.3, 180, 360, 1e6};
    int undefined = 0;
    for (double lat : latitudes) {
        for (double lon : longitudes) {
            for (double n = 0; n <= 366; n += 7.5) {
                for (double ut = -9; ut <= 15; ut += 0.25) {
                    const SunPosition p = CALAZEL(n, ut, lat, lon);
                    QVERIFY2(std::isfinite(p.elevationDeg) && std::isfinite(p.azimuthDeg),
                             qPrintable(QStringLiteral("lat %1 lon %2 N %3 UT %4").arg(lat).arg(lon).arg(n).arg(ut)));
                    QVERIFY(p.elevationDeg >= -90 && p.elevationDeg <= 90);
                    QVERIFY(p.azimuthDeg >= 0 && p.azimuthDeg <= 360);
                    if (!p.azimuthDefined)
                        ++undefined;
                }
            }
        }
    }
    Q_UNUSED(undefined);
}

void TestSunPosition::sunInTheZenith()
{
    // Day 16 at 12.156653832956941 h UT the sun stands in the zenith of
    // -20.860929041739471, 0: evaluated in double precision by the formulas as
    // they stand (transcribed independently, in Python), the cosine of the
    // zenith distance comes out 1.0000000000000002, a hair past 1.
    const SunPosition p = CALAZEL(16, 12.156653832956941, -20.860929041739471, 0);
    QCOMPARE(p.elevationDeg, 90.0);
    QCOMPARE(p.zenithDistanceDeg, 0.0);
    QVERIFY(!p.azimuthDefined);
    QCOMPARE(p.azimuthDeg, 180.0);
}

void TestSunPosition::jstIgnoresTheMachineZone_data()
{
    QTest::addColumn<qint64>("unixSeconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("epoch is 09:00 JST") << qint64(0) << QStringLiteral("1970-01-01 09:00:00");
    QTest::newRow("21 June 2006 12:00 JST") << qint64(1150858800) << QStringLiteral("2006-06-21 12:00:00");
    QTest::newRow("UTC evening is the next JST day") << qint64(1798761599) << QStringLiteral("2027-01-01 08:59:59");
    QTest::newRow("leap day") << qint64(1709218800) << QStringLiteral("2024-03-01 00:00:00");
    // February across the leap-year rules; the instants from Python's datetime.
    QTest::newRow("29 February 2024") << qint64(1709175600) << QStringLiteral("2024-02-29 12:00:00");
    QTest::newRow("28 February 2023, last second") << qint64(1677596399) << QStringLiteral("2023-02-28 23:59:59");
    QTest::newRow("1 March 2023") << qint64(1677596400) << QStringLiteral("2023-03-01 00:00:00");
    QTest::newRow("29 February 2000, a century that leaps") << qint64(951750000) << QStringLiteral("2000-02-29 00:00:00");
    QTest::newRow("28 February 2100, last second") << qint64(4107509999) << QStringLiteral("2100-02-28 23:59:59");
    QTest::newRow("2100 has no 29 February") << qint64(4107510000) << QStringLiteral("2100-03-01 00:00:00");
    QTest::newRow("before the epoch") << qint64(-32400 - 1) << QStringLiteral("1969-12-31 23:59:59");
}

void TestSunPosition::jstIgnoresTheMachineZone()
{
    QFETCH(qint64, unixSeconds);
    QFETCH(QString, expected);
    const ClockReading r = jstFromUnixSeconds(unixSeconds);
    const QString got = QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day, r.hour, r.minute, r.second);
    QCOMPARE(got, expected);
}

QTEST_APPLESS_MAIN(TestSunPosition)
#include "tst_sunposition.moc"
