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
    return strConfigDir + "/" + strName;
}

std::string ConfigDirectory()
{
    const char* pszConfig = std::getenv("XDG_CONFIG_HOME");
    if (pszConfig != nullptr && *pszConfig != '\0')
        return std::string(pszConfig) + "/nuvik";
    const char* pszHome = std::getenv("HOME");
    if (pszHome == nullptr || *pszHome == '\0') {
        const passwd* pUser = getpwuid(getuid());
        pszHome = pUser != nullptr && pUser->pw_dir != nullptr ? pUser->pw_dir : "";
    }
    return std::string(pszHome) + "/.config/nuvik";
}
