#include "companions/radiometer/RadiometerOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <cmath>
#include <fstream>
#include <span>
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
    {"receiver-temperature",
     "物理単位のラジオメーター: 受信機の雑音温度、K（既定 60）。以下の物理モデルのオプションのどれかを指定すると、"
     "--peak と --baseline の dB のモデルに代わり、システム雑音温度と太陽のアンテナ温度から検出器の電力 dBm を答えます"
     "（rigctld の l STRENGTH は整数 dBm）。\n"
     "A radiometer in physical units: the receiver's noise temperature, K (default 60). Any option of the physical model "
     "puts it in place of --peak and --baseline: the reading is the detector's power in dBm from the system temperature and "
     "the sun's antenna temperature (rigctld's l STRENGTH in whole dBm).",
     "K", "60"},
    {"sky-temperature",
     "天頂の晴天の空の温度、K（既定 8）。仰角が下がると大気の経路に沿って増え（2° より下は 2° として）、太陽も同じ大気で弱まります。\n"
     "The clear sky at the zenith, K (default 8). It grows along the air's path as the elevation falls (below 2°, as at 2°), "
     "and the same air dims the sun.",
     "K", "8"},
    {"spillover",
     "給電部が鏡の縁の外に見る割合、0〜0.5（既定 0.03）: 水平線で全部、天頂で半分の地面 290 K を受けます。"
     "ビームの主部分が水平線より下に入る分も地面を見ます。\n"
     "Share of the feed's pattern past the dish's rim, 0 to 0.5 (default 0.03): it sees the 290 K ground, all of it towards "
     "the horizon, half of it at the zenith. The main beam's part below the horizon sees the ground too.",
     "share", "0.03"},
    {"frequency",
     "受信周波数、MHz（既定 10368）。ビーム幅は 70°・波長／鏡の直径。\n"
     "The receiving frequency, MHz (default 10368). The beamwidth is 70° × wavelength / the dish's diameter.",
     "MHz", "10368"},
    {"dish-diameter",
     "鏡の直径、m（既定 1.2）。\nThe dish's diameter, m (default 1.2).",
     "m", "1.2"},
    {"efficiency",
     "開口効率、0 より大きく 1 以下（既定 0.55）。\nAperture efficiency, above 0 to 1 (default 0.55).",
     "share", "0.55"},
    {"bandwidth",
     "検出器の帯域幅、MHz（既定 1）。\nThe detector's bandwidth, MHz (default 1).",
     "MHz", "1"},
    {"gain",
     "給電部から検出器までの利得、dB（既定 60）。\nGain from the feed to the detector, dB (default 60).",
     "dB", "60"},
    {"gain-drift",
     "気温の日変化による利得の変動「全振幅 dB[,最も暖かい時刻]」: 暖かいほど利得が下がり、最も暖かい時刻（その地の平均太陽時、既定 14）に最も低くなります（既定 0）。\n"
     "The gain's daily drift with the air's temperature DB[,HOUR]: peak to peak, lowest at the warmest hour "
     "(the site's mean solar time, default 14), as amplifiers lose gain when warm (default 0).",
     "dB[,hour]", "0"},
    {"lna-step",
     "LNA の利得の段落ち「時刻,dB」: その時刻から利得がこれだけ下がります。時刻は 1970 年からの UTC 秒か ISO 8601（例 2025-03-20T03:00:00Z、帯なしは UTC）、"
     "このプログラムの時計（--clock-offset を含む）で。\n"
     "A step loss of the LNA's gain TIME,DB: from that moment the gain is that much lower. TIME in seconds since 1970 UTC or ISO 8601 "
     "(e.g. 2025-03-20T03:00:00Z; without a zone, UTC), on this program's clock (--clock-offset included).",
     "time,dB"},
    {"rain",
     "雨「時刻,分,dB」（何度でも）: その間、減衰が sin² の形で最大 dB まで増えて戻ります。雨は太陽と空を弱め、自らも 275 K で放射します。\n"
     "Rain TIME,MINUTES,DB (as many as wanted): for that long the attenuation rises to DB and falls back as sin². "
     "Rain dims the sun and the sky behind it and radiates at 275 K itself.",
     "time,min,dB"},
    {"spikes-per-hour",
     "混信のスパイク「1 時間あたりの回数[,秒[,dB]]」: 平均の回数でランダムに、各回この秒数（既定 1）だけ、読みがこの dB（既定 10）上がります（既定 0）。\n"
     "Interference spikes RATE[,SECONDS[,DB]]: at random, on average RATE an hour, each raising the reading by DB "
     "(default 10) for SECONDS (default 1) (default 0).",
     "n[,s[,dB]]", "0"},
    {"flux",
     "静かな太陽の電波の強さ、SFU（受信周波数で、既定 100）。\nThe quiet sun's flux density at the frequency, SFU (default 100).",
     "SFU", "100"},
    {"flux-rotation",
     "太陽の自転（27 日）による変化「振幅 SFU[,最大の時刻]」（時刻は --lna-step と同じ形、既定 0,0）。\n"
     "The 27-day rotation's modulation AMPLITUDE_SFU[,TIME of a maximum] (TIME as for --lna-step; default 0,0).",
     "SFU[,time]", "0"},
    {"bursts-per-day",
     "バースト（速く立ち上がり指数関数で減衰）の 1 日あたりの平均回数（既定 0）。--seed を指定すると、いつ起動しても同じバーストになります。\n"
     "Mean number of bursts a day, each a fast rise and an exponential decay (default 0). With --seed, the same bursts "
     "whenever the program starts.",
     "n", "0"},
    {"flux-history",
     "太陽の電波の強さの履歴をこのファイルから読む（heliotrope-sunflux 1 の形: quiet の行と burst の行）。--flux、--flux-rotation、--bursts-per-day の代わり。\n"
     "Read the sun's flux history from this file (the heliotrope-sunflux 1 form: a quiet line and burst lines), "
     "in place of --flux, --flux-rotation and --bursts-per-day.",
     "file"},
    {"kelvin",
     "dBm ではなく受信機の公称利得での電力 K を表示する（--once のとき）。\n"
     "With --once, print the power in kelvin on the receiver's nominal gain instead of dBm."},
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
    {"absorber-file",
     "物理モデルで: このファイルがある間、常温の吸収体が給電部を覆う（空も地面も太陽も見えない）。\n"
     "With the physical model: while this file exists, an ambient absorber covers the feed (no sky, ground or sun seen).",
     "file", nullptr, OptionRow::Value::File},
    {"absorber-temperature",
     "吸収体の温度、K（既定 293）。\nThe absorber's physical temperature, K (default 293).",
     "K", "293"},
    {"noise-source-file",
     "物理モデルで: このファイルがある間、雑音源が入り、受信機の入口で 290 K × 10^(ENR/10) を足す。\n"
     "With the physical model: while this file exists, a noise source is on, adding 290 K × 10^(ENR/10) at the receiver's input.",
     "file", nullptr, OptionRow::Value::File},
    {"noise-source-enr",
     "雑音源の過剰雑音比、受信機の入口で dB（既定 5）。\nThe noise source's excess noise ratio at the receiver's input, dB (default 5).",
     "dB", "5"},
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

// The options of the physical model: any of them puts it in place of the dB model.
const char* const kPhysicalOptions[] = {"receiver-temperature", "sky-temperature", "spillover", "frequency", "dish-diameter",
                                        "efficiency", "bandwidth", "gain", "gain-drift", "lna-step", "rain",
                                        "spikes-per-hour", "flux", "flux-rotation", "bursts-per-day", "flux-history", "kelvin",
                                        "absorber-file", "absorber-temperature", "noise-source-file", "noise-source-enr"};

// One field of a comma-separated value: its name in both languages and its range.
struct Field {
    const char* japanese;
    const char* english;
    double lowest;
    double highest;
    bool lowestExcluded = false;
    bool time = false;  // seconds since 1970 UTC, or ISO 8601
};

std::optional<double> utcSeconds(const QString& text)
{
    bool ok = false;
    const double seconds = QLocale::c().toDouble(text, &ok);
    if (ok)
        return std::isfinite(seconds) ? std::optional<double>(seconds) : std::nullopt;
    QDateTime when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    if (when.timeSpec() == Qt::LocalTime)  // no zone given: the station's times are UTC
        when = QDateTime(when.date(), when.time(), Qt::UTC);
    return static_cast<double>(when.toMSecsSinceEpoch()) / 1000.0;
}

// "A,B[,C]" into `into` (the fields not given keep their values); false, with
// the problem said, when the form or a field is wrong.
bool readFields(CompanionCommandLine& commandLine, const QString& name, const QString& text, std::span<const Field> fields,
                std::size_t required, double* into)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < qsizetype(required) || parts.size() > qsizetype(fields.size())) {
        QStringList japanese;
        QStringList english;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            japanese << QString::fromUtf8(fields[i].japanese);
            english << QString::fromUtf8(fields[i].english);
        }
        const std::size_t optional = fields.size() - required;
        commandLine.problems() << QStringLiteral("--%1 「%2」 は「%3」の形ではありません%4。\n--%1 \"%2\" is not %5%6.")
                                      .arg(name, text, japanese.join(QLatin1Char(',')),
                                           optional ? QStringLiteral("（後ろの %1 つは省略できます）").arg(optional) : QString(),
                                           english.join(QLatin1Char(',')).toUpper(),
                                           optional ? QStringLiteral(" (the last %1 may be left out)").arg(optional) : QString());
        return false;
    }
    bool sound = true;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const Field& field = fields[std::size_t(i)];
        const QString part = parts[i].trimmed();
        if (field.time) {
            const std::optional<double> utc = utcSeconds(part);
            if (utc) {
                into[i] = *utc;
                continue;
            }
            commandLine.problems() << QStringLiteral("--%1 「%2」: %3「%4」は時刻（1970 年からの UTC 秒か ISO 8601、例 2025-03-20T03:00:00Z）ではありません。\n"
                                                     "--%1 \"%2\": the %5 \"%4\" is not a time (seconds since 1970 UTC or ISO 8601, e.g. 2025-03-20T03:00:00Z).")
                                          .arg(name, text, QString::fromUtf8(field.japanese), part, QString::fromUtf8(field.english));
            sound = false;
            continue;
        }
        bool ok = false;
        const double value = QLocale::c().toDouble(part, &ok);
        if (ok && std::isfinite(value) && (field.lowestExcluded ? value > field.lowest : value >= field.lowest) && value <= field.highest) {
            into[i] = value;
            continue;
        }
        commandLine.problems() << QStringLiteral("--%1 「%2」: %3 は %4 %5 %6 以下の数値にしてください。\n"
                                                 "--%1 \"%2\": the %7 must be a number %8 %4 and at most %6.")
                                      .arg(name, text, QString::fromUtf8(field.japanese), QString::number(field.lowest),
                                           field.lowestExcluded ? QStringLiteral("より大きく") : QStringLiteral("以上"),
                                           QString::number(field.highest), QString::fromUtf8(field.english),
                                           field.lowestExcluded ? QStringLiteral("above") : QStringLiteral("at least"));
        sound = false;
    }
    return sound;
}

QString fileProblemText(const QString& file, const heliotrope::sunflux::ReadProblem& read)
{
    using heliotrope::sunflux::FileProblem;
    QString japanese;
    QString english;
    switch (read.problem) {
    case FileProblem::NotTheFormat:
        japanese = QStringLiteral("最初の行が「heliotrope-sunflux 1」ではありません");
        english = QStringLiteral("the first line is not \"heliotrope-sunflux 1\"");
        break;
    case FileProblem::UnknownLine:
        japanese = QStringLiteral("quiet でも burst でもない行です");
        english = QStringLiteral("a line neither quiet nor burst");
        break;
    case FileProblem::WrongFieldCount:
        japanese = QStringLiteral("数値の数がちがいます（quiet は 6 つ、burst は 4 つ）");
        english = QStringLiteral("the wrong number of fields (quiet takes 6, burst 4)");
        break;
    case FileProblem::BadNumber:
        japanese = QStringLiteral("数値ではない値があります");
        english = QStringLiteral("a field that is not a number");
        break;
    case FileProblem::OutOfRange:
        japanese = QStringLiteral("値が範囲外です（正の強さ、振幅は強さ以下、周期 1〜100 日、立ち上がり 3600 秒以下、減衰 21600 秒以下）");
        english = QStringLiteral("a value out of range (flux above 0, amplitude at most the level, period 1 to 100 days, "
                                 "rise at most 3600 s, decay at most 21600 s)");
        break;
    case FileProblem::NoQuiet:
        japanese = QStringLiteral("quiet の行がありません");
        english = QStringLiteral("no quiet line");
        break;
    case FileProblem::TwoQuiet:
        japanese = QStringLiteral("quiet の行が 2 つあります");
        english = QStringLiteral("a second quiet line");
        break;
    case FileProblem::None:
        break;
    }
    const QString where = read.line > 0 ? QStringLiteral("%1:%2").arg(file).arg(read.line) : file;
    return QStringLiteral("--flux-history %1: %2。\n--flux-history %1: %3.").arg(where, japanese, english);
}

void readPhysicalModel(CompanionCommandLine& commandLine, RadiometerOptions& options)
{
    const QCommandLineParser& parser = commandLine.parser();
    bool physical = false;
    for (const char* name : kPhysicalOptions)
        physical = physical || parser.isSet(QString::fromLatin1(name));
    if (!physical)
        return;
    for (const char* name : {"peak", "baseline", "beamwidth"})
        if (parser.isSet(QString::fromLatin1(name)))
            commandLine.problems() << QStringLiteral("--%1 は dB のモデルのものです。物理モデルでは、ビームは --frequency と --dish-diameter から、太陽は --flux などから決まります。\n"
                                                     "--%1 belongs to the dB model: in the physical model the beam follows from --frequency and "
                                                     "--dish-diameter, and the sun from --flux and its kin.")
                                          .arg(QString::fromLatin1(name));
    PhysicalModel model;
    commandLine.readNumber(QStringLiteral("receiver-temperature"), 0, 10000, model.receiverKelvin);
    commandLine.readNumber(QStringLiteral("sky-temperature"), 0, 200, model.zenithSkyKelvin);
    commandLine.readNumber(QStringLiteral("spillover"), 0, 0.5, model.spillover);
    commandLine.readNumber(QStringLiteral("frequency"), 10, 300000, model.frequencyMegahertz);
    commandLine.readNumber(QStringLiteral("dish-diameter"), 0.1, 100, model.dishDiameterMetres);
    commandLine.readNumber(QStringLiteral("efficiency"), 0, 1, model.efficiency, true);
    commandLine.readNumber(QStringLiteral("bandwidth"), 0.001, 10000, model.bandwidthMegahertz);
    commandLine.readNumber(QStringLiteral("gain"), -50, 200, model.gainDecibels);
    if (model.receiverKelvin + model.zenithSkyKelvin <= 0)
        commandLine.problems() << QStringLiteral("--receiver-temperature と --sky-temperature がともに 0 では、雑音のない受信機になります。\n"
                                                 "--receiver-temperature and --sky-temperature both 0 would make a receiver without noise.");

    static const Field drift[] = {{"全振幅 dB", "peak-to-peak dB", 0, 20}, {"時刻", "hour", 0, 24}};
    double driftValues[] = {model.driftDecibels, model.warmestHour};
    if (readFields(commandLine, QStringLiteral("gain-drift"), parser.value(QStringLiteral("gain-drift")), drift, 1, driftValues)) {
        model.driftDecibels = driftValues[0];
        model.warmestHour = driftValues[1];
    }
    if (parser.isSet(QStringLiteral("lna-step"))) {
        static const Field step[] = {{"時刻", "time", 0, 0, false, true}, {"dB", "dB", 0, 40}};
        double values[2] = {};
        if (readFields(commandLine, QStringLiteral("lna-step"), parser.value(QStringLiteral("lna-step")), step, 2, values))
            model.lnaStep = LnaStep{values[0], values[1]};
    }
    for (const QString& rain : parser.values(QStringLiteral("rain"))) {
        static const Field fields[] = {{"時刻", "time", 0, 0, false, true}, {"分", "minutes", 0, 1440, true}, {"dB", "dB", 0, 30, true}};
        double values[3] = {};
        if (readFields(commandLine, QStringLiteral("rain"), rain, fields, 3, values))
            model.rains.push_back(Rain{values[0], values[1] * 60, values[2]});
    }
    static const Field spikes[] = {{"回数", "rate", 0, 3600}, {"秒", "seconds", 0, 60, true}, {"dB", "dB", 0, 60, true}};
    double spikeValues[] = {model.spikes.perHour, model.spikes.seconds, model.spikes.decibels};
    if (readFields(commandLine, QStringLiteral("spikes-per-hour"), parser.value(QStringLiteral("spikes-per-hour")), spikes, 1, spikeValues))
        model.spikes = Spikes{spikeValues[0], spikeValues[1], spikeValues[2]};
    options.physical = model;
    options.absorberFile = parser.value(QStringLiteral("absorber-file"));
    commandLine.readNumber(QStringLiteral("absorber-temperature"), 1, 400, options.absorberKelvin);
    options.noiseSourceFile = parser.value(QStringLiteral("noise-source-file"));
    commandLine.readNumber(QStringLiteral("noise-source-enr"), -10, 40, options.noiseSourceEnrDecibels);

    using namespace heliotrope::sunflux;
    const QString file = parser.value(QStringLiteral("flux-history"));
    if (!file.isEmpty()) {
        for (const char* name : {"flux", "flux-rotation", "bursts-per-day"})
            if (parser.isSet(QString::fromLatin1(name)))
                commandLine.problems() << QStringLiteral("--%1 と --flux-history は一緒に使えません: ファイルが履歴のすべてです。\n"
                                                         "--%1 and --flux-history do not go together: the file is the whole history.")
                                              .arg(QString::fromLatin1(name));
        std::ifstream in(QFile::encodeName(file).toStdString());
        ReadProblem problem;
        std::optional<FluxHistory> history = in ? readFluxHistory(in, &problem) : std::nullopt;
        if (history)
            options.flux = std::move(*history);
        else if (!in)
            commandLine.problems() << QStringLiteral("--flux-history %1 を開けません。\n--flux-history: cannot open %1.").arg(file);
        else
            commandLine.problems() << fileProblemText(file, problem);
        return;
    }
    options.flux.quiet.rotationPhaseUtc = 0;
    commandLine.readNumber(QStringLiteral("flux"), 0, kLargestFluxSfu, options.flux.quiet.levelSfu, true);
    static const Field rotation[] = {{"振幅 SFU", "amplitude SFU", 0, kLargestFluxSfu}, {"時刻", "time", 0, 0, false, true}};
    double rotationValues[] = {0, 0};
    if (readFields(commandLine, QStringLiteral("flux-rotation"), parser.value(QStringLiteral("flux-rotation")), rotation, 1, rotationValues)) {
        options.flux.quiet.rotationAmplitudeSfu = rotationValues[0];
        options.flux.quiet.rotationPhaseUtc = rotationValues[1];
        if (rotationValues[0] > options.flux.quiet.levelSfu)
            commandLine.problems() << QStringLiteral("--flux-rotation の振幅は --flux 以下にしてください（静かな太陽が負になります）。\n"
                                                     "--flux-rotation: the amplitude must be at most --flux (the quiet sun would go below zero).");
    }
    double perDay = 0;
    commandLine.readNumber(QStringLiteral("bursts-per-day"), 0, 1000, perDay);
    if (perDay > 0) {
        BurstGenerator generator;
        generator.burstsPerDay = perDay;
        options.bursts = generator;
    }
}

}  // namespace

CommandLine<RadiometerOptions> parseRadiometerCommandLine(const QStringList& arguments)
{
    CompanionCommandLine commandLine(QStringLiteral(
        "太陽を受信する電波計（ラジオメーター）のシミュレーター。rotctld からアンテナの位置を p で読み、\n"
        "本当の太陽との離角から受信電力 dB を答えます: rigctld と同じプロトコル（l STRENGTH、整数 dB）か、\n"
        "--once で 1 回だけ小数つきで表示して終了（電力を読むコマンドとして）。\n"
        "物理モデル（--receiver-temperature などのどれか）では: 受信機＋空＋地面＋太陽の温度を利得で検出器の dBm に。\n"
        "A simulated radiometer on the sun. It reads the antenna's position from rotctld with p and\n"
        "answers the received power in dB from the separation to the true sun: through rigctld's\n"
        "protocol (l STRENGTH, whole dB), or with --once, one reading with decimals, then exits\n"
        "(to be the bridge's power command).\n"
        "power = baseline + peak * exp(-4 ln2 (separation/beamwidth)^2) + noise\n"
        "With the physical model (any of --receiver-temperature and its kin): receiver + sky + ground + sun,\n"
        "in kelvin, through the gain to the detector's dBm:\n"
        "dBm = 10 log10(k (Tsys + Tsun) B G / 1 mW), Tsun = S Ae / (2 k K) * beam * air * rain"));
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
    readPhysicalModel(commandLine, options);
    options.kelvin = parser.isSet(QStringLiteral("kelvin"));
    if (!options.once)
        commandLine.refuseWithout(QStringLiteral("--once"), QStringLiteral("--once"), {QStringLiteral("kelvin")});
    return commandLine.result(options);
}

}  // namespace heliotrope::radiometer
