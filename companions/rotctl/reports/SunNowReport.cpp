#include "companions/rotctl/reports/SunNowReport.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/rotctl/truesun/TrackingLog.h"
#include "companions/rotctl/truesun/TrueSunPointing.h"
#include "solar/CalculationCycle.h"
#include "solar/CalculationState.h"
#include "solar/CycleView.h"
#include "solar/JstTime.h"

#include <QStringList>

#include <cmath>
#include <string>

using heliotrope::companions::directionTextEnglish;
using heliotrope::companions::directionTextJapanese;
using heliotrope::companions::jstText;

namespace heliotrope::rotctl {

namespace {

// The window's surface, holding the observation point as typed and keeping
// what the cycle shows and sends.
class LookView final : public solar::CycleView {
public:
    LookView(std::string latitude, std::string longitude)
        : m_latitude(std::move(latitude))
        , m_longitude(std::move(longitude))
    {
    }
    std::string observerLatitudeText() const override { return m_latitude; }
    std::string observerLongitudeText() const override { return m_longitude; }
    void showObserverProblem(const solar::ObserverProblem&) override { }
    void setSettingElevationText(const std::string& text) override { m_elevation = text; }
    void setSettingAzimuthText(const std::string& text) override { m_azimuth = text; }
    std::string settingAzimuthText() const override { return m_azimuth; }
    std::string settingElevationText() const override { return m_elevation; }
    void drawSky(const solar::SkyStep& step) override { sky = step; }
    void drawNotice(const solar::Notice&) override { }
    void sendPointing(const std::string& azimuth, const std::string& elevation) override
    {
        message = "0," + azimuth + "," + elevation;
    }

    solar::SkyStep sky;
    std::string message;  // empty when the cycle sent nothing

private:
    std::string m_latitude;
    std::string m_longitude;
    std::string m_elevation;
    std::string m_azimuth;
};

std::string coordinateText(double degrees)
{
    return QString::number(degrees, 'g', 12).toStdString();
}

QString signedText(double degrees)
{
    return (degrees >= 0 ? QStringLiteral("+") : QString()) + QString::number(degrees, 'f', 2) + QStringLiteral("°");
}

// What the bridge would command for the sun, with the frame's model or
// offsets and without, so that the correction is seen before it is trusted.
QStringList rotatorCommandLines(const rotator::RotatorFrame& frame, const companions::SetPoint& sun)
{
    rotator::RotatorFrame bare = frame;
    bare.model.reset();
    bare.azimuthOffset = 0;
    bare.elevationOffset = 0;
    const rotator::RotatorCommand with = rotator::rotatorCommand(frame, sun, std::nullopt);
    const rotator::RotatorCommand without = rotator::rotatorCommand(bare, sun, std::nullopt);
    const auto text = [](const rotator::RotatorCommand& command) {
        return QStringLiteral("%1 %2").arg(QString::number(command.azimuth, 'f', 2), QString::number(command.elevation, 'f', 2));
    };
    if (!frame.model && frame.azimuthOffset == 0 && frame.elevationOffset == 0) {
        return {QStringLiteral("ローテーターへのコマンド（補正なし）: P %1").arg(text(without)),
                QStringLiteral("command to the rotator (no correction): P %1").arg(text(without))};
    }
    const bool model = frame.model.has_value();
    return {QStringLiteral("ローテーターへのコマンド: %1で P %2、なしで P %3")
                .arg(model ? QStringLiteral("指向モデル") : QStringLiteral("ずれの補正"), text(with), text(without)),
            QStringLiteral("command to the rotator: with the %1 P %2, without P %3")
                .arg(model ? QStringLiteral("pointing model") : QStringLiteral("offsets"), text(with), text(without))};
}

}  // namespace

SunNowReport sunNowReport(const TrueSunOptions& options, qint64 utcMilliseconds, const rotator::RotatorFrame& frame)
{
    SunNowReport report;
    const heliotrope::sky::Site site = options.site.value_or(heliotrope::sky::Site{});
    QStringList lines;
    lines << QStringLiteral("地点 緯度 %1° 経度 %2° 高さ %3 m、%4 JST（%5）")
                 .arg(site.latitude)
                 .arg(site.longitude)
                 .arg(site.height)
                 .arg(jstText(utcMilliseconds), refractionTextJapanese(options));
    lines << QStringLiteral("Site latitude %1°, longitude %2°, height %3 m, %4 JST (%5)")
                 .arg(site.latitude)
                 .arg(site.longitude)
                 .arg(site.height)
                 .arg(jstText(utcMilliseconds), refractionTextEnglish(options));

    const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(
        static_cast<double>(utcMilliseconds) / 1000.0, site, options.refraction, options.atmosphere);
    if (sun.status == heliotrope::sky::EphemerisStatus::Failed) {
        lines << QStringLiteral("ERFA がこの時刻の太陽を計算できません（状態 -1）。システムの時計を確かめてください。")
              << QStringLiteral("ERFA cannot compute the sun for this instant (status -1). Check the system clock.");
        report.text = lines.join(QLatin1Char('\n'));
        report.exitCode = 1;
        return report;
    }
    lines << QStringLiteral("本当の太陽（ERFA）: %1\nreal sun (ERFA): %2")
                 .arg(directionTextJapanese(sun.azimuth, sun.elevation), directionTextEnglish(sun.azimuth, sun.elevation));
    lines << rotatorCommandLines(frame, companions::SetPoint{sun.azimuth, sun.elevation});

    // The window's cycle at the clock reading it would have now, the seconds
    // truncated as its clock shows them.
    const qint64 unixSeconds = static_cast<qint64>(std::floor(static_cast<double>(utcMilliseconds) / 1000.0));
    solar::CalculationState state;
    LookView view(coordinateText(site.latitude), coordinateText(site.longitude));
    const solar::CycleOutcome outcome = solar::runCalculationCycle(state, solar::jstFromUnixSeconds(unixSeconds), view);
    if (!outcome.positionComputed) {
        lines << QStringLiteral("ウィンドウのモデルはこの地点の太陽を計算できません。\nThe window's model cannot compute the sun "
                                "for this site.");
    } else {
        lines << QStringLiteral("ウィンドウのモデル: %1\nwindow's model: %2")
                     .arg(directionTextJapanese(view.sky.azimuthDeg, view.sky.elevationDeg),
                          directionTextEnglish(view.sky.azimuthDeg, view.sky.elevationDeg));
        const double gap = heliotrope::sky::skySeparation(view.sky.azimuthDeg, view.sky.elevationDeg, sun.azimuth,
                                                          sun.elevation);
        lines << QStringLiteral("差（モデル − 本当の太陽）: 天球上 %1°（方位角 %2、仰角 %3）\ndifference (model − real "
                                "sun): %1° on the sky (az %2, el %3)")
                     .arg(QString::number(gap, 'f', 2),
                          signedText(azimuthDifference(sun.azimuth, view.sky.azimuthDeg)),
                          signedText(view.sky.elevationDeg - sun.elevation));
        if (gap > TrueSunPointing::kGuardTripDegrees) {
            lines << QStringLiteral("%1° を超えています: --true-sun はここではウィンドウの設定点を送ります。\nMore than %1°: "
                                    "--true-sun would command the window's set-point here.")
                         .arg(TrueSunPointing::kGuardTripDegrees);
        }
        if (!view.message.empty()) {
            lines << QStringLiteral("ウィンドウが送る指向データ: \"%1\"%2\nthe window would send \"%1\"%3")
                         .arg(QString::fromStdString(view.message),
                              outcome.sunUp ? QString() : QStringLiteral("（太陽は沈んでいるため日の出の方位で待機）"),
                              outcome.sunUp ? QString() : QStringLiteral(" (the sun has set: parked at the sunrise azimuth)"));
        }
    }
    // The window computes for the point typed into it, the bridge for --site:
    // the model position printed is what the window shows when the two agree.
    lines << QStringLiteral("ウィンドウの「設定方位角」「設定仰角」がこのウィンドウのモデルと違えば、ウィンドウの観測地点と --site が違います。\nIf the window "
                            "shows a set-point other than this model position, its observation point and --site differ.");
    if (sun.status == heliotrope::sky::EphemerisStatus::DubiousYear) {
        lines << QStringLiteral("注意: ERFA の閏秒の表はこの日付まで届いていません（状態 +1）。その後の閏秒 1 秒につき 0.004° 未満"
                                "ずれることがあります。\nNote: ERFA's leap-second table does not reach this date "
                                "(status +1); each leap second since shifts the sun by under 0.004°.");
    }
    report.text = lines.join(QLatin1Char('\n'));
    return report;
}

}  // namespace heliotrope::rotctl
