#pragma once
// The main dialog object. It owns the host list and the three texts the user
// edits, and every handler of the main window. In the command-line modes it
// is only the holder of m_strMac and m_hosts; in dialog mode a window is
// attached to it and reaches it through IDialogEvents.
#include <functional>
#include <string>
#include <vector>

#include "hosts/SetList.h"
#include "ui/ControlWrappers.h"
#include "ui/DialogEvents.h"
#include "wake/LinkChooser.h"
#include "wake/MagicPacket.h"

class ISocketLayer;
class IMessageBox;
class IControlServices;
class IFileChooser;
struct CProfileName;
class IResolver;
class IEchoRequest;
class INeighbourTable;

// The platform services the dialog object uses. Not owned.
struct CDlgServices {
    ISocketLayer* pSockets = nullptr;
    IMessageBox* pMessages = nullptr;  // until a window brings its own
    CProfileName* pProfile = nullptr;  // where the address book lives
    std::string strHelpPage;           // the file "Help" opens
    IResolver* pResolver = nullptr;    // the "MAC" button's lookups
    IEchoRequest* pEcho = nullptr;
    INeighbourTable* pNeighbours = nullptr;
    IRouteTable* pRoutes = nullptr;       // which link a wake leaves by
    CDelivery delivery;                   // destination, port and interface of every wake
    int nRepeat = 1;                      // datagrams per wake of the window's "OK"
    void (*pfnPause)(int nMs) = nullptr;  // between them
    std::function<void(const std::string&)> onDatagram;  // a line for each datagram, when wanted
};

// The pause between two rounds of datagrams.
constexpr int kRepeatPauseMs = 50;

// What became of one WakeHost call.
struct CWakeOutcome {
    enum class EStatus { Sent, InvalidMac, SendFailed };
    EStatus status = EStatus::InvalidMac;
    std::string strReason;  // for SendFailed: the failed step and the system's text;
                            // for Sent: the interfaces that did not take it, if any
};

// What became of one entry of a batch wake: its key in the profile's list
// ("0", "1", ...), the entry as loaded, and the wake's outcome.
struct CBatchItem {
    std::string strKey;
    std::string strEntry;
    CWakeOutcome outcome;
};

class CNUVIKDlg : public IDialogEvents {
public:
    // args: the command-line arguments after the program name; calls are
    // interactive only when there are none.
    CNUVIKDlg(std::vector<std::string> args, CDlgServices services);

    std::string m_strMac;
    std::string m_strName;
    CComboBox m_ctlName;
    CIPAddressCtrl m_ctlIp;
    CSetList m_hosts;
    std::string m_strIp;

    // Wakes the host whose hardware address text is m_strMac (also the "OK"
    // button), on the link of the address m_strIp when the kernel's routes
    // put it on a link of its own. Interactive calls take the controls first,
    // send the number of datagrams asked for and show failures in a message
    // box; silent calls send one and report only through the result. Each
    // datagram that left is described to onDatagram, under m_strName.
    CWakeOutcome WakeHost();

    // Cuts m_strMac to its leading run of hexadecimal digits; true when
    // exactly twelve remain.
    bool IsValidMac();

    // Wakes every entry of m_hosts, head to tail, by its third field (an entry
    // with fewer fields wakes nothing), on the link of its second. Returns
    // what became of each entry.
    std::vector<CBatchItem> WakeAllInProfile();

    bool IsInteractive() const { return m_args.empty(); }
    void SetHelpPage(std::string strPath) { m_services.strHelpPage = std::move(strPath); }

    // Copies the controls into the fields (true) or the fields into the
    // controls (false). While it runs, no notification of the dialog's own
    // controls reaches a handler. Without a window there is nothing to do.
    bool UpdateData(bool bSaveAndValidate = true);

    // IDialogEvents: the window's side.
    void AttachWindow(IControlServices* pControls, IMessageBox* pMessages,
                      IFileChooser* pFiles) override;
    bool OnInitDialog() override;
    void OnCommand(int nId, int nNotification) override;
    void OnSysCommand(int nId) override;

    // Handlers, reached through OnCommand's routing table.
    void OnNameMode();
    void OnAddressMode();
    void OnHelpLink();
    void OnCancelCommand();
    void OnExitCommand();
    void OnExportList();
    void OnImportList();
    void OnAddHost();
    void OnDeleteHost();
    void OnHostSelChange();
    void OnHostEditUpdate();
    void OnLookup();

    // Finds the hardware address of the host in the IP address control: one
    // echo request, then the neighbour table. True when m_strMac got one.
    bool DiscoverMac();

protected:
    void DoDataExchange(bool bSaveAndValidate, bool& bOk);
    void FillNameBox();
    bool SaveBeforeClosing();  // false: the user chose to stay
    void TellLeftovers();      // what the loaded profile holds that the list does not
    void OnOK();               // takes the controls; closes when they are valid
    void EndDialog(int nResult);
    IMessageBox& Messages() { return *m_pMessages; }

    std::vector<std::string> m_args;
    CDlgServices m_services;
    CLinkChooser m_links;
    IControlServices* m_pControls = nullptr;
    IMessageBox* m_pMessages = nullptr;
    bool m_bInExchange = false;
};
