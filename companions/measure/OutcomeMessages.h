#pragma once

// What each way a measurement can end means, in one table: its kind, the
// RPRT code the bridge's socket answers the asker with (and so the asking
// command's exit status), and its words in Japanese and English. Nothing
// else words an outcome.

#include "companions/measure/MeasurementOutcome.h"
#include "companions/station/StationProtocol.h"

#include <QString>

namespace heliotrope::measure {

MeasurementOutcome::Kind outcomeKind(OutcomeReason reason);
heliotrope::station::StationCode outcomeCode(OutcomeReason reason);

// The outcome for the operator: the reason's words (Japanese, then English),
// and after them its particulars, a message of the same shape.
QString outcomeText(const MeasurementOutcome& outcome);

// An outcome with its particulars, given in each language.
MeasurementOutcome outcomeOf(OutcomeReason reason, const QString& detailJapanese = {}, const QString& detailEnglish = {});
// An outcome whose particulars another part of the station has said as a
// whole message already (a power source, a file), kept whole.
MeasurementOutcome outcomeSaying(OutcomeReason reason, const QString& message);

}  // namespace heliotrope::measure
