#include "companions/common/CompanionCommandLine.h"

namespace heliotrope::companions {

CompanionCommandLine::CompanionCommandLine(const QString& description)
{
    m_parser.setApplicationDescription(description);
    addBilingualHelpOption(m_parser);
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
    const QStringList extra = m_parser.positionalArguments();
    if (!extra.isEmpty()) {
        m_problems << QStringLiteral("余分な引数があります: %1（値はオプションで指定します。例: --port 10006）\n"
                                     "Unexpected arguments: %1 (values go with their options, e.g. --port 10006)")
                          .arg(extra.join(QLatin1Char(' ')));
    }
    return true;
}

}  // namespace heliotrope::companions
