#pragma once

// The scaffolding both companions' command lines share, so that they read
// alike: help in Japanese and English (-h, --help), the version (--version),
// a line Qt cannot parse or a stray argument refused with exit code 2, and
// every problem with the values gathered and said together, so that the
// operator fixes them in one go. Each program keeps its own option table and reads its own values.

#include "companions/common/OptionValues.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>
#include <type_traits>

namespace heliotrope::companions {

class CompanionCommandLine {
public:
    // description: what the program does, in Japanese and then English.
    explicit CompanionCommandLine(const QString& description);

    // For the program's own options: addOptions, value, values, isSet.
    QCommandLineParser& parser() { return m_parser; }

    // Parses arguments (program name first, as QCoreApplication::arguments()
    // gives them). Returns what to end with when the program is not to run on
    // (the help or the version, exit 0; an unknown option or a missing value,
    // exit 2), or nothing when the values are to be read. Stray arguments are a problem
    // like any other.
    template <typename Options>
    std::optional<CommandLine<Options>> parse(const QStringList& arguments)
    {
        if (!parseArguments(arguments))
            return CommandLine<Options>{std::nullopt, m_endText, m_endCode};
        return std::nullopt;
    }

    // The option's long name, as the readers of OptionValues take it.
    static QString name(const QCommandLineOption& option) { return option.names().constFirst(); }

    // A value read: into `into` when sound, else its reason is a problem.
    template <typename T, typename Into>
    void take(const OptionValue<T>& read, Into& into)
    {
        if (read.value)
            into = static_cast<std::remove_reference_t<Into>>(*read.value);
        else
            m_problems << read.problem;
    }
    // What is wrong so far; a program adds its own findings (limits crossed, ...).
    QStringList& problems() { return m_problems; }

    // The options to run with, or every problem and exit code 2.
    template <typename Options>
    CommandLine<Options> result(const Options& options) const
    {
        if (!m_problems.isEmpty())
            return CommandLine<Options>{std::nullopt, m_problems.join(QLatin1Char('\n')), kUsageExitCode};
        return CommandLine<Options>{options, {}, 0};
    }

private:
    bool parseArguments(const QStringList& arguments);

    QCommandLineParser m_parser;
    QStringList m_problems;
    QString m_endText;
    int m_endCode = 0;
};

}  // namespace heliotrope::companions
