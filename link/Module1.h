#pragma once

// The system's text splitter. A controller report is taken apart one field per
// call: the first call is given the whole text, each further call is given the
// empty text and goes on where the previous one stopped. What has not been
// consumed yet is kept in one remainder for the whole program, so the calls that
// split one text must follow each other with no other split in between (the
// report handler makes its five calls in a row on the window's thread).

#include <QString>

#include <stdexcept>

namespace heliotrope::link {

// The scan position is a 16-bit signed count from 1, so at most 32,766
// characters are looked at per call and a field holds at most 32,765 of them.
inline constexpr qsizetype kMaxFieldLength = 32765;

// Thrown by GETFIELD when the field would grow past kMaxFieldLength characters:
// the text has at least 32,766 characters and none of the first 32,766 is the
// delimiter. The remainder is left as it was before the call.
class FieldOverflow : public std::overflow_error {
public:
    FieldOverflow();
};

// Returns the next field of `text`, split at `delimiter`.
//
// - A non-empty `text` starts a new split; whatever remainder there was is dropped.
//   This is also the only way to reset the remainder.
// - An empty `text` continues from the remainder. The caller's variable is
//   overwritten with that remainder before it is split (even when the call then
//   throws), so the caller can see what was left.
// - The delimiter that ends a field is consumed. A field the text does not have is
//   the empty text, never an error.
// - The delimiter is compared whole with one UTF-16 code unit at a time, exactly
//   and case-sensitively: a delimiter of more than one unit, or the empty one,
//   never matches, so the whole text becomes the field and the remainder empties.
// - Nothing is trimmed.
//
// Throws FieldOverflow as described above. Not thread-safe: the remainder is one
// unprotected variable used from the window's thread only.
QString GETFIELD(QString& text, const QString& delimiter);

}  // namespace heliotrope::link
