#pragma once
// The composition root: the one place where the real platform services are
// made, for the whole run.
#include <memory>
#include <string>

#include "app/AppServices.h"

class CSystemServices {
public:
    explicit CSystemServices(const std::string& strAppName);
    ~CSystemServices();
    CSystemServices(const CSystemServices&) = delete;
    CSystemServices& operator=(const CSystemServices&) = delete;

    const CAppServices& Services() const { return m_services; }

private:
    struct CParts;
    std::unique_ptr<CParts> m_pParts;
    CAppServices m_services;
};

// While it lives, Ctrl-C (SIGINT) and SIGTERM set the flag the system's
// services' pStop points to, to the signal's number: a run that waits then
// ends at once, with what it found so far.
class CStopOnSignals {
public:
    CStopOnSignals();
    ~CStopOnSignals();
    CStopOnSignals(const CStopOnSignals&) = delete;
    CStopOnSignals& operator=(const CStopOnSignals&) = delete;

private:
    struct sigaction m_beforeInt {
    }, m_beforeTerm{};
};

// The other side of a --via request: when standard input ends (the side
// that sent it stopped, or the connection is gone), the run is stopped as by
// Ctrl-C; one that has not ended a few seconds later is ended.
void StopWhenInputEnds();

// Sleeps for nMs milliseconds.
void PauseMs(int nMs);
