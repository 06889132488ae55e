#pragma once

// Reading the command-line values the companions take. Each reader returns
// the value, or nothing and a reason that names the option.

#include "companions/sky/TrueSun.h"

#include <QHostAddress>
#include <QString>

#include <optional>
#include <utility>

class QCommandLineParser;

namespace heliotrope::companions {

template <typename T>
struct OptionValue {
    std::optional<T> value;
    QString problem;
};

// An IPv4 or IPv6 address to listen on ("127.0.0.1", "::1", "0.0.0.0"), or
// "localhost". Host names are not looked up: a listening address is this
// computer's own.
OptionValue<QHostAddress> listenAddressOption(const QString& option, const QString& text);

// A UDP or TCP port, 0 to 65535, read like the window's port box (blanks
// around, full-width digits). 0 only when allowZero (a port chosen by the system).
OptionValue<quint16> portOption(const QString& option, const QString& text, bool allowZero);

// A finite decimal number within [minimum, maximum], or (minimum, maximum]
// when minimumExcluded (a quantity that cannot be zero).
OptionValue<double> numberOption(const QString& option, const QString& text, double minimum, double maximum,
                                 bool minimumExcluded = false);

// "LAT,LON" or "LAT,LON,HEIGHT": a site in decimal degrees (north and east
// positive, latitude −90 to 90, longitude −180 to 180) and metres above the
// ellipsoid (−500 to 9000, default 0). The reason names the part at fault in
// Japanese and English.
OptionValue<heliotrope::sky::Site> siteOption(const QString& option, const QString& text);

// "AZ,EL": two decimal numbers of degrees, each within ±limit.
OptionValue<std::pair<double, double>> anglePairOption(const QString& option, const QString& text, double limit);

// "host:port", "host", "[v6]:port" or "[v6]"; the port defaults to defaultPort.
struct HostAndPort {
    QString host;
    quint16 port = 0;
};
OptionValue<HostAndPort> hostAndPortOption(const QString& option, const QString& text, quint16 defaultPort);

// What a program's command line came to: either the options to run with, or a
// text to print (the help, or what was wrong) and the exit code to end with.
template <typename Options>
struct CommandLine {
    std::optional<Options> options;
    QString text;  // the help (exit code 0, for stdout) or the problems (for stderr)
    int exitCode = 0;
};

// Adds -h/--help with a description in both languages (Qt's own help option is
// described in English only).
void addBilingualHelpOption(QCommandLineParser& parser);
bool helpRequested(const QCommandLineParser& parser);

// Exit code for a command line that cannot be used, as usual for console tools.
inline constexpr int kUsageExitCode = 2;

}  // namespace heliotrope::companions
