#pragma once

// Reading rotctld's answers, line by line, in its default (not extended)
// response mode. rotctld answers every command in order, so with one command
// at a time each answer is known to belong to the command just sent:
//
//   P az el, S, K -> "RPRT 0", or "RPRT -n" on failure
//   p            -> two lines, azimuth and elevation; or "RPRT -n"
//   \dump_state  -> protocol version, model, then the limits: four bare numbers
//                   (protocol 0, Hamlib 3) or "min_az=..." lines up to "done"
//                   (protocol 1, Hamlib 4); or "RPRT -n"
//   \dump_caps   -> the backend's capabilities, "Can Park:\tN" among them, up
//                   to "RPRT 0"
//
// Numbers are read as numbers, never matched as text: versions print them with
// 2 or 6 decimals ("108.46", "108.460000").

#include "companions/rotator/RotatorPosition.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace heliotrope::hamlib {

enum class RotctldCommand {
    DumpState,
    GetPosition,
    SetPosition,
    Stop,  // S: the rotator stops where it is
    Park,  // K: the rotator goes to its controller's park position
    DumpCaps,
};

class RotctldReplyReader {
public:
    enum class Status {
        NeedMore,    // the answer goes on in the next line
        Done,        // the answer is complete
        Unreadable,  // not an answer to this command: the conversation is lost
    };

    explicit RotctldReplyReader(RotctldCommand command);

    // One line without its line end (a trailing carriage return is ignored).
    Status takeLine(const QByteArray& line);

    // After Done: the "RPRT n" code (0 for success, negative for a Hamlib error;
    // a successful p or dump_state, which print no RPRT line, give 0).
    int returnCode() const { return m_returnCode; }
    // After a successful p.
    std::optional<rotator::RotatorPosition> position() const;
    // After a successful dump_state, when all four limits were there and sane.
    std::optional<rotator::RotatorLimits> limits() const;
    // After a dump_caps that said whether the backend can park.
    std::optional<bool> canPark() const { return m_canPark; }

private:
    Status takeDumpStateLine(const QByteArray& line);
    Status takeDumpCapsLine(const QByteArray& line);

    RotctldCommand m_command;
    int m_linesRead = 0;
    int m_returnCode = 0;
    int m_protocol = 0;
    std::optional<bool> m_canPark;
    std::optional<double> m_values[4];  // az, el for p; min_az, max_az, min_el, max_el for dump_state
};

// "RPRT -5" -> -5; nothing for any other line. rotctld and rigctld alike.
std::optional<int> hamlibReturnCode(const QByteArray& line);

// A Hamlib error code in words ("RPRT -5": the rotator does not answer), and
// what the operator can do about it (empty where there is nothing to do).
struct HamlibError {
    QString japanese;
    QString english;
    QString actionJapanese;
    QString actionEnglish;
};
HamlibError hamlibError(int returnCode);

}  // namespace heliotrope::hamlib
