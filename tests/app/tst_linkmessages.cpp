// What the window says when the controller link does not open or does not
// send, and on which box it puts it.

#include "TestSupport.h"

#include "app/LinkMessages.h"
#include "app/frmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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

// Each refusal is the operator's to act on: it starts with the caption of the
// box at fault (as the window shows it beside the box), quotes what was typed
// there exactly, blanks included, and that box is the one marked. The wording
// around those is free; it is not restated here.
void TestLinkMessages::openProblems_data()
{
    QTest::addColumn<Problem>("problem");
    QTest::addColumn<ControllerBox>("box");
    QTest::addColumn<QString>("quoted");  // the typed text the message must quote; "" for none

    const QString host = QStringLiteral("ctl.example");
    const QString port = QStringLiteral(" x1 ");
    QTest::newRow("address missing") << Problem::AddressMissing << ControllerBox::Address << QString();
    QTest::newRow("address not found") << Problem::AddressNotFound << ControllerBox::Address << host;
    QTest::newRow("lookup failed") << Problem::NameLookupFailed << ControllerBox::Address << host;
    QTest::newRow("name server silent") << Problem::NameServerSilent << ControllerBox::Address << host;
    QTest::newRow("port not a number") << Problem::PortNotANumber << ControllerBox::Port << port;
    QTest::newRow("port out of range") << Problem::PortOutOfRange << ControllerBox::Port << port;
    QTest::newRow("no local port") << Problem::LocalPortUnavailable << ControllerBox::None << QString();
}

void TestLinkMessages::openProblems()
{
    QFETCH(Problem, problem);
    QFETCH(ControllerBox, box);
    QFETCH(QString, quoted);
    const QString said
        = openProblemText(problem, QStringLiteral("ctl.example"), QStringLiteral(" x1 "), std::chrono::milliseconds(2500));
    QCOMPARE(boxAtFault(problem), box);
    QVERIFY(!said.isEmpty());
    const QString caption = box == ControllerBox::Address ? QStringLiteral("アンテナコントローラ IP")
        : box == ControllerBox::Port                      ? QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)")
                                                          : QString();
    QVERIFY2(said.startsWith(caption), qPrintable(said));
    QVERIFY2(quoted.isEmpty() ? !said.contains(QStringLiteral("「")) : said.contains(u'「' + quoted + u'」'),
             qPrintable(said));
    // The time the name server was given, in seconds as the operator set it.
    QCOMPARE(said.contains(QStringLiteral(" 2.5 秒")), problem == Problem::NameServerSilent);
    QCOMPARE(openProblemText(Problem::None, {}, {}, {}), QString());
    for (const Problem other : {Problem::AddressMissing, Problem::AddressNotFound, Problem::NameLookupFailed,
                                Problem::NameServerSilent, Problem::PortNotANumber, Problem::PortOutOfRange})
        QVERIFY(other == problem || openProblemText(other, {}, {}, {}) != openProblemText(problem, {}, {}, {}));
}

// A send that fails says why, and where it was going when the system refused it.
void TestLinkMessages::sendProblems_data()
{
    QTest::addColumn<Send>("problem");
    QTest::addColumn<bool>("namesTheController");

    QTest::newRow("closed") << Send::LinkClosed << false;
    QTest::newRow("not ASCII") << Send::NotAscii << false;
    QTest::newRow("refused") << Send::SystemRefused << true;
}

void TestLinkMessages::sendProblems()
{
    QFETCH(Send, problem);
    QFETCH(bool, namesTheController);
    const auto said = [](Send p) { return sendProblemText(p, QHostAddress(QHostAddress::LocalHostIPv6), 10006); };
    QCOMPARE(said(Send::None), QString());
    QVERIFY(!said(problem).isEmpty());
    QCOMPARE(said(problem).contains(QStringLiteral("::1 ポート 10006")), namesTheController);
    for (const Send other : {Send::LinkClosed, Send::NotAscii, Send::SystemRefused})
        QVERIFY(other == problem || said(other) != said(problem));
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
    QCOMPARE(dialogs.warnings.size(), 1);
    QVERIFY2(dialogs.warnings[0].contains(QStringLiteral("「 7０000 」")), qPrintable(dialogs.warnings[0]));
    QCOMPARE(port->toolTip(), dialogs.warnings[0]);
    QVERIFY(address->toolTip().isEmpty());

    address->setText(QStringLiteral(" Controller.INVALID "));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdStart")), Qt::LeftButton);
    QVERIFY2(dialogs.warnings.value(1).contains(QStringLiteral("「 Controller.INVALID 」")), qPrintable(dialogs.warnings.value(1)));
    QCOMPARE(address->toolTip(), dialogs.warnings.value(1));
}

QTEST_MAIN(TestLinkMessages)
#include "tst_linkmessages.moc"
