#pragma once
// IPv4 addresses as text. Addresses travel in network order throughout.
#include <cstdint>
#include <string>
#include <string_view>

// "192.168.1.10".
std::string DottedText(uint32_t dwAddr);

// Four decimal numbers separated by dots, as inet_pton reads them: nothing
// octal, hexadecimal or short. False when the text is no such address.
bool ParseDotted(std::string_view text, uint32_t& dwAddr);

// What an address must look like, for messages.
constexpr char kDottedExpected[] =
    "not an IPv4 address: four decimal numbers from 0 to 255 with no leading zeros, such as "
    "192.168.1.255";

// The address a stored text names, 0 for none: a text that is no dotted
// address, and "0.0.0.0", both mean no address is known.
uint32_t StoredAddress(std::string_view text);
