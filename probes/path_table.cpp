#include "probes/path_table.h"

#include <algorithm>
#include <cmath>

namespace {

// Addresses shorter than this are padded to it, so IPv4 tables line up with the header.
const int kAddressWidth = 17;

const char kColumnsAfterAddress[] = "丢包率  已发送   最近    平均    最好    最差  标准差  位置";

double StandardDeviation(const CPathAddress& a) {
    if (a.received == 0) return 0;
    const double mean = a.sumMs / a.received;
    const double variance = a.sumSquaresMs / a.received - mean * mean;
    return variance > 0 ? std::sqrt(variance) : 0;
}

int AddressWidth(const CPathTrace& trace) {
    size_t width = kAddressWidth;
    for (const CPathProbeHop& hop : trace.hops) {
        for (const CPathAddress& a : hop.addresses) width = std::max(width, a.address.size());
    }
    return static_cast<int>(width);
}

CString HeaderLine(int addressWidth) {
    // "跳数  地址" is ten columns wide; the loss column starts one blank after the address
    // column, which starts at column six.
    return CString("跳数  地址") + CString(std::string(addressWidth - 3, ' ')) +
           kColumnsAfterAddress + "\r\n";
}

CString TimesAndLabel(const CPathAddress& a) {
    CString text;
    text.Format("%7.1f %7.1f %7.1f %7.1f %7.1f  %s", a.lastMs, a.sumMs / a.received, a.bestMs,
                a.worstMs, StandardDeviation(a), a.label.GetString());
    return text;
}

CString HopLines(int ttl, const CPathProbeHop& hop, int addressWidth) {
    CString text;
    const double loss = hop.sent > 0 ? 100.0 * (hop.sent - hop.Received()) / hop.sent : 0;
    if (hop.addresses.empty()) {
        text.Format("%3d.  %-*s %5.1f%% %7d\r\n", ttl, addressWidth, "???", loss, hop.sent);
        return text;
    }
    for (size_t i = 0; i < hop.addresses.size(); ++i) {
        const CPathAddress& a = hop.addresses[i];
        CString line;
        if (i == 0) {
            line.Format("%3d.  %-*s %5.1f%% %7d", ttl, addressWidth, a.address.c_str(), loss,
                        hop.sent);
        } else {
            // Another router of a balanced hop: its own times, under the hop's figures.
            line.Format("      %-*s %6s %7s", addressWidth, a.address.c_str(), "", "");
        }
        text += line + TimesAndLabel(a) + "\r\n";
    }
    return text;
}

}  // namespace

void CPathAddress::Add(double rttMs) {
    bestMs = received == 0 ? rttMs : std::min(bestMs, rttMs);
    worstMs = received == 0 ? rttMs : std::max(worstMs, rttMs);
    lastMs = rttMs;
    sumMs += rttMs;
    sumSquaresMs += rttMs * rttMs;
    ++received;
}

int CPathProbeHop::Received() const {
    int total = 0;
    for (const CPathAddress& a : addresses) total += a.received;
    return total;
}

void CPathProbeHop::Answer(const std::string& from, double rttMs, const CString& label) {
    for (CPathAddress& a : addresses) {
        if (a.address == from) return a.Add(rttMs);
    }
    CPathAddress added;
    added.address = from;
    added.label = label;
    added.Add(rttMs);
    addresses.push_back(added);
}

CString FormatPathTable(const CPathTrace& trace) {
    CString text;
    text.Format("路由逐跳统计：%s [%s]，%d轮，每轮间隔%d秒\r\n", trace.domain.GetString(),
                trace.target.c_str(), trace.rounds, trace.intervalSeconds);
    const int width = AddressWidth(trace);
    text += HeaderLine(width);
    for (size_t i = 0; i < trace.hops.size(); ++i) {
        text += HopLines(static_cast<int>(i) + 1, trace.hops[i], width);
    }
    return text;
}

CString ReverseTraceLine(const CString& publicAddress) {
    if (publicAddress.IsEmpty()) return CString();
    return "请服务商在服务器上对本机公网IP执行：mtr -rwzbc100 " + publicAddress + "\r\n";
}
