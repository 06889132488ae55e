#include "app/Clock.h"
#include "app/OperatorDialogs.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstdlib>

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
    if (!displayAvailable()) {
        std::fputs("heliotrope: 画面がありません。デスクトップのセッションから起動するか、DISPLAY を設定してください。\n",
                   stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("heliotrope"));
    QApplication::setApplicationDisplayName(QStringLiteral("太陽軌道計算"));
    // A Japanese gothic face at the size the layout was drawn for; fontconfig
    // falls back to another CJK face where this one is missing.
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSize(9);
    QApplication::setFont(font);

    SystemClock clock;
    OperatorDialogs dialogs;
    frmMain window(clock, dialogs);
    window.show();
    return QApplication::exec();
}
