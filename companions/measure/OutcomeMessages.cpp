#include "companions/measure/OutcomeMessages.h"

#include "companions/common/ConsoleText.h"

#include <array>

using heliotrope::station::StationCode;

namespace heliotrope::measure {

namespace {

using Kind = MeasurementOutcome::Kind;

struct OutcomeEntry {
    OutcomeReason reason;
    Kind kind;
    // A skip (a low sun) answers with a code the asking timer does not count
    // as a failure; every other ending without a result is one.
    StationCode code;
    const char16_t* japanese;
    const char16_t* english;
};

constexpr std::array kOutcomes{
    OutcomeEntry{OutcomeReason::Found, Kind::Result, StationCode::Ok, u"測定を終え、結果を残しました。",
                 u"Measured; the result is kept."},
    OutcomeEntry{OutcomeReason::FoundOverTheTop, Kind::Result, StationCode::Ok,
                 u"天頂の向こう側のスキャンとして局の記録に残しました（ずれは保存していません）。",
                 u"Kept in the station's record as a scan over the top (no offsets saved)."},
    OutcomeEntry{OutcomeReason::NotFound, Kind::NoResult, StationCode::NoResult,
                 u"測りましたが、信頼できる結果が出ませんでした。", u"Measured, but no result could be trusted."},
    OutcomeEntry{OutcomeReason::NotSaved, Kind::NoResult, StationCode::NoResult, u"結果は出ましたが、保存していません。",
                 u"A result was found but is not saved."},
    OutcomeEntry{OutcomeReason::NoRepeatMeasured, Kind::NoResult, StationCode::NoResult,
                 u"太陽雑音の測定を終えましたが、測れた回がありません。", u"Sun-noise run over with no repeat measured."},
    OutcomeEntry{OutcomeReason::Interrupted, Kind::NoResult, StationCode::NoResult,
                 u"操作者が測定を止めました。結果は保存しません。", u"The operator ended the measurement; nothing is saved."},
    OutcomeEntry{OutcomeReason::InterruptedBeforeMoving, Kind::NoResult, StationCode::NoResult,
                 u"操作者が測定を止めました。アンテナは動かしていません。",
                 u"The operator ended the measurement before the antenna moved."},
    OutcomeEntry{OutcomeReason::Stopped, Kind::NoResult, StationCode::NoResult,
                 u"測定を続けられないため、中止しました。結果は保存しません。",
                 u"The measurement could not go on and was stopped; nothing is saved."},
    OutcomeEntry{OutcomeReason::SunTooLow, Kind::Refused, StationCode::SunTooLow,
                 u"太陽が低いため、測定を始めません（失敗ではありません）。",
                 u"Not started: the sun is too low (not a failure)."},
    OutcomeEntry{OutcomeReason::SunUnknown, Kind::Refused, StationCode::NoResult,
                 u"太陽の位置を計算できないため、測定を始めません。", u"Not started: the sun's position cannot be computed."},
    OutcomeEntry{OutcomeReason::BeyondLimits, Kind::Refused, StationCode::NoResult,
                 u"ローテーターの可動範囲を越えるため、測定を始めません。アンテナは動かしていません。",
                 u"Not started: beyond the rotator's limits. The antenna has not moved."},
    OutcomeEntry{OutcomeReason::PowerUnusable, Kind::Refused, StationCode::NoResult,
                 u"電力を読めないため、測定を始めません。アンテナは動かしていません。",
                 u"Not started: the power cannot be read. The antenna has not moved."},
    OutcomeEntry{OutcomeReason::OutputUnwritable, Kind::Refused, StationCode::NoResult,
                 u"測定点を書くファイルを開けないため、測定を始めません。アンテナは動かしていません。",
                 u"Not started: the file for the points cannot be written. The antenna has not moved."},
};

// The rows stand in the reasons' order, one for each, the last reason last:
// a reason added without its row does not compile.
constexpr bool rowsInOrder()
{
    for (std::size_t i = 0; i < kOutcomes.size(); ++i)
        if (static_cast<std::size_t>(kOutcomes[i].reason) != i)
            return false;
    return kOutcomes.back().reason == OutcomeReason::OutputUnwritable;
}
static_assert(rowsInOrder());

const OutcomeEntry& entryFor(OutcomeReason reason)
{
    return kOutcomes[static_cast<std::size_t>(reason)];
}

}  // namespace

MeasurementOutcome::Kind MeasurementOutcome::kind() const
{
    return entryFor(reason).kind;
}

MeasurementOutcome::Kind outcomeKind(OutcomeReason reason)
{
    return entryFor(reason).kind;
}

StationCode outcomeCode(OutcomeReason reason)
{
    return entryFor(reason).code;
}

QString outcomeText(const MeasurementOutcome& outcome)
{
    const OutcomeEntry& entry = entryFor(outcome.reason);
    const QString words = companions::bilingual(QString::fromUtf16(entry.japanese), QString::fromUtf16(entry.english));
    return outcome.detail.isEmpty() ? words : words + QLatin1Char('\n') + outcome.detail;
}

MeasurementOutcome outcomeOf(OutcomeReason reason, const QString& detailJapanese, const QString& detailEnglish)
{
    MeasurementOutcome outcome;
    outcome.reason = reason;
    if (!detailJapanese.isEmpty() || !detailEnglish.isEmpty())
        outcome.detail = companions::bilingual(detailJapanese, detailEnglish);
    return outcome;
}

MeasurementOutcome outcomeSaying(OutcomeReason reason, const QString& message)
{
    MeasurementOutcome outcome;
    outcome.reason = reason;
    outcome.detail = message;
    return outcome;
}

}  // namespace heliotrope::measure
