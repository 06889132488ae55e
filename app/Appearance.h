#pragma once

class QApplication;

namespace heliotrope::app {

// The application's name and the Japanese face the layout was drawn for,
// shared by the program and by the tool that pictures the window.
void applyHeliotropeAppearance(QApplication& app);

}  // namespace heliotrope::app
