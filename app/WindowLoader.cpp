#include "app/WindowLoader.h"

#include "app/NuvikApp.h"
#include "ui/MessageBox.h"

int RunDialogMode(CNUVIKDlg& /*dlg*/, const std::string& /*strExePath*/, IMessageBox& messages)
{
    messages.MessageBox("the window is not available yet; give hardware addresses on the command line (see --help)");
    return kExitNothingRan;
}
