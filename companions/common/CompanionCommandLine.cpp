#include "companions/common/CompanionCommandLine.h"

#include <QCoreApplication>

namespace heliotrope::companions {

CompanionCommandLine::CompanionCommandLine(const QString& description)
{
    m_parser.setApplicationDescription(description);
    addBilingualHelpOption(m_parser);
    m_parser.addOption(QCommandLineOption(QStringLiteral("version"),
                                          QStringLiteral("版を表示して終了する。\nShow the version and exit.")));
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
