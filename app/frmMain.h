#pragma once

#include "link/ControllerLink.h"
#include "solar/CalculationState.h"
#include "solar/CycleView.h"

#include <QWidget>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class SkyChart;

namespace heliotrope::app {

class Clock;
class ObservatoryCombo;
class OperatorDialogs;

// The one window: the observation point, the computed set-point, the
// antenna's reported angles, the clock, the sky chart and the controller
// address, with the start/stop and exit buttons. It owns the calculation state
// and the controller link for the whole run, and is the surface the
// calculation cycle writes to.
class frmMain : public QWidget, public solar::CycleView {
    Q_OBJECT
public:
    // The clock and the dialogs are the window's seams: a test can stand at
    // any instant and preset the operator's answers.
    frmMain(const Clock& clock, OperatorDialogs& dialogs, QWidget* parent = nullptr);
    ~frmMain() override;

    // One calculation cycle; the tick of Timer_cal runs it every 750 ms.
    void SOLCAL();
    // The rise/set solver on this window's calculation state.
    void CALRISE();
    double CALF(double t) const;
    double CALFDif(double t) const;

    const solar::CalculationState& calculationState() const { return m_state; }
    solar::CalculationState& calculationState() { return m_state; }
    link::ControllerLink& controllerLink() { return *Winsock1; }

    // Event handlers, one per control event.
    void Form_Load();
    void Form_QueryUnload(bool& cancel, int unloadMode);
    void cmdStart_Click();
    void cmdClose_Click();
    void ComboObservatory_Click();
    void ComboObservatory_Change();
    void tmrTime_Timer();
    void Timer_cal_Timer();
    void Winsock1_DataArrival(const QByteArray& datagram);
    void Winsock1_OpenFinished(const link::ControllerLink::OpenResult& opened);

    // CycleView
    std::string observerLatitudeText() const override;
    std::string observerLongitudeText() const override;
    void showObserverProblem(const solar::ObserverProblem& problem) override;
    void setSettingElevationText(const std::string& text) override;
    void setSettingAzimuthText(const std::string& text) override;
    std::string settingAzimuthText() const override;
    std::string settingElevationText() const override;
    void drawSky(const solar::SkyStep& step) override;
    void drawNotice(const solar::Notice& notice) override;
    void sendPointing(const std::string& azimuthText, const std::string& elevationText) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void setComboTextByProgram(const QString& text);
    void markBox(QLineEdit* box, const QString& problem);
    void showSendProblem(const QString& problem);

    const Clock& m_clock;
    OperatorDialogs& m_dialogs;
    solar::CalculationState m_state;
    bool m_sendProblemShown = false;
    QString m_startHostText;  // the controller boxes' texts at the last press of cmdStart
    QString m_startPortText;

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QLineEdit* txtAntennaAzimuth = nullptr;
    QLineEdit* txtAntennaElevation = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* txtSettingElevation = nullptr;
    QLineEdit* txtSettingAzimuth = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label12 = nullptr;
    ObservatoryCombo* ComboObservatory = nullptr;
    QLineEdit* txtObserverLatitude = nullptr;
    QLineEdit* txtObserverLongtitude = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    SkyChart* picView = nullptr;
    QLineEdit* txtACTLR_IP = nullptr;
    QLineEdit* txtACTLR_Port = nullptr;
    link::ControllerLink* Winsock1 = nullptr;
    QTimer* Timer_cal = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdStart = nullptr;
    QTimer* tmrTime = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label9 = nullptr;
    QFrame* Shape1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblTime = nullptr;
};

}  // namespace heliotrope::app
