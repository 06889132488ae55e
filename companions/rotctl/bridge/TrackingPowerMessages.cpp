#include "companions/rotctl/bridge/TrackingPowerMessages.h"

#include "companions/common/JstText.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::rotctl::said {

namespace {

QString direction(const companions::SetPoint& at)
{
    return QStringLiteral("%1° %2°").arg(at.azimuth, 0, 'f', 2).arg(at.elevation, 0, 'f', 2);
}

QString jst(double utc)
{
    return companions::jstText(std::llround(utc * 1000.0));
}

// "85.3 ± 0.4 SFU（総合 ± 4.1）" and its English: the station's own error and,
// beside it, the error with the scale's.
QString fluxWithErrors(const flux::FluxValue& value, bool english)
{
    if (!value.fluxSfu) {
        if (value.refusal == flux::ValueRefusal::NoReadings)
            return english ? QStringLiteral("no value: no clean readings") : QStringLiteral("値なし: きれいな読みがありません");
        return english ? QStringLiteral("no value: only %1 clean readings").arg(value.cleanReadings)
                       : QStringLiteral("値なし: きれいな読みが %1 回だけ").arg(value.cleanReadings);
    }
    const QString shape = english ? QStringLiteral("%1 ± %2 SFU (± %3 with the scale's error)") : QStringLiteral("%1 ± %2 SFU（目盛りの誤差こみ ± %3）");
    return shape.arg(*value.fluxSfu, 0, 'f', 2).arg(value.error, 0, 'f', 2).arg(value.totalError, 0, 'f', 2);
}

// What one step raises the power by, percent.
double stepPercent(double stepDecibels)
{
    return 100.0 * (std::pow(10.0, stepDecibels / 10.0) - 1.0);
}

QString stepWords(double stepDecibels, bool english)
{
    if (stepDecibels == 1.0)
        return english ? QStringLiteral("whole dB") : QStringLiteral("整数 dB");
    return english ? QStringLiteral("steps of %1 dB").arg(stepDecibels, 0, 'g', 3) : QStringLiteral("%1 dB 刻み").arg(stepDecibels, 0, 'g', 3);
}

// A day worked out from readings in steps: that they were, and the least
// burst it surely shows; nothing for decimals.
QString roundedDay(const flux::FluxDay& day)
{
    const double step = day.readingStepDecibels;
    if (!(step > 0))
        return {};
    const QString least = day.smallestBurstSfu > 0
        ? QStringLiteral("+%1 SFU 未満のバーストは見えないことがあります。\n").arg(day.smallestBurstSfu, 0, 'f', 1)
        : QStringLiteral("太陽から受ける電力を %1 dB（%2 %）上げないバーストは見えないことがあります。\n").arg(step, 0, 'g', 3).arg(stepPercent(step), 0, 'f', 0);
    const QString leastEn = day.smallestBurstSfu > 0
        ? QStringLiteral("bursts under +%1 SFU may go unseen.").arg(day.smallestBurstSfu, 0, 'f', 1)
        : QStringLiteral("bursts raising the power received on the sun by less than %1 dB (%2 %) may go unseen.").arg(step, 0, 'g', 3).arg(stepPercent(step), 0, 'f', 0);
    return QStringLiteral("\n読みは %1 です: 誤差には丸めが入っています。").arg(stepWords(step, false)) + least
        + QStringLiteral("readings in %1: the errors include the rounding; ").arg(stepWords(step, true)) + leastEn;
}

}  // namespace

QString scaleKind(flux::ScaleKind kind, bool english)
{
    switch (kind) {
    case flux::ScaleKind::HotCold:
        return english ? QStringLiteral("hot/cold") : QStringLiteral("ホット/コールド");
    case flux::ScaleKind::NoiseSource:
        return english ? QStringLiteral("noise source") : QStringLiteral("雑音源");
    case flux::ScaleKind::GOverT:
        break;
    }
    return QStringLiteral("G/T");
}

QString noFluxScale(const QString& refusal)
{
    return QStringLiteral("受信電力は記録しますが、流束（SFU）は出せません。\n"
                          "The power is kept, but no flux (SFU) is worked out from it.\n")
        + refusal;
}

QString burstFound(const flux::FluxBurst& burst)
{
    return QStringLiteral("太陽電波バースト: %1 JST から、ピーク %2 JST（± %3 秒）%4 SFU、静穏より +%5 ± %6 SFU（目盛り %7）。\n"
                          "Solar radio burst: from %1 JST, peak %2 JST (± %3 s) %4 SFU, %5 ± %6 SFU above the quiet sun (%8 scale).")
        .arg(jst(burst.startUtc), jst(burst.peakUtc))
        .arg(burst.peakUtcError, 0, 'f', 0)
        .arg(burst.peakSfu, 0, 'f', 1)
        .arg(burst.peakExcessSfu, 0, 'f', 1)
        .arg(burst.peakExcessError, 0, 'f', 1)
        .arg(scaleKind(burst.scale, false), scaleKind(burst.scale, true));
}

QString fluxDayKept(const QDate& jstDay, const flux::FluxValue& daily, int bursts, const QString& source, const flux::FluxDay& worked)
{
    const QString day = jstDay.toString(Qt::ISODate);
    return QStringLiteral("%1（JST）の流束を記録しました: 日の値 %2、読み %3 回、バースト %4 件。\n"
                          "The flux of %1 (JST) is kept: daily value %5, %3 readings, %4 bursts.\n")
               .arg(day, fluxWithErrors(daily, false))
               .arg(daily.cleanReadings)
               .arg(bursts)
               .arg(fluxWithErrors(daily, true))
        + source + roundedDay(worked);
}

QString runDuringBurst(const record::StationRun& run)
{
    const QString when = record::recordTimeText(record::runUtc(run));
    if (const auto* calibration = std::get_if<record::RecordedCalibration>(&run)) {
        const QString saved = calibration->saved ? QStringLiteral("そのずれは保存され、使われています。太陽が静かなときに較正し直してください。")
                                                 : QString();
        const QString savedEn = calibration->saved ? QStringLiteral(" Its offsets were saved and are in use: calibrate again while the sun is quiet.")
                                                   : QString();
        return QStringLiteral("%1 に終わった較正は、太陽電波バーストの最中（またはその前後の、太陽を見ていない間）に測りました。"
                              "記録に印を付け、健康の判断から外します。%2\n"
                              "The calibration that ended %1 measured while a solar radio burst was, or may have been, under way: "
                              "marked in the record, and left out of the health check.%3")
            .arg(when, saved, savedEn);
    }
    return QStringLiteral("%1 に終わった太陽雑音の測定は、太陽電波バーストの最中（またはその前後の、太陽を見ていない間）に測りました。"
                          "記録に印を付け、健康の判断と流束の目盛りから外します。\n"
                          "The sun-noise run that ended %1 measured while a solar radio burst was, or may have been, under way: "
                          "marked in the record, and left out of the health check and the flux scale.")
        .arg(when);
}

QString runsDuringBurstNotMarked(const QString& problem)
{
    return QStringLiteral("バーストの最中に測った測定に、記録で印を付けられません。\n"
                          "The runs measured during a burst cannot be marked in the record.\n")
        + problem;
}

QString fluxDayNotKept(const QDate& jstDay, const QString& problem)
{
    return QStringLiteral("%1（JST）の流束を記録に書けません（読みは記録にあります）。\n"
                          "The flux of %1 (JST) cannot be written to the record (its readings are there).\n")
               .arg(jstDay.toString(Qt::ISODate))
        + problem;
}

QString lookingForBursts(double everyMinutes, double sigma, double seconds)
{
    return QStringLiteral("その日の太陽の電波の強さを %1 分ごとに見ます。バースト: 静かな水準よりそのばらつきの %2 倍以上高い状態が %3 秒以上。\n"
                          "Looking at the day's solar flux every %1 min; a burst: %2 times the quiet level's scatter above it for "
                          "%3 s or more.")
        .arg(everyMinutes, 0, 'g', 4)
        .arg(sigma, 0, 'g', 4)
        .arg(seconds, 0, 'g', 4);
}

QString watchingPower(const QString& source, double everyMinutes, double dwellSeconds, double offsetDegrees)
{
    return QStringLiteral("受信電力を追尾中に毎秒読みます（%1）。参照: 最初と %2 分ごとに、太陽の横 %3° の冷たい空を %4 秒。\n"
                          "Reading the power every second while tracking (%1). References: at the start and every %2 min, "
                          "cold sky %3° beside the sun for %4 s.")
        .arg(source)
        .arg(everyMinutes, 0, 'g', 4)
        .arg(offsetDegrees, 0, 'f', 2)
        .arg(dwellSeconds, 0, 'g', 4);
}

QString powerInSteps(double stepDecibels)
{
    const double relative = 100.0 * flux::stepRelativeError(stepDecibels);
    return QStringLiteral("受信電力は %1 の読みです。一つの読みは最大 ±%2 dB 丸められ（標準偏差で電力の %3 %）、安定した受信機では毎秒同じ"
                          "数になるので、平均しても減りません。参照・流束・バーストの誤差にはこの丸めを入れます。太陽から受ける電力を "
                          "%4 dB（%5 %）上げないバーストは見えないことがあります。小数まで出すコマンドのほうが向いています。\n"
                          "The power is read in %6: each reading is rounded by up to ± %2 dB (%3 % of the power, one standard "
                          "deviation), the same every second on a steady receiver, so averaging does not reduce it; the errors of "
                          "the references, the flux and the bursts include it. A burst raising the power received on the sun by "
                          "less than %4 dB (%5 %) may go unseen. A command printing decimals is better.")
        .arg(stepWords(stepDecibels, false))
        .arg(stepDecibels / 2, 0, 'g', 3)
        .arg(relative, 0, 'f', 1)
        .arg(stepDecibels, 0, 'g', 3)
        .arg(stepPercent(stepDecibels), 0, 'f', 0)
        .arg(stepWords(stepDecibels, true));
}

QString powerUnreadable(const QString& reason)
{
    return QStringLiteral("追尾中の受信電力が読めません。読めるまで毎秒試します。\n"
                          "The power cannot be read while tracking; tried again every second.\n")
        + reason;
}

QString powerReadAgain(int missed)
{
    return QStringLiteral("受信電力がまた読めます（読めなかった %1 回は記録にありません）。\n"
                          "The power reads again (the %1 readings missed are not in the record).")
        .arg(missed);
}

QString rotatorTooCoarseForFlux(double reachDegrees, double offSunDegrees)
{
    return QStringLiteral("ローテーターは刻みと不感帯と読みの丸めで太陽から最大 %1° 離れて止まることがあります。ビームの 1/10（%2°）"
                          "より離れた読みは太陽から外れた読みとして流束に入りません（読みは記録します）。"
                          "そうした読みが多ければ、流束には刻みの細かいローテーターか、もっと広いビームが要ります。\n"
                          "The rotator may stop up to %1° from the sun (its step, dead band and its readings' rounding): readings "
                          "more than a tenth of the beam (%2°) off are flagged off the sun and left out of the flux (they are still "
                          "kept). If many are, the flux needs a finer rotator or a wider beam.")
        .arg(reachDegrees, 0, 'f', 2)
        .arg(offSunDegrees, 0, 'f', 2);
}

QString referenceUnreachable(const companions::SetPoint& sun)
{
    return QStringLiteral("参照の冷たい空が太陽（%1）のどちら側もローテーターの可動範囲の外です。参照なしの読みは流束になりません。\n"
                          "The cold sky for a reference lies beyond the rotator's limits on both sides of the sun (%1); "
                          "readings without references give no flux.")
        .arg(direction(sun));
}

QString referenceGivenUp(double seconds)
{
    return QStringLiteral("参照の冷たい空に %1 秒で着きません。あきらめて追尾に戻り、次の間隔でまた試します。\n"
                          "The cold sky for a reference was not reached in %1 s; given up, tracking again, tried at the next interval.")
        .arg(seconds, 0, 'f', 0);
}

QString referenceTaken(double meanDecibels, double scatterPercent, int count)
{
    return QStringLiteral("参照: 冷たい空 %1 dB（読み %2 回、ばらつき %3 %）。追尾に戻ります。\n"
                          "Reference: cold sky %1 dB (%2 readings, %3 % scatter); tracking again.")
        .arg(meanDecibels, 0, 'f', 2)
        .arg(count)
        .arg(scatterPercent, 0, 'f', 2);
}

QString referenceTakenInSteps(double meanDecibels, double errorPercent, int count, double stepDecibels)
{
    return QStringLiteral("参照: 冷たい空 %1 dB（読み %2 回、読みは %3 なので丸めを含めて ± %4 %、平均しても減りません）。追尾に戻ります。\n"
                          "Reference: cold sky %1 dB (%2 readings in %5: ± %4 % with the rounding, which averaging does not reduce); "
                          "tracking again.")
        .arg(meanDecibels, 0, 'f', 2)
        .arg(count)
        .arg(stepWords(stepDecibels, false))
        .arg(errorPercent, 0, 'f', 1)
        .arg(stepWords(stepDecibels, true));
}

QString gainStepped(double decibels, double minutes)
{
    return QStringLiteral("受信機の利得が %1 分前の参照から、その前までの変わり方より %2 dB %3。日の気温や仰角による変化より速いので、"
                          "LNA・ケーブル・給電部を確かめてください。流束は参照どうしの間で直線に結ぶので、この間の値は確かではありません。\n"
                          "The receiver's gain %4 by %5 dB since the reference %1 min before, beyond the way it had been moving: "
                          "faster than the day's temperature or the elevation moves it; check the LNA, the cables and the feed. "
                          "The flux is drawn straight between references, so values in between are not to be trusted.")
        .arg(minutes, 0, 'f', 0)
        .arg(std::abs(decibels), 0, 'f', 2)
        .arg(decibels < 0 ? QStringLiteral("下がりました") : QStringLiteral("上がりました"))
        .arg(decibels < 0 ? QStringLiteral("fell") : QStringLiteral("rose"))
        .arg(std::abs(decibels), 0, 'f', 2);
}

QString readingsNotKept(const QString& problem, int held)
{
    return QStringLiteral("追尾中の読みを記録に書けません。%1 件を手元に持って、また書きます。\n"
                          "The readings while tracking cannot be written to the record; %1 are held and written again.\n")
               .arg(held)
        + problem;
}

QString readingsKeptAgain(int kept)
{
    return QStringLiteral("追尾中の読みがまた記録に書けました（%1 件）。\nThe readings while tracking are written again (%1).").arg(kept);
}

QString readingsDropped(int dropped)
{
    return QStringLiteral("記録に書けないまま手元がいっぱいになり、古い読み %1 件を捨てました。\n"
                          "The record could not be written for so long that the oldest %1 readings held were dropped.")
        .arg(dropped);
}

QString recordFromNewerProgram(const QString& path)
{
    return QStringLiteral("記録 %1 は新しい版のプログラムのもので、書けません。\nThe record %1 is from a newer program and is not written to.").arg(path);
}

QString statusOnReference(const companions::SetPoint& coldSky, double secondsLeft)
{
    return QStringLiteral("参照中: 太陽の横の冷たい空（%1）、約 %2 秒で追尾に戻る\n"
                          "on a reference: cold sky beside the sun (%1), tracking again in about %2 s")
        .arg(direction(coldSky))
        .arg(std::max(0.0, secondsLeft), 0, 'f', 0);
}

QString statusWatching(const QString& source, std::optional<double> latestDecibels, std::optional<double> ageSeconds,
                       const QString& nextReference, int readings, int references)
{
    const QString latestJa = latestDecibels && ageSeconds ? QStringLiteral("最新 %1 dB（%2 秒前）").arg(*latestDecibels, 0, 'f', 2).arg(*ageSeconds, 0, 'f', 0)
                                                          : QStringLiteral("まだ読みなし");
    const QString latestEn = latestDecibels && ageSeconds ? QStringLiteral("latest %1 dB, %2 s ago").arg(*latestDecibels, 0, 'f', 2).arg(*ageSeconds, 0, 'f', 0)
                                                          : QStringLiteral("no reading yet");
    const QString nextJa = nextReference.isEmpty() ? QStringLiteral("次の参照: 追尾に戻りしだい") : QStringLiteral("次の参照 %1").arg(nextReference);
    const QString nextEn = nextReference.isEmpty() ? QStringLiteral("next reference: once tracking again") : QStringLiteral("next reference %1").arg(nextReference);
    return QStringLiteral("受信電力（%1）: %2、この起動で読み %3 回・参照 %4 回、%5\n"
                          "power (%1): %6, %3 readings and %4 references since the start, %7")
        .arg(source, latestJa)
        .arg(readings)
        .arg(references)
        .arg(nextJa, latestEn, nextEn);
}

QString statusWatchIdle(const QString& source, WatchIdle why)
{
    switch (why) {
    case WatchIdle::SunDown:
        return QStringLiteral("受信電力（%1）: 太陽が低いので読んでいません\npower (%1): not read, the sun is too low").arg(source);
    case WatchIdle::NoRotatorReading:
        break;
    }
    return QStringLiteral("受信電力（%1）: ローテーターの位置がまだ読めないので読んでいません\n"
                          "power (%1): not read, the rotator's position is not yet known")
        .arg(source);
}

QString statusWatchFailing(const QString& reason, const QString& since)
{
    return QStringLiteral("受信電力が %1 から読めません\nthe power has not been read since %1\n").arg(since) + reason;
}

QString statusFlux(const flux::FluxValue& daily, int bursts, const QString& source, const flux::FluxDay& worked)
{
    return QStringLiteral("今日の流束（ここまで）: %1、バースト %2 件\n"
                          "today's flux so far: %3, %2 bursts\n")
               .arg(fluxWithErrors(daily, false))
               .arg(bursts)
               .arg(fluxWithErrors(daily, true))
        + source + roundedDay(worked);
}

}  // namespace heliotrope::rotctl::said
