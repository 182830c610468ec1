#pragma once
// A socket layer that keeps every datagram (none leaves), records the calls
// made and can be told to fail.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/SocketLayer.h"

class CFakeSocketLayer : public ISocketLayer {
public:
    struct CSend {
        std::vector<uint8_t> data;
        unsigned nIfIndex = 0;  // the interface it was to leave by; 0: by the routes
    };
    std::vector<std::string> ops;
    std::vector<CSend> sends;
    std::map<std::string, int> failures;   // op -> errno
    std::map<unsigned, int> linkFailures;  // a send out of an interface -> errno
    bool bShortSends = false;              // the kernel takes one byte less than asked
    int nOpen = 0;

    int Socket(int, int, int, int& h) override { return Op("socket") ?: (h = 7, ++nOpen, 0); }
    int SetSockOpt(int, int, int, const void*, socklen_t) override { return Op("setsockopt"); }
    int Bind(int, const sockaddr_in& a) override { return Op(a.sin_port ? "bind" : "bind:any"); }
    int GetSockName(int, sockaddr_in& a) override { return a.sin_port = htons(40000), 0; }
    int SendTo(int, const void* p, size_t n, const sockaddr_in&, unsigned nIf,
               size_t& nSent) override
    {
        {
            std::lock_guard lock(s_mutex);  // a window's worker may send
            sends.push_back({{(const uint8_t*)p, (const uint8_t*)p + n}, nIf});
        }
        nSent = n - bShortSends;
        const int nError = Op("send");
        return nError ?: linkFailures.count(nIf) ? linkFailures[nIf] : 0;
    }
    int Close(int) override { return --nOpen, Op("close"); }

private:
    static inline std::mutex s_mutex;
    int Op(const char* pszOp)
    {
        std::lock_guard lock(s_mutex);
        return ops.push_back(pszOp), failures.count(pszOp) ? failures[pszOp] : 0;
    }
};
