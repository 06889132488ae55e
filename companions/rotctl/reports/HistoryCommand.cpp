#include "companions/rotctl/reports/HistoryCommand.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/record/StationHistory.h"
#include "companions/record/StationRecord.h"

#include <QFileInfo>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

using namespace heliotrope::record;

const OptionRow kHistoryOptions[] = {
    {"history",
     "局の記録（較正と太陽雑音の結果）を古い順に 1 回 1 行で表示して終了する。rotctld もブリッジも要らない。\n"
     "Print the station's record (calibrations and sun-noise runs) a run a line, oldest first, then exit. "
     "Needs neither rotctld nor a running bridge."},
    {"since",
     "--history と --fit-pointing-model で、この日時（UTC）から後の記録だけを使う（例 2026-12-01、2026-12-01T09:00）。"
     "--flux で、この日（日本時間）から後の日ごとの値を表示する。\n"
     "With --history or --fit-pointing-model, only the runs from this date and time on, UTC (e.g. 2026-12-01, "
     "2026-12-01T09:00); with --flux, every day's values from this date on, JST.",
     "date"},
    {"plot",
     "--history で、Y、G/T、ずれを日付に対して描いた図を PNG で保存する。--fit-pointing-model で、"
     "スキャンの残差（モデルの前と後）を方位角と仰角に対して描いた図を PNG で保存する。--flux で、その日の"
     "フラックスの変化（--since では日の値の変化）の図を PNG で保存する。\n"
     "With --history, save a PNG picture of Y, G/T and the offsets against the date; with "
     "--fit-pointing-model, one of the scans' residuals before and after the model against azimuth and elevation; "
     "with --flux, one of the day's flux against the time (with --since, of the daily values against the date).",
     "file.png"},
};

QString nothingSince(const HistoryOptions& options)
{
    if (!options.since.isValid())
        return noHistoryLine();
    return QStringLiteral("%1 から後の記録はありません。\nNothing recorded since %1.").arg(recordTimeText(options.since));
}

// The picture asked for, saved, or why not: a record with nothing to draw
// gives no file, and that is not success for whoever waits for the file.
void addPicture(const std::vector<StationRun>& runs, const HistoryOptions& options, HistoryReport& report)
{
    if (runs.empty()) {
        report.problem = QStringLiteral("描くものがないため、図「%1」は作りません。\n"
                                        "Nothing to draw: no picture %1 made.")
                             .arg(options.plotPath);
        report.exitCode = 1;
        return;
    }
    QString problem;
    if (!saveHistoryPicture(runs, options.plotPath, &problem)) {
        report.problem = problem;
        report.exitCode = 1;
        return;
    }
    report.text += QStringLiteral("\n図を「%1」に保存しました。\nPicture saved to %1.").arg(options.plotPath);
}

}  // namespace

void addHistoryOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kHistoryOptions);
}

std::optional<HistoryOptions> readHistoryOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    if (!parser.isSet(QStringLiteral("history"))) {
        // --since and --plot serve the pointing model's fit and the flux report as well.
        if (!parser.isSet(QStringLiteral("fit-pointing-model")) && !measure::fluxReportAsked(parser))
            commandLine.refuseWithout(QStringLiteral("--history か --fit-pointing-model か --flux"),
                                      QStringLiteral("--history, --fit-pointing-model or --flux"),
                                      {QStringLiteral("since"), QStringLiteral("plot")});
        return std::nullopt;
    }
    HistoryOptions options;
    if (parser.isSet(QStringLiteral("since"))) {
        options.since = sinceFromText(parser.value(QStringLiteral("since")));
        if (!options.since.isValid())
            commandLine.problems() << QStringLiteral("--since 「%1」 は日付（2026-12-01）か日時（2026-12-01T09:00、UTC）にしてください。\n"
                                                     "--since \"%1\": give a date (2026-12-01) or a date and time "
                                                     "(2026-12-01T09:00, UTC).")
                                          .arg(parser.value(QStringLiteral("since")));
    }
    if (parser.isSet(QStringLiteral("plot"))) {
        options.plotPath = parser.value(QStringLiteral("plot"));
        if (options.plotPath.isEmpty())
            commandLine.problems() << QStringLiteral("--plot にファイル名がありません。\n--plot names no file.");
    }
    return options;
}

HistoryReport historyReport(const HistoryOptions& options, const QString& recordPath)
{
    HistoryReport report;
    // Reading the history must not leave an empty record behind where the
    // bridge has never written one.
    if (!QFileInfo::exists(recordPath)) {
        report.text = QStringLiteral("記録「%1」はまだありません。較正や太陽雑音をブリッジが測ると作られます。\n"
                                     "No record at %1 yet: the bridge makes it with its first calibration or sun-noise run.")
                          .arg(recordPath);
        if (!options.plotPath.isEmpty())
            addPicture({}, options, report);
        return report;
    }
    StationRecord record(recordPath);
    if (!record.open()) {
        report.problem = record.problem();
        report.exitCode = 1;
        return report;
    }
    QStringList lines;
    // A newer program's record: said, then read as far as this one knows it.
    if (!record.writable())
        lines << record.problem();
    const std::vector<StationRun> runs = record.history(options.since);
    if (runs.empty())
        lines << nothingSince(options);
    else
        lines << historyHeading() << historyLines(runs);
    report.text = lines.join(QLatin1Char('\n'));
    if (!options.plotPath.isEmpty())
        addPicture(runs, options, report);
    return report;
}

}  // namespace heliotrope::rotctl
