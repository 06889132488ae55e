#include "companions/common/SenderAllowList.h"

#include <QCommandLineOption>

namespace heliotrope::companions {

namespace {

// A sender as the allow-list compares it: an IPv4 sender that reached a
// dual-stack socket (listening on ::) arrives as ::ffff:a.b.c.d and is
// compared as a.b.c.d, so that "--allow 192.168.1.20" holds on either socket.
QHostAddress comparable(const QHostAddress& address)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        bool isMappedIPv4 = false;
        const quint32 v4 = address.toIPv4Address(&isMappedIPv4);
        if (isMappedIPv4)
            return QHostAddress(v4);
    }
    QHostAddress plain = address;
    plain.setScopeId(QString());  // fe80::1%eth0 is fe80::1 for the list
    return plain;
}

// An address as typed: IPv6, or IPv4 in its four dotted parts. QHostAddress
// also takes the old short forms ("10.1" for 10.0.0.1), which an operator
// who typed them would hardly mean.
bool readAddress(const QString& text, QHostAddress* address)
{
    if (!text.contains(QLatin1Char(':')) && text.count(QLatin1Char('.')) != 3)
        return false;
    return address->setAddress(text) && address->scopeId().isEmpty();
}

int fullLength(const QHostAddress& address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
}

}  // namespace

SenderAllowList SenderAllowList::loopbackOnly()
{
    SenderAllowList list;
    list.add({QHostAddress(QStringLiteral("127.0.0.0")), 8});
    list.add({QHostAddress(QHostAddress::LocalHostIPv6), 128});
    return list;
}

bool SenderAllowList::allows(const QHostAddress& sender) const
{
    const QHostAddress address = comparable(sender);
    for (const Subnet& subnet : m_subnets) {
        if (address.isInSubnet(subnet))
            return true;
    }
    return false;
}

QString SenderAllowList::text() const
{
    QStringList parts;
    for (const Subnet& subnet : m_subnets) {
        parts << (subnet.second == fullLength(subnet.first) ? subnet.first.toString()
                                                            : QStringLiteral("%1/%2").arg(subnet.first.toString()).arg(subnet.second));
    }
    return parts.join(QStringLiteral(", "));
}

bool SenderAllowList::isLoopbackOnly() const
{
    for (const Subnet& subnet : m_subnets) {
        if (!subnet.first.isLoopback())
            return false;
    }
    return true;
}

OptionValue<SenderAllowList::Subnet> allowedSubnetOption(const QString& option, const QString& text)
{
    const QString trimmed = text.trimmed();
    const QString refused = QStringLiteral("--%1 「%2」は IP アドレスでもサブネット（アドレス/プレフィックス長）でもありません"
                                           "（例: 192.168.1.20、192.168.1.0/24、2001:db8::/32。ホスト名は使えません）。\n"
                                           "--%1 \"%2\" is neither an IP address nor a subnet (ADDRESS/PREFIX), e.g. 192.168.1.20, "
                                           "192.168.1.0/24, 2001:db8::/32; host names are not taken.")
                                .arg(option, text);
    if (!trimmed.contains(QLatin1Char('/'))) {
        // A whole address. Not through parseSubnet, which reads "192.168.1"
        // as the subnet 192.168.1.0/24: an operator who typed a short address
        // did not mean a whole network.
        QHostAddress address;
        if (!readAddress(trimmed, &address))
            return {std::nullopt, refused};
        const QHostAddress plain = comparable(address);
        return {SenderAllowList::Subnet{plain, fullLength(plain)}, {}};
    }
    const qsizetype slash = trimmed.indexOf(QLatin1Char('/'));
    QHostAddress network;
    bool prefixIsNumber = false;
    const int prefix = trimmed.mid(slash + 1).toInt(&prefixIsNumber);
    if (!readAddress(trimmed.left(slash), &network) || !prefixIsNumber || prefix < 0 || prefix > fullLength(network))
        return {std::nullopt, refused};
    const SenderAllowList::Subnet subnet = QHostAddress::parseSubnet(trimmed);
    if (subnet.second < 0)
        return {std::nullopt, refused};
    return {subnet, {}};
}

OptionValue<SenderAllowList> senderAllowListOption(const QString& option, const QStringList& values,
                                                   const QHostAddress& listenAddress)
{
    if (values.isEmpty()) {
        if (listenAddress.isLoopback())
            return {SenderAllowList::loopbackOnly(), {}};
        const QString listen = listenAddress.toString();
        return {std::nullopt,
                QStringLiteral("--listen %1 ではこのコンピュータの外からも指向データが届きますが、"
                               "受け付ける送信元が決まっていません。ウィンドウ（heliotrope）を動かすコンピュータのアドレスを "
                               "--%2 で指定してください（例: --%2 192.168.1.20、そのネットワーク全体なら --%2 192.168.1.0/24。"
                               "このコンピュータのウィンドウも使うなら --%2 127.0.0.1 も）。\n"
                               "--listen %1 lets pointing messages in from beyond this computer, but no sender is "
                               "allowed: name the computer that runs the window (heliotrope) with --%2 (e.g. --%2 "
                               "192.168.1.20, or --%2 192.168.1.0/24 for its network; add --%2 127.0.0.1 for a window "
                               "on this computer).")
                    .arg(listen, option)};
    }
    SenderAllowList list;
    QStringList problems;
    for (const QString& value : values) {
        const OptionValue<SenderAllowList::Subnet> subnet = allowedSubnetOption(option, value);
        if (subnet.value)
            list.add(*subnet.value);
        else
            problems << subnet.problem;
    }
    if (!problems.isEmpty())
        return {std::nullopt, problems.join(QLatin1Char('\n'))};
    return {list, {}};
}

QCommandLineOption allowedSenderOption()
{
    return QCommandLineOption(
        QStringLiteral("allow"),
        QStringLiteral("指向データを受け付ける送信元のアドレスかサブネット（繰り返し可）。既定はこのコンピュータだけ"
                       "（127.0.0.0/8 と ::1）。--listen がループバック以外なら必須。\n"
                       "A sender whose pointing messages are taken: ADDRESS or ADDRESS/PREFIX, repeatable. Default: this "
                       "computer only (127.0.0.0/8, ::1). Required when --listen is not a loopback address."),
        QStringLiteral("address[/prefix]"));
}

}  // namespace heliotrope::companions
