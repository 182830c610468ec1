#pragma once
// A socket layer that records every call and can be told to fail any of them.
#include <arpa/inet.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "net/SocketLayer.h"

class CFakeSocketLayer : public ISocketLayer {
public:
    struct CCall {
        std::string strOp;               // "socket", "setsockopt", "bind", "sendto", "sendmsg", "close"
        int hSocket = -1;
        std::vector<int> args;           // family/type/proto, level/option/value, flags
        sockaddr_in addr{};
        std::vector<uint8_t> data;       // sendto and sendmsg payload
        unsigned nIfIndex = 0;           // sendmsg: the interface it was to leave by
    };

    std::vector<CCall> calls;
    std::map<std::string, int> failures;  // op -> errno to fail with
    std::map<unsigned, int> linkFailures;  // sendmsg out of an interface -> errno
    int nNextSocket = 7;

    int Socket(int nFamily, int nType, int nProtocol) override
    {
        CCall call{"socket", -1, {nFamily, nType, nProtocol}, {}, {}};
        if (Fails("socket")) {
            calls.push_back(call);
            return -1;
        }
        call.hSocket = nNextSocket++;
        calls.push_back(call);
        m_open.push_back(call.hSocket);
        return call.hSocket;
    }
    int SetSockOpt(int hSocket, int nLevel, int nOption, const void* pValue, socklen_t nLength) override
    {
        int nValue = -1;
        if (nLength == sizeof(int))
            nValue = *static_cast<const int*>(pValue);
        calls.push_back({"setsockopt", hSocket, {nLevel, nOption, nValue, static_cast<int>(nLength)}, {}, {}});
        return Fails("setsockopt") ? -1 : 0;
    }
    int Bind(int hSocket, const sockaddr_in& addr) override
    {
        calls.push_back({"bind", hSocket, {}, addr, {}});
        return Fails("bind") ? -1 : 0;
    }
    ssize_t SendTo(int hSocket, const void* pData, size_t nLength, int nFlags, const sockaddr_in& addr) override
    {
        const auto* p = static_cast<const uint8_t*>(pData);
        calls.push_back({"sendto", hSocket, {nFlags}, addr, std::vector<uint8_t>(p, p + nLength)});
        return Fails("sendto") ? -1 : static_cast<ssize_t>(nLength);
    }
    ssize_t SendMsg(int hSocket, const void* pData, size_t nLength, int nFlags, const sockaddr_in& addr,
                    unsigned nIfIndex) override
    {
        const auto* p = static_cast<const uint8_t*>(pData);
        calls.push_back({"sendmsg", hSocket, {nFlags}, addr, std::vector<uint8_t>(p, p + nLength), nIfIndex});
        if (Fails("sendmsg"))
            return -1;
        auto it = linkFailures.find(nIfIndex);
        m_nLastError = it == linkFailures.end() ? 0 : it->second;
        return m_nLastError ? -1 : static_cast<ssize_t>(nLength);
    }
    int Close(int hSocket) override
    {
        calls.push_back({"close", hSocket, {}, {}, {}});
        std::erase(m_open, hSocket);
        m_nLastError = 0;
        return 0;
    }
    int LastError() const override { return m_nLastError; }

    std::vector<std::string> Ops() const
    {
        std::vector<std::string> ops;
        for (const auto& call : calls)
            ops.push_back(call.strOp);
        return ops;
    }
    std::vector<CCall> Sends() const
    {
        std::vector<CCall> sends;
        for (const auto& call : calls)
            if (call.strOp == "sendto" || call.strOp == "sendmsg")
                sends.push_back(call);
        return sends;
    }
    size_t OpenSockets() const { return m_open.size(); }

private:
    bool Fails(const std::string& strOp)
    {
        auto it = failures.find(strOp);
        m_nLastError = it == failures.end() ? 0 : it->second;
        return it != failures.end();
    }

    int m_nLastError = 0;
    std::vector<int> m_open;
};
