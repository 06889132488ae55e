#include "companions/measure/SunNoiseCsv.h"

#include <QDateTime>

namespace heliotrope::measure {

namespace {

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString pointColumns(const PointReading& point)
{
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(number(point.azimuth, 3), number(point.elevation, 3), number(point.dwell.power, 3),
             number(point.dwell.spread, 3))
        .arg(point.dwell.count);
}

}  // namespace

bool SunNoiseCsv::open(const QString& path, QString* problem)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        if (problem) {
            *problem = QStringLiteral("CSV ファイル「%1」を開けません: %2\nCannot open the CSV file \"%1\": %2")
                           .arg(path, m_file.errorString());
        }
        return false;
    }
    const QByteArray header = "repeat,utc,sun_az_deg,sun_el_deg,sun_db,sun_sd_db,sun_readings,"
                              "cold_az_deg,cold_el_deg,cold_db,cold_sd_db,cold_readings,y_db\n";
    if (m_file.write(header) != header.size() || !m_file.flush()) {
        if (problem)
            *problem = QStringLiteral("CSV ファイル「%1」に書き込めません。\nCannot write the CSV file \"%1\".").arg(path);
        m_file.close();
        return false;
    }
    return true;
}

bool SunNoiseCsv::write(int repeat, double utcSeconds, const PointReading& sun, const PointReading& cold)
{
    if (!m_file.isOpen())
        return false;
    const QString utc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(utcSeconds * 1000.0), Qt::UTC)
                            .toString(Qt::ISODateWithMs);
    const QString row = QStringLiteral("%1,%2,%3,%4,%5\n")
                            .arg(repeat)
                            .arg(utc, pointColumns(sun), pointColumns(cold), number(sun.dwell.power - cold.dwell.power, 3));
    const QByteArray bytes = row.toUtf8();
    // Flushed row by row: a run stopped with Ctrl+C keeps what it measured.
    return m_file.write(bytes) == bytes.size() && m_file.flush();
}

}  // namespace heliotrope::measure
