#include <ctime>

#include "platform/host_name.h"
#include "probes/extended_checks.h"
#include "probes/http_failure_text.h"
#include "probes/verdict_line.h"

namespace {

const long long kSecondsPerDay = 24 * 60 * 60;

// Days from 1970-01-01 to a civil date's year, month and day (proleptic Gregorian).
void CivilFromDays(long long days, int* year, unsigned* month, unsigned* day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    *month = shifted < 10 ? shifted + 3 : shifted - 9;
    *year = static_cast<int>(yearOfEra + era * 400) + (*month <= 2 ? 1 : 0);
}

// "2027-01-31 23:59:59 UTC": the same on every system, whatever its time zone.
CString UtcText(long long unixSeconds) {
    long long days = unixSeconds / kSecondsPerDay;
    long long rest = unixSeconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, &year, &month, &day);
    CString text;
    text.Format("%04d-%02u-%02u %02lld:%02lld:%02lld UTC", year, month, day, rest / 3600,
                rest / 60 % 60, rest % 60);
    return text;
}

CString ValidityLine(const CServerCertificate& certificate, long long nowUnix) {
    if (certificate.notAfter <= nowUnix) return VerdictLine("cert-expired");
    if (certificate.notBefore > nowUnix) return VerdictLine("cert-not-yet-valid");
    return VerdictLine("cert-days-left",
                       std::to_string((certificate.notAfter - nowUnix) / kSecondsPerDay));
}

bool CertificateIsGood(const CServerCertificate& certificate, long long nowUnix) {
    return certificate.present && certificate.trusted && certificate.nameMatches &&
           certificate.notBefore <= nowUnix && nowUnix < certificate.notAfter;
}

}  // namespace

CString FormatCertificate(const CServerCertificate& certificate, long long nowUnix) {
    if (!certificate.present) return VerdictLine("cert-unreadable");
    CString text = "证书主题：" + certificate.subject + "\r\n";
    if (!certificate.dnsNames.empty()) {
        text += "证书备用名称：";
        for (size_t i = 0; i < certificate.dnsNames.size(); ++i)
            text += (i ? "、" : "") + certificate.dnsNames[i];
        text += "\r\n";
    }
    text += "证书颁发者：" + certificate.issuer + "\r\n";
    text += "有效期自：" + UtcText(certificate.notBefore) + "\r\n";
    text += "有效期至：" + UtcText(certificate.notAfter) + "\r\n";
    text += ValidityLine(certificate, nowUnix);
    text += VerdictLine(certificate.trusted ? "cert-trusted" : "cert-untrusted");
    text += VerdictLine(certificate.nameMatches ? "cert-name-match" : "cert-name-mismatch");
    return text;
}

CStepOutcome CheckHttpsCertificate(const CString& domain, const CProbeEndpoints& endpoints,
                                   CStopSignal* stop, long long nowUnix) {
    const CString ascii = HostNameToAscii(domain);
    const CHttpsAnswer answer = FetchHttpsRoot(ascii, endpoints.httpsPort, stop,
                                               endpoints.httpLimits);
    CStepOutcome outcome;
    const CHttpHeaderAnswer& response = answer.response;
    if (response.outcome.failure != EHttpFailure::kNone) {
        outcome.text.Format("无法访问网站https://%s：%s\r\n", domain.GetString(),
                            DescribeHttpFailure(response.outcome).GetString());
    } else {
        outcome.text = response.rawHeaders;
    }
    // What the certificate is matters even when the exchange failed after the handshake.
    if (answer.certificate.present || response.outcome.failure == EHttpFailure::kNone)
        outcome.text += FormatCertificate(answer.certificate, nowUnix);
    outcome.ok = response.outcome.failure == EHttpFailure::kNone &&
                 CertificateIsGood(answer.certificate, nowUnix);
    return outcome;
}

CStepOutcome CheckHttps(const CProbeContext& context, const CString& domain) {
    const auto now = static_cast<long long>(std::time(nullptr));
    return CheckHttpsCertificate(domain, context.endpoints, context.stop, now);
}
