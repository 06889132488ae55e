#include "companions/controllers/Gs232Codec.h"

#include <QRegularExpression>

#include <cmath>

namespace heliotrope::controllers {

namespace {

const QByteArray kRefusal = QByteArrayLiteral("?>\r\n");

ControllerRequest understood(const QByteArray& line)
{
    ControllerRequest request;
    request.message = line;
    const QByteArray command = line.trimmed().toUpper();
    if (command.isEmpty()) {
        request.kind = ControllerRequest::Kind::Ignored;
        return request;
    }
    // Whole degrees, three digits each as the manual writes them; fewer are
    // taken too, as the controller reads digits up to the space.
    static const QRegularExpression setPoint(QStringLiteral("^W(\\d{1,3}) (\\d{1,3})$"));
    const QRegularExpressionMatch match = setPoint.match(QString::fromLatin1(command));
    if (match.hasMatch()) {
        request.kind = ControllerRequest::Kind::SetPoint;
        request.azimuth = match.captured(1).toDouble();
        request.elevation = match.captured(2).toDouble();
    } else if (command == "C2" || command == "C") {
        request.kind = ControllerRequest::Kind::Query;
    } else if (command == "S") {
        request.kind = ControllerRequest::Kind::Stop;
    } else if (command == "A" || command == "E" || (command.size() == 2 && command[0] == 'X' && command[1] >= '1' && command[1] <= '4')) {
        // A stop of one axis is taken as a stop of both: nothing here drives
        // one axis alone. X1..X4 set the manual speed, which a set-point
        // does not use.
        request.kind = command[0] == 'X' ? ControllerRequest::Kind::Ignored : ControllerRequest::Kind::Stop;
    }
    return request;
}

QByteArray wholeDegrees(double degrees)
{
    return QByteArray::number(static_cast<int>(std::lround(degrees))).rightJustified(3, '0');
}

}  // namespace

std::vector<ControllerRequest> Gs232Codec::take(const QByteArray& bytes)
{
    std::vector<ControllerRequest> requests;
    for (const QByteArray& line : m_framing.take(bytes))
        requests.push_back(understood(line));
    return requests;
}

QByteArray Gs232Codec::answer(const ControllerRequest& request, ControllerAngles reading, bool refused) const
{
    switch (request.kind) {
    case ControllerRequest::Kind::Unknown:
        return kRefusal;
    case ControllerRequest::Kind::SetPoint:
        return refused ? kRefusal : QByteArray();
    case ControllerRequest::Kind::Query: {
        const bool both = request.message.trimmed().toUpper() == "C2";
        if (m_reading == Reading::PlusZero) {
            QByteArray text = "+0" + wholeDegrees(reading.azimuth);
            if (both)
                text += "+0" + wholeDegrees(reading.elevation);
            return text + "\r\n";
        }
        QByteArray text = "AZ=" + wholeDegrees(reading.azimuth);
        if (both)
            text += "  EL=" + wholeDegrees(reading.elevation);
        return text + "\r\n";
    }
    case ControllerRequest::Kind::Stop:
    case ControllerRequest::Kind::Ignored:
        return {};
    }
    return {};
}

}  // namespace heliotrope::controllers
