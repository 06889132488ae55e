// The one rule for numbers the operator types: the same text reads the same
// whether a box hands it over as UTF-8 (the coordinate boxes) or as UTF-16 (the
// port box), and badly formed text is refused in either encoding.

#include "solar/CoordinateText.h"
#include "solar/TypedNumber.h"

#include <QString>
#include <QTest>

namespace {

QString shown(const std::optional<std::string>& text)
{
    return text ? QString::fromStdString(*text) : QStringLiteral("refused");
}

}  // namespace

class TestTypedNumber : public QObject {
    Q_OBJECT
private slots:
    void sameInEitherEncoding_data();
    void sameInEitherEncoding();
    void badlyFormedTextIsRefused();
};

void TestTypedNumber::sameInEitherEncoding_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "35.64"
                           << "35.64";
    QTest::newRow("every ASCII blank around") << " \t\n\r\v\f10006 \r\n"
                                              << "10006";
    QTest::newRow("ideographic blanks") << u"\u3000３５．６４\u3000"_qs << "35.64";
    QTest::newRow("full-width sign, point, exponent") << u"－１．０Ｅ＋４"_qs << "-1.0E+4";
    QTest::newRow("full-width small e") << u"３．５６４ｅ１"_qs << "3.564e1";
    QTest::newRow("minus sign U+2212") << u"\u221270"_qs << "-70";
    QTest::newRow("kana-mode minus") << u"ー35"_qs << "-35";
    QTest::newRow("plus kept") << "+35"
                               << "+35";
    QTest::newRow("bare point forms") << ".5"
                                      << ".5";
    QTest::newRow("trailing point") << "35."
                                    << "35.";
    QTest::newRow("blank inside") << "35 .64"
                                  << "refused";
    QTest::newRow("ideographic blank inside") << u"35\u3000.64"_qs << "refused";
    QTest::newRow("full-width comma") << u"３５，６４"_qs << "refused";
    QTest::newRow("full-width letters") << u"ｎａｎ"_qs << "refused";
    QTest::newRow("full-width hex") << u"０ｘ２３"_qs << "refused";
    QTest::newRow("wave dash is no minus") << u"\u301C35"_qs << "refused";
    QTest::newRow("half-width katakana minus is no minus") << u"\uFF7035"_qs << "refused";
    QTest::newRow("other script's digits") << u"\u0663\u0665"_qs << "refused";
    QTest::newRow("NUL") << QString::fromLatin1("3\0"
                                                "5",
                                                3)
                         << "refused";
    QTest::newRow("empty") << ""
                           << "refused";
    QTest::newRow("blanks only") << u" \u3000\t"_qs << "refused";
    QTest::newRow("sign only") << u"－"_qs << "refused";
    QTest::newRow("exponent without digits") << "1e+"
                                             << "refused";
    QTest::newRow("emoji after digits") << u"35\U0001F600"_qs << "refused";
}

void TestTypedNumber::sameInEitherEncoding()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    const std::optional<std::string> fromUtf8 = solar::typedNumberText(typed.toStdString());
    const std::optional<std::string> fromUtf16 = solar::typedNumberText(typed.toStdU16String());
    QCOMPARE(shown(fromUtf8), expected);
    QCOMPARE(shown(fromUtf16), expected);
    // The coordinate boxes take every number the rule gives that fits a double.
    QCOMPARE(solar::parseCoordinateText(typed.toStdString()).has_value(), fromUtf8.has_value());
}

void TestTypedNumber::badlyFormedTextIsRefused()
{
    // Lone UTF-16 surrogates next to digits, either half.
    for (const char16_t surrogate : {u'\xD800', u'\xDBFF', u'\xDC00', u'\xDFFF'}) {
        const std::u16string text{u'3', surrogate, u'5'};
        QVERIFY2(!solar::typedNumberText(text), qPrintable(QString::number(surrogate, 16)));
    }
    // A UTF-8 text whose end falls inside a full-width digit is refused, and
    // so is one whose view ends there, whatever bytes follow in memory.
    const std::string fullWidthFive = "\xEF\xBC\x95";
    QVERIFY(solar::typedNumberText(std::string_view(fullWidthFive).substr(0, 2)) == std::nullopt);
    const std::string followed = "3" + fullWidthFive;
    QCOMPARE(shown(solar::typedNumberText(std::string_view(followed))), QStringLiteral("35"));
    QVERIFY(solar::typedNumberText(std::string_view(followed).substr(0, 3)) == std::nullopt);
    // Overlong and surrogate UTF-8 forms of '.', '5' and '-'.
    for (const char* bytes : {"3\xC0\xAE"
                              "5",
                              "\xE0\x80\xB5", "\xF0\x80\x80\xB5", "\xC0\xAD"
                                                                  "35",
                              "35\xED\xA0\x80"})
        QVERIFY2(!solar::typedNumberText(std::string_view(bytes)), bytes);
    // A number that does not fit a finite double, either way, is no coordinate.
    QVERIFY(!solar::parseCoordinateText("1e999"));
    QVERIFY(!solar::parseCoordinateText("1e-400"));
}

QTEST_GUILESS_MAIN(TestTypedNumber)
#include "tst_typednumber.moc"
