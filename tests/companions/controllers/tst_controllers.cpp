// The serial controllers without the line: what each says back to the bytes
// Hamlib's backends write, how the rotator behind them stops, and what the
// controller keeps of the commands it received.

#include "companions/controllers/CommandRecord.h"
#include "companions/controllers/ControllerDialogue.h"
#include "companions/controllers/DeadBandRotator.h"

#include <QTemporaryDir>
#include <QTest>

using namespace heliotrope::controllers;

class TestControllers : public QObject {
    Q_OBJECT

private slots:
    void gs232Answers_data();
    void gs232Answers();
    void easyCommAnswers_data();
    void easyCommAnswers();
    void rot2ProgAnswers_data();
    void rot2ProgAnswers();
    void rotatorStopsShortOnTheSideItCameFrom();
    void setPointsAreRoundedAndHeldToTheLimits();
    void recordCountsWhatTheDriverSent();
};

namespace {

// The controller standing still at `standing`, fed `pieces` one read at a time.
QByteArray answersTo(ControllerProtocol protocol, ControllerAngles standing, const QByteArrayList& pieces)
{
    ControllerDialogue dialogue(shippedModel(protocol), {}, standing, 0);
    QByteArray out;
    for (const QByteArray& piece : pieces) {
        for (const Exchange& exchange : dialogue.receive(piece, 0))
            out += exchange.answer;
    }
    return out;
}

void addColumns()
{
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("elevation");
    QTest::addColumn<QByteArrayList>("in");
    QTest::addColumn<QByteArray>("out");
}

// A Rot2Prog frame: 'W', ten bytes, K, space.
QByteArray rot2Frame(const QByteArray& middle, char command)
{
    return 'W' + middle + command + ' ';
}

}  // namespace

void TestControllers::gs232Answers_data()
{
    QTest::addColumn<bool>("modelB");
    addColumns();
    QTest::newRow("B reads both, whole degrees") << true << 166.6 << 31.6 << QByteArrayList{"C2\r"} << QByteArray("AZ=167  EL=032\r\n");
    QTest::newRow("B reads azimuth alone") << true << 166.6 << 31.6 << QByteArrayList{"C\r"} << QByteArray("AZ=167\r\n");
    QTest::newRow("readings rounded at the half, away from zero") << true << 166.5 << 31.49 << QByteArrayList{"C2\r"} << QByteArray("AZ=167  EL=031\r\n");
    QTest::newRow("A writes +0aaa+0eee") << false << 5.2 << 0.0 << QByteArrayList{"C2\r"} << QByteArray("+0005+0000\r\n");
    QTest::newRow("overlap beyond north") << true << 400.0 << 90.0 << QByteArrayList{"c2\n"} << QByteArray("AZ=400  EL=090\r\n");
    QTest::newRow("query in pieces") << true << 10.0 << 20.0 << QByteArrayList{"C", "2", "\r"} << QByteArray("AZ=010  EL=020\r\n");
    QTest::newRow("set-point and the extra CR unanswered") << true << 0.0 << 0.0 << QByteArrayList{"W167 032\r", "\r"} << QByteArray();
    QTest::newRow("speed and stop unanswered") << true << 0.0 << 0.0 << QByteArrayList{"X3\rS\r"} << QByteArray();
    QTest::newRow("unknown command refused") << true << 0.0 << 0.0 << QByteArrayList{"Q\r"} << QByteArray("?>\r\n");
    QTest::newRow("azimuth beyond 450 refused") << true << 0.0 << 0.0 << QByteArrayList{"W451 010\r"} << QByteArray("?>\r\n");
    QTest::newRow("elevation beyond 180 refused") << false << 0.0 << 0.0 << QByteArrayList{"W090 181\r"} << QByteArray("?>\r\n");
}

void TestControllers::gs232Answers()
{
    QFETCH(bool, modelB);
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(QByteArrayList, in);
    QFETCH(QByteArray, out);
    QCOMPARE(answersTo(modelB ? ControllerProtocol::Gs232B : ControllerProtocol::Gs232A, {azimuth, elevation}, in), out);
}

void TestControllers::easyCommAnswers_data()
{
    addColumns();
    QTest::newRow("both readings on one line, tenths") << 166.34 << 31.06 << QByteArrayList{"AZ EL \n"} << QByteArray("AZ166.3 EL31.1\n");
    QTest::newRow("CR LF answered once") << 0.0 << 90.0 << QByteArrayList{"AZ EL\r\n"} << QByteArray("AZ0.0 EL90.0\n");
    QTest::newRow("one reading asked") << 12.0 << 3.0 << QByteArrayList{"EL\n"} << QByteArray("EL3.0\n");
    QTest::newRow("query in pieces") << 1.0 << 2.0 << QByteArrayList{"AZ", " EL", " \n"} << QByteArray("AZ1.0 EL2.0\n");
    QTest::newRow("set-point unanswered") << 0.0 << 0.0 << QByteArrayList{"AZ166.7 EL31.5\n"} << QByteArray();
    QTest::newRow("stop and noise unanswered") << 0.0 << 0.0 << QByteArrayList{"SA SE \nAZnan EL1e999\n#!\n"} << QByteArray();
}

void TestControllers::easyCommAnswers()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(QByteArrayList, in);
    QFETCH(QByteArray, out);
    QCOMPARE(answersTo(ControllerProtocol::EasyComm2, {azimuth, elevation}, in), out);
}

void TestControllers::rot2ProgAnswers_data()
{
    addColumns();
    const QByteArray status = rot2Frame(QByteArray(10, '\0'), 0x1F);
    // 166.0° and 31.0° are 526.0 and 391.0 from −360, two pulses a degree.
    const QByteArray reading("W\x05\x02\x06\x00\x02\x03\x09\x01\x00\x02 ", 12);
    QTest::newRow("status") << 166.0 << 31.0 << QByteArrayList{status} << reading;
    QTest::newRow("stop answers with the readings") << 166.0 << 31.0 << QByteArrayList{rot2Frame(QByteArray(10, '\0'), 0x0F)} << reading;
    QTest::newRow("half degree in the tenths") << 0.5 << 90.0 << QByteArrayList{status} << QByteArray("W\x03\x06\x00\x05\x02\x04\x05\x00\x00\x02 ", 12);
    QTest::newRow("status in pieces after noise") << 166.0 << 31.0 << QByteArrayList{"\x01\x02W", status.mid(1, 6), status.mid(7)} << reading;
    QTest::newRow("set-point unanswered") << 0.0 << 0.0 << QByteArrayList{rot2Frame("1053\x02"
                                                                                    "0783\x02",
                                                                                    0x2F)}
                                          << QByteArray();
    QTest::newRow("unknown command byte unanswered") << 0.0 << 0.0 << QByteArrayList{rot2Frame(QByteArray(10, '\0'), 0x3F)} << QByteArray();
}

void TestControllers::rot2ProgAnswers()
{
    QFETCH(double, azimuth);
    QFETCH(double, elevation);
    QFETCH(QByteArrayList, in);
    QFETCH(QByteArray, out);
    QCOMPARE(answersTo(ControllerProtocol::Rot2Prog, {azimuth, elevation}, in), out);
}

void TestControllers::rotatorStopsShortOnTheSideItCameFrom()
{
    DeadBandRotator rising(10, 5, 0.4, {0, 0}, 0);
    rising.setTarget({167, 32}, 0);
    QCOMPARE(rising.position(1000).azimuth, 10.0);
    QCOMPARE(rising.position(1000).elevation, 5.0);
    QVERIFY(rising.turning(1000));
    const ControllerAngles stopped = rising.position(60000);
    QCOMPARE(stopped.azimuth, 166.6);
    QCOMPARE(stopped.elevation, 31.6);
    QVERIFY(!rising.turning(60000));

    DeadBandRotator falling(10, 5, 0.4, {200, 50}, 0);
    falling.setTarget({167, 32}, 0);
    QCOMPARE(falling.position(60000).azimuth, 167.4);
    QCOMPARE(falling.position(60000).elevation, 32.4);

    // A target within the dead band of where it stands does not start it.
    falling.setTarget({167.1, 32.7}, 60000);
    QVERIFY(!falling.turning(60000));
    QCOMPARE(falling.position(120000).azimuth, 167.4);
    // Nor does a stop move it back.
    rising.setTarget({0, 0}, 60000);
    rising.stop(61000);
    QCOMPARE(rising.position(70000).azimuth, 156.6);
}

void TestControllers::setPointsAreRoundedAndHeldToTheLimits()
{
    ControllerDialogue easyComm(shippedModel(ControllerProtocol::EasyComm2), {}, {0, 0}, 0);
    Exchange exchange = easyComm.receive("AZ166.74 EL31.46\n", 0).at(0);
    QCOMPARE(exchange.target.azimuth, 166.7);
    QCOMPARE(exchange.target.elevation, 31.5);
    exchange = easyComm.receive("EL20\n", 0).at(0);  // the azimuth keeps its target
    QCOMPARE(exchange.target.azimuth, 166.7);
    exchange = easyComm.receive("AZ12.3\n", 0).at(0);  // nor the elevation its own
    QCOMPARE(exchange.target.azimuth, 12.3);
    QCOMPARE(exchange.target.elevation, 20.0);
    exchange = easyComm.receive("AZ361 EL20\n", 0).at(0);
    QVERIFY(!exchange.withinLimits);
    QVERIFY(exchange.refused);
    QCOMPARE(exchange.target.azimuth, 12.3);

    // A GS-232 reads digits up to the space: short fields are whole degrees too.
    ControllerDialogue gs232(shippedModel(ControllerProtocol::Gs232B), {}, {0, 0}, 0);
    exchange = gs232.receive("W5 17\r", 0).at(0);
    QCOMPARE(exchange.target.azimuth, 5.0);
    QCOMPARE(exchange.target.elevation, 17.0);
    exchange = gs232.receive("W090 5\r", 0).at(0);
    QCOMPARE(exchange.target.azimuth, 90.0);
    QCOMPARE(exchange.target.elevation, 5.0);

    // A Rot2Prog drives to its limit: 95° of elevation is beyond its 90°.
    ControllerDialogue rot2Prog(shippedModel(ControllerProtocol::Rot2Prog), {}, {0, 0}, 0);
    exchange = rot2Prog.receive(rot2Frame("0720\x02"
                                          "0910\x02",
                                          0x2F),
                                0)
                   .at(0);
    QCOMPARE(exchange.commanded.elevation, 95.0);
    QVERIFY(!exchange.withinLimits);
    QVERIFY(!exchange.refused);
    QCOMPARE(exchange.target.elevation, 90.0);
}

void TestControllers::recordCountsWhatTheDriverSent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("commands.csv"));
    CommandRecord record;
    QString problem;
    QVERIFY(record.open(path, &problem));
    ControllerDialogue gs232(shippedModel(ControllerProtocol::Gs232B), {}, {0, 0}, 0);
    for (const Exchange& exchange : gs232.receive("W167 032\rC2\rW167 032\rW500 010\rW167 032\r", 0))
        record.note(exchange, 1000);
    const CommandCounts& counts = record.counts();
    QCOMPARE(counts.setPoints, 4);
    QCOMPARE(counts.queries, 1);
    QCOMPARE(counts.repeatedSetPoints, 1);  // the third follows the refused one
    QCOMPARE(counts.outsideLimits, 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = file.readAll().trimmed().split('\n');
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.at(3), QByteArray("1000,W500 010,500.00,10.00,no"));
}

QTEST_GUILESS_MAIN(TestControllers)
#include "tst_controllers.moc"
