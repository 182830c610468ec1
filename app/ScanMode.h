#pragma once
// The scan mode: finds the hosts of the attached links, prints them in the
// address book's entry form (or as JSON Lines), and with bAdd adds the new
// ones to the address book.
#include <string>
#include <vector>

#include "app/AppServices.h"
#include "discovery/BookMerge.h"
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

// The host's line in the address book's form: "name address HARDWARE"; the
// name as File > Add stores it.
std::string ScanEntry(const CScanHost& host);
// One JSON object: name, ip, mac, interface.
std::string ScanJsonLine(const CScanHost& host);
