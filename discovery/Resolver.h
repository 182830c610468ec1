#pragma once
// Name resolution: a name to its official name and IPv4 addresses, and an
// IPv4 address back to a name.
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

    // The name goes to the resolver exactly as given. False when it does not
    // resolve to any IPv4 address; the record is then left as it was.
    virtual bool GetHostByName(const std::string& strName, CHostRecord& record) = 0;
    // dwAddressNet in network order. False when no name is known for it;
    // strName is then left as it was.
    virtual bool GetHostByAddr(uint32_t dwAddressNet, std::string& strName) = 0;

    // The reason for the last failure: non-zero after a call that failed,
    // zero after one that succeeded.
    virtual int LastError() const = 0;
    virtual std::string LastErrorText() const = 0;
};

// The system's resolver (getaddrinfo / getnameinfo).
class CSystemResolver : public IResolver {
public:
    bool GetHostByName(const std::string& strName, CHostRecord& record) override;
    bool GetHostByAddr(uint32_t dwAddressNet, std::string& strName) override;
    int LastError() const override { return m_nLastError; }
    std::string LastErrorText() const override;

private:
    int m_nLastError = 0;  // a getaddrinfo code (EAI_...)
    int m_nLastErrno = 0;  // errno, when the code is EAI_SYSTEM
};
