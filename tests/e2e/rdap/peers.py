"""Hand-written peers: TLS RDAP servers that send malformed JSON (203.0.113.12), stay
silent after the handshake (127.0.0.13) or send a 20 MiB answer (127.0.0.14); whois
servers that stay silent (127.0.0.2) or answer (127.0.0.3). Every request line is
logged to WORK/peer_requests."""
import os, socket, socketserver, ssl, sys, threading

work = sys.argv[1]
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(os.path.join(work, "server.pem"), os.path.join(work, "server.key"))
lock = threading.Lock()

def log(address, line):
    with lock, open(os.path.join(work, "peer_requests"), "a") as out:
        out.write("%s %s\n" % (address, line.decode("latin-1").strip()))

def hold(connection):
    try:
        while connection.recv(4096):
            pass
    except OSError:
        pass

class Rdap(socketserver.BaseRequestHandler):
    def handle(self):
        address = self.server.server_address[0]
        try:
            tls = context.wrap_socket(self.request, server_side=True)
            request = b""
            while b"\r\n\r\n" not in request:
                piece = tls.recv(4096)
                if not piece:
                    return
                request += piece
            log(address, request.split(b"\r\n")[0])
            if address == "203.0.113.12":
                body = b'{"objectClassName": "domain", "ldhName": "x.org",'
                tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                            % len(body) + body)
            elif address == "127.0.0.13":
                hold(tls)
            else:
                size = 20 << 20
                tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % size)
                chunk = b"[" * 65536
                for _ in range(size // len(chunk)):
                    tls.sendall(chunk)
        except (OSError, ssl.SSLError):
            pass

class Whois(socketserver.StreamRequestHandler):
    def handle(self):
        address = self.server.server_address[0]
        log(address, self.rfile.readline(4096))
        if address == "127.0.0.3":
            self.wfile.write(b"Domain Name: EXAMPLE.TV\nRegistrar: Port 43 Registrar\n")
        else:
            hold(self.request)

class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

servers = [Server((address, 443), Rdap) for address in ("203.0.113.12", "127.0.0.13", "127.0.0.14")]
servers += [Server((address, 43), Whois) for address in ("127.0.0.2", "127.0.0.3")]
for server in servers:
    threading.Thread(target=server.serve_forever, daemon=True).start()
open(os.path.join(work, "peers_ready"), "w").close()
threading.Event().wait()
