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

// Sets the flag *CAppServices::pStop of the system's services points to
// while it lives: Ctrl-C (SIGINT) then ends the wait at once.
class CStopOnInterrupt {
public:
    CStopOnInterrupt();
    ~CStopOnInterrupt();
    CStopOnInterrupt(const CStopOnInterrupt&) = delete;
    CStopOnInterrupt& operator=(const CStopOnInterrupt&) = delete;

private:
    struct sigaction m_before { };
};

// Sleeps for nMs milliseconds.
void PauseMs(int nMs);
