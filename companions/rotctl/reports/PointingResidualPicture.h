#pragma once

// The pointing fit's picture, drawn from its scans and its model.

#include "companions/pointing/PointingFit.h"

#include <QImage>

#include <vector>

namespace heliotrope::rotctl {

// The scans' residuals before (grey) and after (blue) the model, against the
// sun's azimuth and elevation: cross-elevation above, elevation below.
QImage pointingResidualPicture(const std::vector<heliotrope::pointing::Scan>& scans,
                               const heliotrope::pointing::PointingFit& fit);

}  // namespace heliotrope::rotctl
