#pragma once

// The sun's peak in a cut through it: a Gaussian main beam on a baseline,
//   power(x) = baseline + peak × exp(−4 ln 2 × ((x − centre) / width)²),
// x being the offset from the computed sun along the cut (degrees of
// cross-elevation or of elevation), power in dB as the source reads it.
//
// Two ways to find it: a least-squares fit of the four parameters to a whole
// cut (GSL's trust-region nonlinear least squares), or the closed form through
// three points of the five-point pattern with the baseline measured off the
// sun. Both refuse, with the reason, rather than report a centre they did not
// find. Plain C++, no Qt: the reasons are codes, worded by the caller.

#include <vector>

namespace heliotrope::calibrate {

// One measured point of a cut.
struct CutPoint {
    double offset = 0;  // degrees from the computed sun along the cut
    double power = 0;   // dB, mean of the readings
    double spread = 0;  // dB, standard deviation of the readings
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
    double centre = 0;    // degrees, offset of the beam's peak from the computed sun
    double width = 0;     // degrees, full width at half maximum, > 0
    double peak = 0;      // dB over the baseline
    double baseline = 0;  // dB
    // One standard deviation of each, from the fit's covariance scaled by the
    // residuals' variance (or propagated from the points' spreads, closed form).
    double centreError = 0;
    double widthError = 0;
    double peakError = 0;
    double baselineError = 0;
    double residualRms = 0;  // dB, fit only
    int iterations = 0;
    FitRefusal refusal = FitRefusal::None;
    bool highestAtEdge = false;  // the highest point is the first or the last: the sun is probably beyond
    bool ok() const { return refusal == FitRefusal::None; }
};

// The least-squares fit to a cut; widthGuess (degrees) starts the search.
BeamFitResult fitBeamCut(const std::vector<CutPoint>& points, double widthGuess);

// The closed form through three points of one axis (offsets distinct, usually
// −step, 0, +step) over a baseline measured off the sun (dB, with its standard
// deviation of the mean). Each point's standard deviation of the mean is
// spread / √count; the uncertainties are propagated from those.
BeamFitResult threePointBeam(const CutPoint (&points)[3], double baseline, double baselineError);

}  // namespace heliotrope::calibrate
