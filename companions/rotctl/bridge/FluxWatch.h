#pragma once

// The sun's flux from what the watch on the receiver reads (TrackingPower):
// every few minutes the day so far is worked out on the station's scale, and
// each burst not yet said is said, once, as a warning; when the JST day
// ends (or the bridge does), the day is worked out whole and kept with its
// values, bursts and flags. Without a scale (no sun-noise run on a day whose
// flux was typed in) the readings are still kept, and the watch says once
// why it gives no flux.
//
// The station makes bursts of its own: a slew off the sun and back, a
// reference, a measurement's scan. The arithmetic flags those readings and
// leaves them out of the bursts (FluxDay.h); what is said here is what is
// left.

#include "companions/flux/FluxDay.h"
#include "companions/record/StationRuns.h"
#include "companions/rotctl/bridge/TrackingPower.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <QDate>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace heliotrope::rotctl {

class FluxWatch : public QObject {
    Q_OBJECT

public:
    // The station's scale in force at an instant (Unix UTC s): the station,
    // and where its scale came from in words; or nothing, with why in
    // Japanese and English.
    struct Choice {
        std::optional<flux::FluxStation> station;
        QString source;
        QString refusal;
    };
    using Chooser = std::function<Choice(double utc)>;
    // Keeps a day worked out; false, with the reason, when it was not kept.
    using DayKeeper = std::function<bool(const QDate& jstDay, const flux::FluxDay& day, const QString& source, QString* problem)>;

    // Marks the runs that measured between two instants (Unix UTC s) as
    // taken during a burst: those newly marked, or nothing, with why, when
    // the record could not be written.
    using RunMarker = std::function<std::optional<std::vector<record::StationRun>>(double fromUtc, double toUtc, QString* problem)>;

    // The day so far is worked out this often, companions' seconds.
    static constexpr double kLookEverySeconds = 300;

    FluxWatch(TrackingPower& watch, const TrueSunOptions& sky, Chooser chooser, DayKeeper keeper,
              const flux::FluxOptions& options = {}, QObject* parent = nullptr);

    void setRunMarker(RunMarker marker) { m_marker = std::move(marker); }
    void start();
    // The bridge ends: the day so far is worked out and kept as it stands
    // (a later close of the same day replaces it).
    void finish();
    // Works out the day so far now: bursts not yet said are said.
    void look();
    // The day so far as the latest look worked it out, if it has.
    const std::optional<flux::FluxDay>& todaySoFar() const { return m_latestDay; }
    // The day's bursts found so far, in time order.
    const std::vector<flux::FluxBurst>& todaysBursts() const { return m_bursts; }
    // For status: the day so far, Japanese and English lines (nothing before
    // the first look).
    QStringList statusLines() const;

signals:
    void notice(const QString& line);
    void warning(const QString& line);

private:
    void closeDay(qint64 jstDay, const std::vector<flux::Reading>& readings, const std::vector<flux::Reference>& references);
    std::optional<flux::FluxDay> workOut(qint64 jstDay, const std::vector<flux::Reading>& readings,
                                         const std::vector<flux::Reference>& references, Choice* choice);
    bool alreadySaid(const flux::FluxBurst& burst) const;
    // At each look, for a burst grows: a run is marked once, and said once.
    // Whether any run was newly marked.
    bool markRunsDuring(const flux::FluxDay& day);

    TrackingPower& m_watch;
    TrueSunOptions m_sky;
    Chooser m_chooser;
    DayKeeper m_keeper;
    RunMarker m_marker;
    QString m_markProblemSaid;
    flux::FluxOptions m_options;
    QTimer m_lookTimer;

    std::vector<flux::FluxBurst> m_bursts;
    std::optional<flux::FluxValue> m_latestDaily;
    std::optional<flux::FluxDay> m_latestDay;
    QString m_latestSource;
    QString m_refusalSaid;
    qint64 m_jstDay = 0;
};

}  // namespace heliotrope::rotctl
