#include "companions/controllers/CommandRecord.h"

#include "companions/common/ConsoleText.h"

namespace heliotrope::controllers {

namespace {

// A text command without its CR or LF; a binary frame as it came.
QByteArray withoutLineEnd(QByteArray message)
{
    while (message.endsWith('\r') || message.endsWith('\n'))
        message.chop(1);
    return message;
}

}  // namespace

bool CommandRecord::open(const QString& path, QString* problem)
{
    if (path.isEmpty())
        return true;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        *problem = QStringLiteral("コマンド記録 %1 を開けません: %2\nCannot open the command log %1: %2").arg(path, m_file.errorString());
        return false;
    }
    m_file.write("utc_ms,command,azimuth,elevation,within_limits\n");
    m_file.flush();
    return true;
}

void CommandRecord::note(const Exchange& exchange, qint64 utcMs)
{
    if (exchange.request.kind == ControllerRequest::Kind::Query) {
        ++m_counts.queries;
        return;
    }
    if (exchange.request.kind != ControllerRequest::Kind::SetPoint)
        return;
    ++m_counts.setPoints;
    if (m_lastSetPoint && m_lastSetPoint->azimuth == exchange.commanded.azimuth && m_lastSetPoint->elevation == exchange.commanded.elevation)
        ++m_counts.repeatedSetPoints;
    m_lastSetPoint = exchange.commanded;
    if (!exchange.withinLimits)
        ++m_counts.outsideLimits;
    if (!m_file.isOpen())
        return;
    // The command as printable text (a Rot2Prog frame is binary), with a
    // comma in it escaped like any other byte, so that a row keeps its columns.
    QString command = companions::printableBytes(withoutLineEnd(exchange.request.message), 64);
    command.replace(QLatin1Char(','), QStringLiteral("\\x2C"));
    m_file.write(QStringLiteral("%1,%2,%3,%4,%5\n")
                     .arg(utcMs)
                     .arg(command)
                     .arg(exchange.commanded.azimuth, 0, 'f', 2)
                     .arg(exchange.commanded.elevation, 0, 'f', 2)
                     .arg(exchange.withinLimits ? QStringLiteral("yes") : QStringLiteral("no"))
                     .toUtf8());
    m_file.flush();
}

QString commandCountsText(const CommandCounts& counts)
{
    return QStringLiteral("受信: 設定点 %1 件・位置問い合わせ %2 件・直前と同じ設定点 %3 件・範囲外 %4 件\n"
                          "Received: %1 set-point commands, %2 position queries, %3 identical to the one before, %4 outside the limits")
        .arg(counts.setPoints)
        .arg(counts.queries)
        .arg(counts.repeatedSetPoints)
        .arg(counts.outsideLimits);
}

}  // namespace heliotrope::controllers
