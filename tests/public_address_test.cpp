// Which addresses an exchange to a peer-chosen link may reach.
#include "net/public_address.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

struct AddressCase {
    const char* text;
    bool isPublic;
};

class PublicAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(PublicAddress, OnlyAddressesOnThePublicInternetPass) {
    EXPECT_EQ(GetParam().isPublic, IsPublicAddressText(GetParam().text)) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PublicAddress,
    ::testing::Values(
        AddressCase{"93.184.216.34", true}, AddressCase{"203.0.113.11", true},
        AddressCase{"8.8.8.8", true}, AddressCase{"100.63.255.255", true},
        AddressCase{"100.128.0.0", true}, AddressCase{"172.15.255.255", true},
        AddressCase{"172.32.0.0", true}, AddressCase{"223.255.255.255", true},
        AddressCase{"0.0.0.0", false}, AddressCase{"0.1.2.3", false},
        AddressCase{"127.0.0.1", false}, AddressCase{"127.0.0.2", false},
        AddressCase{"10.1.2.3", false}, AddressCase{"172.16.0.1", false},
        AddressCase{"172.31.255.255", false}, AddressCase{"192.168.1.1", false},
        AddressCase{"100.64.0.1", false}, AddressCase{"100.127.255.255", false},
        AddressCase{"169.254.169.254", false}, AddressCase{"224.0.0.1", false},
        AddressCase{"239.255.255.250", false}, AddressCase{"240.0.0.1", false},
        AddressCase{"255.255.255.255", false}, AddressCase{"2001:db8::1", true},
        AddressCase{"[2606:4700::1111]", true}, AddressCase{"2001:4860:4860:0:0:0:0:8888", true},
        AddressCase{"::", false}, AddressCase{"::1", false}, AddressCase{"[::1]", false},
        AddressCase{"0:0:0:0:0:0:0:1", false}, AddressCase{"fc00::1", false},
        AddressCase{"fd12:3456::1", false}, AddressCase{"fe80::1", false},
        AddressCase{"fe80::1%eth0", false}, AddressCase{"fec0::1", false},
        AddressCase{"ff02::1", false}, AddressCase{"::ffff:127.0.0.1", false},
        AddressCase{"::ffff:7f00:1", false}, AddressCase{"::ffff:93.184.216.34", true},
        AddressCase{"::127.0.0.1", false}, AddressCase{"64:ff9b::10.0.0.1", false},
        AddressCase{"2002:c0a8:0101::1", false}, AddressCase{"2002:5db8:d822::1", true},
        // Anything that is no numeric address in the forms the layers report.
        AddressCase{"", false}, AddressCase{"localhost", false}, AddressCase{"127.1", false},
        AddressCase{"0x7f.0.0.1", false}, AddressCase{"1.2.3.4.5", false},
        AddressCase{"256.1.1.1", false}, AddressCase{"1::2::3", false},
        AddressCase{"1:2:3:4:5:6:7:8:9", false}, AddressCase{"12345::", false}));

TEST(PublicAddress, TheHostOfAnAddressIsWhatIsChecked) {
    const std::pair<std::string, std::string> cases[] = {
        {"https://rdap.example/domain/a.com", "rdap.example"},
        {"https://rdap.example:8443/x", "rdap.example"},
        {"https://[::1]:443/x", "::1"},
        {"https://[fe80::1%25eth0]/", "fe80::1%25eth0"},
        {"https://user@127.0.0.1/", "127.0.0.1"},
        {"https://a.example?x=1", "a.example"},
        {"https://", ""},
        {"https://[::1/", ""},
        {"rdap.example/x", ""},
    };
    for (const auto& item : cases) EXPECT_EQ(item.second, HostOfUrl(item.first)) << item.first;
}

}  // namespace
