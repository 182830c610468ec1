#include "base/Error.h"

#include <cstring>

std::string ErrorText(int nError)
{
    char szBuffer[256];
    // GNU strerror_r returns the text, which may or may not be in the buffer.
    return ::strerror_r(nError, szBuffer, sizeof szBuffer);
}

CStatus Failure(const std::string& strWhat, int nError)
{
    return {nError, strWhat + ": " + ErrorText(nError)};
}

CStatus Failure(const std::string& strWhat, const std::string& strReason, int nError)
{
    return {nError, strWhat + ": " + strReason};
}
