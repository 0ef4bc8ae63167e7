#pragma once

#include <string>

namespace headroom {

// What decides whether Qt can open a window: the platform asked for (the
// -platform argument or QT_QPA_PLATFORM) and the display variables.
struct DisplayEnvironment {
    std::string platform;       // "-platform" argument, else QT_QPA_PLATFORM
    std::string display;        // DISPLAY
    std::string waylandDisplay; // WAYLAND_DISPLAY
};

DisplayEnvironment currentDisplayEnvironment(int argc, char** argv);

// Qt aborts the process when its platform plugin cannot connect, so this is
// asked before the application object exists. Any entry of a ';'-separated
// platform list that can work is enough; platforms that need no display
// server (offscreen, vnc, eglfs, ...) always can.
bool canOpenWindows(const DisplayEnvironment& environment);

} // namespace headroom
