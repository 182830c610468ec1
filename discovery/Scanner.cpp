#include "discovery/Scanner.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "discovery/ProbeEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

const unsigned kNameThreads = 8;  // the system resolver has no asynchronous reverse look-up

// Reverse look-ups on a few worker threads. The workers share their state
// with the pool, so that one still waiting for a slow resolver when the pool
// is done with finds it alive; it then ends.
class CNamePool {
public:
    explicit CNamePool(ReverseLookup lookup)
        : m_pShared(std::make_shared<CShared>())
    {
        m_pShared->lookup = std::move(lookup);
    }
    ~CNamePool()
    {
        std::lock_guard lock(m_pShared->mutex);
        m_pShared->bClosed = true;
        m_pShared->queue.clear();
        m_pShared->wake.notify_all();
    }

    size_t Add(uint32_t dwAddr)
    {
        std::lock_guard lock(m_pShared->mutex);
        if (m_nThreads < kNameThreads) {
            ++m_nThreads;
            std::thread(Work, m_pShared).detach();
        }
        m_pShared->names.emplace_back();
        m_pShared->addresses.push_back(dwAddr);
        m_pShared->queue.push_back(m_pShared->names.size() - 1);
        m_pShared->wake.notify_one();
        return m_pShared->names.size() - 1;
    }

    // The names that came by the deadline; empty texts for the others.
    std::vector<std::string> Collect(Clock::time_point deadline)
    {
        std::unique_lock lock(m_pShared->mutex);
        m_pShared->done.wait_until(lock, deadline,
                                   [&] { return m_pShared->nDone == m_pShared->names.size(); });
        std::vector<std::string> names;
        for (const auto& name : m_pShared->names)
            names.push_back(name.value_or(std::string()));
        return names;
    }

private:
    struct CShared {
        std::mutex mutex;
        std::condition_variable wake, done;
        std::deque<size_t> queue;
        std::vector<std::optional<std::string>> names;
        std::vector<uint32_t> addresses;
        size_t nDone = 0;
        bool bClosed = false;
        ReverseLookup lookup;
    };

    static void Work(std::shared_ptr<CShared> pShared)
    {
        std::unique_lock lock(pShared->mutex);
        for (;;) {
            pShared->wake.wait(lock, [&] { return pShared->bClosed || !pShared->queue.empty(); });
            if (pShared->queue.empty())
                return;
            const size_t n = pShared->queue.front();
            pShared->queue.pop_front();
            const uint32_t dwAddr = pShared->addresses[n];
            lock.unlock();
            std::string strName;
            const bool bFound = pShared->lookup(dwAddr, strName);
            lock.lock();
            pShared->names[n] = bFound ? strName : std::string();
            ++pShared->nDone;
            pShared->done.notify_all();
        }
    }

    std::shared_ptr<CShared> m_pShared;
    unsigned m_nThreads = 0;
};

}  // namespace

std::vector<CScanHost> CScanner::Scan(const std::vector<CScanTarget>& targets,
                                      CProbeOptions options)
{
    std::vector<CProbeTarget> probes;
    for (const CScanTarget& target : targets)
        probes.push_back({target.dwAddr, target.nIndex});

    CNamePool names(m_lookup);
    std::vector<size_t> nameOf(targets.size(), 0);
    auto lastFound = Clock::now();
    options.nAnswerMs = m_pacing.nAnswerMs;
    options.bOnLinkOnly = true;
    options.nPerSecond = m_pacing.nPerSecond;
    options.onUp = [&](size_t i, const CProbeResult&) {
        nameOf[i] = names.Add(targets[i].dwAddr);
        lastFound = Clock::now();
    };
    CProbeEngine engine(m_platform, m_routes, m_neighbours);
    const std::vector<CProbeResult> results = engine.Probe(probes, options);

    const std::vector<std::string> named =
        names.Collect(lastFound + std::chrono::milliseconds(m_pacing.nNamesMs));
    std::vector<CScanHost> hosts;
    for (size_t i = 0; i < targets.size(); ++i) {
        const CProbeResult& result = results[i];
        if (result.state != EProbeState::Up || result.strMac.size() != 12)
            continue;
        hosts.push_back({targets[i].dwAddr, targets[i].strLink, result.strMac, named[nameOf[i]]});
    }
    std::sort(hosts.begin(), hosts.end(), [](const CScanHost& a, const CScanHost& b) {
        return ntohl(a.dwAddr) < ntohl(b.dwAddr);
    });
    return hosts;
}
