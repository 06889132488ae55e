// The physical radiometer as a program, read through its rigctld face on a
// quickened clock: the LNA's step and a rain dip on the sun as they happen,
// and the gain's daily drift between noon and midnight.

#include "TestTimeScale.h"

#include "companions/sky/TrueSun.h"

#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// 2025-03-20 03:00 UTC: noon of mean solar time at 135° E, the sun at about 55° up.
constexpr double kNoon = 1742439600;
const heliotrope::sky::Site kSite{35, 135, 0};

}  // namespace

class TestPhysicalRadiometer : public QObject {
    Q_OBJECT

private slots:
    void stepRainAndDriftShowThroughRigctld();

private:
    // Started serving; its rigctld port, 0 when it did not say one.
    quint16 start(QProcess& process, const QStringList& extra)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(HELIOTROPE_RADIOMETER_PATH),
                      QStringList{"--site", "35,135", "--antenna-file", m_dir.filePath("antenna"), "--noise", "0", "--rigctld-port", "0",
                                  "--flux", "3000", "--gain-drift", "4,12"}
                          + extra);
        if (!process.waitForReadyRead(5000))
            return 0;
        const QByteArray line = process.readLine();
        return static_cast<quint16>(line.mid(line.lastIndexOf(':') + 1).split(' ').constFirst().toUInt());
    }
    // The whole dBm it reads with the dish at (az, el), or NaN.
    double strength(quint16 port, double azimuth, double elevation)
    {
        QFile antenna(m_dir.filePath("antenna"));
        if (!antenna.open(QIODevice::WriteOnly) || antenna.write(QByteArray::number(azimuth, 'f', 4) + ' ' + QByteArray::number(elevation, 'f', 4) + '\n') < 0)
            return std::nan("");
        antenna.close();
        QTcpSocket rig;
        rig.connectToHost(QHostAddress::LocalHost, port);
        if (!rig.waitForConnected(2000) || rig.write("l STRENGTH\n") < 0)
            return std::nan("");
        while (!rig.canReadLine() && rig.waitForReadyRead(2000)) {
        }
        bool ok = false;
        const double value = rig.readLine().trimmed().toDouble(&ok);
        return ok ? value : std::nan("");
    }
    double onSun(quint16 port, const TestTimeScale& scale, double utc)
    {
        QTest::qWait(scale.realMs(utc - scale.utcNow()));
        const auto sun = heliotrope::sky::trueSunTopocentric(scale.utcNow(), kSite, heliotrope::sky::Refraction::Radio);
        return strength(port, sun.azimuth, sun.elevation);
    }

    QTemporaryDir m_dir;
};

void TestPhysicalRadiometer::stepRainAndDriftShowThroughRigctld()
{
    const TestTimeScale scale(100, kNoon);
    // 3 dB of the LNA's gain lost at +300 s; rain from +500 s for 20 minutes, 4 dB at its heaviest.
    QProcess noon;
    const quint16 port = start(noon, {"--lna-step", QStringLiteral("%1,3").arg(kNoon + 300, 0, 'f', 0), "--rain", QStringLiteral("%1,20,4").arg(kNoon + 500, 0, 'f', 0)});
    QVERIFY(port > 0);
    const double cold = strength(port, 0, 30);  // north, far from the sun
    const double before = onSun(port, scale, kNoon + 100);
    const double stepped = onSun(port, scale, kNoon + 400);
    const double raining = onSun(port, scale, kNoon + 1100);
    const double after = onSun(port, scale, kNoon + 1800);
    const QString said = QStringLiteral("cold %1, sun %2, stepped %3, raining %4, after %5").arg(cold).arg(before).arg(stepped).arg(raining).arg(after);
    // 3000 SFU on a 1.2 m dish: some 6000 K over a system of 80 K.
    QVERIFY2(before - cold >= 18 && before - cold <= 20, qPrintable(said));
    QVERIFY2(before - stepped == 3, qPrintable(said));
    // The sun dimmed to 40 % and the wet air's 165 K: 3.7 dB down, in whole dB.
    QVERIFY2(stepped - raining >= 3 && stepped - raining <= 4, qPrintable(said));
    QCOMPARE(after, stepped);

    // Twelve hours later the gain is at its coldest, 4 dB above noon's (the
    // LNA's step and the rain long before).
    QProcess midnight;
    const quint16 later = start(midnight, {"--clock-offset", "43200"});
    QVERIFY(later > 0);
    QCOMPARE(strength(later, 0, 30) - cold, 4.0);
    noon.kill();
    midnight.kill();
    noon.waitForFinished(2000);
    midnight.waitForFinished(2000);
}

QTEST_GUILESS_MAIN(TestPhysicalRadiometer)
#include "tst_physicalradiometer.moc"
