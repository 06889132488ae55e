#include "companions/rotctl/asking/StationAsking.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/SignalNotifier.h"
#include "companions/rotctl/bridge/DeskMessages.h"
#include "companions/rotctl/bridge/ProgressLine.h"
#include "companions/station/StationClient.h"
#include "companions/station/StationServer.h"

#include <csignal>

using heliotrope::companions::printLine;
using heliotrope::companions::SignalNotifier;
using heliotrope::station::RequestKind;
using heliotrope::station::StationClient;
using heliotrope::station::StationRequest;
using heliotrope::station::StationServer;

namespace heliotrope::rotctl {

QString noBridgeText()
{
    return QStringLiteral("動いている heliotrope-rotctl（ブリッジ）がありません。先にブリッジを起動してください"
                          "（systemctl --user start heliotrope-rotctl）。\n"
                          "No heliotrope-rotctl bridge is running: start it first (systemctl --user start heliotrope-rotctl).");
}

bool bridgeAnswers()
{
    QString problem;
    const QString path = StationServer::defaultSocketPath(&problem);
    if (path.isEmpty())
        return false;
    StationClient client(path);
    return client.connectToBridge();
}

QString systemTemperatureNeedsTheTerminalText()
{
    return QStringLiteral("ブリッジが動いています。ホット・コールド較正は、吸収体の手順に答える端末のプロセスが、自分のブリッジとして"
                          "ローテーターを動かして行います。ブリッジを止めて（systemctl --user stop heliotrope-rotctl）ここで実行し、"
                          "終わったらブリッジを起動し直してください。何も動かしていません。\n"
                          "A bridge is running. A hot/cold calibration is made by the process at the terminal that answers its "
                          "absorber's steps, as a bridge of its own: stop the bridge (systemctl --user stop heliotrope-rotctl), "
                          "run it here, then start the bridge again. Nothing was moved.");
}

std::optional<int> askRunningBridge(const AskOptions& options)
{
    QString problem;
    const QString path = StationServer::defaultSocketPath(&problem);
    if (path.isEmpty())
        return std::nullopt;
    StationClient client(path);
    if (!client.connectToBridge())
        return std::nullopt;

    StationRequest request;
    switch (options.ask) {
    case BridgeAsk::Stow:
        request.kind = RequestKind::Stow;
        if (options.stowAt) {
            request.azimuth = options.stowAt->azimuth;
            request.elevation = options.stowAt->elevation;
        }
        break;
    case BridgeAsk::StopRotator:
        request.kind = RequestKind::Stop;
        break;
    case BridgeAsk::Resume:
        request.kind = RequestKind::Resume;
        break;
    case BridgeAsk::Status:
        request.kind = RequestKind::Status;
        break;
    case BridgeAsk::Measure:
        if (!options.pattern.isEmpty()) {
            request.kind = RequestKind::Calibrate;
            request.pattern = options.pattern;
        } else if (options.noiseSource) {
            request.kind = RequestKind::NoiseSource;
        } else {
            request.kind = RequestKind::SunNoise;
        }
        request.arguments = options.measurementWords;
        break;
    }

    ProgressLine console(stdout);
    QObject::connect(&client, &StationClient::progressed, [&console](const QString& text) { console.show(text); });
    QObject::connect(&client, &StationClient::said, [&console](const QString& text) { console.print(text); });
    QObject::connect(&client, &StationClient::lost, [](const QString& why) { printLine(stderr, why); });
    for (const QString& given : options.optionsNotCarried)
        if (options.ask == BridgeAsk::Measure)
            console.print(said::askersOptionNotCarried(given));
    // Ctrl+C (or a kill) closes the socket: the bridge ends the measurement and tracks on.
    bool interrupted = false;
    SignalNotifier& notifier = SignalNotifier::instance();
    QObject::connect(&notifier, &SignalNotifier::received, [&interrupted](int) { interrupted = true; });
    notifier.install({SIGINT, SIGTERM});
    const int status = client.ask(request, &notifier, &SignalNotifier::received);
    if (interrupted) {
        console.print(QStringLiteral("中断しました。ブリッジは測定を終えて追尾に戻ります。\n"
                                     "Interrupted: the bridge ends the measurement and tracks on."));
        return 1;
    }
    return status;
}

}  // namespace heliotrope::rotctl
