#pragma once
// Is it up? --status asks about hosts of the address book (or addresses),
// --wait waits after a wake until the woken hosts answer. Both run on the
// probe engine.
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/StatusOutput.h"

struct CCommandLine;
struct CProfileName;
class CSetList;
class IEthers;
class IMessageBox;
class IProbePlatform;
class IRouteTable;
class INeighbourTable;

struct CStatusServices {
    IProbePlatform* pPlatform = nullptr;
    IRouteTable* pRoutes = nullptr;
    INeighbourTable* pNeighbours = nullptr;
    IMessageBox* pMessages = nullptr;  // what went wrong, one line each
    std::FILE* pOut = stdout;          // the hosts' lines
    std::FILE* pProgress = nullptr;    // the progress line; null when standard error is no terminal
    const volatile sig_atomic_t* pStop = nullptr;  // set by Ctrl-C
};

const int kExitInterrupted = 130;
const int kWaitDefaultSeconds = 60;
const int kWaitMaxSeconds = 3600;

// HOST of --status: a dotted IPv4 address (with its book entry's name when
// there is one), or a host as --wake finds it: a hardware address in any
// form or an ethers name, whose book entry gives the address, or a name of
// the book.
CStatusHost FindStatusHost(const CSetList& book, IEthers& ethers, const std::string& strHost);
// Every host of the book, in list order.
std::vector<CStatusHost> BookHosts(const CSetList& book);

// Probes the hosts at once and prints one line each, in their order;
// exit 0 when all are up, else 1 (2 when the output could not be written).
int RunStatus(const std::vector<CStatusHost>& hosts, bool bJson, const CStatusServices& services);

// A woken host to wait for; dwAddr 0: none known.
struct CWaitHost {
    std::string strName;
    uint32_t dwAddr = 0;
};

// The address to wait for after waking a bare hardware address text (twelve
// digits): its book entry's, else its neighbour entry's; 0 when neither.
uint32_t WaitAddressOfMac(const CSetList& book, INeighbourTable& neighbours,
                          const std::string& strMac);
// The address text of an entry as a probe target; 0 for none or "0.0.0.0".
uint32_t StoredAddress(const std::string& strIp);

// Probes the hosts once a second until each is up or nSeconds are over.
// Each host's line comes as soon as it is up ("nas is up after 14 s"); the
// others follow at the end. Exit 0 all up, 1 otherwise, 130 when stopped.
int WaitForHosts(const std::vector<CWaitHost>& hosts, int nSeconds,
                 const CStatusServices& services);

// --status [HOST...] as the command line asks it: the book of --profile or
// the default one (which may be missing when hosts are given), on the real
// system. Exit 2 when the book can't be read.
int RunStatusCommand(const CCommandLine& line, CProfileName& profile, IEthers& ethers,
                     IMessageBox& messages);
// --wait after the wakes, on the real system: Ctrl-C stops it with 130;
// the progress line only while standard error is a terminal.
int WaitForWoken(const std::vector<CWaitHost>& hosts, int nSeconds, IMessageBox& messages);
