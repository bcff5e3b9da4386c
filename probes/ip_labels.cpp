#include "probes/ip_labels.h"

#include <cctype>
#include <string>
#include <vector>

#include "platform/file_read.h"
#include "platform/ipv4_parse.h"
#include "platform/program_path.h"
#include "platform/utf8_gbk.h"
#include "probes/ip_label_rules.h"
#include "probes/ip_region_db.h"

namespace {

const char kDatabaseFile[] = "ip2region.db";
// The shipped file is under 9 MB; anything far larger is not it.
const size_t kDatabaseMaxBytes = 64u << 20;

const char kLocalLabel[] = "局域网";
const char kUnknownLabel[] = "未知";

// Loaded at the first label asked for and kept for the life of the program; a missing
// or damaged file leaves it empty, and every address outside the local ranges is then
// unknown.
const CIpRegionDb& ShippedDatabase() {
    static const CIpRegionDb db = [] {
        CIpRegionDb loaded;
        std::string bytes;
        std::string error;
        const CFilePath path = GetExecutableDirectory() + kDatabaseFile;
        if (!ReadWholeFile(path, kDatabaseMaxBytes, &bytes).Failed())
            loaded.Load(std::move(bytes), &error);
        return loaded;
    }();
    return db;
}

std::vector<std::string> SplitFields(const std::string& record) {
    std::vector<std::string> fields(1);
    for (char c : record) {
        if (c == '|') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace

// The record's country, province, city and carrier, without the region (a part of the
// country larger than a province) and without the fields it leaves unknown ("0").
CString LabelOfRecord(const std::string& record) {
    const std::vector<std::string> fields = SplitFields(record);
    std::string label;
    for (size_t i = 0; i < fields.size() && i < 5; ++i) {
        if (i == 1 || fields[i].empty() || fields[i] == "0") continue;
        if (fields[i] == u8"内网IP") return kLocalLabel;  // the file's own word for it
        if (!label.empty()) label += ' ';
        label += fields[i];
    }
    return label.empty() ? CString(kUnknownLabel) : CString(Utf8ToGbkLossy(label));
}

CString IpLabelFrom(const CIpRegionDb& db, const CString& address) {
    uint32_t v4 = 0;
    const EAddressScope scope = ScopeOfAddress(address, &v4);
    if (scope == EAddressScope::kLocal) return kLocalLabel;
    if (scope != EAddressScope::kPublicIPv4 || !db.IsLoaded()) return kUnknownLabel;
    const std::string record = db.Lookup(v4);
    return record.empty() ? CString(kUnknownLabel) : LabelOfRecord(record);
}

CString IpLabelFor(const CString& address) { return IpLabelFrom(ShippedDatabase(), address); }

CString IpDatabaseDate() { return CString(ShippedDatabase().Date()); }
