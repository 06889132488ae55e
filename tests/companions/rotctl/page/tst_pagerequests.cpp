// Who may ask the station's page what: the rules on every request, and the
// token's file.

#include "companions/rotctl/page/PageRules.h"
#include "companions/rotctl/page/PageToken.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace heliotrope::rotctl;

namespace {

const QByteArray kToken = "0123456789abcdef0123456789abcdef0123456789abcdef";

PageRules loopbackRules(bool control)
{
    PageRules rules;
    rules.control = control;
    rules.token = kToken;
    rules.hosts = pageHosts(QHostAddress(QHostAddress::LocalHost), 8734);
    return rules;
}

PageRequestParts request(const QByteArray& method, const QString& path)
{
    PageRequestParts parts;
    parts.method = method;
    parts.path = path;
    parts.host = "127.0.0.1:8734";
    return parts;
}

// A stow as the page's own script sends it.
PageRequestParts pageStow()
{
    PageRequestParts parts = request("POST", QStringLiteral("/api/stow"));
    parts.origin = "http://127.0.0.1:8734";
    parts.headerToken = kToken;
    return parts;
}

}  // namespace

class TestPageRequests : public QObject {
    Q_OBJECT

private slots:
    void readingNeedsNothingOnTheLoopback()
    {
        const PageRules rules = loopbackRules(false);
        QCOMPARE(rulePageRequest(request("GET", QStringLiteral("/")), rules).route, PageRoute::Page);
        QCOMPARE(rulePageRequest(request("GET", QStringLiteral("/api/status")), rules).route, PageRoute::Status);
        QCOMPARE(rulePageRequest(request("GET", QStringLiteral("/api/history")), rules).route, PageRoute::History);
        QCOMPARE(rulePageRequest(request("GET", QStringLiteral("/api/flux")), rules).route, PageRoute::Flux);
        PageRequestParts named = request("GET", QStringLiteral("/page.js"));
        named.host = "LOCALHOST:8734";
        QCOMPARE(rulePageRequest(named, rules).route, PageRoute::Script);
    }

    void nothingOutsideThePagesOwnPaths()
    {
        const PageRules rules = loopbackRules(true);
        for (const QString& path : {QStringLiteral("/../etc/passwd"), QStringLiteral("/api/status/"), QStringLiteral("//api/status"),
                                    QStringLiteral("/index.html.bak"), QStringLiteral("/api"), QString()}) {
            const PageRuling ruling = rulePageRequest(request("GET", path), rules);
            QVERIFY2(!ruling.taken(), qPrintable(path));
            QCOMPARE(ruling.httpStatus, 404);
        }
        // A GET never acts; a POST to what is only shown is refused.
        QCOMPARE(rulePageRequest(request("GET", QStringLiteral("/api/stow")), rules).httpStatus, 405);
        PageRequestParts post = pageStow();
        post.path = QStringLiteral("/api/status");
        QCOMPARE(rulePageRequest(post, rules).httpStatus, 405);
        QCOMPARE(rulePageRequest(request("DELETE", QStringLiteral("/")), rules).httpStatus, 405);
    }

    void stowNeedsControlTokenOriginAndHost()
    {
        QCOMPARE(rulePageRequest(pageStow(), loopbackRules(false)).httpStatus, 403);  // read-only
        const PageRules rules = loopbackRules(true);
        QCOMPARE(rulePageRequest(pageStow(), rules).route, PageRoute::Stow);

        PageRequestParts noToken = pageStow();
        noToken.headerToken.clear();
        QCOMPARE(rulePageRequest(noToken, rules).httpStatus, 401);
        PageRequestParts wrong = pageStow();
        wrong.headerToken[5] = 'x';
        QCOMPARE(rulePageRequest(wrong, rules).httpStatus, 401);
        PageRequestParts shorter = pageStow();
        shorter.headerToken.chop(1);
        QCOMPARE(rulePageRequest(shorter, rules).httpStatus, 401);
        // The token in the address is for reading the page from afar, never for acting.
        PageRequestParts queried = noToken;
        queried.queryToken = QString::fromLatin1(kToken);
        QCOMPARE(rulePageRequest(queried, rules).httpStatus, 401);

        // Another site's form or script, with the token or not.
        for (const QByteArray& origin : {QByteArray("http://evil.example"), QByteArray(), QByteArray("null"),
                                         QByteArray("http://127.0.0.1:8735"), QByteArray("https://127.0.0.1:8734")}) {
            PageRequestParts foreign = pageStow();
            foreign.origin = origin;
            QCOMPARE(rulePageRequest(foreign, rules).httpStatus, 403);
        }
        // A name rebound to the loopback: refused before anything else.
        PageRequestParts rebound = pageStow();
        rebound.host = "evil.example:8734";
        rebound.origin = "http://evil.example:8734";
        QCOMPARE(rulePageRequest(rebound, rules).httpStatus, 421);
        // With no token kept, nothing that needs one is done.
        PageRules tokenless = rules;
        tokenless.token.clear();
        PageRequestParts empty = pageStow();
        empty.headerToken.clear();
        QCOMPARE(rulePageRequest(empty, tokenless).httpStatus, 401);
    }

    void everyRequestNeedsTheTokenAwayFromTheLoopback()
    {
        PageRules rules = loopbackRules(false);
        rules.tokenForAll = true;
        rules.hosts = pageHosts(QHostAddress(QStringLiteral("192.168.1.20")), 8734);
        PageRequestParts bare = request("GET", QStringLiteral("/api/status"));
        bare.host = "station.lan:8734";  // a name the station cannot know
        QCOMPARE(rulePageRequest(bare, rules).httpStatus, 401);
        PageRequestParts byHeader = bare;
        byHeader.headerToken = kToken;
        QCOMPARE(rulePageRequest(byHeader, rules).route, PageRoute::Status);
        PageRequestParts byQuery = request("GET", QStringLiteral("/"));
        byQuery.host = "station.lan:8734";
        byQuery.queryToken = QString::fromLatin1(kToken);
        QCOMPARE(rulePageRequest(byQuery, rules).route, PageRoute::Page);
        // Its script comes with the cookie that page was given; no cookie acts.
        PageRequestParts byCookie = request("GET", QStringLiteral("/page.js"));
        byCookie.host = "station.lan:8734";
        byCookie.cookieToken = kToken;
        QCOMPARE(rulePageRequest(byCookie, rules).route, PageRoute::Script);
        rules.control = true;
        PageRequestParts stow = pageStow();
        stow.headerToken.clear();
        stow.cookieToken = kToken;
        QCOMPARE(rulePageRequest(stow, rules).httpStatus, 401);
    }

    void sizeBounded()
    {
        PageRequestParts big = pageStow();
        big.bodySize = kPageBodyLimit + 1;
        QCOMPARE(rulePageRequest(big, loopbackRules(true)).httpStatus, 413);
        big.bodySize = kPageBodyLimit;
        QCOMPARE(rulePageRequest(big, loopbackRules(true)).route, PageRoute::Stow);
    }

    void tokenKeptOwnerOnlyAndKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("state/heliotrope/token"));
        QString problem;
        const QByteArray made = loadPageToken(path, &problem);
        QVERIFY2(made.size() >= 32, qPrintable(problem));
        QCOMPARE(QFile(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(loadPageToken(path, &problem), made);
        // A file others could read is made owner-only before it is used.
        QVERIFY(QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        QCOMPARE(loadPageToken(path, &problem), made);
        QVERIFY(!(QFile(path).permissions() & QFileDevice::ReadOther));
        // A spoilt one is replaced, not trusted.
        QFile spoilt(path);
        QVERIFY(spoilt.open(QIODevice::WriteOnly | QIODevice::Truncate));
        spoilt.write("x\n");
        spoilt.close();
        const QByteArray again = loadPageToken(path, &problem);
        QVERIFY(again.size() >= 32 && again != made);
    }
};

QTEST_GUILESS_MAIN(TestPageRequests)
#include "tst_pagerequests.moc"
