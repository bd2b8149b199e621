#!/usr/bin/env python3
"""Runs the live HTTPS tests: a server on localhost:443 (loopback only, inside the test run's own
network namespace) with a certificate of a throw-away authority, which is in the Wine prefix's Root
store for the first run of the tests; a second server's authority is trusted by nobody."""
import http.server
import select
import socket
import socketserver
import os
import ssl
import subprocess
import sys
import tempfile
import threading

WINE_RUN, ROOT_TOOL, TESTS = sys.argv[1:4]
DEADLINE = 120  # seconds for the whole run


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def make_certificates(folder, name):
    """An authority NAME-ca and a localhost certificate NAME-server signed by it."""
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Halvex Test " + name,
            "-keyout", name + "-ca.key", "-out", name + "-ca.pem", "-addext", "basicConstraints=critical,CA:true",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    openssl("x509", "-in", name + "-ca.pem", "-outform", "DER", "-out", name + "-ca.der", cwd=folder)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", name + "-server.key",
            "-out", name + "-server.csr", cwd=folder)
    with open(os.path.join(folder, "server.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n")
    openssl("x509", "-req", "-in", name + "-server.csr", "-CA", name + "-ca.pem", "-CAkey", name + "-ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "server.ext", "-out", name + "-server.pem", cwd=folder)


def make_crls(folder, name):
    """NAME-good.crl revokes nothing, NAME-revoked.crl revokes NAME-server (both DER)."""
    ca = os.path.join(folder, name + "-ca-db")
    os.makedirs(ca)
    open(os.path.join(ca, "index.txt"), "w").close()
    with open(os.path.join(ca, "crlnumber"), "w") as f:
        f.write("01\n")
    config = os.path.join(ca, "ca.cnf")
    with open(config, "w") as f:
        f.write("[ca]\ndefault_ca=test\n[test]\ndatabase=%s/index.txt\ncrlnumber=%s/crlnumber\n"
                "default_md=sha256\ndefault_crl_days=2\n" % (ca, ca))
    keys = ["-keyfile", name + "-ca.key", "-cert", name + "-ca.pem"]
    openssl("ca", "-config", config, "-gencrl", *keys, "-out", name + "-good.pem", cwd=folder)
    openssl("ca", "-config", config, "-revoke", name + "-server.pem", *keys, cwd=folder)
    openssl("ca", "-config", config, "-gencrl", *keys, "-out", name + "-revoked.pem", cwd=folder)
    for kind in ("good", "revoked"):
        openssl("crl", "-in", name + "-" + kind + ".pem", "-outform", "DER", "-out", name + "-" + kind + ".crl",
                cwd=folder)


class Handler(http.server.BaseHTTPRequestHandler):
    def reply(self, status, body):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def target(self):
        # Servers take the absolute form too; Wine's WinHTTP sends it inside a proxy tunnel.
        path = self.path
        if path.startswith("https://"):
            path = "/" + path.split("/", 3)[3] if path.count("/") >= 3 else "/"
        return path

    def do_GET(self):
        path = self.target()
        if path == "/full/corvale/windows/vesk/installer/stage2.tar.gz":
            self.reply(200, "archive bytes\n")
        elif path == "/agent":
            self.reply(200, self.headers.get("User-Agent", ""))
        else:
            self.reply(404, "not found")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode("utf-8")
        self.reply(200, "POST %s %s" % (self.headers.get("Content-Type", ""), body))

    def log_message(self, *args):
        pass


def run(*command):
    return subprocess.run(list(command), stdin=subprocess.DEVNULL, timeout=DEADLINE).returncode


class Running:
    """Serves self.server on a thread for one phase; stopped at the latest after DEADLINE."""

    def arm_deadline(self):
        self.timer = threading.Timer(DEADLINE, self.server.shutdown)

    def __enter__(self):
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.timer.start()
        return self

    def __exit__(self, *exc):
        self.timer.cancel()
        self.server.shutdown()
        self.server.server_close()


class Server(Running):
    """An HTTPS server on localhost:443."""

    def __init__(self, folder, name):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, name + "-server.pem"), os.path.join(folder, name + "-server.key"))
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 443), Handler)
        self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        self.arm_deadline()


class ConnectHandler(socketserver.BaseRequestHandler):
    """A CONNECT proxy to the HTTPS server; with auth_required it answers every CONNECT with 407."""

    auth_required = False

    def handle(self):
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 65536:
            chunk = self.request.recv(4096)
            if not chunk:
                return
            request += chunk
        if not request.startswith(b"CONNECT localhost:443 "):
            self.request.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        if self.auth_required:
            self.request.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                                 b"Proxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n"
                                 b"Connection: close\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", 443), timeout=10)
        self.request.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        sockets = [self.request, upstream]
        try:
            while True:
                readable, _, _ = select.select(sockets, [], [], 10)
                if not readable:
                    return
                for source in readable:
                    data = source.recv(65536)
                    if not data:
                        return
                    (upstream if source is self.request else self.request).sendall(data)
        finally:
            upstream.close()


class AuthConnectHandler(ConnectHandler):
    auth_required = True


class Proxy(Running):
    def __init__(self, port, handler):
        socketserver.ThreadingTCPServer.allow_reuse_address = True
        self.server = socketserver.ThreadingTCPServer(("127.0.0.1", port), handler)
        self.server.daemon_threads = True
        self.arm_deadline()


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        make_certificates(folder, "trusted")
        make_certificates(folder, "unknown")
        make_crls(folder, "unknown")
        os.environ["HALVEX_TEST_CERTIFICATES"] = windows_path(folder)
        ca = windows_path(os.path.join(folder, "trusted-ca.der"))
        with Server(folder, "trusted"), Proxy(3128, ConnectHandler), Proxy(3129, AuthConnectHandler):
            if run(WINE_RUN, ROOT_TOOL, ca) != 0:
                sys.exit("could not add the test authority to the Root store")
            try:
                failures += run(WINE_RUN, TESTS, "--gtest_filter=HttpClientLive.*") != 0
            finally:
                run(WINE_RUN, ROOT_TOOL, ca, "--remove")
        # A server whose authority was never trusted.
        with Server(folder, "unknown"):
            failures += run(WINE_RUN, TESTS, "--gtest_filter=HttpClientLiveUntrusted.*") != 0
    print("%d passed, %d failed" % (2 - failures, failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
