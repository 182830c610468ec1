#pragma once
// The scan mode: finds the hosts of the attached links, prints them in the
// address book's entry form (or as JSON Lines), and with bAdd adds the new
// ones to the address book.
#include <string>
#include <vector>

#include "app/AppServices.h"
#include "discovery/Scanner.h"

class CSetList;
struct CProfileName;

struct CScanRequest {
    bool bHasRange = false;
    std::string strRange;  // --scan=CIDR
    bool bAdd = false;
    bool bJson = false;
    std::string strInterface;  // --interface NAME: only that link; empty: every one
};

// Runs the scan on the address book profile names; returns the exit status:
// 0 hosts found, 1 none found, 2 the scan or the address book's save could
// not run.
int RunScanMode(const CScanRequest& request, CProfileName& profile, const CAppServices& services);

// The name a host found gets: its reverse name as File > Add stores a name,
// or its address when it has none or the name reads as an address.
std::string NameOf(const CScanHost& host);
// The host's line in the address book's form: "name address HARDWARE"; the
// name as File > Add stores it.
std::string ScanEntry(const CScanHost& host);
// One JSON object: name, ip, mac, interface.
std::string ScanJsonLine(const CScanHost& host);

struct CAddCount {
    size_t nAdded = 0;
    size_t nUpdated = 0;             // a known hardware address at a new address
    size_t nKnown = 0;               // the hardware address was in the book at that address
    std::vector<std::string> notes;  // lines for standard error
};
// Merges the hosts found into the book. A hardware address the book holds
// keeps its entry and name; the entry takes the address it was found at. A
// new one is added at the head, as File > Add adds, under a name no other
// entry has (its name with "-2", "-3", ... when taken). One hardware address
// at several addresses (a router's proxy ARP, or one host with several)
// keeps one: the book's where it is among them, else the lowest; an address
// a sleeping host of the book holds while another answers for it is told.
CAddCount AddScannedHosts(CSetList& book, const std::vector<CScanHost>& found);
