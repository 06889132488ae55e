#pragma once

// Who may steer the antenna: the senders whose pointing messages a companion
// acts on. A bridge that listens beyond this computer would otherwise point a
// real rotator at whatever one stray UDP datagram asks for.
//
// By default only this computer itself (127.0.0.0/8 and ::1) may send. Each
// --allow names an address or a subnet (IPv4 or IPv6, ADDRESS or
// ADDRESS/PREFIX); once any is given, exactly those are allowed, loopback
// only if it is named too. Host names are not looked up: a name server that
// lies would otherwise decide who steers.

#include "companions/common/OptionValues.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QCommandLineOption;

namespace heliotrope::companions {

class SenderAllowList {
public:
    using Subnet = QPair<QHostAddress, int>;  // network address and prefix length in bits

    // 127.0.0.0/8 and ::1: this computer only.
    static SenderAllowList loopbackOnly();

    void add(const Subnet& subnet) { m_subnets.append(subnet); }
    bool allows(const QHostAddress& sender) const;
    // "127.0.0.0/8, ::1/128", for the operator.
    QString text() const;
    bool isLoopbackOnly() const;

private:
    QList<Subnet> m_subnets;
};

// One --allow value: "192.168.1.20", "192.168.1.0/24", "2001:db8::/32", "::1".
OptionValue<SenderAllowList::Subnet> allowedSubnetOption(const QString& option, const QString& text);

// Every --allow value of a command line, for a program that listens on
// listenAddress. None given: loopback only, and a refusal in Japanese and
// English (saying how to allow the window's computer) when the program listens
// beyond loopback, where that would let no one in or, worse, invite the
// operator to allow everyone.
OptionValue<SenderAllowList> senderAllowListOption(const QString& option, const QStringList& values,
                                                   const QHostAddress& listenAddress);

// --allow, described alike in both programs' help.
QCommandLineOption allowedSenderOption();

}  // namespace heliotrope::companions
