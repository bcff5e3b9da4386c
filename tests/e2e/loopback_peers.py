"""Loopback stand-ins for the servers a check run talks to, for the window test.

A whois server on port 43 (each answer after a short pause, so that a run's first step
takes a moment) and a web server on port 80 that plays both the tested site ("/") and
the page that reports the caller's public address ("/ic.asp"). Both listen on 127.0.0.1
only; the test maps the servers' host names there. Runs until killed.
"""
import http.server
import socketserver
import sys
import threading
import time

WHOIS_PAUSE_SECONDS = 1.5
ADDRESS_CENTER = "您的IP是：[127.0.0.1] 来自：本机"
ADDRESS_PAGE = "<html><body><center>" + ADDRESS_CENTER + "</center></body></html>\r\n"
SITE_BODY = b"<html><body>Tollvane loopback site</body></html>\r\n"
# The site's whole header block, fixed (no date), so step 9 can be compared byte for byte.
SITE_HEAD = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX-Check: loopback\r\n"
             b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(SITE_BODY))


class WhoisHandler(socketserver.StreamRequestHandler):
    def handle(self):
        query = self.rfile.readline(1024).strip().decode("ascii", "replace")
        time.sleep(WHOIS_PAUSE_SECONDS)
        self.wfile.write(("Domain Name: %s\n"
                          "   Registrar WHOIS Server: whois.internic.net\n"
                          "   Whois Server: whois.internic.net\n"
                          "   Registrar: Loopback Test Registrar\n"
                          "   Creation Date: 2020-01-02T03:04:05Z\n"
                          ">>> Last update of whois database: 2026-12-07T00:00:00Z <<<\n"
                          % query.lstrip("=").strip().upper()).encode("ascii"))


class WebHandler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/ic.asp":
            body = ADDRESS_PAGE.encode("gbk")
            kind = "text/html; charset=gb2312"
        elif self.path == "/":
            self.wfile.write(SITE_HEAD + SITE_BODY)
            self.close_connection = True
            return
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        sys.stderr.write("web: " + (format % args) + "\n")


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


def main():
    whois = Server(("127.0.0.1", 43), WhoisHandler)
    web = Server(("127.0.0.1", 80), WebHandler)
    for server in (whois, web):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print("ready", flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    main()
