#pragma once

// Which power source the operator chose with --power, and the one place it is
// made: a radio through rigctld, or a command run once per reading. Both
// measurements on the sun read the power through it.

#include "companions/power/PowerSource.h"

#include <QString>

#include <memory>
#include <optional>

namespace heliotrope::power {

struct PowerSourceChoice {
    enum class Kind { Rigctld,
                      Command } kind
        = Kind::Rigctld;
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 4532;
    QString command;
};

// "rigctld", "rigctld:HOST", "rigctld:HOST:PORT" or "command:CMD ARGS...";
// nothing for any other text.
std::optional<PowerSourceChoice> powerSourceChoice(const QString& text);

// The source chosen; nothing, with the reason in Japanese and English, when a
// command line holds no program that can run.
std::unique_ptr<PowerSource> makePowerSource(const PowerSourceChoice& choice, QString* problem);

}  // namespace heliotrope::power
