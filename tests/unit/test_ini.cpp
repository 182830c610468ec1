// The INI reader: each rule that the profile file relies on.
#include <gtest/gtest.h>

#include <string>

#include "hosts/IniFile.h"

namespace {

std::string Get(const std::string& strText, const char* pszSection, const char* pszKey)
{
    return CIniFile::Parse(strText).GetProfileString(pszSection, pszKey);
}

TEST(IniReader, SectionAndKeyNamesIgnoreLetterCase)
{
    const std::string strText = "[List]\r\nName=x\r\n";
    EXPECT_EQ(Get(strText, "list", "name"), "x");
    EXPECT_EQ(Get(strText, "LIST", "NAME"), "x");
    EXPECT_EQ(Get(strText, "lis", "name"), "");
    EXPECT_EQ(Get(strText, "list", "nam"), "");
}

TEST(IniReader, FirstSectionAndFirstKeyWin)
{
    const std::string strText = "[list]\n0=first\n0=second\n[other]\n1=o\n[LIST]\n0=third\n1=late\n";
    EXPECT_EQ(Get(strText, "list", "0"), "first");
    EXPECT_EQ(Get(strText, "list", "1"), "");  // only in the repeated section
    EXPECT_EQ(Get(strText, "other", "1"), "o");
}

TEST(IniReader, BlankAndCommentLinesAreIgnored)
{
    const std::string strText = "; heading\n\n[list]\n\n   \n;0=commented\n  ; 0=indented comment\n0=a\n1=b;not a comment\n";
    EXPECT_EQ(Get(strText, "list", "0"), "a");
    EXPECT_EQ(Get(strText, "list", "1"), "b;not a comment");
    EXPECT_EQ(Get(strText, "list", ";0"), "");
}

TEST(IniReader, WhiteSpaceAroundKeysAndValuesIsDropped)
{
    const std::string strText = "  [ list ]  \n\t 0 \t=  a  b \t\n1=\n";
    EXPECT_EQ(Get(strText, "list", "0"), "a  b");
    EXPECT_EQ(Get(strText, "list", "1"), "");
}

TEST(IniReader, QuotesAroundAWholeValueAreRemoved)
{
    const std::string strText =
        "[list]\n0=\"  a b  \"\n1='c'\n2=\"d'\n3=\"e\" f\n4=\"\n5=\"\"\n6= 'g' \n";
    EXPECT_EQ(Get(strText, "list", "0"), "  a b  ");  // the inner spaces stay
    EXPECT_EQ(Get(strText, "list", "1"), "c");
    EXPECT_EQ(Get(strText, "list", "2"), "\"d'");      // not a pair
    EXPECT_EQ(Get(strText, "list", "3"), "\"e\" f");   // not the whole value
    EXPECT_EQ(Get(strText, "list", "4"), "\"");        // one quote is no pair
    EXPECT_EQ(Get(strText, "list", "5"), "");
    EXPECT_EQ(Get(strText, "list", "6"), "g");
}

TEST(IniReader, LineEndsAndByteOrderMark)
{
    EXPECT_EQ(Get("[list]\r\n0=a\r\n1=b\r\n", "list", "1"), "b");
    EXPECT_EQ(Get("[list]\n0=a\n1=b", "list", "1"), "b");  // no end on the last line
    EXPECT_EQ(Get("\xEF\xBB\xBF[list]\r\n0=a\r\n", "list", "0"), "a");
    // A byte-order mark anywhere else is text.
    EXPECT_EQ(Get("[list]\n\xEF\xBB\xBF" "0=a\n", "list", "0"), "");
}

TEST(IniReader, ValuesAreCutTo4095Characters)
{
    const std::string strLong(5000, 'x');
    const std::string strValue = Get("[list]\n0=" + strLong + "\n", "list", "0");
    EXPECT_EQ(strValue.size(), kIniValueMax);
    EXPECT_EQ(kIniValueMax, 4095u);
    EXPECT_EQ(Get("[list]\n0=" + std::string(4095, 'y') + "\n", "list", "0").size(), 4095u);
}

TEST(IniReader, MissingTextSectionOrKeyReadsEmpty)
{
    EXPECT_EQ(Get("", "list", "0"), "");
    EXPECT_EQ(Get("0=before any section\n[list]\n", "list", "0"), "");
    EXPECT_EQ(Get("[other]\n0=a\n", "list", "0"), "");
    EXPECT_FALSE(CIniFile::Parse("[other]\n").HasSection("list"));
    EXPECT_TRUE(CIniFile::Parse("[other]\n[LIST]\n").HasSection("list"));
}

TEST(IniReader, OddLinesDoNotDisturbTheRest)
{
    // A line without "=" is a key without a value; a section line without
    // its closing bracket still opens the section.
    const std::string strText = "[list\n0\n1=a=b\n=c\n";
    EXPECT_EQ(Get(strText, "list", "0"), "");
    EXPECT_EQ(Get(strText, "list", "1"), "a=b");
    EXPECT_EQ(Get(strText, "list", ""), "c");
    // Bytes that are not text are kept as they are.
    EXPECT_EQ(Get(std::string("[list]\n0=a\0b\n", 13), "list", "0"), std::string("a\0b", 3));
}

} // namespace
