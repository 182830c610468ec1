// The host list: fields, name matching, and where entries go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hosts/SetList.h"

namespace {

std::vector<std::string> Entries(const CSetList& hosts)
{
    return {hosts.begin(), hosts.end()};
}

CSetList ListOf(std::vector<std::string> entries)
{
    CSetList hosts;
    for (auto& strEntry : entries)
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
    // Only the space separates: a tab belongs to its field.
    EXPECT_EQ(EntryField("a\tb c", 0), "a\tb");
    EXPECT_EQ(EntryField("a\tb c", 1), "c");
    // No fields at all.
    EXPECT_EQ(EntryField("", 0), "");
    EXPECT_EQ(EntryField("   ", 0), "");
    // Trailing spaces make no empty last field.
    EXPECT_EQ(EntryField("a b ", 2), "");
    // Multi-byte UTF-8 text is kept whole.
    EXPECT_EQ(EntryField("Büro-PC 10.0.0.1", 0), "Büro-PC");
}

TEST(NamesMatch, FoldsAsciiLettersOnly)
{
    EXPECT_TRUE(NamesMatch("PC1", "pc1"));
    EXPECT_TRUE(NamesMatch("Ab-9_z", "aB-9_Z"));
    EXPECT_FALSE(NamesMatch("PC", "PC1"));
    EXPECT_FALSE(NamesMatch("PC1", "PC"));
    EXPECT_FALSE(NamesMatch("[", "{"));     // 0x5B and 0x7B differ by 0x20 but are no letters
    EXPECT_FALSE(NamesMatch("BÜRO", "büro"));  // non-ASCII bytes compare exactly
    EXPECT_TRUE(NamesMatch("BüRO", "büro"));
}

TEST(FindHostField, AnswersFromTheFirstMatchingEntry)
{
    CSetList hosts = ListOf({"PC10 10.0.0.10 AAAAAAAAAAAA", "PC1 10.0.0.5 0A1B2C3D4E5F", "pc1 10.0.0.9 BBBBBBBBBBBB"});
    EXPECT_EQ(hosts.FindHostField("pc1", 2), "0A1B2C3D4E5F");
    EXPECT_EQ(hosts.FindHostField("pc1", 1), "10.0.0.5");
    EXPECT_EQ(hosts.FindHostField("pc1", 0), "PC1");  // the stored spelling
    EXPECT_EQ(hosts.FindHostField("pc1", 3), "");
    EXPECT_EQ(hosts.FindHostField("PC", 2), "");      // no prefix match
    EXPECT_EQ(hosts.FindHostField("nobody", 0), "");
}

TEST(FindHostField, ShortEntriesAndEmptyNames)
{
    CSetList hosts = ListOf({"", "   ", "PC1 10.0.0.5"});
    EXPECT_EQ(hosts.FindHostField("", 0), "");  // even though entries without fields exist
    EXPECT_EQ(hosts.FindHostField("PC1", 2), "");
    EXPECT_EQ(hosts.FindHostField("PC1", 1), "10.0.0.5");
    EXPECT_EQ(CSetList().FindHostField("PC1", 0), "");
}

TEST(AddOrReplaceHost, NewEntriesGoToTheHead)
{
    CSetList hosts;
    EXPECT_EQ(hosts.AddOrReplaceHost("A 1 111111111111"), 1);
    EXPECT_EQ(hosts.AddOrReplaceHost("B 2 222222222222"), 1);
    EXPECT_EQ(hosts.AddOrReplaceHost("new 3 333333333333"), 1);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"new 3 333333333333", "B 2 222222222222", "A 1 111111111111"}));
}

TEST(AddOrReplaceHost, ReplacementMovesToTheHeadWhole)
{
    CSetList hosts = ListOf({"A 1 1", "B 2 2", "C 3 3"});
    EXPECT_EQ(hosts.AddOrReplaceHost("b 9 9"), 2);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"b 9 9", "A 1 1", "C 3 3"}));

    CSetList pcs = ListOf({"PC1 10.0.0.5 0A1B2C3D4E5F"});
    EXPECT_EQ(pcs.AddOrReplaceHost("pc1 10.0.0.6 0A1B2C3D4E5F"), 2);
    EXPECT_EQ(Entries(pcs), (std::vector<std::string>{"pc1 10.0.0.6 0A1B2C3D4E5F"}));
}

TEST(AddOrReplaceHost, ReplacesOnlyTheFirstOfDuplicates)
{
    CSetList hosts = ListOf({"X 0 0", "PC1 1 1", "PC1 2 2"});
    EXPECT_EQ(hosts.AddOrReplaceHost("PC1 3 3"), 2);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"PC1 3 3", "X 0 0", "PC1 2 2"}));
}

TEST(AddOrReplaceHost, PrefixNamesAreDifferentHosts)
{
    CSetList hosts = ListOf({"PC1 1 1"});
    EXPECT_EQ(hosts.AddOrReplaceHost("PC 2 2"), 1);
    EXPECT_EQ(hosts.GetCount(), 2u);
}

TEST(AddOrReplaceHost, EntryWithoutNameChangesNothing)
{
    CSetList hosts = ListOf({"A 1 1"});
    EXPECT_EQ(hosts.AddOrReplaceHost(""), 0);
    EXPECT_EQ(hosts.AddOrReplaceHost("    "), 0);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"A 1 1"}));
}

TEST(AddOrReplaceHost, StoresTheEntryUnchanged)
{
    CSetList hosts;
    EXPECT_EQ(hosts.AddOrReplaceHost("  PC1   10.0.0.5 x "), 1);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"  PC1   10.0.0.5 x "}));
    EXPECT_EQ(hosts.AddOrReplaceHost("pc1 1 1"), 2);  // matched through the leading spaces
    EXPECT_EQ(hosts.GetCount(), 1u);
}

TEST(RemoveHost, RemovesFirstMatchOnlyOneAtATime)
{
    CSetList hosts = ListOf({"PC1 1 1", "B 2 2", "pc1 3 3"});
    EXPECT_EQ(hosts.RemoveHost(""), 0);
    EXPECT_EQ(hosts.RemoveHost("PC"), 0);
    EXPECT_EQ(hosts.GetCount(), 3u);
    EXPECT_EQ(hosts.RemoveHost("PC1"), 1);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"B 2 2", "pc1 3 3"}));
    EXPECT_EQ(hosts.FindHostField("PC1", 1), "3");
    EXPECT_EQ(hosts.RemoveHost("PC1"), 1);
    EXPECT_EQ(hosts.RemoveHost("PC1"), 0);
    EXPECT_EQ(Entries(hosts), (std::vector<std::string>{"B 2 2"}));
    EXPECT_EQ(CSetList().RemoveHost("B"), 0);
}

} // namespace
