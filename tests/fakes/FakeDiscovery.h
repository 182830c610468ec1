#pragma once
// Fake resolver, echo request and neighbour table for the "MAC" button.
#include <arpa/inet.h>

#include <map>
#include <string>
#include <vector>

#include "discovery/EchoRequest.h"
#include "discovery/NeighbourTable.h"
#include "discovery/Resolver.h"

inline uint32_t NetAddr(const char* pszDotted)
{
    return inet_addr(pszDotted);
}

class CFakeResolver : public IResolver {
public:
    std::map<std::string, CHostRecord> forward;   // by the exact name asked
    std::map<uint32_t, std::string> reverse;      // by network-order address
    std::vector<std::string> asked;               // every name and address asked, in order

    bool GetHostByName(const std::string& strName, CHostRecord& record) override
    {
        asked.push_back("name:" + strName);
        auto it = forward.find(strName);
        if (it != forward.end())
            record = it->second;
        return it != forward.end();
    }
    bool GetHostByAddr(uint32_t dwAddressNet, std::string& strName) override
    {
        in_addr addr{dwAddressNet};
        asked.push_back(std::string("addr:") + inet_ntoa(addr));
        auto it = reverse.find(dwAddressNet);
        if (it != reverse.end())
            strName = it->second;
        return it != reverse.end();
    }
    // The dialog reports a failed lookup in its own words.
    int LastError() const override { return 0; }
    std::string LastErrorText() const override { return {}; }
};

class CFakeEcho : public IEchoRequest {
public:
    bool bSetUp = true;
    std::vector<uint32_t> targets;
    std::vector<int> timeouts;

    CEchoOutcome SendEcho(uint32_t dwTarget, int nTimeoutMs) override
    {
        targets.push_back(dwTarget);
        timeouts.push_back(nTimeoutMs);
        CEchoOutcome outcome;
        outcome.bSetUp = bSetUp;
        outcome.way = bSetUp ? EEchoWay::Dgram : EEchoWay::None;
        outcome.end = EEchoEnd::Replied;
        return outcome;
    }
};

class CFakeNeighbours : public INeighbourTable {
public:
    std::vector<CNeighbourRow> rows;
    int nReads = 0;

    void Add(const char* pszDotted, std::vector<uint8_t> mac)
    {
        CNeighbourRow row;
        row.dwAddr = NetAddr(pszDotted);
        row.dwPhysAddrLen = static_cast<uint32_t>(mac.size());
        for (size_t i = 0; i < mac.size() && i < 8; ++i)
            row.bPhysAddr[i] = mac[i];
        rows.push_back(row);
    }
    bool GetTable(std::vector<CNeighbourRow>& out) override
    {
        ++nReads;
        out = rows;
        return true;
    }
    // Only the echo request watches single entries, and it is faked too.
    bool GetEntry(uint32_t, uint32_t, CNeighbourRow&) override { return false; }
};
