#include "hosts/IniFile.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A value wholly enclosed in a pair of the same quote characters loses them.
std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

bool IsIniSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimIniSpace(std::string_view text)
{
    while (!text.empty() && IsIniSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsIniSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string FoldAscii(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

CIniFile CIniFile::Parse(std::string_view text)
{
    CIniFile ini;
    if (text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());

    // Keys before the first section line, and keys of a section that repeats
    // an earlier one, belong nowhere: the first section of a name wins.
    CKeys* pKeys = nullptr;
    while (!text.empty()) {
        // Lines end with CR LF, LF or a lone CR (old Mac files); the empty
        // line between the CR and the LF of a pair is skipped below.
        const size_t nEnd = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, nEnd);
        text.remove_prefix(nEnd == std::string_view::npos ? text.size() : nEnd + 1);

        line = TrimIniSpace(line);
        if (line.empty() || line.front() == ';')
            continue;

        if (line.front() == '[') {
            line.remove_prefix(1);
            const std::string strName = FoldAscii(TrimIniSpace(line.substr(0, line.find(']'))));
            pKeys = nullptr;
            if (ini.FindSection(strName) == nullptr) {
                ini.m_sections.push_back({strName, {}});
                pKeys = &ini.m_sections.back().keys;
            }
            continue;
        }
        if (pKeys == nullptr)
            continue;

        // A line without "=" is a key without a value.
        const size_t nEq = line.find('=');
        std::string_view key = TrimIniSpace(line.substr(0, nEq));
        std::string_view value;
        if (nEq != std::string_view::npos)
            value = Unquote(TrimIniSpace(line.substr(nEq + 1)));
        if (value.size() > kIniValueMax)
            value = value.substr(0, kIniValueMax);
        pKeys->try_emplace(FoldAscii(key), value);  // the first key of a name wins
    }
    return ini;
}

const CIniFile::CSection* CIniFile::FindSection(std::string_view strSection) const
{
    const std::string strFolded = FoldAscii(strSection);
    for (const CSection& section : m_sections)
        if (section.strFoldedName == strFolded)
            return &section;
    return nullptr;
}

std::string CIniFile::GetProfileString(std::string_view strSection, std::string_view strKey) const
{
    const CSection* pSection = FindSection(strSection);
    if (pSection == nullptr)
        return {};
    const auto it = pSection->keys.find(FoldAscii(strKey));
    return it == pSection->keys.end() ? std::string() : it->second;
}
