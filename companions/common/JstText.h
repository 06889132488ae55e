#pragma once

// Times for the operator, in Japan Standard Time (UTC + 9 h) whatever time zone
// the machine is set to, like the window's clock.

#include <QString>
#include <QtGlobal>

namespace heliotrope::companions {

// "2006-06-21 12:00:00" for an instant in milliseconds since 1970 UTC.
QString jstText(qint64 unixMilliseconds);

// "2006-06-21 12:00:00.250": the same with milliseconds, for the tracking log,
// whose rows are a second apart.
QString jstTextWithMilliseconds(qint64 unixMilliseconds);

}  // namespace heliotrope::companions
