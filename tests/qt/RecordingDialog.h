#pragma once
// A dialog object that records what the window tells it, with what the
// name box showed at that moment.
#include <functional>
#include <string>
#include <vector>

#include "ui/ControlServices.h"
#include "ui/DialogEvents.h"
#include "ui/Resource.h"

class CRecordingDialog : public IDialogEvents {
public:
    struct CCommand {
        int nId = 0;
        int nNotification = 0;
        std::string strName;  // the name box's text when it arrived
        int nCurSel = CB_ERR;
        bool operator==(const CCommand&) const = default;
    };

    IControlServices* pControls = nullptr;
    IMessageBox* pMessages = nullptr;
    IFileChooser* pFiles = nullptr;
    int nAttaches = 0;
    int nDetaches = 0;
    std::vector<CCommand> commands;
    std::vector<int> sysCommands;
    std::function<bool()> onInit;            // default: return true
    std::function<void(int, int)> onCommand; // after recording

    void AttachWindow(IControlServices* pC, IMessageBox* pM, IFileChooser* pF) override
    {
        pControls = pC;
        pMessages = pM;
        pFiles = pF;
        ++(pC ? nAttaches : nDetaches);
    }
    bool OnInitDialog() override { return onInit ? onInit() : true; }
    void OnCommand(int nId, int nNotification) override
    {
        CCommand command{nId, nNotification, {}, CB_ERR};
        if (pControls) {
            command.strName = pControls->GetWindowText(IDC_NAME);
            command.nCurSel = pControls->GetCurSel();
        }
        commands.push_back(command);
        if (onCommand)
            onCommand(nId, nNotification);
    }
    void OnSysCommand(int nId) override { sysCommands.push_back(nId); }

    std::vector<std::pair<int, int>> Ids() const
    {
        std::vector<std::pair<int, int>> ids;
        for (const auto& c : commands)
            ids.emplace_back(c.nId, c.nNotification);
        return ids;
    }
};
