#pragma once

// The window's pointing message, as a controller reads it: three fields joined
// by commas, the fixed lead field 0, the set azimuth and the set elevation, as
// display texts ("0,108.46, 78.43" by day, "0,065.20,.000" by night).

#include <QByteArray>
#include <QString>

#include <optional>

namespace heliotrope::companions {

struct SetPoint {
    double azimuth = 0;    // degrees from north through east, 0 to 360
    double elevation = 0;  // degrees above the horizon, -90 to 90
};

struct PointingRead {
    std::optional<SetPoint> setPoint;  // present when the message is sound
    QString problem;                   // otherwise why not, in Japanese
    QString problemEnglish;            // and in English
};

// Splits the datagram with GETFIELD and reads the two angles tolerantly: blanks
// around a number and a missing whole part (".000") are fine, as the window's
// formats produce them. Refused, so that no antenna is moved on a guess:
// an empty datagram, other than exactly three fields, a lead field other than 0,
// an angle that is not a finite number, an azimuth outside 0 to 360 and an
// elevation outside -90 to 90. A refusal says what was wrong.
//
// Uses GETFIELD's one program-wide remainder; call from one thread only.
PointingRead readPointingMessage(const QByteArray& datagram);

}  // namespace heliotrope::companions
