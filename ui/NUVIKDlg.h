#pragma once
// The main dialog object. It owns the host list and the three texts the user
// edits, and every handler of the main window. In the command-line modes it
// is only the holder of m_strMac and m_hosts; in dialog mode a window is
// attached to it and reaches it through IDialogEvents.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hosts/SetList.h"
#include "ui/ControlWrappers.h"
#include "ui/DialogEvents.h"
#include "ui/MessageBox.h"
#include "wake/Waker.h"

class ISocketLayer;
class IMessageBox;
class IControlServices;
class IFileChooser;
class IFileSystem;
struct CProfileName;
class IResolver;
class IProbePlatform;
class INeighbourTable;

// The platform services the dialog object uses. Not owned.
struct CDlgServices {
    ISocketLayer* pSockets = nullptr;
    IMessageBox* pMessages = nullptr;     // until a window brings its own
    CProfileName* pProfile = nullptr;     // where the address book lives
    IFileSystem* pFiles = nullptr;        // and what reads and writes it
    std::string strHelpPage;              // the file "Help" opens
    IResolver* pResolver = nullptr;       // the "MAC" button's lookups
    IProbePlatform* pPlatform = nullptr;  // and its probe
    INeighbourTable* pNeighbours = nullptr;
    IRouteTable* pRoutes = nullptr;  // which link a wake leaves by
    CWakeOptions wake;               // delivery, datagrams per wake, their lines
};

// The question to ask before a save replaces an address book at risk (see
// CSetList::ReplaceRisk); empty when none is.
std::string ReplaceQuestion(const CSetList& hosts, IMessageBox::ESaveQuestion& question);

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

    // Wakes every entry of m_hosts, head to tail, through WakeHost with the
    // entry's fields (its third the hardware address, its second choosing
    // the link), in the waker's rounds. Returns what became of each entry.
    std::vector<CBatchItem> WakeAllInProfile();

    bool IsInteractive() const { return m_args.empty(); }
    // The waker behind WakeHost, for batches in rounds.
    CWaker& Waker() { return m_waker; }
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
    // probe, then the neighbour table. True when m_strMac got one.
    bool DiscoverMac();

protected:
    void DoDataExchange(bool bSaveAndValidate, bool& bOk);
    void FillNameBox();
    bool SaveBeforeClosing();  // false: the user chose to stay
    void TellLeftovers();      // what the loaded profile holds that the list does not
    void OnOK();               // takes the controls; closes when they are valid
    void EndDialog(int nResult);
    IMessageBox& Messages() { return *m_pMessages; }
    // The file the user chose in the open (import) or save (export) dialog;
    // nothing when the user cancelled.
    std::optional<std::string> ChooseFile(bool bOpen);

    std::vector<std::string> m_args;
    CDlgServices m_services;
    CWaker m_waker;
    IControlServices* m_pControls = nullptr;
    IMessageBox* m_pMessages = nullptr;
    IFileChooser* m_pFiles = nullptr;
    bool m_bInExchange = false;
};
