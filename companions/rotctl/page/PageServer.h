#pragma once

// The station's page, served by the running bridge (--http): the page
// itself from the program's resources, the station as JSON, and with
// --http-control the operator's stow, stop and resume. Every request is
// ruled on first (PageRules); a stow asked here is the desk's as one asked
// over the socket, logged with where it came from. The station's JSON is
// built at most twice a second however often it is asked, so that a
// browser, or a hundred, cost the tracking nothing it would notice.

#include "companions/rotctl/bridge/BridgeOptions.h"
#include "companions/rotctl/page/PageRules.h"
#include "companions/rotctl/page/SkyToday.h"
#include "companions/rotctl/page/StationWatch.h"
#include "companions/rotctl/page/TrackingErrorTrail.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTimer>
#include <QUrlQuery>

#include <map>
#include <utility>

namespace heliotrope::rotctl {

class Bridge;
class FluxWatch;
class PageListener;
class StationDesk;
class TrackingPower;

class PageServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    PageServer(Bridge& bridge, StationDesk& desk, const BridgeOptions& options, QObject* parent = nullptr);
    ~PageServer() override;

    void setTrackingPower(const TrackingPower* watch, const FluxWatch* flux)
    {
        m_trackingPower = watch;
        m_fluxWatch = flux;
    }
    // Listens on the options' address and port; false with the reason.
    bool start(QString* problem);
    // The URL the operator opens.
    QString url() const;
    StationWatch& watch() { return m_watch; }

signals:
    void notice(const QString& line);
    void warning(const QString& line);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    QByteArray statusBody();
    // The record's runs or flux days for a request's query, each answer kept
    // for a few seconds: the record is read from the disk, not per request.
    QByteArray recordBody(PageRoute route, const QUrlQuery& query);
    QByteArray act(PageRoute route, const QString& peer, int* httpStatus);

    Bridge& m_bridge;
    StationDesk& m_desk;
    BridgeOptions m_options;
    StationPageOptions m_page;
    PageRules m_rules;
    PageListener* m_listener = nullptr;
    StationWatch m_watch;
    SkyToday m_sky;
    TrackingErrorTrail m_errors;
    QTimer m_errorTimer;
    const TrackingPower* m_trackingPower = nullptr;
    const FluxWatch* m_fluxWatch = nullptr;
    QByteArray m_statusBody;
    std::map<QString, std::pair<QByteArray, QElapsedTimer>> m_recordBodies;
    QElapsedTimer m_statusAge;
    QElapsedTimer m_second;  // the requests of the latest second, counted
    int m_requestsThisSecond = 0;
};

}  // namespace heliotrope::rotctl
