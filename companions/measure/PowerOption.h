#pragma once

// --power, which both measurements on the sun read the received power by:
// read once, in one wording, for the calibration and the sun-noise run alike.

#include "companions/power/PowerSourceChoice.h"

#include <QStringList>

#include <optional>

class QCommandLineParser;

namespace heliotrope::rotctl {

// The source --power names; nothing, with the reason (Japanese, then
// English) added to `problems`, when it is missing or not of either form.
std::optional<heliotrope::power::PowerSourceChoice> readPowerOption(const QCommandLineParser& parser, QStringList& problems);

}  // namespace heliotrope::rotctl
