#pragma once
// Name resolution: a name to its official name and IPv4 addresses, and an
// IPv4 address back to a name. Calls return 0, the resolver's own error code
// (EAI_*, negative) or, for a failure of the system beneath, its errno
// (positive); ResolverErrorText says either in words.
#include <cstdint>
#include <string>
#include <vector>

// What a forward lookup found. Addresses are in network order, in the order
// the resolver gave them.
struct CHostRecord {
    std::string strName;  // the official (canonical) name; may be empty
    std::vector<uint32_t> addresses;
};

class IResolver {
public:
    virtual ~IResolver() = default;

    // The name goes to the resolver exactly as given. A name that resolves
    // to no IPv4 address fails; record is then left as it was.
    virtual int GetHostByName(const std::string& strName, CHostRecord& record) = 0;
    // dwAddr in network order. strName is left as it was on failure.
    virtual int GetHostByAddr(uint32_t dwAddr, std::string& strName) = 0;
};

// The system's resolver (getaddrinfo, getnameinfo). Each call stands alone,
// so one resolver may serve several threads.
class CSystemResolver : public IResolver {
public:
    int GetHostByName(const std::string& strName, CHostRecord& record) override;
    int GetHostByAddr(uint32_t dwAddr, std::string& strName) override;
};

// The text of a resolver's error code ("Name or service not known", ...).
std::string ResolverErrorText(int nCode);
