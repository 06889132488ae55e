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

}  // namespace

int main(int argc, char** argv)
{
    // So an operator can say which one they run; nothing else is read from
    // the command line.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("heliotrope %s\n", HELIOTROPE_VERSION);
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
