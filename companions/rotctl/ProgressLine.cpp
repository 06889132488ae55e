#include "companions/rotctl/ProgressLine.h"

#include "companions/common/ConsoleText.h"

#include <unistd.h>

using heliotrope::companions::printLine;

namespace heliotrope::rotctl {

ProgressLine::ProgressLine(std::FILE* stream)
    : m_stream(stream)
    , m_terminal(::isatty(::fileno(stream)) == 1)
{
}

void ProgressLine::show(const QString& text)
{
    if (!m_terminal) {
        printLine(m_stream, text);
        return;
    }
    // Back to the line's start, the text, then the rest of the old line erased.
    const QByteArray utf8 = "\r" + text.toUtf8() + "\x1b[K";
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), m_stream);
    std::fflush(m_stream);
    m_showing = true;
}

void ProgressLine::print(const QString& line)
{
    if (m_showing) {
        std::fputc('\n', m_stream);
        m_showing = false;
    }
    printLine(m_stream, line);
}

}  // namespace heliotrope::rotctl
