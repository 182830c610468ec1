// The INI reader: each rule that the profile file relies on.
#include <gtest/gtest.h>

#include <string>

#include "hosts/IniFile.h"

namespace {

struct CIniCase {
    const char* pszRule;
    std::string strText;
    const char* pszSection;
    const char* pszKey;
    std::string strValue;
};

TEST(IniReader, EachRule)
{
    const std::string strRepeated = "[list]\n0=first\n0=second\n[other]\n1=o\n[LIST]\n0=third\n1=late\n";
    const std::string strComments = "; heading\n\n[list]\n\n   \n;0=commented\n  ; 0=x\n0=a\n1=b;not a comment\n";
    const std::string strQuotes = "[list]\n0=\"  a b  \"\n1='c'\n2=\"d'\n3=\"e\" f\n4=\"\n5=\"\"\n6= 'g' \n";
    const CIniCase cases[] = {
        {"case of names", "[List]\r\nName=x\r\n", "LIST", "name", "x"},
        {"no prefix section", "[List]\r\nName=x\r\n", "lis", "name", ""},
        {"no prefix key", "[List]\r\nName=x\r\n", "list", "nam", ""},
        {"first key wins", strRepeated, "list", "0", "first"},
        {"first section wins", strRepeated, "list", "1", ""},
        {"other section", strRepeated, "other", "1", "o"},
        {"comment lines", strComments, "list", "0", "a"},
        {"no inline comment", strComments, "list", "1", "b;not a comment"},
        {"comment is no key", strComments, "list", ";0", ""},
        {"white space", "  [ list ]  \n\t 0 \t=  a  b \t\n1=\n", "list", "0", "a  b"},
        {"double quotes", strQuotes, "list", "0", "  a b  "},
        {"single quotes", strQuotes, "list", "1", "c"},
        {"unpaired quotes", strQuotes, "list", "2", "\"d'"},
        {"quotes not whole", strQuotes, "list", "3", "\"e\" f"},
        {"one quote", strQuotes, "list", "4", "\""},
        {"empty quotes", strQuotes, "list", "5", ""},
        {"quotes in blanks", strQuotes, "list", "6", "g"},
        {"CR LF", "[list]\r\n0=a\r\n1=b\r\n", "list", "1", "b"},
        {"LF, no last end", "[list]\n0=a\n1=b", "list", "1", "b"},
        {"BOM", "\xEF\xBB\xBF[list]\r\n0=a\r\n", "list", "0", "a"},
        {"BOM elsewhere is text", "[list]\n\xEF\xBB\xBF" "0=a\n", "list", "0", ""},
        {"cap", "[list]\n0=" + std::string(5000, 'x') + "\n", "list", "0", std::string(4095, 'x')},
        {"at the cap", "[list]\n0=" + std::string(4095, 'y') + "\n", "list", "0", std::string(4095, 'y')},
        {"empty text", "", "list", "0", ""},
        {"before any section", "0=a\n[list]\n", "list", "0", ""},
        {"missing section", "[other]\n0=a\n", "list", "0", ""},
        {"no closing bracket", "[list\n0=a\n", "list", "0", "a"},
        {"key without =", "[list]\n0\n0=late\n", "list", "0", ""},
        {"= in value", "[list]\n1=a=b\n", "list", "1", "a=b"},
        {"empty key", "[list]\n=c\n", "list", "", "c"},
        {"bytes kept", std::string("[list]\n0=a\0b\n", 13), "list", "0", std::string("a\0b", 3)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CIniFile::Parse(c.strText).GetProfileString(c.pszSection, c.pszKey), c.strValue) << c.pszRule;
}

TEST(IniReader, HasSectionIgnoresLetterCase)
{
    EXPECT_FALSE(CIniFile::Parse("[other]\n").HasSection("list"));
    EXPECT_TRUE(CIniFile::Parse("[other]\n[LIST]\n").HasSection("list"));
}

} // namespace
