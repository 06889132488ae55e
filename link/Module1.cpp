#include "link/Module1.h"

namespace heliotrope::link {

namespace {

// The part of the last split text that has not been consumed yet. Empty when the
// program starts; nothing but GETFIELD reads or writes it.
QString strRest;

// Positions counted from 1 that one call may read: the last one read holds the
// delimiter or lies past the end of the text.
constexpr qsizetype kMaxPositionsRead = kMaxFieldLength + 1;

}  // namespace

FieldOverflow::FieldOverflow()
    : std::overflow_error("GETFIELD: field longer than 32,765 characters")
{
}

QString GETFIELD(QString& text, const QString& delimiter)
{
    if (text.isEmpty())
        text = strRest;

    // Only a one-unit delimiter can ever equal the one character being read.
    const qsizetype delimiterAt = delimiter.size() == 1 ? text.indexOf(delimiter.front()) : -1;

    // 0-based index of the last position read: the delimiter, or one past the end.
    const qsizetype stop = delimiterAt >= 0 ? delimiterAt : text.size();
    if (stop >= kMaxPositionsRead)
        throw FieldOverflow();

    QString field = text.left(stop);
    strRest = text.mid(stop + 1);
    return field;
}

}  // namespace heliotrope::link
