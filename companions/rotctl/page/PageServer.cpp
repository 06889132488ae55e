#include "companions/rotctl/page/PageServer.h"

#include "companions/common/ConsoleText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/FluxWatch.h"
#include "companions/rotctl/bridge/StationDesk.h"
#include "companions/rotctl/page/PageListener.h"
#include "companions/rotctl/page/PageMessages.h"
#include "companions/rotctl/page/PageToken.h"
#include "companions/rotctl/page/RecordJson.h"
#include "companions/rotctl/page/StationJson.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimeZone>
#include <QUrlQuery>

namespace heliotrope::rotctl {

namespace {

// The station's JSON is built again after this long: the page asks every second.
constexpr qint64 kStatusFreshMs = 500;
// More than this many requests in a second are answered "busy", unbuilt.
constexpr int kMostRequestsPerSecond = 200;
// The record's answers: how far back by default and at most (days), how long
// one is kept, how many different ones.
constexpr int kRecordDays = 90;
constexpr int kMostRecordDays = 3660;
constexpr qint64 kRecordFreshMs = 10000;
constexpr std::size_t kMostRecordAnswersKept = 16;

struct Resource {
    const char* path;
    const char* type;
};

Resource resourceOf(PageRoute route)
{
    switch (route) {
    case PageRoute::Script:
        return {":/page/page.js", "text/javascript; charset=utf-8"};
    case PageRoute::Style:
        return {":/page/page.css", "text/css; charset=utf-8"};
    default:
        return {":/page/index.html", "text/html; charset=utf-8"};
    }
}

QByteArray errorBody(const QString& reason)
{
    const qsizetype split = reason.indexOf(QLatin1Char('\n'));
    const QJsonObject text{{QStringLiteral("ja"), reason.left(split)}, {QStringLiteral("en"), reason.mid(split + 1)}};
    return QJsonDocument(QJsonObject{{QStringLiteral("error"), text}}).toJson(QJsonDocument::Compact);
}

QByteArray answerBody(bool taken, const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    QStringList japanese;
    QStringList english;
    for (qsizetype i = 0; i < lines.size(); ++i)
        (i % 2 == 0 ? japanese : english) << lines[i];
    const QJsonObject words{{QStringLiteral("ja"), japanese.join(QLatin1Char('\n'))}, {QStringLiteral("en"), english.join(QLatin1Char('\n'))}};
    return QJsonDocument(QJsonObject{{QStringLiteral("taken"), taken}, {QStringLiteral("text"), words}}).toJson(QJsonDocument::Compact);
}

QString peerText(const QHostAddress& address)
{
    QHostAddress plain = address;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        plain = QHostAddress(v4);
    return plain.toString();
}

QByteArray cookieValue(const QByteArray& cookies, const QByteArray& name)
{
    for (const QByteArray& cookie : cookies.split(';')) {
        const QByteArray trimmed = cookie.trimmed();
        if (trimmed.startsWith(name + '='))
            return trimmed.mid(name.size() + 1);
    }
    return {};
}

void respond(QHttpServerResponder responder, const QHttpServerRequest& request, int status, const QByteArray& type, const QByteArray& body,
             bool cache, const QByteArray& cookie = {})
{
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(status));
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", cache ? "max-age=60" : "no-store");
    // Nothing from elsewhere, no frame around it, nothing guessed of its type.
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self' data:; "
                          "frame-ancestors 'none'; form-action 'none'; base-uri 'none'");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    if (!cookie.isEmpty())
        responder.writeHeader("Set-Cookie", cookie);
    responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray() : body);
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    default:
        return "OTHER";
    }
}

}  // namespace

PageServer::PageServer(Bridge& bridge, StationDesk& desk, const BridgeOptions& options, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_bridge(bridge)
    , m_desk(desk)
    , m_options(options)
    , m_page(options.page.value_or(StationPageOptions{}))
    , m_watch(bridge)
    , m_sky(options.trueSun)
{
    m_rules.control = m_page.control;
    m_rules.tokenForAll = !m_page.address.isLoopback();
    m_second.start();
    connect(&bridge, &Bridge::warning, &m_watch, &StationWatch::warned);
    connect(&desk, &StationDesk::warning, &m_watch, &StationWatch::warned);
    // Sampled whether or not a page is open, so that one opened shows the hour before it.
    connect(&m_errorTimer, &QTimer::timeout, this,
            [this] { m_errors.sample(companions::companionUtcMs(), TrackingErrorTrail::errorNow(m_bridge, m_desk)); });
    m_errorTimer.start(companions::realIntervalMs(static_cast<double>(TrackingErrorTrail::kEveryMs)));
}

PageServer::~PageServer() = default;

bool PageServer::start(QString* problem)
{
    const QString endpoint = companions::endpointText(m_page.address, m_page.port);
    if (m_rules.control || m_rules.tokenForAll) {
        QString reason;
        m_rules.token = loadPageToken(pageTokenPath(), &reason);
        if (m_rules.token.isEmpty()) {
            // A page that would need a token it cannot have serves nothing
            // rather than everything.
            if (m_rules.tokenForAll) {
                *problem = said::pageNotServed(endpoint, said::pageTokenNotKept(pageTokenPath(), reason));
                return false;
            }
            m_rules.control = false;
            emit warning(said::pageTokenNotKept(pageTokenPath(), reason));
        } else {
            emit notice(said::pageTokenKept(pageTokenPath()));
        }
    }
    m_listener = new PageListener(this);
    if (!m_listener->listen(m_page.address, m_page.port)) {
        *problem = said::pageNotServed(endpoint, m_listener->errorString());
        return false;
    }
    m_page.port = m_listener->serverPort();
    m_rules.hosts = pageHosts(m_page.address, m_page.port);
    bind(m_listener);
    emit notice(said::pageServed(url(), m_rules.control, m_rules.tokenForAll));
    return true;
}

QString PageServer::url() const
{
    const bool v6 = m_page.address.protocol() == QAbstractSocket::IPv6Protocol;
    const QString host = v6 ? QStringLiteral("[%1]").arg(m_page.address.toString()) : m_page.address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(m_page.port);
}

QByteArray PageServer::statusBody()
{
    if (m_statusBody.isEmpty() || m_statusAge.elapsed() >= kStatusFreshMs) {
        const StationView view{m_bridge, m_desk, m_options, m_watch, m_sky, m_trackingPower, m_fluxWatch};
        QJsonObject json = stationJson(view);
        json[QStringLiteral("control")] = m_rules.control;
        const std::optional<double> beamwidth = m_options.trackingPower ? std::optional<double>(m_options.trackingPower->beamwidthDegrees) : std::nullopt;
        json[QStringLiteral("trackingError")] = m_errors.json(beamwidth && *beamwidth > 0 ? beamwidth : std::nullopt);
        m_statusBody = QJsonDocument(json).toJson(QJsonDocument::Compact);
        m_statusAge.start();
    }
    return m_statusBody;
}

QByteArray PageServer::recordBody(PageRoute route, const QUrlQuery& query)
{
    // Days back (history) or the first JST day (flux), within bounds
    // whatever is asked: a malformed or absent value is the default.
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(companions::companionUtcMs(), QTimeZone::utc());
    const QDate today = now.addSecs(9 * 3600).date();
    bool ok = false;
    const int days = query.queryItemValue(QStringLiteral("days")).toInt(&ok);
    const int back = ok && days >= 1 && days <= kMostRecordDays ? days : kRecordDays;
    QDate since = QDate::fromString(query.queryItemValue(QStringLiteral("since")), Qt::ISODate);
    if (!since.isValid() || since < today.addDays(-kMostRecordDays) || since > today)
        since = today.addDays(-back);
    const QString key = QStringLiteral("%1 %2").arg(static_cast<int>(route)).arg(route == PageRoute::History ? QString::number(back) : since.toString(Qt::ISODate));
    auto found = m_recordBodies.find(key);
    if (found != m_recordBodies.end() && found->second.second.elapsed() < kRecordFreshMs)
        return found->second.first;
    if (m_recordBodies.size() >= kMostRecordAnswersKept)
        m_recordBodies.clear();
    const QString path = heliotrope::record::StationRecord::defaultPath();
    QJsonObject json = route == PageRoute::History ? historyJson(path, now.addDays(-back)) : fluxJson(path, since);
    // Today as the flux watch has it so far, before the day is kept.
    if (route == PageRoute::Flux && m_fluxWatch && m_fluxWatch->todaySoFar())
        json[QStringLiteral("today")] = lightCurveJson(*m_fluxWatch->todaySoFar());
    QElapsedTimer age;
    age.start();
    QByteArray body = QJsonDocument(json).toJson(QJsonDocument::Compact);
    m_recordBodies[key] = {body, age};
    return body;
}

QByteArray PageServer::act(PageRoute route, const QString& peer, int* httpStatus)
{
    const QString what = pageRouteName(route);
    emit notice(said::pageAsked(what, peer));
    if (route == PageRoute::Resume)
        return answerBody(true, m_desk.askResume());
    // rotctld's answer comes later: the page is told the stow or stop was
    // asked, and shows what the rotator does from the station's state.
    *httpStatus = 202;
    // The answer comes after the words of what was asked, already said.
    m_desk.askHold(route == PageRoute::Stop, [this](bool, const QString& text) { emit notice(text.section(QLatin1Char('\n'), 2)); });
    return answerBody(true, said::pageAsked(what, peer));
}

bool PageServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const QString peer = peerText(request.remoteAddress());
    if (m_second.elapsed() >= 1000) {
        m_second.start();
        m_requestsThisSecond = 0;
    }
    if (++m_requestsThisSecond > kMostRequestsPerSecond) {
        respond(makeResponder(request, socket), request, 503, "application/json", errorBody(said::pageTooLarge()), false);
        return true;
    }
    PageRequestParts parts;
    parts.method = methodName(request.method());
    parts.path = request.url().path();
    parts.queryToken = request.query().queryItemValue(QStringLiteral("token"));
    parts.headerToken = request.value("X-Heliotrope-Token");
    parts.cookieToken = cookieValue(request.value("Cookie"), kPageTokenCookie);
    parts.origin = request.value("Origin");
    parts.host = request.value("Host");
    parts.bodySize = std::max<qint64>(request.body().size(), request.value("Content-Length").toLongLong());
    const PageRuling ruling = rulePageRequest(parts, m_rules);
    if (!ruling.taken()) {
        if (parts.method == "POST")
            emit warning(said::pageRefused(parts.path, peer, ruling.reason));
        respond(makeResponder(request, socket), request, ruling.httpStatus, "application/json; charset=utf-8", errorBody(ruling.reason), false);
        return true;
    }
    if (pageRouteActs(ruling.route)) {
        int status = 200;
        const QByteArray body = act(ruling.route, peer, &status);
        respond(makeResponder(request, socket), request, status, "application/json; charset=utf-8", body, false);
        return true;
    }
    if (ruling.route == PageRoute::History || ruling.route == PageRoute::Flux) {
        respond(makeResponder(request, socket), request, 200, "application/json; charset=utf-8", recordBody(ruling.route, request.query()), false);
        return true;
    }
    if (ruling.route == PageRoute::Status) {
        respond(makeResponder(request, socket), request, 200, "application/json; charset=utf-8", statusBody(), false);
        return true;
    }
    const Resource resource = resourceOf(ruling.route);
    QFile file(QString::fromLatin1(resource.path));
    file.open(QIODevice::ReadOnly);
    // Opened from afar with ?token=: its script and style come with the cookie.
    QByteArray cookie;
    if (m_rules.tokenForAll && ruling.route == PageRoute::Page && parts.queryToken.toLatin1() == m_rules.token)
        cookie = QByteArray(kPageTokenCookie) + '=' + m_rules.token + "; Path=/; HttpOnly; SameSite=Strict";
    respond(makeResponder(request, socket), request, 200, resource.type, file.readAll(), cookie.isEmpty(), cookie);
    return true;
}

void PageServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    respond(makeResponder(request, socket), request, 404, "application/json; charset=utf-8", errorBody(said::pageUnknownPath()), false);
}

}  // namespace heliotrope::rotctl
