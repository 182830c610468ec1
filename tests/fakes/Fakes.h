#pragma once
// Stand-ins for the platform services: sockets, routes, files, the window's
// controls, message boxes, file dialogs and the "MAC" button's lookups. Each
// records what it was asked and can be told to fail.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/EchoRequest.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"
#include "hosts/FileSystem.h"
#include "hosts/HostLookUp.h"
#include "hosts/ProfileName.h"
#include "net/Routes.h"
#include "net/SocketLayer.h"
#include "ui/ControlServices.h"
#include "ui/FileChooser.h"
#include "ui/MessageBox.h"
#include "ui/NUVIKDlg.h"
#include "ui/Resource.h"

using List = std::vector<std::string>;

inline uint32_t NetAddr(const char* pszDotted) { return inet_addr(pszDotted); }

// --- files --------------------------------------------------------------------

// A fresh directory, removed afterwards with everything in it.
struct CTempDir {
    std::string strPath = [] {
        std::string strTemplate = std::filesystem::temp_directory_path() / "nuvik-test-XXXXXX";
        return std::string(mkdtemp(strTemplate.data()));
    }();
    ~CTempDir() { std::filesystem::remove_all(strPath); }
    std::string operator/(const std::string& strName) const { return strPath + "/" + strName; }
};

inline std::string ReadBytes(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
inline void WriteBytes(const std::string& strPath, const std::string& strData)
{
    std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strData;
}
// All that was written to a stream (a tmpfile()), which it closes.
inline std::string Written(std::FILE* pFile)
{
    std::string str;
    std::rewind(pFile);
    for (int c; (c = std::fgetc(pFile)) != EOF;)
        str += static_cast<char>(c);
    return std::fclose(pFile), str;
}

// An endless character device of the test's own (the node of /dev/zero):
// a fault that wrote through a link to it could replace it, and no real
// device must be at stake. Needs root, which CI has.
inline bool MakeZeroDevice(const std::string& strPath)
{
    if (mknod(strPath.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0)
        return true;
    if (getenv("CI"))
        ADD_FAILURE() << "cannot make a device node: " << strerror(errno);
    return false;
}

// The real file system, but any call can be told to fail ("tmpfile": no
// unnamed files, "create": no new named file, "sync": no directory to sync);
// records the calls made. Writes are short, so that callers
// must loop.
class CFaultyFileSystem : public CPosixFileSystem {
public:
    std::map<std::string, int> failures;
    List ops;
    int nInterrupts = 0;       // writes that fail with EINTR first
    bool bNoProgress = false;  // writes that take nothing

    int Open(const std::string& strPath, int nFlags, mode_t nMode) override
    {
        if ((nFlags & O_TMPFILE) == O_TMPFILE && Fails("tmpfile"))
            return -1;
        if ((nFlags & O_CREAT) && Fails("create"))
            return -1;
        if ((nFlags & O_TMPFILE) != O_TMPFILE && (nFlags & O_DIRECTORY) &&
            (ops.push_back("sync:" + strPath), Fails("sync")))
            return -1;
        return Fails("open") ? -1 : CPosixFileSystem::Open(strPath, nFlags, nMode);
    }
    ssize_t Read(int h, void* p, size_t n) override
    {
        return Fails("read") ? -1 : CPosixFileSystem::Read(h, p, n);
    }
    ssize_t Write(int h, const void* p, size_t n) override
    {
        if (nInterrupts > 0 && nInterrupts--)
            return m_nLastError = EINTR, -1;
        return Fails("write") ? -1
            : bNoProgress     ? 0
                              : CPosixFileSystem::Write(h, p, n > 1 ? n / 2 : n);
    }
    int Fsync(int h) override { return Fails("fsync") ? -1 : CPosixFileSystem::Fsync(h); }
    int Close(int h) override  // releases the descriptor even when it fails, as close(2)
    {
        return CPosixFileSystem::Close(h) != 0 || Fails("close") ? -1 : 0;
    }
    int LinkOpenFile(int h, const std::string& s) override
    {
        return Fails("link") ? -1 : CPosixFileSystem::LinkOpenFile(h, s);
    }
    int Rename(const std::string& a, const std::string& b) override
    {
        return Fails("rename") ? -1 : CPosixFileSystem::Rename(a, b);
    }

private:
    bool Fails(const char* pszOp)
    {
        ops.push_back(pszOp);
        const auto it = failures.find(pszOp);
        if (it != failures.end())
            m_nLastError = it->second;
        return it != failures.end();
    }
};

// --- sockets and routes ---------------------------------------------------------

class CFakeSocketLayer : public ISocketLayer {
public:
    struct CCall {
        std::string strOp;
        std::vector<uint8_t> data;
        unsigned nIfIndex = 0;  // sendmsg: the interface it was to leave by
    };
    std::vector<CCall> calls;
    std::map<std::string, int> failures;   // op -> errno
    std::map<unsigned, int> linkFailures;  // sendmsg out of an interface -> errno
    bool bShortSends = false;              // the kernel takes one byte less than asked
    int nOpen = 0;

    int Socket(int, int, int) override { return Call({"socket"}) ? -1 : (++nOpen, 7); }
    int SetSockOpt(int, int, int, const void*, socklen_t) override
    {
        return Call({"setsockopt"}) ? -1 : 0;
    }
    int Bind(int, const sockaddr_in&) override { return Call({"bind"}) ? -1 : 0; }
    ssize_t SendTo(int, const void* p, size_t n, int, const sockaddr_in&) override
    {
        return Send({"sendto", Bytes(p, n)});
    }
    ssize_t SendMsg(int, const void* p, size_t n, int, const sockaddr_in&, unsigned nIf) override
    {
        return Send({"sendmsg", Bytes(p, n), nIf});
    }
    int Close(int) override { return Call({"close"}), --nOpen, 0; }
    int LastError() const override { return m_nError; }

    List Ops() const
    {
        List ops;
        for (const auto& call : calls)
            ops.push_back(call.strOp);
        return ops;
    }
    std::vector<CCall> Sends() const
    {
        std::vector<CCall> sends;
        std::copy_if(calls.begin(), calls.end(), std::back_inserter(sends),
                     [](auto& c) { return c.strOp.starts_with("send"); });
        return sends;
    }

private:
    static std::vector<uint8_t> Bytes(const void* p, size_t n)
    {
        return {(const uint8_t*)p, (const uint8_t*)p + n};
    }
    ssize_t Send(CCall call)
    {
        const unsigned nIf = call.nIfIndex;
        const size_t nLength = call.data.size();
        if (!Call(std::move(call)) && linkFailures.count(nIf))
            m_nError = linkFailures[nIf];
        return m_nError ? -1 : static_cast<ssize_t>(nLength - bShortSends);
    }
    bool Call(CCall call)
    {
        m_nError = failures.count(call.strOp) ? failures[call.strOp] : 0;
        calls.push_back(std::move(call));
        return m_nError != 0;
    }
    int m_nError = 0;
};

// Routes of fixed answers: by dotted address; interface 2 holds the default route.
class CFakeRoutes : public IRouteTable {
public:
    std::map<std::string, CRouteInfo> routes;
    std::vector<CLink> links;            // what BroadcastLinks gives
    std::vector<CLinkRoute> linkRoutes;  // what LinkRoutes gives
    bool bLinkRoutesRead = false;
    int nLookUps = 0;

    static CRouteInfo Route(unsigned nIndex, const char* pszGateway = nullptr)
    {
        return {RTN_UNICAST, nIndex, pszGateway ? NetAddr(pszGateway) : 0};
    }
    bool LookUpRoute(uint32_t dwAddr, CRouteInfo& route) override
    {
        ++nLookUps;
        const auto it = routes.find(inet_ntoa(in_addr{dwAddr}));
        if (it != routes.end())
            route = it->second;
        return it != routes.end();
    }
    bool LinkRoutes(std::vector<CLinkRoute>& out) override
    {
        out = linkRoutes;
        return bLinkRoutesRead;
    }
    std::vector<CLink> BroadcastLinks() override { return links; }
    std::string LinkName(unsigned nIndex) override { return "if" + std::to_string(nIndex); }
    // "if<N>" is interface N, usable unless listed otherwise.
    std::map<std::string, ELinkState> linkStates;
    ELinkState FindLink(const std::string& strName, unsigned& nIndex) override
    {
        nIndex =
            strName.starts_with("if") ? static_cast<unsigned>(std::atoi(strName.c_str() + 2)) : 0;
        return linkStates.count(strName) ? linkStates[strName]
            : nIndex                     ? ELinkState::Usable
                                         : ELinkState::Missing;
    }
};

// --- the "MAC" button's services -----------------------------------------------

// A row of the neighbour table.
inline CNeighbourRow Row(const char* pszAddr, const std::vector<uint8_t>& phys,
                         uint32_t dwLen = ~0u, uint32_t dwIndex = 3)
{
    CNeighbourRow row{NetAddr(pszAddr), dwIndex, NUD_REACHABLE,
                      dwLen == ~0u ? static_cast<uint32_t>(phys.size()) : dwLen};
    std::copy_n(phys.begin(), std::min<size_t>(phys.size(), 8), row.bPhysAddr);
    return row;
}

class CFakeResolver : public IResolver {
public:
    std::map<std::string, CHostRecord> forward;  // by the exact name asked
    std::map<uint32_t, std::string> reverse;     // by network-order address
    List asked;

    bool GetHostByName(const std::string& strName, CHostRecord& record) override
    {
        asked.push_back("name:" + strName);
        return forward.count(strName) && (record = forward[strName], true);
    }
    bool GetHostByAddr(uint32_t dwAddr, std::string& strName) override
    {
        asked.push_back(std::string("addr:") + inet_ntoa(in_addr{dwAddr}));
        return reverse.count(dwAddr) && (strName = reverse[dwAddr], true);
    }
    int LastError() const override { return 0; }
    std::string LastErrorText() const override { return {}; }
};

class CFakeEcho : public IEchoRequest {
public:
    bool bSetUp = true;
    std::vector<std::pair<uint32_t, int>> requests;  // target, time-out

    CEchoOutcome SendEcho(uint32_t dwTarget, int nTimeoutMs) override
    {
        requests.emplace_back(dwTarget, nTimeoutMs);
        return {bSetUp, EEchoWay::Dgram, EEchoEnd::Replied};
    }
};

class CFakeNeighbours : public INeighbourTable {
public:
    std::vector<CNeighbourRow> rows;
    bool GetTable(std::vector<CNeighbourRow>& out) override { return out = rows, true; }
    bool GetEntry(uint32_t, uint32_t, CNeighbourRow&) override { return false; }
};

// An ethers database of fixed entries, compared exactly.
class CFakeEthers : public IEthers {
public:
    std::map<std::string, std::array<uint8_t, kMacBytes>> hosts;
    bool HostToEther(const std::string& strName, std::array<uint8_t, kMacBytes>& address) override
    {
        return hosts.count(strName) && (address = hosts[strName], true);
    }
};

// --- the window -----------------------------------------------------------------

// Headless controls that behave like the real ones where the handlers depend
// on it: a list kept sorted without regard to ASCII case, an IP address
// control whose blank fields read 0. They record focus, selection and the
// window's calls, and can play a toolkit that notifies on the program's
// changes of the name.
class CFakeControls : public IControlServices {
public:
    std::map<int, std::string> texts;  // IDC_NAME, IDC_MAC
    std::map<int, bool> enabled{{IDC_NAME, true}, {IDC_IP, true}};
    List items;
    int nCurSel = CB_ERR;
    std::optional<uint32_t> ip;  // nothing: blank
    int nFocus = 0, nChecked = 0, nEndResult = -1;
    List openedFiles, cursor;
    std::vector<int> selectedAll;
    std::function<void()> onNameTextSet;

    std::string GetWindowText(int nId) override
    {
        return nId == IDC_IP ? inet_ntoa(in_addr{htonl(GetAddress())}) : texts[nId];
    }
    void SetWindowText(int nId, const std::string& strText) override
    {
        in_addr addr{};
        if (nId == IDC_IP)
            ip = inet_aton(strText.c_str(), &addr) ? std::optional(ntohl(addr.s_addr))
                                                   : std::nullopt;
        else
            texts[nId] = strText;
        if (nId == IDC_NAME)
            nCurSel = CB_ERR;
        if (nId == IDC_NAME && onNameTextSet)
            onNameTextSet();
    }
    void EnableWindow(int nId, bool bEnable) override { enabled[nId] = bEnable; }
    bool IsWindowEnabled(int nId) override { return enabled[nId]; }
    void GotoDlgCtrl(int nId) override { nFocus = nId; }
    void SelectAll(int nId) override { selectedAll.push_back(nId); }
    void LimitText(int, int) override { }
    void CheckRadioButton(int, int, int nCheck) override { nChecked = nCheck; }
    int AddString(const std::string& strItem) override
    {
        const auto it = std::upper_bound(items.begin(), items.end(), strItem, [](auto& a, auto& b) {
            return strcasecmp(a.c_str(), b.c_str()) < 0;
        });
        return static_cast<int>(items.insert(it, strItem) - items.begin());
    }
    void AddStrings(const List& newItems) override
    {
        std::for_each(newItems.begin(), newItems.end(), [this](auto& s) { AddString(s); });
    }
    void ResetContent() override { items.clear(), texts[IDC_NAME].clear(), nCurSel = CB_ERR; }
    int GetCurSel() override { return nCurSel; }
    void DeleteString(int n) override
    {
        items.erase(items.begin() + n), nCurSel = nCurSel == n ? CB_ERR : nCurSel - (nCurSel > n);
    }
    int GetCount() override { return static_cast<int>(items.size()); }
    std::string GetLBText(int n) override { return items.at(static_cast<size_t>(n)); }
    void ClearAddress() override { ip.reset(); }
    void SetAddress(uint32_t dwAddress) override { ip = dwAddress; }
    uint32_t GetAddress() override { return ip.value_or(0); }
    void EndDialog(int nResult) override { nEndResult = nResult; }
    void BeginWaitCursor() override { cursor.push_back("begin"); }
    void RestoreWaitCursor() override { cursor.push_back("restore"); }
    void EndWaitCursor() override { cursor.push_back("end"); }
    void RunAboutBox() override { }
    bool OpenLocalFile(const std::string& strPath) override
    {
        return openedFiles.push_back(strPath), true;
    }
    void RunBlocking(const std::function<void()>& work) override { work(); }
    void Pick(int n)
    {
        texts[IDC_NAME] = items.at(static_cast<size_t>(nCurSel = n));
    }  // the field shows it first
};

class CRecordingMessageBox : public IMessageBox {
public:
    List texts;
    std::vector<ESaveChoice> saveAnswers;  // answers to AskSave, in order
    std::vector<ESaveQuestion> questions;

    void MessageBox(const std::string& strText) override { texts.push_back(strText); }
    ESaveChoice AskSave(ESaveQuestion question, const std::string& strText) override
    {
        texts.push_back(strText);
        questions.push_back(question);
        return questions.size() <= saveAnswers.size() ? saveAnswers[questions.size() - 1]
                                                      : ESaveChoice::StayOpen;
    }
};

class CFakeFileChooser : public IFileChooser {
public:
    std::optional<std::string> answer;  // nothing: the user cancels
    std::vector<CFileDialogRequest> requests;

    std::optional<std::string> ChooseFile(const CFileDialogRequest& request) override
    {
        requests.push_back(request);
        return answer;
    }
};
