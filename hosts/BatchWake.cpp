// The batch wake of a profile's hosts, a member of the main dialog object
// because it goes through WakeHost and m_strMac like every other wake.
#include <string>
#include <vector>

#include "ui/NUVIKDlg.h"

std::vector<CBatchItem> CNUVIKDlg::WakeAllInProfile()
{
    std::vector<CBatchItem> items;
    items.reserve(m_hosts.GetCount());
    size_t nKey = 0;
    for (const std::string& strEntry : m_hosts) {
        m_strMac = EntryField(strEntry, 2);
        m_strIp = EntryField(strEntry, 1);  // the link to wake it on
        m_strName = EntryField(strEntry, 0);
        items.push_back({std::to_string(nKey++), strEntry, WakeHost()});
    }
    return items;
}
