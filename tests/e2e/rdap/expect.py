"""Step 1 of each report of tests/e2e/rdap_check.sh against the text it must hold, and
the requests the peers got. With --hex DOMAIN, prints that domain's expected step text
as hex for the Windows test instead."""
import os, sys

work = sys.argv[1]
CONNECT = "无法连接whois服务器whois.internic.net：连接被拒绝\r\n"
REGISTRAR_URL = "https://rdap.registrar.test/domain/example.com"

def source(url):
    return "（whois服务器无应答，以下信息来自RDAP：%s）\r\n" % url

registry_lines = ("注册日期：1995-08-14T04:00:00Z\r\n到期日期：2026-08-13T04:00:00Z\r\n"
                  "状态：client transfer prohibited\r\nDNS服务器：A.IANA-SERVERS.NET\r\n")
expected = {
    "example.com": source(REGISTRAR_URL) +
        "域名：example.com\r\n注册商：示例注册商有限公司 Example Registrar\r\n"
        "注册日期：1995-08-14T04:00:00Z\r\n到期日期：2026-08-13T04:00:00Z\r\n"
        "最后更新：2025-08-14T07:01:34Z\r\n状态：client delete prohibited, client transfer prohibited\r\n"
        "DNS服务器：A.IANA-SERVERS.NET\r\n"
        "注册商投诉邮箱：abuse@registrar.test\r\n注册商投诉电话：+86.1012345678\r\n",
    "notfound.com": CONNECT + "RDAP中未找到该域名\r\n",
    "badregistrar.com": source("https://rdap.verisign.com/com/v1/domain/badregistrar.com") +
        "域名：BADREGISTRAR.COM\r\n" + registry_lines +
        "（未能取得注册商的RDAP信息：RDAP服务器https://rdap.publicinterestregistry.org/domain/"
        "badregistrar.com的应答不是有效的JSON）\r\n",
    "example.org": "无法解析whois.publicinterestregistry.org的主机IP\r\n"
        "RDAP服务器https://rdap.publicinterestregistry.org/rdap/domain/example.org的应答不是有效的JSON\r\n",
    "example.info": "whois服务器whois.nic.info在15秒内没有返回任何数据\r\n"
        "RDAP服务器https://rdap.donuts.co/rdap/domain/example.info无法访问：已连接到127.0.0.13，但20秒内没有应答\r\n",
    "example.biz": "无法解析whois.nic.biz的主机IP\r\n"
        "RDAP服务器https://rdap.nic.biz/domain/example.biz的应答超过1MB，已停止接收\r\n",
    "example.tv": "Domain Name: EXAMPLE.TV\r\nRegistrar: Port 43 Registrar\r\n",
    "internallink.com": source("https://rdap.verisign.com/com/v1/domain/internallink.com") +
        "域名：INTERNALLINK.COM\r\n" + registry_lines +
        "（未能取得注册商的RDAP信息：RDAP服务器https://internal.test/domain/internallink.com"
        "无法访问：目标不是公网上的https地址，已拒绝访问）\r\n",
    "redirected.com": source("https://rdap.verisign.com/com/v1/domain/redirected.com") +
        "域名：REDIRECTED.COM\r\n" + registry_lines +
        "（未能取得注册商的RDAP信息：RDAP服务器https://rdap.registrar.test/redirect/redirected.com"
        "无法访问：重定向到https://internal.test/domain/redirected.com后目标不是公网上的https地址，"
        "已拒绝访问）\r\n",
    "deep.com": CONNECT + "RDAP服务器https://rdap.verisign.com/com/v1/domain/deep.com"
        "的应答嵌套过深或数据项过多，未读取\r\n",
}

if sys.argv[2:3] == ["--hex"]:
    print(expected[sys.argv[3]].encode("gbk").hex())
    sys.exit(0)

failures = []

def step_one(report):
    header = "\r\n第1步---获取域名信息：".encode("gbk")
    separator = b"\r\n \r\n" + b"*" * 69
    start = report.find(header)
    if start < 0:
        return None
    body_start = report.index(b"\r\n", start + len(header)) + 2
    return report[body_start:report.find(separator, body_start)]

for domain, text in expected.items():
    path = os.path.join(work, "report." + domain)
    if not os.path.exists(path):
        failures.append("no report for " + domain)
        continue
    body = step_one(open(path, "rb").read())
    if body != text.encode("gbk"):
        failures.append("%s: step 1 holds %r, expected %r" % (domain, body, text.encode("gbk")))

access = open(os.path.join(work, "access.log")).read()
if "/tv/" in access:
    failures.append("RDAP was asked although whois answered: " + access)
for path in ("/com/v1/domain/example.com", "/domain/example.com", "/com/v1/domain/notfound.com"):
    if "GET %s HTTP" % path not in access:
        failures.append("nginx never got " + path)
peers = open(os.path.join(work, "peer_requests")).read().splitlines()
for line in ("127.0.0.3 example.tv", "127.0.0.2 example.info",
             "203.0.113.12 GET /rdap/domain/example.org HTTP/1.1",
             "127.0.0.13 GET /rdap/domain/example.info HTTP/1.1",
             "127.0.0.14 GET /domain/example.biz HTTP/1.1"):
    if line not in peers:
        failures.append("peers never got %r (got %r)" % (line, peers))

internal_log = os.path.join(work, "internal.log")
if os.path.exists(internal_log) and open(internal_log).read():
    failures.append("the internal service was asked: " + open(internal_log).read())
if "GET /redirect/redirected.com HTTP" not in access:
    failures.append("the registrar never got the request it redirects")
# Peak resident size of the run that got 1 MiB of "[", in KiB, against the README's bound.
rss_kib = int(open(os.path.join(work, "rss.deep.com")).read())
print("peak resident size of the deep.com run: %.1f MiB" % (rss_kib / 1024))
if rss_kib >= 64 * 1024:
    failures.append("the deep.com run peaked at %d KiB, past 64 MiB" % rss_kib)

for failure in failures:
    print("FAIL: " + failure, file=sys.stderr)
if failures:
    sys.exit(1)
print("rdap check passed: %d runs%s" % (len(expected),
      ", and the Windows test" if os.path.exists(os.path.join(work, "wine.out")) else ""))
