#include "app/OperatorDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace heliotrope::app {

bool OperatorDialogs::confirmQuit(QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                    QStringLiteral("終了しますか？"), QMessageBox::Yes | QMessageBox::No, parent);
    // Qt's own captions are English unless a translation is loaded; the
    // operator's dialogs are Japanese whatever the machine's locale.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void OperatorDialogs::warn(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

}  // namespace heliotrope::app
