// How each way a measurement ends reaches the asker: the exit status a timer
// or a script acts on, and words in both languages. A low sun is a skip the
// timer must not count as a failure; an ending without a result must never
// exit 0.

#include "companions/measure/OutcomeMessages.h"

#include <QTest>

using namespace heliotrope::measure;
using heliotrope::station::exitStatusFor;

class TestOutcomeMessages : public QObject {
    Q_OBJECT

private slots:
    void everyEndingHasItsStatusAndItsWords();
};

void TestOutcomeMessages::everyEndingHasItsStatusAndItsWords()
{
    using R = OutcomeReason;
    using K = MeasurementOutcome::Kind;
    const struct {
        R reason;
        K kind;
        int status;
    } endings[] = {
        {R::Found, K::Result, 0},
        {R::FoundOverTheTop, K::Result, 0},
        {R::NotFound, K::NoResult, 1},
        {R::NotSaved, K::NoResult, 1},
        {R::NoRepeatMeasured, K::NoResult, 1},
        {R::Interrupted, K::NoResult, 1},
        {R::InterruptedBeforeMoving, K::NoResult, 1},
        {R::Stopped, K::NoResult, 1},
        {R::SunTooLow, K::Refused, 0},
        {R::SunUnknown, K::Refused, 1},
        {R::BeyondLimits, K::Refused, 1},
        {R::PowerUnusable, K::Refused, 1},
        {R::OutputUnwritable, K::Refused, 1},
    };
    QStringList seen;
    for (const auto& e : endings) {
        const QString name = QString::number(int(e.reason));
        QVERIFY2(outcomeKind(e.reason) == e.kind, qPrintable(name));
        QVERIFY2(exitStatusFor(outcomeCode(e.reason)) == e.status, qPrintable(name));
        // Japanese on the first line, English on the second, the particulars
        // after both and never joined to them.
        const QStringList lines = outcomeText(outcomeOf(e.reason, QStringLiteral("詳細"), QStringLiteral("detail"))).split(u'\n');
        QVERIFY2(lines.size() == 4, qPrintable(name));
        QVERIFY2(lines.at(0).front().unicode() > 0x2E80, qPrintable(lines.at(0)));
        QVERIFY2(lines.at(1).front().isUpper() && lines.at(1).back() == u'.', qPrintable(lines.at(1)));
        QCOMPARE(lines.mid(2), (QStringList{QStringLiteral("詳細"), QStringLiteral("detail")}));
        QVERIFY2(!seen.contains(lines.at(1)), qPrintable(lines.at(1)));
        seen << lines.at(1);
    }
    QCOMPARE(outcomeText(outcomeOf(R::Found)).count(u'\n'), 1);
}

QTEST_GUILESS_MAIN(TestOutcomeMessages)
#include "tst_outcomemessages.moc"
