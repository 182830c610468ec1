// Host names match without regard to case, by Unicode simple case folding.
#include "fakes/Fakes.h"
#include "hosts/HostLookUp.h"
#include "hosts/SetList.h"

namespace {

TEST(HostList, NamesMatchByUnicodeSimpleCaseFoldingAndOtherBytesExactly)
{
    const struct {
        const char* pszA;
        const char* pszB;
        bool bMatch;
    } cases[] = {
        {"Ab-9_z", "aB-9_Z", true},   {"PC", "PC1", false},         {"[", "{", false},
        {"BÜRO", "büro", true},       {"ΣΟΦΙΑΣ", "σοφιας", true},   {"ДЕНИС", "денис", true},
        {"ＡＢ", "ａｂ", true},       {"\xE2\x84\xAA", "k", true},  // KELVIN SIGN
        {"straße", "STRASSE", false}, {"B\xFCro", "b\xFCRO", true}, {"B\xDCro", "b\xFCro", false},
        {"B\xFCro", "Büro", false},   {"\xC3", "\xC3\xBC", false},  {"\xC1\x81", "\xC1\xA1", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NamesMatch(c.pszA, c.pszB), c.bMatch) << c.pszA << " / " << c.pszB;
    // Of two entries of one name, the first from the head is found.
    CSetList hosts;
    hosts.AddTail("pc 10.0.0.1 001122334455");
    hosts.AddTail("PC 10.0.0.2 AABBCCDDEEFF");
    EXPECT_EQ(hosts.FindHostField("Pc", 1), "10.0.0.1");
}

// A host by what was typed: an address form, then the book's first matching
// name, then the ethers database.
TEST(HostLookUp, AddressThenBookThenEthers)
{
    CSetList book;
    for (const char* psz :
         {"Büro 10.0.0.1 0A0000000001", "nas 10.0.0.2 0a0000000002", "NAS 10.0.0.3 0A0000000003",
          "0A0000000009 10.0.0.9 0A0000000004", "noaddress"})
        book.AddTail(psz);
    CFakeEthers ethers;
    ethers.hosts["printer"] = {0xAB, 0, 0, 0, 0, 0x0F};
    ethers.hosts["nas"] = {1, 1, 1, 1, 1, 1};
    const struct {
        const char* pszText;
        EHostSource source;
        const char* pszName;
        const char* pszIp;
        const char* pszMac;
    } cases[] = {
        {"0a:00:00:00:00:02", EHostSource::Address, "nas", "10.0.0.2", "0A0000000002"},
        {"0a0000000009", EHostSource::Address, "", "", "0A0000000009"},
        {"0A0000000004", EHostSource::Address, "0A0000000009", "10.0.0.9", "0A0000000004"},
        {"nas", EHostSource::AddressBook, "nas", "10.0.0.2", "0a0000000002"},
        {"noaddress", EHostSource::AddressBook, "noaddress", "", ""},
        {"printer", EHostSource::Ethers, "printer", "", "AB000000000F"},
        {"PRINTER", EHostSource::NotFound, "", "", ""},
    };
    for (const auto& c : cases) {
        const CHostMatch match = LookUpHost(c.pszText, book, ethers);
        EXPECT_EQ(std::tuple(match.source, match.strName, match.strIp, match.strMac),
                  std::tuple(c.source, c.pszName, c.pszIp, c.pszMac))
            << c.pszText;
    }
}

}  // namespace
