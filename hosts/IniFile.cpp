#include "hosts/IniFile.h"

#include <algorithm>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A value wholly enclosed in a pair of the same quote characters loses them.
std::string_view Unquote(std::string_view value)
{
    return IsWhollyQuoted(value) ? value.substr(1, value.size() - 2) : value;
}

// Keys in the order a reader of the list would name them: numbers by value, then the rest.
bool KeyBefore(const std::string& a, const std::string& b)
{
    const auto number = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == s.npos;
    };
    if (number(a) != number(b))
        return number(a);
    return number(a) && a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

bool IsWhollyQuoted(std::string_view value)
{
    return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front();
}

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
    CSection* pSection = nullptr;
    std::string strSection;
    bool bInRepeated = false;  // the current section repeats an earlier one
    while (!text.empty()) {
        // Lines end with CR LF, LF or a lone CR (old Mac files); the empty
        // line between the CR and the LF of a pair is skipped below.
        const size_t nEnd = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, nEnd);
        text.remove_prefix(nEnd == std::string_view::npos ? text.size() : nEnd + 1);

        line = TrimIniSpace(line);
        if (line.empty())
            continue;
        if (line.front() == ';') {
            ++ini.m_nComments;
            continue;
        }

        if (line.front() == '[') {
            line.remove_prefix(1);
            strSection = FoldAscii(TrimIniSpace(line.substr(0, line.find(']'))));
            pSection = nullptr;
            bInRepeated = ini.FindSection(strSection) != nullptr;
            if (!bInRepeated) {
                ini.m_sections.push_back({strSection, {}, {}});
                pSection = &ini.m_sections.back();
            }
            continue;
        }

        // A line without "=" is a key without a value.
        const size_t nEq = line.find('=');
        std::string_view key = TrimIniSpace(line.substr(0, nEq));
        std::string_view value;
        if (nEq != std::string_view::npos)
            value = Unquote(TrimIniSpace(line.substr(nEq + 1)));
        if (value.size() > kIniValueMax)
            value = value.substr(0, kIniValueMax);
        if (pSection == nullptr) {
            ini.m_ignored.push_back(bInRepeated ? "[" + strSection + "] " + FoldAscii(key) +
                                            " (in a repeated section)"
                                                : FoldAscii(key) + " (before any section)");
            continue;
        }
        if (!pSection->keys.try_emplace(FoldAscii(key), value)
                 .second)  // the first key of a name wins
            pSection->repeated.push_back(FoldAscii(key));
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

CIniFile::CLeftovers CIniFile::Leftovers(std::string_view strSection,
                                         const std::function<bool(std::string_view)>& bRead) const
{
    CLeftovers leftovers;
    const std::string strFolded = FoldAscii(strSection);
    for (const CSection& section : m_sections) {
        std::vector<std::string> keys;
        const bool bWanted = section.strFoldedName == strFolded;
        for (const auto& [strKey, strValue] : section.keys)
            if (!bWanted || !bRead(strKey))
                keys.push_back(strKey);
        std::sort(keys.begin(), keys.end(), KeyBefore);
        for (const std::string& strKey : section.repeated)
            keys.push_back(strKey + " (a second time)");
        for (const std::string& strKey : keys)
            leftovers.listing.push_back("[" + section.strFoldedName + "] " + strKey);
        if (section.keys.empty() && !bWanted)
            leftovers.listing.push_back("[" + section.strFoldedName + "]");
    }
    leftovers.listing.insert(leftovers.listing.end(), m_ignored.begin(), m_ignored.end());
    leftovers.nCount = leftovers.listing.size() + m_nComments;
    if (m_nComments > 0)
        leftovers.listing.push_back(std::to_string(m_nComments) +
                                    (m_nComments == 1 ? " comment line" : " comment lines"));
    return leftovers;
}
