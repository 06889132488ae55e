#pragma once

// What the station's page says in the bridge's console and log, and its
// answers to a browser: Japanese, newline, English, as every word the
// bridge says.

#include <QString>

namespace heliotrope::rotctl::said {

QString pageServed(const QString& url, bool control, bool tokenForAll);
QString pageNotServed(const QString& endpoint, const QString& reason);
QString pageTokenKept(const QString& path);
QString pageTokenNotKept(const QString& path, const QString& reason);
QString pageAsked(const QString& what, const QString& peer);
QString pageRefused(const QString& what, const QString& peer, const QString& why);

// The answers a browser gets when a request is not taken.
QString pageUnknownPath();
QString pageMethodNotAllowed();
QString pageTooLarge();
QString pageTokenNeeded();
QString pageOriginRefused();
QString pageHostRefused();
QString pageReadOnly();

}  // namespace heliotrope::rotctl::said
