#include "companions/common/PointingRead.h"

#include "link/Module1.h"

#include <QLocale>

#include <cmath>

using heliotrope::link::FieldOverflow;
using heliotrope::link::GETFIELD;

namespace heliotrope::companions {

namespace {

std::optional<double> angleFromText(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

PointingRead refused(const QString& japanese, const QString& english)
{
    return {std::nullopt, japanese, english};
}

}  // namespace

PointingRead readPointingMessage(const QByteArray& datagram)
{
    // An empty text would make GETFIELD continue from whatever was split last.
    if (datagram.isEmpty())
        return refused(QStringLiteral("空のデータです。"), QStringLiteral("the datagram is empty."));

    QString text = QString::fromLatin1(datagram);
    if (text.count(QLatin1Char(',')) != 2)
        return refused(QStringLiteral("項目が 3 つ（0,方位角,仰角）ではありません。"), QStringLiteral("not three fields (0,azimuth,elevation)."));

    static const QString comma = QStringLiteral(",");
    QString lead;
    QString azimuthText;
    QString elevationText;
    try {
        lead = GETFIELD(text, comma);
        QString rest;
        azimuthText = GETFIELD(rest, comma);
        rest.clear();
        elevationText = GETFIELD(rest, comma);
    } catch (const FieldOverflow&) {
        return refused(QStringLiteral("項目が長すぎます。"), QStringLiteral("a field is too long."));
    }

    if (lead != QLatin1String("0"))
        return refused(QStringLiteral("先頭の項目が 0 ではありません。"), QStringLiteral("the first field is not 0."));
    const std::optional<double> azimuth = angleFromText(azimuthText);
    if (!azimuth || *azimuth < 0 || *azimuth > 360)
        return refused(QStringLiteral("方位角が 0～360 の数値ではありません。"), QStringLiteral("the azimuth is not a number from 0 to 360."));
    const std::optional<double> elevation = angleFromText(elevationText);
    if (!elevation || *elevation < -90 || *elevation > 90)
        return refused(QStringLiteral("仰角が -90～90 の数値ではありません。"), QStringLiteral("the elevation is not a number from -90 to 90."));
    return {SetPoint{*azimuth, *elevation}, {}, {}};
}

}  // namespace heliotrope::companions
