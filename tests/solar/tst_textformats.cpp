#include "solar/CoordinateText.h"
#include "solar/NumberFormat.h"

#include <QTest>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

using namespace solar;

class TestTextFormats : public QObject {
    Q_OBJECT
private slots:
    void setPointPatterns_data();
    void setPointPatterns();
    void nonFiniteIsRefused();
    void generalForm_data();
    void generalForm();
    void coordinateText_data();
    void coordinateText();
    void malformedUtf8IsRefused();
};

void TestTextFormats::setPointPatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("elevation 78.42726") << "day" << 78.42726 << " 78.43";
    QTest::newRow("elevation 5.2") << "day" << 5.2 << " 5.20";
    QTest::newRow("elevation 0.5 has no whole digit") << "day" << 0.5 << " .50";
    QTest::newRow("elevation 0.004 rounds to .00") << "day" << 0.004 << " .00";
    QTest::newRow("elevation -0.004 rounds to .00, no sign") << "day" << -0.004 << " .00";
    QTest::newRow("elevation 9.996 carries") << "day" << 9.996 << " 10.00";
    QTest::newRow("elevation half rounds away") << "day" << 0.125 << " .13";
    QTest::newRow("azimuth 108.45981") << "azimuth" << 108.45981 << "108.46";
    QTest::newRow("azimuth 5.5 zero-padded") << "azimuth" << 5.5 << "005.50";
    QTest::newRow("azimuth 360") << "azimuth" << 360.0 << "360.00";
    QTest::newRow("azimuth 0") << "azimuth" << 0.0 << "000.00";
    QTest::newRow("azimuth 359.996 carries to 360") << "azimuth" << 359.996 << "360.00";
    QTest::newRow("azimuth 65.2") << "azimuth" << 65.2 << "065.20";
    QTest::newRow("night elevation 0") << "night" << 0.0 << ".000";
    QTest::newRow("night elevation -0") << "night" << -0.0 << ".000";
    QTest::newRow("negative keeps its sign") << "day" << -1.03465 << "- 1.03";
}

void TestTextFormats::setPointPatterns()
{
    QFETCH(QString, pattern);
    QFETCH(double, value);
    QFETCH(QString, expected);
    std::optional<std::string> got;
    if (pattern == QLatin1String("day"))
        got = formatDayElevation(value);
    else if (pattern == QLatin1String("azimuth"))
        got = formatAzimuth(value);
    else
        got = formatNightElevation(value);
    QVERIFY(got.has_value());
    QCOMPARE(QString::fromStdString(*got), expected);
}

void TestTextFormats::nonFiniteIsRefused()
{
    for (double v : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
        QVERIFY(!formatAzimuth(v));
        QVERIFY(!formatDayElevation(v));
        QVERIFY(!formatNightElevation(v));
        QVERIFY(!formatGeneral(v));
    }
    // The largest finite values still format, digit for digit, without overflow.
    const std::optional<std::string> huge = formatAzimuth(std::numeric_limits<double>::max());
    QVERIFY(huge && huge->size() == 309 + 3);
    QCOMPARE(QString::fromStdString(*formatAzimuth(std::numeric_limits<double>::denorm_min())), QStringLiteral("000.00"));
}

void TestTextFormats::generalForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hour 18") << 18.0 << "18";
    QTest::newRow("minute 5") << 5.0 << "5";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("fraction without leading zero") << 0.5 << ".5";
    QTest::newRow("decimal") << 139.3 << "139.3";
    QTest::newRow("negative") << -7.25 << "-7.25";
}

void TestTextFormats::generalForm()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(formatGeneral(value).value()), expected);
}

void TestTextFormats::coordinateText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "35.64" << true << 35.64;
    QTest::newRow("blanks around") << "  139.3 " << true << 139.3;
    QTest::newRow("tab and ideographic space") << QStringLiteral("\t35.64\u3000") << true << 35.64;
    QTest::newRow("full-width digits and point") << QStringLiteral("３５．６４") << true << 35.64;
    QTest::newRow("full-width minus") << QStringLiteral("－７０") << true << -70.0;
    QTest::newRow("kana-mode minus") << QStringLiteral("ー35") << true << -35.0;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "35." << true << 35.0;
    QTest::newRow("plus sign") << "+35" << true << 35.0;
    QTest::newRow("exponent") << "3.564e1" << true << 35.64;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank only") << "   " << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
    QTest::newRow("comma separator") << "35,64" << false << 0.0;
    QTest::newRow("two points") << "35.6.4" << false << 0.0;
    QTest::newRow("inner blank") << "35 .64" << false << 0.0;
    QTest::newRow("sign only") << "-" << false << 0.0;
    QTest::newRow("hex") << "0x23" << false << 0.0;
    QTest::newRow("kanji") << QStringLiteral("三十五") << false << 0.0;
}

void TestTextFormats::coordinateText()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    const std::optional<double> got = parseCoordinateText(text.toStdString());
    QCOMPARE(got.has_value(), accepted);
    if (accepted)
        QCOMPARE(*got, value);
}

void TestTextFormats::malformedUtf8IsRefused()
{
    // Bytes that only look like a number once decoded leniently: overlong
    // forms of '.', '5' and '-', a surrogate, a code point past U+10FFFF, and
    // sequences cut short at the end of the text.
    const std::string malformed[] = {
        "3\xC0\xAE"
        "5",
        "\xE0\x80\xB5",
        "\xF0\x80\x80\xB5",
        "\xC0\xAD"
        "35",
        "35\xED\xA0\x80",
        "35\xF4\x90\x80\x80",
        "35\xE3\x80",
        "35\xEF\xBC",
        "\xFF"
        "35",
    };
    for (const std::string& bytes : malformed)
        QVERIFY2(!parseCoordinateText(bytes), bytes.c_str());
    // The shortest forms of the same characters still read.
    QCOMPARE(parseCoordinateText("\xEF\xBC\x93\xEF\xBC\x95"), std::optional<double>(35.0));

    // A view that ends inside a character, in a buffer that goes on with the
    // rest of it: "３" and the first two bytes of "５". The reader must stop at
    // the view's end, not complete the character from the bytes beyond it.
    const std::string buffer = "\xEF\xBC\x93\xEF\xBC\x95";
    for (std::size_t cut = 1; cut < buffer.size(); ++cut) {
        if (cut == 3)
            QCOMPARE(parseCoordinateText(std::string_view(buffer.data(), cut)), std::optional<double>(3.0));
        else
            QVERIFY2(!parseCoordinateText(std::string_view(buffer.data(), cut)), qPrintable(QString::number(cut)));
    }
}

QTEST_APPLESS_MAIN(TestTextFormats)
#include "tst_textformats.moc"
