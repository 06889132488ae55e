// rotctld's answers as different Hamlib versions write them, read as numbers;
// and what is not an answer recognised as such, so that the conversation is
// started again instead of answers being paired with the wrong commands.

#include "companions/hamlib/RotctldReply.h"

#include <QTest>

using namespace heliotrope::hamlib;
using namespace heliotrope::rotator;

class TestRotctldReply : public QObject {
    Q_OBJECT

private slots:
    void positionsInEitherPrecision_data();
    void positionsInEitherPrecision();
    void limitsFromEitherProtocol_data();
    void limitsFromEitherProtocol();
    void errorsAreReturnCodes_data();
    void errorsAreReturnCodes();
    void whatIsNotAnAnswerIsUnreadable_data();
    void whatIsNotAnAnswerIsUnreadable();
};

namespace {

using Status = RotctldReplyReader::Status;

// Feeds lines until the reader is done or gives up; the status it ended with.
Status feed(RotctldReplyReader& reader, const QByteArray& answer)
{
    Status status = Status::NeedMore;
    for (const QByteArray& line : answer.split('\n')) {
        if (line.isEmpty() && status != Status::NeedMore)
            break;
        status = reader.takeLine(line);
        if (status != Status::NeedMore)
            break;
    }
    return status;
}

}  // namespace

void TestRotctldReply::positionsInEitherPrecision_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::newRow("Hamlib 4, two decimals") << QByteArray("108.46\n78.43\n") << 108.46 << 78.43;
    QTest::newRow("Hamlib 3, six decimals") << QByteArray("108.460000\n78.430000\n") << 108.46 << 78.43;
    QTest::newRow("carriage returns") << QByteArray("-60.00\r\n0.00\r\n") << -60.0 << 0.0;
    QTest::newRow("blanks") << QByteArray(" 420.5 \n 1e1\n") << 420.5 << 10.0;
}

void TestRotctldReply::positionsInEitherPrecision()
{
    QFETCH(QByteArray, answer);
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    RotctldReplyReader reader(RotctldCommand::GetPosition);
    QCOMPARE(feed(reader, answer), Status::Done);
    QVERIFY(reader.position());
    QCOMPARE(reader.position()->azimuth, azimuth);
    QCOMPARE(reader.position()->elevation, elevation);
}

void TestRotctldReply::limitsFromEitherProtocol_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("haveLimits");
    QTest::addColumn<double>("maxAzimuth");
    QTest::newRow("protocol 1 (Hamlib 4)")
        << QByteArray("1\n1\nmin_az=-180.000000\nmax_az=450.000000\nmin_el=0.000000\nmax_el=90.000000\n"
                      "south_zero=0\nrot_type=AzEl\ndone\n")
        << true << 450.0;
    QTest::newRow("protocol 0 (Hamlib 3)") << QByteArray("0\n601\n0.000000\n360.000000\n0.000000\n180.000000\n") << true << 360.0;
    QTest::newRow("protocol 1 without limits") << QByteArray("1\n1\nrot_type=AzEl\ndone\n") << false << 0.0;
    QTest::newRow("limits that exclude everything") << QByteArray("0\n1\n10\n10\n0\n90\n") << false << 0.0;
    // A rotator that turns in azimuth only (a G-450, a ROT2 in AZ mode)
    // reports its elevation as 0 to 0: limits all the same.
    QTest::newRow("azimuth only") << QByteArray("0\n1\n0\n450\n0\n0\n") << true << 450.0;
}

void TestRotctldReply::limitsFromEitherProtocol()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, haveLimits);
    QFETCH(double, maxAzimuth);
    RotctldReplyReader reader(RotctldCommand::DumpState);
    QCOMPARE(feed(reader, answer), Status::Done);
    QCOMPARE(reader.returnCode(), 0);
    QCOMPARE(reader.limits().has_value(), haveLimits);
    if (haveLimits)
        QCOMPARE(reader.limits()->maxAzimuth, maxAzimuth);
}

void TestRotctldReply::errorsAreReturnCodes_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("code");
    QTest::newRow("P accepted") << int(RotctldCommand::SetPosition) << QByteArray("RPRT 0\n") << 0;
    QTest::newRow("P out of range") << int(RotctldCommand::SetPosition) << QByteArray("RPRT -1\n") << -1;
    QTest::newRow("p timed out") << int(RotctldCommand::GetPosition) << QByteArray("RPRT -5\r\n") << -5;
    QTest::newRow("dump_state refused") << int(RotctldCommand::DumpState) << QByteArray("RPRT -4\n") << -4;
}

void TestRotctldReply::errorsAreReturnCodes()
{
    QFETCH(int, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, code);
    RotctldReplyReader reader(static_cast<RotctldCommand>(command));
    QCOMPARE(feed(reader, answer), Status::Done);
    QCOMPARE(reader.returnCode(), code);
    QVERIFY(!reader.position());
    QVERIFY(!reader.limits());
    QVERIFY(!hamlibError(code).japanese.isEmpty() && !hamlibError(code).english.isEmpty());
    // A protocol error names a wrong model first: a GS-232B driven as a GS-232A answers so.
    QVERIFY(hamlibError(-8).actionEnglish.startsWith(QStringLiteral("Check rotctld's -m")) && hamlibError(-8).actionJapanese.contains(QStringLiteral("-m 603")));
}

void TestRotctldReply::whatIsNotAnAnswerIsUnreadable_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("P answered with a position") << int(RotctldCommand::SetPosition) << QByteArray("10.00\n");
    QTest::newRow("p answered with RPRT 0") << int(RotctldCommand::GetPosition) << QByteArray("RPRT 0\n");
    QTest::newRow("p answered with text") << int(RotctldCommand::GetPosition) << QByteArray("Azimuth: 10.00\n");
    QTest::newRow("p with a second line of text") << int(RotctldCommand::GetPosition) << QByteArray("10.00\ndone\n");
    QTest::newRow("capability dump") << int(RotctldCommand::DumpState) << QByteArray("dump_caps:,Caps dump for model:\t1\n");
    QTest::newRow("dump_state that never ends")
        << int(RotctldCommand::DumpState) << QByteArray("1\n1\n") + QByteArray("x=1\n").repeated(100);
}

void TestRotctldReply::whatIsNotAnAnswerIsUnreadable()
{
    QFETCH(int, command);
    QFETCH(QByteArray, answer);
    RotctldReplyReader reader(static_cast<RotctldCommand>(command));
    QCOMPARE(feed(reader, answer), Status::Unreadable);
}

QTEST_GUILESS_MAIN(TestRotctldReply)
#include "tst_rotctldreply.moc"
