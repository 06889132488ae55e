#include "app/frmMain.h"

#include "app/Clock.h"
#include "app/ControlLayout.h"
#include "app/LinkMessages.h"
#include "app/OperatorDialogs.h"
#include "app/chart/SkyChart.h"
#include "app/observatories/ObservatoryCombo.h"
#include "app/observatories/ObservatoryTable.h"
#include "link/ControllerLink.h"
#include "link/ControllerReport.h"
#include "solar/CalculationCycle.h"
#include "solar/CoordinateText.h"
#include "solar/RiseSet.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace heliotrope::app {

namespace {

constexpr int kCalculationIntervalMs = 750;
constexpr int kClockIntervalMs = 1000;

// A box whose text the calculation cannot use, or a link that cannot send,
// is tinted so the operator sees where to look; its tooltip says why.
const QColor kProblemTint(255, 214, 214);

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

frmMain::frmMain(const Clock& clock, OperatorDialogs& dialogs, QWidget* parent)
    : QWidget(parent)
    , m_clock(clock)
    , m_dialogs(dialogs)
{
    createControls();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("太陽軌道計算"));
    // The layout is fixed in twips; a larger window would only add empty space.
    setFixedSize(twips(kClientWidthTwips), twips(kClientHeightTwips));

    QHash<QString, QWidget*> containers{{QStringLiteral("frmMain"), this}};
    const auto place = [&](QWidget* w) {
        const ControlPlacement* p = findPlacement(w->objectName());
        Q_ASSERT(p);
        w->setGeometry(twipsRect(*p));
    };
    const auto container = [&](const char* name) {
        return containers.value(QLatin1String(findPlacement(QLatin1String(name))->container));
    };
    const auto frame = [&](const char* name, const char* caption) {
        auto* g = new QGroupBox(QString::fromUtf8(caption), container(name));
        g->setObjectName(QLatin1String(name));
        place(g);
        containers.insert(QLatin1String(name), g);
        return g;
    };
    const auto label = [&](const char* name, const QString& caption) {
        auto* l = new QLabel(caption, container(name));
        l->setObjectName(QLatin1String(name));
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(l);
        return l;
    };
    const auto textBox = [&](const char* name, const char* text) {
        auto* e = new QLineEdit(QString::fromUtf8(text), container(name));
        e->setObjectName(QLatin1String(name));
        place(e);
        return e;
    };
    const auto button = [&](const char* name, const char* caption) {
        auto* b = new QPushButton(QString::fromUtf8(caption), container(name));
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        place(b);
        return b;
    };

    Frame3 = frame("Frame3", "アンテナ角度情報");
    txtAntennaAzimuth = textBox("txtAntennaAzimuth", "");
    txtAntennaElevation = textBox("txtAntennaElevation", "");
    Label11 = label("Label11", "現在方位角");
    Label6 = label("Label6", "現在アンテナ仰角");
    Frame2 = frame("Frame2", "太陽角度情報");
    txtSettingElevation = textBox("txtSettingElevation", "");
    txtSettingAzimuth = textBox("txtSettingAzimuth", "");
    Label3 = label("Label3", "設定方位角");
    Label12 = label("Label12", "設定仰角");
    Frame1 = frame("Frame1", "観測点情報");
    ComboObservatory = new ObservatoryCombo(container("ComboObservatory"));
    ComboObservatory->setObjectName(QStringLiteral("ComboObservatory"));
    ComboObservatory->setEditText(QStringLiteral("東京"));
    place(ComboObservatory);
    txtObserverLatitude = textBox("txtObserverLatitude", "");
    txtObserverLongtitude = textBox("txtObserverLongtitude", "");
    Label4 = label("Label4", "観測点緯度");
    Label5 = label("Label5", "観測点経度");
    picView = new SkyChart(this);
    picView->setObjectName(QStringLiteral("picView"));
    place(picView);
    txtACTLR_IP = textBox("txtACTLR_IP", "127.0.0.1");
    txtACTLR_Port = textBox("txtACTLR_Port", "10006");
    Winsock1 = new link::ControllerLink(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    Timer_cal = new QTimer(this);
    Timer_cal->setObjectName(QStringLiteral("Timer_cal"));
    Timer_cal->setInterval(kCalculationIntervalMs);
    // A precise timer re-arms from the due time, not from a late firing, so
    // the cycles keep their 750 ms cadence for weeks without drifting.
    Timer_cal->setTimerType(Qt::PreciseTimer);
    cmdClose = button("cmdClose", "終了");
    cmdStart = button("cmdStart", "計算開始");
    tmrTime = new QTimer(this);
    tmrTime->setObjectName(QStringLiteral("tmrTime"));
    tmrTime->setInterval(kClockIntervalMs);
    tmrTime->setTimerType(Qt::PreciseTimer);
    Label7 = label("Label7", "注)アンテナコントローラの起動を確認してから計算開始");
    QPalette notePalette = Label7->palette();
    notePalette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label7->setPalette(notePalette);
    Label10 = label("Label10", kAddressBoxCaption);
    Label9 = label("Label9", kPortBoxCaption);
    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setAttribute(Qt::WA_TransparentForMouseEvents);
    place(Shape1);
    Label1 = label("Label1", "現在時刻");
    lblTime = label("lblTime", "lblTime");
    // The clock's box is larger than its one line and reaches over the frame
    // below and the label beside it; a label repaints its contents rectangle
    // on every new text, so keeping that rectangle to the longest clock text
    // stops the tick each second from redrawing the widgets underneath.
    const QFontMetrics clockFont = lblTime->fontMetrics();
    const int longestClockText = clockFont.horizontalAdvance(QStringLiteral("8888/88/88 88:88:88")) + 4;
    lblTime->setContentsMargins(0, 0, std::max(0, lblTime->width() - longestClockText),
                                std::max(0, lblTime->height() - clockFont.lineSpacing() - 2));

    // The note reaches down under the buttons; the buttons stay on top and
    // the note's first line shows above them. The outline lies under the clock.
    Shape1->lower();
    cmdStart->raise();
    cmdClose->raise();

    for (QWidget* w : {static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Frame2), static_cast<QWidget*>(Frame3),
                       static_cast<QWidget*>(Shape1)})
        w->setFocusPolicy(Qt::NoFocus);
    const std::span<const char* const> order = focusOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(findChild<QWidget*>(QLatin1String(order[i])), findChild<QWidget*>(QLatin1String(order[i + 1])));
    cmdStart->setFocus(Qt::OtherFocusReason);

    connect(cmdStart, &QPushButton::clicked, this, &frmMain::cmdStart_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmMain::cmdClose_Click);
    connect(ComboObservatory, &ObservatoryCombo::picked, this, &frmMain::ComboObservatory_Click);
    connect(ComboObservatory, &ObservatoryCombo::typed, this, &frmMain::ComboObservatory_Change);
    connect(tmrTime, &QTimer::timeout, this, &frmMain::tmrTime_Timer);
    connect(Timer_cal, &QTimer::timeout, this, &frmMain::Timer_cal_Timer);
    connect(Winsock1, &link::ControllerLink::datagramArrived, this, &frmMain::Winsock1_DataArrival);
    connect(Winsock1, &link::ControllerLink::openFinished, this, &frmMain::Winsock1_OpenFinished);

    // A tinted box clears as soon as it holds a number again.
    for (QLineEdit* box : {txtObserverLatitude, txtObserverLongtitude}) {
        connect(box, &QLineEdit::textChanged, this, [this, box](const QString& text) {
            if (!box->toolTip().isEmpty() && solar::parseCoordinateText(text.toStdString()))
                markBox(box, QString());
        });
    }

    tmrTime->start();
}

void frmMain::Form_Load()
{
    // 1. The observation points, at their list positions.
    const auto entries = observatories();
    for (std::size_t i = 0; i < entries.size(); ++i)
        ComboObservatory->insertItem(static_cast<int>(i), entries[i].name);
    // 2. The first entry; setting the text runs the change handler, which
    //    writes the default position.
    setComboTextByProgram(entries[0].name);
    // 3. The clock, once, before the first tick of tmrTime.
    lblTime->setText(generalDateTimeText(m_clock.jstNow()));
    // 4. The empty chart: grid and labels, no notice.
    picView->drawStartUp();
    // 5. The calculation waits for the operator.
    Timer_cal->stop();
    // 6.
    cmdStart->setText(QStringLiteral("計算開始"));
}

void frmMain::setComboTextByProgram(const QString& text)
{
    ComboObservatory->setEditText(text);
    ComboObservatory_Change();
}

void frmMain::ComboObservatory_Click()
{
    // The free-input entry is no city: it leaves the boxes for the operator.
    const Observatory* city = findCity(ComboObservatory->currentText());
    if (!city)
        return;
    txtObserverLatitude->setText(*city->latitudeText);
    txtObserverLongtitude->setText(*city->longitudeText);
}

void frmMain::ComboObservatory_Change()
{
    txtObserverLatitude->setText(kDefaultLatitudeText);
    txtObserverLongtitude->setText(kDefaultLongitudeText);
}

void frmMain::tmrTime_Timer()
{
    lblTime->setText(generalDateTimeText(m_clock.jstNow()));
}

void frmMain::cmdStart_Click()
{
    if (!Timer_cal->isActive()) {
        // A press while the controller's name is still being looked up waits
        // for that lookup rather than starting a second one.
        if (Winsock1->isResolving())
            return;
        // The texts as pressed: a message quotes them even if the operator
        // edits the boxes while the name is looked up.
        m_startHostText = txtACTLR_IP->text();
        m_startPortText = txtACTLR_Port->text();
        const link::ControllerLink::OpenResult opened = Winsock1->open(m_startHostText, m_startPortText);
        if (opened.resolving)
            return;  // the outcome comes as Winsock1_OpenFinished
        Winsock1_OpenFinished(opened);
    } else {
        Winsock1->close();
        Timer_cal->stop();
        cmdStart->setText(QStringLiteral("計算開始"));
    }
}

void frmMain::Winsock1_OpenFinished(const link::ControllerLink::OpenResult& opened)
{
    if (!opened.ok) {
        // The calculation stays stopped and the caption unchanged; the box
        // at fault stays tinted until a start succeeds.
        const QString message = openProblemText(opened.problem, m_startHostText, m_startPortText, Winsock1->lookupBound());
        switch (boxAtFault(opened.problem)) {
        case ControllerBox::Address:
            markBox(txtACTLR_IP, message);
            break;
        case ControllerBox::Port:
            markBox(txtACTLR_Port, message);
            break;
        case ControllerBox::None:
            break;
        }
        m_dialogs.warn(this, message);
        return;
    }
    markBox(txtACTLR_IP, QString());
    markBox(txtACTLR_Port, QString());
    m_sendProblemShown = false;
    Timer_cal->start();
    cmdStart->setText(QStringLiteral("計算停止"));
}

void frmMain::cmdClose_Click()
{
    close();
}

void frmMain::Form_QueryUnload(bool& cancel, int /*unloadMode*/)
{
    if (!m_dialogs.confirmQuit(this))
        cancel = true;
}

void frmMain::closeEvent(QCloseEvent* event)
{
    bool cancel = false;
    Form_QueryUnload(cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    // Nothing more reaches the controller once the operator has said Yes, not
    // even from a lookup that would finish after it.
    Timer_cal->stop();
    if (Winsock1->isResolving())
        Winsock1->close();
    event->accept();
}

void frmMain::Timer_cal_Timer()
{
    SOLCAL();
}

void frmMain::SOLCAL()
{
    solar::runCalculationCycle(m_state, m_clock.jstNow(), *this);
}

void frmMain::CALRISE()
{
    solar::CALRISE(m_state);
}

double frmMain::CALF(double t) const
{
    return solar::CALF(m_state, t);
}

double frmMain::CALFDif(double t) const
{
    return solar::CALFDif(m_state, t);
}

void frmMain::Winsock1_DataArrival(const QByteArray& datagram)
{
    const std::optional<link::ReportFields> fields = link::readControllerReport(datagram);
    if (!fields)
        return;  // a report the splitter cannot take is dropped; the link stays open
    txtAntennaElevation->setText(fields->elevation);
    txtAntennaAzimuth->setText(fields->azimuth);
}

std::string frmMain::observerLatitudeText() const
{
    return txtObserverLatitude->text().toStdString();
}

std::string frmMain::observerLongitudeText() const
{
    return txtObserverLongtitude->text().toStdString();
}

void frmMain::showObserverProblem(const solar::ObserverProblem& problem)
{
    if (problem.position) {
        const QString why = QStringLiteral("この緯度・経度では太陽の位置を計算できません。値を確認してください。");
        markBox(txtObserverLatitude, why);
        markBox(txtObserverLongtitude, why);
        return;
    }
    markBox(txtObserverLatitude,
            problem.latitude ? QStringLiteral("観測点緯度を度の数値で入力してください（例: 35.64）。") : QString());
    markBox(txtObserverLongtitude,
            problem.longitude ? QStringLiteral("観測点経度を度の数値で入力してください（例: 139.3）。") : QString());
}

void frmMain::markBox(QLineEdit* box, const QString& problem)
{
    if (problem.isEmpty()) {
        if (box->toolTip().isEmpty())
            return;
        box->setPalette(QPalette());
        box->setToolTip(QString());
        return;
    }
    QPalette tinted = box->palette();
    tinted.setColor(QPalette::Base, kProblemTint);
    box->setPalette(tinted);
    box->setToolTip(problem);
}

void frmMain::showSendProblem(const QString& problem)
{
    if (problem.isEmpty() && !m_sendProblemShown)
        return;
    m_sendProblemShown = !problem.isEmpty();
    markBox(txtACTLR_IP, problem);
    markBox(txtACTLR_Port, problem);
}

// A box is written only when its text changes: at night the parking position
// stays the same for hours, and a repaint every 750 ms would cost more than
// the whole calculation.
void frmMain::setSettingElevationText(const std::string& text)
{
    const QString value = fromUtf8(text);
    if (txtSettingElevation->text() != value)
        txtSettingElevation->setText(value);
}

void frmMain::setSettingAzimuthText(const std::string& text)
{
    const QString value = fromUtf8(text);
    if (txtSettingAzimuth->text() != value)
        txtSettingAzimuth->setText(value);
}

std::string frmMain::settingAzimuthText() const
{
    return txtSettingAzimuth->text().toStdString();
}

std::string frmMain::settingElevationText() const
{
    return txtSettingElevation->text().toStdString();
}

void frmMain::drawSky(const solar::SkyStep& step)
{
    picView->drawSky(step);
}

void frmMain::drawNotice(const solar::Notice& notice)
{
    picView->drawNotice(notice);
}

void frmMain::sendPointing(const std::string& azimuthText, const std::string& elevationText)
{
    if (Winsock1->send(fromUtf8(azimuthText), fromUtf8(elevationText))) {
        showSendProblem(QString());
        return;
    }
    // Told once, in place, and cleared by the next good send: a dialog every
    // 750 ms would bury the window.
    showSendProblem(sendProblemText(Winsock1->lastSendProblem(), Winsock1->remoteAddress(), Winsock1->remotePort()));
}

}  // namespace heliotrope::app
