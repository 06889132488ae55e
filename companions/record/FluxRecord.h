#pragma once

// The sun's flux in the station's record: every reading of the receiver
// while the station tracks, the references on cold sky beside the sun, and
// each day as worked out, with the scale it stands on.
//
// A year of readings at one a second is some sixteen million rows, so they
// are kept compactly: a table without rowid keyed by the reading's UTC in
// whole milliseconds, the angles in whole millidegrees (a thousandth of a
// degree, well inside any beam's tenth), the station's state and whether the
// rotator moved in one small integer; the power as it came. A power or angle
// that is not a number is kept as NULL and read back as not a number, so the
// arithmetic flags it as unreadable as it did when it was read. A reading at
// an instant already kept replaces it: a batch sent again is not doubled.
//
// A day kept keeps what the day's arithmetic said of it: its daily value and
// values at fixed times, its bursts, the flags of each reading that has any
// (a clean reading in no burst keeps nothing beyond itself), and the scale.
//
// FluxRecord works on an open StationRecord's connection, in its thread.

#include "companions/flux/FluxDay.h"
#include "companions/record/StationRecord.h"

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace heliotrope::record {

// A day as it was kept.
struct KeptFluxDay {
    QDate jstDay;
    flux::ScaleKind scale = flux::ScaleKind::GOverT;
    double scaleRelativeError = 0;
    QString scaleSource;  // in words, for the operator
    flux::FluxValue daily;
    std::vector<flux::FluxValue> atFixedTimes;
    std::vector<flux::FluxBurst> bursts;
    int referencesUsed = 0;
    double readingNoise = 0;
    double gainWander = 0;
    int readingsWorkedOut = 0;
    // The step its readings were read in, dB, and the least burst it surely
    // shows, SFU: a day worked out again has both; the record keeps
    // neither, and readingStepDecibelsBetween recognises the step from the
    // readings, as the day was worked out from them.
    double readingStepDecibels = 0;
    double smallestBurstSfu = 0;
};

// A reading's flags as the day kept them.
struct KeptReadingFlags {
    double utc = 0;
    unsigned flags = 0;
    bool inBurst = false;
};

// The record keeps angles to this, degrees.
inline constexpr double kKeptAngleResolutionDegrees = 0.001;

// The scale's kind as the record and the files spell it: "G/T", "hot/cold", "noise source".
QString scaleKindText(flux::ScaleKind kind);

// JST midnight starting the day, and the next one, as Unix UTC seconds.
double jstDayStartUtc(const QDate& jstDay);

class FluxRecord {
public:
    // `record` open (and writable, to write); it outlives this.
    explicit FluxRecord(StationRecord& record);

    // Whether the record holds the flux tables: a record from a program
    // older than them, read by a newer one, does not.
    bool hasFluxTables() const;

    // One batch (a minute or so) of readings and the references finished in
    // it, in one transaction. False with problem() said; nothing written then.
    bool addFluxBatch(const std::vector<flux::Reading>& readings, const std::vector<flux::Reference>& references);
    // What was kept between two instants (Unix UTC s, from inclusive, to
    // exclusive), in time order; a reference by its start.
    std::vector<flux::Reading> fluxReadingsBetween(double fromUtc, double toUtc) const;
    std::vector<flux::Reference> fluxReferencesBetween(double fromUtc, double toUtc) const;
    // How many readings were kept between two instants, without reading them.
    qint64 fluxReadingCountBetween(double fromUtc, double toUtc) const;
    // The step the readings between two instants were read in, dB
    // (flux::readingStepDecibels), from their powers alone.
    double readingStepDecibelsBetween(double fromUtc, double toUtc) const;

    // A day worked out (its JST date), kept: its values, bursts, each
    // reading's flags and the scale with where it came from in words,
    // replacing what was kept for that day before; in one transaction.
    bool keepFluxDay(const QDate& jstDay, const flux::FluxDay& day, const QString& scaleSource);
    // Kept days from `since` (JST date) on, oldest first; one day with its bursts.
    std::vector<KeptFluxDay> keptFluxDays(const QDate& since) const;
    std::optional<KeptFluxDay> keptFluxDay(const QDate& jstDay) const;
    // The kept flags of the readings between two instants that have any, in time order.
    std::vector<KeptReadingFlags> keptReadingFlagsBetween(double fromUtc, double toUtc) const;

    QString problem() const { return m_record.problem(); }

private:
    StationRecord& m_record;
};

}  // namespace heliotrope::record
