#pragma once
// The scan mode: finds the hosts of the attached links, prints them in the
// address book's entry form (or as JSON Lines), and with bAdd adds the new
// ones to the address book.
#include <functional>
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

// A scan run elsewhere (--via): fills found, returns the exit status it ended with.
using ScanElsewhere = std::function<int(std::vector<CScanHost>& found)>;

// Runs the scan (here, or by elsewhere) on the address book profile names;
// returns the exit status: 0 hosts found, 1 none found, 2 the scan or the
// address book's save could not run.
int RunScanMode(const CScanRequest& request, CProfileName& profile, const CAppServices& services,
                const ScanElsewhere& elsewhere = {});

// The host's line in the address book's form: "name address HARDWARE"; the
// name as File > Add stores it.
std::string ScanEntry(const CScanHost& host);
// One JSON object: name, ip, mac, interface.
std::string ScanJsonLine(const CScanHost& host);
// The host of such a line; false when it is none.
bool ScanHostOfJson(const std::string& strLine, CScanHost& host);
