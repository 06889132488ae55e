#include "link/PointingMessage.h"

#include <algorithm>

namespace heliotrope::link {

namespace {

bool isAscii(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0x7F; });
}

}  // namespace

std::optional<QByteArray> pointingMessage(const QString& azimuthText, const QString& elevationText)
{
    if (!isAscii(azimuthText) || !isAscii(elevationText))
        return std::nullopt;
    QByteArray message;
    message.reserve(2 + azimuthText.size() + 1 + elevationText.size());
    message.append("0,");
    message.append(azimuthText.toLatin1());
    message.append(',');
    message.append(elevationText.toLatin1());
    return message;
}

}  // namespace heliotrope::link
