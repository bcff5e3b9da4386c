#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <windns.h>

#include <vector>

#include "platform/dns_records.h"

namespace {

using DnsQueryFunction = DNS_STATUS(WINAPI*)(PCSTR, WORD, DWORD, PVOID, PDNS_RECORD*, PVOID*);
using DnsFreeFunction = VOID(WINAPI*)(PVOID, DNS_FREE_TYPE);
using DnsQueryConfigFunction = DNS_STATUS(WINAPI*)(DNS_CONFIG_TYPE, DWORD, PCWSTR, PVOID, PVOID,
                                                    PDWORD);

// dnsapi is taken from the system folder only, never from the program's folder, where a
// file of that name could have been planted; it is not imported for the same reason.
struct CDnsApi {
    CDnsApi() {
        HMODULE module = LoadLibraryExW(L"dnsapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module) return;
        query = reinterpret_cast<DnsQueryFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "DnsQuery_A")));
        free = reinterpret_cast<DnsFreeFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "DnsFree")));
        queryConfig = reinterpret_cast<DnsQueryConfigFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "DnsQueryConfig")));
    }
    DnsQueryFunction query = nullptr;
    DnsFreeFunction free = nullptr;
    DnsQueryConfigFunction queryConfig = nullptr;
};

const CDnsApi& DnsApi() {
    static const CDnsApi api;
    return api;
}

CString AddressText(int family, const void* data) {
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(family, const_cast<void*>(data), text, sizeof text)) return CString();
    return CString(text);
}

bool ReadRecord(const DNS_RECORD& entry, CDnsRecord* record) {
    if (entry.Flags.S.Section != DnsSectionAnswer) return false;
    record->owner = CString(reinterpret_cast<const char*>(entry.pName));
    record->ttl = entry.dwTtl;
    if (entry.wType == DNS_TYPE_A) {
        record->type = EDnsType::kA;
        record->value = AddressText(AF_INET, &entry.Data.A.IpAddress);
    } else if (entry.wType == DNS_TYPE_AAAA) {
        record->type = EDnsType::kAaaa;
        record->value = AddressText(AF_INET6, &entry.Data.AAAA.Ip6Address);
    } else if (entry.wType == DNS_TYPE_CNAME) {
        record->type = EDnsType::kCname;
        record->value = CString(reinterpret_cast<const char*>(entry.Data.CNAME.pNameHost));
    } else {
        return false;
    }
    return true;
}

EPlatformError FailureOf(DNS_STATUS status) {
    switch (status) {
        case DNS_ERROR_RCODE_NAME_ERROR:
            return EPlatformError::kNotFound;
        case DNS_INFO_NO_RECORDS:
            return EPlatformError::kNone;
        case ERROR_TIMEOUT:
        case DNS_ERROR_RCODE_SERVER_FAILURE:
            return EPlatformError::kTimedOut;
        default:
            return EPlatformError::kOther;
    }
}

// servers: an IP4_ARRAY of the servers to ask instead of the system's, or null.
CDnsAnswer QueryWithServers(const CString& asciiHost, EDnsType type, void* servers) {
    CDnsAnswer answer;
    const CDnsApi& api = DnsApi();
    if (!api.query || !api.free) {
        answer.failure = EPlatformError::kOther;
        return answer;
    }
    PDNS_RECORD list = nullptr;
    const WORD wanted = type == EDnsType::kAaaa ? DNS_TYPE_AAAA : DNS_TYPE_A;
    // Straight to the servers: the system's cache would hide a change just made.
    const DNS_STATUS status = api.query(asciiHost.GetString(), wanted,
                                        DNS_QUERY_BYPASS_CACHE | DNS_QUERY_NO_HOSTS_FILE,
                                        servers, &list, nullptr);
    if (status != 0) {
        answer.failure = FailureOf(status);
    } else {
        for (const DNS_RECORD* entry = list; entry; entry = entry->pNext) {
            CDnsRecord record;
            if (ReadRecord(*entry, &record)) answer.records.push_back(record);
        }
    }
    if (list) api.free(list, DnsFreeRecordList);
    return answer;
}

}  // namespace

CDnsAnswer QueryDnsBlocking(const CString& asciiHost, EDnsType type) {
    return QueryWithServers(asciiHost, type, nullptr);
}

// DnsQuery_A asks the listed server on port 53 and no other; its own retries run out
// on their own time, which the caller bounds.
CDnsAnswer QueryDnsServerBlocking(const CString& server, int port, const CString& asciiHost,
                                  EDnsType type, int /*timeoutMs*/) {
    IP4_ARRAY servers = {};
    servers.AddrCount = 1;
    if (port != 53 || inet_pton(AF_INET, server.GetString(), &servers.AddrArray[0]) != 1) {
        CDnsAnswer answer;
        answer.failure = EPlatformError::kOther;
        return answer;
    }
    return QueryWithServers(asciiHost, type, &servers);
}

std::vector<CString> ReadDnsServersBlocking() {
    std::vector<CString> servers;
    const CDnsApi& api = DnsApi();
    if (!api.queryConfig) return servers;
    DWORD size = 0;
    if (api.queryConfig(DnsConfigDnsServerList, 0, nullptr, nullptr, nullptr, &size) != 0 ||
        size < sizeof(IP4_ARRAY)) {
        return servers;
    }
    std::vector<unsigned char> buffer(size);
    if (api.queryConfig(DnsConfigDnsServerList, 0, nullptr, nullptr, buffer.data(), &size) != 0)
        return servers;
    const auto* array = reinterpret_cast<const IP4_ARRAY*>(buffer.data());
    const size_t room = (size - offsetof(IP4_ARRAY, AddrArray)) / sizeof(IP4_ADDRESS);
    for (DWORD i = 0; i < array->AddrCount && i < room; ++i)
        servers.push_back(AddressText(AF_INET, &array->AddrArray[i]));
    return servers;
}
