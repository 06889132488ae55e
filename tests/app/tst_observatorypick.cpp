#include "TestSupport.h"

#include "app/frmMain.h"
#include "app/observatories/ObservatoryTable.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

using namespace heliotrope::app;

// Picking an observation point from the list applies the table; typing into
// the list's edit field writes the default point, keystroke by keystroke.
class TestObservatoryPick : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tableInListOrder();
    void pickWritesTheCity_data();
    void pickWritesTheCity();
    void freeInputKeepsWhatTheBoxesHold();
    void pickOverwritesHandEdits();
    void typingWritesTheDefaultAtEveryKeystroke();
    void inputMethodCommitCountsAsTyping();
    void typedCityIsNotAPickWhenLeavingTheBox();
    void typedCityIsNotAPickOnEnterOrOpeningTheList();
    void arrowKeysStepThroughTheList();

private:
    void pick(const QString& entry);
    QString latitude() const { return m_window->findChild<QLineEdit*>(QStringLiteral("txtObserverLatitude"))->text(); }
    QString longitude() const
    {
        return m_window->findChild<QLineEdit*>(QStringLiteral("txtObserverLongtitude"))->text();
    }
    QComboBox* combo() const { return m_window->findChild<QComboBox*>(QStringLiteral("ComboObservatory")); }

    FixedClock m_clock{2026, 6, 21, 12, 0, 0};
    PresetDialogs m_dialogs;
    frmMain* m_window = nullptr;
};

void TestObservatoryPick::init()
{
    m_window = new frmMain(m_clock, m_dialogs);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void TestObservatoryPick::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

// Opens the list and clicks the entry, as the operator does.
void TestObservatoryPick::pick(const QString& entry)
{
    const int row = combo()->findText(entry, Qt::MatchExactly);
    QVERIFY(row >= 0);
    combo()->showPopup();
    QAbstractItemView* list = combo()->view();
    QTRY_VERIFY(list->isVisible());
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    const QPoint at = list->visualRect(index).center();
    QTest::mouseMove(list->viewport(), at);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(combo()->currentText(), entry);
}

void TestObservatoryPick::tableInListOrder()
{
    const QStringList expected{QStringLiteral("八王子"), QStringLiteral("東京"), QStringLiteral("札幌"),
                               QStringLiteral("仙台"), QStringLiteral("名古屋"), QStringLiteral("大阪"),
                               QStringLiteral("広島"), QStringLiteral("福岡"), QStringLiteral("那覇"),
                               QStringLiteral("その他・任意入力")};
    QStringList listed;
    for (int i = 0; i < combo()->count(); ++i)
        listed << combo()->itemText(i);
    QCOMPARE(listed, expected);
    QVERIFY(!findCity(QStringLiteral("その他・任意入力")));
    QVERIFY(!findCity(QStringLiteral(" 東京")));  // ordinal: no trimming
    QVERIFY(!findCity(QStringLiteral("ＡＢＣ")));
}

void TestObservatoryPick::pickWritesTheCity_data()
{
    // The nine cities and the texts a pick writes, typed from the list as it
    // was drawn up rather than read back from the window's own table.
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("lat");
    QTest::addColumn<QString>("lon");
    QTest::newRow("八王子") << QStringLiteral("八王子") << QStringLiteral("35.64") << QStringLiteral("139.3");
    QTest::newRow("東京") << QStringLiteral("東京") << QStringLiteral("35.65") << QStringLiteral("139.7");
    QTest::newRow("札幌") << QStringLiteral("札幌") << QStringLiteral("43.06") << QStringLiteral("141.3");
    QTest::newRow("仙台") << QStringLiteral("仙台") << QStringLiteral("38.27") << QStringLiteral("140.9");
    QTest::newRow("名古屋") << QStringLiteral("名古屋") << QStringLiteral("35.17") << QStringLiteral("136.9");
    QTest::newRow("大阪") << QStringLiteral("大阪") << QStringLiteral("34.68") << QStringLiteral("135.5");
    QTest::newRow("広島") << QStringLiteral("広島") << QStringLiteral("34.37") << QStringLiteral("132.4");
    QTest::newRow("福岡") << QStringLiteral("福岡") << QStringLiteral("33.58") << QStringLiteral("130.4");
    QTest::newRow("那覇") << QStringLiteral("那覇") << QStringLiteral("26.217") << QStringLiteral("127.7");
}

void TestObservatoryPick::pickWritesTheCity()
{
    QFETCH(QString, entry);
    QFETCH(QString, lat);
    QFETCH(QString, lon);
    if (entry == QLatin1String("八王子"))
        pick(QStringLiteral("那覇"));  // start elsewhere so the pick has something to change
    pick(entry);
    QCOMPARE(latitude(), lat);
    QCOMPARE(longitude(), lon);
    const Observatory* city = findCity(entry);
    QVERIFY(city);
    QCOMPARE(*city->latitudeText, lat);
    QCOMPARE(*city->longitudeText, lon);
}

void TestObservatoryPick::freeInputKeepsWhatTheBoxesHold()
{
    pick(QStringLiteral("その他・任意入力"));
    QCOMPARE(latitude(), QStringLiteral("35.64"));
    QCOMPARE(longitude(), QStringLiteral("139.3"));
    pick(QStringLiteral("那覇"));
    pick(QStringLiteral("その他・任意入力"));
    QCOMPARE(latitude(), QStringLiteral("26.217"));
    QCOMPARE(longitude(), QStringLiteral("127.7"));
}

void TestObservatoryPick::pickOverwritesHandEdits()
{
    auto* lat = m_window->findChild<QLineEdit*>(QStringLiteral("txtObserverLatitude"));
    lat->setFocus();
    lat->selectAll();
    QTest::keyClicks(lat, QStringLiteral("40.1"));
    QCOMPARE(latitude(), QStringLiteral("40.1"));
    pick(QStringLiteral("大阪"));
    QCOMPARE(latitude(), QStringLiteral("34.68"));
    QCOMPARE(longitude(), QStringLiteral("135.5"));
}

void TestObservatoryPick::typingWritesTheDefaultAtEveryKeystroke()
{
    pick(QStringLiteral("那覇"));
    QLineEdit* edit = combo()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(latitude(), QStringLiteral("35.64"));  // the deletion was a keystroke too
    auto* lat = m_window->findChild<QLineEdit*>(QStringLiteral("txtObserverLatitude"));
    for (const QString& key : {QStringLiteral("東"), QStringLiteral("京")}) {
        lat->setText(QStringLiteral("1"));
        typeText(edit, key);
        QCOMPARE(latitude(), QStringLiteral("35.64"));
        QCOMPARE(longitude(), QStringLiteral("139.3"));
    }
    // No inline completion: what was typed is what stands.
    QCOMPARE(combo()->currentText(), QStringLiteral("東京"));
}

void TestObservatoryPick::inputMethodCommitCountsAsTyping()
{
    pick(QStringLiteral("那覇"));
    QLineEdit* edit = combo()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    // Composition first (nothing committed yet), then the commit of 東京.
    QInputMethodEvent composing(QStringLiteral("とうきょう"), {});
    QCoreApplication::sendEvent(edit, &composing);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("東京"));
    QCoreApplication::sendEvent(edit, &commit);
    QCOMPARE(combo()->currentText(), QStringLiteral("東京"));
    QCOMPARE(latitude(), QStringLiteral("35.64"));
    QCOMPARE(longitude(), QStringLiteral("139.3"));
}

void TestObservatoryPick::typedCityIsNotAPickWhenLeavingTheBox()
{
    QLineEdit* edit = combo()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    typeText(edit, QStringLiteral("東京"));
    auto* port = m_window->findChild<QLineEdit*>(QStringLiteral("txtACTLR_Port"));
    QTest::mouseClick(port, Qt::LeftButton);
    port->setFocus();
    QTRY_VERIFY(port->hasFocus());
    QCOMPARE(latitude(), QStringLiteral("35.64"));
    QCOMPARE(longitude(), QStringLiteral("139.3"));
}

void TestObservatoryPick::typedCityIsNotAPickOnEnterOrOpeningTheList()
{
    QLineEdit* edit = combo()->lineEdit();
    edit->setFocus();
    edit->selectAll();
    typeText(edit, QStringLiteral("那覇"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(latitude(), QStringLiteral("35.64"));
    // The numeric keypad's Enter, on a city of its own, so that what Return
    // left behind cannot hide it.
    edit->selectAll();
    typeText(edit, QStringLiteral("東京"));
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(latitude(), QStringLiteral("35.64"));
    QCOMPARE(combo()->count(), 10);  // Enter adds nothing to the list
    combo()->showPopup();
    QTRY_VERIFY(combo()->view()->isVisible());
    combo()->hidePopup();
    QCOMPARE(latitude(), QStringLiteral("35.64"));
    QCOMPARE(longitude(), QStringLiteral("139.3"));
    // But picking 那覇 from the list now does apply it.
    pick(QStringLiteral("那覇"));
    QCOMPARE(latitude(), QStringLiteral("26.217"));
}

void TestObservatoryPick::arrowKeysStepThroughTheList()
{
    QLineEdit* edit = combo()->lineEdit();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Down);
    QCOMPARE(combo()->currentText(), QStringLiteral("東京"));
    QCOMPARE(latitude(), QStringLiteral("35.65"));
    QCOMPARE(longitude(), QStringLiteral("139.7"));
}

QTEST_MAIN(TestObservatoryPick)
#include "tst_observatorypick.moc"
