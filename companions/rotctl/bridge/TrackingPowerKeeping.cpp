#include "companions/rotctl/bridge/TrackingPowerKeeping.h"

#include "companions/fluxstation/FluxStationChoice.h"
#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/TrackingPowerMessages.h"

#include <QTimeZone>

#include <cmath>
#include <memory>

namespace heliotrope::rotctl {

class StationRecordKeeping {
public:
    explicit StationRecordKeeping(QString path)
        : m_path(std::move(path))
    {
    }

    // The record open for writing, or nothing with the reason.
    record::StationRecord* open(QString* problem)
    {
        if (m_station)
            return m_station.get();
        m_station = std::make_unique<record::StationRecord>(m_path);
        if (!m_station->open()) {
            *problem = m_station->problem();
            m_station.reset();
            return nullptr;
        }
        if (!m_station->writable()) {
            *problem = said::recordFromNewerProgram(m_path);
            m_station.reset();
            return nullptr;
        }
        return m_station.get();
    }

    // Opened again next time: the file may have been replaced.
    void failed() { m_station.reset(); }

private:
    QString m_path;
    std::unique_ptr<record::StationRecord> m_station;
};

TrackingPowerKeeping::TrackingPowerKeeping(const QString& path)
    : m_record(std::make_shared<StationRecordKeeping>(path.isEmpty() ? record::StationRecord::defaultPath() : path))
{
}

TrackingPower::Keeper TrackingPowerKeeping::batches() const
{
    return [kept = m_record](const std::vector<flux::Reading>& readings, const std::vector<flux::Reference>& references, QString* problem) {
        record::StationRecord* station = kept->open(problem);
        if (!station)
            return false;
        record::FluxRecord flux(*station);
        if (flux.addFluxBatch(readings, references))
            return true;
        *problem = flux.problem();
        kept->failed();
        return false;
    };
}

FluxWatch::DayKeeper TrackingPowerKeeping::days() const
{
    return [kept = m_record](const QDate& jstDay, const flux::FluxDay& day, const QString& source, QString* problem) {
        record::StationRecord* station = kept->open(problem);
        if (!station)
            return false;
        record::FluxRecord flux(*station);
        if (flux.keepFluxDay(jstDay, day, source))
            return true;
        *problem = flux.problem();
        kept->failed();
        return false;
    };
}

FluxWatch::RunMarker TrackingPowerKeeping::runsDuringBursts() const
{
    return [kept = m_record](double fromUtc, double toUtc, QString* problem) -> std::optional<std::vector<record::StationRun>> {
        record::StationRecord* station = kept->open(problem);
        if (!station)
            return std::nullopt;
        const auto utc = [](double seconds) { return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0), QTimeZone::utc()); };
        std::optional<std::vector<record::StationRun>> marked = station->markRunsDuringBurst(utc(fromUtc), utc(toUtc));
        if (!marked) {
            *problem = station->problem();
            kept->failed();
        }
        return marked;
    };
}

FluxWatch::Chooser TrackingPowerKeeping::scales(double beamwidthDegrees) const
{
    return [kept = m_record, beamwidthDegrees](double utc) {
        FluxWatch::Choice choice;
        QString problem;
        const record::StationRecord* station = kept->open(&problem);
        if (!station) {
            choice.refusal = problem;
            return choice;
        }
        fluxstation::FluxStationAsk ask;
        ask.atUtc = utc;
        ask.beamwidthDegrees = beamwidthDegrees;
        const fluxstation::FluxStationChoice chosen = fluxstation::chooseFluxStation(*station, ask);
        choice.station = chosen.station;
        (chosen.station ? choice.source : choice.refusal) = chosen.source;
        return choice;
    };
}

bool TrackingPowerKeeping::recallDay(double utc, std::vector<flux::Reading>* readings, std::vector<flux::Reference>* references,
                                     QString* problem) const
{
    record::StationRecord* station = m_record->open(problem);
    if (!station)
        return false;
    const QDate day = QDate(1970, 1, 1).addDays(static_cast<qint64>(std::floor((utc + 9 * 3600.0) / 86400.0)));
    const double from = record::jstDayStartUtc(day);
    record::FluxRecord flux(*station);
    *readings = flux.fluxReadingsBetween(from, from + 86400);
    *references = flux.fluxReferencesBetween(from, from + 86400);
    return true;
}

}  // namespace heliotrope::rotctl
