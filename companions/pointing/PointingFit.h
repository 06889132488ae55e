#pragma once

// The pointing model fitted from scans on the sun: weighted linear least
// squares (GSL's gsl_multifit_wlinear) of the terms asked on the offsets the
// scans found, the azimuth offsets taken on the sky (Δaz × cos el) so that
// every equation weighs what the beam misses by, and no row blows up near the
// zenith.
//
// With the sun alone the scans lie along a few of the sun's daily tracks, a
// narrow band of the sky: some terms then move the beam there nearly as a
// combination of others does (the zero point, collimation and
// non-perpendicularity in azimuth; the zero point, sag and scale in
// elevation). Two terms whose estimates correlate beyond ±0.95 are "tied":
// of the two, the one whose absence costs the fit the least is set aside at
// zero (on a draw the later in TPOINT's order, IA IE CA NPAE AN AW TF AS ES),
// and the fit is made again, until no pair is tied. The terms the set-aside
// one correlated with (|r| ≥ 0.5) carry its effect over the sky the scans
// cover. Whether the caller words that as "fixed at zero" or "fitted as
// their sum" is its choice; the result says which, and which terms. A
// flipped scan (azimuth + 180°, elevation 180° − e) turns collimation and
// non-perpendicularity the other way on the sky and unties them from the
// azimuth zero point. The elevation zero point, sag and scale stay tied over
// any sky a rotator reaches: 1, cos e and e are nearly proportional from the
// horizon to the zenith.
//
// Uncertainties are one standard deviation from the fit's covariance, scaled
// up by the residuals when they scatter more than the scans' own
// uncertainties say (χ² per degree of freedom above 1), never down.
// Plain C++, no Qt.

#include "companions/pointing/PointingModel.h"

#include <vector>

namespace heliotrope::pointing {

// One scan on the sun: where the sun was and where the rotator read with the
// beam centred on it.
struct Scan {
    double utc = 0;                  // seconds since 1970, the middle of the scan
    Direction sun;                   // the true sun on the sky, degrees
    Direction reading;               // the rotator's reading at the beam's peak, the mount's angles (over the top: e > 90°)
    double crossElevationError = 0;  // one standard deviation of the peak on the sky, degrees, > 0
    double elevationError = 0;       // degrees, > 0
};

enum class TieHandling {
    FixAtZero,  // the later term of a tied pair is fixed at zero
    FitAsSum,   // the earlier term is reported as the sum of both, as they act on the scans' sky
};

struct FitRequest {
    std::vector<Term> terms{kAllTerms.begin(), kAllTerms.end()};
    TieHandling ties = TieHandling::FixAtZero;
    double tieCorrelation = 0.95;  // |correlation| beyond this: tied
    double azimuthRangeStart = 0;  // the rotator's azimuth range, as MountModel has it
};

enum class FitRefusal {
    None,
    NoTerms,       // no term asked
    TooFewScans,   // fewer equations (two a scan) than terms and one more: scansNeeded says how many
    UnusableScan,  // a scan with a value that is not finite, an uncertainty not above zero, or an elevation off the sky
};

struct TermEstimate {
    Term term = Term::IA;
    double value = 0;        // degrees (AS, ES ratios); 0 when set aside
    double uncertainty = 0;  // one standard deviation; 0 when set aside
    bool fitted = false;     // false: tied and set aside
    bool carries = false;    // fitted, and carrying the effect of a term set aside
};

struct Tie {
    Term setAside = Term::CA;     // not fitted, at zero
    std::vector<Term> carriedBy;  // the fitted terms that take its effect, the most correlated first
    double correlation = 0;       // of the tied pair's estimates, when both were fitted
    TieHandling action = TieHandling::FixAtZero;
};

struct PointingFit {
    FitRefusal refusal = FitRefusal::None;
    int scansNeeded = 0;              // with TooFewScans
    int unusableScan = -1;            // with UnusableScan: its index
    MountModel model;                 // the fitted terms, the rest zero
    std::vector<TermEstimate> terms;  // in the order asked
    std::vector<Term> fitted;         // the terms in the last fit, TPOINT's order
    std::vector<double> correlation;  // fitted × fitted, row by row
    std::vector<Tie> ties;            // in the order found
    double rmsBefore = 0;             // degrees on the sky, the scans' offsets with no model
    double rmsAfter = 0;              // the residuals after the model
    double chiSquarePerDegree = 0;
    int scans = 0;
    bool ok() const { return refusal == FitRefusal::None; }
    double correlationOf(Term a, Term b) const;  // 0 when either was not fitted
};

PointingFit fitPointingModel(const std::vector<Scan>& scans, const FitRequest& request);

// What the scans' offsets are on the sky under a model: each scan's
// residual (reading − where the model puts the sun), cross-elevation and
// elevation, degrees. With a zero model: the offsets themselves.
std::vector<Direction> skyResiduals(const std::vector<Scan>& scans, const MountModel& model);

}  // namespace heliotrope::pointing
