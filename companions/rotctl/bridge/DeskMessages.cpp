#include "companions/rotctl/bridge/DeskMessages.h"

#include "companions/common/ConsoleText.h"

using heliotrope::companions::bilingual;
using heliotrope::companions::degreesText;

namespace heliotrope::rotctl::said {

namespace {

// Within this of the zenith (hundredths of a degree as said), no azimuth.
constexpr double kZenithElevation = 89.995;

QString positionText(double azimuth, double elevation)
{
    return QStringLiteral("%1 %2").arg(degreesText(azimuth), degreesText(elevation));
}

QString stowJapanese(const std::optional<rotator::RotatorPosition>& target)
{
    return target ? positionText(target->azimuth, target->elevation) : QStringLiteral("パーク位置（K）");
}

QString stowEnglish(const std::optional<rotator::RotatorPosition>& target)
{
    return target ? positionText(target->azimuth, target->elevation) : QStringLiteral("park position (K)");
}

}  // namespace

QString heldForRequest(bool stowed)
{
    return stowed ? bilingual(QStringLiteral("ローテーターは格納中です。--resume で追尾に戻してから依頼してください。"),
                              QStringLiteral("The rotator is stowed: --resume first, then ask again."))
                  : bilingual(QStringLiteral("ローテーターは停止中です。--resume で追尾に戻してから依頼してください。"),
                              QStringLiteral("The rotator is stopped: --resume first, then ask again."));
}

QString ownMeasurementSkipped(bool stowed)
{
    return bilingual(QStringLiteral("ローテーターが%1のため、この測定は始めません。--resume のあとで測ってください。")
                         .arg(stowed ? QStringLiteral("格納中") : QStringLiteral("停止中")),
                     QStringLiteral("The rotator is %1: this measurement is not begun. Measure after --resume.")
                         .arg(stowed ? QStringLiteral("stowed") : QStringLiteral("stopped")));
}

QString measurementAlreadyRuns()
{
    return bilingual(QStringLiteral("測定がすでに動いています。終わるのを待つか cancel してください。"),
                     QStringLiteral("A measurement already runs: wait for it or cancel it."));
}

QString noMeasurementRuns()
{
    return bilingual(QStringLiteral("測定は動いていません。"), QStringLiteral("No measurement runs."));
}

QString measurementEnded()
{
    return bilingual(QStringLiteral("測定を終わらせました。"), QStringLiteral("The measurement is ended."));
}

QString alreadyFollowing(bool bySelf)
{
    if (bySelf)
        return bilingual(QStringLiteral("すでに太陽を追尾しています。"), QStringLiteral("Already tracking the sun."));
    return bilingual(QStringLiteral("すでに設定点に従っています。"), QStringLiteral("Already following the set-points."));
}

QString resumedAsAsked(bool bySelf)
{
    if (bySelf)
        return bilingual(QStringLiteral("依頼により、太陽の追尾に戻ります。"), QStringLiteral("Back to tracking the sun, as asked."));
    return bilingual(QStringLiteral("依頼により、ウィンドウの設定点の追尾に戻ります。"),
                     QStringLiteral("Back to tracking the window's set-point, as asked."));
}

QString trackingAgain()
{
    return bilingual(QStringLiteral("追尾に戻りました。"), QStringLiteral("Tracking again."));
}

QString askersOptionSetAside(const QString& name, const QString& theirs, const QString& running)
{
    return bilingual(QStringLiteral("--%1 %2 ではなく、動いているブリッジの %3 を使います。").arg(name, theirs, running),
                     QStringLiteral("--%1 %2: the running bridge's %3 is used.").arg(name, theirs, running));
}

QString askersOptionNotCarried(const QString& given)
{
    return bilingual(QStringLiteral("%1 は依頼に入れません。動いているブリッジ自身の設定を使います。").arg(given),
                     QStringLiteral("%1: the running bridge's own is used; it is not part of the request.").arg(given));
}

QString askersClockOffsetCounts(const QString& theirs, const QString& running)
{
    return bilingual(QStringLiteral("動いているブリッジの --clock-offset %2 ではなく、依頼の --clock-offset %1 で測ります。").arg(theirs, running),
                     QStringLiteral("Measured with the request's --clock-offset %1, not the running bridge's %2.").arg(theirs, running));
}

QString holdAsked(bool stop, const std::optional<rotator::RotatorPosition>& target)
{
    if (stop)
        return bilingual(QStringLiteral("ローテーターを止めて保ちます（S）。"), QStringLiteral("Stopping the rotator and holding it (S)."));
    if (target)
        return bilingual(QStringLiteral("ローテーターを %1 へ格納して保ちます。").arg(stowJapanese(target)),
                         QStringLiteral("Stowing the rotator at %1 and holding it there.").arg(stowEnglish(target)));
    return bilingual(QStringLiteral("ローテーターをパーク位置へ格納して保ちます（K）。"),
                     QStringLiteral("Stowing the rotator at its park position (K) and holding it."));
}

QString holdNotConnected(bool stop)
{
    return bilingual(QStringLiteral("rotctld につながっていません。設定点には従わず、つながりしだい%1。")
                         .arg(stop ? QStringLiteral("そのまま保ちます") : QStringLiteral("格納します")),
                     QStringLiteral("rotctld is not connected: set-points are not followed, and %1 once it is.")
                         .arg(stop ? QStringLiteral("the rotator is held") : QStringLiteral("the stow goes")));
}

QString holdTaken(bool stop)
{
    if (stop)
        return bilingual(QStringLiteral("rotctld が受けました。--resume まで設定点には従いません。"),
                         QStringLiteral("rotctld took it; set-points are not followed until --resume."));
    // Taken is not arrived: a stow is said as done once the rotator reads there.
    return bilingual(QStringLiteral("rotctld が受けました。--resume まで設定点には従いません。ローテーターは格納位置へ動いています。"
                                    "着いたことはログと --status が伝えます。"),
                     QStringLiteral("rotctld took it; set-points are not followed until --resume. The rotator is on its way to "
                                    "the stow: the log and --status say when it is there."));
}

QString holdRefused(bool stop, int returnCode)
{
    return bilingual(QStringLiteral("rotctld が%1を RPRT %2 で断りました。設定点には従わないままです。%3")
                         .arg(stop ? QStringLiteral("停止（S）") : QStringLiteral("格納"))
                         .arg(returnCode)
                         .arg(stop ? QString() : QStringLiteral("ローテーターは格納されていません。--stow 方位角,仰角 で位置を与えてください。")),
                     QStringLiteral("rotctld refused the %1 with RPRT %2; set-points are still not followed.%3")
                         .arg(stop ? QStringLiteral("stop (S)") : QStringLiteral("stow"))
                         .arg(returnCode)
                         .arg(stop ? QString() : QStringLiteral(" The rotator is not stowed: give a position, --stow AZ,EL.")));
}

QString holdUnanswered()
{
    return bilingual(QStringLiteral("rotctld から答えがありません。設定点には従わないままです。"),
                     QStringLiteral("No answer from rotctld; set-points are still not followed."));
}

QString holdNotKept(const QString& path)
{
    return bilingual(QStringLiteral("格納を %1 に書き残せません。このブリッジでは保ちますが、再起動をまたいでは保たれません。").arg(path),
                     QStringLiteral("Cannot keep the hold in %1: it stands in this bridge but would not survive a restart.").arg(path));
}

QString holdNotForgotten(const QString& path)
{
    return bilingual(QStringLiteral("%1 を消せません。再起動したブリッジは、もう一度格納を保つかもしれません。").arg(path),
                     QStringLiteral("Cannot remove %1: a restarted bridge may hold the rotator again.").arg(path));
}

QString keptHoldSetAside(const QString& path)
{
    // Not knowing what the operator asked for, the bridge moves nothing.
    return bilingual(QStringLiteral("%1 は格納の記録として読めません。どこへ格納するか分からないため、ローテーターを止めて保ちます（S）。"
                                    "確かめてから --stow か --resume をしてください。")
                         .arg(path),
                     QStringLiteral("%1 cannot be read as a kept stow or stop: not knowing where to stow, the bridge holds the "
                                    "rotator stopped (S). Check it, then --stow or --resume.")
                         .arg(path));
}

QString holdTakenUpAgain(bool stop, const std::optional<rotator::RotatorPosition>& at, const QString& asked)
{
    if (stop)
        return bilingual(QStringLiteral("%1 JST に頼まれた停止（S）を保ちます。--resume まで設定点には従いません。").arg(asked),
                         QStringLiteral("Holding the stop (S) asked at %1 JST; set-points are not followed until --resume.").arg(asked));
    return bilingual(QStringLiteral("%1 JST に頼まれた %2 への格納を保ちます。--resume まで設定点には従いません。").arg(asked, stowJapanese(at)),
                     QStringLiteral("Holding the stow at %2 asked at %1 JST; set-points are not followed until --resume.").arg(asked, stowEnglish(at)));
}

QString stowReached(const std::optional<rotator::RotatorPosition>& target, const rotator::RotatorPosition& at)
{
    const QString reading = positionText(at.azimuth, at.elevation);
    if (target)
        return bilingual(QStringLiteral("ローテーターが格納位置 %1 に着きました（読み %2）。").arg(stowJapanese(target), reading),
                         QStringLiteral("The rotator has reached the stow at %1 (it reads %2).").arg(stowEnglish(target), reading));
    return bilingual(QStringLiteral("ローテーターはパーク（K）のあと %1 で止まりました。").arg(reading),
                     QStringLiteral("The rotator has come to rest at %1 after the park (K).").arg(reading));
}

QString statusMeasuring(const QString& progress)
{
    // Progress comes as "Japanese / English" on one line, or as two lines.
    const QStringList parts = progress.split(progress.contains(QLatin1Char('\n')) ? QStringLiteral("\n") : QStringLiteral(" / "));
    return bilingual(QStringLiteral("測定中: %1").arg(parts.first()), QStringLiteral("measuring: %1").arg(parts.last()));
}

QString statusStowAwaited(const std::optional<rotator::RotatorPosition>& target)
{
    return bilingual(QStringLiteral("格納を指示しました: %1（rotctld の答えを待っています）").arg(stowJapanese(target)),
                     QStringLiteral("stow asked: %1 (waiting for rotctld's answer)").arg(stowEnglish(target)));
}

QString statusStowRefused(const std::optional<rotator::RotatorPosition>& target, int returnCode)
{
    return bilingual(QStringLiteral("格納できていません: rotctld が %1 への格納を RPRT %2 で断りました（設定点には従いません）")
                         .arg(stowJapanese(target))
                         .arg(returnCode),
                     QStringLiteral("not stowed: rotctld refused the stow at %1 with RPRT %2 (set-points are not followed)")
                         .arg(stowEnglish(target))
                         .arg(returnCode));
}

QString statusStowUnanswered(const std::optional<rotator::RotatorPosition>& target)
{
    return bilingual(QStringLiteral("格納は確かめられていません: %1 への格納に rotctld が答えませんでした").arg(stowJapanese(target)),
                     QStringLiteral("stow not confirmed: rotctld did not answer the stow at %1").arg(stowEnglish(target)));
}

QString statusStowNotSent(const std::optional<rotator::RotatorPosition>& target)
{
    return bilingual(QStringLiteral("格納待ち: %1（rotctld につながりしだい送ります）").arg(stowJapanese(target)),
                     QStringLiteral("stow waiting: %1 (sent once rotctld is connected)").arg(stowEnglish(target)));
}

QString statusMovingToStow(const std::optional<rotator::RotatorPosition>& target)
{
    return bilingual(QStringLiteral("格納位置へ移動中: %1").arg(stowJapanese(target)),
                     QStringLiteral("moving to the stow: %1").arg(stowEnglish(target)));
}

QString statusStowed(const std::optional<rotator::RotatorPosition>& target, const QString& since)
{
    return bilingual(QStringLiteral("格納中: %1（%2 JST から）").arg(stowJapanese(target), since),
                     QStringLiteral("stowed: %1 since %2 JST").arg(stowEnglish(target), since));
}

QString statusStopped()
{
    return bilingual(QStringLiteral("停止中（S）"), QStringLiteral("stopped (S)"));
}

QString statusStopRefused(int returnCode)
{
    return bilingual(QStringLiteral("停止できていません: rotctld が停止（S）を RPRT %1 で断りました（設定点には従いません）").arg(returnCode),
                     QStringLiteral("not stopped: rotctld refused the stop (S) with RPRT %1 (set-points are not followed)").arg(returnCode));
}

QString statusTracking()
{
    return bilingual(QStringLiteral("追尾中"), QStringLiteral("tracking"));
}

QString statusSelfTracking(double azimuth, double elevation)
{
    const QString at = positionText(azimuth, elevation);
    return bilingual(QStringLiteral("追尾中（ウィンドウなし）: 本当の太陽 %1").arg(at), QStringLiteral("tracking by itself: the real sun at %1").arg(at));
}

QString statusSelfNight(double azimuth, double elevation, const QString& sunrise, bool stowed)
{
    const QString at = positionText(azimuth, elevation);
    if (stowed)
        return bilingual(QStringLiteral("夜の待機中: 格納位置 %1").arg(at), QStringLiteral("night: waiting at the stow position %1").arg(at));
    if (sunrise.isEmpty())
        return bilingual(QStringLiteral("夜の待機中: %1（2 日のうちに日の出なし）").arg(at),
                         QStringLiteral("night: waiting at %1 (no sunrise within two days)").arg(at));
    return bilingual(QStringLiteral("夜の待機中: 次の日の出（%2 JST）の方位角 %1").arg(at, sunrise),
                     QStringLiteral("night: waiting at %1 for the sunrise at %2 JST").arg(at, sunrise));
}

QString statusNoSetPointYet()
{
    return bilingual(QStringLiteral("設定点待ち: ウィンドウからまだ設定点を受けていません"),
                     QStringLiteral("no set-point yet: none has come from the window"));
}

QString statusNotConnected(const QString& rotctldEndpoint)
{
    return bilingual(QStringLiteral("rotctld（%1）につながっていません").arg(rotctldEndpoint),
                     QStringLiteral("rotctld (%1) is not connected").arg(rotctldEndpoint));
}

QString statusNotFollowing(const rotator::RotatorPosition& commanded, const rotator::RotatorPosition& reading, const QString& since)
{
    const QString told = positionText(commanded.azimuth, commanded.elevation);
    const QString reads = positionText(reading.azimuth, reading.elevation);
    return bilingual(QStringLiteral("ローテーターが指令に従っていません: %1 JST から指令 %2、読み %3").arg(since, told, reads),
                     QStringLiteral("the rotator does not follow: commanded %2 since %1 JST, reads %3").arg(since, told, reads));
}

QString statusPosition(const rotator::RotatorPosition& rotator, const rotator::RotatorPosition& sky)
{
    const QString at = positionText(rotator.azimuth, rotator.elevation);
    // At the zenith every azimuth is the same direction: none is named.
    if (sky.elevation > kZenithElevation)
        return bilingual(QStringLiteral("ローテーターの位置: %1（空では天頂）").arg(at), QStringLiteral("rotator position: %1 (on the sky the zenith)").arg(at));
    const QString onSky = positionText(sky.azimuth, sky.elevation);
    return bilingual(QStringLiteral("ローテーターの位置: %1（空では %2）").arg(at, onSky),
                     QStringLiteral("rotator position: %1 (on the sky %2)").arg(at, onSky));
}

QString statusPositionUnread()
{
    return bilingual(QStringLiteral("ローテーターの位置: まだ読めていません"), QStringLiteral("rotator position: not read yet"));
}

QString statusPositionRefused(int returnCode, const QString& since)
{
    return bilingual(QStringLiteral("ローテーターの位置を読めません: %1 JST から rotctld が p を断っています（RPRT %2）。コントローラーの電源と回線を確かめてください。"
                                    "下の位置は最後に読めたものです")
                         .arg(since)
                         .arg(returnCode),
                     QStringLiteral("the rotator's position cannot be read: rotctld has refused p since %1 JST (RPRT %2); check the controller's "
                                    "power and its line. The position below is the last one read")
                         .arg(since)
                         .arg(returnCode));
}

QString statusLastSetPoint(const companions::SetPoint& setPoint)
{
    const QString at = positionText(setPoint.azimuth, setPoint.elevation);
    return bilingual(QStringLiteral("最後の設定点: %1").arg(at), QStringLiteral("last set-point: %1").arg(at));
}

QString statusLastSetPointNone()
{
    return bilingual(QStringLiteral("最後の設定点: まだ受けていません"), QStringLiteral("last set-point: none received yet"));
}

QString statusStepAndDeadBand(const std::optional<double>& step, double deadBand, double unseen)
{
    const QString stepText = step ? degreesText(*step) : QStringLiteral("?");
    if (unseen > 0) {
        return bilingual(QStringLiteral("刻み %1、不感帯 %2 から %3（読みには見えない。較正はこの幅を誤差に含めます）")
                             .arg(stepText, degreesText(deadBand), degreesText(unseen)),
                         QStringLiteral("step %1, dead band %2 to %3 (not seen in the readings; a calibration counts "
                                        "that range in its errors)")
                             .arg(stepText, degreesText(deadBand), degreesText(unseen)));
    }
    return bilingual(QStringLiteral("刻み %1、不感帯 %2").arg(stepText, degreesText(deadBand)),
                     QStringLiteral("step %1, dead band %2").arg(stepText, degreesText(deadBand)));
}

QString statusOffsets(double azimuth, double elevation)
{
    return bilingual(QStringLiteral("使っているずれ: 方位角 %1、仰角 %2").arg(degreesText(azimuth), degreesText(elevation)),
                     QStringLiteral("offsets in use: azimuth %1, elevation %2").arg(degreesText(azimuth), degreesText(elevation)));
}

QString statusPointing(const PointingInForce& inForce, const std::optional<pointing::MountModel>& model)
{
    using Source = PointingInForce::Source;
    const QString made = inForce.madeUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (inForce.source == Source::SavedModel && model) {
        QStringList terms;
        for (pointing::Term term : pointing::kAllTerms)
            if ((*model)[term] != 0)
                terms << QString::fromLatin1(pointing::termName(term));
        const QString count = QString::number(terms.size());
        const QString names = terms.isEmpty() ? QStringLiteral("-") : terms.join(QStringLiteral(", "));
        const QString rms = QString::number(inForce.rmsDegrees, 'f', 3);
        const QString without = QString::number(inForce.rmsWithoutDegrees, 'f', 3);
        const QString scans = QString::number(inForce.scans);
        return bilingual(QStringLiteral("指向の補正: 保存した指向モデル、%1 項（%2）、rms %3°（モデルなしでは %4°、%5 回のスキャンから %6 UTC に求めたもの）")
                             .arg(count, names, rms, without, scans, made),
                         QStringLiteral("pointing correction: the saved pointing model, %1 terms (%2), rms %3° (%4° with no model; fitted %6 UTC from %5 scans)")
                             .arg(count, names, rms, without, scans, made));
    }
    switch (inForce.source) {
    case Source::SavedCalibration:
        return bilingual(QStringLiteral("指向の補正: 一定のずれ（%1 UTC に測った、保存した較正のもの）").arg(made),
                         QStringLiteral("pointing correction: constant offsets, the saved calibration's (measured %1 UTC)").arg(made));
    case Source::CommandLine:
        return bilingual(QStringLiteral("指向の補正: 一定のずれ（--az-offset と --el-offset で指定）"),
                         QStringLiteral("pointing correction: constant offsets (given with --az-offset and --el-offset)"));
    case Source::None:
    case Source::SavedModel:
        break;
    }
    return bilingual(QStringLiteral("指向の補正: なし（保存した較正も指向モデルも使っていません）"),
                     QStringLiteral("pointing correction: none (neither a saved calibration nor a pointing model is in use)"));
}

}  // namespace heliotrope::rotctl::said
