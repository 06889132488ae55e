#pragma once

// --fit-pointing-model's own options: since when, which terms, the picture,
// and whether rehearsals' scans count.

#include "companions/pointing/PointingFit.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

struct PointingFitOptions {
    QDateTime since;  // UTC; invalid: every scan recorded
    std::vector<heliotrope::pointing::Term> terms{heliotrope::pointing::kAllTerms.begin(),
                                                  heliotrope::pointing::kAllTerms.end()};
    QString plotPath;             // empty: no picture
    bool withRehearsals = false;  // --with-rehearsals: scans run on a shifted clock too
};

// Nothing without --fit-pointing-model; --since, --terms and --plot without it are problems.
void addPointingFitOptions(companions::CompanionCommandLine& commandLine);
std::optional<PointingFitOptions> readPointingFitOptions(companions::CompanionCommandLine& commandLine);

}  // namespace heliotrope::rotctl
