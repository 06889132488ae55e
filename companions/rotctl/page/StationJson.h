#pragma once

// The station as the page and other tools read it (GET /api/status): built
// from the state --status is built from, at the moment asked, so that the
// page never says other than --status. The lines --status prints come
// whole, beside the same facts as numbers for the sky chart; every text is
// given as {"ja": …, "en": …}. docs/station-page.md describes each field.

#include <QJsonObject>

namespace heliotrope::rotctl {

class Bridge;
class FluxWatch;
class SkyToday;
class StationDesk;
class StationWatch;
class TrackingPower;
struct BridgeOptions;

struct StationView {
    Bridge& bridge;
    const StationDesk& desk;
    const BridgeOptions& options;
    StationWatch& watch;
    SkyToday& sky;
    const TrackingPower* trackingPower = nullptr;
    const FluxWatch* fluxWatch = nullptr;
};

QJsonObject stationJson(const StationView& view);

// A text of the station's, Japanese and English lines in pairs, as
// {"ja": …, "en": …}, each language's lines run on as sentences.
QJsonObject bilingualJson(const QString& text);

}  // namespace heliotrope::rotctl
