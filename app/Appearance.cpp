#include "app/Appearance.h"

#include <QApplication>
#include <QFont>

namespace heliotrope::app {

void applyHeliotropeAppearance(QApplication& app)
{
    Q_UNUSED(app);
    QApplication::setApplicationName(QStringLiteral("heliotrope"));
    QApplication::setApplicationDisplayName(QStringLiteral("太陽軌道計算"));
    // A Japanese gothic face at the size the layout was drawn for; fontconfig
    // falls back to another CJK face where this one is missing.
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPointSize(9);
    QApplication::setFont(font);
}

}  // namespace heliotrope::app
