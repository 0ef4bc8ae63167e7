#include "app/DisplayCheck.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>
#include <string_view>

namespace headroom {

namespace {

// qgetenv, not getenv: it holds Qt's environment lock, so a thread that
// changes the environment meanwhile cannot pull the value away under us.
std::string variable(const char* name)
{
    return qgetenv(name).toStdString();
}

bool platformCanWork(std::string_view entry, const DisplayEnvironment& environment)
{
    // "xcb:option=value" names the plugin before the first ':'.
    const std::string_view plugin = entry.substr(0, entry.find(':'));
    if (plugin == "xcb")
        return !environment.display.empty();
    if (plugin.starts_with("wayland"))
        return !environment.waylandDisplay.empty();
    return !plugin.empty();
}

} // namespace

DisplayEnvironment currentDisplayEnvironment(int argc, char** argv)
{
    DisplayEnvironment environment{variable("QT_QPA_PLATFORM"), variable("DISPLAY"), variable("WAYLAND_DISPLAY")};
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            environment.platform = argv[i + 1];
    }
    return environment;
}

bool canOpenWindows(const DisplayEnvironment& environment)
{
    if (environment.platform.empty())
        return !environment.display.empty() || !environment.waylandDisplay.empty();
    std::string_view rest = environment.platform;
    while (!rest.empty()) {
        const auto end = rest.find(';');
        if (platformCanWork(rest.substr(0, end), environment))
            return true;
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

} // namespace headroom
