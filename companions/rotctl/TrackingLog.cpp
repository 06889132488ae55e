#include "companions/rotctl/TrackingLog.h"

#include "companions/common/JstText.h"

#include <cmath>

namespace {

QByteArray cell(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    return QByteArray::number(rounded == 0.0 ? 0.0 : rounded, 'f', 2);
}

} // namespace

double azimuthDifference(double a, double b)
{
    double difference = std::fmod(b - a, 360.0);
    if (difference > 180.0)
        difference -= 360.0;
    else if (difference <= -180.0)
        difference += 360.0;
    return difference;
}

bool TrackingLog::open(const QString& path, QString* problem)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (problem)
            *problem = QStringLiteral("記録ファイル「%1」を開けません（%2）。").arg(path, m_file.errorString());
        return false;
    }
    if (m_file.size() == 0) {
        m_file.write("jst,set_az,set_el,az,el,error_az,error_el\n");
        m_file.flush();
    }
    return true;
}

bool TrackingLog::write(qint64 unixMilliseconds, const std::optional<SetPoint>& setPoint,
                        const RotatorPosition& position)
{
    if (!m_file.isOpen())
        return false;
    QByteArray row = jstTextWithMilliseconds(unixMilliseconds).toLatin1();
    row += ',';
    if (setPoint)
        row += cell(setPoint->azimuth) + ',' + cell(setPoint->elevation);
    else
        row += ',';
    row += ',' + cell(position.azimuth) + ',' + cell(position.elevation) + ',';
    if (setPoint)
        row += cell(azimuthDifference(setPoint->azimuth, position.azimuth)) + ','
            + cell(position.elevation - setPoint->elevation);
    else
        row += ',';
    row += '\n';
    return m_file.write(row) == row.size() && m_file.flush();
}
