// The controller report path: datagram bytes in, the field splitter, the two
// texts for the antenna boxes out. A splitter written here straight from the
// tokenizer's rules (one character at a time, a 16-bit position counted from
// 1, the remainder kept between calls) runs beside the real one over a
// sequence of reports and direct splits, so that the remainder carried from
// one report to the next is checked as well as each report on its own.
//
// One input is a short program of steps:
//   a report of arbitrary bytes (often empty, which continues from the
//   remainder), a report built by repeating a few bytes to a length near the
//   32,765-character field limit, or a direct split of UTF-16 text with an
//   arbitrary delimiter.

#include "FuzzCheck.h"
#include "link/ControllerReport.h"
#include "link/Module1.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

using namespace heliotrope::link;

using fuzzcheck::require;

namespace {

// The splitter as its rules state it, kept apart from the real one.
class ModelSplitter {
public:
    // nullopt when the position would pass 32,767; the remainder is then kept.
    std::optional<QString> next(QString& text, const QString& delimiter)
    {
        if (text.isEmpty())
            text = m_rest;
        std::int32_t position = 1;  // a 16-bit counter in the rules
        for (;;) {
            const bool pastEnd = position > text.size();
            // Only a one-character delimiter can equal the one character read.
            const bool isDelimiter = !pastEnd && delimiter.size() == 1 && text.at(position - 1) == delimiter.at(0);
            if (position == 32767)
                return std::nullopt;  // the increment below would overflow
            ++position;
            if (pastEnd || isDelimiter)
                break;
        }
        // Every character before the one that ended the loop was appended.
        const QString field = text.left(position - 2);
        m_rest = position - 1 < text.size() ? text.mid(position - 1) : QString();
        return field;
    }

private:
    QString m_rest;
};

std::string show(const QString& s)
{
    return fuzzcheck::escaped(s.toUtf8().toStdString());
}

void reportStep(ModelSplitter& model, const QByteArray& datagram)
{
    const std::optional<ReportFields> got = readControllerReport(datagram);

    const QString comma = QStringLiteral(",");
    QString received = QString::fromLatin1(datagram);
    std::optional<ReportFields> expected;
    if (model.next(received, comma)) {
        QString empty[4];
        const std::optional<QString> azimuth = model.next(empty[0], comma);
        const std::optional<QString> elevation = azimuth ? model.next(empty[1], comma) : std::nullopt;
        const bool fourth = elevation && model.next(empty[2], comma);
        const bool fifth = fourth && model.next(empty[3], comma);
        if (fifth)
            expected = ReportFields{*azimuth, *elevation};
    }

    const std::string what = "report '" + fuzzcheck::escaped(datagram.toStdString()) + "'";
    require(got.has_value() == expected.has_value(), "a report is abandoned exactly when a field overflows",
            what + (got ? " was read" : " was abandoned"));
    if (got) {
        require(got->azimuth == expected->azimuth, "field 2 goes to the azimuth box",
                what + ": got '" + show(got->azimuth) + "', expected '" + show(expected->azimuth) + "'");
        require(got->elevation == expected->elevation, "field 3 goes to the elevation box",
                what + ": got '" + show(got->elevation) + "', expected '" + show(expected->elevation) + "'");
    }
}

void splitStep(ModelSplitter& model, const QString& text, const QString& delimiter)
{
    QString realText = text;
    QString modelText = text;
    std::optional<QString> got;
    try {
        got = GETFIELD(realText, delimiter);
    } catch (const FieldOverflow&) {
        got.reset();
    }
    const std::optional<QString> expected = model.next(modelText, delimiter);
    const std::string what = "split of '" + show(text) + "' at '" + show(delimiter) + "'";
    require(got.has_value() == expected.has_value(), "a split fails exactly past 32,765 characters",
            what + (got ? " succeeded" : " overflowed"));
    if (got)
        require(*got == *expected, "the field", what + ": got '" + show(*got) + "', expected '" + show(*expected) + "'");
    require(realText == modelText, "an empty text is replaced by the remainder", what);
}

template <class Text>
Text repeatedTo(const Text& chunk, std::size_t length)
{
    Text out;
    if (chunk.isEmpty())
        return out;
    out.reserve(static_cast<qsizetype>(length));
    while (static_cast<std::size_t>(out.size()) < length)
        out.append(chunk);
    out.truncate(static_cast<qsizetype>(length));
    return out;
}

// Two bytes a UTF-16 unit, so that any unit, a lone surrogate included, can
// be part of the text or be the delimiter.
QString utf16Units(const std::string& bytes)
{
    QString out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[i])
                                               | static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return out;
}

// Either just around the longest field (32,765 characters) or short: long
// texts that are nowhere near the limit cost time and find nothing new.
std::size_t lengthNearTheLimit(FuzzedDataProvider& data)
{
    return data.ConsumeBool() ? data.ConsumeIntegralInRange<std::size_t>(32760, 32772)
                              : data.ConsumeIntegralInRange<std::size_t>(0, 2000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    // Start every input from an empty remainder, as the program does: a
    // non-empty text without a delimiter leaves nothing behind.
    QString reset = QStringLiteral("x");
    GETFIELD(reset, QStringLiteral(","));
    ModelSplitter model;

    FuzzedDataProvider data(bytes, size);
    for (int step = 0; step < 16 && data.remaining_bytes() > 0; ++step) {
        switch (data.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            reportStep(model, QByteArray::fromStdString(data.ConsumeRandomLengthString(256)));
            break;
        case 1:
            reportStep(model, QByteArray());
            break;
        case 2: {
            const QByteArray chunk = QByteArray::fromStdString(data.ConsumeRandomLengthString(8));
            reportStep(model, repeatedTo(chunk, lengthNearTheLimit(data)));
            break;
        }
        default: {
            const QString delimiter = utf16Units(data.ConsumeRandomLengthString(6));
            QString text = utf16Units(data.ConsumeRandomLengthString(256));
            if (data.ConsumeBool())
                text = repeatedTo(text, lengthNearTheLimit(data));
            splitStep(model, text, delimiter);
            break;
        }
        }
    }
    return 0;
}
