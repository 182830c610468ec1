#pragma once
// Stand-ins for the platform services: files, sockets, routes, the
// resolver, ethers, the window's controls, message boxes and file dialogs.
// Each records what it was asked and can be told to fail.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
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
#include <optional>
#include <string>
#include <vector>

#include "fakes/FakeSockets.h"
#include "hosts/FileSystem.h"
#include "net/Ethers.h"
#include "net/NeighbourTable.h"
#include "net/Resolver.h"
#include "net/Routes.h"
#include "ui/ControlServices.h"
#include "ui/FileChooser.h"
#include "ui/MessageBox.h"
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
// unnamed files, "create": no new named file, "sync": no directory to
// sync), recording the calls made ("sync:<dir>" for a directory opened to be
// synced, "fsync:<n>" for the n-th descriptor synced). Writes are short, so
// that callers must loop.
class CFaultyFileSystem : public CPosixFileSystem {
public:
    std::map<std::string, int> failures;
    List ops;
    int nInterrupts = 0;                // writes that fail with EINTR first
    bool bNoProgress = false;           // writes that take nothing
    std::map<int, std::string> opened;  // descriptor -> path

    int Open(const std::string& strPath, int nFlags, mode_t nMode, int& hFile) override
    {
        if (strPath.ends_with(".lock"))  // the book's lock: no failure planned
            return CPosixFileSystem::Open(strPath, nFlags, nMode, hFile);
        const bool bTmpFile = (nFlags & O_TMPFILE) == O_TMPFILE;
        if (!bTmpFile && (nFlags & O_DIRECTORY))
            ops.push_back("sync:" + strPath);
        int nError = bTmpFile        ? Fails("tmpfile")
            : (nFlags & O_CREAT)     ? Fails("create")
            : (nFlags & O_DIRECTORY) ? Fails("sync")
                                     : 0;
        nError = nError ?: Fails("open") ?: CPosixFileSystem::Open(strPath, nFlags, nMode, hFile);
        if (nError == 0)
            opened[hFile] = bTmpFile ? strPath + "/(unnamed)" : strPath;
        return nError;
    }
    int Read(int h, void* p, size_t n, size_t& nRead) override
    {
        return Fails("read") ?: CPosixFileSystem::Read(h, p, n, nRead);
    }
    int Write(int h, const void* p, size_t n, size_t& nDone) override
    {
        if (nInterrupts > 0 && nInterrupts--)
            return EINTR;
        if (bNoProgress)
            return nDone = 0, 0;
        return Fails("write") ?: CPosixFileSystem::Write(h, p, n > 1 ? n / 2 : n, nDone);
    }
    int Fsync(int h) override
    {
        ops.push_back("fsync:" + opened[h]);
        return Fails("fsync") ?: CPosixFileSystem::Fsync(h);
    }
    int Close(int h) override  // releases the descriptor even when it fails, as close(2)
    {
        const int nError = CPosixFileSystem::Close(h);
        return nError ?: Fails("close");
    }
    int LinkOpenFile(int h, const std::string& s) override
    {
        return Fails("link") ?: CPosixFileSystem::LinkOpenFile(h, s);
    }
    int Rename(const std::string& a, const std::string& b) override
    {
        return Fails("rename") ?: CPosixFileSystem::Rename(a, b);
    }

private:
    int Fails(const char* pszOp)
    {
        ops.push_back(pszOp);
        const auto it = failures.find(pszOp);
        return it == failures.end() ? 0 : it->second;
    }
};

// --- routes, the neighbour table ---------------------------------------------

// Routes of fixed answers: by dotted address; interface 2 holds the default route.
class CFakeRoutes : public IRouteTable {
public:
    std::map<std::string, CRouteInfo> routes;
    std::vector<CLinkAddress> addresses;  // what LinkAddresses gives
    std::vector<CLinkRoute> linkRoutes;   // what LinkRoutes gives
    bool bLinkRoutesRead = false;
    int nLookUps = 0;
    std::map<std::string, ELinkState> linkStates;  // "if<N>" is interface N, usable unless listed

    static CRouteInfo Route(unsigned nIndex, const char* pszGateway = nullptr)
    {
        return {RTN_UNICAST, nIndex, pszGateway ? NetAddr(pszGateway) : 0};
    }
    int LookUpRoute(uint32_t dwAddr, CRouteInfo& route) override
    {
        ++nLookUps;
        const auto it = routes.find(inet_ntoa(in_addr{dwAddr}));
        return it == routes.end() ? ENETUNREACH : (route = it->second, 0);
    }
    int LinkRoutes(std::vector<CLinkRoute>& out) override
    {
        return bLinkRoutesRead ? (out = linkRoutes, 0) : EPERM;
    }
    int LinkAddresses(std::vector<CLinkAddress>& out) override { return out = addresses, 0; }
    std::string LinkName(unsigned nIndex) override { return "if" + std::to_string(nIndex); }
    ELinkState FindLink(const std::string& strName, unsigned& nIndex) override
    {
        nIndex =
            strName.starts_with("if") ? static_cast<unsigned>(std::atoi(strName.c_str() + 2)) : 0;
        return linkStates.count(strName) ? linkStates[strName]
            : nIndex                     ? ELinkState::Usable
                                         : ELinkState::Missing;
    }
};

// A row of the neighbour table.
inline CNeighbourRow Row(const char* pszAddr, const std::vector<uint8_t>& phys,
                         uint32_t dwLen = ~0u, uint32_t dwIndex = 3,
                         uint16_t wState = NUD_REACHABLE)
{
    CNeighbourRow row{NetAddr(pszAddr), dwIndex, wState,
                      dwLen == ~0u ? static_cast<uint32_t>(phys.size()) : dwLen};
    std::copy_n(phys.begin(), std::min<size_t>(phys.size(), 8), row.bPhysAddr);
    return row;
}

class CFakeNeighbours : public INeighbourTable {
public:
    std::vector<CNeighbourRow> rows;
    CNeighbourLoad load;
    int GetTable(std::vector<CNeighbourRow>& out) override { return out = rows, 0; }
    int GetLoad(CNeighbourLoad& out) override { return out = load, 0; }
};

class CFakeResolver : public IResolver {
public:
    std::map<std::string, CHostRecord> forward;  // by the exact name asked
    std::map<uint32_t, std::string> reverse;     // by network-order address
    List asked;

    int GetHostByName(const std::string& strName, CHostRecord& record) override
    {
        asked.push_back("name:" + strName);
        return forward.count(strName) ? (record = forward[strName], 0) : EAI_NONAME;
    }
    int GetHostByAddr(uint32_t dwAddr, std::string& strName) override
    {
        asked.push_back(std::string("addr:") + inet_ntoa(in_addr{dwAddr}));
        return reverse.count(dwAddr) ? (strName = reverse[dwAddr], 0) : EAI_NONAME;
    }
};

// An ethers database of fixed entries, compared exactly.
class CFakeEthers : public IEthers {
public:
    std::map<std::string, CMacAddress> hosts;
    bool HostToEther(const std::string& strName, CMacAddress& address) override
    {
        return hosts.count(strName) && (address = hosts[strName], true);
    }
};

// --- the window -----------------------------------------------------------------

// Headless controls that behave like the real ones where the handlers depend
// on it: a list kept sorted without regard to ASCII case, an IP address
// control whose blank fields read 0. They record focus and the wait
// cursor's calls, and can play a toolkit that notifies on the program's
// changes of the name.
class CFakeControls : public IControlServices {
public:
    std::map<int, std::string> texts;  // IDC_NAME, IDC_MAC
    std::map<int, bool> enabled{{IDC_NAME, true}, {IDC_IP, true}};
    List items;
    int nCurSel = CB_ERR;
    std::optional<uint32_t> ip;  // nothing: blank
    int nFocus = 0, nChecked = 0, nEndResult = -1;
    List cursor;
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
    void SelectAll(int) override { }
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
        for (const std::string& strItem : newItems)
            AddString(strItem);
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
    bool OpenLocalFile(const std::string&) override { return true; }
    void RunBlocking(const std::function<void()>& work) override { work(); }
    void Pick(int n) { texts[IDC_NAME] = items.at(static_cast<size_t>(nCurSel = n)); }
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

    std::optional<std::string> ChooseFile(const CFileDialogRequest&) override { return answer; }
};
