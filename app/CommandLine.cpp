#include "app/CommandLine.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "app/Via.h"

namespace {

// --wait without a value, and the longest it takes.
constexpr unsigned long kWaitDefaultSeconds = 60;
constexpr unsigned long kWaitMaxSeconds = 3600;

// One option: how it is spelled, what it takes, what the usage text says
// about it, and what it sets. A new option is one more row.
struct COptionSpec {
    const char* pszLong;
    int nShort;            // 0: long form only
    int nHasArg;           // no_argument, required_argument, optional_argument
    const char* pszValue;  // the value's name in the usage text
    const char* pszHelp;
    // Sets the option's field from its value (nullptr when none was given);
    // false with the reason when the value is not valid.
    bool (*pfnApply)(CCommandLine& line, const char* pszValue, std::string& strWhy);
};

// A whole decimal number from nMin to nMax: no sign, blanks or other bytes.
bool ParseNumber(const char* pszText, unsigned long nMin, unsigned long nMax, unsigned long& nValue)
{
    const char* pEnd = pszText + std::strlen(pszText);
    if (pszText == pEnd || *pszText < '0' || *pszText > '9')
        return false;
    const auto [pStop, error] = std::from_chars(pszText, pEnd, nValue);
    return error == std::errc() && pStop == pEnd && nValue >= nMin && nValue <= nMax;
}

bool ParsePort(const char* pszText, uint16_t& nPort, std::string& strWhy)
{
    unsigned long nValue = 0;
    if (!ParseNumber(pszText, 1, 65535, nValue)) {
        strWhy = "not a port number from 1 to 65535";
        return false;
    }
    nPort = static_cast<uint16_t>(nValue);
    return true;
}

bool NotEmpty(const char* pszText, std::string& strWhy)
{
    if (*pszText == '\0')
        strWhy = "the value is empty";
    return *pszText != '\0';
}

const COptionSpec kOptions[] = {
    {"wake", 'w', no_argument, "", "the arguments are hosts: addresses in any form, or names",
     [](CCommandLine& line, const char*, std::string&) { return line.bWake = true; }},
    {"profile", 'f', required_argument, "FILE",
     "the address book to use (alone: open the window on it)",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         return NotEmpty(psz, strWhy) && (line.strProfile = psz, true);
     }},
    {"port", 0, required_argument, "N", "destination UDP port, 1 to 65535 (default 4000)",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         return ParsePort(psz, line.nPort, strWhy);
     }},
    {"to", 0, required_argument, "ADDRESS", "destination address or name, not 255.255.255.255",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         return NotEmpty(psz, strWhy) && (line.strTo = psz, true);
     }},
    {"interface", 'i', required_argument, "NAME", "send by this interface only",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         return NotEmpty(psz, strWhy) && (line.strInterface = psz, true);
     }},
    {"repeat", 0, required_argument, "N", "datagrams per host, 1 to 100, in rounds 50 ms apart",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         unsigned long nValue = 0;
         if (!ParseNumber(psz, 1, 100, nValue)) {
             strWhy = "not a number from 1 to 100";
             return false;
         }
         line.nRepeat = static_cast<int>(nValue);
         return true;
     }},
    {"verbose", 'v', no_argument, "", "one line per datagram: host, destination, interface",
     [](CCommandLine& line, const char*, std::string&) { return line.bVerbose = true; }},
    {"listen", 0, optional_argument, "PORT",
     "print each magic packet arriving on PORT (default 4000)",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         line.bListen = true;
         return psz == nullptr || ParsePort(psz, line.nListenPort, strWhy);
     }},
    {"status", 0, no_argument, "",
     "is it up? probe the hosts given (names, hardware or\n"
     "IPv4 addresses), or every host of the address book",
     [](CCommandLine& line, const char*, std::string&) { return line.bStatus = true; }},
    {"wait", 0, optional_argument, "SECONDS",
     "after the wakes, wait until the hosts answer, at most\n"
     "SECONDS (default 60, at most 3600)",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         unsigned long nValue = kWaitDefaultSeconds;
         if (psz && !ParseNumber(psz, 1, kWaitMaxSeconds, nValue)) {
             strWhy = "not a number of seconds from 1 to " + std::to_string(kWaitMaxSeconds);
             return false;
         }
         line.nWaitSeconds = static_cast<int>(nValue);
         return true;
     }},
    {"scan", 0, optional_argument, "CIDR",
     "list the hosts of the attached links (or of CIDR,\n"
     "at most a /16) with their hardware addresses and names",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         line.bScan = true;
         line.bScanRange = psz != nullptr;
         return psz == nullptr || (NotEmpty(psz, strWhy) && (line.strScanRange = psz, true));
     }},
    {"add", 0, no_argument, "",
     "with --scan: add the hosts whose hardware address is\n"
     "not in the address book yet",
     [](CCommandLine& line, const char*, std::string&) { return line.bAdd = true; }},
    {"hosts", 0, no_argument, "",
     "open the hosts window: every host of the address book\n"
     "with its state, scan, wake several",
     [](CCommandLine& line, const char*, std::string&) { return line.bHosts = true; }},
    {"via", 0, required_argument, "[USER@]HOST",
     "wake, --status, --scan or --listen on HOST, through\n"
     "ssh, by the nuvik installed there; names are looked\n"
     "up here",
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         if (*psz == '-')  // never an option of ssh
             strWhy = "a host does not start with -";
         return NotEmpty(psz, strWhy) && *psz != '-' && (line.strVia = psz, true);
     }},
    // Not in the usage text: what --via puts first in its request.
    {"via-request", 0, required_argument, "VERSION", nullptr,
     [](CCommandLine& line, const char* psz, std::string& strWhy) {
         unsigned long nValue = 0;
         if (!ParseNumber(psz, 1, kViaRequestVersion, nValue)) {
             strWhy = "this nuvik reads requests of version " + std::to_string(kViaRequestVersion) +
                 " (the one that sent it is newer)";
             return false;
         }
         line.nViaRequest = static_cast<int>(nValue);
         return true;
     }},
    {"json", 0, no_argument, "", "with --status, --scan or --wait: one JSON object per line",
     [](CCommandLine& line, const char*, std::string&) { return line.bJson = true; }},
    {"help", 'h', no_argument, "", "print this help and exit",
     [](CCommandLine& line, const char*, std::string&) { return line.bHelp = true; }},
    {"version", 0, no_argument, "", "print the version and exit",
     [](CCommandLine& line, const char*, std::string&) { return line.bVersion = true; }},
};
constexpr size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];
constexpr int kLongOnly = 256;  // getopt's value for option i without a short form: kLongOnly + i

int ValueOf(size_t i)
{
    return kOptions[i].nShort ? kOptions[i].nShort : kLongOnly + static_cast<int>(i);
}

const COptionSpec* SpecOf(int nValue)
{
    for (size_t i = 0; i < kOptionCount; ++i)
        if (ValueOf(i) == nValue)
            return &kOptions[i];
    return nullptr;
}

std::string Spelled(const COptionSpec& spec) { return std::string("--") + spec.pszLong; }

// The reason for an argument getopt did not accept.
std::string UnknownOption(const std::string& strArg, int nShort)
{
    if (nShort != 0)
        return std::string("unknown option -") + static_cast<char>(nShort);
    const std::string strName = strArg.substr(0, strArg.find('='));
    std::string strCandidates;
    for (const COptionSpec& spec : kOptions)
        if (strName.size() > 2 && Spelled(spec).starts_with(strName))
            strCandidates += (strCandidates.empty() ? "" : ", ") + Spelled(spec);
    if (strCandidates.empty())
        return "unknown option " + strName;
    return "ambiguous option " + strName + " (" + strCandidates + ")";
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CCommandLine& line,
                      std::string& strError)
{
    line = CCommandLine();
    std::vector<std::string> copies{"nuvik"};
    copies.insert(copies.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& strArg : copies)
        argv.push_back(strArg.data());
    argv.push_back(nullptr);

    std::vector<option> longOptions;
    std::string strShort = "-:";  // arguments in place, in order; ':' for a missing value
    for (size_t i = 0; i < kOptionCount; ++i) {
        longOptions.push_back({kOptions[i].pszLong, kOptions[i].nHasArg, nullptr, ValueOf(i)});
        if (kOptions[i].nShort) {
            strShort += static_cast<char>(kOptions[i].nShort);
            strShort += kOptions[i].nHasArg == required_argument ? ":" : "";
        }
    }
    longOptions.push_back({});

    std::vector<const COptionSpec*> given;
    const int argc = static_cast<int>(copies.size());
    optind = 0;  // glibc: start afresh
    opterr = 0;
    for (;;) {
        const int nOption =
            getopt_long(argc, argv.data(), strShort.c_str(), longOptions.data(), nullptr);
        if (nOption == -1)
            break;
        const std::string strArg = optind - 1 < argc ? argv[optind - 1] : "";
        if (nOption == 1) {  // an argument that is not an option
            line.args.emplace_back(optarg);
            continue;
        }
        const COptionSpec* pSpec = SpecOf(nOption == '?' || nOption == ':' ? optopt : nOption);
        if (nOption == '?') {
            strError = pSpec && strArg.starts_with("--") ? Spelled(*pSpec) + " takes no value"
                                                         : UnknownOption(strArg, optopt);
            return false;
        }
        if (nOption == ':' || pSpec == nullptr) {
            strError = (pSpec ? Spelled(*pSpec) : strArg) + " needs a value" +
                (pSpec ? std::string(" (") + pSpec->pszValue + ")" : "");
            return false;
        }
        if (pSpec->nHasArg != no_argument &&
            std::find(given.begin(), given.end(), pSpec) != given.end()) {
            strError = Spelled(*pSpec) + " is given more than once";
            return false;
        }
        given.push_back(pSpec);
        std::string strWhy;
        if (!pSpec->pfnApply(line, optarg, strWhy)) {
            strError = Spelled(*pSpec) + " '" + (optarg ? optarg : "") + "': " + strWhy;
            return false;
        }
    }
    for (int i = optind; i < argc; ++i)  // after "--"
        line.args.emplace_back(argv[i]);

    if (line.bHelp || line.bVersion)
        return true;
    const auto Given = [&](const char* pszLong) {
        return std::any_of(given.begin(), given.end(), [&](const COptionSpec* pSpec) {
            return std::strcmp(pSpec->pszLong, pszLong) == 0;
        });
    };
    if (line.bWake && line.args.empty()) {
        strError = "--wake needs at least one host";
        return false;
    }
    if (line.bAdd && !line.bScan) {
        strError = "--add goes with --scan";
        return false;
    }
    if (line.bScan && (line.bWake || line.bListen || !line.args.empty())) {
        strError = "--scan finds hosts: it takes no host, and no --wake or --listen";
        return false;
    }
    const bool bDelivery = Given("port") || Given("to") || Given("repeat") || Given("verbose");
    if (line.bScan && bDelivery) {
        strError = "--scan wakes nothing: --port, --to, --repeat and --verbose do not go with it";
        return false;
    }
    if (line.bStatus && (line.bWake || line.nWaitSeconds || line.bScan)) {
        strError = std::string("--status only asks: it does not go with ") +
            (line.bWake       ? "--wake"
                 : line.bScan ? "--scan"
                              : "--wait");
        return false;
    }
    if (line.bStatus && (bDelivery || Given("interface"))) {
        strError = "--status wakes nothing: --port, --to, --interface, --repeat and --verbose do "
                   "not go with it";
        return false;
    }
    if (line.nWaitSeconds && !line.bWake && line.args.empty()) {
        strError = "--wait waits for woken hosts: give hosts to wake, or a profile file";
        return false;
    }
    if (line.bHosts &&
        (line.bWake || line.bListen || line.bStatus || line.bScan || line.nWaitSeconds ||
         line.bJson || !line.args.empty())) {
        strError = "--hosts opens the hosts window: it takes no host, and no other mode";
        return false;
    }
    if (line.bJson && !line.bStatus && !line.bScan && !line.nWaitSeconds) {
        strError = "--json goes with --status, --scan or --wait";
        return false;
    }
    const bool bSends = line.bWake || !line.args.empty() ||
        std::count_if(given.begin(), given.end(), [](const COptionSpec* pSpec) {
            return std::strncmp(pSpec->pszLong, "via", 3) != 0;
        }) > 1;
    if (line.bListen && bSends) {
        strError = "--listen only receives: it takes no host and no other option";
        return false;
    }
    const bool bMode = line.bWake || line.bStatus || line.bScan || line.bListen;
    if (!line.strVia.empty() &&
        (line.bHosts || line.nViaRequest || (!bMode && line.args.empty()))) {
        strError = "--via runs a wake, --status, --scan or --listen on another machine: give "
                   "hosts, a profile file or one of those (not --hosts)";
        return false;
    }
    if (line.nViaRequest && (line.bWake || line.bStatus) &&
        line.args.size() % kRemoteHostFields != 0) {
        strError = "--via-request: the hosts come in groups of " +
            std::to_string(kRemoteHostFields) + " arguments";
        return false;
    }
    return true;
}

std::string OptionHelp()
{
    std::string strText;
    for (const COptionSpec& spec : kOptions) {
        if (spec.pszHelp == nullptr)
            continue;
        std::string strLeft = "  ";
        strLeft += spec.nShort ? std::string("-") + static_cast<char>(spec.nShort) + ", " : "    ";
        strLeft += Spelled(spec);
        if (spec.nHasArg == required_argument)
            strLeft += std::string(" ") + spec.pszValue;
        else if (spec.nHasArg == optional_argument)
            strLeft += std::string("[=") + spec.pszValue + "]";
        strLeft.resize(std::max<size_t>(strLeft.size() + 1, 24), ' ');
        for (const char* p = spec.pszHelp; *p;) {
            const char* pEnd = std::strchr(p, '\n');
            const size_t nLength = pEnd ? static_cast<size_t>(pEnd - p) : std::strlen(p);
            strText += strLeft + std::string(p, nLength) + "\n";
            strLeft.assign(24, ' ');
            p += nLength + (pEnd != nullptr);
        }
    }
    return strText;
}
