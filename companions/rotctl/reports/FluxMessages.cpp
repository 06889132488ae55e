#include "companions/rotctl/reports/FluxMessages.h"

#include "companions/common/ConsoleText.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>

using heliotrope::companions::bilingual;

namespace heliotrope::rotctl::said {

namespace {

QString jstClock(double utc, const QString& format = QStringLiteral("HH:mm:ss"))
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(utc * 1000.0), QTimeZone(9 * 3600)).toString(format);
}

QString sfu(double value, int decimals = 2)
{
    return QString::number(value, 'f', decimals);
}

QString refusalWords(const flux::FluxValue& value)
{
    switch (value.refusal) {
    case flux::ValueRefusal::None:
        break;
    case flux::ValueRefusal::NoReadings:
        return QStringLiteral("値なし: 静かな読みがない no value: no quiet readings");
    case flux::ValueRefusal::TooFewClean:
        return QStringLiteral("値なし: 静かな読みが足りない（%1 回） no value: too few quiet readings (%1)").arg(value.cleanReadings);
    }
    return QStringLiteral("値なし no value");
}

QString valueLine(const QString& label, const flux::FluxValue& value)
{
    if (!value.fluxSfu)
        return QStringLiteral("  %1: %2").arg(label, refusalWords(value));
    return QStringLiteral("  %1: %2 ± %3 SFU（全体 total ± %4）  静かな読み clean readings %5")
        .arg(label, sfu(*value.fluxSfu), sfu(value.error), sfu(value.totalError))
        .arg(value.cleanReadings);
}

QString burstLine(const flux::FluxBurst& b)
{
    return QStringLiteral("    開始 start %1  ピーク peak %2 ± %3 s  %4 SFU  超過 excess %5 ± %6 SFU  終了 end %7  "
                          "積分 integrated %8 ± %9 SFU·s")
        .arg(jstClock(b.startUtc), jstClock(b.peakUtc), QString::number(b.peakUtcError, 'f', 0), sfu(b.peakSfu, 1),
             sfu(b.peakExcessSfu, 1), sfu(b.peakExcessError, 1), jstClock(b.endUtc),
             QString::number(b.integratedExcessSfuSeconds, 'f', 0), QString::number(b.integratedExcessError, 'f', 0));
}

// Readings in steps: that they were, and what of a burst may go unseen: in
// SFU where the day was worked out here, else as the step's share of the
// power received on the sun.
QStringList roundedLines(const record::KeptFluxDay& day)
{
    const double step = day.readingStepDecibels;
    if (!(step > 0))
        return {};
    const QString words = step == 1.0 ? QStringLiteral("整数 dB whole dB") : QStringLiteral("%1 dB 刻み steps of %1 dB").arg(step, 0, 'g', 3);
    QStringList lines;
    lines << QStringLiteral("  読みは %1: 誤差に丸めを含む the errors include the rounding").arg(words);
    if (day.smallestBurstSfu > 0)
        lines << QStringLiteral("  +%1 SFU 未満のバーストは見えないことがある bursts under +%1 SFU may go unseen").arg(sfu(day.smallestBurstSfu, 1));
    else
        lines << QStringLiteral("  太陽から受ける電力を %1 dB（%2 %）上げないバーストは見えないことがある "
                                "bursts raising the power received on the sun by less than %1 dB (%2 %) may go unseen")
                     .arg(step, 0, 'g', 3)
                     .arg(100.0 * (std::pow(10.0, step / 10.0) - 1.0), 0, 'f', 0);
    // The least a day's error can be for its rounding: that of the sun's
    // own share of the power, S, the system's adding to it.
    const flux::FluxValue& daily = day.daily;
    if (daily.fluxSfu && daily.error < std::sqrt(2.0) * flux::stepRelativeError(step) * *daily.fluxSfu)
        lines << QStringLiteral("  この日の誤差は丸めを含まずに記録されています（古い heliotrope-rotctl） "
                                "this day's errors were kept without the rounding (an older heliotrope-rotctl)");
    return lines;
}

QString oneLine(const QString& text)
{
    QStringList parts = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& part : parts)
        part = part.trimmed();
    return parts.join(QStringLiteral(" / "));
}

}  // namespace

QStringList fluxDayLines(const record::KeptFluxDay& day, bool provisional, const QString& scaleSource)
{
    QStringList lines;
    lines << QStringLiteral("%1（JST）%2  尺度 scale %3 ± %4 %")
                 .arg(day.jstDay.toString(Qt::ISODate),
                      provisional ? QStringLiteral("  暫定（まだ記録されていない日） provisional (not kept yet)")
                                  : QStringLiteral("  記録済み kept"),
                      record::scaleKindText(day.scale), QString::number(day.scaleRelativeError * 100, 'f', 1));
    if (!scaleSource.isEmpty())
        lines << QStringLiteral("  尺度の出所 scale from: ") + oneLine(scaleSource);
    lines << valueLine(QStringLiteral("日の値 daily (%1 JST)").arg(jstClock(day.daily.nominalUtc, QStringLiteral("HH:mm"))), day.daily);
    for (const flux::FluxValue& v : day.atFixedTimes)
        lines << valueLine(QStringLiteral("%1 JST").arg(jstClock(v.nominalUtc, QStringLiteral("HH:mm"))), v);
    if (day.bursts.empty())
        lines << QStringLiteral("  バーストなし no bursts");
    else
        lines << QStringLiteral("  バースト bursts: %1").arg(day.bursts.size());
    for (const flux::FluxBurst& b : day.bursts)
        lines << burstLine(b);
    lines << roundedLines(day);
    return lines;
}

QString noRecord(const QString& path)
{
    return bilingual(QStringLiteral("記録「%1」はまだありません。ブリッジが追尾中の読みを記録すると作られます。").arg(path),
                     QStringLiteral("No record at %1 yet: the bridge makes it as it keeps its readings while tracking.").arg(path));
}

QString noFluxTables(const QString& path)
{
    return bilingual(QStringLiteral("記録「%1」には太陽フラックスの表がありません（それより前の heliotrope-rotctl の記録です）。").arg(path),
                     QStringLiteral("The record %1 keeps no flux (a record of an older heliotrope-rotctl).").arg(path));
}

QString nothingOn(const QDate& jstDay)
{
    const QString day = jstDay.toString(Qt::ISODate);
    return bilingual(QStringLiteral("%1（JST）のフラックスも読みも記録にありません。").arg(day),
                     QStringLiteral("No flux and no readings kept for %1 (JST).").arg(day));
}

QString nothingSince(const QDate& jstDay)
{
    const QString day = jstDay.toString(Qt::ISODate);
    return bilingual(QStringLiteral("%1（JST）から後に記録された日のフラックスはありません。").arg(day),
                     QStringLiteral("No day's flux kept since %1 (JST).").arg(day));
}

QString readingsWithoutBeamwidth(const QDate& jstDay, qint64 readings)
{
    const QString day = jstDay.toString(Qt::ISODate);
    return bilingual(QStringLiteral("%1（JST）の読み %2 回はまだ日の値になっていません。--beamwidth 度（ビームの半値全幅）を"
                                    "付けると、ここで暫定の値を出します。")
                         .arg(day)
                         .arg(readings),
                     QStringLiteral("%1 (JST): %2 readings kept, not worked out into the day's values yet; add --beamwidth DEG "
                                    "(the beam's full width at half maximum) to work them out here, provisionally.")
                         .arg(day)
                         .arg(readings));
}

QString readingsWithoutScale(const QDate& jstDay, qint64 readings, const QString& why)
{
    const QString day = jstDay.toString(Qt::ISODate);
    return bilingual(QStringLiteral("%1（JST）の読み %2 回から値を出せません。").arg(day).arg(readings),
                     QStringLiteral("%1 (JST): the %2 readings kept cannot be worked out.").arg(day).arg(readings))
        + QLatin1Char('\n') + why;
}

QString filesNeedBeamwidth()
{
    return bilingual(QStringLiteral("一日の読みの図やファイルには、読みから値を出すビーム幅 --beamwidth 度が要ります。"),
                     QStringLiteral("A day's readings as a picture or file need --beamwidth DEG, to work them out."));
}

QString nothingToWrite(const QString& path)
{
    return bilingual(QStringLiteral("書くものがないため、「%1」は作りません。").arg(path),
                     QStringLiteral("Nothing to write: no %1 made.").arg(path));
}

QString fileSaved(const QString& path)
{
    return bilingual(QStringLiteral("「%1」に保存しました。").arg(path), QStringLiteral("Saved to %1.").arg(path));
}

QString outputsNeedOneDay()
{
    return bilingual(QStringLiteral("--fits は一日分（--day）です。--since とは使えません。"),
                     QStringLiteral("--fits is of one day (--day): not with --since."));
}

}  // namespace heliotrope::rotctl::said
