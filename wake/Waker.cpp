#include "wake/Waker.h"

#include <cerrno>

#include "base/Address.h"
#include "base/Error.h"
#include "hosts/SetList.h"
#include "net/SocketLayer.h"
#include "wake/MagicPacket.h"

namespace {

const char* WhyText(ELinkWhy why)
{
    switch (why) {
    case ELinkWhy::DefaultRoute: return "default route";
    case ELinkWhy::HostsLink: return "the host's own link";
    case ELinkWhy::EveryLink: return "every link";
    case ELinkWhy::Named: return "named";
    case ELinkWhy::Destination: return "route to the destination";
    }
    return "";
}

std::string SendText(const CDestination& dest)
{
    return "send to " + DottedText(dest.dwAddr) + " port " + std::to_string(dest.nPort);
}

// Why a datagram that was handed to the kernel did not leave whole.
std::string WhyNotSent(int nError)
{
    return nError ? ErrorText(nError) : "the datagram was cut short";
}

// One wake's socket: opened, bound to the wake port (to a port the kernel
// picks when another program holds it: the target sees only the
// destination port), given broadcast permission; closed when it goes.
class CWakeSocket {
public:
    explicit CWakeSocket(ISocketLayer& sockets)
        : m_sockets(sockets)
    { }
    ~CWakeSocket()
    {
        if (m_hSocket >= 0)
            m_sockets.Close(m_hSocket);
    }
    // "" when it is ready, else why not.
    std::string Open()
    {
        if (const int nError = m_sockets.Socket(AF_INET, SOCK_DGRAM, 0, m_hSocket)) {
            m_hSocket = -1;
            return "create a UDP socket: " + ErrorText(nError);
        }
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_ANY);
        local.sin_port = htons(kWakePort);
        int nError = m_sockets.Bind(m_hSocket, local);
        if (nError == EADDRINUSE) {
            local.sin_port = 0;
            nError = m_sockets.Bind(m_hSocket, local);
            if (nError == 0 && m_sockets.GetSockName(m_hSocket, local) == 0)
                m_strPortNote = ", from port " + std::to_string(ntohs(local.sin_port)) + " (" +
                    std::to_string(kWakePort) + " is taken)";
        }
        if (nError)
            return "bind to UDP port " + std::to_string(kWakePort) + ": " + ErrorText(nError);
        // A refused broadcast permission shows up as the send's own failure.
        const int nOn = 1;
        m_sockets.SetSockOpt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof nOn);
        return {};
    }
    // 0 when the whole packet left, -1 when it was cut short, else the errno.
    int Send(const CMagicPacket& packet, const CDestination& dest, unsigned nLink)
    {
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = dest.dwAddr;
        target.sin_port = htons(dest.nPort);
        size_t nSent = 0;
        const int nError =
            m_sockets.SendTo(m_hSocket, packet.data(), packet.size(), target, nLink, nSent);
        return nError ? nError : nSent == packet.size() ? 0 : -1;
    }

    // For the datagram's line: the port it left from, when not the wake port.
    const std::string& PortNote() const { return m_strPortNote; }

private:
    ISocketLayer& m_sockets;
    int m_hSocket = -1;
    std::string m_strPortNote;
};

}  // namespace

CWaker::CWaker(ISocketLayer& sockets, IRouteTable* pRoutes, CWakeOptions options)
    : m_sockets(sockets)
    , m_options(std::move(options))
    , m_links(pRoutes, m_options.delivery)
{ }

CWakeOutcome CWaker::Wake(const CWakeHost& host)
{
    std::string strMac = host.strMac;
    if (!CutToMacText(strMac))
        return {CWakeOutcome::EStatus::InvalidMac, {}};
    const CMagicPacket packet = BuildMagicPacket(MacTextToBytes(strMac));
    const CDestination dest = m_links.Choose(StoredAddress(host.strIp));
    CWakeSocket socket(m_sockets);
    std::string strSentBy;
    const auto Tell = [&](const CDestination& sent, const std::string& strLink) {
        strSentBy += (strSentBy.empty() ? "" : "; ") + strLink + ", " + WhyText(sent.why);
        if (m_options.onDatagram)
            m_options.onDatagram((host.strName.empty() ? "" : host.strName + " ") + strMac +
                                 " to " + DottedText(sent.dwAddr) + " port " +
                                 std::to_string(sent.nPort) + " by " + strLink + " (" +
                                 WhyText(sent.why) + ")" + socket.PortNote());
    };
    if (std::string strWhy = socket.Open(); !strWhy.empty())
        return {CWakeOutcome::EStatus::SendFailed, strWhy};
    const int nResult = socket.Send(packet, dest, dest.nLink);
    if (nResult == 0) {
        if (m_options.onDatagram || m_options.bSentBy)
            Tell(dest, m_links.LinkNameOf(dest));
        return {CWakeOutcome::EStatus::Sent, {}, strSentBy};
    }
    // No route for the limited broadcast at all: every interface that can
    // broadcast gets the datagram, since the host is on one of them.
    if (nResult != ENETUNREACH || dest.why != ELinkWhy::DefaultRoute) {
        const std::string strOn = dest.nLink ? " on " + m_links.LinkNameOf(dest) : "";
        return {CWakeOutcome::EStatus::SendFailed,
                SendText(dest) + strOn + ": " + WhyNotSent(nResult > 0 ? nResult : 0)};
    }
    bool bSent = false;
    std::string strFailed;
    for (const CLink& link : m_links.BroadcastLinks()) {
        const int nOnLink = socket.Send(packet, dest, link.nIndex);
        if (nOnLink == 0) {
            bSent = true;
            Tell({dest.dwAddr, dest.nPort, link.nIndex, ELinkWhy::EveryLink}, link.strName);
            continue;
        }
        strFailed += (strFailed.empty() ? "" : ", ") + link.strName + " (" +
            WhyNotSent(nOnLink > 0 ? nOnLink : 0) + ")";
    }
    if (bSent && strFailed.empty())
        return {CWakeOutcome::EStatus::Sent, {}, strSentBy};
    const std::string strReason = strFailed.empty() ? SendText(dest) + ": " + ErrorText(nResult)
                                                    : SendText(dest) + " failed on " + strFailed;
    return {bSent ? CWakeOutcome::EStatus::Sent : CWakeOutcome::EStatus::SendFailed, strReason,
            strSentBy};
}

void CWaker::InRounds(size_t nHosts, const std::function<void(size_t, bool)>& wake)
{
    for (int nRound = 0; nRound < m_options.nRepeat; ++nRound) {
        if (nRound > 0 && m_options.pfnPause)
            m_options.pfnPause(kRepeatPauseMs);
        for (size_t i = 0; i < nHosts; ++i)
            wake(i, nRound == 0);
    }
}

std::vector<CBatchItem> WakeEntries(const CSetList& book, CWaker& waker,
                                    const std::function<CWakeOutcome(const CWakeHost&)>& wakeOne)
{
    const std::vector<std::string> entries(book.begin(), book.end());
    std::vector<CBatchItem> items;
    items.reserve(entries.size());
    waker.InRounds(entries.size(), [&](size_t i, bool bFirst) {
        const std::string& strEntry = entries[i];
        const CWakeOutcome outcome =
            wakeOne({EntryField(strEntry, 0), EntryField(strEntry, 1), EntryField(strEntry, 2)});
        if (bFirst)
            items.push_back({std::to_string(i), strEntry, outcome});
    });
    return items;
}
