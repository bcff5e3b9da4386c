#include "model/report_vocabulary.h"

#include <cstdio>

const char kReportBanner[] = "======================= 开始检测 =======================\r\n";
const char kDiagnosisBlockName[] = "诊断结论";

namespace {

// Run order. Step 13 reads the public address of step 2 (the reverse-trace line) and step
// 15 the Date header of step 9 (the clock check); the others read nothing earlier.
const CStepEntry kSteps[] = {
    {EReportStep::kWhois, 1, "获取域名信息", ""},
    {EReportStep::kPublicIp, 2, "获取公网IP", ""},
    {EReportStep::kIpconfig, 3, "获取本地网络信息", ""},
    {EReportStep::kFlushDns, 4, "刷新DNS缓存", ""},
    {EReportStep::kFtpPort, 5, "检测FTP（21）端口", ""},
    {EReportStep::kHttpPort, 6, "检测HTTP（80）端口", ""},
    {EReportStep::kPing, 7, "Ping命令", ""},
    {EReportStep::kTracert, 8, "Tracert命令", ""},
    {EReportStep::kWebsite, 9, "检测网站访问状态", ""},
    {EReportStep::kDnsAnswers, 10, "DNS解析", ""},
    {EReportStep::kHttps, 11, "HTTPS访问及证书", ""},
    {EReportStep::kIpv6, 12, "IPv6连通性", ""},
    {EReportStep::kPathStatistics, 13, "路由逐跳统计", "2"},
    {EReportStep::kEgress, 14, "出口IP与DNS", ""},
    {EReportStep::kEnvironment, 15, "代理与本机网络环境", "9"},
    {EReportStep::kDiagnosis, 16, kDiagnosisBlockName, ""},
};

// Every sentence the steps print as a judgement of their own. A sentence that begins as
// another one does comes first ("相差不超过60秒" before "相差%s秒").
const CVerdict kVerdicts[] = {
    // The egress step: what the system's DNS answered beside the public servers.
    {"dns-system-fake-ip", "本机DNS返回了198.18.0.0/15中的地址，这是代理软件fake-ip模式的特征"},
    {"dns-system-denies", "本机DNS说域名不存在，而公共DNS有结果，疑似DNS劫持或污染"},
    {"dns-system-private", "本机DNS返回了内网或保留地址"},
    {"dns-answers-differ", "解析结果因DNS服务器而异（使用CDN按地区调度时属正常）"},
    {"dns-answers-agree", "各DNS服务器的解析结果一致"},
    {"egress-no-agreement", "没有两个来源给出相同的地址"},
    {"egress-no-ipv6", "本机没有IPv6公网地址，未查询"},
    // The web site step, when the site gave no answer: the name was not found, no
    // connection came about or was cut, or some other failure.
    {"web-name-not-found", "Visit WebSite Address:%s"},
    {"web-unreachable", "无法访问网站%s"},
    // The DNS step.
    {"dns-name-missing", "域名不存在"},
    {"dns-no-address", "没有A或AAAA记录"},
    // The HTTPS step's certificate.
    {"cert-unreadable", "未能读取服务器证书"},
    {"cert-expired", "证书已过期"},
    {"cert-not-yet-valid", "证书尚未生效"},
    {"cert-days-left", "证书将于%s天后过期"},
    {"cert-trusted", "证书受系统信任"},
    {"cert-untrusted", "证书不受信任"},
    {"cert-name-match", "证书与域名匹配"},
    {"cert-name-mismatch", "证书与域名不匹配"},
    // The IPv6 step.
    {"ipv6-none", "该域名没有IPv6地址"},
    {"ipv6-lookup-timeout", "AAAA记录查询超时"},
    {"ipv6-lookup-failed", "AAAA记录查询失败"},
    // The environment step.
    {"proxy-unreadable", "无法读取代理设置"},
    {"proxy-none", "未设置代理"},
    {"hosts-unreadable", "无法读取hosts文件"},
    {"hosts-none", "hosts文件中没有该域名"},
    {"vpn-none", "没有已启用的虚拟网卡"},
    {"route-unresolved", "无法确定访问该网站的路由：域名无法解析"},
    {"route-unknown", "无法确定访问该网站（%s）的路由"},
    {"route-vpn", "访问该网站的流量经过虚拟网卡%s"},
    {"route-adapter", "访问该网站的流量经过网卡%s"},
    {"clock-no-date", "网站的回答中没有可用的Date头，无法核对本机时间"},
    {"clock-in-step", "本机时间与服务器相差不超过60秒"},
    {"clock-skew", "本机时间与服务器相差%s秒"},
};

bool Matches(const CVerdict& verdict, std::string_view line) {
    const std::string_view sentence(verdict.sentence);
    const size_t hole = sentence.find("%s");
    if (hole == std::string_view::npos) return line == sentence;
    const std::string_view head = sentence.substr(0, hole), tail = sentence.substr(hole + 2);
    return line.size() > head.size() + tail.size() && line.compare(0, head.size(), head) == 0 &&
           line.compare(line.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

const CStepEntry* StepEntry(EReportStep step) {
    for (const CStepEntry& entry : kSteps)
        if (entry.step == step) return &entry;
    return nullptr;
}

EReportStep StepOfName(std::string_view name) {
    for (const CStepEntry& entry : kSteps)
        if (name == entry.name) return entry.step;
    return EReportStep::kUnknown;
}

EReportStep StepOfNumber(int number) {
    for (const CStepEntry& entry : kSteps)
        if (entry.number == number && entry.step != EReportStep::kDiagnosis) return entry.step;
    return EReportStep::kUnknown;
}

std::string StepHeader(int number, std::string_view name, std::string_view time) {
    return "\r\n第" + std::to_string(number) + "步---" + std::string(name) + "：" +
           std::string(time) + "\r\n";
}

std::string StepSeparator() { return "\r\n \r\n" + std::string(69, '*'); }

std::string StepStamp(int year, int month, int day, int hour, int minute, int second) {
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%2d-%2d %2d:%2d:%2d", year, month, day, hour, minute,
                  second);
    return text;
}

const CVerdict* VerdictById(std::string_view id) {
    for (const CVerdict& verdict : kVerdicts)
        if (id == verdict.id) return &verdict;
    return nullptr;
}

const CVerdict* VerdictOfLine(std::string_view line) {
    for (const CVerdict& verdict : kVerdicts)
        if (Matches(verdict, line)) return &verdict;
    return nullptr;
}

std::string VerdictText(std::string_view id, std::string_view value) {
    const CVerdict* verdict = VerdictById(id);
    if (!verdict) return std::string();
    std::string text = verdict->sentence;
    const size_t hole = text.find("%s");
    if (hole != std::string::npos) text.replace(hole, 2, std::string(value));
    return text;
}

std::string VerdictValue(const CVerdict& verdict, std::string_view line) {
    const std::string_view sentence(verdict.sentence);
    const size_t hole = sentence.find("%s");
    if (hole == std::string_view::npos || !Matches(verdict, line)) return std::string();
    const size_t tail = sentence.size() - hole - 2;
    return std::string(line.substr(hole, line.size() - hole - tail));
}
