#pragma once

// The sun's peak in a cut through it. A detector sees the system's own noise
// and the sun's added together in linear power:
//   P(x) = B × (1 + (Y − 1) × g(x)),  g(x) = exp(−4 ln 2 × ((x − centre) / width)²),
// x being the offset from the computed sun along the cut (degrees of
// cross-elevation or of elevation), B the baseline and Y the sun's rise over
// it at the beam's centre. The source reads 10 log10 P in dB; the Gaussian is
// drawn in P, never in dB (a Gaussian drawn in dB is a wider beam than the
// dish has, by half again for a 12 dB sun).
//
// Two ways to find it: a least-squares fit of the four parameters to a whole
// cut (GSL's trust-region nonlinear least squares), or the closed form through
// three points of the five-point pattern with the baseline measured off the
// sun. Both refuse, with the reason, rather than report a centre they did not
// find. Plain C++, no Qt: the reasons are codes, worded by the caller.

#include <vector>

namespace heliotrope::beamfit {

// One measured point of a cut.
struct CutPoint {
    double offset = 0;  // degrees from the computed sun along the cut
    double power = 0;   // dB, 10 log10 of the mean linear power of the readings
    double spread = 0;  // dB, standard deviation of the readings (relative: 4.34 × σP / P)
    int count = 0;      // readings averaged
};

enum class FitRefusal {
    None,
    TooFewPoints,      // fewer points than the parameters and one more
    NotConverged,      // the fit did not settle
    NoPeak,            // no rise over the baseline, or one lost in the noise
    CentreOutsideSpan  // the peak lies beyond the measured points
};

struct BeamFitResult {
    double centre = 0;     // degrees, offset of the beam's peak from the computed sun
    double width = 0;      // degrees, full width at half maximum, > 0
    double yDecibels = 0;  // Y, the sun over the baseline at the beam's centre, dB: 10 log10 Y
    double baseline = 0;   // dB, 10 log10 B
    // One standard deviation of each, from the fit's covariance scaled by the
    // residuals' variance (or propagated from the points' spreads, closed form).
    double centreError = 0;
    double widthError = 0;
    double yDecibelsError = 0;
    double baselineError = 0;
    double residualRms = 0;  // of the fit in linear power, as a fraction of the baseline (0.023 ≈ 0.1 dB)
    int iterations = 0;
    FitRefusal refusal = FitRefusal::None;
    bool highestAtEdge = false;  // the highest point is the first or the last: the sun is probably beyond
    bool ok() const { return refusal == FitRefusal::None; }
};

// The least-squares fit to a cut; widthGuess (degrees) starts the search.
BeamFitResult fitBeamCut(const std::vector<CutPoint>& points, double widthGuess);

// The closed form through three points of one axis (offsets distinct, usually
// −step, 0, +step) over a baseline measured off the sun (dB, with its standard
// deviation of the mean): ln(P − B) is a parabola in x. Each point's standard deviation of the mean is
// spread / √count; the uncertainties are propagated from those.
BeamFitResult threePointBeam(const CutPoint (&points)[3], double baseline, double baselineError);

// A point of one axis as it would read on the other axis's peak: the beam
// is the product of a Gaussian in each axis, so the sun's rise at the point
// is divided by the other axis's Gaussian at the point's offset in that axis
// (degrees), its centre and width from that axis's fit. For the five-point
// pattern on a rotator that cannot put three points on one line: the
// points of a cut stand at different offsets across it.
CutPoint onTheOtherAxisPeak(const CutPoint& point, double otherOffset, const BeamFitResult& otherAxis, double baseline);

}  // namespace heliotrope::beamfit
