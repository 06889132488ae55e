#include "companions/controllers/LineFraming.h"

namespace heliotrope::controllers {

namespace {

// Longer than any command of GS-232 or EasyComm II.
constexpr qsizetype kLongestLine = 128;

bool isLineEnd(char byte)
{
    return byte == '\r' || byte == '\n';
}

}  // namespace

std::vector<QByteArray> LineFraming::take(const QByteArray& bytes)
{
    std::vector<QByteArray> lines;
    for (const char byte : bytes) {
        m_pending.append(byte);
        if (isLineEnd(byte)) {
            lines.push_back(m_pending);
            m_pending.clear();
        } else if (m_pending.size() > kLongestLine) {
            m_pending.clear();
        }
    }
    return lines;
}

}  // namespace heliotrope::controllers
