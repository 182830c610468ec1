#include "wake/MagicPacket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>

#include "net/SocketLayer.h"
#include "wake/LinkChooser.h"

CMagicPacket BuildMagicPacket(const std::array<uint8_t, kMacBytes>& address)
{
    CMagicPacket packet;
    std::fill_n(packet.begin(), 6, uint8_t{0xFF});
    for (size_t k = 0; k < 16; ++k)
        std::copy(address.begin(), address.end(), packet.begin() + 6 + k * kMacBytes);
    return packet;
}

namespace {

std::string AddressText(uint32_t dwAddr)
{
    char szText[INET_ADDRSTRLEN] = "";
    in_addr addr{dwAddr};
    return inet_ntop(AF_INET, &addr, szText, sizeof szText);
}

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

}  // namespace

std::string CSendResult::Reason() const
{
    if (bSent && failedLinks.empty())
        return {};
    const std::string strSend =
        "send to " + AddressText(dest.dwAddr) + " port " + std::to_string(dest.nPort);
    if (!failedLinks.empty()) {
        std::string strText = strSend + " failed on ";
        for (const CLinkFailure& failure : failedLinks) {
            if (&failure != &failedLinks.front())
                strText += ", ";
            strText += failure.strLink + " (" +
                (failure.nError ? ErrorText(failure.nError) : "the datagram was cut short") + ")";
        }
        return strText;
    }
    const std::string strOn = strLink.empty() ? std::string() : " on " + strLink;
    std::string strWhat = strStep;
    if (strStep == "bind")
        strWhat = "bind to UDP port " + std::to_string(kWakePort);
    else if (strStep == "sendto")
        strWhat = strSend + strOn;
    else if (strStep == "socket")
        strWhat = "create a UDP socket";
    else if (strStep == "sendto-short")
        return strSend + strOn + ": the datagram was cut short";
    return strWhat + ": " + ErrorText(nError);
}

CSendResult SendMagicPacket(ISocketLayer& sockets, const CMagicPacket& packet, CLinkChooser* pLinks,
                            uint32_t dwHost)
{
    CSendResult result;
    result.dest.dwAddr = htonl(INADDR_BROADCAST);
    if (pLinks)
        result.dest = pLinks->Choose(dwHost);
    const unsigned nLink = result.dest.nLink;
    const int hSocket = sockets.Socket(AF_INET, SOCK_DGRAM, 0);
    if (hSocket < 0) {
        result.strStep = "socket";
        result.nError = sockets.LastError();
        return result;
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(kWakePort);
    if (sockets.Bind(hSocket, local) < 0) {
        result.strStep = "bind";
        result.nError = sockets.LastError();
        sockets.Close(hSocket);
        return result;
    }

    // A refused broadcast permission shows up as the send's own failure.
    const int nOn = 1;
    sockets.SetSockOpt(hSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof nOn);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = result.dest.dwAddr;
    target.sin_port = htons(result.dest.nPort);
    const ssize_t nSent = nLink
        ? sockets.SendMsg(hSocket, packet.data(), packet.size(), 0, target, nLink)
        : sockets.SendTo(hSocket, packet.data(), packet.size(), 0, target);
    if (nSent < 0) {
        result.strStep = "sendto";
        result.nError = sockets.LastError();
    } else if (static_cast<size_t>(nSent) != packet.size()) {
        result.strStep = "sendto-short";
    } else {
        result.bSent = true;
        result.sent.push_back({result.dest, {}});
    }
    if (!result.bSent && nLink)
        result.strLink = pLinks->Routes()->LinkName(nLink);

    // No route for the limited broadcast at all: every interface that can
    // broadcast gets the datagram, since the host is on one of them.
    if (nSent < 0 && result.nError == ENETUNREACH && result.dest.why == ELinkWhy::DefaultRoute &&
        pLinks && pLinks->Routes()) {
        for (const CLink& link : pLinks->Routes()->BroadcastLinks()) {
            const ssize_t nOnLink =
                sockets.SendMsg(hSocket, packet.data(), packet.size(), 0, target, link.nIndex);
            if (nOnLink >= 0 && static_cast<size_t>(nOnLink) == packet.size()) {
                result.bSent = true;
                result.sent.push_back(
                    {{result.dest.dwAddr, result.dest.nPort, link.nIndex, ELinkWhy::EveryLink},
                     link.strName});
            } else {
                result.failedLinks.push_back({link.strName, nOnLink < 0 ? sockets.LastError() : 0});
            }
        }
    }
    sockets.Close(hSocket);
    return result;
}

std::string DescribeDatagram(const std::string& strName, const std::string& strMac,
                             const CSentDatagram& datagram, CLinkChooser& links)
{
    const CDestination& dest = datagram.dest;
    const std::string strLink =
        datagram.strLink.empty() ? links.LinkNameOf(dest) : datagram.strLink;
    return (strName.empty() ? std::string() : strName + " ") + strMac + " to " +
        AddressText(dest.dwAddr) + " port " + std::to_string(dest.nPort) + " by " + strLink + " (" +
        WhyText(dest.why) + ")";
}
