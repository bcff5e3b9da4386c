"""Makes the hand-edited reports of the corpus (edited-*.txt) from run-healthy.txt, a
report of a whole run against the loopback peers: one or more blocks replaced by the text
a fault gives, for the faults whose peers the end-to-end runs do not have. Each edit is
the wording its producer prints (Chinese Windows' ping and tracert, the optional steps).

    python3 tests/reports/make_edited.py      (rewrites tests/reports/edited-*.txt)
"""
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
STARS = "\r\n \r\n" + "*" * 69
NAMES = {10: "DNS解析", 11: "HTTPS访问及证书", 12: "IPv6连通性", 13: "路由逐跳统计", 14: "出口IP与DNS",
         15: "代理与本机网络环境"}
TIME = "2026-12- 7 20:24: 5"


def healthy():
    return open(os.path.join(HERE, "run-healthy.txt"), "rb").read().decode("gbk")


def replace_body(report, step, body):
    pattern = re.compile(r"(\r\n第%d步---[^\r]*\r\n)(.*?)(?=\r\n \r\n\*{69})" % step, re.S)
    assert pattern.search(report), step
    return pattern.sub(lambda m: m.group(1) + body, report, count=1)


def add_steps(report, steps):
    for step, body in steps:
        report += "\r\n第%d步---%s：%s\r\n%s%s" % (step, NAMES[step], TIME, body, STARS)
    return report


HEALTHY_OPTIONAL = [
    (10, "www.example.com：\r\n  A 203.0.113.80（TTL 300）\r\n系统使用的DNS服务器：192.168.1.1\r\n"),
    (11, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n证书主题：CN=www.example.com\r\n"
         "证书备用名称：www.example.com、example.com\r\n证书颁发者：CN=Example CA\r\n"
         "有效期自：2026-06-01 00:00:00 UTC\r\n有效期至：2027-06-01 23:59:59 UTC\r\n证书将于176天后过期\r\n"
         "证书受系统信任\r\n证书与域名匹配\r\n"),
    (12, "该域名没有IPv6地址\r\n"),
]

PATH_TITLE = ("路由逐跳统计：www.example.com [203.0.113.80]，30轮，每轮间隔1秒\r\n"
              "跳数  地址              丢包率  已发送   最近    平均    最好    最差  标准差  位置\r\n")


def path_table(rows):
    return PATH_TITLE + "".join(rows) + "请服务商在服务器上对本机公网IP执行：mtr -rwzbc100 127.0.0.1\r\n"


CHINESE_PING_BLOCKED = (
    "\r\n正在 Ping www.example.com [127.0.0.1] 具有 32 字节的数据:\r\n请求超时。\r\n请求超时。\r\n请求超时。\r\n"
    "请求超时。\r\n\r\n127.0.0.1 的 Ping 统计信息:\r\n    数据包: 已发送 = 4，已接收 = 0，丢失 = 4 (100% 丢失)，\r\n")
CHINESE_TRACE_STOPS = (
    "\r\n通过最多 30 个跃点跟踪\r\n到 www.example.com [127.0.0.1] 的路由:\r\n\r\n"
    "  1    <1 毫秒   <1 毫秒   <1 毫秒 192.168.1.1\r\n  2     3 毫秒     2 毫秒     2 毫秒 10.10.0.1\r\n"
    "  3     *        *        *     请求超时。\r\n  4     *        *        *     请求超时。\r\n\r\n跟踪完成。\r\n")
ENGLISH_SLOW_PING = (
    "\r\nPinging www.example.com [127.0.0.1] with 32 bytes of data:\r\n"
    "Reply from 127.0.0.1: bytes=32 time=251ms TTL=52\r\nReply from 127.0.0.1: bytes=32 time=262ms TTL=52\r\n"
    "Reply from 127.0.0.1: bytes=32 time=248ms TTL=52\r\nReply from 127.0.0.1: bytes=32 time=255ms TTL=52\r\n"
    "\r\nPing statistics for 127.0.0.1:\r\n    Packets: Sent = 4, Received = 4, Lost = 0 (0% loss),\r\n"
    "Approximate round trip times in milli-seconds:\r\n    Minimum = 248ms, Maximum = 262ms, Average = 254ms\r\n")


def edits():
    base = healthy()
    yield "edited-extended-healthy", add_steps(base, HEALTHY_OPTIONAL)
    blocked = replace_body(replace_body(base, 7, CHINESE_PING_BLOCKED), 8, CHINESE_TRACE_STOPS)
    yield "edited-chinese-ping-blocked-route-stops", blocked
    yield "edited-slow-ping", replace_body(base, 7, ENGLISH_SLOW_PING)
    yield "edited-public-ip-mismatch", replace_body(
        base, 2, "您的IP是：[8.8.4.4] 来自：美国\r\n（其他来源核对：本机公网IP为198.51.100.7（来源：myip.ipip.net、4.ipw.cn），"
                 "与上面的结果不一致）\r\n")
    yield "edited-path-loss", add_steps(base, HEALTHY_OPTIONAL + [(13, path_table([
        "  1.  192.168.1.1         0.0%      30    0.8     1.1     0.6     3.2     0.5  局域网\r\n",
        "  2.  ???               100.0%      30\r\n",
        "  3.  61.140.0.1         16.7%      30   12.3    13.0    11.8    25.4     2.9  中国 广东省 广州市 电信\r\n",
        "  4.  203.0.113.80       20.0%      30   30.1    31.0    29.8    40.2     2.0  美国\r\n"]))])
    yield "edited-path-loss-intermediate-only", add_steps(base, HEALTHY_OPTIONAL + [(13, path_table([
        "  1.  192.168.1.1         0.0%      30    0.8     1.1     0.6     3.2     0.5  局域网\r\n",
        "  2.  61.140.0.1         63.3%      30   12.3    13.0    11.8    25.4     2.9  中国 广东省 广州市 电信\r\n",
        "  3.  202.97.0.1          0.0%      30   28.0    29.0    27.0    31.0     1.0  中国 电信\r\n",
        "  4.  203.0.113.80        0.0%      30   30.1    31.0    29.8    40.2     2.0  美国\r\n"]))])
    yield "edited-latency-jump", add_steps(base, HEALTHY_OPTIONAL + [(13, path_table([
        "  1.  192.168.1.1         0.0%      30    0.8     1.1     0.6     3.2     0.5  局域网\r\n",
        "  2.  202.97.0.1          0.0%      30   28.0    29.0    27.0    31.0     1.0  中国 电信\r\n",
        "  3.  203.0.113.1         0.0%      30  181.0   180.0   175.0   190.0     3.0  美国\r\n",
        "  4.  203.0.113.80        0.0%      30  185.0   183.0   179.0   199.0     4.0  美国\r\n"]))])
    bad_tls = ("HTTP/1.1 200 OK\r\n\r\n证书主题：CN=other.example.net\r\n证书颁发者：CN=other.example.net\r\n"
               "有效期自：2024-01-01 00:00:00 UTC\r\n有效期至：2025-01-01 00:00:00 UTC\r\n证书已过期\r\n"
               "证书不受信任\r\n证书与域名不匹配\r\n")
    yield "edited-certificate-bad", add_steps(base, [HEALTHY_OPTIONAL[0], (11, bad_tls), HEALTHY_OPTIONAL[2]])
    expiring = HEALTHY_OPTIONAL[1][1].replace("证书将于176天后过期", "证书将于6天后过期")
    yield "edited-certificate-expiring", add_steps(base, [HEALTHY_OPTIONAL[0], (11, expiring), HEALTHY_OPTIONAL[2]])
    ipv6 = "2001:db8::80：\r\n  80端口：连接超时\r\n  443端口：连接超时\r\n"
    yield "edited-ipv6-broken", add_steps(base, HEALTHY_OPTIONAL[:2] + [(12, ipv6)])
    fake = "www.example.com：\r\n  A 198.18.0.42（TTL 1）\r\n系统使用的DNS服务器：127.0.0.1\r\n"
    yield "edited-dns-fake-ip", add_steps(base, [(10, fake)] + HEALTHY_OPTIONAL[1:])
    egress = ("系统DNS（192.168.1.1）：域名不存在\r\n223.5.5.5：203.0.113.80\r\n8.8.8.8：203.0.113.80\r\n"
              "本机DNS说域名不存在，而公共DNS有结果，疑似DNS劫持或污染\r\n"
              "解析结果因DNS服务器而异（使用CDN按地区调度时属正常）\r\n")
    yield "edited-dns-hijack", add_steps(base, HEALTHY_OPTIONAL + [(14, egress)])
    environment = ("HTTP代理：http://127.0.0.1:7890（绕过：localhost）\r\n"
                   "203.0.113.9   www.example.com\r\n访问该网站的流量经过虚拟网卡wg0\r\n本机时间与服务器相差3725秒\r\n")
    yield "edited-proxy-vpn-hosts-clock", add_steps(base, HEALTHY_OPTIONAL + [(15, environment)])
    yield "edited-truncated", base[:base.index("第8步")] + "第8步---Tracert命令：2026-12- 7 20:24: 3\r\n\r\nTracing"
    yield "edited-lf-only", base.replace("\r\n", "\n")
    yield "edited-not-a-report", "Subject: my site is down\r\n\r\nPlease help, the report is attached.\r\n"


def main():
    for name, text in edits():
        with open(os.path.join(HERE, name + ".txt"), "wb") as out:
            out.write(text.encode("gbk"))


if __name__ == "__main__":
    main()
