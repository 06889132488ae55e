#pragma once

// A station's record with a day made to order: a sun-noise run on a day whose
// flux was typed in, and the readings while tracking of a known sun (a quiet
// level and one burst) through the very station that run gives, with a
// reference on cold sky every ten minutes. What the flux report reads, and
// what it must give back.

#include "companions/fluxstation/FluxStationChoice.h"
#include "companions/record/FluxRecord.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <random>

namespace simulated {

using namespace heliotrope;

inline const record::RecordedSite kTokyo{35.68, 139.77, 40};
inline const QDate kDay(2026, 12, 10);  // JST
constexpr double kFrequency = 10368;
constexpr double kBeam = 1.7;
constexpr double kQuietSfu = 150;
constexpr double kBurstSfu = 40;
constexpr double kColdPower = 1.0e-3;

inline double utcAt(int hour, int minute)  // JST on kDay
{
    return record::jstDayStartUtc(kDay) + hour * 3600 + minute * 60;
}

inline double burstPeakUtc()
{
    return utcAt(12, 30);
}

inline double trueFlux(double utc)
{
    const double x = (utc - burstPeakUtc()) / 60.0;
    return kQuietSfu + kBurstSfu * std::exp(-0.5 * x * x);
}

inline record::RecordedSunNoise run(double utc, double gOverT, record::FluxSource source, double frequency = kFrequency)
{
    record::RecordedSunNoise r;
    r.utc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(utc * 1000), QTimeZone::utc());
    r.site = kTokyo;
    r.found = true;
    r.yDecibels = 9.0;
    r.yDecibelsDeviation = 0.05;
    r.repeats = std::vector<record::RecordedRepeat>(5, record::RecordedRepeat{-40, -49});
    r.gOverTDecibelsPerKelvin = gOverT;
    r.fluxSfu = kQuietSfu;
    r.fluxSource = source;
    r.frequencyMegahertz = frequency;
    r.dishDiameterMetres = 1.2;
    r.programVersion = QStringLiteral("test");
    return r;
}

// The day's readings from `from` to `to` (JST hours) at `step` seconds, made
// through `station`: the power on the sun is cold sky times the Y that gives
// the true flux there.
struct Day {
    std::vector<flux::Reading> readings;
    std::vector<flux::Reference> references;

    void make(const flux::FluxStation& station, double fromUtc, double toUtc, double step = 1, double noise = 0.002)
    {
        std::mt19937_64 random(7);
        std::normal_distribution<double> gauss(0, noise);
        sky::TrueSunTracker sun;
        std::vector<double> dwell;
        for (double t = fromUtc; t < toUtc; t += step) {
            const sky::TrueSunPosition at = sun.at(t, {kTokyo.latitude, kTokyo.longitude, kTokyo.height});
            flux::Reading r;
            r.utc = t;
            r.sunAzimuth = at.azimuth;
            r.sunElevation = at.elevation;
            r.antennaAzimuth = at.azimuth;
            r.antennaElevation = at.elevation;
            const double into = std::fmod(t - fromUtc, 600);
            if (into < 60) {
                r.state = flux::StationState::Reference;
                r.antennaAzimuth += 5 * kBeam / std::cos(at.elevation * 3.14159265358979 / 180);
                r.power = kColdPower * (1 + gauss(random));
                dwell.push_back(r.power);
                if (into + step >= 60) {
                    references.push_back({t - into, t, flux::dwellMean(dwell)});
                    dwell.clear();
                }
            } else {
                const double y = 1 + trueFlux(t) / flux::fluxSfu(station, 2, 0, at.elevation);
                r.power = kColdPower * y * (1 + gauss(random));
            }
            readings.push_back(r);
        }
    }

    // Into the record as the bridge keeps them, in batches (of an hour, to be quick).
    bool keep(record::FluxRecord& flux) const
    {
        std::size_t ref = 0;
        for (std::size_t i = 0; i < readings.size(); i += 3600) {
            const std::size_t end = std::min(readings.size(), i + 3600);
            std::vector<flux::Reading> batch(readings.begin() + static_cast<long>(i), readings.begin() + static_cast<long>(end));
            std::vector<flux::Reference> finished;
            while (ref < references.size() && references[ref].endUtc <= readings[end - 1].utc)
                finished.push_back(references[ref++]);
            if (!flux.addFluxBatch(batch, finished))
                return false;
        }
        return true;
    }
};

}  // namespace simulated
