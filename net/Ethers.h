#pragma once
// The system's ethers database (/etc/ethers and whatever else NSS has for
// "ethers"), behind an interface so that tests can substitute their own.
#include <string>

#include "base/MacText.h"

class IEthers {
public:
    virtual ~IEthers() = default;
    // The hardware address of a name; false when there is none.
    virtual bool HostToEther(const std::string& strName, CMacAddress& address) = 0;
};

// ether_hostton(3).
class CSystemEthers : public IEthers {
public:
    bool HostToEther(const std::string& strName, CMacAddress& address) override;
};
