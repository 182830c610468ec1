#pragma once
// The dialog mode: the window lives in a module of its own, loaded at run
// time, so that the command-line modes never touch a display or Qt.
#include <string>

class CNUVIKDlg;
class IMessageBox;

int RunDialogMode(CNUVIKDlg& dlg, const std::string& strExePath, IMessageBox& messages);

// Path of the help page shipped with the program; where it belongs when it
// is missing.
std::string FindHelpPage(const std::string& strExePath);
