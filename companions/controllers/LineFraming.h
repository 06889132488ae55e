#pragma once

// The text controllers' messages: one a line, ended by CR or LF (either, or
// both, as terminals and programs send them). A line longer than any command
// is noise and is dropped rather than kept growing.

#include <QByteArray>

#include <vector>

namespace heliotrope::controllers {

class LineFraming {
public:
    // The lines `bytes` completes, each with its ending as it came.
    std::vector<QByteArray> take(const QByteArray& bytes);
    void reset() { m_pending.clear(); }

private:
    QByteArray m_pending;
};

}  // namespace heliotrope::controllers
