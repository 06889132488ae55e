#include "companions/common/OptionValues.h"

#include "link/PortText.h"

#include <QCommandLineParser>
#include <QLocale>

#include <cmath>

using heliotrope::link::PortTextStatus;
using heliotrope::link::UdpPortFromText;
using heliotrope::link::udpPortFromText;

namespace heliotrope::companions {

namespace {

QString named(const QString& option, const QString& text)
{
    return QStringLiteral("--%1 「%2」").arg(option, text);
}

}  // namespace

OptionValue<QHostAddress> listenAddressOption(const QString& option, const QString& text)
{
    QString host = text.trimmed();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return {QHostAddress(QHostAddress::LocalHost), {}};
    QHostAddress address;
    if (!address.setAddress(host))
        return {std::nullopt, QStringLiteral("%1 は IP アドレスではありません（例: 127.0.0.1）。\n"
                                             "--%2 \"%3\" is not an IP address (e.g. 127.0.0.1).")
                                  .arg(named(option, text), option, text)};
    return {address, {}};
}

OptionValue<quint16> portOption(const QString& option, const QString& text, bool allowZero)
{
    const UdpPortFromText port = udpPortFromText(text.toStdU16String());
    if (port.status == PortTextStatus::NotANumber)
        return {std::nullopt, QStringLiteral("%1 はポート番号ではありません。%2～65535 の数値を指定してください。\n"
                                             "--%3 \"%4\" is not a port number: give a number from %2 to 65535.")
                                  .arg(named(option, text))
                                  .arg(allowZero ? 0 : 1)
                                  .arg(option, text)};
    if (port.status == PortTextStatus::OutOfRange || (port.port == 0 && !allowZero))
        return {std::nullopt, QStringLiteral("%1 は %2～65535 の範囲外です。%2～65535 の数値を指定してください。\n"
                                             "--%3 \"%4\" is out of range: give a port from %2 to 65535.")
                                  .arg(named(option, text))
                                  .arg(allowZero ? 0 : 1)
                                  .arg(option, text)};
    return {port.port, {}};
}

OptionValue<double> numberOption(const QString& option, const QString& text, double minimum, double maximum,
                                 bool minimumExcluded)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value)) {
        return {std::nullopt, QStringLiteral("%1 は数値ではありません。%2～%3 の数値を指定してください。\n"
                                             "--%4 \"%5\" is not a number: give one from %2 to %3.")
                                  .arg(named(option, text), QString::number(minimum), QString::number(maximum), option, text)};
    }
    if ((minimumExcluded ? value <= minimum : value < minimum) || value > maximum) {
        return {std::nullopt, QStringLiteral("%1 は範囲外です: %2 %3 %4 以下にしてください。\n"
                                             "--%5 \"%6\" is out of range: it must be %7 %2 and at most %4.")
                                  .arg(named(option, text), QString::number(minimum), minimumExcluded ? QStringLiteral("より大きく") : QStringLiteral("以上"), QString::number(maximum), option, text, minimumExcluded ? QStringLiteral("above") : QStringLiteral("at least"))};
    }
    return {value, {}};
}

OptionValue<heliotrope::sky::Site> siteOption(const QString& option, const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) {
        return {std::nullopt, QStringLiteral("%1 は「緯度,経度[,高さ m]」の形ではありません（例: 35.6581,139.3383,120）。\n"
                                             "--%2 takes LAT,LON[,HEIGHT_M] in degrees and metres, e.g. 35.6581,139.3383,120.")
                                  .arg(named(option, text), option)};
    }
    const auto number = [&](int index, double lowest, double highest) -> std::optional<double> {
        bool ok = false;
        const double value = QLocale::c().toDouble(parts[index].trimmed(), &ok);
        if (ok && std::isfinite(value) && value >= lowest && value <= highest)
            return value;
        return std::nullopt;
    };
    heliotrope::sky::Site site;
    struct Part {
        int index;
        const char* japanese;
        const char* english;
        double lowest;
        double highest;
        double* into;
    };
    const Part wanted[] = {
        {0, "緯度", "latitude", -90, 90, &site.latitude},
        {1, "経度", "longitude", -180, 180, &site.longitude},
        {2, "高さ", "height", -500, 9000, &site.height},
    };
    for (const Part& p : wanted) {
        if (p.index >= parts.size())
            break;
        const std::optional<double> value = number(p.index, p.lowest, p.highest);
        if (!value) {
            return {std::nullopt,
                    QStringLiteral("%1 の%2「%3」は %4～%5 の数値ではありません。\n"
                                   "--%6: the %7 \"%3\" is not a number from %4 to %5.")
                        .arg(named(option, text), QString::fromUtf8(p.japanese), parts[p.index].trimmed())
                        .arg(p.lowest)
                        .arg(p.highest)
                        .arg(option, QLatin1String(p.english))};
        }
        *p.into = *value;
    }
    return {site, {}};
}

OptionValue<std::pair<double, double>> anglePairOption(const QString& option, const QString& text, double limit)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool okAz = false;
    bool okEl = false;
    double az = 0;
    double el = 0;
    if (parts.size() == 2) {
        az = QLocale::c().toDouble(parts[0].trimmed(), &okAz);
        el = QLocale::c().toDouble(parts[1].trimmed(), &okEl);
    }
    if (!okAz || !okEl || !std::isfinite(az) || !std::isfinite(el) || std::abs(az) > limit || std::abs(el) > limit) {
        return {std::nullopt, QStringLiteral("--%1 「%2」 は「方位角,仰角」の度（各 ±%3 以内）ではありません。\n"
                                             "--%1 takes AZ,EL in degrees, each within ±%3, e.g. 0.4,-0.3.")
                                  .arg(option, text)
                                  .arg(limit)};
    }
    return {std::make_pair(az, el), {}};
}

OptionValue<HostAndPort> hostAndPortOption(const QString& option, const QString& text, quint16 defaultPort)
{
    const QString trimmed = text.trimmed();
    QString host = trimmed;
    QString portText;
    bool portGiven = false;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return {std::nullopt, QStringLiteral("%1 の [ ] が閉じていません（例: [::1]:4533）。\n"
                                                 "--%2 \"%3\": the [ ] is not closed (e.g. [::1]:4533).")
                                      .arg(named(option, text), option, text)};
        host = trimmed.mid(1, close - 1);
        const QString after = trimmed.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':')))
                return {std::nullopt, QStringLiteral("%1 は「ホスト:ポート」の形ではありません（例: 127.0.0.1:4533）。\n"
                                                     "--%2 \"%3\" is not HOST:PORT (e.g. 127.0.0.1:4533).")
                                          .arg(named(option, text), option, text)};
            portText = after.mid(1);
            portGiven = true;
        }
    } else if (trimmed.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
        host = trimmed.left(colon);
        portText = trimmed.mid(colon + 1);
        portGiven = true;
    }
    // More than one colon without brackets: a bare IPv6 address, default port.
    if (host.isEmpty())
        return {std::nullopt, QStringLiteral("%1 にホストがありません（例: 127.0.0.1:4533）。\n"
                                             "--%2 \"%3\" names no host (e.g. 127.0.0.1:4533).")
                                  .arg(named(option, text), option, text)};
    quint16 port = defaultPort;
    if (portGiven) {
        const OptionValue<quint16> read = portOption(option, portText, false);
        if (!read.value)
            return {std::nullopt, read.problem};
        port = *read.value;
    }
    return {HostAndPort{host, port}, {}};
}

void addBilingualHelpOption(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("この説明を表示して終了する。\nShow this help and exit.")));
}

bool helpRequested(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("help"));
}

}  // namespace heliotrope::companions
