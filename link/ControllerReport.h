#pragma once

// What the window shows of a controller report: the second and third of its
// comma-separated fields, taken verbatim (no trimming, no check that they are
// numbers or of how many fields there are).

#include <QByteArray>
#include <QString>

#include <optional>

namespace heliotrope::link {

struct ReportFields {
    QString azimuth;    // field 2, for txtAntennaAzimuth
    QString elevation;  // field 3, for txtAntennaElevation
};

// Splits one received datagram with GETFIELD: the datagram's text once, then the
// empty text four times, so fields 1 to 5 are consumed and anything after them
// stays in the tokenizer's remainder until the next non-empty report replaces it.
// An empty datagram therefore continues from that remainder.
//
// Each byte becomes the character with the same code (Latin-1): ASCII reports
// read as sent, and no byte sequence can be malformed.
//
// Returns nullopt when the tokenizer overflows (a field longer than 32,765
// characters); the report is then to be abandoned silently. Never throws.
std::optional<ReportFields> readControllerReport(const QByteArray& datagram);

}  // namespace heliotrope::link
