#include "hosts/HostLookUp.h"

#include "base/MacText.h"
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

CHostMatch LookUpHost(const std::string& strText, const CSetList& book, IEthers& ethers)
{
    CHostMatch match;
    if (ParseAnyMac(strText, match.strMac)) {
        match.source = EHostSource::Address;
        if (const std::string* pEntry = FindHostByMac(book, match.strMac)) {
            match.strName = EntryField(*pEntry, 0);
            match.strIp = EntryField(*pEntry, 1);
        }
        return match;
    }
    for (const std::string& strEntry : book) {
        if (!strText.empty() && NamesMatch(EntryField(strEntry, 0), strText)) {
            match.source = EHostSource::AddressBook;
            match.strName = EntryField(strEntry, 0);
            match.strIp = EntryField(strEntry, 1);
            match.strMac = EntryField(strEntry, 2);
            return match;
        }
    }
    CMacAddress address{};
    if (!strText.empty() && ethers.HostToEther(strText, address)) {
        match.source = EHostSource::Ethers;
        match.strName = strText;
        match.strMac = MacBytesText(address.data(), address.size());
    }
    return match;
}

std::string NotFoundText(const std::string& strBookPath)
{
    return "no such host: not a hardware address, no name in the address book " +
        (strBookPath.empty() ? std::string("(it has no place)") : strBookPath) +
        ", none in the ethers database";
}
