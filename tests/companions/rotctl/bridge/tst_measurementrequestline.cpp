// A measurement asked of a running bridge: what the asker's command line read
// is what the bridge reads from the request line, through the socket's own
// encoding; what the request does not carry is named to the asker, and what
// the bridge does not take is refused, not dropped.

#include "companions/rotctl/RotctlCommandLine.h"
#include "companions/rotctl/bridge/MeasurementRequestLine.h"

#include <QDir>
#include <QTest>

using namespace heliotrope::rotctl;
using heliotrope::sky::Site;
using heliotrope::station::readRequest;
using heliotrope::station::RequestKind;
using heliotrope::station::requestLine;
using heliotrope::station::StationRequest;

class TestMeasurementRequestLine : public QObject {
    Q_OBJECT

private slots:
    void theBridgeReadsWhatTheAskerRead();
    void anOptionTheBridgeDoesNotTakeIsRefused();
};

void TestMeasurementRequestLine::theBridgeReadsWhatTheAskerRead()
{
    const auto asker = parseRotctlCommandLine({QStringLiteral("heliotrope-rotctl"), QStringLiteral("--sun-noise"), QStringLiteral("--site"),
                                               QStringLiteral("35,139"), QStringLiteral("--power"), QStringLiteral("command:echo -30 %"),
                                               QStringLiteral("--repeat"), QStringLiteral("3"), QStringLiteral("--csv=runs/y.csv"),
                                               QStringLiteral("--cold"), QStringLiteral("200,45"), QStringLiteral("--az-offset"),
                                               QStringLiteral("0.3"), QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:4533")});
    QVERIFY2(asker.options, qPrintable(asker.text));
    const AskOptions& asking = std::get<MeasurementMode>(*asker.options).asking;
    QCOMPARE(asking.optionsNotCarried, (QStringList{QStringLiteral("--az-offset 0.3"), QStringLiteral("--rotctld 127.0.0.1:4533")}));

    StationRequest sent;
    sent.kind = RequestKind::SunNoise;
    sent.arguments = asking.measurementWords;
    QByteArray line = requestLine(sent);
    line.chop(1);
    const auto received = readRequest(line);
    QVERIFY2(received.request, qPrintable(received.problem));

    // The bridge's own site holds, and the air of its height.
    QString problem;
    const auto read = readMeasurementRequest(*received.request, Site{35, 139, 1500}, &problem);
    QVERIFY2(read, qPrintable(problem));
    const RunOptions& bridge = read->run;
    QVERIFY(bridge.sunNoise && !bridge.calibration);
    QCOMPARE(bridge.sunNoise->repeats, 3);
    QCOMPARE(bridge.sunNoise->csvPath, QDir::current().absoluteFilePath(QStringLiteral("runs/y.csv")));
    QCOMPARE(bridge.measurement.power.command, QStringLiteral("echo -30 %"));
    QCOMPARE(bridge.sky.site->height, 1500.0);
    QVERIFY(bridge.sky.atmosphere.pressure < 900);
    QCOMPARE(read->siteGiven->height, 0.0);
    QVERIFY(read->given.contains(QStringLiteral("repeat")) && !read->given.contains(QStringLiteral("clock-offset")));
}

void TestMeasurementRequestLine::anOptionTheBridgeDoesNotTakeIsRefused()
{
    StationRequest request;
    request.kind = RequestKind::Calibrate;
    request.pattern = QStringLiteral("cross");
    request.arguments = {QStringLiteral("--beamwidth=2"), QStringLiteral("--power=rigctld"), QStringLiteral("--threshold=3")};
    QString problem;
    QVERIFY(!readMeasurementRequest(request, Site{35, 139, 0}, &problem));
    QVERIFY2(problem.contains(QStringLiteral("threshold")), qPrintable(problem));
    request.arguments.removeLast();
    QVERIFY2(readMeasurementRequest(request, std::nullopt, &problem) == std::nullopt && problem.contains(QStringLiteral("--site")),
             qPrintable(problem));
    QVERIFY2(readMeasurementRequest(request, Site{35, 139, 0}, &problem), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestMeasurementRequestLine)
#include "tst_measurementrequestline.moc"
