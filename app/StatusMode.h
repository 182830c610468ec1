#pragma once
// Is it up? --status asks about hosts of the address book (or addresses),
// --wait waits after a wake until the woken hosts answer. Both run on the
// probe engine.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/AppServices.h"
#include "app/StatusOutput.h"

struct CCommandLine;
struct CProfileName;
class CHostFinder;
class CSetList;

// HOST of --status, as every option finds a host (a hardware address or an
// ethers name then needs its book entry for the address).
CStatusHost FindStatusHost(const CHostFinder& finder, const std::string& strHost);
// Every host of the book, in list order.
std::vector<CStatusHost> BookHosts(const CSetList& book);

// Probes the hosts at once and prints one line each, in their order; exit 0
// when all are up, else 1.
int RunStatus(const std::vector<CStatusHost>& hosts, bool bJson, const CAppServices& services);

// A host to wait for; dwAddr 0: none known. Only those woken (bWoken, set
// by the wake) are waited for and reported.
struct CWaitHost {
    std::string strName;
    uint32_t dwAddr = 0;
    std::string strMac;  // the hardware address it should answer with
    bool bWoken = false;
};

// The address to wait for after waking a bare hardware address text (twelve
// digits): its book entry's, else its neighbour entry's; 0 when neither.
uint32_t WaitAddressOfMac(const CSetList& book, INeighbourTable& neighbours,
                          const std::string& strMac);

// Probes the hosts, has wake() wake them right after every host's first
// probe, and goes on once a second until each is up or nSeconds are over.
// Each woken host's line comes as soon as it is up ("nas is up after 14 s",
// counted from the wake; "nas was up before its wake" when it answered the
// probe before it); the others follow at the end. A progress line goes to
// services.pProgress when there is one. Exit 0 all up, 1 otherwise, 130 or
// 143 when a signal stopped it. With bJson each line is a JSON object: name,
// ip, mac, state (up, down, unknown), after_s (from the wake) and reason.
int WaitForHosts(std::vector<CWaitHost>& hosts, int nSeconds, const CAppServices& services,
                 const std::function<void()>& wake, bool bJson = false);
// The same, with Ctrl-C and SIGTERM caught for the while.
int WaitForWoken(std::vector<CWaitHost>& hosts, int nSeconds, const CAppServices& services,
                 const std::function<void()>& wake, bool bJson = false);

// --status [HOST...] as the command line asks it: the book of --profile or
// the default one (which may be missing when hosts are given). Exit 2 when
// the book can't be read. The hosts found are asked by ask (none: RunStatus).
int RunStatusCommand(const CCommandLine& line, CProfileName& profile, const CAppServices& services,
                     const std::function<int(const std::vector<CStatusHost>&)>& ask = {});
