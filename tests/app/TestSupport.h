#pragma once

#include "app/Clock.h"
#include "app/OperatorDialogs.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

// A clock that stands still at an instant the test chooses, given in JST.
class FixedClock final : public Clock {
public:
    explicit FixedClock(int year, int month, int day, int hour, int minute, int second)
    {
        setJst(year, month, day, hour, minute, second);
    }

    void setJst(int year, int month, int day, int hour, int minute, int second)
    {
        const QDateTime jst(QDate(year, month, day), QTime(hour, minute, second), QTimeZone(9 * 3600));
        m_now = std::chrono::system_clock::time_point(std::chrono::seconds(jst.toSecsSinceEpoch()));
    }

    std::chrono::system_clock::time_point now() const override { return m_now; }

private:
    std::chrono::system_clock::time_point m_now;
};

// Answers the window's questions without showing a box, and keeps what it was asked.
class PresetDialogs final : public OperatorDialogs {
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
