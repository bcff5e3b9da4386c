"""The loopback peers of loopback_peers.py, bent into the faults the findings engine names.

    diagnosis_peers.py MODE
MODE: healthy, status503 (the site answers 503), stalled (the site accepts and never
answers), noweb (nothing listens on port 80), expired (the whois record's expiry has
passed and the registry holds the domain), expiring (the record ends in ten days).
Prints "ready" once listening; runs until killed.
"""
import datetime

import sys
import threading
import time

import loopback_peers as peers

MODE = sys.argv[1] if len(sys.argv) > 1 else "healthy"


def whois_extra():
    if MODE == "expired":
        return ("   Registry Expiry Date: 2025-03-01T00:00:00Z\n"
                "   Domain Status: clientHold https://icann.org/epp#clientHold\n")
    if MODE == "expiring":
        day = datetime.date.today() + datetime.timedelta(days=10)
        return "   Registry Expiry Date: %sT00:00:00Z\n" % day.isoformat()
    return ""


class WhoisHandler(peers.socketserver.StreamRequestHandler):
    def handle(self):
        query = self.rfile.readline(1024).strip().decode("ascii", "replace")
        self.wfile.write(("Domain Name: %s\n   Registrar: Loopback Test Registrar\n%s"
                          ">>> Last update of whois database: 2026-12-07T00:00:00Z <<<\n"
                          % (query.lstrip("=").strip().upper(), whois_extra())).encode("ascii"))


class WebHandler(peers.WebHandler):
    def do_GET(self):
        if self.path == "/" and MODE == "status503":
            self.wfile.write(b"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n"
                             b"Connection: close\r\n\r\n")
            self.close_connection = True
            return
        if self.path == "/" and MODE == "stalled":
            time.sleep(600)
            return
        super().do_GET()


def main():
    servers = [peers.Server(("127.0.0.1", 43), WhoisHandler)]
    if MODE != "noweb":
        servers.append(peers.Server(("127.0.0.1", 80), WebHandler))
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print("ready", flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    main()
