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

std::string CSendResult::Reason() const
{
    if (bSent && failedLinks.empty())
        return {};
    const std::string strSend = "send to 255.255.255.255 port " + std::to_string(kWakePort);
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

CSendResult SendMagicPacket(ISocketLayer& sockets, const CMagicPacket& packet, CLinkChooser* pLinks, uint32_t dwHost)
{
    CSendResult result;
    const unsigned nLink = pLinks ? pLinks->ChooseLink(dwHost) : 0;
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
    target.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    target.sin_port = htons(kWakePort);
    const ssize_t nSent = nLink ? sockets.SendMsg(hSocket, packet.data(), packet.size(), 0, target, nLink)
                                : sockets.SendTo(hSocket, packet.data(), packet.size(), 0, target);
    if (nSent < 0) {
        result.strStep = "sendto";
        result.nError = sockets.LastError();
    } else if (static_cast<size_t>(nSent) != packet.size()) {
        result.strStep = "sendto-short";
    } else {
        result.bSent = true;
    }
    if (!result.bSent && nLink)
        result.strLink = pLinks->Routes()->LinkName(nLink);

    // No route for the limited broadcast at all: every interface that can
    // broadcast gets the datagram, since the host is on one of them.
    if (nSent < 0 && result.nError == ENETUNREACH && !nLink && pLinks && pLinks->Routes()) {
        for (const CLink& link : pLinks->Routes()->BroadcastLinks()) {
            const ssize_t nOnLink = sockets.SendMsg(hSocket, packet.data(), packet.size(), 0, target, link.nIndex);
            if (nOnLink >= 0 && static_cast<size_t>(nOnLink) == packet.size())
                result.bSent = true;
            else
                result.failedLinks.push_back({link.strName, nOnLink < 0 ? sockets.LastError() : 0});
        }
    }
    sockets.Close(hSocket);
    return result;
}
