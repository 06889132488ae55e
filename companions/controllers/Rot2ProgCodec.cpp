#include "companions/controllers/Rot2ProgCodec.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::controllers {

namespace {

constexpr qsizetype kCommandBytes = 13;
constexpr char kStart = 'W';
constexpr char kEnd = ' ';
constexpr char kStop = 0x0F;
constexpr char kStatus = 0x1F;
constexpr char kSet = 0x2F;
// The frames count degrees from −360, so that none is negative.
constexpr double kOffset = 360.0;

// Four ASCII digits at `from`, or −1 when one is not a digit.
int asciiDigits(const QByteArray& frame, qsizetype from)
{
    int value = 0;
    for (qsizetype i = from; i < from + 4; ++i) {
        const char digit = frame.at(i);
        if (digit < '0' || digit > '9')
            return -1;
        value = value * 10 + (digit - '0');
    }
    return value;
}

// 360 + degrees as hundreds, tens, units and tenths, each a byte 0..9.
QByteArray readingDigits(double degrees)
{
    const long tenths = std::clamp(std::lround((degrees + kOffset) * 10.0), 0L, 9999L);
    QByteArray digits(4, '\0');
    digits[0] = static_cast<char>(tenths / 1000);
    digits[1] = static_cast<char>(tenths / 100 % 10);
    digits[2] = static_cast<char>(tenths / 10 % 10);
    digits[3] = static_cast<char>(tenths % 10);
    return digits;
}

}  // namespace

Rot2ProgCodec::Rot2ProgCodec(double resolution)
    : m_pulsesPerDegree(static_cast<int>(std::lround(1.0 / resolution)))
{
}

ControllerRequest Rot2ProgCodec::understood(const QByteArray& frame) const
{
    ControllerRequest request;
    request.message = frame;
    switch (frame.at(11)) {
    case kStop:
        request.kind = ControllerRequest::Kind::Stop;
        break;
    case kStatus:
        request.kind = ControllerRequest::Kind::Query;
        break;
    case kSet: {
        const int azimuth = asciiDigits(frame, 1);
        const int elevation = asciiDigits(frame, 6);
        // The controller divides by its own pulses per degree; a command
        // written for another resolution would turn it elsewhere, as it
        // would the real one.
        if (azimuth < 0 || elevation < 0)
            break;
        request.kind = ControllerRequest::Kind::SetPoint;
        request.azimuth = azimuth / static_cast<double>(m_pulsesPerDegree) - kOffset;
        request.elevation = elevation / static_cast<double>(m_pulsesPerDegree) - kOffset;
        break;
    }
    default:
        break;
    }
    return request;
}

std::vector<ControllerRequest> Rot2ProgCodec::take(const QByteArray& bytes)
{
    std::vector<ControllerRequest> requests;
    m_pending.append(bytes);
    for (;;) {
        // A frame starts at 'W' and ends with a space 13 bytes on; anything
        // else is passed over one byte at a time until a frame lines up.
        const qsizetype start = m_pending.indexOf(kStart);
        if (start < 0) {
            m_pending.clear();
            break;
        }
        m_pending.remove(0, start);
        if (m_pending.size() < kCommandBytes)
            break;
        if (m_pending.at(kCommandBytes - 1) != kEnd) {
            m_pending.remove(0, 1);
            continue;
        }
        requests.push_back(understood(m_pending.left(kCommandBytes)));
        m_pending.remove(0, kCommandBytes);
    }
    return requests;
}

QByteArray Rot2ProgCodec::answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const
{
    static_cast<void>(refused);  // a Rot2Prog drives to its limit rather than refuse
    if (request.kind != ControllerRequest::Kind::Query && request.kind != ControllerRequest::Kind::Stop)
        return {};
    const char pulses = static_cast<char>(m_pulsesPerDegree);
    return kStart + readingDigits(reading.azimuth) + pulses + readingDigits(reading.elevation) + pulses + kEnd;
}

}  // namespace heliotrope::controllers
