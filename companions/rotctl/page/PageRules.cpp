#include "companions/rotctl/page/PageRules.h"

#include "companions/rotctl/page/PageMessages.h"

namespace heliotrope::rotctl {

namespace {

struct RouteRow {
    const char* path;
    PageRoute route;
    bool post;
};

constexpr RouteRow kRoutes[] = {
    {"/", PageRoute::Page, false},
    {"/index.html", PageRoute::Page, false},
    {"/page.js", PageRoute::Script, false},
    {"/page.css", PageRoute::Style, false},
    {"/api/status", PageRoute::Status, false},
    {"/api/history", PageRoute::History, false},
    {"/api/flux", PageRoute::Flux, false},
    {"/api/stow", PageRoute::Stow, true},
    {"/api/stop", PageRoute::Stop, true},
    {"/api/resume", PageRoute::Resume, true},
};

// Compared in time that does not depend on where the two first differ.
bool sameToken(const QByteArray& given, const QByteArray& kept)
{
    if (kept.isEmpty() || given.size() != kept.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < kept.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ kept[i]);
    return difference == 0;
}

PageRuling refused(int status, const QString& reason)
{
    return PageRuling{PageRoute::None, status, reason};
}

}  // namespace

bool pageRouteActs(PageRoute route)
{
    return route == PageRoute::Stow || route == PageRoute::Stop || route == PageRoute::Resume;
}

QString pageRouteName(PageRoute route)
{
    switch (route) {
    case PageRoute::Stow:
        return QStringLiteral("stow");
    case PageRoute::Stop:
        return QStringLiteral("stop");
    case PageRoute::Resume:
        return QStringLiteral("resume");
    default:
        return QStringLiteral("read");
    }
}

QList<QByteArray> pageHosts(const QHostAddress& address, quint16 port)
{
    const QByteArray suffix = ':' + QByteArray::number(port);
    QList<QByteArray> hosts;
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        hosts << '[' + address.toString().toLatin1() + ']' + suffix;
    else
        hosts << address.toString().toLatin1() + suffix;
    if (address.isLoopback())
        hosts << "localhost" + suffix;
    return hosts;
}

PageRuling rulePageRequest(const PageRequestParts& request, const PageRules& rules)
{
    if (request.bodySize > kPageBodyLimit)
        return refused(413, said::pageTooLarge());
    // On the loopback address, a name other than the station's own is a page
    // of another site made to reach this one (DNS rebinding): it is not
    // answered at all. Elsewhere the station is reached by names it cannot
    // know, and the token, asked of every request there, keeps strangers out.
    if (!rules.tokenForAll && !rules.hosts.contains(request.host.toLower()))
        return refused(421, said::pageHostRefused());
    const RouteRow* row = nullptr;
    for (const RouteRow& candidate : kRoutes)
        if (request.path == QLatin1String(candidate.path))
            row = &candidate;
    if (!row)
        return refused(404, said::pageUnknownPath());
    const bool methodFits = row->post ? request.method == "POST" : (request.method == "GET" || request.method == "HEAD");
    if (!methodFits)
        return refused(405, said::pageMethodNotAllowed());
    const bool headerTokenGood = sameToken(request.headerToken, rules.token);
    if (row->post) {
        if (!rules.control)
            return refused(403, said::pageReadOnly());
        // The page's own script sends its Origin; a form on another site sends its own.
        const QByteArray ownOrigin = "http://" + request.host.toLower();
        if (request.origin.toLower() != ownOrigin)
            return refused(403, said::pageOriginRefused());
        if (!headerTokenGood)
            return refused(401, said::pageTokenNeeded());
    } else if (rules.tokenForAll && !headerTokenGood && !sameToken(request.queryToken.toLatin1(), rules.token)
               && !sameToken(request.cookieToken, rules.token)) {
        return refused(401, said::pageTokenNeeded());
    }
    return PageRuling{row->route, 200, {}};
}

}  // namespace heliotrope::rotctl
