#include "TestSupport.h"

#include "app/ControlLayout.h"
#include "app/frmMain.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace heliotrope::app;

// The window as the operator first sees it, and one cycle at a fixed instant.
class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void captionAndClientArea();
    void everyControlAtItsPlace();
    void textsAfterStartUp();
    void tabOrderAndFirstFocus();
    void noteLiesUnderTheButtons();
    void oneCycleWritesTheSetPoint();
    void badCoordinatesAreMarkedAndNothingShown();

private:
    template <typename T>
    static T* child(QWidget& w, const char* name)
    {
        T* found = w.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
};

void TestMainWindow::captionAndClientArea()
{
    FixedClock clock(2026, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    QCOMPARE(w.windowTitle(), QStringLiteral("太陽軌道計算"));
    QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
    // 7464 x 5208 twips at 15 twips per logical pixel.
    QCOMPARE(w.size(), QSize(498, 347));
}

namespace {

// The window's visible controls as the layout was drawn: name, container and
// Left, Top, Width, Height in twips. Typed here, not read from the window's
// own table, so that a mistyped figure there fails this test.
struct Placed {
    const char* name;
    const char* container;
    int left, top, width, height;
};
const Placed kDrawnLayout[] = {
    {"Frame3", "frmMain", 120, 3960, 2895, 1215},
    {"txtAntennaAzimuth", "Frame3", 1800, 600, 975, 375},
    {"txtAntennaElevation", "Frame3", 1800, 240, 975, 375},
    {"Label11", "Frame3", 360, 720, 1335, 375},
    {"Label6", "Frame3", 120, 360, 1815, 255},
    {"Frame2", "frmMain", 120, 2280, 2895, 1575},
    {"txtSettingElevation", "Frame2", 1800, 360, 975, 375},
    {"txtSettingAzimuth", "Frame2", 1800, 960, 975, 375},
    {"Label3", "Frame2", 360, 960, 1095, 255},
    {"Label12", "Frame2", 480, 480, 1455, 255},
    {"Frame1", "frmMain", 120, 480, 2895, 1695},
    {"ComboObservatory", "Frame1", 360, 360, 2415, 300},
    {"txtObserverLatitude", "Frame1", 1800, 840, 975, 375},
    {"txtObserverLongtitude", "Frame1", 1800, 1200, 975, 375},
    {"Label4", "Frame1", 360, 960, 975, 255},
    {"Label5", "Frame1", 360, 1320, 975, 255},
    {"picView", "frmMain", 3960, 1200, 2835, 2595},
    {"txtACTLR_IP", "frmMain", 6120, 0, 1335, 375},
    {"txtACTLR_Port", "frmMain", 6120, 360, 1335, 375},
    {"cmdClose", "frmMain", 5280, 4440, 2175, 735},
    {"cmdStart", "frmMain", 3120, 4440, 2055, 735},
    {"Label7", "frmMain", 3120, 4200, 4335, 495},
    {"Label10", "frmMain", 3240, 120, 1935, 255},
    {"Label9", "frmMain", 3240, 480, 2775, 375},
    {"Shape1", "frmMain", 0, 0, 3135, 375},
    {"Label1", "frmMain", 0, 120, 975, 495},
    {"lblTime", "frmMain", 1080, 120, 2175, 495},
};

// The controls the tab key visits, from the start button round to the list.
const char* const kDrawnFocusOrder[] = {
    "cmdStart",
    "cmdClose",
    "txtACTLR_Port",
    "txtACTLR_IP",
    "picView",
    "txtObserverLongtitude",
    "txtObserverLatitude",
    "txtSettingAzimuth",
    "txtSettingElevation",
    "txtAntennaElevation",
    "txtAntennaAzimuth",
    "ComboObservatory",
};

int pixels(int twips)
{
    return qRound(static_cast<double>(twips) / kTwipsPerPixel);
}

}  // namespace

void TestMainWindow::everyControlAtItsPlace()
{
    FixedClock clock(2026, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    for (const Placed& p : kDrawnLayout) {
        QWidget* control = w.findChild<QWidget*>(QLatin1String(p.name));
        QVERIFY2(control, p.name);
        QCOMPARE(control->parentWidget()->objectName(), QLatin1String(p.container));
        const QRect expected(pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height));
        QVERIFY2(control->geometry() == expected,
                 qPrintable(QStringLiteral("%1 at %2,%3 %4x%5, drawn at %6,%7 %8x%9")
                                .arg(QLatin1String(p.name))
                                .arg(control->x())
                                .arg(control->y())
                                .arg(control->width())
                                .arg(control->height())
                                .arg(expected.x())
                                .arg(expected.y())
                                .arg(expected.width())
                                .arg(expected.height())));
    }
    // And nothing else placed: the window's table holds these controls only.
    QCOMPARE(controlPlacements().size(), std::size(kDrawnLayout));
    // The three non-visible controls: the socket and the two timers.
    QVERIFY(w.findChild<QObject*>(QStringLiteral("Winsock1")));
    auto* calc = w.findChild<QTimer*>(QStringLiteral("Timer_cal"));
    auto* clockTimer = w.findChild<QTimer*>(QStringLiteral("tmrTime"));
    QVERIFY(calc && clockTimer);
    QCOMPARE(calc->interval(), 750);
    QVERIFY(!calc->isActive());
    QCOMPARE(clockTimer->interval(), 1000);
    QVERIFY(clockTimer->isActive());
    QVERIFY(qobject_cast<QGroupBox*>(child<QWidget>(w, "Frame1")));
}

void TestMainWindow::textsAfterStartUp()
{
    FixedClock clock(2026, 12, 7, 9, 5, 3);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    const auto text = [&](const char* name) { return child<QLineEdit>(w, name)->text(); };
    const auto caption = [&](const char* name) {
        if (auto* l = w.findChild<QLabel*>(QLatin1String(name)))
            return l->text();
        if (auto* g = w.findChild<QGroupBox*>(QLatin1String(name)))
            return g->title();
        return child<QPushButton>(w, name)->text();
    };
    QCOMPARE(child<QComboBox>(w, "ComboObservatory")->currentText(), QStringLiteral("八王子"));
    QCOMPARE(text("txtObserverLatitude"), QStringLiteral("35.64"));
    QCOMPARE(text("txtObserverLongtitude"), QStringLiteral("139.3"));
    for (const char* empty : {"txtSettingElevation", "txtSettingAzimuth", "txtAntennaElevation", "txtAntennaAzimuth"})
        QVERIFY2(text(empty).isEmpty(), empty);
    QCOMPARE(text("txtACTLR_IP"), QStringLiteral("127.0.0.1"));
    QCOMPARE(text("txtACTLR_Port"), QStringLiteral("10006"));
    QCOMPARE(caption("lblTime"), QStringLiteral("2026/12/07 9:05:03"));
    QCOMPARE(caption("cmdStart"), QStringLiteral("計算開始"));
    QCOMPARE(caption("cmdClose"), QStringLiteral("終了"));
    QCOMPARE(caption("Frame1"), QStringLiteral("観測点情報"));
    QCOMPARE(caption("Frame2"), QStringLiteral("太陽角度情報"));
    QCOMPARE(caption("Frame3"), QStringLiteral("アンテナ角度情報"));
    QCOMPARE(caption("Label1"), QStringLiteral("現在時刻"));
    QCOMPARE(caption("Label3"), QStringLiteral("設定方位角"));
    QCOMPARE(caption("Label4"), QStringLiteral("観測点緯度"));
    QCOMPARE(caption("Label5"), QStringLiteral("観測点経度"));
    QCOMPARE(caption("Label6"), QStringLiteral("現在アンテナ仰角"));
    QCOMPARE(caption("Label7"), QStringLiteral("注)アンテナコントローラの起動を確認してから計算開始"));
    QCOMPARE(caption("Label9"), QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)"));
    QCOMPARE(caption("Label10"), QStringLiteral("アンテナコントローラ IP"));
    QCOMPARE(caption("Label11"), QStringLiteral("現在方位角"));
    QCOMPARE(caption("Label12"), QStringLiteral("設定仰角"));
    QCOMPARE(child<QLabel>(w, "Label7")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

void TestMainWindow::tabOrderAndFirstFocus()
{
    FixedClock clock(2026, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmdStart"));
    QStringList visited;
    for (std::size_t i = 0; i < std::size(kDrawnFocusOrder); ++i) {
        QWidget* focused = QApplication::focusWidget();
        // The combo's focus lives in its line edit.
        if (focused && focused->parentWidget() && qobject_cast<QComboBox*>(focused->parentWidget()))
            focused = focused->parentWidget();
        visited << (focused ? focused->objectName() : QStringLiteral("(none)"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QStringList expected;
    for (const char* name : kDrawnFocusOrder)
        expected << QLatin1String(name);
    QCOMPARE(visited, expected);
    // And round again to the start button.
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cmdStart"));
    // Shift+Tab goes the same way back.
    QStringList back;
    for (std::size_t i = 0; i < std::size(kDrawnFocusOrder); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QWidget* focused = QApplication::focusWidget();
        if (focused && focused->parentWidget() && qobject_cast<QComboBox*>(focused->parentWidget()))
            focused = focused->parentWidget();
        back.prepend(focused ? focused->objectName() : QStringLiteral("(none)"));
    }
    QCOMPARE(back, expected);
}

void TestMainWindow::noteLiesUnderTheButtons()
{
    FixedClock clock(2026, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* start = child<QPushButton>(w, "cmdStart");
    auto* close = child<QPushButton>(w, "cmdClose");
    auto* note = child<QLabel>(w, "Label7");
    QVERIFY(note->geometry().intersects(start->geometry()));
    // The topmost widget where the note and the buttons overlap is the button.
    QCOMPARE(w.childAt(start->geometry().center()), start);
    QCOMPARE(w.childAt(QPoint(close->x() + 5, close->y() + 2)), close);
    // Above the buttons the note's first line shows, in red ink.
    const QImage shot = w.grab().toImage();
    bool red = false;
    for (int y = note->y(); y < start->y() && !red; ++y)
        for (int x = note->x(); x < note->x() + note->width() && !red; ++x) {
            const QColor c = shot.pixelColor(x, y);
            red = c.red() > 180 && c.green() < 120 && c.blue() < 120;
        }
    QVERIFY(red);
}

void TestMainWindow::oneCycleWritesTheSetPoint()
{
    FixedClock clock(2006, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    child<QLineEdit>(w, "txtObserverLatitude")->setText(QStringLiteral("35.0"));
    child<QLineEdit>(w, "txtObserverLongtitude")->setText(QStringLiteral("135.0"));
    w.SOLCAL();
    QCOMPARE(child<QLineEdit>(w, "txtSettingElevation")->text(), QStringLiteral(" 78.43"));
    QCOMPARE(child<QLineEdit>(w, "txtSettingAzimuth")->text(), QStringLiteral("177.63"));
    QCOMPARE(w.calculationState().dblSetHour, 19.0);
    QCOMPARE(w.calculationState().dblSetMinute, 17.0);
    // Night at the default point: parked at the next sunrise, elevation .000.
    clock.setJst(2026, 12, 7, 23, 0, 0);
    child<QLineEdit>(w, "txtObserverLatitude")->setText(QStringLiteral("35.64"));
    child<QLineEdit>(w, "txtObserverLongtitude")->setText(QStringLiteral("139.3"));
    w.SOLCAL();
    QCOMPARE(child<QLineEdit>(w, "txtSettingElevation")->text(), QStringLiteral(".000"));
    // The model's sun at the next sunrise, 06:43 JST on day 342, worked out
    // apart in Python: 118.0965, south-east.
    QCOMPARE(child<QLineEdit>(w, "txtSettingAzimuth")->text(), QStringLiteral("118.10"));
}

void TestMainWindow::badCoordinatesAreMarkedAndNothingShown()
{
    FixedClock clock(2006, 6, 21, 12, 0, 0);
    PresetDialogs dialogs;
    frmMain w(clock, dialogs);
    auto* latitude = child<QLineEdit>(w, "txtObserverLatitude");
    const QColor normal = latitude->palette().color(QPalette::Base);
    w.SOLCAL();
    QVERIFY(!child<QLineEdit>(w, "txtSettingAzimuth")->text().isEmpty());
    for (const QString& bad : {QString(), QStringLiteral("abc"), QStringLiteral("nan"), QStringLiteral("inf"),
                               QStringLiteral("1e999")}) {
        latitude->setText(bad);
        w.SOLCAL();
        QVERIFY2(child<QLineEdit>(w, "txtSettingAzimuth")->text().isEmpty(), qPrintable(bad));
        QVERIFY(child<QLineEdit>(w, "txtSettingElevation")->text().isEmpty());
        QVERIFY(latitude->palette().color(QPalette::Base) != normal);
        QVERIFY(!latitude->toolTip().isEmpty());
        QVERIFY(child<QLineEdit>(w, "txtObserverLongtitude")->toolTip().isEmpty());
    }
    // Typed with the Japanese input method on: read as 35.64.
    latitude->setText(QStringLiteral("３５．６４"));
    QVERIFY(latitude->toolTip().isEmpty());
    w.SOLCAL();
    QCOMPARE(w.calculationState().dblLatDeg, 35.64);
    QCOMPARE(latitude->palette().color(QPalette::Base), normal);
    QVERIFY(!child<QLineEdit>(w, "txtSettingAzimuth")->text().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
