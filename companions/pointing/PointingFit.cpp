#include "companions/pointing/PointingFit.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace heliotrope::pointing {

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
// A term set aside is carried by the fitted ones its estimate correlated with
// at least this much.
constexpr double kCarryingCorrelation = 0.5;

struct MatrixFree {
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
};
struct VectorFree {
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
};
struct WorkspaceFree {
    void operator()(gsl_multifit_linear_workspace* w) const { gsl_multifit_linear_free(w); }
};
using Matrix = std::unique_ptr<gsl_matrix, MatrixFree>;
using Vector = std::unique_ptr<gsl_vector, VectorFree>;

// The equations on the sky, two a scan: the offset found (reading − sun, in
// the mount's angles) against each term's shape, the azimuth row multiplied
// by cos e so that both rows are angles on the sky.
struct Equations {
    std::vector<double> observed;  // 2 per scan: cross-elevation, elevation
    std::vector<double> weight;
    std::vector<std::array<double, kTermCount>> shape;
};

bool usable(const Scan& scan)
{
    const double values[] = {scan.utc, scan.sun.azimuth, scan.sun.elevation, scan.reading.azimuth, scan.reading.elevation,
                             scan.crossElevationError, scan.elevationError};
    return std::all_of(std::begin(values), std::end(values), [](double v) { return std::isfinite(v); })
        && scan.crossElevationError > 0 && scan.elevationError > 0 && scan.sun.elevation >= -5 && scan.sun.elevation <= 90
        && scan.reading.elevation >= -5 && scan.reading.elevation <= 185;
}

// The found offset of a scan, reading − sun, in the mount's angles: over the
// top when the reading is nearer the flipped sun (a straight reading may pass
// 90° by a few tenths close to the zenith).
Direction foundOffset(const Scan& scan)
{
    const bool overTheTop = std::abs(scan.reading.elevation - (180 - scan.sun.elevation)) < std::abs(scan.reading.elevation - scan.sun.elevation);
    const Direction sun = mountAngles(scan.sun, overTheTop);
    return {wrapSigned(scan.reading.azimuth - sun.azimuth), scan.reading.elevation - sun.elevation};
}

Equations equationsOf(const std::vector<Scan>& scans, const MountModel& shapeModel)
{
    Equations equations;
    for (const Scan& scan : scans) {
        const Direction found = foundOffset(scan);
        const double cosE = std::cos(scan.reading.elevation * kDegree);
        std::array<double, kTermCount> azimuthRow{};
        std::array<double, kTermCount> elevationRow{};
        for (Term term : kAllTerms) {
            const Direction shape = termShape(shapeModel, term, scan.reading);
            azimuthRow[static_cast<std::size_t>(termIndex(term))] = shape.azimuth * cosE;
            elevationRow[static_cast<std::size_t>(termIndex(term))] = shape.elevation;
        }
        equations.observed.push_back(found.azimuth * cosE);
        equations.weight.push_back(1 / (scan.crossElevationError * scan.crossElevationError));
        equations.shape.push_back(azimuthRow);
        equations.observed.push_back(found.elevation);
        equations.weight.push_back(1 / (scan.elevationError * scan.elevationError));
        equations.shape.push_back(elevationRow);
    }
    return equations;
}

struct LinearFit {
    std::vector<double> value;
    std::vector<double> covariance;   // p × p
    std::vector<double> information;  // the normal matrix's diagonal, Σ w x²
    double chiSquare = 0;
};

LinearFit solve(const Equations& equations, const std::vector<Term>& terms)
{
    const std::size_t n = equations.observed.size();
    const std::size_t p = terms.size();
    Matrix x(gsl_matrix_alloc(n, p));
    Vector y(gsl_vector_alloc(n));
    Vector w(gsl_vector_alloc(n));
    Vector c(gsl_vector_alloc(p));
    Matrix cov(gsl_matrix_alloc(p, p));
    for (std::size_t i = 0; i < n; ++i) {
        gsl_vector_set(y.get(), i, equations.observed[i]);
        gsl_vector_set(w.get(), i, equations.weight[i]);
        for (std::size_t j = 0; j < p; ++j)
            gsl_matrix_set(x.get(), i, j, equations.shape[i][static_cast<std::size_t>(termIndex(terms[j]))]);
    }
    std::unique_ptr<gsl_multifit_linear_workspace, WorkspaceFree> work(gsl_multifit_linear_alloc(n, p));
    LinearFit fit;
    gsl_multifit_wlinear(x.get(), w.get(), y.get(), c.get(), cov.get(), &fit.chiSquare, work.get());
    for (std::size_t j = 0; j < p; ++j) {
        double information = 0;
        for (std::size_t i = 0; i < n; ++i)
            information += equations.weight[i] * gsl_matrix_get(x.get(), i, j) * gsl_matrix_get(x.get(), i, j);
        fit.information.push_back(information);
        fit.value.push_back(gsl_vector_get(c.get(), j));
        for (std::size_t k = 0; k < p; ++k)
            fit.covariance.push_back(gsl_matrix_get(cov.get(), j, k));
    }
    return fit;
}

std::vector<double> correlationOf(const LinearFit& fit, std::size_t p)
{
    std::vector<double> r(p * p, 0.0);
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t k = 0; k < p; ++k) {
            const double d = std::sqrt(fit.covariance[j * p + j] * fit.covariance[k * p + k]);
            r[j * p + k] = j == k ? 1.0 : (d > 0 ? std::clamp(fit.covariance[j * p + k] / d, -1.0, 1.0) : 1.0);
        }
    }
    return r;
}

std::vector<Term> without(std::vector<Term> terms, std::size_t j)
{
    terms.erase(terms.begin() + static_cast<std::ptrdiff_t>(j));
    return terms;
}

double rmsOnSky(const std::vector<Direction>& residuals)
{
    if (residuals.empty())
        return 0;
    double sum = 0;
    for (const Direction& r : residuals)
        sum += r.azimuth * r.azimuth + r.elevation * r.elevation;
    return std::sqrt(sum / static_cast<double>(residuals.size()));
}

}  // namespace

double PointingFit::correlationOf(Term a, Term b) const
{
    const auto ia = std::find(fitted.begin(), fitted.end(), a);
    const auto ib = std::find(fitted.begin(), fitted.end(), b);
    if (ia == fitted.end() || ib == fitted.end())
        return 0;
    const auto p = fitted.size();
    return correlation[static_cast<std::size_t>(ia - fitted.begin()) * p + static_cast<std::size_t>(ib - fitted.begin())];
}

std::vector<Direction> skyResiduals(const std::vector<Scan>& scans, const MountModel& model)
{
    std::vector<Direction> residuals;
    residuals.reserve(scans.size());
    for (const Scan& scan : scans) {
        const Direction found = foundOffset(scan);
        const Direction delta = modelOffset(model, scan.reading);
        const double cosE = std::cos(scan.reading.elevation * kDegree);
        residuals.push_back({(found.azimuth - delta.azimuth) * cosE, found.elevation - delta.elevation});
    }
    return residuals;
}

namespace {

// The terms asked for, in TPOINT's order, which also decides which of two
// tied terms stays.
std::vector<Term> activeTerms(const FitRequest& request)
{
    std::vector<Term> active;
    for (Term term : kAllTerms) {
        if (std::find(request.terms.begin(), request.terms.end(), term) != request.terms.end())
            active.push_back(term);
    }
    return active;
}

// Two of the p terms fitted and how strongly they are correlated, |r|.
struct TiedPair {
    double strongest = 0;
    std::size_t a = 0;
    std::size_t b = 0;
};

// The most strongly correlated pair of the fit's p terms; the first such
// pair in TPOINT's order when several are as strong.
TiedPair strongestPair(const std::vector<double>& correlation, std::size_t p)
{
    TiedPair pair;
    for (std::size_t j = 0; j < p; ++j) {
        for (std::size_t k = j + 1; k < p; ++k) {
            if (std::abs(correlation[j * p + k]) > pair.strongest) {
                pair.strongest = std::abs(correlation[j * p + k]);
                pair.a = j;
                pair.b = k;
            }
        }
    }
    return pair;
}

// The term j set aside, with the terms that now carry its effect: those
// still fitted that are correlated with it at least kCarryingCorrelation,
// the most strongly correlated first.
Tie tieOf(const std::vector<Term>& active, std::size_t j, double r, const std::vector<double>& correlation, TieHandling ties)
{
    const std::size_t p = active.size();
    Tie tie{active[j], {}, r, ties};
    std::vector<std::pair<double, Term>> partners;
    for (std::size_t k = 0; k < p; ++k) {
        if (k != j && std::abs(correlation[j * p + k]) >= kCarryingCorrelation)
            partners.push_back({std::abs(correlation[j * p + k]), active[k]});
    }
    std::sort(partners.begin(), partners.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    for (const auto& partner : partners)
        tie.carriedBy.push_back(partner.second);
    return tie;
}

}  // namespace

PointingFit fitPointingModel(const std::vector<Scan>& scans, const FitRequest& request)
{
    PointingFit result;
    result.scans = static_cast<int>(scans.size());
    result.model.azimuthRangeStart = request.azimuthRangeStart;
    std::vector<Term> active = activeTerms(request);
    if (active.empty()) {
        result.refusal = FitRefusal::NoTerms;
        return result;
    }
    // Two equations a scan, and at least one left over to judge the scatter.
    result.scansNeeded = static_cast<int>(active.size()) / 2 + 1;
    if (result.scans < result.scansNeeded) {
        result.refusal = FitRefusal::TooFewScans;
        return result;
    }
    for (std::size_t i = 0; i < scans.size(); ++i) {
        if (!usable(scans[i])) {
            result.refusal = FitRefusal::UnusableScan;
            result.unusableScan = static_cast<int>(i);
            return result;
        }
    }
    result.rmsBefore = rmsOnSky(skyResiduals(scans, MountModel{}));

    // GSL's own error handler aborts; a singular design is read from the
    // covariance here instead.
    gsl_error_handler_t* previous = gsl_set_error_handler_off();
    const Equations equations = equationsOf(scans, result.model);
    LinearFit fit;
    std::vector<double> correlation;
    for (;;) {
        fit = solve(equations, active);
        const std::size_t p = active.size();
        correlation = correlationOf(fit, p);
        // The most strongly tied pair; of its two, the one whose absence
        // costs the fit the least χ² is set aside, on a draw (within a part
        // in a million) the later in TPOINT's order.
        const TiedPair pair = strongestPair(correlation, p);
        const std::size_t a = pair.a;
        const std::size_t b = pair.b;
        if (pair.strongest <= request.tieCorrelation)
            break;
        const double costA = solve(equations, without(active, a)).chiSquare;
        const double costB = solve(equations, without(active, b)).chiSquare;
        const std::optional<std::size_t> setAside = costA < costB * (1 - 1e-6) ? a : b;
        const std::size_t j = *setAside;
        result.ties.push_back(tieOf(active, j, correlation[a * p + b], correlation, request.ties));
        active = without(active, j);
    }
    gsl_set_error_handler(previous);

    // A term set aside later carries nothing.
    for (Tie& tie : result.ties) {
        std::erase_if(tie.carriedBy, [&](Term t) { return std::find(active.begin(), active.end(), t) == active.end(); });
    }
    const std::size_t p = active.size();
    const double degrees = static_cast<double>(equations.observed.size() - p);
    result.chiSquarePerDegree = fit.chiSquare / degrees;
    const double scale = std::max(1.0, result.chiSquarePerDegree);
    result.fitted = active;
    result.correlation = correlation;
    for (std::size_t j = 0; j < p; ++j)
        result.model[active[j]] = fit.value[j];
    for (Term term : request.terms) {
        TermEstimate estimate{term, 0, 0, false, false};
        const auto at = std::find(active.begin(), active.end(), term);
        if (at != active.end()) {
            const auto j = static_cast<std::size_t>(at - active.begin());
            estimate = {term, fit.value[j], std::sqrt(fit.covariance[j * p + j] * scale), true, false};
            for (const Tie& tie : result.ties)
                estimate.carries = estimate.carries || std::find(tie.carriedBy.begin(), tie.carriedBy.end(), term) != tie.carriedBy.end();
        }
        result.terms.push_back(estimate);
    }
    result.rmsAfter = rmsOnSky(skyResiduals(scans, result.model));
    return result;
}

}  // namespace heliotrope::pointing
