#pragma once

// The scaffolding both companions' command lines share, so that they read
// alike: help in Japanese and English (-h, --help), the version (--version),
// a line Qt cannot parse or a stray argument refused with exit code 2, and
// every problem with the values gathered and said together, so that the
// operator fixes them in one go. Each program keeps its own option table, as
// rows of data, and reads its values with the one set of readers below.

#include "companions/common/OptionValues.h"

#include <QCommandLineParser>
#include <QStringList>

#include <initializer_list>
#include <optional>
#include <span>
#include <type_traits>

namespace heliotrope::companions {

// One row of a program's option table: the long name, the description
// (Japanese, then the English on the next line), and for an option that takes
// a value, the value's name and its default (none: no default).
struct OptionRow {
    // A file's value is a path in the folder the command was typed in: a
    // request sent to a running bridge carries it made absolute.
    enum class Value { Text,
                       File };

    const char* name;
    const char* description;
    const char* valueName = nullptr;
    const char* defaultValue = nullptr;
    Value value = Value::Text;
};

class CompanionCommandLine {
public:
    // description: what the program does, in Japanese and then English.
    explicit CompanionCommandLine(const QString& description);

    // For the program's own options: addOptions, value, values, isSet.
    QCommandLineParser& parser() { return m_parser; }
    const QCommandLineParser& parser() const { return m_parser; }

    // The program's option table, in the order --help lists it; a Japanese
    // description is broken into lines only where Japanese may break.
    void addOption(QCommandLineOption option);
    void addOptions(std::span<const OptionRow> rows);
    void addOptions(std::initializer_list<OptionRow> rows) { addOptions(std::span(rows.begin(), rows.size())); }

    // The readers every program reads its values with. Each reads the option
    // named (its value, else its default) into `into` when sound, and
    // otherwise adds the reason to the problems.
    void readNumber(const QString& name, double lowest, double highest, double& into, bool lowestExcluded = false);
    // Only when the option is given: nothing otherwise.
    void readOptionalNumber(const QString& name, double lowest, double highest, std::optional<double>& into,
                            bool lowestExcluded = false);
    void readPort(const QString& name, bool allowZero, quint16& into);
    void readListenAddress(const QString& name, QHostAddress& into);
    void readHostAndPort(const QString& name, QString& host, quint16& port);
    void readSite(const QString& name, std::optional<heliotrope::sky::Site>& into);
    // Each of `names` given without what it goes with (a run, a mode) is a
    // problem: it would do nothing. withJapanese/withEnglish: "--calibrate".
    void refuseWithout(const QString& withJapanese, const QString& withEnglish, std::initializer_list<QString> names);
    void readPair(const QString& name, double limit, std::pair<double, double>& into);

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
