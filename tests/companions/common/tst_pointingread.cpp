// Reading the window's pointing messages and writing the reports it shows: the
// two ends of the wire that both companion programs share.

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/PointingRead.h"
#include "companions/common/PositionReport.h"
#include "link/ControllerReport.h"
#include "link/PointingMessage.h"

#include <QTest>

using namespace heliotrope::companions;

using heliotrope::link::pointingMessage;
using heliotrope::link::readControllerReport;
using heliotrope::link::ReportFields;

class TestPointingRead : public QObject {
    Q_OBJECT

private slots:
    void windowMessagesAreRead_data();
    void windowMessagesAreRead();
    void unsoundMessagesAreRefused_data();
    void unsoundMessagesAreRefused();
    void reportsReadBackInTheWindowAsSent_data();
    void reportsReadBackInTheWindowAsSent();
    void receivedBytesNeverReachTheTerminalRaw();
    void jstIsNineHoursAheadOfUtc();
};

void TestPointingRead::windowMessagesAreRead_data()
{
    QTest::addColumn<QString>("azimuthText");
    QTest::addColumn<QString>("elevationText");
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    // As the window's formats write them: leading zeros, the day's leading
    // blank, the night's missing whole part.
    QTest::newRow("day") << "108.46"
                         << " 78.43" << 108.46 << 78.43;
    QTest::newRow("night") << "065.20"
                           << ".000" << 65.2 << 0.0;
    QTest::newRow("low sun") << "005.50"
                             << " .50" << 5.5 << 0.5;
    QTest::newRow("north") << "360.00"
                           << " 1.00" << 360.0 << 1.0;
    QTest::newRow("nadir, the lowest a set-point goes") << "000.00"
                                                        << "-90.00" << 0.0 << -90.0;
}

void TestPointingRead::windowMessagesAreRead()
{
    QFETCH(QString, azimuthText);
    QFETCH(QString, elevationText);
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    const std::optional<QByteArray> message = pointingMessage(azimuthText, elevationText);
    QVERIFY(message);
    const PointingRead read = readPointingMessage(*message);
    QVERIFY2(read.setPoint, qPrintable(read.problem));
    QCOMPARE(read.setPoint->azimuth, azimuth);
    QCOMPARE(read.setPoint->elevation, elevation);
}

void TestPointingRead::unsoundMessagesAreRefused_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("two fields") << QByteArray("0,108.46");
    QTest::newRow("four fields") << QByteArray("0,108.46, 78.43,1");
    QTest::newRow("trailing comma") << QByteArray("0,108.46, 78.43,");
    QTest::newRow("our own report looped back") << QByteArray("1,108.46,78.43");
    QTest::newRow("letters") << QByteArray("0,abc, 78.43");
    QTest::newRow("empty azimuth") << QByteArray("0,, 78.43");
    QTest::newRow("not finite") << QByteArray("0,nan,inf");
    QTest::newRow("azimuth past 360") << QByteArray("0,360.01, 5.00");
    QTest::newRow("negative azimuth") << QByteArray("0,-1.00, 5.00");
    QTest::newRow("elevation past zenith") << QByteArray("0,108.46,90.5");
    QTest::newRow("field beyond the splitter's limit") << "0," + QByteArray(40000, '1') + ",5";
    QTest::newRow("decimal comma") << QByteArray("0,108,46, 78,43");
}

void TestPointingRead::unsoundMessagesAreRefused()
{
    QFETCH(QByteArray, datagram);
    const PointingRead read = readPointingMessage(datagram);
    QVERIFY(!read.setPoint);
    QVERIFY(!read.problem.isEmpty());
}

void TestPointingRead::reportsReadBackInTheWindowAsSent_data()
{
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<QString>("azimuthBox");
    QTest::addColumn<QString>("elevationBox");
    QTest::newRow("day") << 108.456 << 78.4249 << QStringLiteral("108.46") << QStringLiteral("78.42");
    // A -180..180 or overlap rotator's reading folds back into the sky's terms.
    QTest::newRow("west of south on a -180..180 rotator") << -60.0 << 10.0 << QStringLiteral("300.00") << QStringLiteral("10.00");
    QTest::newRow("in the overlap") << 420.0 << 0.0 << QStringLiteral("60.00") << QStringLiteral("0.00");
    QTest::newRow("rounds up to north") << 359.996 << 0.0 << QStringLiteral("0.00") << QStringLiteral("0.00");
    QTest::newRow("no negative zero") << 0.0 << -0.001 << QStringLiteral("0.00") << QStringLiteral("0.00");
}

void TestPointingRead::reportsReadBackInTheWindowAsSent()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(QString, azimuthBox);
    QFETCH(QString, elevationBox);
    const QByteArray report = positionReport(azimuth, elevation);
    // Read back the way the window reads it: nothing after the elevation.
    const std::optional<ReportFields> shown = readControllerReport(report);
    QVERIFY(shown);
    QCOMPARE(shown->azimuth, azimuthBox);
    QCOMPARE(shown->elevation, elevationBox);
    QVERIFY(!report.contains('\n') && !report.contains('\r'));
}

void TestPointingRead::receivedBytesNeverReachTheTerminalRaw()
{
    const QString shown = printableBytes(QByteArray("0,1\x1b[2J\r\n\xe6\x97\xa5\\", 13));
    QCOMPARE(shown, QStringLiteral("0,1\\x1b[2J\\x0d\\x0a\\xe6\\x97\\xa5\\x5c"));
    QCOMPARE(printableBytes(QByteArray(200, 'a'), 80), QString(80, QLatin1Char('a')) + QStringLiteral("..."));
}

void TestPointingRead::jstIsNineHoursAheadOfUtc()
{
    // 2006-06-21 03:00:00.250 UTC, the whole second, and half a second before
    // 1970 (rounded down).
    QCOMPARE(jstTextWithMilliseconds(1150858800250), QStringLiteral("2006-06-21 12:00:00.250"));
    QCOMPARE(jstTextWithMilliseconds(1150858800000), QStringLiteral("2006-06-21 12:00:00.000"));
    QCOMPARE(jstText(-500), QStringLiteral("1970-01-01 08:59:59"));
    // A second is shown until it is over, on both sides of 1970, and at the half.
    QCOMPARE(jstText(1150858800999), QStringLiteral("2006-06-21 12:00:00"));
    QCOMPARE(jstText(1150858800500), QStringLiteral("2006-06-21 12:00:00"));
    QCOMPARE(jstText(1150858801000), QStringLiteral("2006-06-21 12:00:01"));
    QCOMPARE(jstText(-1000), QStringLiteral("1970-01-01 08:59:59"));
    QCOMPARE(jstText(-1001), QStringLiteral("1970-01-01 08:59:58"));
    QCOMPARE(jstTextWithMilliseconds(-1), QStringLiteral("1970-01-01 08:59:59.999"));
    QCOMPARE(jstTextWithMilliseconds(1150858800999), QStringLiteral("2006-06-21 12:00:00.999"));
}

QTEST_GUILESS_MAIN(TestPointingRead)
#include "tst_pointingread.moc"
