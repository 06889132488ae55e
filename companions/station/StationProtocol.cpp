#include "companions/station/StationProtocol.h"

#include <QList>
#include <QStringDecoder>

#include <cmath>

namespace heliotrope::station {

namespace {

struct Verb {
    const char* word;
    RequestKind kind;
};
constexpr Verb kVerbs[] = {
    {"calibrate", RequestKind::Calibrate},
    {"sun-noise", RequestKind::SunNoise},
    {"stow", RequestKind::Stow},
    {"stop", RequestKind::Stop},
    {"resume", RequestKind::Resume},
    {"status", RequestKind::Status},
    {"cancel", RequestKind::Cancel},
    {"noise-source", RequestKind::NoiseSource},
};

const char* verbWord(RequestKind kind)
{
    for (const Verb& v : kVerbs)
        if (v.kind == kind)
            return v.word;
    return "status";
}

bool needsEscape(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F || c == '%' || c == '"';
}

QByteArray encodeWord(const QString& word)
{
    if (word.isEmpty())
        return QByteArrayLiteral("\"\"");
    QByteArray out;
    for (const char c : word.toUtf8()) {
        if (needsEscape(c)) {
            out += '%';
            out += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0').toUpper();
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<QString> utf8Text(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// A word's text; nothing when an escape is broken, the bytes are not UTF-8
// or the word holds a control character.
std::optional<QString> decodeWord(const QByteArray& word)
{
    if (word == "\"\"")
        return QString();
    QByteArray bytes;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] == '"')
            return std::nullopt;
        if (word[i] != '%') {
            bytes += word[i];
            continue;
        }
        if (i + 2 >= word.size())
            return std::nullopt;
        const int high = hexValue(word[i + 1]);
        const int low = hexValue(word[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return std::nullopt;
    return utf8Text(bytes);
}

RequestReading refuse(StationCode code, const QString& japanese, const QString& english)
{
    RequestReading reading;
    reading.code = code;
    reading.problem = japanese + QLatin1Char('\n') + english;
    return reading;
}

std::optional<double> numberFrom(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Received text as it may be said back: nothing that is not printable (C1
// controls, direction overrides) reaches the asker's terminal.
QString shown(const QString& text)
{
    QString out = text.left(40);
    for (QChar& c : out)
        if (!c.isPrint())
            c = QChar(0xFFFD);
    return text.size() > 40 ? out + QStringLiteral("...") : out;
}

QByteArray tagged(const char* tag, const QString& text)
{
    QByteArray out;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        for (QChar& c : line)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                c = QLatin1Char(' ');
        out += tag;
        out += line.toUtf8();
        out += '\n';
    }
    return out;
}

}  // namespace

QString stowBoundsJapanese()
{
    return QStringLiteral("方位角 %1〜%2°、仰角 %3〜%4°").arg(kLowestStowAzimuth).arg(kHighestStowAzimuth).arg(kLowestStowElevation).arg(kHighestStowElevation);
}

QString stowBoundsEnglish()
{
    return QStringLiteral("azimuth %1 to %2°, elevation %3 to %4°")
        .arg(kLowestStowAzimuth)
        .arg(kHighestStowAzimuth)
        .arg(kLowestStowElevation)
        .arg(kHighestStowElevation);
}

int exitStatusFor(StationCode code)
{
    switch (code) {
    case StationCode::Ok:
    case StationCode::SunTooLow:
    case StationCode::Held:
        return 0;
    case StationCode::NoResult:
    case StationCode::Failed:
        return 1;
    case StationCode::InvalidArgument:
    case StationCode::UnknownRequest:
    case StationCode::Garbage:
        return 2;
    case StationCode::Refused:
        return 3;
    }
    return 1;
}

StationCode codeFromNumber(int number)
{
    for (const StationCode c : {StationCode::Ok, StationCode::InvalidArgument, StationCode::UnknownRequest,
                                StationCode::Failed, StationCode::Garbage, StationCode::Refused, StationCode::NoResult,
                                StationCode::SunTooLow, StationCode::Held})
        if (static_cast<int>(c) == number)
            return c;
    return StationCode::Failed;
}

QString codeText(StationCode code)
{
    switch (code) {
    case StationCode::Ok:
        return QStringLiteral("済みました。\nDone.");
    case StationCode::InvalidArgument:
        return QStringLiteral("依頼の引数が使えません。\nThe request's arguments are not usable.");
    case StationCode::UnknownRequest:
        return QStringLiteral("そのような依頼はありません。\nNo such request.");
    case StationCode::Failed:
        return QStringLiteral("ブリッジが依頼を果たせませんでした。\nThe bridge could not do it.");
    case StationCode::Garbage:
        return QStringLiteral("依頼として読めない行です。\nThe line is not a request.");
    case StationCode::Refused:
        return QStringLiteral("ブリッジが今は依頼を断りました。\nThe bridge refused the request for now.");
    case StationCode::NoResult:
        return QStringLiteral("測定は結果なしで終わりました。\nThe measurement ended without a result.");
    case StationCode::SunTooLow:
        return QStringLiteral("太陽が低いため、測定を飛ばしました（失敗ではありません）。\n"
                              "Skipped: the sun is too low to measure (not a failure).");
    case StationCode::Held:
        return QStringLiteral("ローテーターが格納中か停止中のため、測定を飛ばしました（失敗ではありません）。\n"
                              "Skipped: the rotator is held stowed or stopped (not a failure).");
    }
    return {};
}

namespace {

// The request a known verb makes of its decoded arguments, or why they do
// not fit it.
RequestReading requestFor(const Verb& found, QStringList arguments)
{
    StationRequest request;
    request.kind = found.kind;
    const QString name = QString::fromLatin1(found.word);
    switch (request.kind) {
    case RequestKind::Calibrate:
        if (arguments.isEmpty()
            || (arguments.first() != QLatin1String("cross") && arguments.first() != QLatin1String("five")))
            return refuse(StationCode::InvalidArgument, QStringLiteral("calibrate には型 cross か five が要ります。"),
                          QStringLiteral("calibrate needs its pattern, cross or five."));
        request.pattern = arguments.takeFirst();
        request.arguments = arguments;
        break;
    case RequestKind::SunNoise:
    case RequestKind::NoiseSource:
        request.arguments = arguments;
        break;
    case RequestKind::Stow: {
        if (arguments.size() == 1 && arguments.first().contains(QLatin1Char(',')))
            arguments = arguments.first().split(QLatin1Char(','));
        if (arguments.isEmpty())
            break;
        const std::optional<double> azimuth = arguments.size() == 2 ? numberFrom(arguments[0]) : std::nullopt;
        const std::optional<double> elevation = arguments.size() == 2 ? numberFrom(arguments[1]) : std::nullopt;
        if (!azimuth || !elevation || *azimuth < kLowestStowAzimuth || *azimuth > kHighestStowAzimuth
            || *elevation < kLowestStowElevation || *elevation > kHighestStowElevation)
            return refuse(StationCode::InvalidArgument, QStringLiteral("stow の位置は「方位角 仰角」の数二つです（%1）。").arg(stowBoundsJapanese()),
                          QStringLiteral("stow takes its position as two numbers, azimuth and elevation (%1).").arg(stowBoundsEnglish()));
        request.azimuth = azimuth;
        request.elevation = elevation;
        break;
    }
    case RequestKind::Stop:
    case RequestKind::Resume:
    case RequestKind::Status:
    case RequestKind::Cancel:
        if (!arguments.isEmpty())
            return refuse(StationCode::InvalidArgument, QStringLiteral("%1 は引数を取りません。").arg(name),
                          QStringLiteral("%1 takes no arguments.").arg(name));
        break;
    }
    RequestReading reading;
    reading.request = request;
    return reading;
}

}  // namespace

RequestReading readRequest(const QByteArray& received)
{
    QByteArray line = received;
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() > kLongestLine)
        return refuse(StationCode::Garbage, QStringLiteral("依頼の行が %1 バイトを超えています。").arg(kLongestLine),
                      QStringLiteral("the request line is longer than %1 bytes.").arg(kLongestLine));
    const std::optional<QString> asText = utf8Text(line);
    if (!asText)
        return refuse(StationCode::Garbage, QStringLiteral("依頼の行が UTF-8 の文字列ではありません。"),
                      QStringLiteral("the request line is not UTF-8 text."));
    line.replace('\t', ' ');
    for (const char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return refuse(StationCode::Garbage, QStringLiteral("依頼の行に制御文字があります。"),
                          QStringLiteral("the request line holds a control character."));
    const QList<QByteArray> parts = line.split(' ');
    QList<QByteArray> words;
    for (const QByteArray& part : parts)
        if (!part.isEmpty())
            words << part;
    if (words.isEmpty())
        return refuse(StationCode::Garbage, QStringLiteral("空の行は依頼ではありません。"),
                      QStringLiteral("an empty line is not a request."));
    if (words.size() > kMostWords)
        return refuse(StationCode::Garbage, QStringLiteral("依頼の語が %1 を超えています。").arg(kMostWords),
                      QStringLiteral("the request has more than %1 words.").arg(kMostWords));
    const QByteArray verb = words.takeFirst();
    const Verb* found = nullptr;
    for (const Verb& v : kVerbs)
        if (verb == v.word)
            found = &v;
    if (!found)
        return refuse(StationCode::UnknownRequest,
                      QStringLiteral("「%1」という依頼はありません（calibrate, sun-noise, noise-source, stow, stop, resume, status, cancel）。")
                          .arg(shown(*utf8Text(verb))),
                      QStringLiteral("there is no request \"%1\" (calibrate, sun-noise, noise-source, stow, stop, resume, status, cancel).")
                          .arg(shown(*utf8Text(verb))));
    QStringList arguments;
    for (const QByteArray& word : words) {
        const std::optional<QString> decoded = decodeWord(word);
        if (!decoded)
            return refuse(StationCode::InvalidArgument,
                          QStringLiteral("語「%1」の %XX の書き方か文字が正しくありません。").arg(shown(*utf8Text(word))),
                          QStringLiteral("the word \"%1\" has a broken %XX escape or a control character.")
                              .arg(shown(*utf8Text(word))));
        arguments << *decoded;
    }

    return requestFor(*found, arguments);
}

QByteArray requestLine(const StationRequest& request)
{
    QByteArray line = verbWord(request.kind);
    const auto add = [&](const QString& word) {
        line += ' ';
        line += encodeWord(word);
    };
    switch (request.kind) {
    case RequestKind::Calibrate:
        add(request.pattern);
        for (const QString& word : request.arguments)
            add(word);
        break;
    case RequestKind::SunNoise:
    case RequestKind::NoiseSource:
        for (const QString& word : request.arguments)
            add(word);
        break;
    case RequestKind::Stow:
        if (request.azimuth && request.elevation) {
            add(QString::number(*request.azimuth, 'g', 17));
            add(QString::number(*request.elevation, 'g', 17));
        }
        break;
    default:
        break;
    }
    return line + '\n';
}

QByteArray progressLines(const QString& text)
{
    return tagged("progress: ", text);
}

QByteArray sayLines(const QString& text)
{
    return tagged("say: ", text);
}

QByteArray endLine(StationCode code)
{
    return QByteArrayLiteral("RPRT ") + QByteArray::number(static_cast<int>(code)) + '\n';
}

std::optional<AnswerLine> readAnswerLine(const QByteArray& received)
{
    QByteArray line = received;
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.size() > kLongestLine)
        return std::nullopt;
    const auto textAfter = [&](qsizetype length) { return utf8Text(line.mid(length)); };
    if (line.startsWith("progress: ")) {
        if (const auto text = textAfter(10))
            return AnswerLine{AnswerKind::Progress, *text, StationCode::Ok};
        return std::nullopt;
    }
    if (line.startsWith("say: ")) {
        if (const auto text = textAfter(5))
            return AnswerLine{AnswerKind::Say, *text, StationCode::Ok};
        return std::nullopt;
    }
    if (line.startsWith("RPRT ")) {
        const QByteArray number = line.mid(5);
        bool ok = false;
        const int value = number.toInt(&ok);
        if (!ok || number.isEmpty() || number.size() > 6)
            return std::nullopt;
        return AnswerLine{AnswerKind::End, QString(), codeFromNumber(value)};
    }
    return std::nullopt;
}

}  // namespace heliotrope::station
