#pragma once

#include "app/Twips.h"

#include <QRect>
#include <QString>
#include <span>

namespace heliotrope::app {

// Where every control of the main window stands, in twips (1/1440 inch) from
// the top-left corner of its container: the window's client area, or the outer
// corner of the captioned frame that holds it. The window and its widget test
// both walk this one table.
struct ControlPlacement {
    const char* name;       // objectName and member name
    const char* container;  // "frmMain" or the frame's name
    int left;
    int top;
    int width;
    int height;
    int tabIndex;  // -1 for the shape, which has none
};

inline constexpr int kClientWidthTwips = 7464;
inline constexpr int kClientHeightTwips = 5208;

int twips(int value);  // twips to logical pixels, rounded
QRect twipsRect(const ControlPlacement& placement);

// The visible controls, in the order the window creates them.
std::span<const ControlPlacement> controlPlacements();
const ControlPlacement* findPlacement(const QString& name);

// The controls that take the focus, in the order the tab key visits them.
std::span<const char* const> focusOrder();

}  // namespace heliotrope::app
