// The mount's pointing model: each term acts with the sign its comment
// gives, the command and the beam are each other's inverse everywhere a
// rotator goes, the fit recovers a known mount with uncertainties that match
// its scatter over many seeds, refuses too few scans, and says which terms a
// day of sun leaves tied; the simulated radiometer's beam stands where
// such a mount points; and a day of calibrations in the station's record
// gives the mount back, saved for its site only.

#include "companions/measure/SavedCalibration.h"
#include "companions/mount/SavedPointingModel.h"
#include "companions/pointing/PointingFit.h"
#include "companions/radiometer/Radiometer.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/reports/PointingModelFit.h"
#include "companions/sky/TrueSun.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <random>

using namespace heliotrope::pointing;

class TestPointingModel : public QObject {
    Q_OBJECT

private slots:
    void eachTermActsWithItsDocumentedSign();
    void commandAndBeamAreInverseEverywhere();
    void mountAndTermsAreReadAndRefused();
    void noiselessScansOverTheSkyGiveTheMountBack();
    void statedUncertaintiesMatchTheScatterOfSeededRuns();
    void tooFewScansOrUnusableOnesAreRefused();
    void aDayOfSunTiesTermsThatAFlippedScanSeparates();
    void theSimulatedRadiometerSeesTheSunThroughTheMount();
    void aDayOfRecordedCalibrationsGivesTheMountSavedForItsSiteOnly();
};

namespace {

MountModel knownMount()
{
    MountModel m;
    m[Term::IA] = 0.3;
    m[Term::IE] = -0.2;
    m[Term::CA] = 0.3;
    m[Term::NPAE] = 0.15;
    m[Term::AN] = 0.4;
    m[Term::AW] = -0.3;
    m[Term::TF] = 0.2;
    m[Term::AS] = -0.004;
    m[Term::ES] = 0.01;
    return m;
}

// The scan a mount gives on a source at `sky`: the reading with the beam on
// it, plus Gaussian noise on the sky.
Scan scanOf(const MountModel& mount, Direction sky, bool flipped, double sigma, std::mt19937_64* random)
{
    Scan s{0, sky, commandFor(mount, sky, flipped).reading, sigma, sigma};
    if (random && sigma > 0) {
        std::normal_distribution<double> gauss(0, sigma);
        s.reading.azimuth += gauss(*random) / std::abs(std::cos(s.reading.elevation * M_PI / 180));
        s.reading.elevation += gauss(*random);
    }
    return s;
}

// Sources over the whole sky, every other one taken over the top.
std::vector<Scan> skyGrid(const MountModel& mount, double sigma, std::mt19937_64* random)
{
    std::vector<Scan> scans;
    int n = 0;
    // Clear of the rotator's stop at 0/360°, where the azimuth scale jumps.
    for (double az = 15; az < 360; az += 30) {
        for (double el = 15; el <= 80; el += 13)
            scans.push_back(scanOf(mount, {az, el}, ++n % 2 == 0, sigma, random));
    }
    return scans;
}

// The sun over Tokyo through 2026-05-01 (JST) every 45 minutes above 10°.
std::vector<Direction> sunDay()
{
    std::vector<Direction> suns;
    const double start = 1777561200;  // 2026-05-01 00:00 JST
    for (double t = start; t < start + 86400; t += 2700) {
        const heliotrope::sky::TrueSunPosition s = heliotrope::sky::trueSunTopocentric(t, {35.68, 139.77, 40});
        if (s.elevation > 10)
            suns.push_back({s.azimuth, s.elevation});
    }
    return suns;
}

}  // namespace

void TestPointingModel::eachTermActsWithItsDocumentedSign()
{
    const auto beamWith = [](Term term, double value, Direction reading) {
        MountModel m;
        m[term] = value;
        return beamOnSky(m, reading);
    };
    // Zero points: the beam's azimuth exceeds the reading by IA; the reading exceeds its elevation by IE.
    QCOMPARE(beamWith(Term::IA, 0.3, {100, 40}).azimuth, 100.3);
    QCOMPARE(beamWith(Term::IE, 0.2, {100, 40}).elevation, 39.8);
    // An axis leaning north lifts the northern sky; leaning west lifts the western.
    QVERIFY(std::abs(beamWith(Term::AN, 0.4, {0, 40}).elevation - 40.4) < 1e-12);
    QVERIFY(std::abs(beamWith(Term::AW, 0.4, {270, 40}).elevation - 40.4) < 1e-12);
    // The sag drops the beam most at the horizon.
    QVERIFY(std::abs(beamWith(Term::TF, 0.2, {100, 0}).elevation - (-0.2)) < 1e-12);
    // Collimation is CA on the sky at any elevation, the other way over the top.
    for (double el : {10.0, 60.0}) {
        const Direction straight = beamWith(Term::CA, 0.3, {100, el});
        QVERIFY(std::abs((straight.azimuth - 100) * std::cos(el * M_PI / 180) - 0.3) < 1e-9);
        const Direction flipped = beamWith(Term::CA, 0.3, {280, 180 - el});
        QVERIFY(std::abs((flipped.azimuth - 100) * std::cos(el * M_PI / 180) + 0.3) < 1e-9);
    }
    // A reading 1 % too large: at 60° the beam is at 60 − 0.6.
    QVERIFY(std::abs(beamWith(Term::ES, 0.01, {100, 60}).elevation - 59.4) < 1e-12);
}

void TestPointingModel::commandAndBeamAreInverseEverywhere()
{
    MountModel mount = knownMount();
    for (double start : {0.0, -180.0}) {
        mount.azimuthRangeStart = start;
        for (double az : {0.05, 90.0, 179.9, 180.0, 359.95}) {
            for (double el : {0.5, 30.0, 75.0, 88.5, 89.6}) {
                for (bool flipped : {false, true}) {
                    const Command c = commandFor(mount, {az, el}, flipped);
                    QVERIFY2(c.converged, qPrintable(QStringLiteral("%1 %2 %3").arg(az).arg(el).arg(flipped)));
                    QVERIFY(c.reading.azimuth >= start && c.reading.azimuth < start + 360);
                    if (el < 85)
                        QCOMPARE(c.reading.elevation > 90, flipped);
                    QCOMPARE(c.nearZenith, el > 89);
                    QVERIFY(separationOnSky(beamOnSky(mount, c.reading), {az, el}) < 1e-8);
                }
            }
        }
    }
    // No model: the command is the direction itself.
    const Command plain = commandFor(MountModel{}, {123.4, 45.6});
    QCOMPARE(plain.reading.azimuth, 123.4);
    QCOMPARE(plain.reading.elevation, 45.6);
}

void TestPointingModel::mountAndTermsAreReadAndRefused()
{
    std::string bad;
    const std::optional<MountModel> read = parseMount("IA=0.3, ie=-0.2,ES=0.01", &bad);
    QVERIFY(read);
    QCOMPARE((*read)[Term::IE], -0.2);
    QCOMPARE(mountText(*read), std::string("IA=0.3,IE=-0.2,ES=0.01"));
    QCOMPARE(mountText(*parseMount(mountText(knownMount()), nullptr)), mountText(knownMount()));
    QVERIFY(parseMount("none", nullptr)->isZero());
    for (const char* text : {"IA=0.3,IA=0.1", "XX=1", "IA", "IA=abc", "IA=0.3x", "ES=0.5", "CA=11", "IA=nan"}) {
        QVERIFY2(!parseMount(text, &bad), text);
        QVERIFY(!bad.empty());
    }
    QCOMPARE(parseTerms("all", nullptr)->size(), std::size_t(kTermCount));
    QCOMPARE(*parseTerms("IA, CA", nullptr), (std::vector<Term>{Term::IA, Term::CA}));
    QVERIFY(!parseTerms("IA,IA", &bad));
    QVERIFY(!parseTerms("IA,,CA", &bad));
}

void TestPointingModel::noiselessScansOverTheSkyGiveTheMountBack()
{
    const MountModel mount = knownMount();
    const std::vector<Scan> scans = skyGrid(mount, 0.01, nullptr);
    // Nothing set aside: the elevation zero point, sag and scale stay tied
    // (|r| ≈ 0.99) over any sky a rotator covers, but noiseless scans pin them.
    FitRequest all;
    all.tieCorrelation = 1;
    const PointingFit fit = fitPointingModel(scans, all);
    QVERIFY(fit.ok());
    QVERIFY(fit.ties.empty());
    const PointingFit tied = fitPointingModel(scans, FitRequest{});
    QVERIFY(!tied.ties.empty());
    for (const Tie& tie : tied.ties)
        QVERIFY(tie.setAside == Term::IE || tie.setAside == Term::TF || tie.setAside == Term::ES);
    QVERIFY(fit.rmsBefore > 0.5);
    QVERIFY(fit.rmsAfter < 1e-6);
    for (const TermEstimate& e : fit.terms) {
        QVERIFY(e.fitted);
        QVERIFY2(std::abs(e.value - mount[e.term]) < 1e-6, termName(e.term));
    }
    // A subset asked is a subset fitted, the rest left at zero.
    const PointingFit some = fitPointingModel(scans, FitRequest{{Term::AN, Term::AW}});
    QCOMPARE(some.terms.size(), std::size_t(2));
    QCOMPARE(some.model[Term::IA], 0.0);
    QVERIFY(some.rmsAfter > 0.1);
}

void TestPointingModel::statedUncertaintiesMatchTheScatterOfSeededRuns()
{
    // Over 300 seeded runs each term's error divided by its stated
    // uncertainty must scatter as a unit Gaussian: neither hidden nor padded.
    const MountModel mount = knownMount();
    constexpr int kRuns = 300;
    std::array<double, kTermCount> sum{};
    std::array<double, kTermCount> sumSquares{};
    for (int run = 0; run < kRuns; ++run) {
        std::mt19937_64 random(static_cast<std::uint64_t>(run) + 1);
        FitRequest all;
        all.tieCorrelation = 1;
        const PointingFit fit = fitPointingModel(skyGrid(mount, 0.02, &random), all);
        QVERIFY(fit.ok() && fit.ties.empty());
        for (const TermEstimate& e : fit.terms) {
            const double pull = (e.value - mount[e.term]) / e.uncertainty;
            sum[static_cast<std::size_t>(termIndex(e.term))] += pull;
            sumSquares[static_cast<std::size_t>(termIndex(e.term))] += pull * pull;
        }
    }
    for (Term term : kAllTerms) {
        const auto i = static_cast<std::size_t>(termIndex(term));
        const double mean = sum[i] / kRuns;
        const double spread = std::sqrt(sumSquares[i] / kRuns - mean * mean);
        QVERIFY2(std::abs(mean) < 0.2, termName(term));
        QVERIFY2(spread > 0.85 && spread < 1.15, qPrintable(QStringLiteral("%1: %2").arg(termName(term)).arg(spread)));
    }
}

void TestPointingModel::tooFewScansOrUnusableOnesAreRefused()
{
    std::vector<Scan> scans = skyGrid(knownMount(), 0.01, nullptr);
    const PointingFit none = fitPointingModel(scans, FitRequest{{}});
    QCOMPARE(none.refusal, FitRefusal::NoTerms);
    // Nine terms want five scans (ten equations and one over); four are refused with nothing fitted.
    const std::vector<Scan> four(scans.begin(), scans.begin() + 4);
    const PointingFit few = fitPointingModel(four, FitRequest{});
    QCOMPARE(few.refusal, FitRefusal::TooFewScans);
    QCOMPARE(few.scansNeeded, 5);
    QVERIFY(few.model.isZero() && few.terms.empty());
    QVERIFY(fitPointingModel(four, FitRequest{{Term::IA, Term::IE}}).ok());
    scans[7].elevationError = 0;
    const PointingFit bad = fitPointingModel(scans, FitRequest{});
    QCOMPARE(bad.refusal, FitRefusal::UnusableScan);
    QCOMPARE(bad.unusableScan, 7);
    scans[7].elevationError = 0.01;
    scans[3].sun.azimuth = std::nan("");
    QCOMPARE(fitPointingModel(scans, FitRequest{}).unusableScan, 3);
}

void TestPointingModel::aDayOfSunTiesTermsThatAFlippedScanSeparates()
{
    const MountModel mount = knownMount();
    const std::vector<Direction> suns = sunDay();
    std::vector<Scan> straight;
    std::vector<Scan> flipped;
    for (std::size_t i = 0; i < suns.size(); ++i) {
        straight.push_back(scanOf(mount, suns[i], false, 0.02, nullptr));
        flipped.push_back(scanOf(mount, suns[i], i % 2 == 1, 0.02, nullptr));
    }
    const auto tied = [](const PointingFit& fit, Term term) {
        return std::any_of(fit.ties.begin(), fit.ties.end(), [term](const Tie& t) { return t.setAside == term; });
    };
    const PointingFit day = fitPointingModel(straight, FitRequest{});
    QVERIFY(day.ok());
    // The azimuth zero point and collimation: one of them set aside, carried by the other.
    QVERIFY(tied(day, Term::IA) || tied(day, Term::CA));
    for (const Tie& tie : day.ties) {
        QVERIFY(std::abs(tie.correlation) > 0.95);
        QVERIFY(!tie.carriedBy.empty());
        QVERIFY(!day.terms[static_cast<std::size_t>(termIndex(tie.setAside))].fitted);
        QCOMPARE(day.model[tie.setAside], 0.0);
    }
    // Tied or not, the model points the beam where the scans were: within
    // 0.05° of a miss of about a degree with no model.
    QVERIFY(day.rmsBefore > 0.5 && day.rmsAfter < 0.02);
    for (const Direction& sun : suns)
        QVERIFY(separationOnSky(beamOnSky(mount, commandFor(day.model, sun).reading), sun) < 0.05);
    // Every other scan flipped: collimation and the zero point come apart
    // (within what the elevation terms, still tied, leave on them).
    const PointingFit both = fitPointingModel(flipped, FitRequest{});
    QVERIFY(!tied(both, Term::IA) && !tied(both, Term::CA));
    QVERIFY(std::abs(both.model[Term::CA] - mount[Term::CA]) < 0.02);
    QVERIFY(std::abs(both.model[Term::IA] - mount[Term::IA]) < 0.02);
    // "Fitted as their sum" is the caller's word for the same fit.
    FitRequest sum;
    sum.ties = TieHandling::FitAsSum;
    const PointingFit summed = fitPointingModel(straight, sum);
    QCOMPARE(summed.ties.front().action, TieHandling::FitAsSum);
    QCOMPARE(summed.model.values, day.model.values);
}

void TestPointingModel::theSimulatedRadiometerSeesTheSunThroughTheMount()
{
    using namespace heliotrope::radiometer;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("antenna"));
    const QString mount = QStringLiteral("IA=0.3,IE=-0.2,CA=0.3,NPAE=0.15,AN=0.4,AW=-0.3,TF=0.2,ES=0.01");
    const auto commandLine = [&](const QString& terms) {
        return parseRadiometerCommandLine({QStringLiteral("heliotrope-radiometer-sim"), QStringLiteral("--site"), QStringLiteral("35.68,139.77"),
                                           QStringLiteral("--noise"), QStringLiteral("0"), QStringLiteral("--beamwidth"), QStringLiteral("2"),
                                           QStringLiteral("--antenna-file"), file, QStringLiteral("--mount"), terms});
    };
    QVERIFY(!commandLine(QStringLiteral("IA=0.3,XX=1")).options);
    QVERIFY(commandLine(QStringLiteral("IA=0.3,XX=1")).text.contains(QStringLiteral("XX=1")));
    const double utc = 1777593600;  // 2026-05-01 09:00 JST
    const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(utc, {35.68, 139.77, 0}, heliotrope::sky::Refraction::Radio);
    const auto powerAt = [&](const QString& terms, Direction reading) {
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(QStringLiteral("%1 %2\n").arg(reading.azimuth, 0, 'f', 6).arg(reading.elevation, 0, 'f', 6).toUtf8());
        out.close();
        Radiometer radiometer(*commandLine(terms).options, [utc] { return utc; });
        QString problem;
        return radiometer.read(&problem).value_or(-999);
    };
    const Direction command = commandFor(*parseMount(mount.toStdString(), nullptr), {sun.azimuth, sun.elevation}).reading;
    // The peak (baseline −30 dB, 10 dB over it) where the model commands; the
    // sun's own direction is half a degree off for this mount.
    QCOMPARE(powerAt(mount, command), -20.0);
    QVERIFY(powerAt(mount, {sun.azimuth, sun.elevation}) < -20.5);
    QCOMPARE(powerAt(QStringLiteral("none"), {sun.azimuth, sun.elevation}), -20.0);
}

void TestPointingModel::aDayOfRecordedCalibrationsGivesTheMountSavedForItsSiteOnly()
{
    using namespace heliotrope::measure;
    using namespace heliotrope::mount;
    using namespace heliotrope::rotator;
    using namespace heliotrope::rotctl;
    using heliotrope::record::Measured;
    using heliotrope::record::RecordedCalibration;
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString path = dir.filePath(QStringLiteral("station.sqlite"));
    heliotrope::record::StationRecord record(path);
    QVERIFY(record.open());

    // A calibration every 45 minutes through the day, as the bridge records
    // them: the sun at its points and the offsets found, 0.01° of scatter.
    const MountModel mount = knownMount();
    const heliotrope::sky::Site tokyo{35.68, 139.77, 40};
    std::mt19937_64 random(7);
    std::normal_distribution<double> gauss(0, 0.01);
    const double start = 1777561200;  // 2026-05-01 00:00 JST
    const auto calibrationAt = [&](double t, Direction offset) {
        RecordedCalibration c;
        c.utc = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t) + 60, QTimeZone::utc());
        c.site = {tokyo.latitude, tokyo.longitude, tokyo.height};
        c.pattern = QStringLiteral("cross");
        c.refraction = QStringLiteral("radio");
        c.programVersion = QStringLiteral("test");
        for (const double dt : {-60.0, 60.0}) {
            const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(t + dt, tokyo);
            heliotrope::record::RecordedPoint point;
            point.role = dt < 0 ? QStringLiteral("xel") : QStringLiteral("el");
            point.utc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>((t + dt) * 1000), QTimeZone::utc());
            point.sunAzimuth = sun.azimuth;
            point.sunElevation = sun.elevation;
            c.points.push_back(point);
        }
        c.found = true;
        c.azimuthOffset = Measured{offset.azimuth, 0.01 / std::cos(heliotrope::sky::trueSunTopocentric(t, tokyo).elevation * M_PI / 180)};
        c.elevationOffset = Measured{offset.elevation, 0.01};
        return c;
    };
    int scans = 0;
    for (double t = start; t < start + 86400; t += 2700) {
        const heliotrope::sky::TrueSunPosition s = heliotrope::sky::trueSunTopocentric(t, tokyo);
        if (s.elevation < 10)
            continue;
        const Direction reading = commandFor(mount, {s.azimuth, s.elevation}).reading;
        const double cosE = std::cos(s.elevation * M_PI / 180);
        QVERIFY2(record.addCalibration(calibrationAt(
                     t, {wrapSigned(reading.azimuth - s.azimuth) + gauss(random) / cosE, reading.elevation - s.elevation + gauss(random)})),
                 qPrintable(record.problem()));
        ++scans;
    }
    // What must stay out of the fit: another station's, a run that found
    // nothing, one measured against the geometric sun, a rehearsal on a
    // clock ten hours back.
    RecordedCalibration elsewhere = calibrationAt(start + 10800, {3, -2});
    elsewhere.site = {34.7, 135.5, 0};
    RecordedCalibration nothing = calibrationAt(start + 14400, {3, -2});
    nothing.found = false;
    RecordedCalibration geometric = calibrationAt(start + 18000, {3, -2});
    geometric.refraction = QStringLiteral("none");
    RecordedCalibration rehearsal = calibrationAt(start + 21600, {3, -2});
    rehearsal.clockOffsetSeconds = -36000;
    for (const RecordedCalibration& c : {elsewhere, nothing, geometric, rehearsal})
        QVERIFY(record.addCalibration(c));
    QCOMPARE(scansFromRecord(record.history(), tokyo, heliotrope::sky::Refraction::Radio, true).scans.size(), std::size_t(scans + 1));

    const FitStation station{tokyo, heliotrope::sky::Refraction::Radio, AzimuthRange::From0To360};
    const QDateTime fittedAt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(start) + 86400, QTimeZone::utc());
    const PointingFitReport report = fitPointingModelFromRecord(PointingFitOptions{}, station, path, fittedAt);
    QVERIFY2(report.exitCode == 0, qPrintable(report.text + report.problem));
    QVERIFY(report.text.contains(QStringLiteral("%1 scans").arg(scans)));
    QVERIFY(report.text.contains(QStringLiteral("1 at another site")) && report.text.contains(QStringLiteral("fixed at zero"))
            && report.text.contains(QStringLiteral("1 rehearsals (--with-rehearsals takes them)")));
    // Scans whose errors say what they scatter are not said to scatter more;
    // the same scans claiming a fifth of it are said to scatter five times
    // as much, and their terms' errors come out as wide as before.
    const QString scatterSaid = QStringLiteral("times as much as the scans' own errors say");
    QVERIFY2(!report.text.contains(scatterSaid), qPrintable(report.text));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("overclaimed"));
        db.setDatabaseName(path);
        QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("UPDATE calibrations SET azimuth_offset_error = azimuth_offset_error / 5,"
                                                               " elevation_offset_error = elevation_offset_error / 5")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("overclaimed"));
    const PointingFitReport overclaimed = fitPointingModelFromRecord(PointingFitOptions{}, station, path, fittedAt);
    static const QRegularExpression scatter(QStringLiteral("scatter ([0-9.]+) times as much"));
    const QRegularExpressionMatch times = scatter.match(overclaimed.text);
    static const QRegularExpression chiSquare(QStringLiteral("degree of freedom ([0-9.]+)"));
    const double honest = chiSquare.match(report.text).captured(1).toDouble();
    QVERIFY2(times.hasMatch() && std::abs(times.captured(1).toDouble() - 5 * std::sqrt(honest)) < 0.2, qPrintable(overclaimed.text));
    static const QRegularExpression anError(QStringLiteral("  AN [^\\n]*± ([0-9.]+)"));
    QVERIFY(std::abs(anError.match(overclaimed.text).captured(1).toDouble() - anError.match(report.text).captured(1).toDouble()) < 0.002);
    const std::optional<SavedPointingModel> saved = loadPointingModel();
    QVERIFY(saved);
    QCOMPARE(saved->scans, scans);
    QVERIFY(saved->rmsBefore > 0.5 && saved->rmsAfter < 0.03);
    // The tilt, which the sun alone separates, near the truth.
    for (const Term term : {Term::AN, Term::AW})
        QVERIFY(std::abs(saved->model[term] - mount[term]) < 0.03);
    // Pointed blind between the scans, the beam lands on the sun.
    for (double t = start + 1350; t < start + 86400; t += 2700) {
        const heliotrope::sky::TrueSunPosition s = heliotrope::sky::trueSunTopocentric(t, tokyo);
        if (s.elevation > 12) {
            const Direction sun{s.azimuth, s.elevation};
            QVERIFY(separationOnSky(beamOnSky(mount, commandFor(saved->model, sun).reading), sun) < 0.04);
        }
    }
    // The frame commands through it and takes a reading back to the sky.
    RotatorFrame frame;
    frame.model = saved->model;
    const RotatorCommand command = rotatorCommand(frame, {200, 40}, std::nullopt);
    const Direction expected = commandFor(saved->model, {200, 40}).reading;
    QVERIFY(std::abs(command.azimuth - expected.azimuth) < 1e-9 && std::abs(command.elevation - expected.elevation) < 1e-9);
    const RotatorPosition back = skyPosition(frame, {command.azimuth, command.elevation});
    QVERIFY(std::abs(back.azimuth - 200) < 1e-6 && std::abs(back.elevation - 40) < 1e-6);

    // Refused: another station's bridge, another azimuth range, a model that
    // moves the beam by degrees.
    QVERIFY(pointingModelRefusal(*saved, tokyo, AzimuthRange::From0To360).isEmpty());
    QVERIFY(pointingModelRefusal(*saved, heliotrope::sky::Site{34.7, 135.5, 0}, AzimuthRange::From0To360).contains(QStringLiteral("km")));
    QVERIFY(!pointingModelRefusal(*saved, tokyo, AzimuthRange::FromMinus180To180).isEmpty());
    SavedPointingModel wild = *saved;
    wild.model[Term::AS] = 0.1;
    QVERIFY(pointingModelRefusal(wild, tokyo, AzimuthRange::From0To360).contains(QStringLiteral("no mount's error")));

    // Too few scans for the terms: said, and the model saved before stays.
    PointingFitOptions late;
    late.since = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(start) + 61000, QTimeZone::utc());
    const PointingFitReport few = fitPointingModelFromRecord(late, station, path, fittedAt.addDays(1));
    QCOMPARE(few.exitCode, 1);
    QVERIFY(few.problem.contains(QStringLiteral("nothing saved")));
    QCOMPARE(loadPointingModel()->fittedUtc, fittedAt);
}

QTEST_GUILESS_MAIN(TestPointingModel)
#include "tst_pointingmodel.moc"
