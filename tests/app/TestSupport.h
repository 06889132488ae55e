#pragma once

#include "app/Clock.h"
#include "app/OperatorDialogs.h"

#include <QStringList>

// Answers the window's questions without showing a box, and keeps what it was asked.
class PresetDialogs final : public heliotrope::app::OperatorDialogs {
public:
    bool nextQuitAnswer = false;
    int quitQuestions = 0;
    QStringList warnings;

    bool confirmQuit(QWidget*) override
    {
        ++quitQuestions;
        return nextQuitAnswer;
    }
    void warn(QWidget*, const QString& text) override { warnings << text; }
};

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

// Types text key by key, as a keyboard would; unlike QTest::keyClicks it
// takes characters outside Latin-1, such as 東京.
inline void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(widget, &release);
    }
}
