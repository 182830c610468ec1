#pragma once
// Finding a host from what the user typed: a hardware address in any common
// form, a name of the address book, or a name of the system's ethers
// database.
#include <string>

#include "net/Ethers.h"

class CSetList;

// Where a host was found.
enum class EHostSource {
    NotFound,
    Address,      // the text is a hardware address itself
    AddressBook,  // a name of the address book
    Ethers,       // a name of the ethers database
};

struct CHostMatch {
    EHostSource source = EHostSource::NotFound;
    std::string strName;  // the name as stored; empty for an address the book does not know
    std::string strIp;    // the book entry's second field; empty when none
    std::string strMac;   // the hardware address text: the book entry's third field as
                          // stored, otherwise the twelve-digit text
};

// Looks strText up, in this order: a hardware address in any form (with the
// name and address of the first book entry holding it, when there is one);
// the first entry of the book whose name matches (as NamesMatch compares);
// a name of the ethers database.
CHostMatch LookUpHost(const std::string& strText, const CSetList& book, IEthers& ethers);

// The first entry of the book whose third field is the same hardware address
// (in any form) as the twelve-digit text strMac; nullptr when none.
const std::string* FindHostByMac(const CSetList& book, const std::string& strMac);

// "where it was looked for", for a host that was not found.
std::string NotFoundText(const std::string& strBookPath);
