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

TEST(NamesMatch, FoldsAsciiLettersOnly)
{
    EXPECT_TRUE(NamesMatch("Ab-9_z", "aB-9_Z"));
    EXPECT_FALSE(NamesMatch("PC", "PC1"));
    EXPECT_FALSE(NamesMatch("PC1", "PC"));
    EXPECT_FALSE(NamesMatch("[", "{"));        // 0x5B and 0x7B differ by 0x20 but are no letters
    EXPECT_FALSE(NamesMatch("BÜRO", "büro"));  // non-ASCII bytes compare exactly
    EXPECT_TRUE(NamesMatch("BüRO", "büro"));
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
