// The port box's text to a number and to a UDP port.

#include "link/PortText.h"

#include <QTest>

using namespace heliotrope::link;

namespace {

std::u16string u16(const QString& text)
{
    return text.toStdU16String();
}

// One comparable line per outcome, so that a failing row prints what it got.
QString describe(const Int32FromText& r)
{
    switch (r.status) {
    case NumberTextStatus::Ok:
        return QStringLiteral("ok %1").arg(r.value);
    case NumberTextStatus::NotANumber:
        return QStringLiteral("not a number");
    case NumberTextStatus::Overflow:
        return QStringLiteral("overflow");
    }
    return QStringLiteral("?");
}

QString describe(const UdpPortFromText& r)
{
    switch (r.status) {
    case PortTextStatus::Ok:
        return QStringLiteral("port %1").arg(r.port);
    case PortTextStatus::NotANumber:
        return QStringLiteral("not a number");
    case PortTextStatus::OutOfRange:
        return QStringLiteral("out of range");
    }
    return QStringLiteral("?");
}

}  // namespace

class TestPortText : public QObject {
    Q_OBJECT

private slots:
    void toInt32_data();
    void toInt32();
    void longTextsStayExact();
    void toUdpPort_data();
    void toUdpPort();
};

void TestPortText::toInt32_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // Accepted forms.
    QTest::newRow("plain") << "10006"
                           << "ok 10006";
    QTest::newRow("blanks around") << " \t10006 \t"
                                   << "ok 10006";
    QTest::newRow("ideographic blanks around") << u"\u300010006\u3000"_qs << "ok 10006";
    QTest::newRow("full-width digits") << u"１０００６"_qs << "ok 10006";
    QTest::newRow("full-width sign and point") << u"－１０００６．５"_qs << "ok -10006";
    // The coordinate boxes' minus signs, read the same here.
    QTest::newRow("minus sign U+2212") << u"\u22121"_qs << "ok -1";
    QTest::newRow("kana-mode minus") << u"ー１"_qs << "ok -1";
    QTest::newRow("line end after a pasted number") << "10006\r\n"
                                                    << "ok 10006";
    QTest::newRow("signs and leading zeros") << "+0010006"
                                             << "ok 10006";
    QTest::newRow("exponent") << "1.0006E4"
                              << "ok 10006";
    QTest::newRow("negative exponent") << "100060e-1"
                                       << "ok 10006";
    QTest::newRow("point without fraction") << "1."
                                            << "ok 1";
    QTest::newRow("fraction without whole") << ".6"
                                            << "ok 1";
    QTest::newRow("negative zero") << "-0"
                                   << "ok 0";

    // Rounding: to the nearest, exact halves to the even neighbour, decided on
    // the decimal digits (a binary double would see the last two as halves).
    QTest::newRow("half down to even") << "10006.5"
                                       << "ok 10006";
    QTest::newRow("half up to even") << "10007.5"
                                     << "ok 10008";
    QTest::newRow("just below half") << "10007.49999999999999999999"
                                     << "ok 10007";
    QTest::newRow("just above half") << "10006.50000000000000000001"
                                     << "ok 10007";
    QTest::newRow("half to zero") << "0.5"
                                  << "ok 0";
    QTest::newRow("negative half to even") << "-2.5"
                                           << "ok -2";
    QTest::newRow("negative half away to even") << "-1.5"
                                                << "ok -2";
    QTest::newRow("small fraction") << "0.05"
                                    << "ok 0";
    QTest::newRow("tiny exponent") << "7e-400"
                                   << "ok 0";
    QTest::newRow("zero with huge exponent") << "0e99999999999999999999"
                                             << "ok 0";

    // The 32-bit range, after rounding.
    QTest::newRow("largest") << "2147483647"
                             << "ok 2147483647";
    QTest::newRow("smallest") << "-2147483648"
                              << "ok -2147483648";
    QTest::newRow("one above") << "2147483648"
                               << "overflow";
    QTest::newRow("one below") << "-2147483649"
                               << "overflow";
    QTest::newRow("rounds up past the largest") << "2147483647.5"
                                                << "overflow";
    QTest::newRow("rounds down to the smallest") << "-2147483648.5"
                                                 << "ok -2147483648";
    QTest::newRow("many digits") << "99999999999999999999"
                                 << "overflow";
    QTest::newRow("huge exponent") << "1e99999999999999999999"
                                   << "overflow";

    // Not numbers.
    QTest::newRow("empty") << ""
                           << "not a number";
    QTest::newRow("blank") << "   "
                           << "not a number";
    QTest::newRow("letters") << "abc"
                             << "not a number";
    QTest::newRow("trailing letters") << "10006abc"
                                      << "not a number";
    QTest::newRow("blank inside") << "100 06"
                                  << "not a number";
    QTest::newRow("nan") << "nan"
                         << "not a number";
    QTest::newRow("inf") << "inf"
                         << "not a number";
    QTest::newRow("lone sign") << "-"
                               << "not a number";
    QTest::newRow("lone point") << "."
                                << "not a number";
    QTest::newRow("two signs") << "--1"
                               << "not a number";
    QTest::newRow("two points") << "1.2.3"
                                << "not a number";
    QTest::newRow("exponent without digits") << "1e+"
                                             << "not a number";
    QTest::newRow("exponent alone") << "e5"
                                    << "not a number";
    QTest::newRow("thousands separator") << "10,006"
                                         << "not a number";
    QTest::newRow("hexadecimal") << "0x2716"
                                 << "not a number";
    QTest::newRow("full-width letter") << u"１０００６ａ"_qs << "not a number";
    QTest::newRow("other script's digits") << u"\u0661\u0662"_qs << "not a number";
    QTest::newRow("NUL inside") << QString::fromLatin1("1\0"
                                                       "2",
                                                       3)
                                << "not a number";
}

void TestPortText::toInt32()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(describe(textToInt32(u16(text))), expected);
}

void TestPortText::longTextsStayExact()
{
    // A million zeros, scaled back by the exponent: 1 exactly, without any limit
    // on the number of digits or overflow in the exponent arithmetic.
    const QString one = u'1' + QString(1000000, u'0') + QStringLiteral("e-1000000");
    QCOMPARE(describe(textToInt32(u16(one))), QStringLiteral("ok 1"));

    const QString leadingZeros = QString(1000000, u'0') + QStringLiteral("10006");
    QCOMPARE(describe(textToInt32(u16(leadingZeros))), QStringLiteral("ok 10006"));
}

void TestPortText::toUdpPort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("default") << "10006"
                             << "port 10006";
    QTest::newRow("blanks around") << " 10006 "
                                   << "port 10006";
    QTest::newRow("half to even") << "10006.5"
                                  << "port 10006";
    QTest::newRow("lowest") << "0"
                            << "port 0";
    QTest::newRow("highest") << "65535"
                             << "port 65535";
    QTest::newRow("rounds into range") << "65534.5"
                                       << "port 65534";
    QTest::newRow("rounds out of range") << "65535.5"
                                         << "out of range";
    QTest::newRow("above") << "70000"
                           << "out of range";
    QTest::newRow("negative") << "-1"
                              << "out of range";
    QTest::newRow("past 32 bits") << "99999999999"
                                  << "out of range";
    QTest::newRow("letters") << "abc"
                             << "not a number";
    QTest::newRow("empty") << ""
                           << "not a number";
}

void TestPortText::toUdpPort()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(describe(udpPortFromText(u16(text))), expected);
}

QTEST_GUILESS_MAIN(TestPortText)
#include "tst_PortText.moc"
