#include "companions/fluxstation/FluxStationMessages.h"

#include <QDateTime>
#include <QTimeZone>

namespace heliotrope::fluxstation::said {

namespace {

QString megahertz(double frequency)
{
    return QString::number(frequency, 'f', 3);
}

QString utcText(double utc)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(utc * 1000.0), QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

}  // namespace

QString scaleSource(const record::RecordedSunNoise& run, double gOverTErrorDecibels, double frequencyMegahertz,
                    double sunElevationDegrees)
{
    const QString gOverT = QStringLiteral("%1 ± %2 dB/K")
                               .arg(QString::number(run.gOverTDecibelsPerKelvin.value_or(0), 'f', 2),
                                    QString::number(gOverTErrorDecibels, 'f', 2));
    const QString flux = run.fluxSfu ? QString::number(*run.fluxSfu, 'f', 1) : QStringLiteral("?");
    const QString runFrequency = run.frequencyMegahertz ? megahertz(*run.frequencyMegahertz) : megahertz(frequencyMegahertz);
    const QString when = record::recordTimeText(run.utc);
    const QString elevation = QString::number(sunElevationDegrees, 'f', 1);
    return QStringLiteral("G/T %1: %2 の太陽雑音の測定（%3 MHz、太陽の仰角 %4°、その日の入力フラックス %5 SFU）から。"
                          "%6 MHz、標準大気\n"
                          "G/T %1 from the sun-noise run of %2 (%3 MHz, the sun at %4°, the day's typed flux %5 SFU); "
                          "%6 MHz, typical air")
        .arg(gOverT, when, runFrequency, elevation, flux, megahertz(frequencyMegahertz));
}

QString systemTemperatureSource(const record::RecordedSystemTemperature& run, double scaleRelativeError, double frequencyMegahertz)
{
    const bool hotCold = run.kind == record::SystemTemperatureKind::HotCold;
    const QString tsys = run.systemKelvin ? QStringLiteral("%1 ± %2 K").arg(QString::number(run.systemKelvin->value, 'f', 1), QString::number(run.systemKelvin->error, 'f', 1))
                                          : QStringLiteral("?");
    const QString step = hotCold
        ? QStringLiteral("%1 K").arg(QString::number(run.ambientKelvin ? run.ambientKelvin->value : 0, 'f', 1))
        : QStringLiteral("ENR %1 ± %2 dB").arg(QString::number(run.enrDecibels ? run.enrDecibels->value : 0, 'f', 2), QString::number(run.enrDecibels ? run.enrDecibels->error : 0, 'f', 2));
    const QString aperture = QStringLiteral("%1 m, η %2 ± %3")
                                 .arg(QString::number(run.dishDiameterMetres, 'f', 2), QString::number(run.efficiency, 'f', 2),
                                      QString::number(run.efficiencyError, 'f', 2));
    const QString percent = QString::number(100.0 * scaleRelativeError, 'f', 1);
    const QString when = record::recordTimeText(run.utc);
    const QString elevation = QString::number(run.coldElevation, 'f', 1);
    if (hotCold)
        return QStringLiteral("ホット・コールド: %2 の測定のシステム雑音温度 %1（吸収体 %3、仰角 %4° のコールドスカイ、%5 MHz）と"
                              "実効面積（%6）から、尺度の誤差 %7 %。%8 MHz、標準大気\n"
                              "hot/cold: Tsys %1 from the run of %2 (absorber %3, cold sky at %4°, %5 MHz) with the effective area "
                              "(%6), scale ± %7 %; %8 MHz, typical air")
            .arg(tsys, when, step, elevation, megahertz(run.frequencyMegahertz), aperture, percent, megahertz(frequencyMegahertz));
    return QStringLiteral("雑音源: %2 の測定のシステム雑音温度 %1（%3、仰角 %4° のコールドスカイ、%5 MHz）と"
                          "実効面積（%6）から、尺度の誤差 %7 %。%8 MHz、標準大気\n"
                          "noise source: Tsys %1 from the run of %2 (%3, cold sky at %4°, %5 MHz) with the effective area "
                          "(%6), scale ± %7 %; %8 MHz, typical air")
        .arg(tsys, when, step, elevation, megahertz(run.frequencyMegahertz), aperture, percent, megahertz(frequencyMegahertz));
}

QString refusal(ChoiceRefusal refusal, const FluxStationAsk& ask, const std::optional<double>& runFrequencyMegahertz)
{
    const QString at = utcText(ask.atUtc);
    const QString frequency = ask.frequencyMegahertz ? megahertz(*ask.frequencyMegahertz)
                                                     : (runFrequencyMegahertz ? megahertz(*runFrequencyMegahertz) : QString());
    switch (refusal) {
    case ChoiceRefusal::None:
        return {};
    case ChoiceRefusal::NoTypedRun:
        if (ask.frequencyMegahertz)
            return QStringLiteral("%1 までに、%2 MHz で、その日のフラックスを入力した日（--set-flux）の太陽雑音の測定も、"
                                  "ホット・コールドや雑音源のシステム雑音温度の測定（--hot-cold、--noise-source-on）もないため、"
                                  "フラックスの尺度がありません。\n"
                                  "No flux scale: no sun-noise run at %2 MHz by %1 on a day whose flux was typed in (--set-flux), "
                                  "nor a system temperature measured hot/cold or with a noise source (--hot-cold, --noise-source-on).")
                .arg(at, frequency);
        return QStringLiteral("%1 までに、その日のフラックスを入力した日（--set-flux）の太陽雑音の測定も、"
                              "ホット・コールドや雑音源のシステム雑音温度の測定（--hot-cold、--noise-source-on）もないため、"
                              "フラックスの尺度がありません。\n"
                              "No flux scale: no sun-noise run by %1 on a day whose flux was typed in (--set-flux), "
                              "nor a system temperature measured hot/cold or with a noise source (--hot-cold, --noise-source-on).")
            .arg(at);
    case ChoiceRefusal::NoFrequency:
        return QStringLiteral("周波数がわかりません: 太陽雑音の測定に周波数がなく、--frequency もありません。\n"
                              "No frequency: the sun-noise run has none, and no --frequency was given.");
    case ChoiceRefusal::FrequencyOutsideAir:
        return QStringLiteral("%1 MHz の標準大気はわかりません（1000～15000 MHz のみ）。フラックスの尺度がありません。\n"
                              "No typical air at %1 MHz (known from 1000 to 15000 MHz only): no flux scale.")
            .arg(frequency);
    case ChoiceRefusal::BadFigures:
        return QStringLiteral("ビーム幅（0 より大きく 90° 以下）、指向誤差（0 以上）、測定の数値のどれかが範囲外のため、"
                              "フラックスの尺度がありません。\n"
                              "No flux scale: the beamwidth (above 0, at most 90°), the pointing error (at least 0) or "
                              "the run's figures are out of range.");
    }
    return {};
}

}  // namespace heliotrope::fluxstation::said
