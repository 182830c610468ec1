// The "MAC" button: host lookup and hardware address discovery, members of
// the main dialog. The blocking work (resolver, probe, table read) runs
// through the window's RunBlocking, off the user-interface thread; every
// effect on the fields, the controls and the host list happens here, on the
// user-interface thread, in order.
#include <arpa/inet.h>

#include "base/Address.h"
#include "discovery/MacDiscovery.h"
#include "net/Resolver.h"
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
            bFound = resolver.GetHostByName(strTyped, record) == 0;
            if (bFound && !record.addresses.empty())
                bReverse = resolver.GetHostByAddr(record.addresses.front(), strReverse) == 0;
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
                m_strIp = DottedText(record.addresses.front());
            }
        }
    } else {
        m_strName.clear();
        const uint32_t dwAddressNet = htonl(m_ctlIp.GetAddress());
        std::string strReverse;
        bool bReverse = false;
        m_pControls->RunBlocking(
            [&] { bReverse = resolver.GetHostByAddr(dwAddressNet, strReverse) == 0; });
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
    const CDlgServices& services = m_services;
    if (!services.pPlatform || !services.pRoutes || !services.pNeighbours)
        return false;
    const uint32_t dwTarget = htonl(m_ctlIp.GetAddress());
    std::vector<CNeighbourRow> rows;
    bool bTable = false;
    m_pControls->RunBlocking([&] {
        bTable = ProbeThenReadTable(*services.pPlatform, *services.pRoutes, *services.pNeighbours,
                                    dwTarget, rows);
    });
    return bTable && ScanNeighbourTable(rows, dwTarget, m_strMac);
}
