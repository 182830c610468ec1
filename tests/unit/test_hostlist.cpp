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

// A host by what was typed: an address form, the book's first matching name
// (a Latin-1 name by the characters it shows too), an IPv4 address (the
// book's entry, else the neighbour table's hardware address), the ethers
// database, the resolver.
TEST(HostLookUp, EachFormInItsOrder)
{
    CSetList book;
    for (const char* psz :
         {"B\xFCro 10.0.0.1 0A0000000001", "nas 10.0.0.2 0a0000000002", "NAS 10.0.0.3 0A0000000003",
          "0A0000000009 10.0.0.9 0A0000000004", "10.0.0.7 10.0.0.8 0A0000000007"})
        book.AddTail(psz);
    CFakeEthers ethers;
    ethers.hosts["printer"] = {0xAB, 0, 0, 0, 0, 0x0F};
    ethers.hosts["nas"] = {1, 1, 1, 1, 1, 1};
    CFakeResolver resolver;
    resolver.forward["printer"] = resolver.forward["gamebox"] = {"", {NetAddr("10.0.0.3")}};
    resolver.forward["tv"] = {"", {NetAddr("10.0.0.5")}};
    CFakeNeighbours neighbours;
    neighbours.rows = {Row("10.0.0.5", {2, 0, 0, 0, 0, 5})};
    const CHostFinder finder(book, "/b.ini", {&ethers, &resolver, &neighbours});
    using E = EHostSource;
    const std::tuple<const char*, E, const char*, const char*, const char*> cases[] = {
        {"0a:00:00:00:00:02", E::Address, "nas", "10.0.0.2", "0A0000000002"},
        {"0A0000000004", E::Address, "0A0000000009", "10.0.0.9", "0A0000000004"},
        {"nas", E::AddressBook, "nas", "10.0.0.2", "0a0000000002"},
        {"b\xC3\xBCRO", E::AddressBook, "B\xFCro", "10.0.0.1", "0A0000000001"},
        {"10.0.0.7", E::AddressBook, "10.0.0.7", "10.0.0.8", "0A0000000007"},
        {"10.0.0.3", E::IpAddress, "NAS", "10.0.0.3", "0A0000000003"},
        {"10.0.0.5", E::IpAddress, "", "10.0.0.5", "020000000005"},
        {"printer", E::Ethers, "printer", "", "AB000000000F"},
        {"gamebox", E::Resolver, "NAS", "10.0.0.3", "0A0000000003"},
        {"tv", E::Resolver, "tv", "10.0.0.5", "020000000005"},
    };
    for (const auto& [pszText, source, pszName, pszIp, pszMac] : cases) {
        const CHostMatch match = finder.Find(pszText);
        EXPECT_EQ(std::tuple(match.source, match.strName, match.strIp, match.strMac),
                  std::tuple(source, pszName, pszIp, pszMac))
            << pszText;
    }
    EXPECT_EQ(finder.Find("x").strWhy,
              "no such host: not a hardware address, no name in the address book /b.ini, not an "
              "IPv4 address, none in the ethers database, and no name the resolver knows");
}

}  // namespace
