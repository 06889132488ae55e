#include "companions/controllers/EasyCommCodec.h"

#include <QByteArrayList>

#include <cmath>

namespace heliotrope::controllers {

namespace {

// One line's words. A value that is not a finite number makes the word
// unknown, never a target.
ControllerRequest understood(const QByteArray& line)
{
    ControllerRequest request;
    request.message = line;
    bool askedSomething = false;
    bool stopped = false;
    bool unknown = false;
    for (const QByteArray& word : line.simplified().toUpper().split(' ')) {
        if (word.isEmpty())
            continue;
        if (word == "AZ" || word == "EL") {
            askedSomething = true;
        } else if (word == "SA" || word == "SE") {
            stopped = true;
        } else if (word.startsWith("AZ") || word.startsWith("EL")) {
            bool ok = false;
            const double value = word.mid(2).toDouble(&ok);
            if (!ok || !std::isfinite(value)) {
                unknown = true;
                continue;
            }
            (word.startsWith("AZ") ? request.azimuth : request.elevation) = value;
        } else {
            unknown = true;
        }
    }
    if (request.azimuth || request.elevation)
        request.kind = ControllerRequest::Kind::SetPoint;
    else if (askedSomething)
        request.kind = ControllerRequest::Kind::Query;
    else if (stopped)
        request.kind = ControllerRequest::Kind::Stop;
    else if (!unknown)
        request.kind = ControllerRequest::Kind::Ignored;
    return request;
}

}  // namespace

std::vector<ControllerRequest> EasyCommCodec::take(const QByteArray& bytes)
{
    std::vector<ControllerRequest> requests;
    for (const QByteArray& line : m_framing.take(bytes))
        requests.push_back(understood(line));
    return requests;
}

QByteArray EasyCommCodec::answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const
{
    static_cast<void>(refused);  // EasyComm II has no refusal to give
    if (request.kind != ControllerRequest::Kind::Query)
        return {};
    QByteArrayList answered;
    for (const QByteArray& word : request.message.simplified().toUpper().split(' ')) {
        if (word == "AZ")
            answered << "AZ" + QByteArray::number(reading.azimuth, 'f', 1);
        else if (word == "EL")
            answered << "EL" + QByteArray::number(reading.elevation, 'f', 1);
    }
    return answered.join(' ') + '\n';
}

}  // namespace heliotrope::controllers
