#pragma once

#include <QString>
#include <optional>
#include <span>

namespace heliotrope::app {

// One entry of the observation-point list. The coordinate texts are what a
// pick writes into the two boxes, exactly as written here (shortest decimal
// form, degrees north and east).
struct Observatory {
    QString name;
    std::optional<QString> latitudeText;  // none for the free-input entry
    std::optional<QString> longitudeText;
};

// The ten entries in list order: nine cities from 八王子 to 那覇, then
// "その他・任意入力", which writes nothing so the operator can type a position.
std::span<const Observatory> observatories();

// The city whose entry text equals `text` exactly (ordinal: no case or width
// folding, no trimming); none for the free-input entry or any other text.
const Observatory* findCity(const QString& text);

// The default observation point, also the first entry: 八王子.
inline const QString kDefaultLatitudeText = QStringLiteral("35.64");
inline const QString kDefaultLongitudeText = QStringLiteral("139.3");

}  // namespace heliotrope::app
