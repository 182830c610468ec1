#pragma once
// How failures travel. At the platform interfaces (sockets, files, netlink,
// the probe platform) a call returns 0 or the system's error number (errno),
// and hands its results out through its parameters; the resolver returns its
// own codes (EAI_*) the same way. Above them, an operation that can fail
// returns a CStatus: the error number behind the failure and the whole line a
// person reads, "<what>: <reason>", with a hint where one helps.
#include <string>

// The system's text for an error number ("Address already in use", ...).
std::string ErrorText(int nError);

struct CStatus {
    int nError = 0;        // 0: it worked
    std::string strError;  // when it did not: what failed, and why
    bool Ok() const { return nError == 0; }
};

// "<strWhat>: <the error number's text>".
CStatus Failure(const std::string& strWhat, int nError);
// "<strWhat>: <strReason>", for a reason the error number does not say.
CStatus Failure(const std::string& strWhat, const std::string& strReason, int nError);
