// The host list: fields, name matching, and where entries go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts/SetList.h"

namespace {

using List = std::vector<std::string>;

List Entries(const CSetList& hosts)
{
    return {hosts.begin(), hosts.end()};
}

CSetList ListOf(const List& entries)
{
    CSetList hosts;
    for (const auto& strEntry : entries)
        hosts.AddTail(strEntry);
    return hosts;
}

TEST(EntryField, FieldsAreRunsOfNonSpaceBytes)
{
    const std::string strEntry = "  PC1   10.0.0.5  0A1B2C3D4E5F";
    EXPECT_EQ(EntryField(strEntry, 0), "PC1");
    EXPECT_EQ(EntryField(strEntry, 1), "10.0.0.5");
    EXPECT_EQ(EntryField(strEntry, 2), "0A1B2C3D4E5F");
    EXPECT_EQ(EntryField(strEntry, 3), "");
    EXPECT_EQ(EntryField("a\tb c", 0), "a\tb");  // only the space separates
    EXPECT_EQ(EntryField("   ", 0), "");
    EXPECT_EQ(EntryField("a b ", 2), "");        // trailing spaces make no empty field
    EXPECT_EQ(EntryField("Büro-PC 10.0.0.1", 0), "Büro-PC");
}

TEST(NamesMatch, FoldsUnicodeCaseAndComparesOtherBytesExactly)
{
    const struct {
        const char* pszA;
        const char* pszB;
        bool bMatch;
    } cases[] = {
        {"Ab-9_z", "aB-9_Z", true},
        {"PC", "PC1", false},
        {"PC1", "PC", false},
        {"[", "{", false},                             // 0x5B and 0x7B differ by 0x20 but are no letters
        {"BÜRO", "büro", true},
        {"ΣΟΦΙΑΣ", "σοφιας", true},                    // final sigma too
        {"\xE2\x84\xAA", "k", true},                  // KELVIN SIGN folds to k: lengths differ
        {"straße", "STRASSE", false},                  // simple folding: ß stays one letter
        {"B\xFCro", "b\xFCRO", true},                  // not UTF-8: the stray byte as it is
        {"B\xDCro", "b\xFCro", false},                 // Latin-1 Ü and ü are no characters here
        {"B\xFCro", "Büro", false},                    // nor the same as UTF-8 ü
        {"\xC3\x9C", "\xC3\xBC", true},                // the same as UTF-8
        {"\xC3", "\xC3\xBC", false},                   // a cut character
        {"\xC1\x81", "\xC1\xA1", false},               // overlong A and a: bytes, not letters
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamesMatch(c.pszA, c.pszB), c.bMatch) << c.pszA << " / " << c.pszB;
}

TEST(FindHostField, AnswersFromTheFirstMatchingEntry)
{
    CSetList hosts = ListOf({"", "   ", "PC10 10.0.0.10 AAAAAAAAAAAA", "PC1 10.0.0.5 0A1B2C3D4E5F",
                             "pc1 10.0.0.9 BBBBBBBBBBBB", "short 10.0.0.7"});
    EXPECT_EQ(hosts.FindHostField("pc1", 2), "0A1B2C3D4E5F");
    EXPECT_EQ(hosts.FindHostField("pc1", 0), "PC1");  // the stored spelling
    EXPECT_EQ(hosts.FindHostField("pc1", 3), "");
    EXPECT_EQ(hosts.FindHostField("PC", 2), "");      // no prefix match
    EXPECT_EQ(hosts.FindHostField("short", 2), "");
    EXPECT_EQ(hosts.FindHostField("short", 1), "10.0.0.7");
    EXPECT_EQ(hosts.FindHostField("", 0), "");        // even though entries without fields exist
}

TEST(AddOrReplaceHost, NewAtTheHeadReplacementMovesThereFirstMatchOnly)
{
    const struct {
        List before;
        const char* pszEntry;
        int nResult;  // 0 nothing, 1 added, 2 replaced
        List after;
    } cases[] = {
        {{"B 2 2", "A 1 1"}, "new 3 3", 1, {"new 3 3", "B 2 2", "A 1 1"}},
        {{"A 1 1", "B 2 2", "C 3 3"}, "b 9 9", 2, {"b 9 9", "A 1 1", "C 3 3"}},
        {{"X 0 0", "PC1 1 1", "PC1 2 2"}, "PC1 3 3", 2, {"PC1 3 3", "X 0 0", "PC1 2 2"}},
        {{"PC1 1 1"}, "PC 2 2", 1, {"PC 2 2", "PC1 1 1"}},
        {{"A 1 1"}, "", 0, {"A 1 1"}},
        {{"A 1 1"}, "    ", 0, {"A 1 1"}},
        {{}, "  PC1   10.0.0.5 x ", 1, {"  PC1   10.0.0.5 x "}},  // stored unchanged
        {{"  PC1   10.0.0.5 x "}, "pc1 1 1", 2, {"pc1 1 1"}},
    };
    for (const auto& c : cases) {
        CSetList hosts = ListOf(c.before);
        EXPECT_EQ(hosts.AddOrReplaceHost(c.pszEntry), c.nResult) << c.pszEntry;
        EXPECT_EQ(Entries(hosts), c.after) << c.pszEntry;
    }
}

TEST(RemoveHost, RemovesFirstMatchOnlyOneAtATime)
{
    CSetList hosts = ListOf({"PC1 1 1", "B 2 2", "pc1 3 3"});
    EXPECT_EQ(hosts.RemoveHost(""), 0);
    EXPECT_EQ(hosts.RemoveHost("PC"), 0);
    EXPECT_EQ(hosts.GetCount(), 3u);
    EXPECT_EQ(hosts.RemoveHost("PC1"), 1);
    EXPECT_EQ(Entries(hosts), (List{"B 2 2", "pc1 3 3"}));
    EXPECT_EQ(hosts.RemoveHost("PC1"), 1);
    EXPECT_EQ(hosts.RemoveHost("PC1"), 0);
    EXPECT_EQ(Entries(hosts), (List{"B 2 2"}));
}

} // namespace
