#include "companions/rotctl/truesun/TrackingLog.h"

#include "companions/common/JstText.h"
#include "companions/sky/TrueSun.h"

#include <cmath>

using heliotrope::companions::jstTextWithMilliseconds;
using heliotrope::companions::SetPoint;

namespace heliotrope::rotctl {

namespace {

constexpr QByteArrayView kFirstColumns = "jst,set_az,set_el,az,el,error_az,error_el";
constexpr QByteArrayView kLaterColumns = ",true_az,true_el,set_minus_true,commanded_minus_reported";

QByteArray cell(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    return QByteArray::number(rounded == 0.0 ? 0.0 : rounded, 'f', 2);
}

}  // namespace

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
            *problem = QStringLiteral("記録ファイル「%1」を開けません（%2）。--log のパスと書き込み権限を確かめてください。\n"
                                      "Cannot open the log \"%1\" (%2). Check the --log path and its permissions.")
                           .arg(path, m_file.errorString());
        return false;
    }
    m_firstColumnsOnly = false;
    if (m_file.size() == 0) {
        m_file.write(kFirstColumns.toByteArray() + kLaterColumns.toByteArray() + '\n');
        m_file.flush();
    } else {
        // Appending to an earlier log: its header decides how many columns it has.
        QFile earlier(path);
        if (earlier.open(QIODevice::ReadOnly))
            m_firstColumnsOnly = earlier.readLine().trimmed() == kFirstColumns;
    }
    return true;
}

bool TrackingLog::write(qint64 unixMilliseconds, const std::optional<SetPoint>& setPoint,
                        const rotator::RotatorPosition& position, const TrackingColumns& later)
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
    if (!m_firstColumnsOnly) {
        row += ',';
        if (later.trueSun)
            row += cell(later.trueSun->azimuth) + ',' + cell(later.trueSun->elevation);
        else
            row += ',';
        row += ',';
        if (later.windowMinusTrue)
            row += cell(*later.windowMinusTrue);
        row += ',';
        if (later.commanded) {
            row += cell(heliotrope::sky::skySeparation(later.commanded->azimuth, later.commanded->elevation,
                                                       position.azimuth, position.elevation));
        }
    }
    row += '\n';
    return m_file.write(row) == row.size() && m_file.flush();
}

}  // namespace heliotrope::rotctl
