#include "companions/rotctl/bridge/MeasurementRequestLine.h"

#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/MeasurementOptions.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/measure/SystemTemperatureOptions.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <QCoreApplication>
#include <QDir>

#include <array>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

// The options that name the run: the request's kind carries them.
bool namesTheRun(const QString& name)
{
    return name == QLatin1String("calibrate") || name == QLatin1String("sun-noise") || name == QLatin1String("hot-cold");
}

template <typename Each>
void forEachRow(Each&& each)
{
    for (const std::span<const OptionRow> rows :
         std::array{skyOptionRows(), measure::calibrationOptionRows(), measure::sunNoiseOptionRows(), measure::systemTemperatureOptionRows(),
                    measure::measurementOptionRows()})
        for (const OptionRow& row : rows)
            each(row);
}

bool carried(const QString& name)
{
    bool found = false;
    forEachRow([&](const OptionRow& row) { found = found || name == QLatin1String(row.name); });
    return found && !namesTheRun(name);
}

}  // namespace

QStringList measurementOptionWords(const QCommandLineParser& parser)
{
    QStringList words;
    forEachRow([&](const OptionRow& row) {
        const QString name = QString::fromLatin1(row.name);
        if (namesTheRun(name) || !parser.isSet(name))
            return;
        const QString option = QStringLiteral("--") + name;
        if (!row.valueName) {
            words << option;
            return;
        }
        for (const QString& value : parser.values(name)) {
            const bool file = row.value == OptionRow::Value::File && !value.isEmpty();
            words << option + QLatin1Char('=') + (file ? QDir::current().absoluteFilePath(value) : value);
        }
    });
    return words;
}

QStringList optionsNotCarried(const QCommandLineParser& parser)
{
    QStringList names;
    QStringList given;
    for (const QString& name : parser.optionNames()) {
        if (carried(name) || namesTheRun(name) || names.contains(name))
            continue;
        names << name;
        const QString value = parser.values(name).join(QLatin1Char(' '));
        given << (value.isEmpty() ? QStringLiteral("--") + name : QStringLiteral("--%1 %2").arg(name, value));
    }
    return given;
}

std::optional<MeasurementAsked> readMeasurementRequest(const station::StationRequest& request,
                                                       const std::optional<heliotrope::sky::Site>& bridgeSite, QString* problem)
{
    CompanionCommandLine commandLine(QString{});
    addSkyOptions(commandLine);
    measure::addCalibrationOptions(commandLine);
    measure::addSunNoiseOptions(commandLine);
    measure::addSystemTemperatureOptions(commandLine);
    measure::addMeasurementOptions(commandLine);
    QStringList arguments{QCoreApplication::applicationName()};
    if (request.kind == station::RequestKind::Calibrate)
        arguments << QStringLiteral("--calibrate=") + request.pattern;
    else if (request.kind == station::RequestKind::SunNoise)
        arguments << QStringLiteral("--sun-noise");
    // A noise source's request names its run by its switching commands, carried as words.
    arguments << request.arguments;
    if (const auto ended = commandLine.parse<RunOptions>(arguments)) {
        *problem = ended->text;
        return std::nullopt;
    }

    MeasurementAsked asked;
    for (const QString& name : commandLine.parser().optionNames())
        if (!namesTheRun(name) && !asked.given.contains(name))
            asked.given << name;
    RunOptions& options = asked.run;
    options.measurement = measure::readMeasurementOptions(commandLine);
    options.calibration = measure::readCalibrationOptions(commandLine);
    options.sunNoise = measure::readSunNoiseOptions(commandLine);
    options.systemTemperature = measure::readSystemTemperatureOptions(commandLine);
    if (request.kind == station::RequestKind::NoiseSource && !options.systemTemperature)
        commandLine.problems() << QStringLiteral("noise-source の依頼には --noise-source-on、--noise-source-off、--enr が要ります。\n"
                                                 "A noise-source request needs --noise-source-on, --noise-source-off and --enr.");
    // The absorber's steps are answered at a terminal, which the running bridge has not.
    if (options.systemTemperature && (request.kind != station::RequestKind::NoiseSource || options.systemTemperature->method != measure::SystemTemperatureMethod::NoiseSource))
        commandLine.problems() << QStringLiteral("ホット・コールドは動いているブリッジには頼めません。端末で実行してください。\n"
                                                 "A hot/cold calibration cannot be asked of a running bridge: run it at the terminal.");
    readSkyOptions(commandLine, options.sky);
    asked.siteGiven = options.sky.site;
    if (bridgeSite) {
        // One dish, one site: the bridge's, and the air of its height.
        options.sky.site = bridgeSite;
        if (!commandLine.parser().isSet(QStringLiteral("pressure")))
            options.sky.atmosphere.pressure = estimatedPressureHpa(bridgeSite->height);
    }
    options.sky.clockOffsetSeconds = options.measurement.clockOffsetSeconds;
    if (!options.sky.site)
        commandLine.problems() << QStringLiteral("測定には --site でアンテナの場所が要ります（動いているブリッジにもありません）。\n"
                                                 "A measurement needs the antenna's site: --site LAT,LON[,HEIGHT_M] (the running "
                                                 "bridge has none either).");
    else if (options.calibration)
        options.calibration->site = *options.sky.site;
    const companions::CommandLine<RunOptions> read = commandLine.result(options);
    if (!read.options) {
        *problem = read.text;
        return std::nullopt;
    }
    return asked;
}

}  // namespace heliotrope::rotctl
