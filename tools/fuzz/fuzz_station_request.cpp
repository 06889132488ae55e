// The bridge's request reader, on any line an asker (or anything else that
// can open the socket) may send, and the answer lines on any text the bridge
// may say. Promises: a request or a reason, never both; the reason in two
// languages with no received control character in it; a request read is
// written back to a line that reads as the same request; the answer lines
// for a text read back as that text.

#include "FuzzCheck.h"
#include "companions/station/StationProtocol.h"

#include <cstdint>
#include <string>

using fuzzcheck::require;
using namespace heliotrope::station;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const QByteArray line(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    const std::string what = fuzzcheck::escaped(std::string_view(line.constData(), size));

    const RequestReading reading = readRequest(line);
    require(reading.request.has_value() == (reading.code == StationCode::Ok), "a request exactly when the code is 0", what);
    if (!reading.request) {
        require(reading.problem.count(QLatin1Char('\n')) == 1, "a reason in Japanese and English", what);
        for (const QChar c : reading.problem)
            require(c == QLatin1Char('\n') || c.isPrint(), "nothing unprintable in a reason", what);
    } else {
        require(reading.problem.isEmpty(), "no reason beside a request", what);
        const QByteArray again = requestLine(*reading.request);
        require(again.endsWith('\n') && again.count('\n') == 1, "a request is one line", what);
        const RequestReading back = readRequest(again.chopped(1));
        require(back.request && *back.request == *reading.request, "a request written back reads the same",
                what + " -> " + fuzzcheck::escaped(std::string_view(again.constData(), static_cast<std::size_t>(again.size()))));
    }

    (void)readAnswerLine(line);
    const QString text = QString::fromUtf8(line);
    const QByteArray said = sayLines(text);
    const QList<QByteArray> lines = said.chopped(1).split('\n');
    require(lines.size() == text.count(QLatin1Char('\n')) + 1, "a line of answer for each line of text", what);
    for (const QByteArray& one : lines) {
        if (one.size() > kLongestLine)
            continue;
        const std::optional<AnswerLine> answer = readAnswerLine(one);
        require(answer && answer->kind == AnswerKind::Say, "an answer line reads back", what);
    }
    return 0;
}
