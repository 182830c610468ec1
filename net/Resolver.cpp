#include "net/Resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "base/Address.h"
#include "base/Error.h"

namespace {

// EAI_SYSTEM carries its reason in errno, which is given instead: a positive
// number, where every EAI_* code is negative.
int Code(int nResult) { return nResult == EAI_SYSTEM && errno > 0 ? errno : nResult; }

}  // namespace

int CSystemResolver::GetHostByName(const std::string& strName, CHostRecord& record)
{
    // The resolver reads any number inet_aton takes ("010.050.000.031" in
    // octal, "10.1", "0x0a000001"): an address is four decimal numbers, or
    // no address at all.
    uint32_t dwAddr = 0;
    if (ParseDotted(strName, dwAddr)) {
        record = {strName, {dwAddr}};
        return 0;
    }
    addrinfo numeric{};
    numeric.ai_family = AF_INET;
    numeric.ai_flags = AI_NUMERICHOST;
    addrinfo* pNumeric = nullptr;
    if (::getaddrinfo(strName.c_str(), nullptr, &numeric, &pNumeric) == 0) {
        ::freeaddrinfo(pNumeric);
        return EAI_NONAME;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;  // one entry per address, not one per socket type
    hints.ai_flags = AI_CANONNAME;
    addrinfo* pList = nullptr;
    if (const int nResult = ::getaddrinfo(strName.c_str(), nullptr, &hints, &pList))
        return Code(nResult);
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
    if (found.addresses.empty())
        return EAI_NONAME;
    record = std::move(found);
    return 0;
}

int CSystemResolver::GetHostByAddr(uint32_t dwAddr, std::string& strName)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = dwAddr;
    char szHost[NI_MAXHOST];
    if (const int nResult = ::getnameinfo(reinterpret_cast<const sockaddr*>(&addr), sizeof addr,
                                          szHost, sizeof szHost, nullptr, 0, NI_NAMEREQD))
        return Code(nResult);
    strName = szHost;
    return 0;
}

std::string ResolverErrorText(int nCode)
{
    return nCode > 0 ? ErrorText(nCode) : ::gai_strerror(nCode);
}
