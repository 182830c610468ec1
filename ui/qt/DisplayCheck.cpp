#include "ui/qt/DisplayCheck.h"

#include <sys/stat.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

std::string Env(const char* pszName)
{
    const char* psz = std::getenv(pszName);
    return psz ? psz : "";
}

bool IsSocket(const std::string& strPath)
{
    struct stat st { };
    return stat(strPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

bool WaylandReachable()
{
    const std::string strDisplay = Env("WAYLAND_DISPLAY");
    if (strDisplay.empty())
        return false;
    if (strDisplay.front() == '/')
        return IsSocket(strDisplay);
    const std::string strRuntime = Env("XDG_RUNTIME_DIR");
    return !strRuntime.empty() && IsSocket(strRuntime + "/" + strDisplay);
}

bool X11Reachable()
{
    if (Env("DISPLAY").empty())
        return false;
    xcb_connection_t* pConnection = xcb_connect(nullptr, nullptr);
    const bool bOk = pConnection && xcb_connection_has_error(pConnection) == 0;
    if (pConnection)
        xcb_disconnect(pConnection);
    return bOk;
}

// Platform plugins that need no display server.
bool IsHeadlessPlatform(const std::string& strName)
{
    for (const char* psz :
         {"offscreen", "minimal", "minimalegl", "vnc", "eglfs", "linuxfb", "vkkhrdisplay"})
        if (strName == psz)
            return true;
    return false;
}

}  // namespace

std::string WhyNoDisplay()
{
    // QT_QPA_PLATFORM: a list separated by ';', each "name" or "name:options".
    const std::string strPlatforms = Env("QT_QPA_PLATFORM");
    if (!strPlatforms.empty()) {
        std::stringstream list(strPlatforms);
        std::string strEntry;
        while (std::getline(list, strEntry, ';')) {
            const std::string strName = strEntry.substr(0, strEntry.find(':'));
            if (IsHeadlessPlatform(strName))
                return {};
            if (strName == "xcb" && X11Reachable())
                return {};
            if ((strName == "wayland" || strName == "wayland-egl") && WaylandReachable())
                return {};
        }
        return "cannot open the window: no display for QT_QPA_PLATFORM=" + strPlatforms;
    }
    if (WaylandReachable() || X11Reachable())
        return {};
    if (!Env("DISPLAY").empty())
        return "cannot open the window: cannot connect to the X display " + Env("DISPLAY");
    return "cannot open the window: no display (DISPLAY/WAYLAND_DISPLAY unset or unreachable)";
}
