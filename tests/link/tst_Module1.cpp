// GETFIELD: splitting one text a field per call, the shared remainder, and the
// 16-bit limit on the length of one field.

#include "link/Module1.h"

#include <QTest>

using namespace heliotrope::link;

namespace {

const QString comma = QStringLiteral(",");

// A non-empty text without the delimiter starts a new split and leaves nothing.
void startFromEmptyRemainder()
{
    QString text = QStringLiteral("x");
    GETFIELD(text, comma);
}

// What the last split left, as a continuation call shows it in the caller's
// variable (even when that call overflows). The call consumes one more field.
QString peekRemainder()
{
    QString probe;
    try {
        GETFIELD(probe, comma);
    } catch (const FieldOverflow&) {
    }
    return probe;
}

QString run(qsizetype count, QChar c)
{
    return QString(count, c);
}

}  // namespace

class TestModule1 : public QObject {
    Q_OBJECT

private slots:
    void init() { startFromEmptyRemainder(); }

    void callSequences_data();
    void callSequences();
    void oneCall_data();
    void oneCall();
    void continuationOverwritesCallersEmptyVariable();
    void fieldLengthLimit_data();
    void fieldLengthLimit();
    void failedContinuationKeepsRemainder();
};

// Each row: the texts passed in order ((empty) is the empty text), the fields
// returned, and what is left afterwards.
void TestModule1::callSequences_data()
{
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("remainder");

    const QString e;
    QTest::newRow("three fields, then one past the end")
        << QStringList{"a,b,c", e, e, e} << QStringList{"a", "b", "c", e} << e;
    QTest::newRow("two delimiters in a row") << QStringList{"a,,b", e, e} << QStringList{"a", e, "b"} << e;
    QTest::newRow("leading delimiter") << QStringList{",a", e} << QStringList{e, "a"} << e;
    QTest::newRow("trailing delimiter") << QStringList{"a,", e} << QStringList{"a", e} << e;
    QTest::newRow("no delimiter") << QStringList{"abc"} << QStringList{"abc"} << e;
    QTest::newRow("empty from nothing") << QStringList{e} << QStringList{e} << e;
    QTest::newRow("a new text drops the old remainder")
        << QStringList{"a,b,c", "x,y"} << QStringList{"a", "x"} << QStringLiteral("y");
    QTest::newRow("five of seven leave the last two")
        << QStringList{"a,b,c,d,e,f,g", e, e, e, e} << QStringList{"a", "b", "c", "d", "e"} << QStringLiteral("f,g");
}

void TestModule1::callSequences()
{
    QFETCH(QStringList, calls);
    QFETCH(QStringList, fields);
    QFETCH(QString, remainder);

    QStringList got;
    for (const QString& call : calls) {
        QString text = call;
        got << GETFIELD(text, comma);
    }
    QCOMPARE(got, fields);
    QCOMPARE(peekRemainder(), remainder);
}

void TestModule1::oneCall_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("remainder");

    QTest::newRow("two-character delimiter never matches")
        << QStringLiteral("xaby") << QStringLiteral("ab") << QStringLiteral("xaby") << QString();
    QTest::newRow("empty delimiter never matches")
        << QStringLiteral("a,b") << QString() << QStringLiteral("a,b") << QString();
    QTest::newRow("case-sensitive") << QStringLiteral("aXb,c") << QStringLiteral("x") << QStringLiteral("aXb,c")
                                    << QString();
    QTest::newRow("blanks and line ends are field characters")
        << QStringLiteral(" 12.5\r\n, 3 ") << comma << QStringLiteral(" 12.5\r\n") << QStringLiteral(" 3 ");
    QTest::newRow("NUL is a character, not the end")
        << QString::fromLatin1("a\0b,c", 5) << comma << QString::fromLatin1("a\0b", 3) << QStringLiteral("c");
    QTest::newRow("other delimiter") << QStringLiteral("1;2,3;4") << QStringLiteral(";") << QStringLiteral("1")
                                     << QStringLiteral("2,3;4");
}

void TestModule1::oneCall()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(QString, field);
    QFETCH(QString, remainder);

    QString passed = text;
    QCOMPARE(GETFIELD(passed, delimiter), field);
    QCOMPARE(passed, text);  // a non-empty text is only read
    QCOMPARE(peekRemainder(), remainder);
}

void TestModule1::continuationOverwritesCallersEmptyVariable()
{
    QString text = QStringLiteral("a,b,c");
    QCOMPARE(GETFIELD(text, comma), QStringLiteral("a"));

    QString mine;
    QCOMPARE(GETFIELD(mine, comma), QStringLiteral("b"));
    QCOMPARE(mine, QStringLiteral("b,c"));

    mine.clear();
    QCOMPARE(GETFIELD(mine, comma), QStringLiteral("c"));
    QCOMPARE(mine, QStringLiteral("c"));
}

// At most 32,766 characters are looked at: a field of 32,765 comes back whole,
// one character more overflows.
void TestModule1::fieldLengthLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<qsizetype>("fieldLength");
    QTest::addColumn<QString>("remainder");

    const QString longest = run(kMaxFieldLength, u'x');
    QTest::newRow("32765 then delimiter") << longest + QStringLiteral(",tail") << comma << false << kMaxFieldLength
                                          << QStringLiteral("tail");
    QTest::newRow("32765 then end") << longest << comma << false << kMaxFieldLength << QString();
    QTest::newRow("32766 then end") << longest + u'x' << comma << true << qsizetype{0} << QString();
    QTest::newRow("32766 then delimiter") << longest + QStringLiteral("x,") << comma << true << qsizetype{0}
                                          << QString();
    QTest::newRow("long text, early delimiter") << QStringLiteral("ab,") + run(70000, u'y') << comma << false
                                                << qsizetype{2} << run(70000, u'y');
    QTest::newRow("32765 with a two-character delimiter") << longest << QStringLiteral(",,") << false
                                                          << kMaxFieldLength << QString();
    QTest::newRow("32766 with a two-character delimiter") << longest + u',' << QStringLiteral(",,") << true
                                                          << qsizetype{0} << QString();
}

void TestModule1::fieldLengthLimit()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(bool, overflows);
    QFETCH(qsizetype, fieldLength);
    QFETCH(QString, remainder);

    // Something to leave behind, so that a failed call can be seen not to touch it.
    QString before = QStringLiteral("o,p,q");
    GETFIELD(before, comma);

    if (overflows) {
        QVERIFY_THROWS_EXCEPTION(FieldOverflow, GETFIELD(text, delimiter));
        QCOMPARE(peekRemainder(), QStringLiteral("p,q"));
    } else {
        const QString field = GETFIELD(text, delimiter);
        QCOMPARE(field.size(), fieldLength);
        QCOMPARE(field, text.left(fieldLength));
        QCOMPARE(peekRemainder(), remainder);
    }
}

void TestModule1::failedContinuationKeepsRemainder()
{
    const QString tooLong = run(kMaxFieldLength + 1, u'z');
    QString text = QStringLiteral("1,") + tooLong + QStringLiteral(",3");
    QCOMPARE(GETFIELD(text, comma), QStringLiteral("1"));

    QString mine;
    QVERIFY_THROWS_EXCEPTION(FieldOverflow, GETFIELD(mine, comma));
    // The caller already holds the remainder, and the remainder is what it was.
    QCOMPARE(mine, tooLong + QStringLiteral(",3"));
    QString again;
    QVERIFY_THROWS_EXCEPTION(FieldOverflow, GETFIELD(again, comma));
    QCOMPARE(again, mine);

    // A new non-empty text recovers.
    QString next = QStringLiteral("a,b");
    QCOMPARE(GETFIELD(next, comma), QStringLiteral("a"));
    QCOMPARE(peekRemainder(), QStringLiteral("b"));
}

QTEST_GUILESS_MAIN(TestModule1)
#include "tst_Module1.moc"
