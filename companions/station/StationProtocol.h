#pragma once

// The bridge's request protocol on its local socket, in the style of
// rotctld's: one request a line, one answer ending with "RPRT n", the outcome
// (0, or a negative code as Hamlib's). While a measurement runs its progress
// comes as lines before the answer. docs/station-protocol.md describes it for
// people using it by hand (socat).
//
//   calibrate cross|five [WORD...]   the calibration, WORD: the options as on the command line
//   sun-noise [WORD...]              the sun-noise run
//   noise-source [WORD...]           the system temperature with a noise source
//   stow [AZ EL | AZ,EL]             to this position, or the bridge's own stow position
//   stop                             Hamlib's stop at once; hold
//   resume                           follow the window again
//   status                           what the bridge is doing
//   cancel                           end the measurement that runs
//
// Words are separated by single spaces. A byte that is a control character,
// a space, '%', '"' or DEL is written %XX; an empty word is "".
// The answer's lines:
//   progress: TEXT                   a measurement's progress
//   say: TEXT                        a line of the answer (result, status, reason)
//   RPRT n                           the end of the answer
//
// Pure functions of their input: the reader is a fuzz target.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace heliotrope::station {

// The outcome of a request, as in an "RPRT n" line: Hamlib's negative codes
// where one means the same.
enum class StationCode : int {
    Ok = 0,                // done; a measurement found a result and saved it
    InvalidArgument = -1,  // the request's words are not usable (RIG_EINVAL)
    UnknownRequest = -4,   // no such request (RIG_ENIMPL)
    Failed = -6,           // the bridge could not do it: rotctld lost, record not written (RIG_EIO)
    Garbage = -8,          // the line is not a request at all: not text, too long (RIG_EPROTO)
    Refused = -9,          // not now: a measurement runs, the rotator is stowed (RIG_ERJCTED)
    NoResult = -11,        // the measurement ended without a result, or it was cancelled (RIG_ENAVAIL)
    SunTooLow = -17,       // the measurement not begun, the sun below 10°: skipped, not failed (RIG_EDOM)
    Held = -14,            // the measurement not begun, the rotator held stowed or stopped until --resume: skipped,
                           // not failed, so that a station's timers do not fail every day of a long stow
                           // (RIG_EBUSBUSY: the rotator is the operator's for now)
};

// What the asking command exits with: 0 done, or skipped for a low sun or a
// held rotator (a timer's run at a dark hour or during a stow is no
// failure), 1 no result or failed, 2 a request the bridge did not
// understand, 3 refused.
int exitStatusFor(StationCode code);
// What the code means, Japanese then English, one line each.
QString codeText(StationCode code);
// A code from an RPRT number; an unknown negative number is Failed.
StationCode codeFromNumber(int number);

enum class RequestKind { Calibrate,
                         SunNoise,
                         Stow,
                         Stop,
                         Resume,
                         Status,
                         Cancel,
                         NoiseSource };

struct StationRequest {
    RequestKind kind = RequestKind::Status;
    QString pattern;  // calibrate: "cross" or "five"
    // calibrate, sun-noise, noise-source: the measurement's own options as the asking
    // command read them, a word each ("--beamwidth=2.5",
    // "--power=rigctld:127.0.0.1:4532"), read by the bridge with the same table.
    QStringList arguments;
    // stow: the position in the rotator's own terms; none: the bridge's
    // stow position (or Hamlib's park).
    std::optional<double> azimuth;
    std::optional<double> elevation;

    bool operator==(const StationRequest&) const = default;
};

// The longest line either side reads; longer is garbage.
constexpr qsizetype kLongestLine = 4096;
// Where a stow may be asked to, in the rotator's own degrees: past north on
// either side, and over the top.
constexpr double kLowestStowAzimuth = -360;
constexpr double kHighestStowAzimuth = 720;
constexpr double kLowestStowElevation = -90;
constexpr double kHighestStowElevation = 180;
// "方位角 -360〜720°、仰角 -90〜180°" / "azimuth -360 to 720°, elevation -90 to 180°"
QString stowBoundsJapanese();
QString stowBoundsEnglish();
constexpr qsizetype kMostWords = 64;

struct RequestReading {
    std::optional<StationRequest> request;
    StationCode code = StationCode::Ok;  // when no request: why
    QString problem;                     // when no request: Japanese, newline, English
};

// One line as received, without its line end (a trailing "\r" is allowed).
RequestReading readRequest(const QByteArray& line);
// The line for a request, with its "\n". Words holding a control character
// cannot be carried and are refused by readRequest on the other side.
QByteArray requestLine(const StationRequest& request);

// The answer's lines.
enum class AnswerKind { Progress,
                        Say,
                        End };

struct AnswerLine {
    AnswerKind kind = AnswerKind::Say;
    QString text;                        // progress, say
    StationCode code = StationCode::Ok;  // end
    bool operator==(const AnswerLine&) const = default;
};

// The lines for a text (one a line of it, control characters made spaces),
// each with its "\n".
QByteArray progressLines(const QString& text);
QByteArray sayLines(const QString& text);
QByteArray endLine(StationCode code);
// Nothing for a line that is none of these.
std::optional<AnswerLine> readAnswerLine(const QByteArray& line);

}  // namespace heliotrope::station
