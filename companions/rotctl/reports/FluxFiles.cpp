#include "companions/rotctl/reports/FluxFiles.h"

#include "companions/common/JstText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <fitsio.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace heliotrope::rotctl {

namespace {

QString cell(double value, int digits = 12)
{
    return std::isfinite(value) ? QString::number(value, 'g', digits) : QString();
}

QString cell(const std::optional<double>& value, int digits = 12)
{
    return value ? cell(*value, digits) : QString();
}

QString utcText(double utc)
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(utc * 1000.0), QTimeZone::utc()).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

QString refusalWord(flux::ValueRefusal refusal)
{
    switch (refusal) {
    case flux::ValueRefusal::None:
        return {};
    case flux::ValueRefusal::NoReadings:
        return QStringLiteral("no-readings");
    case flux::ValueRefusal::TooFewClean:
        return QStringLiteral("too-few-clean");
    }
    return {};
}

QString notWritten(const QString& path, const QString& why)
{
    return QStringLiteral("ファイル「%1」を書けません（%2）。フォルダがあり、書き込めるか確かめてください。\n"
                          "Cannot write %1 (%2): check that its folder exists and can be written.")
        .arg(path, why);
}

bool saveText(const QString& path, const QStringList& lines, QString* problem)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        if (file.commit())
            return true;
    }
    *problem = notWritten(path, file.errorString());
    return false;
}

}  // namespace

record::KeptFluxDay keptFormOf(const WorkedFluxDay& worked)
{
    record::KeptFluxDay kept;
    kept.jstDay = worked.jstDay;
    kept.scale = worked.day.scale;
    kept.scaleRelativeError = worked.day.scaleRelativeError;
    kept.scaleSource = worked.scaleSource;
    kept.daily = worked.day.daily;
    kept.atFixedTimes = worked.day.atFixedTimes;
    kept.bursts = worked.day.bursts;
    kept.referencesUsed = worked.day.referencesUsed;
    kept.readingNoise = worked.day.readingNoise;
    kept.gainWander = worked.day.gainWander;
    kept.readingsWorkedOut = static_cast<int>(worked.day.readings.size());
    kept.readingStepDecibels = worked.day.readingStepDecibels;
    kept.smallestBurstSfu = worked.day.smallestBurstSfu;
    return kept;
}

QString flagWords(unsigned flags)
{
    QStringList words;
    for (const flux::Flag flag : flux::kAllFlags)
        if (flux::hasFlag(flags, flag))
            words << QString::fromLatin1(flux::flagName(flag));
    return words.join(QLatin1Char('+'));
}

bool saveReadingsCsv(const WorkedFluxDay& worked, const QString& path, QString* problem)
{
    QStringList lines{QStringLiteral("utc,jst,power,y,sfu,error_sfu,total_error_sfu,flags,in_burst,quiet_sfu")};
    const std::size_t n = std::min(worked.readings.size(), worked.day.readings.size());
    for (std::size_t i = 0; i < n; ++i) {
        const flux::Reading& in = worked.readings[i];
        const flux::FluxReading& r = worked.day.readings[i];
        const bool withFlux = r.fluxSfu.has_value();
        lines << QStringList{utcText(r.utc),
                             companions::jstTextWithMilliseconds(std::llround(r.utc * 1000.0)),
                             cell(in.power, 17),
                             cell(r.y),
                             cell(r.fluxSfu),
                             withFlux ? cell(r.error) : QString(),
                             withFlux ? cell(r.totalError) : QString(),
                             flagWords(r.flags),
                             r.inBurst ? QStringLiteral("1") : QStringLiteral("0"),
                             cell(r.quietSfu)}
                     .join(QLatin1Char(','));
    }
    return saveText(path, lines, problem);
}

bool saveDaysCsv(const std::vector<ShownFluxDay>& days, const QString& path, QString* problem)
{
    QStringList lines{QStringLiteral("jst_day,provisional,daily_sfu,error_sfu,total_error_sfu,clean_readings,refusal,scale,"
                                     "scale_relative_error,bursts")};
    for (const ShownFluxDay& shown : days) {
        const record::KeptFluxDay& d = shown.values;
        lines << QStringList{d.jstDay.toString(Qt::ISODate),
                             shown.provisional ? QStringLiteral("1") : QStringLiteral("0"),
                             cell(d.daily.fluxSfu),
                             d.daily.fluxSfu ? cell(d.daily.error) : QString(),
                             d.daily.fluxSfu ? cell(d.daily.totalError) : QString(),
                             QString::number(d.daily.cleanReadings),
                             refusalWord(d.daily.refusal),
                             record::scaleKindText(d.scale),
                             cell(d.scaleRelativeError),
                             QString::number(d.bursts.size())}
                     .join(QLatin1Char(','));
    }
    return saveText(path, lines, problem);
}

namespace {

// cfitsio's own words for a status, after what was being done.
QString fitsProblem(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return QStringLiteral("cfitsio %1: %2").arg(status).arg(QString::fromLatin1(text));
}

class FitsKeys {
public:
    FitsKeys(fitsfile* file, int* status)
        : m_file(file)
        , m_status(status)
    {
    }
    void text(const char* key, const QString& value, const char* comment)
    {
        QByteArray bytes = value.toLatin1();
        fits_update_key(m_file, TSTRING, key, bytes.data(), comment, m_status);
    }
    void number(const char* key, double value, const char* comment)
    {
        if (std::isfinite(value))
            fits_update_key_dbl(m_file, key, value, -15, comment, m_status);
    }
    void integer(const char* key, long value, const char* comment) { fits_update_key_lng(m_file, key, value, comment, m_status); }
    void logical(const char* key, bool value, const char* comment) { fits_update_key_log(m_file, key, value ? 1 : 0, comment, m_status); }

private:
    fitsfile* m_file;
    int* m_status;
};

// What a reader of either HDU needs to place the numbers: where, when, at
// which frequency, on which scale, and the day's value.
void writeDayKeys(FitsKeys& keys, const WorkedFluxDay& worked, double firstUtc, double lastUtc)
{
    keys.text("ORIGIN", QStringLiteral("heliotrope"), "the station's record");
    keys.text("CREATOR", QStringLiteral("heliotrope-rotctl --flux"), "program that wrote this file");
    keys.text("TELESCOP", QStringLiteral("heliotrope station"), "a single dish tracking the sun");
    keys.text("OBJECT", QStringLiteral("Sun"), "");
    keys.text("TIMESYS", QStringLiteral("UTC"), "");
    keys.text("DATE-OBS", utcText(firstUtc), "first reading, UTC");
    keys.text("DATE-END", utcText(lastUtc), "last reading, UTC");
    keys.text("JST-DAY", worked.jstDay.toString(Qt::ISODate), "the day, Japan Standard Time");
    keys.number("FREQ", worked.station.frequencyMegahertz, "[MHz] observing frequency");
    keys.number("OBS_FREQ", worked.station.frequencyMegahertz / 1000.0, "[GHz] observing frequency");
    keys.number("BEAMWID", worked.station.beamwidthDegrees, "[deg] beam full width at half maximum");
    if (worked.site) {
        keys.number("OBSGEO-B", worked.site->latitude, "[deg] site latitude, north");
        keys.number("OBSGEO-L", worked.site->longitude, "[deg] site longitude, east");
        keys.number("OBSGEO-H", worked.site->height, "[m] site height above the ellipsoid");
    }
    keys.text("FLUXSCAL", record::scaleKindText(worked.day.scale), "calibration the flux stands on");
    keys.number("SCALEERR", worked.day.scaleRelativeError, "relative error of the scale, 1 sigma");
    keys.logical("PROVISNL", worked.provisional, "worked out before the day was kept");
    const flux::FluxValue& daily = worked.day.daily;
    if (daily.fluxSfu) {
        keys.number("DAILYSFU", *daily.fluxSfu, "[SFU] the day's quiet flux");
        keys.number("DAILYERR", daily.error, "[SFU] its error, the station's own, 1 sigma");
        keys.number("DAILYTOT", daily.totalError, "[SFU] its error with the scale's, 1 sigma");
    } else {
        keys.text("DAILYREF", refusalWord(daily.refusal), "why the day has no value");
    }
    keys.integer("DAILYN", daily.cleanReadings, "quiet readings behind the daily value");
    keys.integer("NBURSTS", static_cast<long>(worked.day.bursts.size()), "bursts found");
}

}  // namespace

bool saveFluxFits(const WorkedFluxDay& worked, const QString& path, QString* problem)
{
    const std::size_t n = std::min(worked.readings.size(), worked.day.readings.size());
    if (n == 0) {
        *problem = notWritten(path, QStringLiteral("no readings"));
        return false;
    }
    // Written aside, then renamed over the name asked for. cfitsio's disk
    // file takes the name as it is, without its bracketed filters.
    const QString aside = path + QStringLiteral(".part-%1").arg(QCoreApplication::applicationPid());
    const QByteArray asideName = QFile::encodeName(aside);
    QFile::remove(aside);
    int status = 0;
    fitsfile* file = nullptr;
    fits_create_diskfile(&file, asideName.constData(), &status);
    if (status != 0) {
        *problem = notWritten(path, fitsProblem(status));
        return false;
    }
    const double first = worked.day.readings.front().utc;
    const double last = worked.day.readings[n - 1].utc;
    FitsKeys keys(file, &status);
    fits_create_img(file, BYTE_IMG, 0, nullptr, &status);
    writeDayKeys(keys, worked, first, last);
    fits_write_chksum(file, &status);

    char ttype[][9] = {"TIME", "FLUX", "ERROR", "TOTERROR", "FLAGS", "INBURST", "QUIET"};
    char tform[][3] = {"1D", "1D", "1D", "1D", "1J", "1L", "1D"};
    char tunit[][4] = {"s", "SFU", "SFU", "SFU", "", "", "SFU"};
    char* types[7];
    char* forms[7];
    char* units[7];
    for (int i = 0; i < 7; ++i) {
        types[i] = ttype[i];
        forms[i] = tform[i];
        units[i] = tunit[i];
    }
    char extension[] = "FLUX";
    fits_create_tbl(file, BINARY_TBL, static_cast<LONGLONG>(n), 7, types, forms, units, extension, &status);
    writeDayKeys(keys, worked, first, last);
    keys.text("BUNIT", QStringLiteral("SFU"), "solar flux unit, 1e-22 W m-2 Hz-1");
    keys.text("TIMEUNIT", QStringLiteral("s"), "");
    keys.text("TIMEREF", QStringLiteral("TOPOCENT"), "");
    keys.text("TCOMM1", QStringLiteral("seconds since DATE-OBS"), "");
    keys.text("TCOMM5", QStringLiteral("flag bits: 1 moved, 2 off-sun, 4 reference, 8 stow, 16 measurement, 32 spike, "
                                       "64 no-reference, 128 sun-low, 256 unreadable, 512 gain-step"),
              "");
    std::vector<double> time(n), fluxSfu(n), error(n), totalError(n), quiet(n);
    std::vector<int> flags(n);
    std::vector<char> inBurst(n);
    const double nan = std::nan("");
    for (std::size_t i = 0; i < n; ++i) {
        const flux::FluxReading& r = worked.day.readings[i];
        time[i] = r.utc - first;
        fluxSfu[i] = r.fluxSfu.value_or(nan);
        error[i] = r.fluxSfu ? r.error : nan;
        totalError[i] = r.fluxSfu ? r.totalError : nan;
        quiet[i] = r.quietSfu.value_or(nan);
        flags[i] = static_cast<int>(r.flags);
        inBurst[i] = r.inBurst ? 1 : 0;
    }
    const auto rows = static_cast<LONGLONG>(n);
    fits_write_col(file, TDOUBLE, 1, 1, 1, rows, time.data(), &status);
    fits_write_col(file, TDOUBLE, 2, 1, 1, rows, fluxSfu.data(), &status);
    fits_write_col(file, TDOUBLE, 3, 1, 1, rows, error.data(), &status);
    fits_write_col(file, TDOUBLE, 4, 1, 1, rows, totalError.data(), &status);
    fits_write_col(file, TINT, 5, 1, 1, rows, flags.data(), &status);
    fits_write_col(file, TLOGICAL, 6, 1, 1, rows, inBurst.data(), &status);
    fits_write_col(file, TDOUBLE, 7, 1, 1, rows, quiet.data(), &status);
    fits_write_chksum(file, &status);
    const int written = status;
    int closing = 0;
    fits_close_file(file, &closing);
    if (written != 0 || closing != 0) {
        QFile::remove(aside);
        *problem = notWritten(path, fitsProblem(written != 0 ? written : closing));
        return false;
    }
    // rename() replaces the old file in one step; QFile::rename would not.
    if (std::rename(asideName.constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(aside);
        *problem = notWritten(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

}  // namespace heliotrope::rotctl
