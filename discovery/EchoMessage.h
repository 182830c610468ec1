#pragma once
// The ICMP echo request the probes send, and the recognition of its reply.
#include <cstddef>
#include <cstdint>
#include <vector>

const size_t kEchoDataSize = 64;
const uint8_t kEchoDataByte = 0xAA;
const uint16_t kDiscardPort = 9;  // where a probe's datagram goes without ICMP

// The Internet checksum (RFC 1071) of a buffer, in network order.
uint16_t InternetChecksum(const void* pData, size_t nLength);
// An echo request message: 8-byte ICMP header, then the 64 data bytes of
// 0xAA, with its checksum filled in.
std::vector<uint8_t> BuildEchoRequest(uint16_t nIdentifier, uint16_t nSequence);
// True when the buffer is the echo reply to (nIdentifier, nSequence).
// bRaw: the buffer starts with the IPv4 header and carries the identifier
// the request was sent with (a datagram socket's kernel owns the identifier
// and routes replies to the right socket itself).
bool IsEchoReplyFor(const uint8_t* pData, size_t nLength, bool bRaw, uint16_t nIdentifier,
                    uint16_t nSequence);
