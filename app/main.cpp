// nuvik: wakes computers on the local network with the Wake-on-LAN magic packet.
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ExitStatus.h"
#include "app/NuvikApp.h"
#include "app/StandardDescriptors.h"
#include "app/SystemServices.h"
#include "app/Via.h"
#include "ui/MessageBox.h"

int main(int argc, char** argv)
{
    OpenClosedStandardDescriptors();
    const std::string strExePath = argc > 0 && argv[0] ? argv[0] : "nuvik";
    const CSystemServices system(AppNameFromPath(strExePath));
    CCommandLine line;
    std::string strError;
    if (!ParseCommandLine({argv + (argc > 0 ? 1 : 0), argv + argc}, line, strError)) {
        system.Services().pMessages->MessageBox(strError + " (see " + AppNameFromPath(strExePath) +
                                                " --help)");
        return kExitNothingRan;
    }
    CAppServices services = system.Services();
    CViaMessageBox marked(*services.pMessages);
    if (line.nViaRequest) {
        StopWhenInputEnds();  // the side that sent the request stopped, or is gone
        services.pMessages = &marked;
    }
    CnuvikApp app(strExePath, std::move(line), services);
    app.InitInstance();
    return app.ExitCode();
}
