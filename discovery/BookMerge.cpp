#include "discovery/BookMerge.h"

#include <arpa/inet.h>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "base/Address.h"
#include "base/MacText.h"
#include "base/Text.h"
#include "hosts/SetList.h"

namespace {

// The addresses each hardware address was found at, ascending.
using CFoundAt = std::map<std::string, std::vector<uint32_t>>;

// Of a hardware address found at several addresses, the one to keep: the
// book's where it is among them, else the lowest.
uint32_t OwnAddress(const std::vector<uint32_t>& addresses, uint32_t dwStored)
{
    for (const uint32_t dwAddr : addresses)
        if (dwAddr == dwStored)
            return dwAddr;
    return addresses.front();
}

std::string RangeText(const std::vector<uint32_t>& addresses)
{
    return addresses.size() == 2 ? DottedText(addresses[0]) + " and " + DottedText(addresses[1])
                                 : std::to_string(addresses.size()) + " addresses from " +
            DottedText(addresses.front()) + " to " + DottedText(addresses.back());
}

// The entry with its address field replaced; the other fields as stored.
std::string WithAddress(const std::string& strEntry, uint32_t dwAddr)
{
    std::string strRest = strEntry;
    for (int k = 0; k < 3; ++k) {  // past name, address and hardware address
        const size_t nStart = strRest.find_first_not_of(' ');
        const size_t nEnd = nStart == std::string::npos ? nStart : strRest.find(' ', nStart);
        strRest = nEnd == std::string::npos ? std::string() : strRest.substr(nEnd);
    }
    return EntryField(strEntry, 0) + " " + DottedText(dwAddr) + " " + EntryField(strEntry, 2) +
        strRest;
}

}  // namespace

std::string NameOf(const CScanHost& host)
{
    const std::string strName = EntryName(host.strName);
    std::string strMac;
    uint32_t dwAddr = 0;
    // A name that reads as an address would mean another host to --wake.
    if (strName.empty() || ParseAnyMac(strName, strMac) || ParseDotted(strName, dwAddr))
        return DottedText(host.dwAddr);
    return strName;
}

CAddCount MergeScannedHosts(CSetList& book, const std::vector<CScanHost>& found, bool bAddNew)
{
    std::unordered_map<std::string, CSetList::const_iterator> byMac;
    std::unordered_set<std::u32string> names;
    for (auto it = book.begin(); it != book.end(); ++it) {
        if (std::string strMac; ParseAnyMac(EntryField(*it, 2), strMac))
            byMac.emplace(strMac, it);
        names.insert(FoldedName(EntryField(*it, 0)));
    }
    CFoundAt foundAt;
    std::map<uint32_t, const CScanHost*> byAddr;
    for (const CScanHost& host : found) {
        foundAt[host.strMac].push_back(host.dwAddr);
        byAddr.emplace(host.dwAddr, &host);
    }
    CAddCount count;
    std::vector<CScanHost> added;
    for (auto& [strMac, addresses] : foundAt) {
        std::sort(addresses.begin(), addresses.end(),
                  [](uint32_t a, uint32_t b) { return ntohl(a) < ntohl(b); });
        const auto known = byMac.find(strMac);
        const uint32_t dwStored =
            known == byMac.end() ? 0 : StoredAddress(EntryField(*known->second, 1));
        const uint32_t dwOwn = OwnAddress(addresses, dwStored);
        if (addresses.size() > 1)
            count.notes.push_back(RangeText(addresses) + " all answer with hardware address " +
                                  strMac + " (a router's proxy ARP, or one host with several " +
                                  "addresses): only " + DottedText(dwOwn) + " is kept");
        if (known == byMac.end()) {
            added.push_back(*byAddr.at(dwOwn));
        } else if (dwStored == dwOwn) {
            ++count.nKnown;
        } else {
            book.ReplaceEntry(known->second, WithAddress(*known->second, dwOwn));
            ++count.nUpdated;
        }
    }
    // New hosts go to the head in address order, as one File > Add after
    // another would put them: the last found first.
    std::sort(added.begin(), added.end(), [](const CScanHost& a, const CScanHost& b) {
        return ntohl(a.dwAddr) < ntohl(b.dwAddr);
    });
    for (const CScanHost& host : added) {
        const std::string strName = NameOf(host);
        std::string strFree = strName;
        for (int n = 2; !names.insert(FoldedName(strFree)).second; ++n)
            strFree = strName + "-" + std::to_string(n);
        count.fresh.push_back(host);
        count.fresh.back().strName = strFree;
        if (bAddNew)
            book.AddOrReplaceHost(strFree + " " + DottedText(host.dwAddr) + " " + host.strMac);
        count.nAdded += bAddNew;
    }
    // A sleeping host of the book at an address another one answers for.
    for (const std::string& strEntry : book) {
        std::string strMac;
        const auto it = byAddr.find(StoredAddress(EntryField(strEntry, 1)));
        if (it != byAddr.end() && ParseAnyMac(EntryField(strEntry, 2), strMac) &&
            strMac != it->second->strMac && !foundAt.count(strMac))
            count.notes.push_back(DottedText(it->first) + " answers with hardware address " +
                                  it->second->strMac + ", but the address book holds it for " +
                                  EntryField(strEntry, 0) + " (" + strMac +
                                  ") too: two hosts on one address");
    }
    return count;
}
