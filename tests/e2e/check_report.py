"""Checks that a file holds exactly one check report: the banner, then nine step blocks,
each a time-stamped header, the step's text and the separator line, with nothing
before or after. Exits non-zero, saying what is wrong, when it does not."""
import re
import sys

BANNER = ("=" * 23 + " 开始检测 " + "=" * 23 + "\r\n").encode("gbk")
NAMES = ["获取域名信息", "获取公网IP", "获取本地网络信息", "刷新DNS缓存", "检测FTP（21）端口",
         "检测HTTP（80）端口", "Ping命令", "Tracert命令", "检测网站访问状态"]
SEPARATOR = b"\r\n \r\n" + b"*" * 69
# Fields narrower than their width are padded with spaces, never with zeros.
STAMP = (rb"([0-9]{4})-( [1-9]|1[0-2])-( [1-9]|[12][0-9]|3[01]) "
         rb"( [0-9]|1[0-9]|2[0-3]):( [0-9]|[1-5][0-9]):( [0-9]|[1-5][0-9])")


def header(step):
    name = re.escape(NAMES[step - 1].encode("gbk"))
    return b"\r\n" + ("第%d步---" % step).encode("gbk") + name + "：".encode("gbk") + STAMP + b"\r\n"


def main(path):
    data = open(path, "rb").read()
    pattern = re.escape(BANNER) + b"".join(
        header(step) + b"(.*?)" + re.escape(SEPARATOR) for step in range(1, 10))
    match = re.fullmatch(pattern, data, re.DOTALL)
    if not match:
        if not data.startswith(BANNER):
            sys.exit("%s: does not start with the banner" % path)
        found = [step for step in range(1, 10) if re.search(header(step), data)]
        sys.exit("%s: not banner + 9 blocks; step headers found: %s; %d banners; %d separators"
                 % (path, found, data.count(BANNER), data.count(SEPARATOR)))
    stamps = []
    for step in range(9):
        fields = match.groups()[step * 7:step * 7 + 6]
        stamps.append(tuple(int(field) for field in fields))
    if stamps != sorted(stamps):
        sys.exit("%s: step times go backwards: %s" % (path, stamps))
    bodies = [len(match.group(step * 7 + 7)) for step in range(9)]
    print("%s: banner + 9 blocks, %d bytes, body sizes %s" % (path, len(data), bodies))
    return [match.group(step * 7 + 7) for step in range(9)]


def check_loopback_peers(path, bodies):
    """Steps 2 and 9 against what the loopback peers served, byte for byte."""
    import loopback_peers
    expected = {2: loopback_peers.ADDRESS_CENTER.encode("gbk"), 9: loopback_peers.SITE_HEAD}
    for step, want in expected.items():
        if bodies[step - 1] != want:
            sys.exit("%s: step %d holds %r, expected %r" % (path, step, bodies[step - 1], want))
    print("%s: steps 2 and 9 are exactly what the loopback peers served" % path)


def check_port_steps(path, bodies):
    """Steps 5 and 6 against the loopback peers: port 21 is closed, port 80 answers.
    psping's lines end in CR LF on Windows and in LF on Linux; the report keeps either."""
    expected = {
        5: (21, rb"The remote computer refused the network connection\.", b"Received = 0, Lost = 10"),
        6: (80, rb"[0-9]+\.[0-9]{2}ms", b"Received = 10, Lost = 0"),
    }
    for step, (port, result, statistics) in expected.items():
        body = bodies[step - 1]
        probes = re.findall(rb"(?m)^Connecting to 127\.0\.0\.1:%d: %s\r?$" % (port, result), body)
        if len(probes) != 10 or statistics not in body:
            sys.exit("%s: step %d does not show ten probes of port %d with %r: %r"
                     % (path, step, port, statistics, body))
    print("%s: step 5 shows port 21 refused, step 6 port 80 connecting, ten probes each" % path)


if __name__ == "__main__":
    found = main(sys.argv[1])
    if "--loopback-peers" in sys.argv[2:]:
        check_loopback_peers(sys.argv[1], found)
    if "--port-steps" in sys.argv[2:]:
        check_port_steps(sys.argv[1], found)
