#include "companions/rotctl/reports/PointingModelFit.h"

#include "companions/measure/SavedCalibration.h"
#include "companions/mount/SavedPointingModel.h"
#include "companions/picture/Picture.h"
#include "companions/record/StationHistory.h"
#include "companions/record/StationRecord.h"
#include "companions/sky/SiteDistance.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace heliotrope::rotctl {

namespace {

// χ² per degree of freedom beyond which the scatter is said, not only shown:
// chance alone stays well under 3 for the nine or more scans a model needs.
constexpr double kChiSquareSaid = 3.0;

using namespace heliotrope::pointing;

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

namespace {

// The fitted terms, the ties between them and how much the model takes out
// of the scans' scatter, degrees on the sky.
void appendFitLines(QStringList& lines, const PointingFit& fit)
{
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
}

// What the bridge reads at its next start: the model with the site and the
// refraction it was fitted against.
mount::SavedPointingModel savedModel(const PointingFit& fit, const FitStation& station, const QDateTime& nowUtc)
{
    mount::SavedPointingModel saved;
    saved.model = fit.model;
    saved.site = station.site;
    saved.refraction = station.refraction;
    saved.rmsBefore = fit.rmsBefore;
    saved.rmsAfter = fit.rmsAfter;
    saved.scans = fit.scans;
    saved.fittedUtc = nowUtc;
    return saved;
}

}  // namespace

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
    request.azimuthRangeStart = mount::azimuthRangeStart(station.range);
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

    appendFitLines(lines, fit);

    const mount::SavedPointingModel saved = savedModel(fit, station, nowUtc);
    if (mount::savePointingModel(saved)) {
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

}  // namespace heliotrope::rotctl
