#include "hosts/HostLookUp.h"

#include "base/Address.h"
#include "base/MacText.h"
#include "base/Text.h"
#include "hosts/SetList.h"

const std::string* FindHostByMac(const CSetList& book, const std::string& strMac)
{
    for (const std::string& strEntry : book) {
        std::string strStored;
        if (ParseAnyMac(EntryField(strEntry, 2), strStored) && strStored == strMac)
            return &strEntry;
    }
    return nullptr;
}

CHostFinder::CHostFinder(const CSetList& book, std::string strBookPath, CLookUpServices services)
    : m_strBookPath(std::move(strBookPath))
    , m_services(services)
{
    // The first entry of each key wins, as a walk from the head would find it.
    for (const std::string& strEntry : book) {
        const std::string strName = EntryField(strEntry, 0);
        if (!strName.empty()) {
            m_byName.emplace(FoldedName(strName), &strEntry);
            if (const std::string strShown = ShownUtf8(strName); strShown != strName)
                m_byName.emplace(FoldedName(strShown), &strEntry);
        }
        if (std::string strMac; ParseAnyMac(EntryField(strEntry, 2), strMac))
            m_byMac.emplace(strMac, &strEntry);
        if (const uint32_t dwAddr = StoredAddress(EntryField(strEntry, 1)))
            m_byAddr.emplace(dwAddr, &strEntry);
    }
}

const std::string* CHostFinder::EntryOfMac(const std::string& strMac) const
{
    const auto it = m_byMac.find(strMac);
    return it == m_byMac.end() ? nullptr : it->second;
}

const std::string* CHostFinder::EntryAt(uint32_t dwAddr) const
{
    const auto it = m_byAddr.find(dwAddr);
    return it == m_byAddr.end() ? nullptr : it->second;
}

CHostMatch CHostFinder::OfEntry(EHostSource source, const std::string& strEntry) const
{
    return {source, EntryField(strEntry, 0), EntryField(strEntry, 1), EntryField(strEntry, 2), {}};
}

CHostMatch CHostFinder::OfAddress(EHostSource source, uint32_t dwAddr,
                                  const std::string& strName) const
{
    if (const std::string* pEntry = EntryAt(dwAddr))
        return OfEntry(source, *pEntry);
    CHostMatch match{source, strName, DottedText(dwAddr), {}, {}};
    if (m_services.pNeighbours && !m_neighbourMacs) {
        m_neighbourMacs.emplace();
        std::vector<CNeighbourRow> rows;
        if (m_services.pNeighbours->GetTable(rows) == 0)
            for (const CNeighbourRow& row : rows)
                if (const std::string strMac = NeighbourMacText(row); strMac.size() == 12)
                    m_neighbourMacs->emplace(row.dwAddr, strMac);
    }
    if (m_neighbourMacs)
        if (const auto it = m_neighbourMacs->find(dwAddr); it != m_neighbourMacs->end())
            match.strMac = it->second;
    return match;
}

CHostMatch CHostFinder::Find(const std::string& strText) const
{
    CHostMatch match;
    if (ParseAnyMac(strText, match.strMac)) {
        match.source = EHostSource::Address;
        if (const std::string* pEntry = EntryOfMac(match.strMac)) {
            match.strName = EntryField(*pEntry, 0);
            match.strIp = EntryField(*pEntry, 1);
        }
        return match;
    }
    if (strText.empty())
        return {EHostSource::NotFound, {}, {}, {}, "an empty name names no host"};
    if (const auto it = m_byName.find(FoldedName(strText)); it != m_byName.end())
        return OfEntry(EHostSource::AddressBook, *it->second);
    if (uint32_t dwAddr = 0; ParseDotted(strText, dwAddr))
        return OfAddress(EHostSource::IpAddress, dwAddr, {});
    if (CMacAddress address{};
        m_services.pEthers && m_services.pEthers->HostToEther(strText, address)) {
        const std::string strMac = MacBytesText(address.data(), address.size());
        const std::string* pEntry = EntryOfMac(strMac);
        return pEntry ? OfEntry(EHostSource::Ethers, *pEntry)
                      : CHostMatch{EHostSource::Ethers, strText, {}, strMac, {}};
    }
    CHostRecord record;
    if (m_services.pResolver && m_services.pResolver->GetHostByName(strText, record) == 0)
        return OfAddress(EHostSource::Resolver, record.addresses.front(), strText);
    match.strMac.clear();
    match.strWhy = "no such host: not a hardware address, no name in the address book " +
        (m_strBookPath.empty() ? std::string("(it has no place)") : m_strBookPath) +
        ", not an IPv4 address, none in the ethers database" +
        (m_services.pResolver ? ", and no name the resolver knows" : "");
    return match;
}
