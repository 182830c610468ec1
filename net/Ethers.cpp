#include "net/Ethers.h"

#include <netinet/ether.h>

#include <cstring>

bool CSystemEthers::HostToEther(const std::string& strName, CMacAddress& address)
{
    ether_addr found{};
    if (strName.find('\0') != std::string::npos || ::ether_hostton(strName.c_str(), &found) != 0)
        return false;
    std::memcpy(address.data(), found.ether_addr_octet, kMacBytes);
    return true;
}
