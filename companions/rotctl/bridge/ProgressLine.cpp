#include "companions/rotctl/bridge/ProgressLine.h"

#include "companions/common/ConsoleText.h"

#include <QStringList>

#include <sys/stat.h>
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

namespace {

// JOURNAL_STREAM is "DEVICE:INODE" of the stream systemd connected; a child
// whose output went elsewhere inherits the variable, so the stream is compared.
bool isJournalStream(std::FILE* stream)
{
    const QList<QByteArray> names = qgetenv("JOURNAL_STREAM").split(':');
    struct stat status { };
    if (names.size() != 2 || ::fstat(::fileno(stream), &status) != 0)
        return false;
    return names[0].toULongLong() == static_cast<unsigned long long>(status.st_dev)
        && names[1].toULongLong() == static_cast<unsigned long long>(status.st_ino);
}

}  // namespace

QString warningLine(const QString& line, std::FILE* stream)
{
    if (!isJournalStream(stream))
        return line;
    QStringList lines = line.split(QLatin1Char('\n'));
    for (QString& each : lines)
        each.prepend(QStringLiteral("<4>"));
    return lines.join(QLatin1Char('\n'));
}

}  // namespace heliotrope::rotctl
