"""Runs a psping program (Linux stand-in, or psping.exe through wine) against peers
inside the caller's private network namespace and checks what it prints and how long
it takes. Both builds must print the same lines; Windows ends them with CR LF.

Usage: psping_cases.py [--crlf] [--blackhole ADDRESS] -- COMMAND...
COMMAND is how to start the program (for example: /usr/lib/wine/wine64 psping.exe).
"""
import argparse
import re
import socket
import subprocess
import sys
import time

OPEN_PORT = 18080
CLOSED_PORT = 18021
NAME = "peer.psping.test"  # mapped to 127.0.0.1 by the caller's hosts file
LIMIT_SECONDS = 40  # Tollvane ends psping after this long

failures = []


def check(what, condition, detail=""):
    print(("ok - " if condition else "FAIL - ") + what)
    if not condition:
        failures.append(what)
        if detail:
            print("    " + detail.replace("\n", "\n    "))


class Run:
    """The program's output, its exit status, and when each line arrived."""

    def __init__(self, command, args):
        start = time.monotonic()
        child = subprocess.Popen(command + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.raw = b""
        self.arrivals = []
        for line in iter(child.stdout.readline, b""):
            self.raw += line
            self.arrivals.append(time.monotonic() - start)
        self.status = child.wait()
        self.seconds = time.monotonic() - start
        self.text = self.raw.decode("ascii", "replace")
        self.lines = self.text.replace("\r\n", "\n").split("\n")

    def count(self, pattern):
        return sum(1 for line in self.lines if re.fullmatch(pattern, line))

    def show(self):
        return "status %d after %.1f s:\n%s" % (self.status, self.seconds, self.text)


def line_ends_ok(run, crlf):
    if crlf:
        return run.raw.count(b"\n") == run.raw.count(b"\r\n") and b"\r\r" not in run.raw
    return b"\r" not in run.raw


def probe_lines(endpoint, result):
    """Patterns of the warmup line and of each counted probe line."""
    e = re.escape(endpoint)
    return "Connecting to %s \\(warmup\\): %s" % (e, result), "Connecting to %s: %s" % (e, result)


TIME = r"\d+\.\d\dms"
REFUSED = re.escape("The remote computer refused the network connection.")
TIMED_OUT = re.escape("This operation returned because the timeout period expired.")


def connect_cases(command, crlf, blackhole):
    # name, operand, endpoint shown, result pattern, received, exit status, min and max seconds
    cases = [
        ("open port by address", "127.0.0.1:%d" % OPEN_PORT, "127.0.0.1:%d" % OPEN_PORT, TIME, 10, 0, 9, 20),
        ("open port by name", "%s:%d" % (NAME, OPEN_PORT), "127.0.0.1:%d" % OPEN_PORT, TIME, 10, 0, 9, 20),
        ("closed port", "127.0.0.1:%d" % CLOSED_PORT, "127.0.0.1:%d" % CLOSED_PORT, REFUSED, 0, 1, 9, 30),
    ]
    if blackhole:
        cases.append(("black-holed address", "%s:80" % blackhole, "%s:80" % blackhole, TIMED_OUT, 0, 1,
                      25, 34))
    for name, operand, endpoint, result, received, status, fastest, slowest in cases:
        run = Run(command, ["/accepteula", "-n", "10", operand])
        warmup, counted = probe_lines(endpoint, result)
        lost = 10 - received
        check("%s: one warmup line and ten probe lines" % name,
              run.count(warmup) == 1 and run.count(counted) == 10, run.show())
        check("%s: statistics" % name,
              "  Sent = 10, Received = %d, Lost = %d (%d%% loss)," % (received, lost, lost * 10) in run.lines
              and run.count(r"  Minimum = %s, Maximum = %s, Average = %s" % (TIME, TIME, TIME))
              == (1 if received else 0), run.show())
        check("%s: exit status %d" % (name, status), run.status == status, run.show())
        check("%s: took %.1f s, expected %d to %d s (limit %d s)" % (name, run.seconds, fastest, slowest,
                                                                     LIMIT_SECONDS),
              fastest <= run.seconds <= slowest, run.show())
        check("%s: line ends" % name, line_ends_ok(run, crlf), repr(run.raw[:200]))
        # Flushed line by line: the warmup's line is there long before the program ends.
        first = next((at for at, line in zip(run.arrivals, run.lines) if re.fullmatch(warmup, line)), None)
        check("%s: lines arrive as the probes happen" % name,
              first is not None and run.seconds - first > 7, "warmup line at %s s of %.1f s" %
              (first, run.seconds))


def refusal_cases(command, crlf):
    usage = [
        [],
        ["127.0.0.1:80"],
        ["-n", "10", "127.0.0.1:80"],
        ["/accepteula", "-n", "0", "127.0.0.1:80"],
        ["/accepteula", "-n", "1001", "127.0.0.1:80"],
        ["/accepteula", "-n", "ten", "127.0.0.1:80"],
        ["/accepteula", "-n", "10", "127.0.0.1"],
        ["/accepteula", "-n", "10", "127.0.0.1:65536"],
        ["/accepteula", "-n", "10", "-x:80"],
        ["/accepteula", "-t", "10", "127.0.0.1:80"],
        ["/accepteula", "-n", "10", "127.0.0.1:80", "extra"],
    ]
    for args in usage:
        run = Run(command, args)
        check("usage for %r" % args,
              run.status != 0 and run.text.startswith("Usage: psping /accepteula -n COUNT HOST:PORT")
              and line_ends_ok(run, crlf), run.show())
    run = Run(command, ["/accepteula", "-n", "10", "no..such.host:80"])
    check("a name that cannot exist is reported, not probed",
          run.status != 0 and run.count(r"Cannot resolve no\.\.such\.host: .+\.") == 1
          and run.count("Connecting to .*") == 0 and run.seconds < 10, run.show())


def serve_open_port():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", OPEN_PORT))
    listener.listen(128)
    return listener  # the kernel completes the handshakes; nobody needs to accept


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--crlf", action="store_true")
    parser.add_argument("--blackhole")
    parser.add_argument("command", nargs="+")
    options = parser.parse_args()
    listener = serve_open_port()
    refusal_cases(options.command, options.crlf)
    connect_cases(options.command, options.crlf, options.blackhole)
    listener.close()
    print("%d failed" % len(failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
