#pragma once

// The receiver read while the bridge tracks the sun (--watch-power): once a
// second, each reading stamped with its time, where the beam pointed (the
// rotator's reading through the offsets or the model) and where the sun
// was, and what the station was doing (tracking, on a reference, stowed,
// measuring); and at the start of the day and every interval after, a look
// at cold sky beside the sun for a dwell, which the flux is measured
// against. A reference borrows the rotator as a measurement does: tracking
// pauses, the window's messages are still answered, and a measurement or the
// operator's stow asked meanwhile ends it at once (yieldRotator).
//
// Readings and references go to the keeper in batches of about a minute; a
// batch the keeper refuses is held and offered again with the next, up to an
// hour's worth, beyond which the oldest are dropped and said. Nothing is
// kept or dropped without a word.

#include "companions/common/PointingRead.h"
#include "companions/flux/FluxDay.h"
#include "companions/power/PowerSource.h"
#include "companions/rotator/RotatorPosition.h"
#include "companions/rotctl/bridge/TrackingPowerOptions.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"
#include "companions/sky/TrueSun.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace heliotrope::rotctl {

class Bridge;

class TrackingPower : public QObject {
    Q_OBJECT

public:
    // Writes one batch; false, with the reason in Japanese and English, when nothing was written.
    using Keeper = std::function<bool(const std::vector<flux::Reading>&, const std::vector<flux::Reference>&, QString* problem)>;
    // Whether a measurement has the rotator (the desk's).
    using Measuring = std::function<bool()>;

    // Holds an hour of readings the keeper would not take.
    static constexpr std::size_t kMostHeld = 3600;

    TrackingPower(Bridge& bridge, const TrackingPowerOptions& options, const TrueSunOptions& sky,
                  std::unique_ptr<power::PowerSource> source, Keeper keeper, QObject* parent = nullptr);
    ~TrackingPower() override;

    void setMeasuring(Measuring measuring) { m_measuring = std::move(measuring); }
    void start();
    // Hands what is held to the keeper now (before the bridge ends).
    void flush();
    // A measurement or a hold wants the rotator: a reference under way ends
    // now, unmeasured, and the rotator is given back.
    void yieldRotator();

    bool onReference() const { return m_reference.has_value(); }
    // For status: where the dish looks while on a reference (nothing
    // otherwise), and the watch itself, Japanese and English lines.
    std::optional<QString> referenceStatus() const;
    QStringList statusLines() const;
    // While the power cannot be read: since when (UTC s) and why, as status says it.
    const std::optional<double>& failingSinceUtc() const { return m_failingSinceUtc; }
    const QString& failure() const { return m_failure; }

    // The day's readings and references so far, in time order (since the
    // bridge started, or the JST day began).
    const std::vector<flux::Reading>& todaysReadings() const { return m_today; }
    const std::vector<flux::Reference>& todaysReferences() const { return m_todayReferences; }
    // The JST day they belong to (days since 1970-01-01 JST).
    qint64 todaysJstDay() const { return m_todayJstDay; }
    // Today's readings and references kept before this bridge started (a
    // restart within the day), put ahead of what it reads itself.
    void recallToday(std::vector<flux::Reading> readings, std::vector<flux::Reference> references);

signals:
    void notice(const QString& line);
    void warning(const QString& line);
    // A batch has been handed to the keeper and taken.
    void kept(int readings, int references);
    // A JST day has ended: its readings and references, all of them handed
    // to the keeper before this is said.
    void dayEnded(qint64 jstDay, const std::vector<flux::Reading>& readings, const std::vector<flux::Reference>& references);

private:
    struct Underway {
        companions::SetPoint coldSky;
        double startedUtc = 0;  // companions' time: when it was commanded
        std::optional<double> dwellFromUtc;
        std::vector<double> powers;
        std::optional<heliotrope::rotator::RotatorPosition> lastReading;
    };

    double nowUtc() const;
    void tick();
    void onReading(double decibels);
    void onFailed(const QString& reason);
    void onPosition(const heliotrope::rotator::RotatorPosition& reading);
    flux::StationState stateNow() const;
    bool sunUp(const heliotrope::sky::TrueSunPosition& sun) const;
    void considerReference(const heliotrope::sky::TrueSunPosition& sun);
    void beginReference(const heliotrope::sky::TrueSunPosition& sun);
    void endReference(bool measured);
    void keepBatch();
    void startNewDayIfDue(double utc);

    Bridge& m_bridge;
    TrackingPowerOptions m_options;
    TrueSunOptions m_sky;
    heliotrope::sky::TrueSunTracker m_sunTracker;
    std::unique_ptr<power::PowerSource> m_source;
    Keeper m_keeper;
    Measuring m_measuring;
    QTimer m_readTimer;
    QTimer m_batchTimer;
    QTimer m_referencePoll;

    double m_requestedUtc = 0;
    std::optional<heliotrope::rotator::RotatorPosition> m_previousReading;
    std::optional<double> m_latestDecibels;
    double m_latestUtc = 0;
    std::optional<double> m_failingSinceUtc;
    QString m_failure;
    int m_missed = 0;
    int m_readings = 0;
    int m_references = 0;
    std::optional<Underway> m_reference;
    std::optional<double> m_nextReferenceUtc;  // none: due as soon as the sun is up and the rotator free
    bool m_unreachableSaid = false;
    bool m_coarseSaid = false;

    std::vector<flux::Reading> m_held;
    std::vector<flux::Reference> m_heldReferences;
    bool m_keeperFailing = false;
    std::vector<flux::Reading> m_today;
    std::vector<flux::Reference> m_todayReferences;
    std::optional<double> m_referenceTrend;  // dB a minute, between the day's references
    bool m_previousReferenceHigh = false;
    qint64 m_todayJstDay = 0;
};

}  // namespace heliotrope::rotctl
