// Host names match without regard to case, by Unicode simple case folding.
#include "fakes/Fakes.h"
#include "hosts/SetList.h"

namespace {

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
    // Of two entries of one name, the first from the head is found.
    CSetList hosts;
    hosts.AddTail("pc 10.0.0.1 001122334455");
    hosts.AddTail("PC 10.0.0.2 AABBCCDDEEFF");
    EXPECT_EQ(hosts.FindHostField("Pc", 1), "10.0.0.1");
}

} // namespace
