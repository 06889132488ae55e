#include "companions/radiometer/RadiometerOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <QCommandLineParser>

#include <string>

using heliotrope::companions::CommandLine;
using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::radiometer {

namespace {

// A pointing error beyond a few beamwidths would not be found by any scan;
// ±20° still lets a test put the sun outside a pattern.
constexpr double kLargestError = 20;
// About ten years either way: enough to put a test at any hour of any season.
constexpr double kLargestClockOffset = 3.2e8;

// The radiometer's options, in the order --help lists them.
const OptionRow kRadiometerOptions[] = {
    {"error",
     "指向誤差「方位角,仰角」、度: ローテーターの読みが本当の向きより大きい分（既定 0,0）。\n"
     "Pointing error AZ,EL in degrees: how much the rotator's reading exceeds the real direction (default 0,0).",
     "az,el", "0,0"},
    {"mount",
     "架台の誤差「項=値,…」（TPOINT の項）。ビームはこの架台がローテーターの読みに対して向く方向を向きます（--error はその上に加わります）。"
     "IA 方位角の零点、IE 仰角の零点、CA コリメーション、NPAE 軸の直交誤差、AN／AW 方位軸の北／西への傾き、"
     "TF 鏡筒のたわみ（cos el）、いずれも度。AS／ES 方位角／仰角の読みの目盛りの比（0.01 で 1 %）。"
     "例: IA=0.3,IE=-0.2,CA=0.3,NPAE=0.15,AN=0.4,AW=-0.3,TF=0.2,ES=0.01（既定 none）。\n"
     "The mount's errors TERM=VALUE,... (TPOINT's terms): the beam points where such a mount points for the rotator's reading "
     "(--error adds on top). IA, IE azimuth and elevation zero points, CA collimation, NPAE non-perpendicular axes, "
     "AN, AW azimuth axis tilted north, west, TF the tube's sag (cos el), all in degrees; AS, ES scale of the azimuth, "
     "elevation readings as ratios (0.01: 1 %). E.g. IA=0.3,IE=-0.2,CA=0.3,NPAE=0.15,AN=0.4,AW=-0.3,TF=0.2,ES=0.01 (default none).",
     "terms", "none"},
    {"beamwidth",
     "ビーム幅（半値全幅）、度（既定 1.7）。\nBeamwidth (full width at half maximum), degrees (default 1.7).",
     "deg", "1.7"},
    {"peak",
     "ビーム中心の太陽のベースラインからの上昇、dB（既定 10）。\nThe sun's rise over the baseline at the beam's centre, dB (default 10).",
     "dB", "10"},
    {"baseline",
     "太陽から離れたときの電力、dB（既定 -30）。\nPower with the sun far off the beam, dB (default -30).",
     "dB", "-30"},
    {"noise",
     "読みごとのガウス雑音の標準偏差、dB（既定 0.1）。\nStandard deviation of the Gaussian noise on each reading, dB (default 0.1).",
     "dB", "0.1"},
    {"seed",
     "雑音の乱数の種（既定: 毎回ちがう）。--once では種と読む時刻を合わせて使います。\n"
     "Seed of the noise (default: different every run). With --once the seed is mixed with the moment of the reading.",
     "n"},
    {"site",
     "アンテナの場所「緯度,経度[,高さ m]」（必須）。\nThe antenna's site LAT,LON[,HEIGHT_M] (required).",
     "lat,lon[,h]"},
    {"rotctld",
     "アンテナの位置を読む rotctld（既定 127.0.0.1:4533）。\nThe rotctld to read the antenna's position from (default 127.0.0.1:4533).",
     "host:port", "127.0.0.1:4533"},
    {"antenna-file",
     "アンテナが本当に向いている方向をこのファイルから読む（heliotrope-sim --serial --antenna-file が書く）。"
     "粗い刻みのローテーターの読みではなく、本当の向きで太陽を受ける。\n"
     "Read where the dish really points from this file (written by heliotrope-sim --serial --antenna-file) "
     "instead of the rotator's reading: a coarse rotator's rounded reading is not where the beam is.",
     "file"},
    {"once",
     "1 回読んで小数つきの dB を 1 行表示して終了。\nPrint one reading in dB with decimals and exit."},
    {"listen",
     "rigctld として待ち受けるアドレス（既定 127.0.0.1）。\nAddress to answer as rigctld on (default 127.0.0.1).",
     "address", "127.0.0.1"},
    {"rigctld-port",
     "rigctld として待ち受ける TCP ポート（既定 4532、0 は空きポートを表示）。\n"
     "TCP port to answer as rigctld on (default 4532; 0: any free port, printed).",
     "port", "4532"},
    {"clock-offset",
     "試験用: システムの UTC にこの秒数を足した時刻の太陽を使う（既定 0）。\n"
     "Testing aid: compute the sun for the system's UTC plus this many seconds (default 0).",
     "s", "0"},
};

}  // namespace

CommandLine<RadiometerOptions> parseRadiometerCommandLine(const QStringList& arguments)
{
    CompanionCommandLine commandLine(QStringLiteral(
        "太陽を受信する電波計（ラジオメーター）のシミュレーター。rotctld からアンテナの位置を p で読み、\n"
        "本当の太陽との離角から受信電力 dB を答えます: rigctld と同じプロトコル（l STRENGTH、整数 dB）か、\n"
        "--once で 1 回だけ小数つきで表示して終了（電力を読むコマンドとして）。\n"
        "A simulated radiometer on the sun. It reads the antenna's position from rotctld with p and\n"
        "answers the received power in dB from the separation to the true sun: through rigctld's\n"
        "protocol (l STRENGTH, whole dB), or with --once, one reading with decimals, then exits\n"
        "(to be the bridge's power command).\n"
        "power = baseline + peak * exp(-4 ln2 (separation/beamwidth)^2) + noise"));
    commandLine.addOptions(kRadiometerOptions);
    if (const std::optional<CommandLine<RadiometerOptions>> end = commandLine.parse<RadiometerOptions>(arguments))
        return *end;
    const QCommandLineParser& parser = commandLine.parser();
    RadiometerOptions options;
    std::pair<double, double> errors{0, 0};
    commandLine.readPair(QStringLiteral("error"), kLargestError, errors);
    options.beam.azimuthError = errors.first;
    options.beam.elevationError = errors.second;
    std::string badTerm;
    if (const std::optional<heliotrope::pointing::MountModel> model = heliotrope::pointing::parseMount(parser.value(QStringLiteral("mount")).toStdString(), &badTerm))
        options.mount = *model;
    else
        commandLine.problems()
            << QStringLiteral("--mount の「%1」は「項=値」ではありません（項は IA IE CA NPAE AN AW TF AS ES を 1 回ずつ、角度は ±10° 以内、AS と ES は ±0.2 以内）。\n"
                              "--mount: \"%1\" is not TERM=VALUE (terms IA IE CA NPAE AN AW TF AS ES, each once; angles within ±10°, AS and ES within ±0.2).")
                   .arg(QString::fromStdString(badTerm));
    commandLine.readNumber(QStringLiteral("beamwidth"), 0.01, 90, options.beam.beamwidth);
    commandLine.readNumber(QStringLiteral("peak"), 0, 100, options.beam.peak);
    commandLine.readNumber(QStringLiteral("baseline"), -200, 200, options.beam.baseline);
    commandLine.readNumber(QStringLiteral("noise"), 0, 20, options.noise);
    const QString seed = parser.value(QStringLiteral("seed"));
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        const quint64 value = seed.trimmed().toULongLong(&ok);
        if (ok)
            options.seed = value;
        else
            commandLine.problems() << QStringLiteral("--seed 「%1」 は 0 以上の整数ではありません。\n--seed takes a whole number.").arg(seed);
    }
    std::optional<heliotrope::sky::Site> site;
    commandLine.readSite(QStringLiteral("site"), site);
    if (site)
        options.site = *site;
    else if (!parser.isSet(QStringLiteral("site")))
        commandLine.problems() << QStringLiteral("--site でアンテナの場所を指定してください。\nGive the antenna's site with --site LAT,LON[,HEIGHT_M].");
    commandLine.readHostAndPort(QStringLiteral("rotctld"), options.rotctldHost, options.rotctldPort);
    options.antennaFile = parser.value(QStringLiteral("antenna-file"));
    options.once = parser.isSet(QStringLiteral("once"));
    commandLine.readListenAddress(QStringLiteral("listen"), options.listenAddress);
    commandLine.readPort(QStringLiteral("rigctld-port"), true, options.rigctldPort);
    commandLine.readNumber(QStringLiteral("clock-offset"), -kLargestClockOffset, kLargestClockOffset, options.clockOffsetSeconds);
    return commandLine.result(options);
}

}  // namespace heliotrope::radiometer
