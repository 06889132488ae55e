// heliotrope-rotctl --flux as the operator runs it, on a record holding a
// simulated day: the values it prints are the flux arithmetic's own for the
// station the record gives, the CSV and FITS carry the same numbers, the
// picture is drawn; a day not kept is worked out and said provisional, and
// every file that cannot be made is said and fails.

#include "../../support/SimulatedFluxDay.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <fitsio.h>

using namespace heliotrope;
using record::FluxSource;

class TestFluxCommand : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_record;
    std::optional<flux::FluxStation> m_station;
    flux::FluxDay m_day;  // what the arithmetic makes of the record's day
    std::size_t m_readings = 0;

    int rotctl(const QStringList& arguments, QString* out)
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.path());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH), arguments);
        program.waitForFinished(60000);
        *out = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
    int flux(const QStringList& arguments, QString* out)
    {
        return rotctl(QStringList{QStringLiteral("--flux"), QStringLiteral("--day"), simulated::kDay.toString(Qt::ISODate)} + arguments, out);
    }
    QString path(const char* name) const { return m_home.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        m_record = m_home.filePath(QStringLiteral("heliotrope/station.sqlite"));
        record::StationRecord record(m_record);
        QVERIFY(record.open());
        QVERIFY(record.addSunNoise(simulated::run(simulated::utcAt(9, 0), 13.0, FluxSource::TypedForTheDay)));
        const fluxstation::FluxStationChoice choice = fluxstation::chooseFluxStation(record, {simulated::utcAt(23, 59), simulated::kBeam, std::nullopt, 0});
        QVERIFY2(choice.station, qPrintable(choice.source));
        m_station = choice.station;
        simulated::Day day;
        day.make(*m_station, simulated::utcAt(9, 30), simulated::utcAt(14, 30));
        record::FluxRecord flux(record);
        QVERIFY2(day.keep(flux), qPrintable(flux.problem()));
        const double start = record::jstDayStartUtc(simulated::kDay);
        const auto readings = flux.fluxReadingsBetween(start, start + 86400);
        m_readings = readings.size();
        m_day = flux::workOutDay(readings, flux.fluxReferencesBetween(start - 1800, start + 86400 + 1800), *m_station,
                                 fluxstation::sunTransitUtc(simulated::kDay, simulated::kTokyo));
        QVERIFY(m_day.daily.fluxSfu && m_day.bursts.size() == 1);
    }

    // Not kept yet: how to have it worked out, then worked out as the
    // arithmetic does and said provisional; the simulated sun found in it.
    void aDayNotKeptIsWorkedOutProvisionally()
    {
        QString out;
        QCOMPARE(flux({}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("--beamwidth DEG")), qPrintable(out));
        QCOMPARE(flux({QStringLiteral("--beamwidth"), QString::number(simulated::kBeam)}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("provisional")), qPrintable(out));
        const flux::FluxValue& daily = m_day.daily;
        QVERIFY2(out.contains(QStringLiteral("%1 ± %2 SFU").arg(QString::number(*daily.fluxSfu, 'f', 2), QString::number(daily.error, 'f', 2))),
                 qPrintable(out));
        QVERIFY(std::abs(*daily.fluxSfu - simulated::kQuietSfu) < 3 * daily.error + 0.01 * simulated::kQuietSfu);
        const flux::FluxBurst& burst = m_day.bursts.front();
        QVERIFY(std::abs(burst.peakUtc - simulated::burstPeakUtc()) < 30);
        const QString peak = QDateTime::fromMSecsSinceEpoch(std::llround(burst.peakUtc * 1000), QTimeZone(9 * 3600)).toString(QStringLiteral("HH:mm:ss"));
        QVERIFY2(out.contains(QStringLiteral("peak ") + peak), qPrintable(out.mid(out.indexOf(QStringLiteral("start")))));
        // A rule that asks ten minutes of a burst: the day's four minutes above it are none.
        QCOMPARE(flux({QStringLiteral("--beamwidth"), QString::number(simulated::kBeam), QStringLiteral("--burst-seconds"), QStringLiteral("600")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("no bursts")), qPrintable(out));
        // And the rule given where nothing is worked out would do nothing.
        QCOMPARE(rotctl({QStringLiteral("--history"), QStringLiteral("--burst-sigma"), QStringLiteral("5")}, &out), 2);
        QVERIFY2(out.contains(QStringLiteral("--burst-sigma goes with --watch-power or --flux alone")), qPrintable(out));
    }

    // Kept by the bridge: its values shown as kept, without a beamwidth.
    void aKeptDayIsShownAsKept()
    {
        {
            record::StationRecord record(m_record);
            QVERIFY(record.open());
            record::FluxRecord flux(record);
            QVERIFY(flux.keepFluxDay(simulated::kDay, m_day, QStringLiteral("G/T test\nG/T test")));
        }
        QString out;
        QCOMPARE(flux({}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("kept")) && !out.contains(QStringLiteral("provisional")), qPrintable(out));
        QVERIFY(out.contains(QString::number(*m_day.daily.fluxSfu, 'f', 2)));
        QCOMPARE(out.count(QStringLiteral("開始 start")), 1);
        QCOMPARE(rotctl({QStringLiteral("--flux"), QStringLiteral("--since"), QStringLiteral("2026-12-01"), QStringLiteral("--csv"),
                         path("days.csv"), QStringLiteral("--plot"), path("days.png")},
                        &out),
                 0);
        QFile days(path("days.csv"));
        QVERIFY(days.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(days.readAll()).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(rows.size(), 2);
        QVERIFY(std::abs(rows[1].split(QLatin1Char(','))[2].toDouble() - *m_day.daily.fluxSfu) < 1e-9);
        QVERIFY(!QImage(path("days.png")).isNull());
    }

    // The day's readings in the three files: the same numbers, the FITS as
    // a solar radio observer's reader wants it, the picture with content.
    void theFilesCarryTheDaysNumbers()
    {
        QString out;
        QCOMPARE(flux({QStringLiteral("--beamwidth"), QString::number(simulated::kBeam), QStringLiteral("--csv"), path("day.csv"),
                       QStringLiteral("--fits"), path("day.fits"), QStringLiteral("--plot"), path("day.png")},
                      &out),
                 0);
        QFile csv(path("day.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList rows = QString::fromUtf8(csv.readAll()).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(static_cast<std::size_t>(rows.size()), m_readings + 1);
        int references = 0;
        for (std::size_t i = 0; i < m_readings; i += 97) {
            const QStringList cells = rows[static_cast<qsizetype>(i) + 1].split(QLatin1Char(','));
            const flux::FluxReading& r = m_day.readings[i];
            QVERIFY(std::abs(static_cast<double>(QDateTime::fromString(cells[0], Qt::ISODateWithMs).toMSecsSinceEpoch()) / 1000.0 - r.utc) < 1e-3);
            if (r.fluxSfu)
                QVERIFY(std::abs(cells[4].toDouble() / *r.fluxSfu - 1) < 1e-9 && std::abs(cells[5].toDouble() - r.error) < 1e-9);
            else
                QVERIFY(cells[4].isEmpty());
            references += cells[7].contains(QStringLiteral("reference"));
            QCOMPARE(cells[8] == QStringLiteral("1"), r.inBurst);
        }
        QVERIFY(references > 0);

        fitsfile* fits = nullptr;
        int status = 0;
        QByteArray name = QFile::encodeName(path("day.fits"));
        fits_open_file(&fits, name.constData(), READONLY, &status);
        QCOMPARE(status, 0);
        int dataOk = 0;
        int headerOk = 0;
        fits_verify_chksum(fits, &dataOk, &headerOk, &status);
        QVERIFY(dataOk == 1 && headerOk == 1);
        fits_movnam_hdu(fits, BINARY_TBL, const_cast<char*>("FLUX"), 0, &status);
        char bunit[FLEN_VALUE] = {};
        double frequency = 0;
        long rowCount = 0;
        fits_read_key(fits, TSTRING, "BUNIT", bunit, nullptr, &status);
        fits_read_key(fits, TDOUBLE, "FREQ", &frequency, nullptr, &status);
        fits_get_num_rows(fits, &rowCount, &status);
        fits_verify_chksum(fits, &dataOk, &headerOk, &status);
        std::vector<double> fluxColumn(m_readings);
        int anyNull = 0;
        fits_read_col(fits, TDOUBLE, 2, 1, 1, static_cast<LONGLONG>(m_readings), nullptr, fluxColumn.data(), &anyNull, &status);
        fits_close_file(fits, &status);
        QCOMPARE(status, 0);
        QCOMPARE(QString::fromLatin1(bunit), QStringLiteral("SFU"));
        QCOMPARE(frequency, simulated::kFrequency);
        QCOMPARE(static_cast<std::size_t>(rowCount), m_readings);
        QVERIFY(dataOk == 1 && headerOk == 1);
        for (std::size_t i = 0; i < m_readings; i += 101)
            QVERIFY(m_day.readings[i].fluxSfu ? fluxColumn[i] == *m_day.readings[i].fluxSfu : std::isnan(fluxColumn[i]));

        const QImage picture(path("day.png"));
        QCOMPARE(picture.size(), QSize(1400, 800));
        QSet<QRgb> colours;
        for (int y = 0; y < picture.height(); y += 3)
            for (int x = 0; x < picture.width(); x += 3)
                colours.insert(picture.pixel(x, y));
        QVERIFY2(colours.size() > 50, qPrintable(QString::number(colours.size())));
    }

    // Nothing there, a folder that is not, a flux with a value: said, and
    // the exit code says whether what was asked was done.
    void whatCannotBeDoneIsSaid()
    {
        QString out;
        QCOMPARE(rotctl({QStringLiteral("--flux"), QStringLiteral("--day"), QStringLiteral("2026-12-12")}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("No flux and no readings")), qPrintable(out));
        QCOMPARE(rotctl({QStringLiteral("--flux"), QStringLiteral("--day"), QStringLiteral("2026-12-12"), QStringLiteral("--plot"), path("none.png")}, &out), 1);
        QVERIFY(!QFileInfo::exists(path("none.png")));
        for (const char* file : {"--csv", "--fits", "--plot"}) {
            QCOMPARE(flux({QStringLiteral("--beamwidth"), QStringLiteral("1.7"), QString::fromLatin1(file), QStringLiteral("/nonexistent/x")}, &out), 1);
            QVERIFY2(out.contains(QStringLiteral("Cannot")), qPrintable(out));
        }
        QCOMPARE(flux({QStringLiteral("--csv"), path("x.csv")}, &out), 1);
        QVERIFY2(out.contains(QStringLiteral("--beamwidth")), qPrintable(out));
        for (const QStringList& slip : {QStringList{QStringLiteral("--flux"), QStringLiteral("--day"), QStringLiteral("10/12/2026")},
                                        QStringList{QStringLiteral("--flux"), QStringLiteral("150")},
                                        QStringList{QStringLiteral("--flux"), QStringLiteral("--history")},
                                        QStringList{QStringLiteral("--day"), QStringLiteral("2026-12-10")},
                                        QStringList{QStringLiteral("--flux"), QStringLiteral("--since"), QStringLiteral("2026-12-01"),
                                                    QStringLiteral("--fits"), path("x.fits")}})
            QCOMPARE(rotctl(slip, &out), 2);
    }

    // The next day read through rigctld's S-meter, in whole dB: said so, and
    // what of a burst may go unseen, worked out here, kept, and kept by an
    // older bridge (its error without the rounding).
    void aDayInWholeDecibelsSaysSo()
    {
        const QDate next = simulated::kDay.addDays(1);
        const double start = record::jstDayStartUtc(next);
        record::StationRecord record(m_record);
        QVERIFY(record.open());
        record::FluxRecord kept(record);
        simulated::Day day;
        day.make(*m_station, start + 9.5 * 3600, start + 14.5 * 3600);
        for (flux::Reading& r : day.readings)
            r.power = std::pow(10.0, std::round(10 * std::log10(r.power)) / 10);
        QVERIFY2(day.keep(kept), qPrintable(kept.problem()));
        QString out;
        const QStringList asked{QStringLiteral("--flux"), QStringLiteral("--day"), next.toString(Qt::ISODate)};
        QCOMPARE(rotctl(asked + QStringList{QStringLiteral("--beamwidth"), QString::number(simulated::kBeam)}, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("whole dB")) && out.contains(QRegularExpression(QStringLiteral("bursts under \\+\\d+\\.\\d SFU may go unseen"))),
                 qPrintable(out));
        flux::FluxDay worked = flux::workOutDay(kept.fluxReadingsBetween(start, start + 86400), kept.fluxReferencesBetween(start - 1800, start + 88200),
                                                *m_station, fluxstation::sunTransitUtc(next, simulated::kTokyo));
        QVERIFY(kept.keepFluxDay(next, worked, QStringLiteral("G/T test")));
        QCOMPARE(rotctl(asked, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("kept")) && out.contains(QStringLiteral("whole dB"))
                     && out.contains(QStringLiteral("less than 1 dB (26 %) may go unseen")) && !out.contains(QStringLiteral("older")),
                 qPrintable(out));
        worked.daily.error = 0.001 * *worked.daily.fluxSfu;
        QVERIFY(kept.keepFluxDay(next, worked, QStringLiteral("G/T test")));
        QCOMPARE(rotctl(asked, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("kept without the rounding")), qPrintable(out));
        QCOMPARE(flux({}, &out), 0);
        QVERIFY2(!out.contains(QStringLiteral("whole dB")), qPrintable(out));
    }

    // A day at a reading a second, read back and worked out: the figures
    // the report and the bridge's day's end live with. Only when asked.
    void aFullDayMeasured()
    {
        if (qEnvironmentVariableIsEmpty("HELIOTROPE_FLUX_DAY_FIGURES"))
            QSKIP("HELIOTROPE_FLUX_DAY_FIGURES=1 measures a full day's reading and working out");
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("station.sqlite"));
        record::StationRecord record(file);
        QVERIFY(record.open());
        record::FluxRecord flux(record);
        simulated::Day day;
        const double start = record::jstDayStartUtc(simulated::kDay);
        day.make(*m_station, start, start + 86400);
        QVERIFY(day.keep(flux));
        const double bytes = static_cast<double>(QFileInfo(file).size());
        QElapsedTimer timer;
        timer.start();
        const auto readings = flux.fluxReadingsBetween(start, start + 86400);
        const auto references = flux.fluxReferencesBetween(start - 1800, start + 86400 + 1800);
        const qint64 readMs = timer.restart();
        const flux::FluxDay worked = flux::workOutDay(readings, references, *m_station, fluxstation::sunTransitUtc(simulated::kDay, simulated::kTokyo));
        const qint64 workMs = timer.elapsed();
        QCOMPARE(worked.readings.size(), std::size_t{86400});
        qInfo("86400 readings: read back in %lld ms, worked out in %lld ms; the record %.1f MB for the day, %.2f GB a year", readMs, workMs,
              bytes / 1e6, bytes * 365 / 1e9);
    }
};

QTEST_MAIN(TestFluxCommand)
#include "tst_fluxcommand.moc"
