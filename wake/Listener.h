#pragma once
// The target's side: magic packets as they arrive on a UDP port, one line
// each, for checking that a wake reaches the machine it is meant for.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "base/Error.h"

// The line printed for one datagram: "2026-12-07 13:05:01.123 from
// 10.0.0.1 port 4000 to 255.255.255.255: 001122334455, well formed".
std::string DescribeArrival(const timespec& when, uint32_t dwFrom, uint16_t nFromPort,
                            uint32_t dwTo, const uint8_t* pData, size_t nLength);

// Prints a line on pOut for each datagram that arrives on UDP port nPort
// (all local addresses) until SIGINT or SIGTERM. A failure to listen ends it
// with the reason; a failed write ends it too, and the stream's error flag
// tells. Datagrams the kernel had to drop are counted, and onNote gets one
// line with their number at the end.
CStatus ListenForWakes(uint16_t nPort, std::FILE* pOut,
                       const std::function<void(const std::string&)>& onNote);
