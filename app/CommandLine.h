#pragma once
// The command line, parsed: GNU-style options (long ones, "--opt=value" and
// "--opt value", anywhere, "--" ends them) and what is left for the modes.
// Parsing only: nothing here looks anything up or sends anything.
#include <cstdint>
#include <string>
#include <vector>

struct CCommandLine {
    bool bHelp = false;        // --help, -h
    bool bVersion = false;     // --version
    bool bWake = false;        // --wake, -w: the arguments are hosts
    std::string strProfile;    // --profile, -f: the address book; empty: the default one
    uint16_t nPort = 4000;     // --port: the destination port
    std::string strTo;         // --to: destination address or name; empty: 255.255.255.255
    std::string strInterface;  // --interface, -i: the one interface to send by
    int nRepeat = 1;           // --repeat: datagrams per host
    bool bVerbose = false;     // --verbose, -v: one line per datagram
    bool bListen = false;      // --listen[=PORT]: print the magic packets that arrive
    uint16_t nListenPort = 4000;
    bool bStatus = false;  // --status: the arguments are hosts to ask about; none: the whole book
    int nWaitSeconds =
        0;               // --wait[=SECONDS]: after the wakes, wait this long for answers; 0: don't
    bool bJson = false;  // --json: JSON Lines instead of aligned text
    bool bScan = false;  // --scan[=CIDR]: list the hosts of the attached links
    bool bScanRange = false;
    std::string strScanRange;  // the CIDR given to --scan
    bool bAdd = false;         // --add, with --scan: keep the new hosts in the address book
    bool bHosts = false;       // --hosts: the hosts window
    std::string strVia;        // --via [USER@]HOST: the machine the mode runs on, through ssh
    int nViaRequest = 0;       // --via-request=VERSION: this run is another nuvik's --via request

    std::vector<std::string> args;  // what is not an option, in order

    bool HasProfile() const { return !strProfile.empty(); }
};

// Parses the arguments after the program name into line. False, with one
// line in strError that names the option and says what is wrong with it, for
// an unknown option, a missing or invalid value, a value option given twice,
// or options that do not go together.
bool ParseCommandLine(const std::vector<std::string>& args, CCommandLine& line,
                      std::string& strError);

// The option lines of the usage text, one per option, from the option table.
std::string OptionHelp();
