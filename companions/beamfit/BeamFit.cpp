#include "companions/beamfit/BeamFit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace heliotrope::beamfit {

namespace {

// 4 ln 2: the Gaussian's exponent in terms of the full width at half maximum.
const double kFourLn2 = 4.0 * std::log(2.0);
// dB per natural-log unit of power ratio: 10 / ln 10.
const double kDecibelsPerNeper = 10.0 / std::log(10.0);
constexpr int kMaxIterations = 200;
// A peak smaller than this many of its own standard deviations is not a sun.
constexpr double kPeakSignificance = 3.0;

double linear(double decibels, double referenceDecibels)
{
    return std::pow(10.0, (decibels - referenceDecibels) / 10.0);
}

// A cut in linear power, relative to its weakest point, so that the
// parameters the fit moves are of order one whatever the source's scale.
struct LinearPoint {
    double offset;
    double power;
};

struct CutData {
    const std::vector<LinearPoint>* points;
};

// Parameters: 0 centre, 1 width, 2 rise R = B (Y − 1), 3 baseline B; P = B + R g.
int residuals(const gsl_vector* x, void* data, gsl_vector* f)
{
    const auto& points = *static_cast<CutData*>(data)->points;
    const double centre = gsl_vector_get(x, 0);
    const double width = gsl_vector_get(x, 1);
    const double rise = gsl_vector_get(x, 2);
    const double baseline = gsl_vector_get(x, 3);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double u = (points[i].offset - centre) / width;
        gsl_vector_set(f, i, baseline + rise * std::exp(-kFourLn2 * u * u) - points[i].power);
    }
    return GSL_SUCCESS;
}

int jacobian(const gsl_vector* x, void* data, gsl_matrix* J)
{
    const auto& points = *static_cast<CutData*>(data)->points;
    const double centre = gsl_vector_get(x, 0);
    const double width = gsl_vector_get(x, 1);
    const double rise = gsl_vector_get(x, 2);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double d = points[i].offset - centre;
        const double u = d / width;
        const double g = std::exp(-kFourLn2 * u * u);
        gsl_matrix_set(J, i, 0, rise * g * 2.0 * kFourLn2 * d / (width * width));
        gsl_matrix_set(J, i, 1, rise * g * 2.0 * kFourLn2 * d * d / (width * width * width));
        gsl_matrix_set(J, i, 2, g);
        gsl_matrix_set(J, i, 3, 1.0);
    }
    return GSL_SUCCESS;
}

bool highestAtEdge(const std::vector<CutPoint>& points)
{
    if (points.size() < 2)
        return false;
    const auto highest = std::max_element(points.begin(), points.end(),
                                          [](const CutPoint& a, const CutPoint& b) { return a.power < b.power; });
    const auto [first, last] = std::minmax_element(points.begin(), points.end(),
                                                   [](const CutPoint& a, const CutPoint& b) { return a.offset < b.offset; });
    return highest->offset == first->offset || highest->offset == last->offset;
}

struct WorkspaceFree {
    void operator()(gsl_multifit_nlinear_workspace* w) const { gsl_multifit_nlinear_free(w); }
};
struct MatrixFree {
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
};

// Parameters of the fit: centre, width, rise and baseline.
constexpr std::size_t kParameters = 4;

// A detector's noise grows with its power: the points on the sun scatter
// more in linear terms than those beside it. Each point counts by its own
// standard deviation of the mean, when every point has one; none when not.
std::vector<double> pointWeights(const std::vector<CutPoint>& points, const std::vector<LinearPoint>& linearPoints)
{
    std::vector<double> weights;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double sigma = points[i].spread / kDecibelsPerNeper * linearPoints[i].power
            / std::sqrt(static_cast<double>(std::max(points[i].count, 1)));
        if (!(sigma > 0)) {
            weights.clear();
            break;
        }
        weights.push_back(1.0 / (sigma * sigma));
    }
    return weights;
}

// The converged fit's figures and their errors into the result, in degrees
// and dB against the cut's weakest point (reference, dB); rise and base are
// the fit's own, in linear power over that point. Returns the rise's error.
double fitFigures(BeamFitResult& result, gsl_multifit_nlinear_workspace* workspace, gsl_matrix* covariance,
                  const std::vector<CutPoint>& points, const std::vector<LinearPoint>& linearPoints, double reference,
                  double rise, double base)
{
    // The residuals GSL keeps are weighted; the rms is told in plain linear power.
    double squares = 0;
    for (const LinearPoint& point : linearPoints) {
        const double u = (point.offset - result.centre) / result.width;
        const double residual = base + rise * std::exp(-kFourLn2 * u * u) - point.power;
        squares += residual * residual;
    }
    result.residualRms = std::sqrt(squares / static_cast<double>(points.size())) / base;
    const gsl_vector* f = gsl_multifit_nlinear_residual(workspace);
    double chiSquared = 0;
    gsl_blas_ddot(f, f, &chiSquared);
    const double dof = static_cast<double>(points.size() - kParameters);
    gsl_multifit_nlinear_covar(gsl_multifit_nlinear_jac(workspace), 0.0, covariance);
    // The covariance scaled by the residuals' own variance: the points'
    // stated spreads set their relative weights, the scatter the scale.
    const double scale = chiSquared / dof;
    const auto covar = [&](int i, int j) { return scale * gsl_matrix_get(covariance, i, j); };
    result.centreError = std::sqrt(covar(0, 0));
    result.widthError = std::sqrt(covar(1, 1));
    const double riseError = std::sqrt(covar(2, 2));
    // Y − 1 = R / B; its variance from R's, B's and their covariance, then
    // carried into dB through d(10 log10 Y) = 4.34 dY / Y.
    const double ratio = rise / base;
    const double ratioVariance = (covar(2, 2) - 2.0 * ratio * covar(2, 3) + ratio * ratio * covar(3, 3)) / (base * base);
    result.yDecibels = ratio > -1 ? kDecibelsPerNeper * std::log1p(ratio) : 0;
    result.yDecibelsError = kDecibelsPerNeper * std::sqrt(std::max(ratioVariance, 0.0)) / std::max(1.0 + ratio, 1e-12);
    result.baseline = reference + kDecibelsPerNeper * std::log(base);
    result.baselineError = kDecibelsPerNeper * std::sqrt(covar(3, 3)) / base;
    return riseError;
}

}  // namespace

BeamFitResult fitBeamCut(const std::vector<CutPoint>& points, double widthGuess)
{
    BeamFitResult result;
    result.highestAtEdge = highestAtEdge(points);
    if (points.size() < kParameters + 1) {
        result.refusal = FitRefusal::TooFewPoints;
        return result;
    }
    // GSL's default handler aborts the program; every status is checked here.
    gsl_set_error_handler_off();

    const auto byPower = [](const CutPoint& a, const CutPoint& b) { return a.power < b.power; };
    const double reference = std::min_element(points.begin(), points.end(), byPower)->power;
    std::vector<LinearPoint> linearPoints;
    for (const CutPoint& point : points)
        linearPoints.push_back({point.offset, linear(point.power, reference)});
    const auto highest = std::max_element(points.begin(), points.end(), byPower);
    double start[kParameters] = {highest->offset, widthGuess, linear(highest->power, reference) - 1.0, 1.0};
    if (start[2] <= 0)
        start[2] = 1;
    gsl_vector_view x0 = gsl_vector_view_array(start, kParameters);

    CutData data{&linearPoints};
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = residuals;
    fdf.df = jacobian;
    fdf.fvv = nullptr;
    fdf.n = points.size();
    fdf.p = kParameters;
    fdf.params = &data;
    gsl_multifit_nlinear_parameters parameters = gsl_multifit_nlinear_default_parameters();
    std::unique_ptr<gsl_multifit_nlinear_workspace, WorkspaceFree> workspace(
        gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &parameters, points.size(), kParameters));
    std::unique_ptr<gsl_matrix, MatrixFree> covariance(gsl_matrix_alloc(kParameters, kParameters));
    if (!workspace || !covariance) {
        result.refusal = FitRefusal::NotConverged;
        return result;
    }
    std::vector<double> weights = pointWeights(points, linearPoints);
    if (weights.empty()) {
        gsl_multifit_nlinear_init(&x0.vector, &fdf, workspace.get());
    } else {
        gsl_vector_view weightView = gsl_vector_view_array(weights.data(), weights.size());
        gsl_multifit_nlinear_winit(&x0.vector, &weightView.vector, &fdf, workspace.get());
    }
    int info = 0;
    const int status = gsl_multifit_nlinear_driver(kMaxIterations, 1e-10, 1e-10, 0.0, nullptr, nullptr, &info,
                                                   workspace.get());
    result.iterations = static_cast<int>(gsl_multifit_nlinear_niter(workspace.get()));
    const gsl_vector* x = gsl_multifit_nlinear_position(workspace.get());
    result.centre = gsl_vector_get(x, 0);
    result.width = std::abs(gsl_vector_get(x, 1));
    const double rise = gsl_vector_get(x, 2);
    const double base = gsl_vector_get(x, 3);
    if (status != GSL_SUCCESS || !std::isfinite(result.centre) || !std::isfinite(result.width) || !std::isfinite(rise)
        || !(base > 0) || !std::isfinite(base) || result.width == 0) {
        result.refusal = FitRefusal::NotConverged;
        return result;
    }

    const double riseError = fitFigures(result, workspace.get(), covariance.get(), points, linearPoints, reference, rise, base);

    const auto [first, last] = std::minmax_element(points.begin(), points.end(),
                                                   [](const CutPoint& a, const CutPoint& b) { return a.offset < b.offset; });
    if (rise <= 0 || rise < kPeakSignificance * riseError)
        result.refusal = FitRefusal::NoPeak;
    else if (result.centre < first->offset || result.centre > last->offset)
        result.refusal = FitRefusal::CentreOutsideSpan;
    return result;
}

namespace {

struct ThreePointShape {
    bool peaked = false;
    double centre = 0;
    double width = 0;
    double yDecibels = 0;
    double ratio = 0;  // Y − 1
};

// ln(P − B) is a parabola in x for a Gaussian: −k (x − centre)² + c, with
// k = 4 ln 2 / width², P and B in linear power (here relative to B). The
// parabola through the three points gives it.
ThreePointShape shapeThrough(const double (&x)[3], const double (&power)[3], double baseline)
{
    ThreePointShape shape;
    double y[3];
    for (int i = 0; i < 3; ++i) {
        const double rise = linear(power[i], baseline) - 1.0;
        if (!(rise > 0))
            return shape;
        y[i] = std::log(rise);
    }
    // Divided differences: y = a2 x² + a1 x + a0.
    const double d01 = (y[1] - y[0]) / (x[1] - x[0]);
    const double d12 = (y[2] - y[1]) / (x[2] - x[1]);
    const double a2 = (d12 - d01) / (x[2] - x[0]);
    const double a1 = d01 - a2 * (x[0] + x[1]);
    const double a0 = y[0] - a2 * x[0] * x[0] - a1 * x[0];
    const double k = -a2;
    if (!(k > 0))
        return shape;
    shape.peaked = true;
    shape.centre = a1 / (2.0 * k);
    shape.width = std::sqrt(kFourLn2 / k);
    shape.ratio = std::exp(a0 + k * shape.centre * shape.centre);
    shape.yDecibels = kDecibelsPerNeper * std::log1p(shape.ratio);
    return shape;
}

}  // namespace

BeamFitResult threePointBeam(const CutPoint (&points)[3], double baseline, double baselineError)
{
    BeamFitResult result;
    result.baseline = baseline;
    result.baselineError = baselineError;
    double x[3];
    double power[3];
    double sigma[3];
    for (int i = 0; i < 3; ++i) {
        x[i] = points[i].offset;
        power[i] = points[i].power;
        sigma[i] = points[i].count > 0 ? points[i].spread / std::sqrt(static_cast<double>(points[i].count)) : 0;
    }
    if (x[0] == x[1] || x[1] == x[2] || x[0] == x[2]) {
        result.refusal = FitRefusal::TooFewPoints;
        return result;
    }
    const double highest = std::max({power[0], power[1], power[2]});
    result.highestAtEdge = highest != power[1];
    const ThreePointShape shape = shapeThrough(x, power, baseline);
    if (!shape.peaked) {
        result.refusal = FitRefusal::NoPeak;
        return result;
    }
    result.centre = shape.centre;
    result.width = shape.width;
    result.yDecibels = shape.yDecibels;

    // Each input's standard deviation carried through by a numerical
    // derivative; the inputs are independent readings.
    double varCentre = 0;
    double varWidth = 0;
    double varRatio = 0;
    const auto carry = [&](double partialCentre, double partialWidth, double partialRatio, double sd) {
        varCentre += partialCentre * partialCentre * sd * sd;
        varWidth += partialWidth * partialWidth * sd * sd;
        varRatio += partialRatio * partialRatio * sd * sd;
    };
    constexpr double kStep = 1e-4;  // dB
    for (int i = 0; i < 4; ++i) {
        double moved[3] = {power[0], power[1], power[2]};
        double movedBaseline = baseline;
        if (i < 3)
            moved[i] += kStep;
        else
            movedBaseline += kStep;
        const ThreePointShape other = shapeThrough(x, moved, movedBaseline);
        if (!other.peaked)
            continue;
        carry((other.centre - shape.centre) / kStep, (other.width - shape.width) / kStep, (other.ratio - shape.ratio) / kStep,
              i < 3 ? sigma[i] : baselineError);
    }
    result.centreError = std::sqrt(varCentre);
    result.widthError = std::sqrt(varWidth);
    const double ratioError = std::sqrt(varRatio);
    result.yDecibelsError = kDecibelsPerNeper * ratioError / (1.0 + shape.ratio);
    // Three readings of sky beside the sun can make a peak out of their own
    // scatter; a rise the readings' spread accounts for is no sun.
    if (shape.ratio < kPeakSignificance * ratioError) {
        result.refusal = FitRefusal::NoPeak;
        return result;
    }
    const double lowestOffset = std::min({x[0], x[1], x[2]});
    const double highestOffset = std::max({x[0], x[1], x[2]});
    if (result.centre < lowestOffset || result.centre > highestOffset)
        result.refusal = FitRefusal::CentreOutsideSpan;
    return result;
}

CutPoint onTheOtherAxisPeak(const CutPoint& point, double otherOffset, const BeamFitResult& otherAxis, double baseline)
{
    const double u = (otherOffset - otherAxis.centre) / otherAxis.width;
    const double gain = std::exp(-kFourLn2 * u * u);
    CutPoint moved = point;
    const double rise = linear(point.power, baseline) - 1.0;
    if (rise > 0 && gain > 0)
        moved.power = baseline + kDecibelsPerNeper * std::log1p(rise / gain);
    return moved;
}

}  // namespace heliotrope::beamfit
