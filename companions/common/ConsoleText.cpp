#include "companions/common/ConsoleText.h"

#include <QtGlobal>

#include <algorithm>

namespace heliotrope::companions {

void printLine(std::FILE* stream, const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

QString bilingual(const QString& japanese, const QString& english)
{
    return japanese + QLatin1Char('\n') + english;
}

Words& Words::operator+=(const Words& more)
{
    // Japanese sentences run on without a space; English ones take one.
    japanese += more.japanese;
    if (!english.isEmpty() && !more.english.isEmpty())
        english += QLatin1Char(' ');
    english += more.english;
    return *this;
}

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // A fatal message ends the program: the operator must see why.
    if (type == QtFatalMsg)
        printLine(stderr, message);
}

}  // namespace

void keepQtQuietUnlessAsked()
{
    if (!qEnvironmentVariableIsEmpty("QT_LOGGING_RULES") || qEnvironmentVariableIntValue("HELIOTROPE_QT_MESSAGES") != 0)
        return;
    qInstallMessageHandler(quietHandler);
}

QString degreesText(double degrees)
{
    return QString::number(degrees, 'f', 2) + QStringLiteral("°");
}

QString directionTextJapanese(double azimuth, double elevation)
{
    return QStringLiteral("方位角 %1 仰角 %2").arg(degreesText(azimuth), degreesText(elevation));
}

QString directionTextEnglish(double azimuth, double elevation)
{
    return QStringLiteral("az %1, el %2").arg(degreesText(azimuth), degreesText(elevation));
}

QString endpointText(const QHostAddress& address, quint16 port)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return QStringLiteral("[%1]:%2").arg(address.toString()).arg(port);
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

QString printableBytes(const QByteArray& bytes, qsizetype maxBytes)
{
    QString text;
    const qsizetype shown = std::min(bytes.size(), maxBytes);
    for (qsizetype i = 0; i < shown; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\')
            text += QLatin1Char(static_cast<char>(byte));
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > shown)
        text += QStringLiteral("...");
    return text;
}

}  // namespace heliotrope::companions
