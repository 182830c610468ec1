// Fuzz target for the profile reader: any bytes must parse without a fault,
// and what is read back must keep the reader's promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "hosts/IniFile.h"

namespace {

void Check(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string_view text(reinterpret_cast<const char*>(pData), nSize);
    const CIniFile ini = CIniFile::Parse(text);

    // Read the list as loading does, and write it out again as saving does.
    std::string strSaved = "[list]\r\n";
    size_t nEntries = 0;
    for (size_t i = 0;; ++i) {
        const std::string strValue = ini.GetProfileString("list", std::to_string(i));
        if (strValue.empty())
            break;
        Check(strValue.size() <= kIniValueMax);
        Check(strValue.find_first_of("\r\n") == std::string::npos);
        Check(ini.GetProfileString("LIST", std::to_string(i)) == strValue);
        const std::string_view entry = TrimIniSpace(strValue);
        if (entry.empty())
            break;  // such an entry doesn't read back, by the reader's rules
        // A value wholly in quotes goes in one more pair, as saving writes it.
        strSaved += std::to_string(i) + "=" + (IsWhollyQuoted(entry) ? "\"" + std::string(entry) + "\"" : std::string(entry)) + "\r\n";
        ++nEntries;
    }

    // What was written reads back the same.
    const CIniFile again = CIniFile::Parse(strSaved);
    for (size_t i = 0; i < nEntries; ++i)
        Check(again.GetProfileString("list", std::to_string(i)) ==
              std::string(TrimIniSpace(ini.GetProfileString("list", std::to_string(i)))));
    Check(again.GetProfileString("list", std::to_string(nEntries)).empty());
    Check(again.Leftovers("list", [](std::string_view) { return true; }).nCount == 0);
    ini.Leftovers("list", [](std::string_view strKey) { return strKey.size() < 2; });
    return 0;
}
