#include "companions/rotctl/truesun/TrueSunPointing.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"

#include <utility>

using heliotrope::companions::degreesText;
using heliotrope::companions::directionTextEnglish;
using heliotrope::companions::directionTextJapanese;
using heliotrope::companions::jstText;
using heliotrope::companions::SetPoint;

namespace heliotrope::rotctl {

namespace {

using heliotrope::sky::EphemerisStatus;

constexpr double kMillisecondsPerSecond = 1000.0;

QString gapText(double degrees)
{
    return QString::number(degrees, 'f', 2) + QStringLiteral("°");
}

// The sun not computed at utcMilliseconds (since 1970, UTC): said once, when it starts.
QString failedNotice(qint64 utcMilliseconds)
{
    return QStringLiteral("ERFA がこの時刻（%1 JST）の太陽を計算できません（状態 -1、日付が範囲外）。"
                          "システムの時計を確かめてください。計算できるまでウィンドウの設定点を送ります。\n"
                          "ERFA cannot compute the sun for this instant (%1 JST; status -1, date out of "
                          "range). Check the system clock. Commanding the window's set-point until it can.")
        .arg(jstText(utcMilliseconds));
}

// A date past ERFA's leap-second table: the sun is still computed, off by
// at most the leap seconds missed, so this is only a note, said once.
QString dubiousYearNotice(qint64 utcMilliseconds)
{
    return QStringLiteral("注意: ERFA の閏秒の表はこの日付（%1 JST）まで届いていません（状態 +1、「疑わしい年」）。"
                          "その後に閏秒が入っていれば、その秒数だけ太陽の時刻がずれます（1 秒で 0.004° 未満）。"
                          "計算は続けます。この注意は一度だけです。\n"
                          "Note: ERFA's leap-second table does not reach this date (%1 JST; status +1, "
                          "\"dubious year\"). Any leap second since would shift the sun by that many seconds "
                          "(under 0.004° each). Computing on; said once.")
        .arg(jstText(utcMilliseconds));
}

// The window's set-point against the sun it was judged by, gap degrees on
// the sky apart, in Japanese and English. Worded only when a change of
// state is said, not for every message.
std::pair<QString, QString> apart(const SetPoint& window, const heliotrope::sky::TrueSunPosition& judged, double gap)
{
    return std::pair{QStringLiteral("ウィンドウの設定点 %1、本当の太陽 %2、差 %3")
                         .arg(directionTextJapanese(window.azimuth, window.elevation),
                              directionTextJapanese(judged.azimuth, judged.elevation), gapText(gap)),
                     QStringLiteral("window's set-point %1, real sun %2, %3 apart")
                         .arg(directionTextEnglish(window.azimuth, window.elevation),
                              directionTextEnglish(judged.azimuth, judged.elevation), gapText(gap))};
}

QString guardTrippedNotice(const std::pair<QString, QString>& words)
{
    const auto& [japanese, english] = words;
    return QStringLiteral("ウィンドウの設定点と本当の太陽が %1 より離れています（%2）。--site の地点か時計が"
                          "違うおそれがあります。--site とシステムの時計を確かめてください。"
                          "%3 以内に戻るまでウィンドウの設定点を送ります。\n"
                          "The window's set-point and the real sun are more than %1 apart (%4). "
                          "The --site or the clock may be wrong: check both. Commanding the window's set-point "
                          "until they are within %3 again.")
        .arg(gapText(TrueSunPointing::kGuardTripDegrees), japanese, gapText(TrueSunPointing::kGuardClearDegrees), english);
}

QString guardClearedNotice(const std::pair<QString, QString>& words)
{
    const auto& [japanese, english] = words;
    return QStringLiteral("ウィンドウの設定点と本当の太陽が再び合いました（%1）。本当の太陽を送ります。\n"
                          "The window's set-point and the real sun agree again (%2). "
                          "Commanding the real sun.")
        .arg(japanese, english);
}

}  // namespace

TrueSunPointing::TrueSunPointing(const heliotrope::sky::Site& site, heliotrope::sky::Refraction refraction,
                                 const heliotrope::sky::Atmosphere& atmosphere)
    : m_site(site)
    , m_refraction(refraction)
    , m_atmosphere(atmosphere)
{
}

TrueSunDecision TrueSunPointing::decide(const SetPoint& window, qint64 utcMilliseconds, std::optional<qint64> windowUtcMilliseconds)
{
    TrueSunDecision decision;
    decision.target = window;
    // The window parks the antenna with elevation exactly 0: not the sun.
    if (!(window.elevation > 0))
        return decision;

    const heliotrope::sky::TrueSunPosition sun = m_tracker.at(static_cast<double>(utcMilliseconds) / kMillisecondsPerSecond, m_site, m_refraction, m_atmosphere);

    if (sun.status == EphemerisStatus::Failed) {
        if (!m_failing) {
            decision.notices << failedNotice(utcMilliseconds);
        }
        m_failing = true;
        return decision;
    }
    if (m_failing) {
        decision.notices << QStringLiteral("ERFA が再び太陽を計算できるようになりました。\n"
                                           "ERFA computes the sun again.");
        m_failing = false;
    }
    if (sun.status == EphemerisStatus::DubiousYear && !m_dubiousSaid) {
        m_dubiousSaid = true;
        decision.notices << dubiousYearNotice(utcMilliseconds);
    }

    // The guard judges the site and the clock: against the sun at the window's
    // own instant, whatever instant the sun is commanded for.
    heliotrope::sky::TrueSunPosition judged = sun;
    if (windowUtcMilliseconds && *windowUtcMilliseconds != utcMilliseconds) {
        judged = heliotrope::sky::trueSunTopocentric(static_cast<double>(*windowUtcMilliseconds) / kMillisecondsPerSecond, m_site,
                                                     m_refraction, m_atmosphere);
        if (judged.status == EphemerisStatus::Failed)
            judged = sun;
    }
    const double gap = heliotrope::sky::skySeparation(window.azimuth, window.elevation, judged.azimuth, judged.elevation);
    decision.trueSun = sun;
    decision.windowMinusTrue = gap;

    if (!m_guardTripped && gap > kGuardTripDegrees) {
        m_guardTripped = true;
        decision.notices << guardTrippedNotice(apart(window, judged, gap));
    } else if (m_guardTripped && gap < kGuardClearDegrees) {
        m_guardTripped = false;
        decision.notices << guardClearedNotice(apart(window, judged, gap));
    }
    if (m_guardTripped)
        return decision;

    decision.target = SetPoint{sun.azimuth, sun.elevation};
    decision.windowCommanded = false;
    return decision;
}

}  // namespace heliotrope::rotctl
