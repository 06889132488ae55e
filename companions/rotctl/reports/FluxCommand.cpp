#include "companions/rotctl/reports/FluxCommand.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/fluxstation/FluxStationChoice.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/reports/FluxFiles.h"
#include "companions/rotctl/reports/FluxMessages.h"
#include "companions/rotctl/reports/FluxPicture.h"

#include <QFileInfo>
#include <QTimeZone>

#include <variant>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

using record::FluxRecord;
using record::KeptFluxDay;
using record::StationRecord;

const OptionRow kFluxReportOptions[] = {
    {"day",
     "--flux で、この日（日本時間、例 2026-12-10）のフラックスを表示する（既定: 今日）。\n"
     "With --flux, the flux of this day, JST (e.g. 2026-12-10; default: today).",
     "date"},
    {"fits",
     "--flux で、その日の読み（時刻、SFU、誤差、フラグ）を FITS のバイナリテーブルで保存する。\n"
     "With --flux, save the day's readings (time, SFU, error, flags) as a FITS binary table.",
     "file.fits", nullptr, OptionRow::Value::File},
};

// A reference reaches this far into the next day or back into the one
// before: the gain is drawn straight between references this far apart.
constexpr double kReferenceReach = 1800;

QDate jstDateOf(const QDateTime& utc)
{
    return utc.toTimeZone(QTimeZone(9 * 3600)).date();
}

QDate dateOption(CompanionCommandLine& commandLine, const QString& name)
{
    const QString text = commandLine.parser().value(name).trimmed();
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid() || date.year() < 1970 || date.year() > 9999)
        commandLine.problems() << QStringLiteral("--%1 「%2」 は日本時間の日付（例 2026-12-10）にしてください。\n"
                                                 "--%1 \"%2\": give a date, JST (e.g. 2026-12-10).")
                                      .arg(name, text);
    return date;
}

QString fileOption(CompanionCommandLine& commandLine, const QString& name)
{
    if (!commandLine.parser().isSet(name))
        return {};
    const QString path = commandLine.parser().value(name);
    if (path.isEmpty())
        commandLine.problems() << QStringLiteral("--%1 にファイル名がありません。\n--%1 names no file.").arg(name);
    return path;
}

// The record as this report reads it: open, with its flux, or why not.
struct OpenRecord {
    std::unique_ptr<StationRecord> record;
    std::unique_ptr<FluxRecord> flux;
};

bool anyFileAsked(const FluxReportOptions& options)
{
    return !options.plotPath.isEmpty() || !options.csvPath.isEmpty() || !options.fitsPath.isEmpty();
}

// The files asked for, none of which can be made: said, exit code 1.
void refuseFiles(const FluxReportOptions& options, FluxReport& report)
{
    if (!anyFileAsked(options))
        return;
    QStringList problems;
    for (const QString& path : {options.plotPath, options.csvPath, options.fitsPath})
        if (!path.isEmpty())
            problems << said::nothingToWrite(path);
    report.problem = problems.join(QLatin1Char('\n'));
    report.exitCode = 1;
}

void addProblem(FluxReport& report, const QString& problem)
{
    report.problem += (report.problem.isEmpty() ? QString() : QStringLiteral("\n")) + problem;
    report.exitCode = 1;
}

void addSaved(FluxReport& report, const QString& path)
{
    report.text += QLatin1Char('\n') + said::fileSaved(path);
}

// A kept day with the step its readings were read in, recognised from them.
KeptFluxDay withStep(const FluxRecord& flux, KeptFluxDay day)
{
    day.readingStepDecibels = flux.readingStepDecibelsBetween(record::jstDayStartUtc(day.jstDay), record::jstDayStartUtc(day.jstDay.addDays(1)));
    return day;
}

// The site the record's runs were made at, the latest by `utc`: for the
// files' keywords and the sun's transit.
std::optional<record::RecordedSite> siteBy(const StationRecord& record, double utc)
{
    std::optional<record::RecordedSite> site;
    for (const record::StationRun& run : record.history()) {
        if (static_cast<double>(record::runUtc(run).toSecsSinceEpoch()) > utc)
            break;
        const record::RecordedSite s = std::visit([](const auto& r) { return r.site; }, run);
        if (s.latitude != 0 || s.longitude != 0)
            site = s;
    }
    return site;
}

// The day's readings worked out on the station chosen at the day's end (or
// now, for today): the bridge's own choice for the day it keeps.
std::variant<WorkedFluxDay, QString> workOut(const OpenRecord& open, const QDate& day, const FluxReportOptions& options,
                                             const QDateTime& nowUtc, bool provisional)
{
    const double start = record::jstDayStartUtc(day);
    const double end = record::jstDayStartUtc(day.addDays(1));
    const double now = static_cast<double>(nowUtc.toSecsSinceEpoch());
    fluxstation::FluxStationAsk ask;
    ask.atUtc = std::min(end, now);
    ask.beamwidthDegrees = options.beamwidthDegrees.value_or(0);
    ask.frequencyMegahertz = options.frequencyMegahertz;
    const fluxstation::FluxStationChoice choice = fluxstation::chooseFluxStation(*open.record, ask);
    const qint64 count = open.flux->fluxReadingCountBetween(start, end);
    if (!choice.station)
        return said::readingsWithoutScale(day, count, choice.source);
    WorkedFluxDay worked;
    worked.jstDay = day;
    worked.provisional = provisional;
    worked.station = *choice.station;
    worked.scaleSource = choice.source;
    worked.site = choice.run          ? std::optional(choice.run->site)
        : choice.systemTemperatureRun ? std::optional(choice.systemTemperatureRun->site)
                                      : siteBy(*open.record, end);
    worked.readings = open.flux->fluxReadingsBetween(start, end);
    worked.references = open.flux->fluxReferencesBetween(start - kReferenceReach, end + kReferenceReach);
    const double transit = worked.site ? fluxstation::sunTransitUtc(day, *worked.site) : start + 3 * 3600;
    worked.day = flux::workOutDay(worked.readings, worked.references, worked.station, transit, options.flux);
    return worked;
}

void writeDayFiles(const WorkedFluxDay& worked, const FluxReportOptions& options, FluxReport& report)
{
    QString problem;
    if (!options.plotPath.isEmpty()) {
        if (saveFluxDayPicture(worked, options.plotPath, &problem))
            addSaved(report, options.plotPath);
        else
            addProblem(report, problem);
    }
    if (!options.csvPath.isEmpty()) {
        if (saveReadingsCsv(worked, options.csvPath, &problem))
            addSaved(report, options.csvPath);
        else
            addProblem(report, problem);
    }
    if (!options.fitsPath.isEmpty()) {
        if (worked.readings.empty())
            addProblem(report, said::nothingToWrite(options.fitsPath));
        else if (saveFluxFits(worked, options.fitsPath, &problem))
            addSaved(report, options.fitsPath);
        else
            addProblem(report, problem);
    }
}

FluxReport oneDay(const OpenRecord& open, const QDate& day, const FluxReportOptions& options, const QDateTime& nowUtc)
{
    FluxReport report;
    QStringList lines;
    std::optional<KeptFluxDay> kept = open.flux->keptFluxDay(day);
    if (kept)
        kept = withStep(*open.flux, *kept);
    const qint64 count = open.flux->fluxReadingCountBetween(record::jstDayStartUtc(day), record::jstDayStartUtc(day.addDays(1)));
    if (kept)
        lines << said::fluxDayLines(*kept, false, kept->scaleSource);
    if (!kept && count == 0) {
        report.text = said::nothingOn(day);
        refuseFiles(options, report);
        return report;
    }
    const bool needWorking = !kept || anyFileAsked(options);
    if (needWorking && !options.beamwidthDegrees) {
        // Said once: as the problem when a file was asked for, else beside the day.
        if (anyFileAsked(options)) {
            report.problem = said::filesNeedBeamwidth();
            report.exitCode = 1;
        } else if (!kept) {
            lines << said::readingsWithoutBeamwidth(day, count);
        }
        report.text = lines.join(QLatin1Char('\n'));
        return report;
    }
    if (!needWorking) {
        report.text = lines.join(QLatin1Char('\n'));
        return report;
    }
    const std::variant<WorkedFluxDay, QString> worked = workOut(open, day, options, nowUtc, !kept);
    if (const auto* why = std::get_if<QString>(&worked)) {
        lines << *why;
        report.text = lines.join(QLatin1Char('\n'));
        refuseFiles(options, report);
        return report;
    }
    const WorkedFluxDay& w = std::get<WorkedFluxDay>(worked);
    if (!kept)
        lines << said::fluxDayLines(keptFormOf(w), true, w.scaleSource);
    report.text = lines.join(QLatin1Char('\n'));
    writeDayFiles(w, options, report);
    return report;
}

FluxReport manyDays(const OpenRecord& open, const FluxReportOptions& options, const QDateTime& nowUtc)
{
    FluxReport report;
    std::vector<ShownFluxDay> shown;
    for (const KeptFluxDay& kept : open.flux->keptFluxDays(options.since))
        shown.push_back({withStep(*open.flux, kept), false});
    QStringList lines;
    // Today is not kept until its end: worked out here when it can be.
    const QDate today = jstDateOf(nowUtc);
    const bool todayKept = !shown.empty() && shown.back().values.jstDay == today;
    const qint64 todayCount = open.flux->fluxReadingCountBetween(record::jstDayStartUtc(today), record::jstDayStartUtc(today.addDays(1)));
    QString todayNote;
    if (today >= options.since && !todayKept && todayCount > 0) {
        if (!options.beamwidthDegrees) {
            todayNote = said::readingsWithoutBeamwidth(today, todayCount);
        } else {
            const std::variant<WorkedFluxDay, QString> worked = workOut(open, today, options, nowUtc, true);
            if (const auto* w = std::get_if<WorkedFluxDay>(&worked))
                shown.push_back({keptFormOf(*w), true});
            else
                todayNote = std::get<QString>(worked);
        }
    }
    if (shown.empty()) {
        lines << said::nothingSince(options.since);
        if (!todayNote.isEmpty())
            lines << todayNote;
        report.text = lines.join(QLatin1Char('\n'));
        refuseFiles(options, report);
        return report;
    }
    for (const ShownFluxDay& d : shown)
        lines << said::fluxDayLines(d.values, d.provisional, d.values.scaleSource);
    if (!todayNote.isEmpty())
        lines << todayNote;
    report.text = lines.join(QLatin1Char('\n'));
    QString problem;
    if (!options.plotPath.isEmpty()) {
        if (saveFluxDaysPicture(shown, options.plotPath, &problem))
            addSaved(report, options.plotPath);
        else
            addProblem(report, problem);
    }
    if (!options.csvPath.isEmpty()) {
        if (saveDaysCsv(shown, options.csvPath, &problem))
            addSaved(report, options.csvPath);
        else
            addProblem(report, problem);
    }
    return report;
}

}  // namespace

void addFluxReportOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kFluxReportOptions);
}

std::optional<FluxReportOptions> readFluxReportOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    if (!measure::fluxReportAsked(parser)) {
        commandLine.refuseWithout(QStringLiteral("--flux"), QStringLiteral("--flux"), {QStringLiteral("day"), QStringLiteral("fits")});
        return std::nullopt;
    }
    FluxReportOptions options;
    if (parser.isSet(QStringLiteral("day")))
        options.day = dateOption(commandLine, QStringLiteral("day"));
    if (parser.isSet(QStringLiteral("since")))
        options.since = dateOption(commandLine, QStringLiteral("since"));
    if (parser.isSet(QStringLiteral("day")) && parser.isSet(QStringLiteral("since")))
        commandLine.problems() << QStringLiteral("--day と --since はどちらか一つにしてください。\nGive --day or --since, not both.");
    commandLine.readOptionalNumber(QStringLiteral("beamwidth"), 0.01, 90, options.beamwidthDegrees, false);
    commandLine.readOptionalNumber(QStringLiteral("frequency"), 1, 300000, options.frequencyMegahertz, false);
    options.plotPath = fileOption(commandLine, QStringLiteral("plot"));
    options.csvPath = fileOption(commandLine, QStringLiteral("csv"));
    options.fitsPath = fileOption(commandLine, QStringLiteral("fits"));
    if (parser.isSet(QStringLiteral("since")) && !options.fitsPath.isEmpty())
        commandLine.problems() << said::outputsNeedOneDay();
    return options;
}

FluxReport fluxReport(const FluxReportOptions& options, const QString& recordPath, const QDateTime& nowUtc)
{
    FluxReport report;
    // Reading must not leave an empty record behind where the bridge has never written one.
    if (!QFileInfo::exists(recordPath)) {
        report.text = said::noRecord(recordPath);
        refuseFiles(options, report);
        return report;
    }
    OpenRecord open;
    open.record = std::make_unique<StationRecord>(recordPath);
    if (!open.record->open()) {
        report.problem = open.record->problem();
        report.exitCode = 1;
        return report;
    }
    open.flux = std::make_unique<FluxRecord>(*open.record);
    QString note;
    // A newer program's record: said, then read as far as this one knows it.
    if (!open.record->writable())
        note = open.record->problem();
    if (!open.flux->hasFluxTables()) {
        report.text = said::noFluxTables(recordPath);
        refuseFiles(options, report);
    } else if (options.since.isValid()) {
        report = manyDays(open, options, nowUtc);
    } else {
        report = oneDay(open, options.day.isValid() ? options.day : jstDateOf(nowUtc), options, nowUtc);
    }
    if (!note.isEmpty())
        report.text = note + QLatin1Char('\n') + report.text;
    return report;
}

}  // namespace heliotrope::rotctl
