#include "app/SystemServices.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/Via.h"
#include "app/WindowLoader.h"
#include "discovery/ProbeKit.h"
#include "hosts/FileSystem.h"
#include "net/Ethers.h"
#include "net/Netlink.h"
#include "net/ProbePlatform.h"
#include "net/Resolver.h"
#include "net/SocketLayer.h"
#include "ui/MessageBox.h"

namespace {

volatile sig_atomic_t s_nStopSignal = 0;
void OnStopSignal(int nSignal) { s_nStopSignal = nSignal; }

int64_t MonotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * int64_t{1000} + now.tv_nsec / 1000000;
}

// After a stop, how long the other side has to end, then ssh after SIGTERM.
constexpr int64_t kStopGraceMs = 5000;
constexpr int64_t kTermGraceMs = 2000;
// ssh's own messages kept apart: at most this much of them is read.
constexpr size_t kLogLimit = 64 * 1024;

// One stream of the remote's: its bytes cut into lines.
struct CLineReader {
    int hFd = -1;
    std::string strPending;
    const std::function<void(const std::string&)>* pOnLine = nullptr;

    // Reads what is there; false at its end.
    bool Read()
    {
        char buffer[8192];
        const ssize_t nRead = ::read(hFd, buffer, sizeof buffer);
        if (nRead < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (nRead <= 0) {
            if (!strPending.empty())
                (*pOnLine)(std::exchange(strPending, {}));
            ::close(std::exchange(hFd, -1));
            return false;
        }
        strPending.append(buffer, static_cast<size_t>(nRead));
        for (size_t nEnd; (nEnd = strPending.find('\n')) != std::string::npos;) {
            (*pOnLine)(strPending.substr(0, nEnd + 1));
            strPending.erase(0, nEnd + 1);
        }
        return true;
    }
};

// A temporary file for ssh's own messages (-E), removed at once: only the
// descriptor kept here reads it. -1 when none can be made.
int MakeLogFile(std::string& strPath)
{
    const char* pszDir = std::getenv("TMPDIR");
    strPath = std::string(pszDir && pszDir[0] == '/' ? pszDir : "/tmp") + "/nuvik-ssh-XXXXXX";
    return ::mkostemp(strPath.data(), O_CLOEXEC);
}

std::string ReadLog(int hLog)
{
    std::string strLog(kLogLimit, '\0');
    const ssize_t nRead = hLog < 0 ? 0 : ::pread(hLog, strLog.data(), strLog.size(), 0);
    strLog.resize(nRead > 0 ? static_cast<size_t>(nRead) : 0);
    return strLog;
}

// The system's OpenSSH client, started with posix_spawn in a process group
// of its own (a Ctrl-C at the terminal reaches nuvik, which then closes the
// remote's input), its three standard streams on pipes.
class CSystemRemoteShell : public IRemoteShell {
public:
    CShellRun Run(const std::vector<std::string>& args, const CShellRelay& relay) override
    {
        CShellRun run;
        std::string strLogPath;
        const int hLog = MakeLogFile(strLogPath);
        std::vector<std::string> argv{"ssh"};
        if (hLog >= 0)
            argv.insert(argv.end(), {"-E", strLogPath});
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& strArg : argv)
            pointers.push_back(strArg.data());
        pointers.push_back(nullptr);

        int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0) {
            run.nSpawnError = errno;
            for (const int hFd : {in[0], in[1], out[0], out[1], err[0], err[1], hLog})
                if (hFd >= 0)
                    ::close(hFd);
            return run;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults, none;
        sigemptyset(&defaults);
        for (const int nSignal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP})
            sigaddset(&defaults, nSignal);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        pid_t nPid = -1;
        run.nSpawnError =
            ::posix_spawnp(&nPid, "ssh", &actions, &attributes, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        for (const int hFd : {in[0], out[1], err[1]})
            ::close(hFd);
        CLineReader readers[2] = {{out[0], {}, &relay.onOut}, {err[0], {}, &relay.onErr}};
        if (run.nSpawnError) {
            for (const int hFd : {in[1], out[0], err[0], hLog})
                ::close(hFd);
            return run;
        }
        Relay(nPid, in[1], readers, relay.pStop, run);
        run.strLog = ReadLog(hLog);
        if (hLog >= 0) {
            ::unlink(strLogPath.c_str());
            ::close(hLog);
        }
        return run;
    }

private:
    // Relays until ssh has ended and its streams are closed; a stop closes
    // its input, then ends it when it does not end in time.
    static void Relay(pid_t nPid, int hIn, CLineReader (&readers)[2],
                      const volatile sig_atomic_t* pStop, CShellRun& run)
    {
        int64_t nStopAtMs = -1, nExitAtMs = -1;
        int nStatus = 0;
        bool bTermSent = false;
        // Readable when ssh has ended: the wait ends then, not at the next tick.
        const int hProcess = static_cast<int>(::syscall(SYS_pidfd_open, nPid, 0));
        for (;;) {
            const int64_t nNowMs = MonotonicMs();
            if (pStop && *pStop && nStopAtMs < 0) {
                ::close(std::exchange(hIn, -1));
                nStopAtMs = nNowMs;
            }
            if (nExitAtMs < 0 && ::waitpid(nPid, &nStatus, WNOHANG) == nPid)
                nExitAtMs = nNowMs;
            // Streams another process still holds open end soon after ssh.
            const bool bStreamsOpen = readers[0].hFd >= 0 || readers[1].hFd >= 0;
            if (nExitAtMs >= 0 && (!bStreamsOpen || nNowMs - nExitAtMs > 500))
                break;
            if (nExitAtMs < 0 && nStopAtMs >= 0 && nNowMs - nStopAtMs > kStopGraceMs) {
                ::kill(nPid,
                       bTermSent && nNowMs - nStopAtMs > kStopGraceMs + kTermGraceMs ? SIGKILL
                                                                                     : SIGTERM);
                bTermSent = true;
            }
            pollfd fds[3] = {{readers[0].hFd, POLLIN, 0},
                             {readers[1].hFd, POLLIN, 0},
                             {nExitAtMs < 0 ? hProcess : -1, POLLIN, 0}};
            if (::poll(fds, 3, hProcess >= 0 || nExitAtMs >= 0 ? 100 : 10) > 0)
                for (size_t i = 0; i < 2; ++i)
                    if (fds[i].revents)
                        readers[i].Read();
        }
        for (CLineReader& reader : readers)
            if (reader.hFd >= 0)
                ::close(reader.hFd);
        for (const int hFd : {hIn, hProcess})
            if (hFd >= 0)
                ::close(hFd);
        run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    }
};

}  // namespace

struct CSystemServices::CParts {
    explicit CParts(const std::string& strAppName)
        : messages(strAppName)
    { }
    CPosixSocketLayer sockets;
    CNetlinkRouteTable routes;
    CNetlinkNeighbourTable neighbours;
    CPosixProbePlatform platform;
    CSystemResolver resolver;
    CSystemEthers ethers;
    CPosixFileSystem files;
    CSystemRemoteShell shell;
    CStreamMessageBox messages;
};

CSystemServices::CSystemServices(const std::string& strAppName)
    : m_pParts(std::make_unique<CParts>(strAppName))
{
    CParts& parts = *m_pParts;
    m_services.pSockets = &parts.sockets;
    m_services.pRoutes = &parts.routes;
    m_services.pNeighbours = &parts.neighbours;
    m_services.pPlatform = &parts.platform;
    m_services.pResolver = &parts.resolver;
    m_services.pEthers = &parts.ethers;
    m_services.pFiles = &parts.files;
    m_services.pShell = &parts.shell;
    // Each call resolves on its own: the scan asks from several threads.
    m_services.reverseLookup = [](uint32_t dwAddr, std::string& strName) {
        return CSystemResolver().GetHostByAddr(dwAddr, strName) == 0;
    };
    m_services.pMessages = &parts.messages;
    m_services.pfnRunDialog = &RunDialogMode;
    m_services.pfnShowMessage = &ShowDialogMessage;
    m_services.pfnRunHosts = &RunHostsMode;
    m_services.makeProbeKit = [] {
        struct CSystemKit : CProbeKit {
            CPosixProbePlatform platform;
            CNetlinkRouteTable routes;
            CNetlinkNeighbourTable neighbours;
        };
        auto pKit = std::make_unique<CSystemKit>();
        pKit->pPlatform = &pKit->platform;
        pKit->pRoutes = &pKit->routes;
        pKit->pNeighbours = &pKit->neighbours;
        return std::unique_ptr<CProbeKit>(std::move(pKit));
    };
    m_services.nowMs = &MonotonicMs;
    m_services.pfnPause = &PauseMs;
    m_services.pOut = stdout;
    m_services.pProgress = ::isatty(STDERR_FILENO) ? stderr : nullptr;
    m_services.pStop = &s_nStopSignal;
}

CSystemServices::~CSystemServices() = default;

CStopOnSignals::CStopOnSignals()
{
    struct sigaction stop { };
    stop.sa_handler = OnStopSignal;  // no SA_RESTART: a wait ends at once
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, &m_beforeInt);
    ::sigaction(SIGTERM, &stop, &m_beforeTerm);
}

CStopOnSignals::~CStopOnSignals()
{
    ::sigaction(SIGINT, &m_beforeInt, nullptr);
    ::sigaction(SIGTERM, &m_beforeTerm, nullptr);
}

void StopWhenInputEnds()
{
    std::thread([] {
        char buffer[512];
        ssize_t nRead = 0;
        while ((nRead = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0 ||
               (nRead < 0 && errno == EINTR)) { }
        s_nStopSignal = SIGINT;
        PauseMs(static_cast<int>(kStopGraceMs) - 1000);
        std::fflush(stdout);
        std::_Exit(128 + SIGINT);
    }).detach();
}

void PauseMs(int nMs)
{
    timespec left{nMs / 1000, (nMs % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) { }
}
