#pragma once
// What a scan does to the address book: the hosts found merged into it
// without losing any entry, so that a second scan of an unchanged network
// changes nothing.
#include <string>
#include <vector>

#include "discovery/Scanner.h"

class CSetList;

// The name a host found gets: its reverse name as File > Add stores a name,
// or its address when it has none or the name reads as an address.
std::string NameOf(const CScanHost& host);

struct CAddCount {
    size_t nAdded = 0;
    size_t nUpdated = 0;             // a known hardware address at a new address
    size_t nKnown = 0;               // the hardware address was in the book at that address
    std::vector<std::string> notes;  // lines for standard error
    std::vector<CScanHost> fresh;    // the new hosts, under the names they got
};
// Merges the hosts found into the book. A hardware address the book holds
// keeps its entry and name; the entry takes the address it was found at. A
// new one gets a name no other entry has (its name with "-2", "-3", ... when
// taken) and, with bAddNew, is added at the head, as File > Add adds. One
// hardware address at several addresses (a router's proxy ARP, or one host
// with several) keeps one: the book's where it is among them, else the
// lowest; an address a sleeping host of the book holds while another
// answers for it is told.
CAddCount MergeScannedHosts(CSetList& book, const std::vector<CScanHost>& found,
                            bool bAddNew = true);
