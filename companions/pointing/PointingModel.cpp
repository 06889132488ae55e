#include "companions/pointing/PointingModel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace heliotrope::pointing {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
// Within this of the zenith the azimuth terms keep their value here.
constexpr double kZenithGuard = 1.0;
const double kSmallestCos = std::sin(kZenithGuard * kDegree);
// A mount off by more than this is not a pointing model's business.
constexpr double kLargestAngle = 10;
constexpr double kLargestScale = 0.2;
constexpr int kMaxIterations = 50;
constexpr double kTolerance = 1e-10;  // degrees

constexpr std::array<const char*, kTermCount> kNames{"IA", "IE", "CA", "NPAE", "AN", "AW", "TF", "AS", "ES"};

// cos e held away from zero, keeping its sign (negative over the top).
double guardedCos(double elevation)
{
    const double c = std::cos(elevation * kDegree);
    if (std::abs(c) >= kSmallestCos)
        return c;
    return c < 0 ? -kSmallestCos : kSmallestCos;
}

double readingInRange(const MountModel& model, double azimuth)
{
    const double start = model.azimuthRangeStart;
    double a = std::fmod(azimuth - start, 360.0);
    if (a < 0)
        a += 360.0;
    return start + a;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(trimmed(text.substr(0, at)));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

}  // namespace

const char* termName(Term term)
{
    return kNames[static_cast<std::size_t>(termIndex(term))];
}

std::optional<Term> termNamed(std::string_view name)
{
    for (Term term : kAllTerms) {
        const std::string_view candidate = termName(term);
        if (candidate.size() == name.size()
            && std::equal(candidate.begin(), candidate.end(), name.begin(),
                          [](char a, char b) { return a == static_cast<char>(std::toupper(static_cast<unsigned char>(b))); }))
            return term;
    }
    return std::nullopt;
}

bool isScaleTerm(Term term)
{
    return term == Term::AS || term == Term::ES;
}

bool MountModel::isZero() const
{
    return std::all_of(values.begin(), values.end(), [](double v) { return v == 0; });
}

double wrapSigned(double degrees)
{
    double a = std::fmod(degrees + 180.0, 360.0);
    if (a < 0)
        a += 360.0;
    return a - 180.0;
}

Direction termShape(const MountModel& model, Term term, Direction reading)
{
    const double a = reading.azimuth * kDegree;
    const double cosE = guardedCos(reading.elevation);
    const double tanE = std::sin(reading.elevation * kDegree) / cosE;
    switch (term) {
    case Term::IA:
        return {-1, 0};
    case Term::IE:
        return {0, 1};
    case Term::CA:
        return {-1 / cosE, 0};
    case Term::NPAE:
        return {-tanE, 0};
    case Term::AN:
        return {-std::sin(a) * tanE, -std::cos(a)};
    case Term::AW:
        return {-std::cos(a) * tanE, std::sin(a)};
    case Term::TF:
        return {0, std::cos(reading.elevation * kDegree)};
    case Term::AS:
        return {readingInRange(model, reading.azimuth) - (model.azimuthRangeStart + 180.0), 0};
    case Term::ES:
        return {0, reading.elevation};
    }
    return {0, 0};
}

Direction modelOffset(const MountModel& model, Direction reading)
{
    Direction delta;
    for (Term term : kAllTerms) {
        const double value = model[term];
        if (value == 0)
            continue;
        const Direction shape = termShape(model, term, reading);
        delta.azimuth += value * shape.azimuth;
        delta.elevation += value * shape.elevation;
    }
    return delta;
}

Direction mountAngles(Direction sky, bool overTheTop)
{
    if (!overTheTop)
        return sky;
    return {std::fmod(sky.azimuth + 180.0, 360.0), 180.0 - sky.elevation};
}

Direction beamOnSky(const MountModel& model, Direction reading)
{
    const Direction delta = modelOffset(model, reading);
    Direction beam{reading.azimuth - delta.azimuth, reading.elevation - delta.elevation};
    if (beam.elevation > 90) {
        beam.azimuth += 180;
        beam.elevation = 180 - beam.elevation;
    }
    beam.azimuth = std::fmod(beam.azimuth, 360.0);
    if (beam.azimuth < 0)
        beam.azimuth += 360.0;
    return beam;
}

Command commandFor(const MountModel& model, Direction sky, bool overTheTop)
{
    const Direction target = mountAngles(sky, overTheTop);
    Command command;
    command.nearZenith = std::abs(90.0 - target.elevation) < kZenithGuard;
    // Solve F(r) = r − Δ(r) − target = 0. Δ changes slowly with r (its
    // derivatives are the terms, tenths of a degree per radian) except close
    // to the zenith, where tan e grows: Newton's steps with a numerical
    // Jacobian settle in a few steps everywhere.
    const auto residual = [&](Direction r) {
        const Direction delta = modelOffset(model, r);
        return Direction{wrapSigned(r.azimuth - delta.azimuth - target.azimuth), r.elevation - delta.elevation - target.elevation};
    };
    Direction r = target;
    const Direction first = modelOffset(model, target);
    r.azimuth += first.azimuth;
    r.elevation += first.elevation;
    constexpr double h = 1e-6;
    for (int i = 0; i < kMaxIterations; ++i) {
        const Direction f = residual(r);
        if (std::abs(f.azimuth) < kTolerance && std::abs(f.elevation) < kTolerance) {
            command.converged = true;
            break;
        }
        const Direction fa = residual({r.azimuth + h, r.elevation});
        const Direction fe = residual({r.azimuth, r.elevation + h});
        const double j11 = (fa.azimuth - f.azimuth) / h;
        const double j21 = (fa.elevation - f.elevation) / h;
        const double j12 = (fe.azimuth - f.azimuth) / h;
        const double j22 = (fe.elevation - f.elevation) / h;
        const double det = j11 * j22 - j12 * j21;
        if (!std::isfinite(det) || std::abs(det) < 1e-12)
            break;
        r.azimuth -= (j22 * f.azimuth - j12 * f.elevation) / det;
        r.elevation -= (j11 * f.elevation - j21 * f.azimuth) / det;
    }
    r.azimuth = readingInRange(model, r.azimuth);
    command.reading = r;
    return command;
}

double separationOnSky(Direction a, Direction b)
{
    const double e1 = a.elevation * kDegree;
    const double e2 = b.elevation * kDegree;
    const double da = (a.azimuth - b.azimuth) * kDegree;
    // The haversine form: exact for the small separations a pointing model is about.
    const double s = std::sin((e2 - e1) / 2);
    const double t = std::sin(da / 2);
    const double h = s * s + std::cos(e1) * std::cos(e2) * t * t;
    return 2 * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0))) / kDegree;
}

std::optional<MountModel> parseMount(std::string_view text, std::string* bad)
{
    MountModel model;
    std::array<bool, kTermCount> seen{};
    text = trimmed(text);
    if (text == "none" || text.empty())
        return model;
    for (std::string_view part : split(text, ',')) {
        const std::size_t equals = part.find('=');
        const std::optional<Term> term = equals == std::string_view::npos ? std::nullopt : termNamed(trimmed(part.substr(0, equals)));
        double value = 0;
        bool ok = term.has_value();
        if (ok) {
            const std::string_view number = trimmed(part.substr(equals + 1));
            const char* end = number.data() + number.size();
            const auto parsed = std::from_chars(number.data(), end, value);
            ok = parsed.ec == std::errc() && parsed.ptr == end && std::isfinite(value)
                && std::abs(value) <= (isScaleTerm(*term) ? kLargestScale : kLargestAngle)
                && !seen[static_cast<std::size_t>(termIndex(*term))];
        }
        if (!ok) {
            if (bad)
                *bad = std::string(part);
            return std::nullopt;
        }
        seen[static_cast<std::size_t>(termIndex(*term))] = true;
        model[*term] = value;
    }
    return model;
}

std::string mountText(const MountModel& model)
{
    std::string text;
    for (Term term : kAllTerms) {
        if (model[term] == 0)
            continue;
        char number[32];
        std::snprintf(number, sizeof number, isScaleTerm(term) ? "%.5g" : "%.4g", model[term]);
        text += (text.empty() ? "" : ",") + std::string(termName(term)) + "=" + number;
    }
    return text.empty() ? "none" : text;
}

std::optional<std::vector<Term>> parseTerms(std::string_view text, std::string* bad)
{
    text = trimmed(text);
    if (text == "all")
        return std::vector<Term>(kAllTerms.begin(), kAllTerms.end());
    std::vector<Term> terms;
    for (std::string_view part : split(text, ',')) {
        const std::optional<Term> term = termNamed(part);
        if (!term || std::find(terms.begin(), terms.end(), *term) != terms.end()) {
            if (bad)
                *bad = std::string(part);
            return std::nullopt;
        }
        terms.push_back(*term);
    }
    return terms;
}

}  // namespace heliotrope::pointing
