// What the window says when the controller link does not open or does not
// send: worded here from the link's reasons, character for character as the
// operator has always read them, and put on the box at fault.

#include "TestSupport.h"

#include "app/LinkMessages.h"
#include "app/frmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace heliotrope::app;
using namespace heliotrope::link;

using Problem = ControllerLink::OpenProblem;
using Send = ControllerLink::SendProblem;

class TestLinkMessages : public QObject {
    Q_OBJECT
private slots:
    void openProblems_data();
    void openProblems();
    void sendProblems_data();
    void sendProblems();
    void windowQuotesTheBoxesAsPressed();
};

void TestLinkMessages::openProblems_data()
{
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<ControllerBox>("box");
    QTest::addColumn<QString>("expected");

    // The port's caption holds an ideographic space (U+3000).
    QTest::newRow("address missing") << Problem::AddressMissing << ControllerBox::Address
                                     << QStringLiteral("アンテナコントローラ IP が入力されていません。");
    QTest::newRow("address not found") << Problem::AddressNotFound << ControllerBox::Address
                                       << QStringLiteral("アンテナコントローラ IP「ctl.example」のアドレスが見つかりません。");
    QTest::newRow("lookup failed")
        << Problem::NameLookupFailed << ControllerBox::Address
        << QStringLiteral("アンテナコントローラ IP「ctl.example」の名前をネームサーバーに問い合わせられませんでした。");
    QTest::newRow("name server silent")
        << Problem::NameServerSilent << ControllerBox::Address
        << QStringLiteral("アンテナコントローラ IP「ctl.example」の名前を問い合わせましたが、ネームサーバーが 5 "
                          "秒以内に応答しませんでした。");
    QTest::newRow("port not a number")
        << Problem::PortNotANumber << ControllerBox::Port
        << QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)「 x1 」は数値ではありません。0～65535 "
                          "の数値を入力してください。");
    QTest::newRow("port out of range") << Problem::PortOutOfRange << ControllerBox::Port
                                       << QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)「 x1 」は 0～65535 の範囲外です。");
    QTest::newRow("no local port") << Problem::LocalPortUnavailable << ControllerBox::None
                                   << QStringLiteral("通信用のローカル UDP ポートを開けませんでした。");
}

void TestLinkMessages::openProblems()
{
    QFETCH(Problem, problem);
    QFETCH(ControllerBox, box);
    QFETCH(QString, expected);
    QCOMPARE(openProblemText(problem, QStringLiteral("ctl.example"), QStringLiteral(" x1 "), std::chrono::seconds(5)),
             expected);
    QCOMPARE(boxAtFault(problem), box);
}

void TestLinkMessages::sendProblems_data()
{
    QTest::addColumn<Send>("problem");
    QTest::addColumn<QString>("expected");

    const QString prefix = QStringLiteral("アンテナコントローラへ送信できませんでした: ");
    QTest::newRow("none") << Send::None << QString();
    QTest::newRow("closed") << Send::LinkClosed
                            << prefix + QStringLiteral("アンテナコントローラとの通信が開かれていないため、指向データを送信できません。");
    QTest::newRow("not ASCII")
        << Send::NotAscii
        << prefix + QStringLiteral("設定方位角または設定仰角に ASCII 以外の文字があるため、指向データを送信しませんでした。");
    QTest::newRow("refused") << Send::SystemRefused
                             << prefix + QStringLiteral("アンテナコントローラ（::1 ポート 10006）へ指向データを送信できませんでした。");
}

void TestLinkMessages::sendProblems()
{
    QFETCH(Send, problem);
    QFETCH(QString, expected);
    QCOMPARE(sendProblemText(problem, QHostAddress(QHostAddress::LocalHostIPv6), 10006), expected);
}

// A failed start quotes the texts the operator had typed, blanks and all, and
// the captions beside the boxes are the ones the messages name.
void TestLinkMessages::windowQuotesTheBoxesAsPressed()
{
    FixedClock clock{2006, 6, 21, 12, 0, 0};
    PresetDialogs dialogs;
    frmMain window(clock, dialogs);
    auto* address = window.findChild<QLineEdit*>(QStringLiteral("txtACTLR_IP"));
    auto* port = window.findChild<QLineEdit*>(QStringLiteral("txtACTLR_Port"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label10"))->text(), QStringLiteral("アンテナコントローラ IP"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Label9"))->text(),
             QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)"));

    port->setText(QStringLiteral(" 7０000 "));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
    const QString portMessage = QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)「 7０000 」は 0～65535 の範囲外です。");
    QCOMPARE(dialogs.warnings, QStringList{portMessage});
    QCOMPARE(port->toolTip(), portMessage);
    QVERIFY(address->toolTip().isEmpty());

    address->setText(QStringLiteral(" Controller.INVALID "));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
    const QString addressMessage = QStringLiteral("アンテナコントローラ IP「 Controller.INVALID 」のアドレスが見つかりません。");
    QCOMPARE(dialogs.warnings.value(1), addressMessage);
    QCOMPARE(address->toolTip(), addressMessage);
}

QTEST_MAIN(TestLinkMessages)
#include "tst_linkmessages.moc"
