#include "companions/rotctl/reports/RecordedScans.h"

#include "companions/mount/SavedPointingModel.h"
#include "companions/sky/SiteDistance.h"

#include <cmath>
#include <numbers>

using namespace heliotrope::pointing;

namespace heliotrope::rotctl {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

// Where the sun stood over the scan's points on the sun, and when: their mean,
// the azimuth taken round the first so that north does not split it.
std::optional<Scan> scanOf(const heliotrope::record::RecordedCalibration& calibration)
{
    double azimuth = 0;
    double elevation = 0;
    double utc = 0;
    int count = 0;
    std::optional<double> first;
    for (const heliotrope::record::RecordedPoint& point : calibration.points) {
        if (point.skipped || point.role == QLatin1String("baseline") || !point.utc.isValid())
            continue;
        if (!first)
            first = point.sunAzimuth;
        azimuth += *first + wrapSigned(point.sunAzimuth - *first);
        elevation += point.sunElevation;
        utc += static_cast<double>(point.utc.toMSecsSinceEpoch()) / 1000.0;
        ++count;
    }
    const auto& az = calibration.azimuthOffset;
    const auto& el = calibration.elevationOffset;
    if (count == 0 || !az || !el || !(az->error > 0) || !(el->error > 0))
        return std::nullopt;
    Scan scan;
    scan.utc = utc / count;
    scan.sun = {std::fmod(azimuth / count + 360.0, 360.0), elevation / count};
    if (!(scan.sun.elevation > 0 && scan.sun.elevation < 90))
        return std::nullopt;
    // The offsets are the rotator's reading minus the sun, in the mount's own
    // angles: the reading with the beam on the sun. A scan over the top found
    // them from the flipped sun, where collimation and non-perpendicularity
    // act the other way while the zero points do not.
    const Direction sun = mountAngles(scan.sun, calibration.overTheTop);
    scan.reading = {std::fmod(sun.azimuth + az->value + 360.0, 360.0), sun.elevation + el->value};
    scan.crossElevationError = az->error * std::cos(scan.sun.elevation * kDegree);
    scan.elevationError = el->error;
    return scan;
}

}  // namespace

RecordedScans scansFromRecord(const std::vector<heliotrope::record::StationRun>& runs, const heliotrope::sky::Site& site,
                              heliotrope::sky::Refraction refraction, bool withRehearsals)
{
    RecordedScans recorded;
    const QString sky = QString::fromLatin1(heliotrope::sky::refractionName(refraction));
    for (const heliotrope::record::StationRun& run : runs) {
        const auto* calibration = std::get_if<heliotrope::record::RecordedCalibration>(&run);
        if (!calibration)
            continue;
        if (!calibration->found) {
            ++recorded.notFound;
        } else if (calibration->rehearsal() && !withRehearsals) {
            ++recorded.rehearsals;
        } else if (heliotrope::sky::kilometresBetween(site, {calibration->site.latitude, calibration->site.longitude, calibration->site.height}) > mount::kModelSiteKilometres) {
            ++recorded.otherSite;
        } else if (calibration->refraction != sky) {
            ++recorded.otherSky;
        } else if (const std::optional<Scan> scan = scanOf(*calibration)) {
            recorded.scans.push_back(*scan);
        } else {
            ++recorded.unusable;
        }
    }
    return recorded;
}

}  // namespace heliotrope::rotctl
