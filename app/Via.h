#pragma once
// --via HOST: the mode runs on another machine, by the nuvik installed there,
// through the system's OpenSSH client, in one round trip. Names are looked
// up here; the request carries hardware and IPv4 addresses only, each
// argument quoted for the remote shell. The other side knows it by
// --via-request=VERSION, put first: a nuvik too old to know it refuses the
// whole command line before any mode runs.
#include <signal.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ui/MessageBox.h"

struct CAppServices;
struct CCommandLine;

// The request format this nuvik writes and reads.
constexpr unsigned long kViaRequestVersion = 1;

// A host of a --wake or --status request: kRemoteHostFields arguments each,
// in this order.
struct CRemoteHost {
    std::string strShown;  // --wake: what the messages call it
    std::string strName;   // the name the lines show
    std::string strIp;     // the address (--wake: the link it is woken on); may be empty
    std::string strMac;    // the hardware address
    std::string strNote;   // --wake: the address to wait for when not strIp;
                           // --status: why it can't be asked
};
constexpr size_t kRemoteHostFields = 5;

// The hosts of a request's arguments (whole groups only).
std::vector<CRemoteHost> RemoteHostsOf(const std::vector<std::string>& args);

// The arguments of the nuvik on the other side (after its name) for the
// command line: the request's version first; the mode with the options that
// go along (--interface names an interface over there); "--"; the hosts.
// --scan asks for JSON, which is read here; --add is done here.
std::vector<std::string> RemoteArguments(const CCommandLine& line,
                                         const std::vector<CRemoteHost>& hosts);

// The command for the remote shell: exit 127 when there is no nuvik to run,
// else run it with the arguments, each one quoted.
std::string RemoteCommand(const std::vector<std::string>& args);

// ssh's arguments: batch mode, no terminal, no agent or X11 forwarding, the
// connection bounded, then "--", the host and the command.
std::vector<std::string> SshArguments(const std::string& strHost, const std::string& strCommand);

// The first byte of a line of the request's standard error, one that no
// message holds (control bytes are written escaped): a signal for the side
// that sent it, never shown; or a message, shown without it. Other lines
// are ssh's own (or the remote shell's).
constexpr char kViaSignal = '\x01';
constexpr char kViaMessage = '\x02';
// The signal that the wakes of a request were sent (it then waits).
constexpr const char* kViaWakesSent = "\x01wakes sent\n";

// What ssh did.
struct CShellRun {
    int nExit = 0;        // the remote command's exit status, or 255 for ssh's own failure
    int nSpawnError = 0;  // errno when ssh could not be started (ENOENT: not installed)
    std::string strLog;   // ssh's own messages
};

// Where the remote's output goes while it runs.
struct CShellRelay {
    // Standard output and standard error, a line at a time (with its line
    // feed; the last one without, when it has none).
    std::function<void(const std::string&)> onOut;
    std::function<void(const std::string&)> onErr;
    // Set (Ctrl-C, SIGTERM): the remote's input is closed, which ends the
    // request over there; ssh is ended when it does not end in time.
    const volatile sig_atomic_t* pStop = nullptr;
};

// The system's OpenSSH client.
class IRemoteShell {
public:
    virtual ~IRemoteShell() = default;
    // Runs ssh with the arguments (after its name; SshArguments), its own
    // messages kept apart from the remote's.
    virtual CShellRun Run(const std::vector<std::string>& args, const CShellRelay& relay) = 0;
};

// The other side's messages: each line marked as one.
class CViaMessageBox : public IMessageBox {
public:
    explicit CViaMessageBox(IMessageBox& messages)
        : m_messages(messages)
    { }
    void MessageBox(const std::string& strText) override;
    ESaveChoice AskSave(ESaveQuestion question, const std::string& strText) override
    {
        return m_messages.AskSave(question, strText);
    }

private:
    IMessageBox& m_messages;
    std::mutex m_mutex;  // a line at a time, from every thread
};

// Runs the request for the command line on line.strVia and relays what it
// prints: standard error as it comes, standard output to onOut (none: as it
// comes, to services.pOut). A failure of ssh or of the other side is one
// line in words. Returns the remote's exit status, or 2.
int RunVia(const CCommandLine& line, const std::vector<CRemoteHost>& hosts,
           const CAppServices& services, const std::function<void(const std::string&)>& onOut = {});
