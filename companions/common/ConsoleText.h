#pragma once

// Lines for the operator's terminal. Both programs talk in Japanese, so every
// line goes out as UTF-8 whatever the terminal's locale, and is flushed at once
// so that `| tee` and a log viewer see it while it happens.

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <cstdio>

namespace heliotrope::companions {

void printLine(std::FILE* stream, const QString& line);

// The one shape of every message the companions print: the Japanese, then
// the same in English on the next line.
QString bilingual(const QString& japanese, const QString& english);
// A message still in its two languages apart, while sentences are added to
// it: each language's sentences stay on that language's line.
struct Words {
    QString japanese;
    QString english;

    bool isEmpty() const { return japanese.isEmpty() && english.isEmpty(); }
    // The next sentences, after a space in English.
    Words& operator+=(const Words& more);
    // In the one shape: Japanese, newline, English.
    QString text() const { return bilingual(japanese, english); }
};

// Qt's own warnings (a missing XDG_RUNTIME_DIR, a font database, ...) are
// Qt's, not the program's: they reach the terminal only when asked for, with
// QT_LOGGING_RULES or HELIOTROPE_QT_MESSAGES=1. Call before the application
// object is made, so that what its making says is kept quiet too.
void keepQtQuietUnlessAsked();

// Received bytes as they may be shown on a terminal: printable ASCII as it is,
// everything else (control characters, escape sequences, non-ASCII bytes) as
// \xNN, so that a stray datagram can never drive the operator's terminal.
// Longer input is cut at maxBytes and ends with "...".
QString printableBytes(const QByteArray& bytes, qsizetype maxBytes = 80);

// "108.46°": an angle for the operator, two decimals as the window shows them.
QString degreesText(double degrees);
// "方位角 196.06° 仰角 77.36°" / "az 196.06°, el 77.36°": a direction for the operator.
QString directionTextJapanese(double azimuth, double elevation);
QString directionTextEnglish(double azimuth, double elevation);

// "127.0.0.1:10006", "[::1]:10006".
QString endpointText(const QHostAddress& address, quint16 port);

}  // namespace heliotrope::companions
