#include "app/Output.h"

#include <cerrno>

#include "app/ExitStatus.h"
#include "base/Error.h"
#include "ui/MessageBox.h"

bool OutputWritten(std::FILE* pOut) { return std::fflush(pOut) == 0 && !std::ferror(pOut); }

int FinishOutput(std::FILE* pOut, IMessageBox& messages, int nExit)
{
    if (OutputWritten(pOut))
        return nExit;
    const int nError = errno;
    messages.MessageBox("cannot write to standard output: " + ErrorText(nError));
    return kExitNothingRan;
}
