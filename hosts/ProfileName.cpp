#include "hosts/ProfileName.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

CProfileName CProfileName::Default(const std::string& strAppName)
{
    CProfileName profile;
    profile.strName = strAppName + ".INI";
    profile.strConfigDir = ConfigDirectory();
    return profile;
}

std::string CProfileName::Path() const
{
    if (bSelected)
        return strName;
    return strConfigDir.empty() ? std::string() : strConfigDir + "/" + strName;
}

namespace {

// Only an absolute path names a directory for good: a relative one would
// move with the current directory (and the XDG rules say to ignore it).
const char* AbsoluteOrNull(const char* pszPath)
{
    return pszPath != nullptr && pszPath[0] == '/' ? pszPath : nullptr;
}

}  // namespace

std::string ConfigDirectory()
{
    if (const char* pszConfig = AbsoluteOrNull(std::getenv("XDG_CONFIG_HOME")))
        return std::string(pszConfig) + "/nuvik";
    const char* pszHome = AbsoluteOrNull(std::getenv("HOME"));
    if (pszHome == nullptr) {
        const passwd* pUser = getpwuid(getuid());
        pszHome = AbsoluteOrNull(pUser != nullptr ? pUser->pw_dir : nullptr);
    }
    return pszHome ? std::string(pszHome) + "/.config/nuvik" : std::string();
}
