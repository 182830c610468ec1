#pragma once
// The main dialog object. It owns the host list and the three texts the user
// edits. In the command-line modes it is only the holder of m_strMac and
// m_hosts; in dialog mode a window is attached to it.
#include <string>
#include <vector>

#include "hosts/SetList.h"
#include "wake/MagicPacket.h"

class ISocketLayer;
class IMessageBox;

// The platform services the dialog object uses. Not owned.
struct CDlgServices {
    ISocketLayer* pSockets = nullptr;
    IMessageBox* pMessages = nullptr;
};

// What became of one WakeHost call.
struct CWakeOutcome {
    enum class EStatus { Sent, InvalidMac, SendFailed };
    EStatus status = EStatus::InvalidMac;
    std::string strReason;  // for SendFailed: the failed step and the system's text
};

// What became of one entry of a batch wake: its key in the profile's list
// ("0", "1", ...), the entry as loaded, and the wake's outcome.
struct CBatchItem {
    std::string strKey;
    std::string strEntry;
    CWakeOutcome outcome;
};

class CNUVIKDlg {
public:
    // args: the command-line arguments after the program name; calls are
    // interactive only when there are none.
    CNUVIKDlg(std::vector<std::string> args, CDlgServices services);

    std::string m_strMac;
    std::string m_strName;
    std::string m_strIp;
    CSetList m_hosts;

    // Wakes the host whose hardware address text is m_strMac. Interactive
    // calls take the controls first and show failures in a message box;
    // silent calls report only through the result.
    CWakeOutcome WakeHost();

    // Cuts m_strMac to its leading run of hexadecimal digits; true when
    // exactly twelve remain.
    bool IsValidMac();

    // Wakes every entry of m_hosts, head to tail, by its third field (an entry
    // with fewer fields wakes nothing). Returns what became of each entry.
    std::vector<CBatchItem> WakeAllInProfile();

    bool IsInteractive() const { return m_args.empty(); }

    // Copies the controls into the fields (TRUE) or the fields into the
    // controls (FALSE). Without a window there is nothing to exchange.
    bool UpdateData(bool bSaveAndValidate = true);

protected:
    std::vector<std::string> m_args;
    CDlgServices m_services;
};
