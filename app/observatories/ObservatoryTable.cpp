#include "app/observatories/ObservatoryTable.h"

#include <array>

namespace heliotrope::app {

namespace {

const std::array<Observatory, 10>& table()
{
    static const std::array<Observatory, 10> entries{{
        {QStringLiteral("八王子"), QStringLiteral("35.64"), QStringLiteral("139.3")},
        {QStringLiteral("東京"), QStringLiteral("35.65"), QStringLiteral("139.7")},
        {QStringLiteral("札幌"), QStringLiteral("43.06"), QStringLiteral("141.3")},
        {QStringLiteral("仙台"), QStringLiteral("38.27"), QStringLiteral("140.9")},
        {QStringLiteral("名古屋"), QStringLiteral("35.17"), QStringLiteral("136.9")},
        {QStringLiteral("大阪"), QStringLiteral("34.68"), QStringLiteral("135.5")},
        {QStringLiteral("広島"), QStringLiteral("34.37"), QStringLiteral("132.4")},
        {QStringLiteral("福岡"), QStringLiteral("33.58"), QStringLiteral("130.4")},
        {QStringLiteral("那覇"), QStringLiteral("26.217"), QStringLiteral("127.7")},
        {QStringLiteral("その他・任意入力"), std::nullopt, std::nullopt},
    }};
    return entries;
}

}  // namespace

std::span<const Observatory> observatories()
{
    return table();
}

const Observatory* findCity(const QString& text)
{
    const Observatory* found = nullptr;
    for (const Observatory& entry : table()) {
        if (entry.latitudeText && entry.name == text)
            found = &entry;
    }
    return found;
}

}  // namespace heliotrope::app
