"""Checks the path statistics step's text from tests/e2e/path_stats_check.sh's route.

    path_table_check.py report FILE ROUNDS          a whole run's report (GBK)
    path_table_check.py probe FILE ROUNDS [v4only]  path_probe's output (GBK)
    path_table_check.py html FILE                   the run's web page report (UTF-8)

The route: the client, routers 10.19.1.2, 10.19.2.2 (dropping 30 % of the echo requests
it takes from the client's side), 10.19.3.2, and the server 10.19.4.2; the same in
fd19:N::2. v4only: an engine without IPv6 may say so in one line instead of a table.
"""
import datetime
import re
import sys

ROUTE = {
    "IPv4": ["10.19.1.2", "10.19.2.2", "10.19.3.2", "10.19.4.2"],
    "IPv6": ["fd19:1::2", "fd19:2::2", "fd19:3::2", "fd19:4::2"],
}
HOP = re.compile(r"^ *(\d+)\.  (\S+) +([\d.]+)% +(\d+)(?: +[\d.]+){5}  (\S+)\r?$", re.M)
failures = []


def check(ok, what):
    print(("ok - " if ok else "FAIL - ") + what)
    if not ok:
        failures.append(what)


def check_table(family, table, rounds):
    wanted = ROUTE[family]
    check(table.startswith(f"路由逐跳统计：path.test [{wanted[-1]}]，{rounds}轮，每轮间隔1秒\r\n"),
          f"{family}: the heading names the site, its address and the rounds")
    hops = [(int(m[1]), m[2], float(m[3]), int(m[4]), m[5]) for m in HOP.finditer(table)]
    check([h[1] for h in hops] == wanted and [h[0] for h in hops] == [1, 2, 3, 4],
          f"{family}: every hop in order, none past the server: {[h[1] for h in hops]}")
    check(all(h[3] == rounds for h in hops), f"{family}: every hop was probed in every round")
    check(all(h[4] == "局域网" for h in hops), f"{family}: every hop is labelled as a local network")
    if len(hops) == 4:
        check(hops[0][2] == 0.0, f"{family}: no loss before the lossy router ({hops[0][2]} %)")
        # 30 % of 40 probes: 12 expected, standard deviation 2.9; 4 to 22 lie beyond 2.7 of them.
        check(all(10.0 <= h[2] <= 55.0 for h in hops[1:]),
              f"{family}: loss near 30 % on the lossy router and beyond: {[h[2] for h in hops[1:]]}")


def check_step(text, rounds, v4only):
    print(text)
    tables = re.split(r"\r\n(?=路由逐跳统计：|IPv6：)", text)
    check_table("IPv4", tables[0], rounds)
    six = tables[1] if len(tables) > 1 else ""
    if v4only and six.startswith("IPv6："):
        check("无法发送ICMP探测" in six, "IPv6: the engine says in one line that it has no means")
    else:
        check_table("IPv6", six, rounds)
    check(text.rstrip().endswith("请服务商在服务器上对本机公网IP执行：mtr -rwzbc100 198.51.100.7"),
          "the line for the other direction names the public address of step 2")


def check_html(path):
    """The chart marks the lossy router and every hop after it, in both tables, and the
    page carries the report's text escaped, with nothing it could fetch."""
    page = open(path, encoding="utf-8").read()
    check("default-src 'none'" in page and not re.search(r"<(img|script|link|iframe)", page),
          "the page may load nothing and holds no element that would")
    check("&lt;img src=http://127.0.0.1:" in page, "the public address page's hostile label is shown escaped")
    check("第13步---路由逐跳统计：" in page, "the whole report text is on the page")
    svg = re.search(r"<svg .*?</svg>", page, re.S)
    check(svg is not None, "the page has the chart as inline SVG")
    if not svg:
        return
    stripes = [(float(y), float(y) + float(h)) for y, h in re.findall(
        r'<rect x="0\.0" y="([\d.]+)" width="5\.0" height="([\d.]+)" fill="#D62020"/>', svg.group(0))]
    rows = {a: float(y) for y, a in re.findall(r'<text x="32\.0" y="([\d.]+)"[^>]*>([^<]+)</text>', svg.group(0))}
    for family, route in ROUTE.items():
        marked = [a for a in route if a in rows and any(top <= rows[a] <= bottom for top, bottom in stripes)]
        check([a for a in route if a in rows] == route and marked == route[1:],
              f"{family}: the chart marks the lossy router and every hop after it: {marked}")
    check("自第2跳（10.19.2.2）起丢包持续到目的地" in svg.group(0), "the chart names the hop the loss starts at")


def main():
    if sys.argv[1] == "html":
        check_html(sys.argv[2])
        return 1 if failures else 0
    mode, path, rounds = sys.argv[1], sys.argv[2], int(sys.argv[3])
    text = open(path, "rb").read().decode("gbk")
    if mode == "probe":
        check(text.startswith("ok=1\n"), "the step passed")
        check_step(text.split("\n", 1)[-1], rounds, "v4only" in sys.argv[4:])
    else:
        step = re.search(r"\r\n第13步---路由逐跳统计：[ \d:-]{19}\r\n(.*?)\r\n \r\n\*{69}", text, re.S)
        check(step is not None, "the report has step 13, the path statistics, with its separator")
        if not step:
            print(text[-3000:])
            return 1
        check_step(step.group(1), rounds, False)
        # Headers are stamped as each step ends: step 13 took the gap between the last two.
        stamps = re.findall(r"\r\n第1[23]步---[^：]+：([ \d:-]{19})\r\n", text)
        times = [datetime.datetime(*map(int, re.findall(r"\d+", s))) for s in stamps]
        took = (times[1] - times[0]).total_seconds() if len(times) == 2 else -1
        check(0 < took <= rounds + 5 + 1, f"the step ended within its rounds and slack: {took} s of {rounds + 5}")
    return 1 if failures else 0


sys.exit(main())
