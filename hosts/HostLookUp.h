#pragma once
// Finding a host from what the user typed, one way for every option that
// names hosts: a hardware address in any common form, a name of the address
// book, an IPv4 address, a name of the system's ethers database, a name the
// resolver knows. The book is indexed once, so that each look-up costs a
// hash, however large the book.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "net/Ethers.h"
#include "net/NeighbourTable.h"
#include "net/Resolver.h"

class CSetList;

// Where a host was found.
enum class EHostSource {
    NotFound,
    Address,      // the text is a hardware address itself
    AddressBook,  // a name of the address book
    IpAddress,    // the text is an IPv4 address
    Ethers,       // a name of the ethers database
    Resolver,     // a name the resolver knows
};

struct CHostMatch {
    EHostSource source = EHostSource::NotFound;
    std::string strName;  // the name as stored; empty for an address the book does not know
    std::string strIp;    // the book entry's second field, or the address found; may be empty
    std::string strMac;   // the book entry's third field as stored, otherwise the
                          // twelve-digit text; empty when none is known
    std::string strWhy;   // NotFound: where it was looked for
};

// The services a look-up may ask besides the book; any may be missing.
struct CLookUpServices {
    IEthers* pEthers = nullptr;
    IResolver* pResolver = nullptr;
    // For an address the book does not hold: the hardware address its
    // neighbour entry holds (read once).
    INeighbourTable* pNeighbours = nullptr;
};

class CHostFinder {
public:
    CHostFinder(const CSetList& book, std::string strBookPath, CLookUpServices services);

    // Looks strText up, in this order: a hardware address in any form (with
    // the name and address of the first book entry holding it); the first
    // entry of the book whose name matches (as NamesMatch compares, a
    // Latin-1 name also by the characters it shows); an IPv4 address (the
    // first book entry at that address, else the address with the hardware
    // address its neighbour entry holds, if any); a name of the ethers
    // database; a name the resolver knows (then as its first IPv4 address).
    CHostMatch Find(const std::string& strText) const;

    // The first entry of the book with the hardware address (twelve digits),
    // or at the address; nullptr when none.
    const std::string* EntryOfMac(const std::string& strMac) const;
    const std::string* EntryAt(uint32_t dwAddr) const;

private:
    CHostMatch OfEntry(EHostSource source, const std::string& strEntry) const;
    CHostMatch OfAddress(EHostSource source, uint32_t dwAddr, const std::string& strName) const;

    std::string m_strBookPath;
    CLookUpServices m_services;
    std::unordered_map<std::u32string, const std::string*> m_byName;
    std::unordered_map<std::string, const std::string*> m_byMac;
    std::unordered_map<uint32_t, const std::string*> m_byAddr;
    mutable std::optional<std::unordered_map<uint32_t, std::string>> m_neighbourMacs;
};

// The first entry of the book whose third field is the same hardware address
// (in any form) as the twelve-digit text strMac; nullptr when none.
const std::string* FindHostByMac(const CSetList& book, const std::string& strMac);
