#pragma once

// The pointing message sent to the antenna controller every calculation cycle:
// the character 0, a comma, the azimuth text, a comma, the elevation text, as
// ASCII bytes with no terminator (no line end, no NUL, no length prefix). The
// texts are the set-point boxes' display texts, carried character for character
// with their leading zeros and blanks: by day "0,108.46, 78.43", by night
// "0,065.20,.000".

#include <QByteArray>
#include <QString>

#include <optional>

namespace heliotrope::link {

// The datagram's bytes, or nullopt when either text holds a character outside
// ASCII: such a character has no single-byte code the controller would read,
// and sending a guessed byte would point the antenna at a garbled angle.
std::optional<QByteArray> pointingMessage(const QString& azimuthText, const QString& elevationText);

}  // namespace heliotrope::link
