// The station page's rules on any request a browser, or anything that can
// reach its port, may send: the input is the request's parts, one per line
// (method, path, Host, Origin, the header's token, the address's token, the
// body's size), against a page with control and a page read from afar.
// Promises: nothing is taken outside the page's own paths; nothing that acts
// is taken without control, the kept token in the header and the page's own
// origin; away from the loopback nothing is taken without the token; every
// refusal says why in Japanese and English.

#include "FuzzCheck.h"
#include "companions/rotctl/page/PageRules.h"

#include <QList>

#include <cstdint>
#include <string>

using fuzzcheck::require;
using namespace heliotrope::rotctl;

namespace {

const QByteArray kToken = "0123456789abcdef0123456789abcdef0123456789abcdef";
const QStringList kPaths{QStringLiteral("/"), QStringLiteral("/index.html"), QStringLiteral("/page.js"), QStringLiteral("/page.css"),
                         QStringLiteral("/api/status"), QStringLiteral("/api/stow"), QStringLiteral("/api/stop"), QStringLiteral("/api/resume")};

void check(const PageRequestParts& parts, const PageRules& rules, const std::string& what)
{
    const PageRuling ruling = rulePageRequest(parts, rules);
    if (!ruling.taken()) {
        require(ruling.route == PageRoute::None, "no route beside a refusal", what);
        require(ruling.reason.count(QLatin1Char('\n')) == 1, "a refusal in Japanese and English", what);
        return;
    }
    require(ruling.route != PageRoute::None, "a route for what is taken", what);
    require(kPaths.contains(parts.path), "nothing outside the page's own paths", what);
    require(parts.bodySize <= kPageBodyLimit, "no body above the limit", what);
    if (pageRouteActs(ruling.route)) {
        require(rules.control, "nothing acts without control", what);
        require(parts.method == "POST", "only a POST acts", what);
        require(parts.headerToken == rules.token, "nothing acts without the token in the header", what);
        require(parts.origin.toLower() == "http://" + parts.host.toLower(), "nothing acts from another origin", what);
    }
    if (rules.tokenForAll)
        require(parts.headerToken == rules.token || parts.queryToken.toLatin1() == rules.token, "nothing from afar without the token", what);
    else
        require(rules.hosts.contains(parts.host.toLower()), "on the loopback, only this station's Host", what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    const std::string what = fuzzcheck::escaped(std::string_view(input.constData(), size));
    QList<QByteArray> fields = input.split('\n');
    while (fields.size() < 7)
        fields << QByteArray();
    PageRequestParts parts;
    parts.method = fields[0];
    parts.path = QString::fromUtf8(fields[1]);
    parts.host = fields[2];
    parts.origin = fields[3];
    parts.headerToken = fields[4] == "T" ? kToken : fields[4];
    parts.queryToken = fields[5] == "T" ? QString::fromLatin1(kToken) : QString::fromUtf8(fields[5]);
    parts.bodySize = fields[6].toLongLong();

    PageRules control;
    control.control = true;
    control.token = kToken;
    control.hosts = pageHosts(QHostAddress(QHostAddress::LocalHost), 8734);
    check(parts, control, what);
    PageRules afar;
    afar.tokenForAll = true;
    afar.token = kToken;
    afar.hosts = pageHosts(QHostAddress(QStringLiteral("192.168.1.20")), 8734);
    check(parts, afar, what);
    return 0;
}
