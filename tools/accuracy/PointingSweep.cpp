// How well a pointing model fitted from one day of scans on the sun points a
// known mount (docs/pointing.md): a mount with the errors small stations
// have, a 2° beam at a site in Japan, a cross scan every 45 minutes while the
// sun is above 10°, each scan simulated point by point (the sun through the
// beam in linear power, 0.1 dB of noise, read in whole dB through rigctld,
// the peak found by the calibration's own fit, each scan centred on the
// offsets the last one found), on a rotator that stands anywhere and on ones
// that stand only on whole degrees (GS-232B) or half degrees (Rot2Prog). Then
// the model points the beam blind at the sun at other times of that day and
// 30 days later, beside the constant offsets of one noon scan. Development
// only.
//
//   heliotrope-pointing-sweep [--picture FILE.png] [--seed N]

#include "companions/beamfit/BeamFit.h"
#include "companions/pointing/PointingFit.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTimeZone>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace heliotrope::pointing;
using heliotrope::beamfit::CutPoint;

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
const double kFourLn2 = 4.0 * std::log(2.0);
constexpr double kBeamwidth = 2.0;
constexpr double kPeakDecibels = 10;
constexpr double kBaselineDecibels = -30;
constexpr double kNoiseDecibels = 0.1;
constexpr int kReadingsPerPoint = 5;
const double kWholeDecibel = 1 / std::sqrt(12.0);  // the standard deviation of rounding to whole dB
constexpr double kLowestSun = 10;
const heliotrope::sky::Site kSite{35.68, 139.77, 40};  // Tokyo

MountModel truthMount()
{
    MountModel m;
    m[Term::IA] = 0.3;
    m[Term::IE] = -0.2;
    m[Term::CA] = 0.3;
    m[Term::NPAE] = 0.15;
    m[Term::AN] = 0.4;
    m[Term::AW] = -0.3;
    m[Term::TF] = 0.2;
    m[Term::ES] = 0.01;
    return m;
}

Direction sunAt(double utc)
{
    const heliotrope::sky::TrueSunPosition s = heliotrope::sky::trueSunTopocentric(utc, kSite);
    return {s.azimuth, s.elevation};
}

// The instants from `start` for a day, `every` seconds apart, with the sun above 10°.
std::vector<double> sunUp(double start, double every)
{
    std::vector<double> times;
    for (double t = start; t < start + 86400; t += every) {
        if (sunAt(t).elevation > kLowestSun)
            times.push_back(t);
    }
    return times;
}

double onStep(double value, double step)
{
    return step > 0 ? std::round(value / step) * step : value;
}

Direction commandOnStep(Direction d, double step)
{
    return {onStep(d.azimuth, step), onStep(d.elevation, step)};
}

struct Simulation {
    MountModel truth = truthMount();
    std::mt19937_64 random;
    std::normal_distribution<double> noise{0.0, kNoiseDecibels};

    // The power the detector reads with the rotator at `reading`, as the mean
    // of a few readings in linear power, in dB.
    CutPoint point(double offset, Direction reading, Direction sun)
    {
        const double separation = separationOnSky(beamOnSky(truth, reading), sun) / kBeamwidth;
        const double y = std::pow(10.0, kPeakDecibels / 10.0);
        const double clean = kBaselineDecibels + 10 * std::log10(1 + (y - 1) * std::exp(-kFourLn2 * separation * separation));
        // Read through rigctld, as a radio's S-meter: whole dB.
        double linear = 0;
        double sum = 0;
        double sumSquares = 0;
        for (int i = 0; i < kReadingsPerPoint; ++i) {
            const double decibels = std::round(clean + noise(random));
            linear += std::pow(10.0, decibels / 10.0);
            sum += decibels;
            sumSquares += decibels * decibels;
        }
        const double mean = sum / kReadingsPerPoint;
        const double spread = std::sqrt(std::max(0.0, sumSquares / kReadingsPerPoint - mean * mean));
        // Equal readings still hide up to half a dB either way.
        return {offset, 10 * std::log10(linear / kReadingsPerPoint), std::max(spread, kWholeDecibel), kReadingsPerPoint};
    }

    // A cross scan on the sun at `utc`: 17 points a cut over ±2°, each where
    // the rotator stands (on its step), the peak of each cut fitted.
    // The offsets the last scan found, straight and over the top: a station
    // centres each scan on them, so that each cut passes through the beam's
    // peak. (A cut in azimuth along the sun's own elevation would cross the
    // beam a few tenths below or above it, where the mount's azimuth terms
    // are already a hundredth of a degree different.)
    std::array<Direction, 2> lastOffset{};

    std::optional<Scan> scan(double utc, double step, bool overTheTop)
    {
        const Direction sun = sunAt(utc);
        const Direction computed = mountAngles(sun, overTheTop);
        Direction& previous = lastOffset[overTheTop ? 1 : 0];
        const Direction centre{computed.azimuth + previous.azimuth, computed.elevation + previous.elevation};
        const double cosE = std::cos(centre.elevation * kDegree);
        std::vector<CutPoint> across;
        std::vector<CutPoint> up;
        for (int k = -8; k <= 8; ++k) {
            const double x = 0.25 * k;
            const Direction a = commandOnStep({centre.azimuth + x / cosE, centre.elevation}, step);
            across.push_back(point(wrapSigned(a.azimuth - centre.azimuth) * cosE, a, sun));
            const Direction e = commandOnStep({centre.azimuth, centre.elevation + x}, step);
            up.push_back(point(e.elevation - centre.elevation, e, sun));
        }
        const heliotrope::beamfit::BeamFitResult fx = heliotrope::beamfit::fitBeamCut(across, kBeamwidth);
        const heliotrope::beamfit::BeamFitResult fe = heliotrope::beamfit::fitBeamCut(up, kBeamwidth);
        if (!fx.ok() || !fe.ok())
            return std::nullopt;
        Scan s;
        s.utc = utc;
        s.sun = sun;
        s.reading = {centre.azimuth + fx.centre / cosE, centre.elevation + fe.centre};
        previous = {wrapSigned(s.reading.azimuth - computed.azimuth), s.reading.elevation - computed.elevation};
        s.crossElevationError = std::max(fx.centreError, 1e-4);
        s.elevationError = std::max(fe.centreError, 1e-4);
        return s;
    }
};

// The beam's miss on the sky, in beamwidths, rms over the instants, with the
// rotator commanded by `command`.
template <typename Command>
double blindRms(const MountModel& truth, const std::vector<double>& times, double step, Command command)
{
    double sum = 0;
    for (double t : times) {
        const Direction sun = sunAt(t);
        const Direction reading = commandOnStep(command(sun), step);
        const double miss = separationOnSky(beamOnSky(truth, reading), sun) / kBeamwidth;
        sum += miss * miss;
    }
    return std::sqrt(sum / static_cast<double>(times.size()));
}

struct RowResult {
    std::vector<Scan> scans;
    PointingFit fit;
    double sameDay = 0, sameDayOffStep = 0, monthOn = 0, noonSameDay = 0, noonMonthOn = 0;
};

struct Row {
    const char* name;
    double step;
    bool flip;
    double scatter = 0;  // degrees on the sky added to each found centre and to its σ: wind, drift
};

RowResult runRow(const Row& row, double dayStart, std::uint64_t seed, bool blind = true)
{
    Simulation sim;
    sim.random.seed(seed);
    RowResult r;
    int n = 0;
    for (double t : sunUp(dayStart, 45 * 60)) {
        if (std::optional<Scan> s = sim.scan(t, row.step, row.flip && n % 2 == 1)) {
            if (row.scatter > 0) {
                std::normal_distribution<double> gauss(0, row.scatter);
                s->reading.azimuth += gauss(sim.random) / std::abs(std::cos(s->reading.elevation * kDegree));
                s->reading.elevation += gauss(sim.random);
                s->crossElevationError = std::hypot(s->crossElevationError, row.scatter);
                s->elevationError = std::hypot(s->elevationError, row.scatter);
            }
            r.scans.push_back(*s);
        }
        ++n;
    }
    const FitRequest req;
    r.fit = fitPointingModel(r.scans, req);
    if (!blind)
        return r;
    const std::vector<double> today = sunUp(dayStart + 20 * 60, 10 * 60);
    const std::vector<double> month = sunUp(dayStart + 30 * 86400 + 20 * 60, 10 * 60);
    const MountModel model = r.fit.model;
    const auto withModel = [&](Direction sun) { return commandFor(model, sun).reading; };
    r.sameDay = blindRms(sim.truth, today, row.step, withModel);
    r.sameDayOffStep = blindRms(sim.truth, today, 0, withModel);
    r.monthOn = blindRms(sim.truth, month, row.step, withModel);
    // The constant offsets of the scan nearest noon (the sun's highest).
    const Scan* noon = &r.scans.front();
    for (const Scan& s : r.scans) {
        if (s.reading.elevation <= 90 && s.sun.elevation > noon->sun.elevation)
            noon = &s;
    }
    const Direction offset{wrapSigned(noon->reading.azimuth - noon->sun.azimuth), noon->reading.elevation - noon->sun.elevation};
    const auto withOffsets = [&](Direction sun) { return Direction{sun.azimuth + offset.azimuth, sun.elevation + offset.elevation}; };
    r.noonSameDay = blindRms(sim.truth, today, row.step, withOffsets);
    r.noonMonthOn = blindRms(sim.truth, month, row.step, withOffsets);
    return r;
}

std::string tiesText(const PointingFit& fit)
{
    std::string text;
    for (const Tie& tie : fit.ties) {
        char line[64];
        std::snprintf(line, sizeof line, "%s%s (r %+.3f) by ", text.empty() ? "" : "; ", termName(tie.setAside), tie.correlation);
        text += line;
        for (std::size_t i = 0; i < tie.carriedBy.size(); ++i)
            text += std::string(i ? "+" : "") + termName(tie.carriedBy[i]);
    }
    return text.empty() ? "none" : text;
}

void printTerms(const char* name, const PointingFit& fit, const MountModel& truth)
{
    std::printf("\n#### %s: each term against the truth\n\n", name);
    std::printf("| term | truth | fitted ± 1σ | (fitted − truth)/σ | |\n|---|---|---|---|---|\n");
    for (const TermEstimate& e : fit.terms) {
        const double scale = isScaleTerm(e.term) ? 100 : 1;
        const char* unit = isScaleTerm(e.term) ? " %" : "°";
        std::string note;
        for (const Tie& tie : fit.ties) {
            if (std::find(tie.carriedBy.begin(), tie.carriedBy.end(), e.term) != tie.carriedBy.end())
                note += std::string(note.empty() ? "carries " : ", ") + termName(tie.setAside);
            if (tie.setAside == e.term)
                note = "tied, set aside";
        }
        if (e.fitted && e.carries) {
            std::printf("| %s | %.3f%s | %.3f ± %.3f%s | (carries) | %s |\n", termName(e.term), truth[e.term] * scale, unit, e.value * scale,
                        e.uncertainty * scale, unit, note.c_str());
        } else if (e.fitted) {
            std::printf("| %s | %.3f%s | %.3f ± %.3f%s | %+.1f | %s |\n", termName(e.term), truth[e.term] * scale, unit, e.value * scale,
                        e.uncertainty * scale, unit, (e.value - truth[e.term]) / e.uncertainty, note.c_str());
        } else {
            std::printf("| %s | %.3f%s | — | — | %s |\n", termName(e.term), truth[e.term] * scale, unit, note.c_str());
        }
    }
}

// The fit's time for a year of daily scans: one scan a day at an hour of the
// sun's, 365 of them, and the same with a scan every 45 minutes.
void timeAYear(double dayStart)
{
    Simulation sim;
    sim.random.seed(7);
    std::vector<Scan> daily;
    std::vector<Scan> many;
    std::uniform_real_distribution<double> jitter(-0.01, 0.01);
    for (int day = 0; day < 365; ++day) {
        const std::vector<double> times = sunUp(dayStart + day * 86400.0, 45 * 60);
        for (std::size_t i = 0; i < times.size(); ++i) {
            const Direction sun = sunAt(times[i]);
            Scan s{times[i], sun, commandFor(sim.truth, sun).reading, 0.01, 0.01};
            s.reading.azimuth += jitter(sim.random);
            s.reading.elevation += jitter(sim.random);
            many.push_back(s);
            if (i == static_cast<std::size_t>(day) % times.size())
                daily.push_back(s);
        }
    }
    for (const std::vector<Scan>* scans : {&daily, &many}) {
        const auto start = std::chrono::steady_clock::now();
        constexpr int kRepeats = 20;
        PointingFit fit;
        for (int i = 0; i < kRepeats; ++i)
            fit = fitPointingModel(*scans, FitRequest{});
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRepeats;
        std::printf("| %zu scans | %.2f ms | %zu terms fitted, ties: %s |\n", scans->size(), ms, fit.fitted.size(), tiesText(fit).c_str());
    }
}

// Residuals before (grey) and after (blue) against azimuth and elevation:
// cross-elevation above, elevation below.
void drawPicture(const RowResult& r, const QString& file)
{
    constexpr int kW = 1200;
    constexpr int kH = 760;
    QImage image(kW, kH, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    const std::vector<Direction> before = skyResiduals(r.scans, MountModel{});
    const std::vector<Direction> after = skyResiduals(r.scans, r.fit.model);
    constexpr double kTop = 1.25;  // degrees either way
    const char* axes[2] = {"azimuth", "elevation"};
    const char* rows[2] = {"cross-elevation residual", "elevation residual"};
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 2; ++col) {
            const QRect area(80 + col * 570, 50 + row * 350, 520, 280);
            const double lo = col == 0 ? 60 : 0;
            const double hi = col == 0 ? 300 : 90;
            p.setPen(QColor(90, 90, 90));
            p.setBrush(Qt::NoBrush);
            p.drawRect(area);
            for (double v = -kTop; v <= kTop + 1e-9; v += 0.25) {
                const double y = area.center().y() - v / kTop * area.height() / 2;
                p.setPen(v == 0 ? QColor(160, 160, 160) : QColor(230, 230, 230));
                p.drawLine(QPointF(area.left() + 1, y), QPointF(area.right() - 1, y));
                p.setPen(Qt::black);
                p.drawText(QRectF(area.left() - 70, y - 9, 64, 18), Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', 2) + QStringLiteral("°"));
            }
            for (double v = lo; v <= hi + 1e-9; v += col == 0 ? 30 : 15) {
                const double x = area.left() + (v - lo) / (hi - lo) * area.width();
                p.drawText(QRectF(x - 30, area.bottom() + 4, 60, 18), Qt::AlignHCenter, QString::number(v) + QStringLiteral("°"));
            }
            p.drawText(QRectF(area.left(), area.top() - 26, area.width(), 20), Qt::AlignLeft,
                       QStringLiteral("%1 against %2").arg(QString::fromLatin1(rows[row]), QString::fromLatin1(axes[col])));
            for (int which = 0; which < 2; ++which) {
                const std::vector<Direction>& points = which == 0 ? before : after;
                p.setPen(Qt::NoPen);
                p.setBrush(which == 0 ? QColor(150, 150, 150) : QColor(30, 90, 200));
                for (std::size_t i = 0; i < points.size(); ++i) {
                    const double along = col == 0 ? r.scans[i].sun.azimuth : r.scans[i].sun.elevation;
                    const double value = row == 0 ? points[i].azimuth : points[i].elevation;
                    const double x = area.left() + (along - lo) / (hi - lo) * area.width();
                    const double y = area.center().y() - std::clamp(value, -kTop, kTop) / kTop * area.height() / 2;
                    p.drawEllipse(QPointF(x, y), 4.5, 4.5);
                }
            }
        }
    }
    p.setPen(Qt::black);
    p.drawText(QRectF(80, 726, 1100, 24), Qt::AlignLeft,
               QStringLiteral("Grey: the scans' offsets with no model (rms %1° on the sky). Blue: after the fitted model (rms %2°). One day, Tokyo, every 45 min.")
                   .arg(r.fit.rmsBefore, 0, 'f', 3)
                   .arg(r.fit.rmsAfter, 0, 'f', 3));
    p.end();
    image.save(file);
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QString picture;
    std::uint64_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--picture") == 0)
            picture = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seed") == 0)
            seed = std::strtoull(argv[i + 1], nullptr, 10);
    }
    // 2026-05-01 00:00 JST.
    const double dayStart = static_cast<double>(QDateTime(QDate(2026, 5, 1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch() - 9 * 3600);
    const MountModel truth = truthMount();
    std::printf("Mount: %s; beam %.1f°; Tokyo, 2026-05-01 JST; a cross scan every 45 min with the sun above 10°.\n\n", mountText(truth).c_str(), kBeamwidth);
    std::printf("| rotator | scans, σ of each | rms before → after (°) | blind, same day | 30 days on | noon offsets, same day | 30 days on | ties |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const Row rows[] = {{"any position", 0, false},
                        {"any position, every other scan flipped", 0, true},
                        {"whole degrees (GS-232B)", 1.0, false},
                        {"half degrees (Rot2Prog)", 0.5, false},
                        {"any position, 0.04° more scatter a scan", 0, false, 0.04}};
    std::vector<RowResult> results;
    for (const Row& row : rows) {
        results.push_back(runRow(row, dayStart, seed));
        const RowResult& r = results.back();
        char sameDay[64];
        if (row.step > 0)
            std::snprintf(sameDay, sizeof sameDay, "%.3f (%.3f off the step)", r.sameDay, r.sameDayOffStep);
        else
            std::snprintf(sameDay, sizeof sameDay, "%.3f", r.sameDay);
        double sigma = 0;
        for (const Scan& scan : r.scans)
            sigma += (scan.crossElevationError + scan.elevationError) / 2 / static_cast<double>(r.scans.size());
        std::printf("| %s | %zu, ±%.3f° | %.3f → %.3f | %s | %.3f | %.3f | %.3f | %s |\n", row.name, r.scans.size(), sigma, r.fit.rmsBefore, r.fit.rmsAfter, sameDay,
                    r.monthOn, r.noonSameDay, r.noonMonthOn, tiesText(r.fit).c_str());
    }
    for (std::size_t i = 0; i < results.size(); ++i)
        printTerms(rows[i].name, results[i].fit, truth);
    // The same day over many seeds: how the errors of the terms the data
    // separate (fitted, carrying nothing) scatter against their stated
    // uncertainties.
    constexpr int kSeeds = 40;
    std::printf("\n#### Over %d seeds: rms of (fitted − truth)/σ for the terms the data separate\n\n| rotator |", kSeeds);
    for (Term term : kAllTerms)
        std::printf(" %s |", termName(term));
    std::printf("\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        std::array<double, kTermCount> sum{};
        std::array<int, kTermCount> count{};
        for (int s = 0; s < kSeeds; ++s) {
            const RowResult r = runRow(row, dayStart, seed * 1000 + static_cast<std::uint64_t>(s), false);
            for (const TermEstimate& e : r.fit.terms) {
                if (!e.fitted || e.carries)
                    continue;
                const double pull = (e.value - truth[e.term]) / e.uncertainty;
                sum[static_cast<std::size_t>(termIndex(e.term))] += pull * pull;
                ++count[static_cast<std::size_t>(termIndex(e.term))];
            }
        }
        std::printf("| %s |", row.name);
        for (Term term : kAllTerms) {
            const auto i = static_cast<std::size_t>(termIndex(term));
            if (count[i] == kSeeds)
                std::printf(" %.2f |", std::sqrt(sum[i] / count[i]));
            else if (count[i] > 0)
                std::printf(" %.2f (%d) |", std::sqrt(sum[i] / count[i]), count[i]);
            else
                std::printf(" — |");
        }
        std::printf("\n");
    }
    std::printf("\n#### The fit's time\n\n| scans | time | |\n|---|---|---|\n");
    timeAYear(dayStart);
    if (!picture.isEmpty())
        drawPicture(results.front(), picture);
    return 0;
}
