#include "companions/measure/CalibrationSeries.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/measure/RotatorLender.h"
#include "companions/rotator/RotatorGeometry.h"

#include <cmath>

namespace heliotrope::measure {

namespace {

constexpr double kJstSeconds = 9 * 3600.0;
constexpr double kDaySeconds = 86400.0;

// The first moment at or after `nowUtc` whose JST clock reads `until`.
double nextJstTime(double nowUtc, const QTime& until)
{
    const double sinceMidnight = std::fmod(nowUtc + kJstSeconds, kDaySeconds);
    double ahead = until.msecsSinceStartOfDay() / 1000.0 - sinceMidnight;
    if (ahead <= 0)
        ahead += kDaySeconds;
    return nowUtc + ahead;
}

QString timeText(double utc)
{
    return heliotrope::companions::jstText(static_cast<qint64>(std::llround(utc * 1000.0)));
}

}  // namespace

CalibrationSeries::CalibrationSeries(RotatorLender& lender, MeasurementRequest request, companions::UtcClock clock,
                                     QObject* parent)
    : QObject(parent)
    , m_lender(lender)
    , m_request(std::move(request))
    , m_clock(std::move(clock))
{
    m_wait.setSingleShot(true);
    // Minutes of waiting: a coarse timer may wake up to 5 % early, a scan
    // announced for 10:30 starting at 10:28:30, and a series then fitting a
    // scan more before --until than it said.
    m_wait.setTimerType(Qt::PreciseTimer);
    connect(&m_wait, &QTimer::timeout, this, &CalibrationSeries::onWaitOver);
}

void CalibrationSeries::onWaitOver()
{
    const double early = m_nextScanUtc - m_clock();
    if (early > 0.001) {
        m_wait.start(companions::realIntervalMs(early * 1000.0));
        return;
    }
    startScan();
}

CalibrationSeries::~CalibrationSeries() = default;

bool CalibrationSeries::repeats() const
{
    const auto* calibration = std::get_if<CalibrationOptions>(&m_request.run);
    return calibration && calibration->everyMinutes;
}

void CalibrationSeries::start()
{
    m_running = true;
    if (repeats()) {
        if (const std::optional<QTime>& until = std::get<CalibrationOptions>(m_request.run).until)
            m_untilUtc = nextJstTime(m_clock(), *until);
        // The limits are the bridge's once rotctld has answered (its caps,
        // or --el-max over them); before that they are only a default.
        if (m_lender.rotctld().isReady())
            sayHowScansAreTaken();
        else
            connect(&m_lender.rotctld(), &hamlib::RotctldClient::ready, this, &CalibrationSeries::sayHowScansAreTaken,
                    static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    }
    startScan();
}

void CalibrationSeries::sayHowScansAreTaken()
{
    if (m_flipsSaid || !m_running)
        return;
    m_flipsSaid = true;
    const double highest = m_lender.frame().limits.maxElevation;
    m_flips = highest >= 180;
    if (m_flips) {
        // Over the top (azimuth + 180°, elevation 180° − e) collimation and
        // non-perpendicularity act the other way on the sky while the zero
        // points do not: straight and flipped scans together tell them apart.
        emit notice(QStringLiteral("ローテーターの仰角は %1 まで届くため、2 回目、4 回目…は天頂の向こう側から測ります（方位角 + 180°、"
                                   "仰角 180° − e）。その回のずれは指向モデルのためだけに記録し、保存も追尾もしません。"
                                   "こうして方位角のゼロ点（IA）をコリメーション（CA）と軸の直交のずれ（NPAE）から分けます。"
                                   "仰角のゼロ点（IE）と鏡筒のたわみ（TF）は結びついたままです。\n"
                                   "The rotator's elevation reaches %1, so the 2nd, 4th, … scans are taken over the top "
                                   "(azimuth + 180°, elevation 180° − e); their offsets are recorded for the pointing model "
                                   "only, never saved or tracked with. That tells the azimuth zero point (IA) from collimation "
                                   "(CA) and non-perpendicularity (NPAE); the elevation zero point (IE) stays tied to the sag (TF).")
                        .arg(companions::degreesText(highest)));
        return;
    }
    // Only scans taken over the top turn collimation, non-perpendicularity
    // and sag round against the zero points; a mount that stops short of
    // 180° never sees them so.
    emit notice(QStringLiteral("ローテーターの仰角は %1 までのため、どの回も同じ向きで測ります。方位角のゼロ点（IA）は"
                               "コリメーション（CA）と軸の直交のずれ（NPAE）と、仰角のゼロ点（IE）は鏡筒のたわみ（TF）と"
                               "結びついたままで、太陽の仰角の移りでしか分けられません。\n"
                               "The rotator's elevation stops at %1, so every scan is taken the same way round: the "
                               "azimuth zero point (IA) stays tied to collimation (CA) and non-perpendicularity (NPAE), "
                               "and the elevation zero point (IE) to the sag (TF); only the sun's changing elevation "
                               "tells them apart.")
                    .arg(companions::degreesText(highest)));
}

void CalibrationSeries::startScan()
{
    MeasurementRequest scan = m_request;
    ++m_scans;
    m_scanStartedUtc = m_clock();
    if (repeats()) {
        auto& calibration = std::get<CalibrationOptions>(scan.run);
        // A named picture and CSV per scan: the next must not overwrite the last.
        if (m_scans > 1 && !calibration.outputBase.isEmpty())
            calibration.outputBase += QStringLiteral("-%1").arg(m_scans);
        const QString until = m_untilUtc ? QStringLiteral("%1 JST まで").arg(timeText(*m_untilUtc)) : QStringLiteral("日没まで");
        const QString untilEnglish = m_untilUtc ? QStringLiteral("until %1 JST").arg(timeText(*m_untilUtc)) : QStringLiteral("until sunset");
        calibration.overTheTop = m_flips && m_scans % 2 == 0;
        m_scanOverTheTop = calibration.overTheTop;
        emit notice(QStringLiteral("繰り返し較正の %1 回目（%2 分ごと、%3%5）。\nCalibration series, scan %1 (every %2 min, %4%6).")
                        .arg(m_scans)
                        .arg(*calibration.everyMinutes)
                        .arg(until, untilEnglish, calibration.overTheTop ? QStringLiteral("、天頂の向こう側から") : QString(),
                             calibration.overTheTop ? QStringLiteral(", over the top") : QString()));
    }
    m_session = std::make_unique<MeasurementSession>(m_lender, scan, m_clock);
    connect(m_session.get(), &MeasurementSession::notice, this, &CalibrationSeries::notice);
    connect(m_session.get(), &MeasurementSession::warning, this, &CalibrationSeries::warning);
    connect(m_session.get(), &MeasurementSession::progress, this, &CalibrationSeries::progress);
    connect(m_session.get(), &MeasurementSession::finished, this, &CalibrationSeries::onScanFinished);
    m_session->start();
}

void CalibrationSeries::onScanFinished(const MeasurementOutcome& outcome)
{
    // Later: the signal that brought this is the session's own.
    m_session.release()->deleteLater();
    if (outcome.found())
        ++m_found;
    emit scanFinished(outcome);
    if (!repeats()) {
        end(outcome, {});
        return;
    }
    if (m_interrupted) {
        end(outcome, {QStringLiteral("操作者が止めました"), QStringLiteral("the operator ended it")});
        return;
    }
    // A scan over the top refused (its pattern past a limit on the other side
    // of the zenith) leaves the rest of the day to straight scans, which the
    // fit still takes; ending the series would lose them.
    if (outcome.kind() == MeasurementOutcome::Kind::Refused && outcome.reason != OutcomeReason::SunTooLow && m_scanOverTheTop) {
        m_flips = false;
        emit notice(QStringLiteral("天頂の向こう側の較正が断られたため、この先はどの回も同じ向きで測ります。\n"
                                   "The scan over the top was refused: the rest of the series is taken the same way round."));
        m_nextScanUtc = m_clock();
        m_wait.start(0);
        return;
    }
    // A scan refused never moved the rotator; the next would be refused alike.
    if (outcome.kind() == MeasurementOutcome::Kind::Refused) {
        end(outcome, outcome.reason == OutcomeReason::SunTooLow ? companions::Words{QStringLiteral("太陽が低くなりました"), QStringLiteral("the sun is too low")} : companions::Words{QStringLiteral("較正が断られました"), QStringLiteral("a scan was refused")});
        return;
    }
    const double next = m_scanStartedUtc + *std::get<CalibrationOptions>(m_request.run).everyMinutes * 60.0;
    if (m_untilUtc && next >= *m_untilUtc) {
        end(outcome, {QStringLiteral("次の回は %1 JST を過ぎます").arg(timeText(*m_untilUtc)), QStringLiteral("the next scan would fall after %1 JST").arg(timeText(*m_untilUtc))});
        return;
    }
    const double now = m_clock();
    emit notice(QStringLiteral("次の較正は %1 JST。\nNext scan at %1 JST.").arg(timeText(next)));
    // What the series does between scans, for the console and for status.
    emit progress(QStringLiteral("繰り返し較正: %1 回のうち %2 回で結果、次の回は %3 JST / calibration series: %2 of %1 scans found a result, next scan at %3 JST")
                      .arg(m_scans)
                      .arg(m_found)
                      .arg(timeText(next)));
    m_nextScanUtc = next;
    m_wait.start(companions::realIntervalMs(std::max(0.0, next - now) * 1000.0));
}

void CalibrationSeries::interrupt()
{
    if (!m_running)
        return;
    m_interrupted = true;
    if (m_session) {
        m_session->interrupt();
        return;
    }
    // Between scans: nothing runs, the series simply ends.
    m_wait.stop();
    const MeasurementOutcome ended = outcomeOf(OutcomeReason::Interrupted);
    emit notice(outcomeText(ended));
    end(ended, {QStringLiteral("操作者が止めました"), QStringLiteral("the operator ended it")});
}

void CalibrationSeries::end(const MeasurementOutcome& last, const companions::Words& why)
{
    m_running = false;
    if (repeats()) {
        emit notice(QStringLiteral("繰り返し較正を終えます（%1）: %2 回のうち %3 回で結果。\n"
                                   "Calibration series over (%4): %3 of %2 scans found a result.")
                        .arg(why.japanese)
                        .arg(m_scans)
                        .arg(m_found)
                        .arg(why.english));
    }
    if (m_found > 0 && !last.found()) {
        emit finished(outcomeOf(OutcomeReason::Found));
        return;
    }
    emit finished(last);
}

}  // namespace heliotrope::measure
