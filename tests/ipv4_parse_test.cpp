#include <gtest/gtest.h>

#include "platform/ipv4_parse.h"

TEST(ClassicIPv4Parser, AcceptsOneToFourPartsInEveryBase) {
    EXPECT_EQ(0x7F000001u, ParseClassicIPv4("127.0.0.1"));
    EXPECT_EQ(0x7F000001u, ParseClassicIPv4("127.1"));
    EXPECT_EQ(0x7F000001u, ParseClassicIPv4("127.0.1"));
    EXPECT_EQ(0x7F000001u, ParseClassicIPv4("2130706433"));
    EXPECT_EQ(0x7F000001u, ParseClassicIPv4("0x7f.1"));
    EXPECT_EQ(0x0A000008u, ParseClassicIPv4("012.010"));
    EXPECT_EQ(5u, ParseClassicIPv4("5"));
    EXPECT_EQ(0u, ParseClassicIPv4("0"));
}

TEST(ClassicIPv4Parser, RejectsWhatIsNoAddress) {
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4(""));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("abc"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("1.2.3.4.5"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("256.1.1.1"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("1.2.3.256"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("1.2.65536"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("08"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("1..2"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("1.2.3."));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("1.2.3.4x"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("4294967296"));
    // The broadcast address parses to the same value as a failure.
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4("255.255.255.255"));
}

TEST(ClassicIPv4Parser, TrailingWhiteSpaceEndsTheAddress) {
    EXPECT_EQ(0x01020304u, ParseClassicIPv4("1.2.3.4 rest"));
    EXPECT_EQ(kInvalidIPv4, ParseClassicIPv4(" 1.2.3.4"));
}
