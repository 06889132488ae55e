#include "companions/common/CompanionCommandLine.h"

#include <QCoreApplication>

namespace heliotrope::companions {

namespace {

// Qt wraps an option's description by counting characters, and breaks
// Japanese, which has no spaces, in the middle of a word. A Japanese line Qt
// would wrap is broken here first, where a line may break (after 、。）」 and
// spaces, before （「, and where the text turns between Japanese and ASCII),
// to at most this many characters: within the narrowest description column
// the companions' help has, so that Qt leaves the pieces whole. A line short
// enough for Qt is left as it is.
constexpr qsizetype kHelpCharacters = 40;

bool wide(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF);
}

bool breakAfter(const QString& line, qsizetype i)
{
    if (i + 1 >= line.size())
        return true;
    const QChar c = line[i];
    const QChar next = line[i + 1];
    if (QStringLiteral("、。）」』，：").contains(c) || c == QLatin1Char(' '))
        return !QStringLiteral("、。）」』，").contains(next);
    if (QStringLiteral("（「『").contains(next))
        return true;
    // Between Japanese and ASCII, as long as neither side is punctuation that holds on.
    return wide(c) != wide(next) && next != QLatin1Char(' ') && !next.isPunct() && !c.isPunct();
}

QString wrappedLine(const QString& line)
{
    bool japanese = false;
    for (const QChar c : line)
        japanese = japanese || wide(c);
    if (!japanese)
        return line;  // Qt wraps English at its spaces
    QStringList pieces;
    qsizetype start = 0;
    qsizetype lastBreak = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (i - start + 1 > kHelpCharacters && lastBreak >= start) {
            pieces << line.mid(start, lastBreak + 1 - start).trimmed();
            start = lastBreak + 1;
            lastBreak = -1;
        }
        if (breakAfter(line, i))
            lastBreak = i;
    }
    pieces << line.mid(start).trimmed();
    return pieces.join(QLatin1Char('\n'));
}

QString wrappedDescription(const QString& description)
{
    QStringList lines = description.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = wrappedLine(line);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

CompanionCommandLine::CompanionCommandLine(const QString& description)
{
    m_parser.setApplicationDescription(description);
    addBilingualHelpOption(m_parser);
    addOption(QCommandLineOption(QStringLiteral("version"), QStringLiteral("版を表示して終了する。\nShow the version and exit.")));
}

void CompanionCommandLine::addOption(QCommandLineOption option)
{
    option.setDescription(wrappedDescription(option.description()));
    m_parser.addOption(option);
}

void CompanionCommandLine::addOptions(std::span<const OptionRow> rows)
{
    for (const OptionRow& row : rows) {
        const QString name = QString::fromUtf8(row.name);
        const QString description = wrappedDescription(QString::fromUtf8(row.description));
        if (!row.valueName)
            m_parser.addOption(QCommandLineOption(name, description));
        else
            m_parser.addOption(QCommandLineOption(name, description, QString::fromUtf8(row.valueName),
                                                  row.defaultValue ? QString::fromUtf8(row.defaultValue) : QString()));
    }
}

void CompanionCommandLine::readNumber(const QString& name, double lowest, double highest, double& into,
                                      bool lowestExcluded)
{
    take(numberOption(name, m_parser.value(name), lowest, highest, lowestExcluded), into);
}

void CompanionCommandLine::readOptionalNumber(const QString& name, double lowest, double highest,
                                              std::optional<double>& into, bool lowestExcluded)
{
    if (!m_parser.isSet(name))
        return;
    double value = 0;
    take(numberOption(name, m_parser.value(name), lowest, highest, lowestExcluded), value);
    into = value;
}

void CompanionCommandLine::readPort(const QString& name, bool allowZero, quint16& into)
{
    take(portOption(name, m_parser.value(name), allowZero), into);
}

void CompanionCommandLine::readListenAddress(const QString& name, QHostAddress& into)
{
    take(listenAddressOption(name, m_parser.value(name)), into);
}

void CompanionCommandLine::readHostAndPort(const QString& name, QString& host, quint16& port)
{
    HostAndPort read{host, port};
    take(hostAndPortOption(name, m_parser.value(name), port), read);
    host = read.host;
    port = read.port;
}

void CompanionCommandLine::readSite(const QString& name, std::optional<heliotrope::sky::Site>& into)
{
    if (!m_parser.isSet(name))
        return;
    const OptionValue<heliotrope::sky::Site> read = siteOption(name, m_parser.value(name));
    if (read.value)
        into = *read.value;
    else
        m_problems << read.problem;
}

void CompanionCommandLine::readPair(const QString& name, double limit, std::pair<double, double>& into)
{
    take(anglePairOption(name, m_parser.value(name), limit), into);
}

void CompanionCommandLine::refuseWithout(const QString& withJapanese, const QString& withEnglish,
                                         std::initializer_list<QString> names)
{
    for (const QString& name : names) {
        if (m_parser.isSet(name))
            m_problems << QStringLiteral("--%1 は %2 と一緒に使います。\n--%1 goes with %3.").arg(name, withJapanese, withEnglish);
    }
}

bool CompanionCommandLine::parseArguments(const QStringList& arguments)
{
    if (!m_parser.parse(arguments)) {
        // Qt words its reason in English only.
        m_endText = QStringLiteral("コマンドラインを読めません: %1 --help で使い方を表示します。\n%1 See --help.")
                        .arg(m_parser.errorText());
        m_endCode = kUsageExitCode;
        return false;
    }
    if (helpRequested(m_parser)) {
        m_endText = m_parser.helpText().trimmed();
        m_endCode = 0;
        return false;
    }
    // The version is the build's, from the project's one version number, so
    // that an operator can say which one runs and the package can be checked
    // against its changelog.
    if (m_parser.isSet(QStringLiteral("version"))) {
        m_endText = QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(), QStringLiteral(HELIOTROPE_VERSION));
        m_endCode = 0;
        return false;
    }
    const QStringList extra = m_parser.positionalArguments();
    if (!extra.isEmpty()) {
        m_problems << QStringLiteral("余分な引数があります: %1（値はオプションで指定します。例: --port 10006）\n"
                                     "Unexpected arguments: %1 (values go with their options, e.g. --port 10006)")
                          .arg(extra.join(QLatin1Char(' ')));
    }
    return true;
}

}  // namespace heliotrope::companions
