#pragma once

// What a system temperature run puts over or into the feed between its
// dwells: the absorber, by the operator's hands, asked on the terminal and
// answered with Enter; or the noise source, by the operator's commands.
// Each step says done or why not, later, never from within take().

#include "companions/measure/SystemTemperatureOptions.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace heliotrope::measure {

class FeedSteps : public QObject {
    Q_OBJECT

public:
    enum class Step { Raise,  // the absorber over the feed, or the source on
                      Lower   // the absorber off, or the source off
    };

    using QObject::QObject;
    virtual void take(Step step) = 0;
    // The run ends early: a step under way is given up, and what is left
    // raised is said (or, for the source, switched off).
    virtual void abandon(bool raised) = 0;

signals:
    void notice(const QString& line);
    void taken();
    void failed(const QString& japanese, const QString& english);
};

// The steps the options ask for: the terminal's prompts for hot/cold, the
// commands for the noise source.
std::unique_ptr<FeedSteps> makeFeedSteps(const SystemTemperatureOptions& options);

// Who makes the steps: a station's tests put their own hands in the operator's place.
using FeedStepsMaker = std::function<std::unique_ptr<FeedSteps>(const SystemTemperatureOptions&)>;

}  // namespace heliotrope::measure
