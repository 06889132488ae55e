#include "companions/sim/SimulatorOptions.h"

#include "companions/common/CompanionCommandLine.h"

using heliotrope::companions::allowedSenderOption;
using heliotrope::companions::CommandLine;
using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::listenAddressOption;
using heliotrope::companions::numberOption;
using heliotrope::companions::portOption;
using heliotrope::companions::senderAllowListOption;

namespace heliotrope::sim {

namespace {

// Slower than this no rotator turns usefully; faster than this no antenna can.
constexpr double kMinRate = 0.01;
constexpr double kMaxRate = 360.0;
constexpr double kMinReportMs = 20;
constexpr double kMaxReportMs = 60000;

}  // namespace

CommandLine<SimulatorOptions> parseSimulatorCommandLine(const QStringList& arguments)
{
    CompanionCommandLine commandLine(QStringLiteral(
        "ソフトウェアだけのアンテナコントローラ。heliotrope の指向データを UDP で受け、\n"
        "模擬アンテナを一定の速さで設定点へ回し、その位置を送信元へ報告します。\n"
        "An antenna controller that exists only in software: receives heliotrope's\n"
        "pointing messages over UDP, turns a simulated antenna towards each set-point\n"
        "at a finite rate and reports its position back to the sender."));
    QCommandLineParser& parser = commandLine.parser();
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("待ち受ける IP アドレス（既定 127.0.0.1）。\n"
                                                   "Address to listen on (default 127.0.0.1)."),
                                    QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("待ち受ける UDP ポート（既定 10006、0 は空きポート）。\n"
                                                 "UDP port to listen on (default 10006; 0: any free port, printed at start)."),
                                  QStringLiteral("port"), QStringLiteral("10006"));
    const QCommandLineOption azRate(QStringLiteral("az-rate"),
                                    QStringLiteral("方位角の旋回速度、度/秒（既定 6）。\n"
                                                   "Azimuth slew rate, degrees per second (default 6)."),
                                    QStringLiteral("deg/s"), QStringLiteral("6"));
    const QCommandLineOption elRate(QStringLiteral("el-rate"),
                                    QStringLiteral("仰角の旋回速度、度/秒（既定 6）。\n"
                                                   "Elevation slew rate, degrees per second (default 6)."),
                                    QStringLiteral("deg/s"), QStringLiteral("6"));
    const QCommandLineOption reportMs(QStringLiteral("report-ms"),
                                      QStringLiteral("位置を報告する間隔、ミリ秒（既定 500）。\n"
                                                     "Interval between position reports, ms (default 500)."),
                                      QStringLiteral("ms"), QStringLiteral("500"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("設定点が変わるたびの表示をしない。\n"
                                                  "Do not print a line per change of set-point."));
    const QCommandLineOption allow = allowedSenderOption();
    parser.addOptions({listen, port, allow, azRate, elRate, reportMs, quiet});

    if (const std::optional<CommandLine<SimulatorOptions>> end = commandLine.parse<SimulatorOptions>(arguments))
        return *end;

    SimulatorOptions options;
    const auto take = [&commandLine](const auto& read, auto& into) { commandLine.take(read, into); };
    take(listenAddressOption(listen.names().first(), parser.value(listen)), options.listenAddress);
    take(portOption(port.names().first(), parser.value(port), true), options.port);
    take(senderAllowListOption(allow.names().first(), parser.values(allow), options.listenAddress), options.allowedSenders);
    take(numberOption(azRate.names().first(), parser.value(azRate), kMinRate, kMaxRate), options.azimuthRate);
    take(numberOption(elRate.names().first(), parser.value(elRate), kMinRate, kMaxRate), options.elevationRate);
    double reportInterval = options.reportIntervalMs;
    take(numberOption(reportMs.names().first(), parser.value(reportMs), kMinReportMs, kMaxReportMs), reportInterval);
    options.reportIntervalMs = static_cast<int>(reportInterval);
    options.quiet = parser.isSet(quiet);

    return commandLine.result(options);
}

}  // namespace heliotrope::sim
