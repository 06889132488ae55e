#include "companions/rotctl/truesun/TrueSunOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <QCommandLineParser>

#include <cmath>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

using heliotrope::sky::Refraction;

constexpr double kMaxPressureHpa = 1100;
constexpr double kMinTemperatureC = -60;
constexpr double kMaxTemperatureC = 60;
// ERFA's estimate of the scale height: 29.3 m per kelvin of a 15 °C sea-level air.
constexpr double kScaleHeightMetres = 29.3 * 288.15;

// What the bridge tracks: the window's set-point, the true sun instead, or
// the true sun by itself.
const OptionRow kTrackingOptions[] = {
    {"true-sun",
     "昼の指向データでは、ウィンドウの設定点のかわりに --site の地点から見た本当の太陽"
     "（ERFA: 歳差・章動・光行差・地点の高さを含む）をローテーターへ送る。夜の待機位置はそのまま"
     "送る。ウィンドウの設定点と 3° より離れたら、知らせてウィンドウの設定点を送る。UT1−UTC は 0 とする"
     "（最大 0.9 秒、0.004° 未満）。\n"
     "By day, command the real sun for the --site (ERFA: precession, nutation, "
     "aberration, the site's height) instead of the window's set-point; the night's "
     "parking set-point passes through. More than 3° from the window's set-point, "
     "that is said and the window's set-point is commanded. UT1-UTC is taken as 0 "
     "(at most 0.9 s, under 0.004°)."},
    {"track-sun",
     "ウィンドウなしで、--site の地点から見た本当の太陽を 750 ms ごとに計算して追尾する。夜は次の日の出の"
     "方位角、ローテーターの最低仰角で待つ（--night stow なら --stow-position で待つ）。ウィンドウが動いていれば"
     "位置を報告し、その設定点は比べるだけで従わない（3° より離れたら知らせる）。\n"
     "Track the real sun for the --site with no window, computed every 750 ms; by night, wait at the next "
     "sunrise's azimuth at the rotator's lowest elevation (with --night stow, at the --stow-position). A window "
     "that runs is sent the position; its set-points are compared, said when more than 3° apart, and not followed."},
    {"night",
     "--track-sun の夜の位置: wait（既定、次の日の出の方位角で待つ）か stow（--stow-position で待つ）。\n"
     "Where --track-sun waits by night: wait (default, at the next sunrise's azimuth) or stow (at the "
     "--stow-position).",
     "wait|stow", "wait"},
};

// The sky the bridge and its measurements point in: one site, one refraction.
const OptionRow kSkyOptions[] = {
    {"site",
     "地点: 緯度,経度[,高さ m]（度、北と東が正、高さは楕円体から -500～9000 m。"
     "例 35.6581,139.3383,120）。保存した指向モデルは、この地点のものでなければ使わない。\n"
     "The site: LAT,LON[,HEIGHT_M] in degrees, north and east positive, and metres "
     "above the ellipsoid, -500 to 9000 (e.g. 35.6581,139.3383,120). A saved pointing "
     "model fitted at another site is not applied.",
     "lat,lon[,m]"},
    {"refraction",
     "大気差: radio（既定、電波、湿度が効く）、optical（可視光）、none（ウィンドウと同じ幾何学的な方向）。"
     "追尾、較正、太陽雑音のすべてがこの太陽を使う。none では見かけの太陽より、地平線で約 0.57°、"
     "仰角 5° で 0.17°、10° で 0.09° 低く向ける。optical と radio は仰角 5° より上でよく合うが、"
     "約 3° より下では 3° での値（0.18°、電波 0.22°）に留まり、地平線では 0.4° ほど足りない。\n"
     "Refraction: radio (default, above 100 µm; humidity counts), optical (visible light), none "
     "(the geometric direction, as the window means it). Tracking, calibration and sun noise all "
     "point at this sun. With none the antenna points below the apparent sun by about 0.57° at the "
     "horizon, 0.17° at 5° and 0.09° at 10° elevation. optical and radio follow the refraction well "
     "above 5°, but below about 3° they keep its value at 3° (0.18°, radio 0.22°) and fall about "
     "0.4° short at the horizon.",
     "none|optical|radio", "radio"},
    {"pressure",
     "地点の気圧、hPa（0～1100。既定: 高さから推定、海面で 1013.25）。"
     "--refraction optical か radio のときだけ。\n"
     "Pressure at the site, hPa, 0 to 1100 (default: estimated from the height, "
     "1013.25 at sea level). Only with --refraction optical or radio.",
     "hPa"},
    {"temperature",
     "地点の気温、°C（-60～60、既定 15）。--refraction optical か radio のときだけ。\n"
     "Air temperature at the site, °C, -60 to 60 (default 15). Only with "
     "--refraction optical or radio.",
     "degC"},
    {"humidity",
     "相対湿度、%（0～100、既定 50）。--refraction optical か radio のときだけ。\n"
     "Relative humidity, percent, 0 to 100 (default 50). Only with --refraction "
     "optical or radio.",
     "percent"},
};

const OptionRow kLookOptions[] = {
    {"sun-now",
     "--site の地点について、いまの本当の太陽、ウィンドウのモデルの位置とその差を表示して終了する"
     "（ローテーターには何も送らない）。\n"
     "Print, for the --site and now, the real sun, the window's model position and "
     "their difference, then exit (nothing is sent to the rotator)."},
};

}  // namespace

double estimatedPressureHpa(double heightMetres)
{
    return kSeaLevelPressureHpa * std::exp(-heightMetres / kScaleHeightMetres);
}

QString refractionTextJapanese(const TrueSunOptions& options)
{
    if (options.refraction == Refraction::None)
        return QStringLiteral("大気差なし（幾何学的な方向）");
    return QStringLiteral("%1の大気差、気圧 %2 hPa、気温 %3 °C、湿度 %4 %")
        .arg(options.refraction == Refraction::Radio ? QStringLiteral("電波") : QStringLiteral("光"))
        .arg(options.atmosphere.pressure, 0, 'f', 1)
        .arg(options.atmosphere.temperature, 0, 'f', 1)
        .arg(options.atmosphere.relativeHumidity * 100.0, 0, 'f', 0);
}

QString refractionTextEnglish(const TrueSunOptions& options)
{
    if (options.refraction == Refraction::None)
        return QStringLiteral("no refraction, the geometric direction");
    return QStringLiteral("refraction for %1, %2 hPa, %3 °C, %4 %")
        .arg(options.refraction == Refraction::Radio ? QStringLiteral("radio") : QStringLiteral("light"))
        .arg(options.atmosphere.pressure, 0, 'f', 1)
        .arg(options.atmosphere.temperature, 0, 'f', 1)
        .arg(options.atmosphere.relativeHumidity * 100.0, 0, 'f', 0);
}

std::span<const OptionRow> skyOptionRows()
{
    return kSkyOptions;
}

void addTrueSunOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kTrackingOptions);
    commandLine.addOptions(kSkyOptions);
    commandLine.addOptions(kLookOptions);
}

void addSkyOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kSkyOptions);
}

void readSkyOptions(CompanionCommandLine& commandLine, TrueSunOptions& options)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    if (parser.isSet(QStringLiteral("site")))
        commandLine.readSite(QStringLiteral("site"), options.site);
    if (const std::optional<Refraction> named = heliotrope::sky::refractionNamed(parser.value(QStringLiteral("refraction")).trimmed().toStdString())) {
        options.refraction = *named;
    } else {
        problems << QStringLiteral("--refraction 「%1」 は none、optical、radio のどれかにしてください。\n"
                                   "--refraction takes none, optical or radio, not \"%1\".")
                        .arg(parser.value(QStringLiteral("refraction")));
    }

    // The air only matters to refraction; a value given without it would be
    // silently ignored, so it is refused instead.
    const bool refracted = options.refraction != Refraction::None;
    const auto air = [&](const QString& option, double lowest, double highest, double& into) {
        if (!parser.isSet(option))
            return;
        if (!refracted) {
            problems << QStringLiteral("--%1 は --refraction optical か radio のときだけ使えます。\n"
                                       "--%1 is only used with --refraction optical or radio.")
                            .arg(option);
            return;
        }
        commandLine.readNumber(option, lowest, highest, into);
    };
    options.atmosphere.pressure = estimatedPressureHpa(options.site ? options.site->height : 0.0);
    air(QStringLiteral("pressure"), 0, kMaxPressureHpa, options.atmosphere.pressure);
    air(QStringLiteral("temperature"), kMinTemperatureC, kMaxTemperatureC, options.atmosphere.temperature);
    double humidityPercent = options.atmosphere.relativeHumidity * 100.0;
    air(QStringLiteral("humidity"), 0, 100, humidityPercent);
    options.atmosphere.relativeHumidity = humidityPercent / 100.0;
}

TrueSunOptions readTrueSunOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    TrueSunOptions options;
    options.bySelf = parser.isSet(QStringLiteral("track-sun"));
    options.enabled = parser.isSet(QStringLiteral("true-sun")) || options.bySelf;
    options.lookOnly = parser.isSet(QStringLiteral("sun-now"));
    const QString night = parser.value(QStringLiteral("night")).trimmed();
    options.nightStow = night == QLatin1String("stow");
    if (night != QLatin1String("stow") && night != QLatin1String("wait"))
        problems << QStringLiteral("--night 「%1」 は wait か stow にしてください。\n--night \"%1\": give wait or stow.")
                        .arg(parser.value(QStringLiteral("night")));
    else if (parser.isSet(QStringLiteral("night")) && !options.bySelf)
        problems << QStringLiteral("--night は --track-sun と一緒に使います。\n--night goes with --track-sun.");

    readSkyOptions(commandLine, options);
    if (!parser.isSet(QStringLiteral("site")) && (options.enabled || options.lookOnly)) {
        const QString mode = options.bySelf ? QStringLiteral("track-sun")
                                            : (options.enabled ? QStringLiteral("true-sun") : QStringLiteral("sun-now"));
        problems << QStringLiteral("--%1 には地点 --site 緯度,経度[,高さ m] が要ります。\n"
                                   "--%1 needs the site: --site LAT,LON[,HEIGHT_M].")
                        .arg(mode);
    }

    // The measurements on the sun point at the real sun as well, whatever the
    // tracking follows; the pointing model's fit reads the scans of the site;
    // a system temperature places its cold sky beside the sun and is kept by site.
    const bool onTheSun = parser.isSet(QStringLiteral("sun-noise")) || parser.isSet(QStringLiteral("calibrate"))
        || parser.isSet(QStringLiteral("fit-pointing-model")) || parser.isSet(QStringLiteral("hot-cold"))
        || parser.isSet(QStringLiteral("noise-source-on")) || parser.isSet(QStringLiteral("noise-source-off"));
    if (options.site && !options.enabled && !options.lookOnly && !onTheSun) {
        problems << QStringLiteral("--site は --true-sun、--sun-now、--calibrate、--sun-noise、--hot-cold、--noise-source-on、"
                                   "--fit-pointing-model のどれかと使います。\n"
                                   "--site is used with --true-sun, --sun-now, --calibrate, --sun-noise, --hot-cold, --noise-source-on "
                                   "or --fit-pointing-model.");
    }
    return options;
}

}  // namespace heliotrope::rotctl
