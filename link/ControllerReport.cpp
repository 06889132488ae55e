#include "link/ControllerReport.h"

#include "link/Module1.h"

namespace heliotrope::link {

std::optional<ReportFields> readControllerReport(const QByteArray& datagram)
{
    static const QString comma = QStringLiteral(",");
    // Each further field is asked for with an empty text of its own, which
    // GETFIELD fills with what the previous call left over.
    const auto nextField = [] {
        QString empty;
        return GETFIELD(empty, comma);
    };

    QString received = QString::fromLatin1(datagram);
    try {
        GETFIELD(received, comma);  // field 1: read and dropped
        ReportFields fields;
        fields.azimuth = nextField();
        fields.elevation = nextField();
        nextField();  // fields 4 and 5: read and dropped
        nextField();
        return fields;
    } catch (const FieldOverflow&) {
        return std::nullopt;
    }
}

}  // namespace heliotrope::link
