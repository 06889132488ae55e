// A bridge as far as its request socket goes: listens on the path given,
// says "listening" once it does, and holds every calibration asked of it
// until it is killed. tst_stationsocket kills it with SIGKILL mid-measurement.

#include "companions/station/StationServer.h"

#include <QCoreApplication>

#include <cstdio>

using namespace heliotrope::station;

namespace {

class Holding : public StationRequestHandler {
public:
    void handleRequest(StationReply* reply) override
    {
        if (reply->request().kind == RequestKind::Calibrate)
            reply->progress(QStringLiteral("1/9 点目\npoint 1 of 9"));
        else
            reply->finish(StationCode::Ok);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    Holding holding;
    StationServer server(holding, QString::fromLocal8Bit(argv[1]));
    const StationServer::Listening listening = server.listen();
    std::printf("%s\n", listening == StationServer::Listening::Yes ? "listening" : "not listening");
    std::fflush(stdout);
    return listening == StationServer::Listening::Yes ? QCoreApplication::exec() : 1;
}
