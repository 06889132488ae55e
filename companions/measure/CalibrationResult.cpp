#include "companions/measure/CalibrationResult.h"

#include <algorithm>
#include <cmath>

using heliotrope::beamfit::BeamFitResult;
using heliotrope::beamfit::CutPoint;
using heliotrope::beamfit::FitRefusal;
using heliotrope::companions::bilingual;
using heliotrope::companions::Words;

namespace heliotrope::measure {

QString pointRoleName(PointRole role)
{
    switch (role) {
    case PointRole::CrossElevation:
        return QStringLiteral("xel");
    case PointRole::Elevation:
        return QStringLiteral("el");
    case PointRole::Centre:
        return QStringLiteral("centre");
    case PointRole::Baseline:
        return QStringLiteral("baseline");
    }
    return {};
}

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979 / 180.0;

CutPoint cutPoint(const MeasuredPoint& point, bool alongElevation)
{
    return {alongElevation ? point.elevation : point.crossElevation, point.dwell.power, point.dwell.spread, point.dwell.count};
}

}  // namespace

std::vector<CutPoint> cutPoints(const std::vector<MeasuredPoint>& points, PointRole axis)
{
    std::vector<CutPoint> cut;
    for (const MeasuredPoint& point : points) {
        if (!point.skipped && point.role == axis)
            cut.push_back(cutPoint(point, axis == PointRole::Elevation));
    }
    return cut;
}

Words refusalText(const BeamFitResult& fit, const QString& axisJa, const QString& axisEn)
{
    Words text;
    switch (fit.refusal) {
    case FitRefusal::None:
        return {};
    case FitRefusal::TooFewPoints:
        text = {QStringLiteral("%1の点が足りず、当てはめられません。").arg(axisJa), QStringLiteral("Too few points on the %1 cut to fit.").arg(axisEn)};
        break;
    case FitRefusal::NotConverged:
        text = {QStringLiteral("%1のガウス当てはめが収束しません。").arg(axisJa), QStringLiteral("The Gaussian fit of the %1 cut did not converge.").arg(axisEn)};
        break;
    case FitRefusal::NoPeak:
        text = {QStringLiteral("%1に太陽のピークが見えません（ベースラインからの上昇が雑音に埋もれています）。受信機の AGC を切り、--power の読みが太陽で上がるか確かめてください。").arg(axisJa),
                QStringLiteral("No peak of the sun on the %1 cut (no rise over the baseline above the noise). Turn the receiver's AGC "
                               "off and check that the --power reading rises on the sun.")
                    .arg(axisEn)};
        break;
    case FitRefusal::CentreOutsideSpan:
        text = {QStringLiteral("%1のピーク %2° がスキャンの範囲の外です。").arg(axisJa, QString::number(fit.centre, 'f', 2)),
                QStringLiteral("The peak of the %1 cut (%2°) lies outside the scan.").arg(axisEn, QString::number(fit.centre, 'f', 2))};
        break;
    }
    if (fit.highestAtEdge) {
        text += {QStringLiteral("最も強い点がスキャンの端にあり、太陽はその外にあるようです。--span を広げるか、--az-offset と --el-offset を見直してください。"),
                 QStringLiteral("The strongest point is at the end of the scan: the sun seems to lie beyond it. Widen --span, "
                                "or check --az-offset and --el-offset.")};
    }
    return text;
}

namespace {

// The sun's mean elevation over the points measured, degrees.
double meanSunElevation(const std::vector<MeasuredPoint>& points)
{
    double elevationSum = 0;
    int measured = 0;
    for (const MeasuredPoint& point : points) {
        if (!point.skipped) {
            elevationSum += point.sunElevation;
            ++measured;
        }
    }
    return measured > 0 ? elevationSum / measured : 0;
}

// The five points solved in closed form, each cut through the centre. False,
// with the outcome's refusal said, when a point of the pattern is missing.
bool fitFivePoint(CalibrationOutcome& outcome)
{
    // The baseline off the sun, both sides averaged; each side's mean has
    // its own standard deviation of the mean.
    double baselineSum = 0;
    double varianceSum = 0;
    int baselines = 0;
    const MeasuredPoint* centre = nullptr;
    const MeasuredPoint* west = nullptr;
    const MeasuredPoint* east = nullptr;
    const MeasuredPoint* south = nullptr;
    const MeasuredPoint* north = nullptr;
    for (const MeasuredPoint& point : outcome.points) {
        if (point.skipped)
            continue;
        if (point.role == PointRole::Baseline) {
            baselineSum += point.dwell.power;
            varianceSum += point.dwell.count > 0 ? point.dwell.spread * point.dwell.spread / point.dwell.count : 0;
            ++baselines;
        } else if (point.role == PointRole::Centre) {
            centre = &point;
        } else if (point.role == PointRole::CrossElevation) {
            (point.plannedCrossElevation < 0 ? west : east) = &point;
        } else {
            (point.plannedElevation < 0 ? south : north) = &point;
        }
    }
    if (!centre || !west || !east || !south || !north || baselines == 0) {
        outcome.refusalEnglish = QStringLiteral("A point of the five-point pattern is missing (the rotator did not settle there).");
        outcome.refusal = bilingual(QStringLiteral("5 点法の点が欠けています（ローテーターが着かなかった点があります）。"), outcome.refusalEnglish);
        return false;
    }
    const double baseline = baselineSum / baselines;
    const double baselineError = std::sqrt(varianceSum) / baselines;
    const MeasuredPoint* acrossPoints[3] = {west, centre, east};
    const MeasuredPoint* upwardPoints[3] = {south, centre, north};
    const auto solve = [&](const MeasuredPoint*(&cutOf)[3], bool alongElevation, const BeamFitResult* other) {
        CutPoint cut[3];
        for (int i = 0; i < 3; ++i) {
            cut[i] = cutPoint(*cutOf[i], alongElevation);
            if (other && other->ok())
                cut[i] = heliotrope::beamfit::onTheOtherAxisPeak(
                    cut[i], alongElevation ? cutOf[i]->crossElevation : cutOf[i]->elevation, *other, baseline);
        }
        return heliotrope::beamfit::threePointBeam(cut, baseline, baselineError);
    };
    outcome.crossElevationFit = solve(acrossPoints, false, nullptr);
    outcome.elevationFit = solve(upwardPoints, true, nullptr);
    // A rotator that cannot put the three points of a cut on one line
    // (a whole-degree azimuth under an elevation cut) leaves each point
    // somewhat across the beam: each axis is solved again with the other
    // axis's Gaussian divided out, until both settle.
    for (int pass = 0; pass < 4; ++pass) {
        const BeamFitResult across = outcome.crossElevationFit;
        outcome.crossElevationFit = solve(acrossPoints, false, &outcome.elevationFit);
        outcome.elevationFit = solve(upwardPoints, true, &across);
    }
    return true;
}

// Each point's place is known within its own uncertainty; over a cut of n
// points that moves the centre by about the largest of them over √n,
// added to what the scatter of the power allows. What the points share
// (a dead band not seen) moves the whole cut, and is added whole. An
// azimuth's degrees are cos e of the sky's. Degrees on the sky.
double withPositions(const std::vector<MeasuredPoint>& points, double cosine, double error, PointRole axis)
{
    double uncertainty = 0;
    double shared = 0;
    int n = 0;
    const bool azimuth = axis == PointRole::CrossElevation;
    const double onSky = azimuth ? cosine : 1.0;
    for (const MeasuredPoint& point : points) {
        if (!point.skipped && (point.role == axis || point.role == PointRole::Centre)) {
            const Dwell& d = point.dwell;
            uncertainty = std::max(uncertainty, onSky * (azimuth ? d.pointUncertainty.azimuth : d.pointUncertainty.elevation));
            shared = std::max(shared, onSky * (azimuth ? d.sharedUncertainty.azimuth : d.sharedUncertainty.elevation));
            ++n;
        }
    }
    return n > 0 ? std::hypot(error, uncertainty / std::sqrt(static_cast<double>(n)), shared) : error;
}

}  // namespace

CalibrationOutcome evaluateCalibration(CalibrationPattern pattern, std::vector<MeasuredPoint> points, double beamwidth)
{
    CalibrationOutcome outcome;
    outcome.pattern = pattern;
    outcome.points = std::move(points);
    outcome.sunElevation = meanSunElevation(outcome.points);

    const QString xelJa = QStringLiteral("クロス仰角（方位）方向のスキャン");
    const QString xelEn = QStringLiteral("cross-elevation");
    const QString elJa = QStringLiteral("仰角方向のスキャン");
    const QString elEn = QStringLiteral("elevation");
    if (pattern == CalibrationPattern::Cross) {
        outcome.crossElevationFit = heliotrope::beamfit::fitBeamCut(cutPoints(outcome.points, PointRole::CrossElevation), beamwidth);
        outcome.elevationFit = heliotrope::beamfit::fitBeamCut(cutPoints(outcome.points, PointRole::Elevation), beamwidth);
    } else if (!fitFivePoint(outcome)) {
        return outcome;
    }

    Words refusals;
    if (!outcome.crossElevationFit.ok())
        refusals += refusalText(outcome.crossElevationFit, xelJa, xelEn);
    if (!outcome.elevationFit.ok())
        refusals += refusalText(outcome.elevationFit, elJa, elEn);
    const double cosine = std::cos(outcome.sunElevation * kRadiansPerDegree);
    if (refusals.isEmpty() && cosine < 0.02) {
        refusals = {QStringLiteral("太陽が天頂に近すぎ、方位角のずれを求められません。太陽が低くなってから較正し直してください。"),
                    QStringLiteral("The sun is too near the zenith to find the azimuth offset: calibrate again when the sun is lower.")};
    }
    if (!refusals.isEmpty()) {
        outcome.refusal = refusals.text();
        outcome.refusalEnglish = refusals.english;
        return outcome;
    }
    outcome.ok = true;
    outcome.azimuthOffset = outcome.crossElevationFit.centre / cosine;
    outcome.azimuthOffsetError = withPositions(outcome.points, cosine, outcome.crossElevationFit.centreError, PointRole::CrossElevation) / cosine;
    outcome.elevationOffset = outcome.elevationFit.centre;
    outcome.elevationOffsetError = withPositions(outcome.points, cosine, outcome.elevationFit.centreError, PointRole::Elevation);
    return outcome;
}

}  // namespace heliotrope::measure
