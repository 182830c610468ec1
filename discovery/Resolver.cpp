#include "discovery/Resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/SocketLayer.h"

bool CSystemResolver::GetHostByName(const std::string& strName, CHostRecord& record)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;  // one entry per address, not one per socket type
    hints.ai_flags = AI_CANONNAME;
    addrinfo* pList = nullptr;
    const int nResult = ::getaddrinfo(strName.c_str(), nullptr, &hints, &pList);
    m_nLastErrno = nResult == EAI_SYSTEM ? errno : 0;
    m_nLastError = nResult;
    if (nResult != 0)
        return false;

    CHostRecord found;
    if (pList->ai_canonname)
        found.strName = pList->ai_canonname;
    for (const addrinfo* p = pList; p; p = p->ai_next) {
        if (p->ai_family != AF_INET || p->ai_addrlen < sizeof(sockaddr_in))
            continue;
        const uint32_t dwAddr = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
        if (std::find(found.addresses.begin(), found.addresses.end(), dwAddr) ==
            found.addresses.end())
            found.addresses.push_back(dwAddr);
    }
    ::freeaddrinfo(pList);
    if (found.addresses.empty()) {
        m_nLastError = EAI_NONAME;
        return false;
    }
    record = std::move(found);
    return true;
}

bool CSystemResolver::GetHostByAddr(uint32_t dwAddressNet, std::string& strName)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddressNet;
    char szHost[NI_MAXHOST];
    const int nResult = ::getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr, szHost,
                                      sizeof szHost, nullptr, 0, NI_NAMEREQD);
    m_nLastErrno = nResult == EAI_SYSTEM ? errno : 0;
    m_nLastError = nResult;
    if (nResult != 0)
        return false;
    strName = szHost;
    return true;
}

std::string CSystemResolver::LastErrorText() const
{
    if (m_nLastError == 0)
        return std::string();
    if (m_nLastError == EAI_SYSTEM && m_nLastErrno != 0)
        return ErrorText(m_nLastErrno);
    return ::gai_strerror(m_nLastError);
}
