#include "app/Appearance.h"
#include "app/Clock.h"
#include "app/OperatorDialogs.h"
#include "app/Version.h"
#include "app/frmMain.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Without a display Qt would abort with a platform-plugin error that tells an
// operator nothing; say what is missing instead.
bool displayAvailable()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// Answered before Qt starts, so it prints on a terminal without a display
// and the manual page can be generated from it at build time. Each part is
// in Japanese first, its Japanese ending with "。", then in English.
constexpr const char* kHelp = "Usage: heliotrope [options]\n"
                              "太陽の方位角と仰角を 750 ms ごとに計算して天空図に描き、アンテナコントローラへ UDP で送ります。\n"
                              "観測地点を選んで「計算開始」を押してください。\n"
                              "Keeps an antenna pointed at the sun: every 750 ms computes the sun's\n"
                              "azimuth and elevation, draws them on a polar sky chart and sends them to\n"
                              "the antenna controller over UDP. Pick the observation point and press\n"
                              "the start button.\n"
                              "\n"
                              "Options:\n"
                              "  -h, --help  この説明を表示して終了する。\n"
                              "              Show this help and exit.\n"
                              "  --version   版を表示して終了する。\n"
                              "              Show the version and exit.\n"
                              "\n"
                              "その他の設定（観測地点、コントローラのアドレスとポート）はすべて画面で行います。\n"
                              "Everything else (observation point, controller address and port) is set in\n"
                              "the window.\n";

}  // namespace

int main(int argc, char** argv)
{
    // So an operator can say which one they run, and ask how; nothing else
    // is read from the command line.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("heliotrope %s\n", HELIOTROPE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    if (!displayAvailable()) {
        std::fputs("heliotrope: 画面がありません。デスクトップのセッションから起動するか、DISPLAY を設定してください。\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    heliotrope::app::applyHeliotropeAppearance(app);

    heliotrope::app::SystemClock clock;
    heliotrope::app::OperatorDialogs dialogs;
    heliotrope::app::frmMain window(clock, dialogs);
    window.show();
    return QApplication::exec();
}
