#include "companions/radiometer/Radiometer.h"

#include "companions/common/ConsoleText.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>

#include <cmath>

using heliotrope::companions::endpointText;
using heliotrope::companions::printableBytes;
using heliotrope::companions::UtcClock;

namespace heliotrope::radiometer {

namespace {

constexpr int kRotctldTimeLimitMs = 1000;
// A client line longer than this is not a rigctld command; the client is dropped.
constexpr qsizetype kLongestCommand = 256;

quint64 initialSeed(const RadiometerOptions& options)
{
    if (!options.seed)
        return std::random_device{}() ^ (static_cast<quint64>(std::random_device{}()) << 32);
    if (!options.once)
        return *options.seed;
    // One reading per process: the same seed alone would give every reading
    // the same noise, so the moment of the reading is mixed in.
    return *options.seed * 0x9E3779B97F4A7C15ULL ^ static_cast<quint64>(QDateTime::currentMSecsSinceEpoch()) * 1000003ULL;
}

// The bursts drawn from a rate cover the days around the clock's start: a
// quickened clock runs through a year of them in four days.
constexpr double kBurstDaysBefore = 4;
constexpr double kBurstDaysAfter = 400;

}  // namespace

Radiometer::Radiometer(const RadiometerOptions& options, UtcClock clock, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_clock(std::move(clock))
    , m_random(initialSeed(options))
    , m_noise(0.0, options.noise)
    , m_skySeed(options.seed ? *options.seed : initialSeed(options))
{
    if (m_options.bursts) {
        const double now = m_clock();
        m_options.flux.bursts = burstsForDays(*m_options.bursts, m_skySeed, now - kBurstDaysBefore * sunflux::kSecondsPerDay, now + kBurstDaysAfter * sunflux::kSecondsPerDay);
    }
    connect(&m_server, &QTcpServer::newConnection, this, &Radiometer::onNewConnection);
}

std::optional<AntennaReading> Radiometer::readRotator(QString* problem)
{
    if (!m_options.antennaFile.isEmpty()) {
        QFile file(m_options.antennaFile);
        const QList<QByteArray> parts = file.open(QIODevice::ReadOnly) ? file.readLine(128).trimmed().split(' ') : QList<QByteArray>{};
        bool okAz = false;
        bool okEl = false;
        const double az = parts.size() == 2 ? parts[0].toDouble(&okAz) : 0;
        const double el = parts.size() == 2 ? parts[1].toDouble(&okEl) : 0;
        if (!okAz || !okEl) {
            *problem = QStringLiteral("アンテナの向きを %1 から読めません。\nCannot read the dish's direction from %1.").arg(m_options.antennaFile);
            return std::nullopt;
        }
        return AntennaReading{az, el};
    }
    const QString where = QStringLiteral("%1:%2").arg(m_options.rotctldHost).arg(m_options.rotctldPort);
    if (!m_rotctld || m_rotctld->state() != QAbstractSocket::ConnectedState) {
        delete m_rotctld;
        m_rotctld = new QTcpSocket(this);
        m_rotctld->connectToHost(m_options.rotctldHost, m_options.rotctldPort);
        if (!m_rotctld->waitForConnected(kRotctldTimeLimitMs)) {
            *problem = QStringLiteral("rotctld（%1）に接続できません: %2。rotctld が起動しているか、--rotctld のアドレスとポートを確かめてください。\n"
                                      "Cannot reach rotctld (%1): %2. Check that rotctld runs and that --rotctld names its "
                                      "address and port.")
                           .arg(where, m_rotctld->errorString());
            return std::nullopt;
        }
    }
    m_rotctld->write("p\n");
    QByteArray answer;
    QList<QByteArray> lines;
    while (lines.size() < 2) {
        if (!m_rotctld->bytesAvailable() && !m_rotctld->waitForReadyRead(kRotctldTimeLimitMs)) {
            *problem = QStringLiteral("rotctld（%1）が位置を答えません。コントローラの電源とケーブル、rotctld の -r と -s を確かめてください。\n"
                                      "rotctld (%1) did not answer p. Check the controller's power and cable, and "
                                      "rotctld's -r and -s.")
                           .arg(where);
            m_rotctld->abort();
            return std::nullopt;
        }
        answer += m_rotctld->readAll();
        lines = answer.split('\n');
        lines.removeLast();  // the part after the last line end
        if (!lines.isEmpty() && lines.constFirst().startsWith("RPRT"))
            break;
    }
    bool okAz = false;
    bool okEl = false;
    const double az = lines.size() >= 2 ? lines[0].trimmed().toDouble(&okAz) : 0;
    const double el = lines.size() >= 2 ? lines[1].trimmed().toDouble(&okEl) : 0;
    if (!okAz || !okEl) {
        *problem = QStringLiteral("rotctld（%1）の答え「%2」は位置ではありません。\nrotctld (%1) answered \"%2\", not a position.")
                       .arg(where, printableBytes(answer));
        m_rotctld->abort();
        return std::nullopt;
    }
    return AntennaReading{az, el};
}

std::optional<double> Radiometer::read(QString* problem)
{
    const std::optional<AntennaReading> antenna = readRotator(problem);
    if (!antenna)
        return std::nullopt;
    using namespace heliotrope::sky;
    // The sun as a radio dish sees it: refracted by the air for radio waves.
    const TrueSunPosition sun = trueSunTopocentric(m_clock(), m_options.site, Refraction::Radio);
    if (sun.status == EphemerisStatus::Failed) {
        *problem = QStringLiteral("この日時の太陽を計算できません。\nThe sun cannot be computed for this date.");
        return std::nullopt;
    }
    // A mount with errors points its beam elsewhere than its reading says;
    // the beam's constant error then applies on top of that direction.
    heliotrope::pointing::Direction beam{antenna->azimuth, antenna->elevation};
    if (!m_options.mount.isZero())
        beam = heliotrope::pointing::beamOnSky(m_options.mount, beam);
    if (m_options.physical)
        return physicalPower(beam, sun);
    const double power = heliotrope::radiometer::sunBeamPower(m_options.beam, beam.azimuth, beam.elevation,
                                                              sun.azimuth, sun.elevation);
    return m_options.noise > 0 ? power + m_noise(m_random) : power;
}

double Radiometer::physicalPower(const heliotrope::pointing::Direction& beam, const heliotrope::sky::TrueSunPosition& sun)
{
    const double utc = m_clock();
    // The beam's constant error on top of the mount's, as in the dB model.
    const Sight sight{utc, beam.azimuth - m_options.beam.azimuthError, beam.elevation - m_options.beam.elevationError,
                      sun.azimuth, sun.elevation, m_options.site.longitude};
    Feed feed;
    if (!m_options.absorberFile.isEmpty() && QFileInfo::exists(m_options.absorberFile))
        feed.absorberKelvin = m_options.absorberKelvin;
    if (!m_options.noiseSourceFile.isEmpty() && QFileInfo::exists(m_options.noiseSourceFile))
        feed.sourceEnrDecibels = m_options.noiseSourceEnrDecibels;
    const PhysicalReading reading
        = physicalReading(*m_options.physical, sight, sunflux::totalFluxSfu(m_options.flux, utc), m_skySeed, feed);
    // The detector's fluctuation, as a share of the power: the same in dB on either scale.
    const double noise = m_options.noise > 0 ? m_noise(m_random) : 0.0;
    if (m_options.kelvin)
        return reading.kelvin * std::pow(10.0, noise / 10.0);
    return reading.detectorDbm + noise;
}

bool Radiometer::serve(QString* problem)
{
    if (!m_server.listen(m_options.listenAddress, m_options.rigctldPort)) {
        *problem = QStringLiteral("%1 で待ち受けられません: %2。ほかのプログラム（本物の rigctld など）がこのポートを使っていないか"
                                  "確かめるか、--rigctld-port で別のポートを指定してください。\n"
                                  "Cannot listen on %1: %2. Check that no other program (a real rigctld, …) holds the "
                                  "port, or give another with --rigctld-port.")
                       .arg(endpointText(m_options.listenAddress, m_options.rigctldPort), m_server.errorString());
        return false;
    }
    emit notice(QStringLiteral("%1 で rigctld として答えます（l STRENGTH）。\nAnswering as rigctld on %1 (l STRENGTH).")
                    .arg(endpointText(m_options.listenAddress, m_server.serverPort())));
    return true;
}

void Radiometer::onNewConnection()
{
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QTcpSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
                const QByteArray line = client->readLine(kLongestCommand + 2);
                answer(client, line.trimmed());
                if (client->state() != QAbstractSocket::ConnectedState)
                    return;
            }
            if (client->bytesAvailable() > kLongestCommand)
                client->abort();
        });
    }
}

namespace {

// What Hamlib's network client (rigctl -m 2) reads on connecting, in
// rigctld's protocol 1: a receiver from 1 MHz to 100 GHz with no transmitter,
// one mode and filter, no functions or settings, whose only level is the
// signal strength (RIG_LEVEL_STRENGTH, bit 30), and no VFO, frequency or mode
// to read, so that the client asks nothing else of it.
constexpr char kReceiverState[] = "1\n"  // protocol version
                                  "1\n"  // rig model, as rigctld's dummy
                                  "0\n"  // ITU region (read by older clients)
                                  "1000000.000000 100000000000.000000 0x1 -1 -1 0x1 0x1\n"
                                  "0 0 0 0 0 0 0\n"    // end of the receiving ranges
                                  "0 0 0 0 0 0 0\n"    // no transmitting range
                                  "0x1 1\n0 0\n"       // tuning steps
                                  "0x1 10000\n0 0\n"   // filters
                                  "0\n0\n0\n0\n"       // RIT, XIT, IF shift, announcements
                                  "\n\n"               // no preamplifier, no attenuator
                                  "0x0\n0x0\n"         // functions read, set
                                  "0x40000000\n0x0\n"  // levels read (strength alone), set
                                  "0x0\n0x0\n"         // parameters read, set
                                  "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\n"
                                  "has_set_vfo=0\nhas_get_vfo=0\nhas_set_freq=0\nhas_get_freq=0\n"
                                  "has_set_conf=0\nhas_get_conf=0\nhas_power2mW=0\nhas_mW2power=0\n"
                                  "timeout=0\nrig_model=1\n"
                                  "done\n";

}  // namespace

void Radiometer::answer(QTcpSocket* client, const QByteArray& line)
{
    // rigctld's default protocol: one command a line, the value alone on its
    // line, "RPRT n" (n < 0) on failure. What Hamlib's own clients send on
    // connecting (\chk_vfo) is answered as rigctld answers it without VFO mode.
    if (line == "l STRENGTH" || line == "\\get_level STRENGTH") {
        QString problem;
        const std::optional<double> power = read(&problem);
        if (!power) {
            emit notice(problem);
            client->write("RPRT -6\n");  // RIG_EIO: the radio could not be read
            return;
        }
        // A radio's S-meter reports whole dB.
        client->write(QByteArray::number(static_cast<long long>(std::lround(*power))) + '\n');
    } else if (line == "\\chk_vfo") {
        client->write("0\n");
    } else if (line == "\\dump_state") {
        client->write(kReceiverState);
    } else if (line == "q" || line == "Q" || line == "\\quit") {
        client->disconnectFromHost();
    } else if (line.isEmpty()) {
        return;
    } else {
        client->write("RPRT -4\n");  // RIG_ENIMPL: a simulator answers nothing else
    }
}

}  // namespace heliotrope::radiometer
