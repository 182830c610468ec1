#pragma once
// What the window tells the dialog object: initialisation, commands (button
// clicks, menu commands and the name box's notifications, by control id and
// notification code, as the routing table expects them) and the About
// command. The dialog object implements it; the window calls it.
class IControlServices;
class IMessageBox;
class IFileChooser;

class IDialogEvents {
public:
    virtual ~IDialogEvents() = default;

    // Connects the window's services before OnInitDialog; null detaches.
    virtual void AttachWindow(IControlServices* pControls, IMessageBox* pMessages,
                              IFileChooser* pFiles) = 0;

    virtual bool OnInitDialog() = 0;
    virtual void OnCommand(int nId, int nNotification) = 0;
    virtual void OnSysCommand(int nId) = 0;
};
