#include "companions/rotctl/reports/SetFluxCommand.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/measure/DayFlux.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/record/StationRecord.h"

#include <cmath>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;
using heliotrope::record::RecordedSunNoise;

namespace heliotrope::rotctl {

namespace {

const OptionRow kSetFluxOptions[] = {
    {"set-flux",
     "その日（UTC）の太陽フラックスを局の周波数で入力し、局の記録に残して終了する（例 2026-12-10,152.3）。"
     "その日の太陽雑音の測定の G/T をこの値で出し直し、この日にこれから測るものもこの値を使う。\n"
     "Keep the solar flux of a day (UTC) at the station's frequency in the station's record, then exit "
     "(e.g. 2026-12-10,152.3): that day's sun-noise runs have their G/T worked out again with it, and "
     "those measured later that day use it.",
     "date,sfu"},
};

QString figure(const std::optional<double>& value)
{
    return value ? QString::number(*value, 'f', 2) : QStringLiteral("—");
}

QString changeLine(const RecordedSunNoise& before, const RecordedSunNoise& after)
{
    QString line = record::recordTimeText(before.utc);
    if (before.frequencyMegahertz)
        line += QStringLiteral("  %1 MHz").arg(QString::number(*before.frequencyMegahertz, 'f', 3));
    if (!before.found || !before.yDecibels)
        return line + QStringLiteral(": 結果なし、フラックスだけ書き換え no result, the flux alone rewritten");
    line += QStringLiteral(": Y %1 dB").arg(figure(before.yDecibels));
    if (!after.gOverTDecibelsPerKelvin)
        return line + QStringLiteral("  G/T なし（--frequency と --dish-diameter のない測定） no G/T (run without "
                                     "--frequency and --dish-diameter)");
    line += QStringLiteral("  G/T %1 → %2 dB/K").arg(figure(before.gOverTDecibelsPerKelvin), figure(after.gOverTDecibelsPerKelvin));
    if (before.expectedYDecibels)
        line += QStringLiteral("  期待値 expected %1 → %2 dB").arg(figure(before.expectedYDecibels), figure(after.expectedYDecibels));
    return line;
}

}  // namespace

void addSetFluxOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kSetFluxOptions);
}

std::optional<SetFluxOptions> readSetFluxOptions(CompanionCommandLine& commandLine)
{
    const QString name = QStringLiteral("set-flux");
    if (!commandLine.parser().isSet(name))
        return std::nullopt;
    const QString text = commandLine.parser().value(name).trimmed();
    const QStringList parts = text.split(QLatin1Char(','));
    SetFluxOptions options;
    bool number = false;
    if (parts.size() == 2) {
        options.utcDay = QDate::fromString(parts[0].trimmed(), Qt::ISODate);
        options.fluxSfu = parts[1].trimmed().toDouble(&number);
    }
    if (!options.utcDay.isValid() || !number || !std::isfinite(options.fluxSfu) || options.fluxSfu <= 0
        || options.fluxSfu > measure::kLargestFluxSfu) {
        commandLine.problems() << QStringLiteral("--set-flux 「%1」 は日付（UTC）と 0 より大きく %2 以下のフラックス（SFU）を"
                                                 "コンマでつないでください（例 2026-12-10,152.3）。\n"
                                                 "--set-flux \"%1\": give a date (UTC) and a flux above 0 and at most %2 "
                                                 "SFU, joined by a comma (e.g. 2026-12-10,152.3).")
                                      .arg(text)
                                      .arg(measure::kLargestFluxSfu, 0, 'f', 0);
        return std::nullopt;
    }
    return options;
}

SetFluxReport setFluxReport(const SetFluxOptions& options, const QString& recordPath, const QDateTime& nowUtc)
{
    SetFluxReport report;
    const QString day = options.utcDay.toString(Qt::ISODate);
    if (options.utcDay > nowUtc.toUTC().date()) {
        report.problem = QStringLiteral("%1 はまだ来ていない日です（今は UTC で %2）。フラックスは記録しません。\n"
                                        "%1 is a day still to come (UTC is now %2): no flux kept.")
                             .arg(day, nowUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        report.exitCode = 1;
        return report;
    }
    record::StationRecord record(recordPath);
    if (!record.open() || !record.writable()) {
        report.problem = record.problem();
        report.exitCode = 1;
        return report;
    }
    const std::vector<RecordedSunNoise> before = record.sunNoiseOn(options.utcDay);
    std::vector<RecordedSunNoise> after;
    for (const RecordedSunNoise& run : before)
        after.push_back(measure::withDayFlux(run, options.fluxSfu));
    if (!record.setFluxOn(options.utcDay, options.fluxSfu, nowUtc, after)) {
        report.problem = record.problem();
        report.exitCode = 1;
        return report;
    }
    const QString flux = QString::number(options.fluxSfu, 'f', 1);
    QStringList lines{QStringLiteral("%1（UTC）の太陽フラックスを %2 SFU として局の記録 %3 に書きました。\n"
                                     "The solar flux of %1 (UTC) is kept as %2 SFU in the station's record %3.")
                          .arg(day, flux, record.path())};
    if (before.empty()) {
        lines << QStringLiteral("この日の太陽雑音の測定はまだありません。この日にこれから測るものはこの値で G/T を出します。\n"
                                "No sun-noise run on that day yet: those measured later that day work out G/T with it.");
    } else {
        lines << QStringLiteral("この日の太陽雑音の測定 %1 回を、このフラックスで出し直しました:\n"
                                "That day's %1 sun-noise runs worked out again with this flux:")
                     .arg(before.size());
        for (std::size_t i = 0; i < before.size(); ++i)
            lines << changeLine(before[i], after[i]);
    }
    report.text = lines.join(QLatin1Char('\n'));
    return report;
}

}  // namespace heliotrope::rotctl
