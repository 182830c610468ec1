// The host list: fields, name matching, and where entries go.
#include "fakes/Fakes.h"
#include "hosts/SetList.h"

namespace {

CSetList ListOf(const List& entries)
{
    CSetList hosts;
    for (const auto& strEntry : entries)
        hosts.AddTail(strEntry);
    return hosts;
}

TEST(HostList, FieldsAreRunsOfBytesBetweenSpaces)
{
    EXPECT_EQ(List({EntryField("  PC1   10.0.0.5  0A1B", 2), EntryField("a\tb c", 0), EntryField("a b ", 2)}),
              List({"0A1B", "a\tb", ""}));
}

TEST(HostList, NamesMatchByUnicodeSimpleCaseFoldingAndOtherBytesExactly)
{
    const struct {
        const char* pszA;
        const char* pszB;
        bool bMatch;
    } cases[] = {
        {"Ab-9_z", "aB-9_Z", true},     {"PC", "PC1", false},           {"[", "{", false},
        {"BÜRO", "büro", true},         {"ΣΟΦΙΑΣ", "σοφιας", true},     {"\xE2\x84\xAA", "k", true},  // KELVIN SIGN
        {"straße", "STRASSE", false},   {"B\xFCro", "b\xFCRO", true},   {"B\xDCro", "b\xFCro", false},
        {"B\xFCro", "Büro", false},     {"\xC3", "\xC3\xBC", false},    {"\xC1\x81", "\xC1\xA1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamesMatch(c.pszA, c.pszB), c.bMatch) << c.pszA << " / " << c.pszB;
}

TEST(HostList, TheFirstMatchFromTheHeadAnswersAndNewEntriesGoToTheHead)
{
    CSetList hosts = ListOf({"", "PC10 10.0.0.10 AAAA", "PC1 10.0.0.5 0A1B", "pc1 10.0.0.9 BBBB", "short 10.0.0.7"});
    EXPECT_EQ(List({hosts.FindHostField("pc1", 2), hosts.FindHostField("pc1", 0), hosts.FindHostField("PC", 2),
                    hosts.FindHostField("short", 2), hosts.FindHostField("", 0)}),
              List({"0A1B", "PC1", "", "", ""}));

    const struct {
        List before;
        const char* pszEntry;
        int nResult;
        List after;
    } cases[] = {
        {{"B 2 2", "A 1 1"}, "new 3 3", 1, {"new 3 3", "B 2 2", "A 1 1"}},
        {{"X 0 0", "PC1 1 1", "pc1 2 2"}, "Pc1 3 3", 2, {"Pc1 3 3", "X 0 0", "pc1 2 2"}},
        {{"A 1 1"}, "    ", 0, {"A 1 1"}},
    };
    for (const auto& c : cases) {
        CSetList list = ListOf(c.before);
        EXPECT_EQ(list.AddOrReplaceHost(c.pszEntry), c.nResult) << c.pszEntry;
        EXPECT_EQ(List(list.begin(), list.end()), c.after) << c.pszEntry;
    }

    EXPECT_EQ(std::vector({hosts.RemoveHost("PC"), hosts.RemoveHost("pc1"), hosts.RemoveHost("pc1"),
                           hosts.RemoveHost("pc1"), hosts.RemoveHost("")}),
              std::vector({0, 1, 1, 0, 0}));
    EXPECT_EQ(List(hosts.begin(), hosts.end()), List({"", "PC10 10.0.0.10 AAAA", "short 10.0.0.7"}));
}

} // namespace
