#include "companions/rotctl/bridge/BridgeMessages.h"
#include "companions/mount/SavedPointingModel.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/hamlib/RotctldReply.h"

using heliotrope::companions::bilingual;
using heliotrope::companions::degreesText;
using heliotrope::companions::endpointText;

namespace heliotrope::rotctl::said {

namespace {

QString limitsJapanese(const rotator::RotatorLimits& limits)
{
    return QStringLiteral("方位角 %1～%2、仰角 %3～%4")
        .arg(degreesText(limits.minAzimuth), degreesText(limits.maxAzimuth), degreesText(limits.minElevation),
             degreesText(limits.maxElevation));
}

QString limitsEnglish(const rotator::RotatorLimits& limits)
{
    return QStringLiteral("azimuth %1 to %2, elevation %3 to %4")
        .arg(degreesText(limits.minAzimuth), degreesText(limits.maxAzimuth), degreesText(limits.minElevation),
             degreesText(limits.maxElevation));
}

// "RPRT -5: …": rotctld's refusal, and what to check where something can be checked.
QString refusal(const QString& japanese, const QString& english, const QString& retryJapanese, const QString& retryEnglish,
                int returnCode)
{
    const hamlib::HamlibError error = hamlib::hamlibError(returnCode);
    const QString actionJa = error.actionJapanese.isEmpty() ? QString() : error.actionJapanese;
    const QString actionEn = error.actionEnglish.isEmpty() ? QString() : QStringLiteral(" ") + error.actionEnglish;
    return bilingual(QStringLiteral("%1（RPRT %2: %3）。%4%5").arg(japanese).arg(returnCode).arg(error.japanese, retryJapanese, actionJa),
                     QStringLiteral("%1 (RPRT %2: %3); %4.%5").arg(english).arg(returnCode).arg(error.english, retryEnglish, actionEn));
}

}  // namespace

QString listening(const QString& listenEndpoint, const QString& rotctldEndpoint)
{
    return bilingual(QStringLiteral("%1 で指向データを待ち、rotctld（%2）へ中継します。").arg(listenEndpoint, rotctldEndpoint),
                     QStringLiteral("Waiting for pointing messages on %1, relaying them to rotctld (%2).")
                         .arg(listenEndpoint, rotctldEndpoint));
}

QString reportAddress(const QHostAddress& address, quint16 port)
{
    const QString where = endpointText(address, port);
    return bilingual(QStringLiteral("指向データの送信元、位置の報告先: %1").arg(where),
                     QStringLiteral("Pointing messages from, position reports to: %1").arg(where));
}

QString allowedSenders(const QString& allowList)
{
    return bilingual(QStringLiteral("受け付ける送信元: %1").arg(allowList),
                     QStringLiteral("Pointing messages taken only from: %1").arg(allowList));
}

QString halfTurnRange()
{
    return bilingual(QStringLiteral("方位角 -180～180° のローテーター: 太陽は毎日南中のとき 180° を越えるため、"
                                    "そのたびにローテーターは一周戻って西側へ回ります。"),
                     QStringLiteral("A rotator from -180° to 180° in azimuth: the sun crosses 180° at noon every day, "
                                    "and each time the rotator turns a whole round back to reach the west."));
}

QString selfTrackingMode(const TrueSunOptions& trueSun, const std::optional<rotator::RotatorPosition>& nightStow)
{
    const heliotrope::sky::Site& site = *trueSun.site;
    const QString nightJapanese = nightStow ? QStringLiteral("夜は格納位置 %1 %2 で待ちます").arg(degreesText(nightStow->azimuth), degreesText(nightStow->elevation))
                                            : QStringLiteral("夜は次の日の出の方位角、ローテーターの最低仰角で待ちます");
    const QString nightEnglish = nightStow ? QStringLiteral("by night it waits at the stow position %1 %2").arg(degreesText(nightStow->azimuth), degreesText(nightStow->elevation))
                                           : QStringLiteral("by night it waits at the next sunrise's azimuth, at the rotator's lowest elevation");
    return bilingual(QStringLiteral("ウィンドウなしで追尾します: 地点 緯度 %1° 経度 %2° の本当の太陽を 750 ms ごとに計算して送り、%3。"
                                    "ウィンドウの設定点には従いません。")
                         .arg(site.latitude)
                         .arg(site.longitude)
                         .arg(nightJapanese),
                     QStringLiteral("Tracking by itself: the real sun for latitude %1°, longitude %2° is computed and commanded "
                                    "every 750 ms, and %3. The window's set-points are not followed.")
                         .arg(site.latitude)
                         .arg(site.longitude)
                         .arg(nightEnglish));
}

QString selfTrackingDay(double azimuth, double elevation)
{
    return bilingual(QStringLiteral("太陽が昇っています。太陽を追尾します（方位角 %1 仰角 %2）。").arg(degreesText(azimuth), degreesText(elevation)),
                     QStringLiteral("The sun is up: tracking it (azimuth %1, elevation %2).").arg(degreesText(azimuth), degreesText(elevation)));
}

QString selfTrackingNight(double azimuth, double elevation, std::optional<qint64> sunriseUtcMs, bool stowed)
{
    const QString at = QStringLiteral("%1 %2").arg(degreesText(azimuth), degreesText(elevation));
    if (stowed)
        return bilingual(QStringLiteral("太陽は沈んでいます。格納位置 %1 で夜を待ちます。").arg(at),
                         QStringLiteral("The sun has set: waiting out the night at the stow position %1.").arg(at));
    if (!sunriseUtcMs)
        return bilingual(QStringLiteral("太陽は沈んでいて、2 日のうちにローテーターの最低仰角まで昇りません。%1 で待ちます。").arg(at),
                         QStringLiteral("The sun has set and does not reach the rotator's lowest elevation within two days: waiting at %1.").arg(at));
    const QString when = companions::jstText(*sunriseUtcMs);
    return bilingual(QStringLiteral("太陽は沈んでいます。次の日の出（%1 JST）の方位角 %2 で待ちます。").arg(when, at),
                     QStringLiteral("The sun has set: waiting at the next sunrise's azimuth, %2 (sunrise %1 JST).").arg(when, at));
}

QString windowApart(const companions::SetPoint& window, const companions::SetPoint& tracked, double degrees)
{
    const QString windowText = QStringLiteral("%1 %2").arg(degreesText(window.azimuth), degreesText(window.elevation));
    const QString trackedText = QStringLiteral("%1 %2").arg(degreesText(tracked.azimuth), degreesText(tracked.elevation));
    const QString apart = QString::number(degrees, 'f', 1);
    return bilingual(QStringLiteral("ウィンドウの設定点 %1 は、ブリッジが向けている %2 から %3° 離れています。ウィンドウの地点と時計を確かめてください"
                                    "（ブリッジは自分の計算に従います）。")
                         .arg(windowText, trackedText, apart),
                     QStringLiteral("The window's set-point %1 is %3° from the bridge's %2: check the window's site and clock "
                                    "(the bridge follows its own).")
                         .arg(windowText, trackedText, apart));
}

QString windowAgrees()
{
    return bilingual(QStringLiteral("ウィンドウの設定点は、ふたたびブリッジの向きと合っています。"),
                     QStringLiteral("The window's set-point agrees with the bridge's again."));
}

QString rotatorNotFollowing(const rotator::RotatorPosition& commanded, const rotator::RotatorPosition& reading, const QString& since)
{
    const QString told = QStringLiteral("%1 %2").arg(degreesText(commanded.azimuth), degreesText(commanded.elevation));
    const QString reads = QStringLiteral("%1 %2").arg(degreesText(reading.azimuth), degreesText(reading.elevation));
    return bilingual(QStringLiteral("ローテーターが指令に従っていません: %1 JST から %2 へ指令していますが、読みは %3 のまま変わりません。"
                                    "モーター、ヒューズ、着氷、またはコントローラーの読みの固まりを確かめてください。同じ指令は繰り返さず、10 分ごとに送り直します。")
                         .arg(since, told, reads),
                     QStringLiteral("The rotator does not follow: commanded to %2 since %1 JST, it still reads %3. Check the motor, "
                                    "the fuse, ice, or a frozen controller reading. The command is not repeated, only sent again every 10 minutes.")
                         .arg(since, told, reads));
}

QString rotatorFollowsAgain(const rotator::RotatorPosition& reading)
{
    const QString reads = QStringLiteral("%1 %2").arg(degreesText(reading.azimuth), degreesText(reading.elevation));
    return bilingual(QStringLiteral("ローテーターがふたたび動いています（読み %1）。").arg(reads),
                     QStringLiteral("The rotator moves again (it reads %1).").arg(reads));
}

QString trueSunMode(const TrueSunOptions& trueSun)
{
    const heliotrope::sky::Site& site = *trueSun.site;
    return bilingual(QStringLiteral("本当の太陽モード: 地点 緯度 %1° 経度 %2° 高さ %3 m の太陽を昼に送ります（%4）。")
                         .arg(site.latitude)
                         .arg(site.longitude)
                         .arg(site.height)
                         .arg(refractionTextJapanese(trueSun)),
                     QStringLiteral("True-sun mode: by day the real sun for latitude %1°, longitude %2°, height %3 m "
                                    "is commanded (%4).")
                         .arg(site.latitude)
                         .arg(site.longitude)
                         .arg(site.height)
                         .arg(refractionTextEnglish(trueSun)));
}

QString measurementsOnRealSun(const TrueSunOptions& trueSun)
{
    return bilingual(QStringLiteral("測定は本当の太陽に向けます（%1）。").arg(refractionTextJapanese(trueSun)),
                     QStringLiteral("Measurements point at the real sun (%1).").arg(refractionTextEnglish(trueSun)));
}

QString connected(const QString& rotctldEndpoint, const rotator::RotatorLimits& limits, bool limitsReported, int givenLimits)
{
    if (givenLimits >= 4)
        return bilingual(QStringLiteral("rotctld（%1）に接続しました。可動範囲: %2（すべてコマンドラインの指定）。").arg(rotctldEndpoint, limitsJapanese(limits)),
                         QStringLiteral("Connected to rotctld (%1). Limits: %2 (all from the command line).").arg(rotctldEndpoint, limitsEnglish(limits)));
    return bilingual(QStringLiteral("rotctld（%1）に接続しました。可動範囲: %2（%3%4）。")
                         .arg(rotctldEndpoint, limitsJapanese(limits),
                              givenLimits > 0 ? QStringLiteral("コマンドラインで指定した値、残りは") : QString(),
                              limitsReported ? QStringLiteral("rotctld の報告") : QStringLiteral("rotctld が報告しないため既定値")),
                     QStringLiteral("Connected to rotctld (%1). Limits: %2 (%3%4).")
                         .arg(rotctldEndpoint, limitsEnglish(limits),
                              givenLimits > 0 ? QStringLiteral("those given on the command line, the rest ") : QString(),
                              limitsReported ? QStringLiteral("as rotctld reports them") : QStringLiteral("defaults: rotctld reports none")));
}

QString noParkToStowAt()
{
    return bilingual(QStringLiteral("このコントローラには Hamlib のパーク（K）がありません（rotctld の \\dump_caps: Can Park: N）。"
                                    "--stow で格納できるよう、--stow-position 方位角,仰角（ローテーターの度）を与えてください。"
                                    "風の強いときは仰角 90°（皿を空に向ける）が安全です。"),
                     QStringLiteral("This controller has no Hamlib park (K) (rotctld's \\dump_caps: Can Park: N): give "
                                    "--stow-position AZ,EL (the rotator's degrees) so that --stow has somewhere to go. "
                                    "In high wind, elevation 90° (the dish facing the sky) is safest."));
}

QString limitsUnreachable()
{
    return bilingual(QStringLiteral("方位角の上限・下限と --az-range が重なりません。ローテーターへ指向コマンドを送りません。"
                                    "--az-min、--az-max、--az-range を見直してください。"),
                     QStringLiteral("The azimuth limits and --az-range do not overlap: no pointing commands go to the "
                                    "rotator. Check --az-min, --az-max and --az-range."));
}

QString rotatorStep(double step, bool givenByOption)
{
    return bilingual(QStringLiteral("ローテーターの刻み: %1°（%2）。")
                         .arg(step)
                         .arg(givenByOption ? QStringLiteral("--resolution の指定") : QStringLiteral("読みから")),
                     QStringLiteral("The rotator's step: %1° (%2).")
                         .arg(step)
                         .arg(givenByOption ? QStringLiteral("as --resolution gives it") : QStringLiteral("from its readings")));
}

QString thresholdRaised(double step, double deadBand, double threshold)
{
    return bilingual(QStringLiteral("ローテーターの刻み %1° の半分と不感帯 %2° より細かくは向けられないため、追尾のしきい値を %3° に上げます。")
                         .arg(step)
                         .arg(deadBand, 0, 'f', 2)
                         .arg(threshold, 0, 'f', 2),
                     QStringLiteral("Half the rotator's step of %1° and its dead band of %2° are as near as it gets: "
                                    "tracking's threshold raised to %3°.")
                         .arg(step)
                         .arg(deadBand, 0, 'f', 2)
                         .arg(threshold, 0, 'f', 2));
}

QString positionReadAgain()
{
    return bilingual(QStringLiteral("rotctld から再び位置を読めるようになりました。最新の設定点へ向け直します。"),
                     QStringLiteral("rotctld reads the rotator again; pointing at the latest set-point."));
}

QString logUnwritable(const QString& path)
{
    return bilingual(QStringLiteral("記録ファイル「%1」に書き込めません。記録を続けられませんが、ローテーターの制御は続けます。"
                                    "ディスクの空きと書き込み権限を確かめてください。")
                         .arg(path),
                     QStringLiteral("Cannot write the log \"%1\": logging stops, the rotator is still driven. Check the "
                                    "disk's free space and the file's permissions.")
                         .arg(path));
}

QString positionRefused(int returnCode)
{
    return refusal(QStringLiteral("rotctld が位置を返しません"), QStringLiteral("rotctld does not give the position"),
                   QStringLiteral("間隔をのばして読み直します。"), QStringLiteral("reading again at growing intervals"),
                   returnCode);
}

QString pointingTakenAgain()
{
    return bilingual(QStringLiteral("rotctld が再び指向コマンド P を受け付けました。"),
                     QStringLiteral("rotctld takes the pointing command P again."));
}

QString pointingRefused(int returnCode)
{
    return refusal(QStringLiteral("rotctld が指向コマンド P を受け付けません"),
                   QStringLiteral("rotctld refuses the pointing command P"), QStringLiteral("間隔をのばして送り直します。"),
                   QStringLiteral("sending again at growing intervals"), returnCode);
}

QString setPointClamped(const companions::SetPoint& setPoint, const rotator::RotatorLimits& limits, double azimuth, double elevation)
{
    return bilingual(QStringLiteral("設定点 方位角 %1 仰角 %2 はローテーターの可動範囲（%3）の外にあるため、"
                                    "ローテーターの値で方位角 %4 仰角 %5 へ向けます（範囲内に戻るまで繰り返し知らせません）。")
                         .arg(degreesText(setPoint.azimuth), degreesText(setPoint.elevation), limitsJapanese(limits),
                              degreesText(azimuth), degreesText(elevation)),
                     QStringLiteral("The set-point az %1, el %2 lies outside the rotator's limits (%3): pointing at "
                                    "az %4, el %5 in the rotator's terms (not said again until it is back within).")
                         .arg(degreesText(setPoint.azimuth), degreesText(setPoint.elevation), limitsEnglish(limits),
                              degreesText(azimuth), degreesText(elevation)));
}

QString takingRequests(const QString& socketPath)
{
    return bilingual(QStringLiteral("%1 で依頼（--stow、--status、--calibrate …）を受けます。").arg(socketPath),
                     QStringLiteral("Taking requests (--stow, --status, --calibrate …) on %1.").arg(socketPath));
}

QString noRequests()
{
    return bilingual(QStringLiteral("依頼は受けません。追尾は続けます。"), QStringLiteral("No requests taken; tracking goes on."));
}

QString stowingBeforeExit()
{
    return bilingual(QStringLiteral("終わる前にローテーターを格納します。"), QStringLiteral("Stowing the rotator before ending."));
}

QString savedCalibrationUsed(const measure::SavedCalibration& saved, const QString& where)
{
    const QString azimuth = QString::number(saved.azimuthOffset, 'f', 3);
    const QString elevation = QString::number(saved.elevationOffset, 'f', 3);
    const QString measured = saved.measuredUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString refraction = QString::fromLatin1(heliotrope::sky::refractionName(saved.refraction));
    return bilingual(QStringLiteral("較正で保存したずれを使います: 方位角 %1°、仰角 %2°（%3 UTC に大気差 %4 で測定、%5）。")
                         .arg(azimuth, elevation, measured, refraction, where),
                     QStringLiteral("Using the saved calibration: azimuth %1°, elevation %2° (measured %3 UTC with refraction %4, %5).")
                         .arg(azimuth, elevation, measured, refraction, where));
}

QString savedCalibrationOtherSky(heliotrope::sky::Refraction measuredWith, heliotrope::sky::Refraction pointingWith)
{
    const QString measured = QString::fromLatin1(heliotrope::sky::refractionName(measuredWith));
    const QString pointing = QString::fromLatin1(heliotrope::sky::refractionName(pointingWith));
    return bilingual(QStringLiteral("注意: 保存したずれは大気差 %1 の太陽で測りましたが、いまは %2 の太陽に向けます。"
                                    "ずれは低い太陽ほど食い違います（仰角 30° で約 0.03°、5° で 0.17°）。同じ --refraction で較正し直してください。")
                         .arg(measured, pointing),
                     QStringLiteral("Note: the saved offsets were measured against the sun with refraction %1, and this bridge "
                                    "points with %2: they disagree the more, the lower the sun (about 0.03° at 30°, 0.17° at 5°). "
                                    "Calibrate again with the same --refraction.")
                         .arg(measured, pointing));
}

QString pointingModelUsed(const mount::SavedPointingModel& saved, const QString& where)
{
    const QString terms = QString::fromStdString(heliotrope::pointing::mountText(saved.model));
    const QString fitted = saved.fittedUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString before = QString::number(saved.rmsBefore, 'f', 3);
    const QString after = QString::number(saved.rmsAfter, 'f', 3);
    return bilingual(QStringLiteral("保存した指向モデルを使います: %1（%2 回のスキャンから %3 UTC に求めたもの、rms %4° → %5°、%6）。"
                                    "一定のずれの代わりに、送るコマンドすべてに掛けます。")
                         .arg(terms)
                         .arg(saved.scans)
                         .arg(fitted, before, after, where),
                     QStringLiteral("Using the saved pointing model: %1 (fitted %3 UTC from %2 scans, rms %4° → %5°, %6), "
                                    "in place of constant offsets, on every command sent.")
                         .arg(terms)
                         .arg(saved.scans)
                         .arg(fitted, before, after, where));
}

QString pointingModelSetAside()
{
    return bilingual(QStringLiteral("--az-offset か --el-offset が指定されたため、保存した指向モデルは使いません。"),
                     QStringLiteral("--az-offset or --el-offset given: the saved pointing model is not applied."));
}

QString pointingModelSiteUnchecked(const heliotrope::sky::Site& fittedAt)
{
    const QString site = QStringLiteral("%1,%2").arg(fittedAt.latitude, 0, 'f', 4).arg(fittedAt.longitude, 0, 'f', 4);
    return bilingual(QStringLiteral("指向モデルは %1 の地点で求めたものです。--site がないため、この地点のものかは確かめていません。").arg(site),
                     QStringLiteral("The pointing model was fitted at %1; without --site, whether it is this site's is not checked.").arg(site));
}

}  // namespace heliotrope::rotctl::said
