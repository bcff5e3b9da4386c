#include "probes/ip_labels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_read.h"
#include "probes/ip_label_rules.h"
#include "probes/ip_region_db.h"
#include "tests/test_support.h"

namespace {

void PutWord(std::string* bytes, size_t at, uint32_t value) {
    if (bytes->size() < at + 4) bytes->resize(at + 4, '\0');
    for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

struct CEntry {
    uint32_t first;
    uint32_t last;
    std::string record;  // UTF-8, after the city number
};

// A database laid out as the shipped one: head, records, index, made-on line.
std::string MakeDatabase(const std::vector<CEntry>& entries, const std::string& trailer) {
    std::string bytes(8, '\0');
    std::vector<uint32_t> pointers;
    for (const CEntry& e : entries) {
        const size_t at = bytes.size();
        PutWord(&bytes, at, 1234);
        bytes += e.record;
        pointers.push_back(static_cast<uint32_t>((e.record.size() + 4) << 24 | at));
    }
    const size_t first = bytes.size();
    for (size_t i = 0; i < entries.size(); ++i) {
        PutWord(&bytes, bytes.size(), entries[i].first);
        PutWord(&bytes, bytes.size(), entries[i].last);
        PutWord(&bytes, bytes.size(), pointers[i]);
    }
    PutWord(&bytes, 0, static_cast<uint32_t>(first));
    PutWord(&bytes, 4, static_cast<uint32_t>(bytes.size() - 12));
    return bytes + trailer;
}

uint32_t V4(int a, int b, int c, int d) {
    return uint32_t(a) << 24 | uint32_t(b) << 16 | uint32_t(c) << 8 | uint32_t(d);
}

const std::vector<CEntry> kEntries = {
    {V4(0, 0, 0, 0), V4(1, 0, 0, 255), u8"0|0|0|内网IP|内网IP"},
    {V4(1, 0, 1, 0), V4(61, 140, 255, 255), u8"中国|0|广东省|广州市|电信"},
    {V4(61, 141, 0, 0), V4(99, 0, 0, 0), u8"美国|0|0|0|Level3"},
    {V4(99, 0, 0, 1), V4(255, 255, 255, 255), u8"0|0|0|0|0"},
};

CIpRegionDb Loaded(std::string bytes) {
    CIpRegionDb db;
    std::string error;
    EXPECT_TRUE(db.Load(std::move(bytes), &error)) << error;
    return db;
}

TEST(IpLabelTest, LabelsFromTheDatabase) {
    const CIpRegionDb db = Loaded(MakeDatabase(kEntries,
                                               "\x90"
                                               "Created by test at 2020/10/31"));
    const std::pair<const char*, const char*> cases[] = {
        {"61.140.0.1", "中国 广东省 广州市 电信"},
        {"1.0.1.0", "中国 广东省 广州市 电信"},
        {"61.140.255.255", "中国 广东省 广州市 电信"},
        {"61.141.0.0", "美国 Level3"},
        {"99.0.0.0", "美国 Level3"},
        {"99.0.0.1", "未知"},   // every field unknown
        {"1.0.0.7", "局域网"},  // the file's own word for a reserved range
        {"::ffff:61.140.0.1", "中国 广东省 广州市 电信"},
        {"2400:da00::6666", "未知"},  // the file holds IPv4 only
        {"192.168.1.1", "局域网"},
        {"not an address", "未知"},
    };
    for (const auto& c : cases) EXPECT_EQ(IpLabelFrom(db, c.first), CString(c.second)) << c.first;
    EXPECT_EQ(db.Date(), "2020/10/31");
    EXPECT_EQ(Loaded(MakeDatabase(kEntries, "no date")).Date(), "");
}

TEST(IpLabelTest, LocalRangesNeedNoDatabase) {
    const std::pair<const char*, EAddressScope> cases[] = {
        {"10.1.2.3", EAddressScope::kLocal},
        {"172.16.0.1", EAddressScope::kLocal},
        {"172.31.255.255", EAddressScope::kLocal},
        {"172.32.0.1", EAddressScope::kPublicIPv4},
        {"192.168.1.1", EAddressScope::kLocal},
        {"192.169.0.1", EAddressScope::kPublicIPv4},
        {"127.0.0.1", EAddressScope::kLocal},
        {"169.254.9.9", EAddressScope::kLocal},
        {"100.64.0.1", EAddressScope::kLocal},
        {"100.127.255.255", EAddressScope::kLocal},
        {"100.63.255.255", EAddressScope::kPublicIPv4},
        {"100.128.0.0", EAddressScope::kPublicIPv4},
        {"fe80::1", EAddressScope::kLocal},
        {"FEBF::1%eth0", EAddressScope::kLocal},
        {"fd12:3456::1", EAddressScope::kLocal},
        {"::1", EAddressScope::kLocal},
        {"::ffff:10.0.0.1", EAddressScope::kLocal},
        {"2001:db8::1", EAddressScope::kOther},
        {"fec0::1", EAddressScope::kOther},
        {"1.2.3", EAddressScope::kOther},
        {"256.1.1.1", EAddressScope::kOther},
        {"1.2.3.4.5", EAddressScope::kOther},
        {"01234.1.1.1", EAddressScope::kOther},
        {"", EAddressScope::kOther},
    };
    for (const auto& c : cases) {
        uint32_t value = 0;
        EXPECT_EQ(ScopeOfAddress(c.first, &value), c.second) << c.first;
    }
    const CIpRegionDb none;
    EXPECT_EQ(IpLabelFrom(none, "10.0.0.1"), CString("局域网"));
    EXPECT_EQ(IpLabelFrom(none, "61.140.0.1"), CString("未知"));
}

TEST(IpLabelTest, RefusesDamagedFiles) {
    const std::string good = MakeDatabase(kEntries, "");
    std::string firstPastEnd = good;
    PutWord(&firstPastEnd, 0, static_cast<uint32_t>(good.size() + 100));
    std::string lastPastEnd = good;
    PutWord(&lastPastEnd, 4, static_cast<uint32_t>(good.size() - 6));
    std::string lastBeforeFirst = good;
    PutWord(&lastBeforeFirst, 4, 8);
    std::string misaligned = good;
    PutWord(&misaligned, 4, static_cast<uint32_t>(good.size() - 13));
    std::string headInIndex = good;
    PutWord(&headInIndex, 0, 0);
    const std::vector<CEntry> reversed = {kEntries[2], kEntries[1]};
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"cut short", good.substr(0, 10)},
        {"index past the end", firstPastEnd},
        {"last entry past the end", lastPastEnd},
        {"last entry before the first", lastBeforeFirst},
        {"index not in whole entries", misaligned},
        {"index over the head", headInIndex},
        {"index out of order", MakeDatabase(reversed, "")},
    };
    for (const auto& c : cases) {
        CIpRegionDb db;
        std::string error;
        EXPECT_FALSE(db.Load(c.second, &error)) << c.first;
        EXPECT_FALSE(error.empty()) << c.first;
        EXPECT_FALSE(db.IsLoaded()) << c.first;
        EXPECT_EQ(IpLabelFrom(db, "61.140.0.1"), CString("未知")) << c.first;
    }
}

TEST(IpLabelTest, RecordsPointingOutsideTheFileAreUnknown) {
    std::string bytes = MakeDatabase(kEntries, "");
    const uint32_t index = static_cast<uint32_t>(static_cast<unsigned char>(bytes[0]) |
                                                 static_cast<unsigned char>(bytes[1]) << 8);
    PutWord(&bytes, index + 12 + 8, 0xFF000000u | static_cast<uint32_t>(bytes.size() - 10));
    const CIpRegionDb db = Loaded(bytes);
    EXPECT_EQ(IpLabelFrom(db, "61.140.0.1"), CString("未知"));
    EXPECT_EQ(IpLabelFrom(db, "61.141.0.0"), CString("美国 Level3"));
}

// The database the build fetched, when it did: a few addresses whose place is well known.
TEST(IpLabelTest, ShippedDatabaseKnowsWellKnownAddresses) {
    std::string bytes;
    if (ReadWholeFile(TEST_BINARY_DIR "/ip2region.db", 64u << 20, &bytes).Failed()) {
        GTEST_SKIP() << "no ip2region.db in the build folder";
    }
    const CIpRegionDb db = Loaded(bytes);
    EXPECT_EQ(IpLabelFrom(db, "61.140.0.1"), CString("中国 广东省 广州市 电信"));
    EXPECT_EQ(IpLabelFrom(db, "223.5.5.5"), CString("中国 浙江省 杭州市 阿里云"));
    EXPECT_EQ(IpLabelFrom(db, "59.66.1.1"), CString("中国 北京 北京市 教育网"));
    EXPECT_EQ(IpLabelFrom(db, "8.8.8.8"), CString("美国 Level3"));
    EXPECT_EQ(db.Date(), "2020/10/31");
}

}  // namespace
