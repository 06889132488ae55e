#include "app/LinkMessages.h"

namespace heliotrope::app {

ControllerBox boxAtFault(link::ControllerLink::OpenProblem problem)
{
    using Problem = link::ControllerLink::OpenProblem;
    switch (problem) {
    case Problem::AddressMissing:
    case Problem::AddressNotFound:
    case Problem::NameLookupFailed:
    case Problem::NameServerSilent:
        return ControllerBox::Address;
    case Problem::PortNotANumber:
    case Problem::PortOutOfRange:
        return ControllerBox::Port;
    case Problem::None:
    case Problem::LocalPortUnavailable:
        break;
    }
    return ControllerBox::None;
}

QString openProblemText(link::ControllerLink::OpenProblem problem, const QString& hostText, const QString& portText,
                        std::chrono::milliseconds lookupBound)
{
    using Problem = link::ControllerLink::OpenProblem;
    switch (problem) {
    case Problem::None:
        return {};
    case Problem::AddressMissing:
        return QStringLiteral("%1 が入力されていません。").arg(kAddressBoxCaption);
    case Problem::AddressNotFound:
        return QStringLiteral("%1「%2」のアドレスが見つかりません。").arg(kAddressBoxCaption, hostText);
    case Problem::NameLookupFailed:
        return QStringLiteral("%1「%2」の名前をネームサーバーに問い合わせられませんでした。")
            .arg(kAddressBoxCaption, hostText);
    case Problem::NameServerSilent:
        return QStringLiteral("%1「%2」の名前を問い合わせましたが、ネームサーバーが %3 秒以内に応答しませんでした。")
            .arg(kAddressBoxCaption, hostText)
            .arg(std::chrono::duration<double>(lookupBound).count());
    case Problem::PortNotANumber:
        return QStringLiteral("%1「%2」は数値ではありません。0～65535 の数値を入力してください。")
            .arg(kPortBoxCaption, portText);
    case Problem::PortOutOfRange:
        return QStringLiteral("%1「%2」は 0～65535 の範囲外です。").arg(kPortBoxCaption, portText);
    case Problem::LocalPortUnavailable:
        break;
    }
    return QStringLiteral("通信用のローカル UDP ポートを開けませんでした。");
}

QString sendProblemText(link::ControllerLink::SendProblem problem, const QHostAddress& controller, quint16 port)
{
    using Problem = link::ControllerLink::SendProblem;
    QString why;
    switch (problem) {
    case Problem::None:
        return {};
    case Problem::LinkClosed:
        why = QStringLiteral("アンテナコントローラとの通信が開かれていないため、指向データを送信できません。");
        break;
    case Problem::NotAscii:
        why = QStringLiteral("設定方位角または設定仰角に ASCII 以外の文字があるため、指向データを送信しませんでした。");
        break;
    case Problem::SystemRefused:
        why = QStringLiteral("アンテナコントローラ（%1 ポート %2）へ指向データを送信できませんでした。")
                  .arg(controller.toString())
                  .arg(port);
        break;
    }
    return QStringLiteral("アンテナコントローラへ送信できませんでした: %1").arg(why);
}

}  // namespace heliotrope::app
