#pragma once

// From the sky to the rotator and back: the window speaks in azimuth from north
// through east, 0 to 360, and elevation above the horizon; a rotator has its
// own azimuth range, its limits and, until calibrated, an error of its reading.

#include "companions/common/PointingRead.h"
#include "companions/pointing/PointingModel.h"
#include "companions/rotator/RotatorPosition.h"

#include <optional>

namespace heliotrope::rotator {

enum class AzimuthRange {
    From0To360,         // stop at north: 0 to 360
    FromMinus180To180,  // stop at south: -180 to 180
    Overlap,            // 0 to 360 and on past north up to the azimuth limit, at most 450
};

struct RotatorFrame {
    AzimuthRange range = AzimuthRange::From0To360;
    RotatorLimits limits;
    // How much the rotator's reading exceeds the true direction: a rotator that
    // reads 2 when the dish points at 0 has azimuthOffset 2.
    double azimuthOffset = 0;
    double elevationOffset = 0;
    // The mount's pointing model, when one is applied: it takes the place of
    // the two offsets, which are then zero. Every command and every reading
    // taken back to the sky goes through it here and nowhere else.
    std::optional<heliotrope::pointing::MountModel> model;
};

struct RotatorCommand {
    double azimuth = 0;  // in the rotator's own coordinates, within its limits
    double elevation = 0;
    bool clamped = false;  // the set-point lay outside the limits and was moved onto them
};

// The rotator coordinates for a set-point. The azimuth is taken in the
// rotator's range; where the range reaches one direction twice (north at 0 and
// 360, the overlap), the reading nearer the rotator's present azimuth is taken,
// except that a move into the overlap is only made from within it. The sun's
// azimuth grows through the day, passing south, so a day begun in the overlap
// would run into the stop by mid-morning and have to turn a full circle back
// while tracking; the nightly move to the sunrise azimuth therefore takes the
// way through south, which the night leaves ample time for.
// Values outside the limits are moved onto them. With a pointing model the
// reading for the direction is the model's command for it, else the direction
// plus the offsets. overTheTop: the direction is commanded flipped, azimuth
// + 180° and elevation 180° − e, on a rotator whose elevation reaches past
// the zenith; the offsets (or the model) then act on those angles.
RotatorCommand rotatorCommand(const RotatorFrame& frame, const companions::SetPoint& setPoint,
                              std::optional<RotatorPosition> present, bool overTheTop = false);

// A rotator reading back in the sky's terms: the offsets (or the model) taken
// off, a beam past the zenith seen from the other side (azimuth + 180°,
// elevation 180° − e), and the azimuth folded into 0 to 360.
RotatorPosition skyPosition(const RotatorFrame& frame, const RotatorPosition& reading);

// What the frame adds to a sky direction to command it, before the range and
// the limits: the offsets, or the model's Δ = reading − beam there, in the
// mount's angles (flipped when overTheTop). A measurement planning around the
// sun in the rotator's own readings takes it off again.
RotatorPosition frameOffsetAt(const RotatorFrame& frame, const companions::SetPoint& sky, bool overTheTop = false);

// The azimuth interval a range allows before the limits are applied.
RotatorLimits rangeExtent(AzimuthRange range);

// Whether the range and the azimuth limits leave any azimuth to point at
// (limits given on the command line may exclude the whole range).
bool azimuthReachable(const RotatorFrame& frame);

}  // namespace heliotrope::rotator
