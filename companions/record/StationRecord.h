#pragma once

// The station's record: every calibration and every sun-noise run, kept in a
// SQLite file ($XDG_DATA_HOME/heliotrope/station.sqlite) through Qt SQL.
//
// Each result is written in one transaction with SQLite's full
// synchronisation, so a power cut or a killed bridge leaves either the whole
// result or none of it, and every earlier one. The schema's version is
// SQLite's user_version; opening an older record brings it up to this
// program's version, step by step, each step in its own transaction. A record
// written by a newer program is read but never written.
//
// One StationRecord is one connection; it lives in one thread.

#include "companions/record/StationRuns.h"
#include "companions/record/SystemTemperatureRuns.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

class QSqlQuery;

namespace heliotrope::record {

class StationRecord {
public:
    // The schema this program writes. 1: the first record; 2: a run's
    // expected Y and AGC warning, and indexes for the queries by date and by
    // frequency; 3: a calibration's mark of a scan taken over the top (older
    // calibrations were all straight); 4: a rehearsal's clock offset; 5: where
    // a sun-noise run's flux came from, and the flux typed in for a day; 6:
    // the readings while tracking, the references on cold sky and the days'
    // flux worked out from them (FluxRecord.h); 7: a run's mark of a burst
    // under way while it ran, and when a sun-noise run began; 8: the system
    // temperatures measured on cold sky, hot/cold and with a noise source.
    static constexpr int kSchemaVersion = 8;

    // $XDG_DATA_HOME/heliotrope/station.sqlite (~/.local/share/… when unset).
    static QString defaultPath();

    explicit StationRecord(QString path = defaultPath());
    ~StationRecord();
    StationRecord(const StationRecord&) = delete;
    StationRecord& operator=(const StationRecord&) = delete;

    // Opens (and creates, with its folder) the file, and brings an older
    // schema up to date. False, with problem() said, when it cannot; a record
    // from a newer program opens read-only (true, writable() false).
    bool open();
    bool isOpen() const;
    bool writable() const { return m_writable; }
    QString path() const { return m_path; }
    // The schema's version as found in the file before open() migrated it.
    int foundSchemaVersion() const { return m_foundVersion; }
    // Why the last call failed: Japanese, newline, English.
    QString problem() const { return m_problem; }

    // Write one result, points and repeats with it, in one transaction. The
    // record's number, or nothing (problem() says why; nothing was written).
    std::optional<qint64> addCalibration(const RecordedCalibration& calibration);
    std::optional<qint64> addSunNoise(const RecordedSunNoise& run);
    std::optional<qint64> addSystemTemperature(const RecordedSystemTemperature& run);
    // Every system temperature measured, oldest first; none from a record
    // older than their table.
    std::vector<RecordedSystemTemperature> systemTemperatures() const;

    // Every run from `since` on (all with an invalid QDateTime), oldest first,
    // calibrations with their points and sun-noise runs with their repeats.
    std::vector<StationRun> history(const QDateTime& since = QDateTime()) const;
    // The last `count` sun-noise runs that found a Y at this frequency
    // (within 1 kHz), oldest first; none taken during a burst.
    std::vector<RecordedSunNoise> lastSunNoiseAt(double frequencyMegahertz, int count) const;
    // The latest straight calibration that found offsets (saved or not, as
    // `savedOnly`); a scan over the top is never the calibration in use, nor
    // a rehearsal the station's.
    std::optional<RecordedCalibration> lastCalibration(bool savedOnly = true) const;
    // What the health figures are judged on, read without the whole history
    // (asked at every --status and every look at the page): the latest
    // sun-noise run with a Y at a known frequency, and the last `count`
    // calibrations that found offsets and were no scan over the top, oldest
    // first; neither a rehearsal nor a run during a burst.
    std::optional<RecordedSunNoise> latestYForHealth() const;
    std::vector<RecordedCalibration> lastCalibrationsForHealth(int count) const;

    // The sun-noise runs of one UTC day (the days --history shows), oldest first.
    std::vector<RecordedSunNoise> sunNoiseOn(const QDate& utcDay) const;
    // The solar flux typed in for a UTC day, in solar flux units, if any.
    std::optional<double> fluxOn(const QDate& utcDay) const;
    // Keeps the day's flux (replacing one typed before) and, in the same
    // transaction, the day's runs as worked out again with it: each replaces
    // the row of its id in G/T, expected Y, flux and flux's source. False,
    // problem() said, when nothing was written.
    bool setFluxOn(const QDate& utcDay, double fluxSfu, const QDateTime& typedUtc,
                   const std::vector<RecordedSunNoise>& runsWorkedOutAgain);

    // Marks the runs that measured while a burst was or may have been under
    // way, between `from` and `to` (UTC): a calibration from its first point
    // to its end, a sun-noise run from its start (its end when not known);
    // never a rehearsal.
    // The runs marked by this call (those marked before are not again), or
    // nothing when the record cannot be written (problem() says why).
    std::optional<std::vector<StationRun>> markRunsDuringBurst(const QDateTime& from, const QDateTime& to);

    // PRAGMA integrity_check said "ok".
    bool integrityOk() const;

private:
    friend class FluxRecord;
    bool migrate(int from);
    // Writes one result in one transaction: `rows` inserts the result's row
    // and its children's and gives the result's id, or the database's
    // complaint; anything short of a commit is rolled back and said as
    // "cannot write <what>".
    std::optional<qint64> writeResult(const QString& whatJapanese, const QString& whatEnglish,
                                      const std::function<std::variant<qint64, QString>(QSqlQuery&)>& rows);
    bool fail(const QString& japanese, const QString& english, const QString& detail);

    QString m_path;
    QString m_connection;
    QString m_problem;
    int m_foundVersion = 0;
    bool m_writable = false;
};

}  // namespace heliotrope::record
