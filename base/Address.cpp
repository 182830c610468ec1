#include "base/Address.h"

#include <arpa/inet.h>

std::string DottedText(uint32_t dwAddr)
{
    char sz[INET_ADDRSTRLEN] = "";
    const in_addr addr{dwAddr};
    ::inet_ntop(AF_INET, &addr, sz, sizeof sz);
    return sz;
}

bool ParseDotted(std::string_view text, uint32_t& dwAddr)
{
    // inet_pton needs a terminated text, and a NUL within must not end it early.
    const std::string strText(text);
    in_addr addr{};
    if (strText.size() != std::char_traits<char>::length(strText.c_str()) ||
        ::inet_pton(AF_INET, strText.c_str(), &addr) != 1)
        return false;
    dwAddr = addr.s_addr;
    return true;
}

uint32_t StoredAddress(std::string_view text)
{
    uint32_t dwAddr = 0;
    return ParseDotted(text, dwAddr) ? dwAddr : 0;
}
