// The "MAC" button: host lookup and hardware address discovery, members of
// the main dialog. The blocking work (resolver, echo request, table read)
// runs through the window's RunBlocking, off the user-interface thread; every
// effect on the fields, the controls and the host list happens here, on the
// user-interface thread, in order.
#include <arpa/inet.h>

#include "discovery/EchoRequest.h"
#include "discovery/MacScan.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"
#include "ui/ControlServices.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"

namespace {

// Holds the wait cursor from construction to the end of the scope.
class CWaitCursor {
public:
    explicit CWaitCursor(IControlServices& controls)
        : m_controls(controls)
    {
        m_controls.BeginWaitCursor();
    }
    ~CWaitCursor() { m_controls.EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    IControlServices& m_controls;
};

std::string Dotted(uint32_t dwAddressNet)
{
    char sz[INET_ADDRSTRLEN];
    in_addr addr{dwAddressNet};
    return ::inet_ntop(AF_INET, &addr, sz, sizeof sz) ? sz : "";
}

}  // namespace

void CNUVIKDlg::OnLookup()
{
    UpdateData(true);

    const bool bNameMode = m_pControls->IsWindowEnabled(IDC_NAME);
    if (bNameMode && m_strName.empty()) {
        m_pControls->GotoDlgCtrl(IDC_NAME);
        return;
    }
    if (!bNameMode && m_strIp.empty()) {
        m_pControls->GotoDlgCtrl(IDC_IP);
        return;
    }

    CWaitCursor wait(*m_pControls);
    IResolver& resolver = *m_services.pResolver;
    bool bFound = true;

    if (bNameMode) {
        m_ctlIp.ClearAddress();
        m_strIp.clear();

        // The typed name goes to the resolver as it stands, blanks and all.
        const std::string strTyped = m_strName;
        CHostRecord record;
        std::string strReverse;
        bool bReverse = false;
        m_pControls->RunBlocking([&] {
            bFound = resolver.GetHostByName(strTyped, record);
            if (bFound && !record.addresses.empty())
                bReverse = resolver.GetHostByAddr(record.addresses.front(), strReverse);
        });
        if (bFound) {
            // The reverse record's name when there is one; otherwise the
            // forward record's official name stands.
            if (bReverse && !strReverse.empty())
                m_strName = strReverse;
            else if (!record.strName.empty())
                m_strName = record.strName;
            if (!record.addresses.empty()) {
                m_ctlIp.SetAddress(ntohl(record.addresses.front()));
                m_strIp = Dotted(record.addresses.front());
            }
        }
    } else {
        m_strName.clear();
        const uint32_t dwAddressNet = htonl(m_ctlIp.GetAddress());
        std::string strReverse;
        bool bReverse = false;
        m_pControls->RunBlocking(
            [&] { bReverse = resolver.GetHostByAddr(dwAddressNet, strReverse); });
        if (bReverse)
            m_strName = strReverse;
        // A failed reverse lookup is no failure here: the address stands.
    }

    if (!bFound) {
        Messages().MessageBox("Not found!");
    } else if (!DiscoverMac()) {
        m_strMac.clear();
    }

    m_pControls->RestoreWaitCursor();
    UpdateData(false);
    OnAddHost();
}

bool CNUVIKDlg::DiscoverMac()
{
    if (!m_services.pEcho || !m_services.pNeighbours)
        return false;
    const uint32_t dwTarget = htonl(m_ctlIp.GetAddress());

    bool bSetUp = false;
    bool bTable = false;
    std::vector<CNeighbourRow> rows;
    m_pControls->RunBlocking([&] {
        // Whether the host answers does not matter: the request only makes
        // the kernel resolve its hardware address.
        bSetUp = m_services.pEcho->SendEcho(dwTarget, kEchoTimeoutMs).bSetUp;
        if (bSetUp)
            bTable = m_services.pNeighbours->GetTable(rows);
    });
    if (!bSetUp || !bTable)
        return false;
    return ScanNeighbourTable(rows, dwTarget, m_strMac);
}
