#pragma once

// Which requests the station's page takes, decided before anything is done
// for them: a fixed set of paths and nothing outside it (there is no file
// system behind the page), GET for what is shown, POST for the operator's
// stow, stop and resume only with --http-control. A POST needs the token,
// an Origin that is the page's own and a Host that is this station's, so
// that another site open in the same browser cannot move the dish; on an
// address other than the loopback, every request needs the token.
//
// Pure: the request comes as its parts, the answer as what to do.

#include <QByteArray>
#include <QHostAddress>
#include <QString>

namespace heliotrope::rotctl {

enum class PageRoute { None,
                       Page,
                       Script,
                       Style,
                       Status,
                       History,
                       Flux,
                       Stow,
                       Stop,
                       Resume };

struct PageRequestParts {
    QByteArray method;       // "GET", "POST", …
    QString path;            // the URL's path, decoded
    QString queryToken;      // ?token=, for the page opened from another machine
    QByteArray headerToken;  // X-Heliotrope-Token
    QByteArray cookieToken;  // the cookie a page opened with ?token= was given, for its script and style
    QByteArray origin;       // Origin, empty when the browser sent none
    QByteArray host;         // Host
    qint64 bodySize = 0;
};

struct PageRules {
    bool control = false;      // --http-control
    bool tokenForAll = false;  // not on the loopback address
    QByteArray token;          // empty: no token could be kept, nothing needs one can be done
    // The Host values this station answers to ("127.0.0.1:8734", …).
    QList<QByteArray> hosts;
};

// At most this much body: the page's requests carry none.
constexpr qint64 kPageBodyLimit = 1024;

struct PageRuling {
    PageRoute route = PageRoute::None;
    int httpStatus = 200;  // not 200: refused, with `reason` (Japanese, newline, English)
    QString reason;
    bool taken() const { return httpStatus == 200; }
};

PageRuling rulePageRequest(const PageRequestParts& request, const PageRules& rules);

// The cookie that carries the token to the page's own script, style and
// JSON once it was opened from afar with ?token=: sent back by the browser
// to this station alone, never to a page of another site.
inline constexpr char kPageTokenCookie[] = "heliotrope-token";

// Whether a route changes the station (and so is logged with its peer).
bool pageRouteActs(PageRoute route);
// The route's name in the log: "stow", "stop", "resume".
QString pageRouteName(PageRoute route);

// The Host values a page served on `address`:`port` is reached by.
QList<QByteArray> pageHosts(const QHostAddress& address, quint16 port);

}  // namespace heliotrope::rotctl
