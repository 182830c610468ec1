#pragma once
// The profile file's name and where it lives. The default name
// (application name + ".INI") lives in nuvik's configuration directory
// ($XDG_CONFIG_HOME/nuvik, or ~/.config/nuvik); a name chosen with
// SelectProfile is a path like any other, relative to the current directory.
#include <string>

struct CProfileName {
    std::string strName;       // "nuvik.INI", or the selected file's name
    bool bSelected = false;    // set by SelectProfile
    std::string strConfigDir;  // resolved configuration directory

    static CProfileName Default(const std::string& strAppName);
    std::string Path() const;
};

// $XDG_CONFIG_HOME/nuvik, or $HOME/.config/nuvik (the home directory from
// the user database when HOME is unset); relative values count as unset.
// Empty when no absolute directory is found: the default profile then has
// no place, and Path() is empty.
std::string ConfigDirectory();
