#pragma once
// Is it up? --status asks about hosts of the address book (or addresses),
// --wait waits after a wake until the woken hosts answer. Both run on the
// probe engine.
#include <cstdint>
#include <string>
#include <vector>

#include "app/AppServices.h"
#include "app/StatusOutput.h"

struct CCommandLine;
struct CProfileName;
class CSetList;

// HOST of --status: a dotted IPv4 address (with its book entry's name when
// there is one), or a host as --wake finds it: a hardware address in any
// form or an ethers name, whose book entry gives the address, or a name of
// the book.
CStatusHost FindStatusHost(const CSetList& book, IEthers& ethers, const std::string& strHost);
// Every host of the book, in list order.
std::vector<CStatusHost> BookHosts(const CSetList& book);

// Probes the hosts at once and prints one line each, in their order; exit 0
// when all are up, else 1.
int RunStatus(const std::vector<CStatusHost>& hosts, bool bJson, const CAppServices& services);

// A woken host to wait for; dwAddr 0: none known.
struct CWaitHost {
    std::string strName;
    uint32_t dwAddr = 0;
};

// The address to wait for after waking a bare hardware address text (twelve
// digits): its book entry's, else its neighbour entry's; 0 when neither.
uint32_t WaitAddressOfMac(const CSetList& book, INeighbourTable& neighbours,
                          const std::string& strMac);

// Probes the hosts once a second until each is up or nSeconds are over.
// Each host's line comes as soon as it is up ("nas is up after 14 s"); the
// others follow at the end. A progress line goes to services.pProgress when
// there is one. Exit 0 all up, 1 otherwise, 130 when stopped.
int WaitForHosts(const std::vector<CWaitHost>& hosts, int nSeconds, const CAppServices& services);
// The same, with Ctrl-C catched for the while.
int WaitForWoken(const std::vector<CWaitHost>& hosts, int nSeconds, const CAppServices& services);

// --status [HOST...] as the command line asks it: the book of --profile or
// the default one (which may be missing when hosts are given). Exit 2 when
// the book can't be read.
int RunStatusCommand(const CCommandLine& line, CProfileName& profile, const CAppServices& services);
