#include "companions/rotctl/PointingModelFit.h"

#include "companions/picture/Picture.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/record/StationHistory.h"
#include "companions/record/StationRecord.h"
#include "companions/sky/SiteDistance.h"

#include <QFileInfo>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numbers>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

// χ² per degree of freedom beyond which the scatter is said, not only shown:
// chance alone stays well under 3 for the nine or more scans a model needs.
constexpr double kChiSquareSaid = 3.0;

using namespace heliotrope::pointing;

constexpr double kDegree = std::numbers::pi / 180.0;

const OptionRow kPointingFitOptions[] = {
    {"fit-pointing-model",
     "局の記録にある --site の較正のスキャンから架台の指向モデルを最小二乗で求め、各項と不確かさ、前後の rms、"
     "区別できない項を表示して保存し（一定のずれの代わりに使われる）、終了する。rotctld は要らない。\n"
     "Fit the mount's pointing model by weighted least squares from the --site's calibration scans in the "
     "station's record; print each term with its uncertainty, the rms before and after and the terms the scans "
     "cannot tell apart, save it (it replaces the constant offsets), then exit. Needs no rotctld."},
    {"terms",
     "--fit-pointing-model で求める項: IA,IE,CA,NPAE,AN,AW,TF,AS,ES から選んでコンマで区切るか all（既定 all）。\n"
     "With --fit-pointing-model, the terms to fit: some of IA,IE,CA,NPAE,AN,AW,TF,AS,ES, comma-separated, or "
     "all (default all).",
     "list", "all"},
    {"with-rehearsals",
     "--fit-pointing-model で、時計をずらして測った（--clock-offset の）リハーサルのスキャンも使う（既定: 使わない）。\n"
     "With --fit-pointing-model, use the scans of rehearsals run on a shifted clock (--clock-offset) too (default: left out)."},
};

struct TermWords {
    const char* japanese;
    const char* english;
};

TermWords termWords(Term term)
{
    switch (term) {
    case Term::IA:
        return {"方位角の零点", "azimuth zero point"};
    case Term::IE:
        return {"仰角の零点", "elevation zero point"};
    case Term::CA:
        return {"コリメーション", "collimation"};
    case Term::NPAE:
        return {"軸の非直交", "axes not square"};
    case Term::AN:
        return {"方位軸の北への傾き", "azimuth axis tilted north"};
    case Term::AW:
        return {"方位軸の西への傾き", "azimuth axis tilted west"};
    case Term::TF:
        return {"鏡筒のたわみ", "the tube's sag"};
    case Term::AS:
        return {"方位角の目盛り", "azimuth scale"};
    case Term::ES:
        return {"仰角の目盛り", "elevation scale"};
    }
    return {"", ""};
}

QString termLabel(Term term)
{
    return QString::fromLatin1(termName(term));
}

QString termListText(const std::vector<Term>& terms)
{
    QStringList names;
    for (Term term : terms)
        names << termLabel(term);
    return names.join(QLatin1Char(','));
}

// A scale term is shown in per cent, the others in degrees.
QString valueText(Term term, double value, double uncertainty)
{
    if (isScaleTerm(term))
        return QStringLiteral("%1 ± %2 %").arg(value * 100, 0, 'f', 3).arg(uncertainty * 100, 0, 'f', 3);
    return QStringLiteral("%1 ± %2°").arg(value, 0, 'f', 4).arg(uncertainty, 0, 'f', 4);
}

// Where the sun stood over the scan's points on the sun, and when: their mean,
// the azimuth taken round the first so that north does not split it.
std::optional<Scan> scanOf(const heliotrope::record::RecordedCalibration& calibration)
{
    double azimuth = 0;
    double elevation = 0;
    double utc = 0;
    int count = 0;
    std::optional<double> first;
    for (const heliotrope::record::RecordedPoint& point : calibration.points) {
        if (point.skipped || point.role == QLatin1String("baseline") || !point.utc.isValid())
            continue;
        if (!first)
            first = point.sunAzimuth;
        azimuth += *first + wrapSigned(point.sunAzimuth - *first);
        elevation += point.sunElevation;
        utc += static_cast<double>(point.utc.toMSecsSinceEpoch()) / 1000.0;
        ++count;
    }
    const auto& az = calibration.azimuthOffset;
    const auto& el = calibration.elevationOffset;
    if (count == 0 || !az || !el || !(az->error > 0) || !(el->error > 0))
        return std::nullopt;
    Scan scan;
    scan.utc = utc / count;
    scan.sun = {std::fmod(azimuth / count + 360.0, 360.0), elevation / count};
    if (!(scan.sun.elevation > 0 && scan.sun.elevation < 90))
        return std::nullopt;
    // The offsets are the rotator's reading minus the sun, in the mount's own
    // angles: the reading with the beam on the sun. A scan over the top found
    // them from the flipped sun, where collimation and non-perpendicularity
    // act the other way while the zero points do not.
    const Direction sun = mountAngles(scan.sun, calibration.overTheTop);
    scan.reading = {std::fmod(sun.azimuth + az->value + 360.0, 360.0), sun.elevation + el->value};
    scan.crossElevationError = az->error * std::cos(scan.sun.elevation * kDegree);
    scan.elevationError = el->error;
    return scan;
}

QString tieText(const Tie& tie)
{
    const TermWords words = termWords(tie.setAside);
    const QString carriers = termListText(tie.carriedBy).replace(QLatin1Char(','), QStringLiteral(", "));
    const QString partner = tie.carriedBy.empty() ? QString() : termLabel(tie.carriedBy.front());
    const QString r = QString::number(tie.correlation, 'f', 3);
    if (tie.action == TieHandling::FitAsSum) {
        return QStringLiteral("%1（%2）はスキャンでは %3 と区別できません（相関 %4）。和として求め、%5 がその効果を担います。\n"
                              "%1 (%6) cannot be told from %3 by these scans (r %4): fitted as their sum, carried by %5.")
            .arg(termLabel(tie.setAside), QString::fromUtf8(words.japanese), partner, r, carriers,
                 QString::fromLatin1(words.english));
    }
    return QStringLiteral("%1（%2）はスキャンでは %3 と区別できません（相関 %4）。0 に固定し、%5 がその効果を担います。\n"
                          "%1 (%6) cannot be told from %3 by these scans (r %4): fixed at zero; %5 carry its effect.")
        .arg(termLabel(tie.setAside), QString::fromUtf8(words.japanese), partner, r, carriers,
             QString::fromLatin1(words.english));
}

QString leftOutText(const RecordedScans& recorded)
{
    QStringList japanese;
    QStringList english;
    const auto add = [&](int count, const QString& ja, const QString& en) {
        if (count > 0) {
            japanese << ja.arg(count);
            english << en.arg(count);
        }
    };
    add(recorded.notFound, QStringLiteral("ずれが求まらなかった較正 %1 回"), QStringLiteral("%1 without offsets"));
    add(recorded.otherSite, QStringLiteral("別の地点の較正 %1 回"), QStringLiteral("%1 at another site"));
    add(recorded.otherSky, QStringLiteral("別の大気差で測った較正 %1 回"), QStringLiteral("%1 against another refraction's sun"));
    add(recorded.unusable, QStringLiteral("不確かさのない較正 %1 回"), QStringLiteral("%1 without uncertainties"));
    add(recorded.rehearsals, QStringLiteral("リハーサルの較正 %1 回（--with-rehearsals で使います）"),
        QStringLiteral("%1 rehearsals (--with-rehearsals takes them)"));
    if (japanese.isEmpty())
        return {};
    return QStringLiteral("使わなかった記録: %1。\nCalibrations left out: %2.").arg(japanese.join(QStringLiteral("、")), english.join(QStringLiteral(", ")));
}

}  // namespace

void addPointingFitOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kPointingFitOptions);
}

std::optional<PointingFitOptions> readPointingFitOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    if (!parser.isSet(QStringLiteral("fit-pointing-model"))) {
        // --since and --plot are also the history's, which refuses them alone.
        commandLine.refuseWithout(QStringLiteral("--fit-pointing-model"), QStringLiteral("--fit-pointing-model"),
                                  {QStringLiteral("terms"), QStringLiteral("with-rehearsals")});
        return std::nullopt;
    }
    QStringList& problems = commandLine.problems();
    PointingFitOptions options;
    if (parser.isSet(QStringLiteral("since"))) {
        options.since = heliotrope::record::sinceFromText(parser.value(QStringLiteral("since")));
        if (!options.since.isValid())
            problems << QStringLiteral("--since 「%1」 は日付（2026-12-01）か日時（2026-12-01T09:00）にしてください。\n"
                                       "--since \"%1\": give a date (2026-12-01) or a date and time (2026-12-01T09:00).")
                            .arg(parser.value(QStringLiteral("since")));
    }
    std::string bad;
    const std::optional<std::vector<Term>> terms = parseTerms(parser.value(QStringLiteral("terms")).toStdString(), &bad);
    if (terms && !terms->empty())
        options.terms = *terms;
    else
        problems << QStringLiteral("--terms 「%1」 の「%2」は項ではありません。IA,IE,CA,NPAE,AN,AW,TF,AS,ES から選ぶか all にしてください。\n"
                                   "--terms \"%1\": \"%2\" is not a term; give some of IA,IE,CA,NPAE,AN,AW,TF,AS,ES or all.")
                        .arg(parser.value(QStringLiteral("terms")), QString::fromStdString(bad));
    options.withRehearsals = parser.isSet(QStringLiteral("with-rehearsals"));
    if (parser.isSet(QStringLiteral("plot"))) {
        options.plotPath = parser.value(QStringLiteral("plot"));
        if (options.plotPath.isEmpty())
            problems << QStringLiteral("--plot にファイル名がありません。\n--plot names no file.");
    }
    // The fit runs alone and ends: a run or a mode given with it would be silently dropped.
    for (const char* alone : {"calibrate", "sun-noise", "true-sun", "sun-now", "history"}) {
        if (parser.isSet(QString::fromLatin1(alone)))
            problems << QStringLiteral("--fit-pointing-model は --%1 と一緒には使えません。一つずつ実行してください。\n"
                                       "--fit-pointing-model does not go with --%1: run them one at a time.")
                            .arg(QString::fromLatin1(alone));
    }
    if (!parser.isSet(QStringLiteral("site")))
        problems << QStringLiteral("--fit-pointing-model には --site でアンテナの場所が要ります。\n"
                                   "--fit-pointing-model needs the antenna's site: --site LAT,LON[,HEIGHT_M].");
    return options;
}

RecordedScans scansFromRecord(const std::vector<heliotrope::record::StationRun>& runs, const heliotrope::sky::Site& site,
                              heliotrope::sky::Refraction refraction, bool withRehearsals)
{
    RecordedScans recorded;
    const QString sky = QString::fromLatin1(heliotrope::sky::refractionName(refraction));
    for (const heliotrope::record::StationRun& run : runs) {
        const auto* calibration = std::get_if<heliotrope::record::RecordedCalibration>(&run);
        if (!calibration)
            continue;
        if (!calibration->found) {
            ++recorded.notFound;
        } else if (calibration->rehearsal() && !withRehearsals) {
            ++recorded.rehearsals;
        } else if (heliotrope::sky::kilometresBetween(site, {calibration->site.latitude, calibration->site.longitude, calibration->site.height}) > measure::kModelSiteKilometres) {
            ++recorded.otherSite;
        } else if (calibration->refraction != sky) {
            ++recorded.otherSky;
        } else if (const std::optional<Scan> scan = scanOf(*calibration)) {
            recorded.scans.push_back(*scan);
        } else {
            ++recorded.unusable;
        }
    }
    return recorded;
}

PointingFitReport fitPointingModelFromRecord(const PointingFitOptions& options, const FitStation& station,
                                             const QString& recordPath, const QDateTime& nowUtc)
{
    PointingFitReport report;
    if (!QFileInfo::exists(recordPath)) {
        report.problem = QStringLiteral("局の記録「%1」はまだありません。較正を記録してから求めてください。\n"
                                        "The station's record %1 does not exist yet: record calibrations first.")
                             .arg(recordPath);
        report.exitCode = 1;
        return report;
    }
    heliotrope::record::StationRecord record(recordPath);
    if (!record.open()) {
        report.problem = record.problem();
        report.exitCode = 1;
        return report;
    }
    const RecordedScans recorded = scansFromRecord(record.history(options.since), station.site, station.refraction, options.withRehearsals);

    FitRequest request;
    request.terms = options.terms;
    request.azimuthRangeStart = measure::azimuthRangeStart(station.range);
    const PointingFit fit = fitPointingModel(recorded.scans, request);

    QStringList lines;
    lines << QStringLiteral("指向モデル: 局の記録のスキャン %1 回から、項 %2\nPointing model: %1 scans from the station's record, terms %2")
                 .arg(recorded.scans.size())
                 .arg(termListText(options.terms));
    if (const QString leftOut = leftOutText(recorded); !leftOut.isEmpty())
        lines << leftOut;
    if (fit.refusal == FitRefusal::TooFewScans) {
        report.text = lines.join(QLatin1Char('\n'));
        report.problem = QStringLiteral("項 %1 個を求めるにはスキャンが %2 回要りますが、%3 回しかありません。何も保存しません。\n"
                                        "%1 terms need %2 scans, and there are %3: nothing saved.")
                             .arg(options.terms.size())
                             .arg(fit.scansNeeded)
                             .arg(recorded.scans.size());
        report.exitCode = 1;
        return report;
    }
    if (!fit.ok()) {
        report.text = lines.join(QLatin1Char('\n'));
        report.problem = QStringLiteral("スキャンから指向モデルを求められません。何も保存しません。\n"
                                        "No pointing model can be fitted from these scans: nothing saved.");
        report.exitCode = 1;
        return report;
    }

    lines << QStringLiteral("項（値 ± 1σ、Δ = 読み − ビーム）\nterms (value ± 1σ, Δ = reading − beam)");
    for (const TermEstimate& estimate : fit.terms) {
        const TermWords words = termWords(estimate.term);
        QString value = estimate.fitted ? valueText(estimate.term, estimate.value, estimate.uncertainty)
                                        : QStringLiteral("—  区別できず 0 に固定 set aside at zero");
        if (estimate.carries)
            value += QStringLiteral("  他の項の効果も担う carries a tied term");
        lines << QStringLiteral("  %1  %2 %3: %4")
                     .arg(termLabel(estimate.term).leftJustified(4), QString::fromUtf8(words.japanese),
                          QString::fromLatin1(words.english), value);
    }
    for (const Tie& tie : fit.ties)
        lines << tieText(tie);
    lines << QStringLiteral("スキャンの rms（天球上）: モデルなし %1° → モデルあり %2°（χ²/自由度 %3）\n"
                            "the scans' rms on the sky: %1° with no model → %2° with it (χ² per degree of freedom %3)")
                 .arg(fit.rmsBefore, 0, 'f', 4)
                 .arg(fit.rmsAfter, 0, 'f', 4)
                 .arg(fit.chiSquarePerDegree, 0, 'f', 2);
    // Residuals scattering well beyond what the scans claim: the terms'
    // errors have been widened by it, and the operator should know why.
    if (fit.chiSquarePerDegree > kChiSquareSaid) {
        const QString times = QString::number(std::sqrt(fit.chiSquarePerDegree), 'f', 1);
        lines << QStringLiteral("残差はスキャン自身の誤差の %1 倍ばらつきます。項の誤差はその分広げてあります。スキャンの誤差が小さすぎる"
                                "（見えない不感帯、粗い電力の読み）か、モデルにない誤差（たわみ、時刻）があります。\n"
                                "The residuals scatter %1 times as much as the scans' own errors say: the terms' errors are "
                                "widened by as much. Either the scans' errors are too small (a dead band not seen, coarse "
                                "power readings) or an error lies outside the model (flexure, the clock).")
                     .arg(times);
    }

    measure::SavedPointingModel saved;
    saved.model = fit.model;
    saved.site = station.site;
    saved.refraction = station.refraction;
    saved.rmsBefore = fit.rmsBefore;
    saved.rmsAfter = fit.rmsAfter;
    saved.scans = fit.scans;
    saved.fittedUtc = nowUtc;
    if (measure::savePointingModel(saved)) {
        lines << QStringLiteral("指向モデルを %1 に保存しました。ブリッジは次の起動から一定のずれの代わりにこれを使います。\n"
                                "Pointing model saved to %1: the bridge uses it in place of the constant offsets from its next start.")
                     .arg(measure::calibrationSettingsPath());
    } else {
        report.problem = QStringLiteral("指向モデルを %1 に保存できません。\nCannot save the pointing model to %1.").arg(measure::calibrationSettingsPath());
        report.exitCode = 1;
    }
    if (!options.plotPath.isEmpty()) {
        QString problem;
        if (picture::savePng(pointingResidualPicture(recorded.scans, fit), options.plotPath, &problem)) {
            lines << QStringLiteral("図を「%1」に保存しました。\nPicture saved to %1.").arg(options.plotPath);
        } else {
            report.problem += (report.problem.isEmpty() ? QString() : QStringLiteral("\n")) + problem;
            report.exitCode = 1;
        }
    }
    report.text = lines.join(QLatin1Char('\n'));
    return report;
}

QImage pointingResidualPicture(const std::vector<Scan>& scans, const PointingFit& fit)
{
    constexpr int kWidth = 1200;
    constexpr int kHeight = 780;
    picture::Canvas canvas(kWidth, kHeight, 14);
    QPainter& painter = canvas.painter();
    const std::vector<Direction> before = skyResiduals(scans, MountModel{});
    const std::vector<Direction> after = skyResiduals(scans, fit.model);
    // The scale holds the largest residual, on a quarter of a degree.
    double largest = 0.25;
    for (const std::vector<Direction>* residuals : {&before, &after}) {
        for (const Direction& r : *residuals)
            largest = std::max({largest, std::abs(r.azimuth), std::abs(r.elevation)});
    }
    const double top = std::ceil(largest / 0.25) * 0.25;
    const double tick = top > 2 ? 1.0 : top > 1 ? 0.5
                                                : 0.25;
    const char* rows[2] = {"cross-elevation residual", "elevation residual"};
    const char* columns[2] = {"the sun's azimuth", "the sun's elevation"};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QRect area(90 + column * 570, 50 + row * 350, 510, 280);
            const double low = 0;
            const double high = column == 0 ? 360 : 90;
            painter.setPen(QColor(90, 90, 90));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(area);
            for (double v = -top; v <= top + 1e-9; v += tick) {
                const double y = area.center().y() - v / top * area.height() / 2;
                painter.setPen(std::abs(v) < 1e-9 ? QColor(160, 160, 160) : QColor(230, 230, 230));
                painter.drawLine(QPointF(area.left() + 1, y), QPointF(area.right() - 1, y));
                painter.setPen(Qt::black);
                painter.drawText(QRectF(area.left() - 80, y - 9, 74, 18), Qt::AlignRight | Qt::AlignVCenter,
                                 QString::number(v, 'f', 2) + QStringLiteral("°"));
            }
            for (double v = low; v <= high + 1e-9; v += column == 0 ? 45 : 15) {
                const double x = area.left() + (v - low) / (high - low) * area.width();
                painter.drawText(QRectF(x - 30, area.bottom() + 4, 60, 18), Qt::AlignHCenter, QString::number(v) + QStringLiteral("°"));
            }
            painter.drawText(QRectF(area.left(), area.top() - 26, area.width(), 20), Qt::AlignLeft,
                             QStringLiteral("%1 against %2").arg(QString::fromLatin1(rows[row]), QString::fromLatin1(columns[column])));
            for (int which = 0; which < 2; ++which) {
                const std::vector<Direction>& points = which == 0 ? before : after;
                painter.setPen(Qt::NoPen);
                painter.setBrush(which == 0 ? QColor(150, 150, 150) : QColor(30, 90, 200));
                for (std::size_t i = 0; i < points.size(); ++i) {
                    const double along = column == 0 ? scans[i].sun.azimuth : scans[i].sun.elevation;
                    const double value = row == 0 ? points[i].azimuth : points[i].elevation;
                    const double x = area.left() + (along - low) / (high - low) * area.width();
                    const double y = area.center().y() - value / top * area.height() / 2;
                    painter.drawEllipse(QPointF(x, y), 4.5, 4.5);
                }
            }
        }
    }
    painter.setPen(Qt::black);
    painter.drawText(QRectF(90, 740, 1100, 24), Qt::AlignLeft,
                     QStringLiteral("Grey: the %1 scans' offsets with no model (rms %2° on the sky). Blue: after the fitted model (rms %3°).")
                         .arg(scans.size())
                         .arg(fit.rmsBefore, 0, 'f', 3)
                         .arg(fit.rmsAfter, 0, 'f', 3));
    return canvas.finished();
}

}  // namespace heliotrope::rotctl
