#pragma once

// The token the station's page needs to stow, stop and resume (and, on an
// address other than the loopback, to be seen at all): made once at random
// and kept in the station's state folder, readable by its owner alone, so
// that whoever may read it may already run the bridge's own --stow.

#include <QByteArray>
#include <QString>

namespace heliotrope::rotctl {

QString pageTokenPath();

// The kept token, made first when there is none; a file others could read
// is made owner-only before it is used. Empty with the reason (Japanese,
// newline, English) when it can be neither read nor made.
QByteArray loadPageToken(const QString& path, QString* problem);

}  // namespace heliotrope::rotctl
