#pragma once
// The dialog mode: the window lives in a module of its own, loaded at run
// time, so that the command-line modes never touch a display or Qt.
#include <string>

class CHostsBook;
class CNUVIKDlg;
class IMessageBox;

// The window module is looked for beside the real executable, else in the
// library directory fixed at build time; never in the current directory.
int RunDialogMode(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages);

// The hosts window, from the same module.
int RunHostsMode(CHostsBook& book, const std::string& strExePath, IMessageBox& messages);

// Shows one message box of the window module's, without the window; false
// when there is no module or no display to show it with.
bool ShowDialogMessage(const std::string& strExePath, const std::string& strText);

// Path of the help page shipped with the program; where it belongs when it
// is missing.
std::string FindHelpPage(const std::string& strExePath);
