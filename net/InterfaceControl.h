#pragma once
// The control message that sends a datagram out of one interface, whatever
// the routes say (IP_PKTINFO): no privileges needed.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

struct CInterfaceControl {
    alignas(cmsghdr) char buffer[CMSG_SPACE(sizeof(in_pktinfo))] = {};
};

// Attaches control to msg, naming interface nIfIndex; control must live as
// long as msg is used.
inline void SendByInterface(msghdr& msg, CInterfaceControl& control, unsigned nIfIndex)
{
    msg.msg_control = control.buffer;
    msg.msg_controllen = sizeof control.buffer;
    cmsghdr* pHeader = CMSG_FIRSTHDR(&msg);
    pHeader->cmsg_level = IPPROTO_IP;
    pHeader->cmsg_type = IP_PKTINFO;
    pHeader->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(nIfIndex);
    std::memcpy(CMSG_DATA(pHeader), &info, sizeof info);
}
