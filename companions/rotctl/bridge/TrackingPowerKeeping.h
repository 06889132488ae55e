#pragma once

// Where the bridge keeps what it reads while tracking: the station's record,
// opened once and kept open (a batch a minute for months), opened again
// after a failure so that a record moved back into place is written to. The
// readings' batches, the days worked out and today's readings read back at
// a restart all go through the one connection.

#include "companions/rotctl/bridge/FluxWatch.h"
#include "companions/rotctl/bridge/TrackingPower.h"

#include <QString>

#include <memory>

namespace heliotrope::rotctl {

class StationRecordKeeping;

class TrackingPowerKeeping {
public:
    // The record at `path` (the station's own by default).
    explicit TrackingPowerKeeping(const QString& path = QString());

    TrackingPower::Keeper batches() const;
    FluxWatch::DayKeeper days() const;
    FluxWatch::RunMarker runsDuringBursts() const;
    // The scale a day is worked out on, chosen from the record's sun-noise
    // runs at each look (a run typed in today serves from then on), for a
    // beam of `beamwidthDegrees`.
    FluxWatch::Chooser scales(double beamwidthDegrees) const;
    // Today's readings and references (the JST day of `utc`) kept so far;
    // nothing when the record cannot be read, with the reason in `problem`.
    bool recallDay(double utc, std::vector<flux::Reading>* readings, std::vector<flux::Reference>* references, QString* problem) const;

private:
    std::shared_ptr<StationRecordKeeping> m_record;
};

}  // namespace heliotrope::rotctl
