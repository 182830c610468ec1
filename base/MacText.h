#pragma once
// The hardware address text: twelve digits from "0123456789ABCDEF", no
// separators; digits 2j and 2j+1 are address byte j, byte 0 first on the wire.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr char kMacDigits[] = "0123456789ABCDEF";
constexpr size_t kMacTextLength = 12;
constexpr size_t kMacBytes = 6;
using CMacAddress = std::array<uint8_t, kMacBytes>;

// Cuts the text down to its leading run of hexadecimal digits (upper case
// only) and tells whether exactly twelve remain.
bool CutToMacText(std::string& strMac);

// The value of a text of at most two characters as strtol reads it in base 16;
// 0 for a longer text or one that holds no number.
int HexPairToByte(std::string strPair);

// The six address bytes of a valid hardware address text.
CMacAddress MacTextToBytes(const std::string& strMac);

// Bytes as two upper-case hexadecimal digits each, no separator: six bytes
// give a hardware address text.
std::string MacBytesText(const uint8_t* pBytes, size_t nBytes);

// A hardware address in any of the forms people copy from labels, tools and
// router pages: twelve hexadecimal digits of either case; six pairs
// separated by ':' or by '-' (one separator throughout); three groups of
// four separated by '.'. On success strMac gets the twelve-digit text.
bool ParseAnyMac(const std::string& strText, std::string& strMac);

// "00:11:22:33:44:55" for a hardware address in any form ParseAnyMac
// takes; the text as it is when it holds none.
std::string MacShownText(const std::string& strText);

// "Twelve hexadecimal digits ..." hint for people who typed something else.
extern const char kMacTextExpected[];
