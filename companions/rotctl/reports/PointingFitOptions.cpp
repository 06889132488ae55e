#include "companions/rotctl/reports/PointingFitOptions.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/record/StationHistory.h"

#include <QStringList>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;
using namespace heliotrope::pointing;

namespace heliotrope::rotctl {

namespace {

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

}  // namespace heliotrope::rotctl
