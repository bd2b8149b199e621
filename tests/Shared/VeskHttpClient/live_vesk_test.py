#!/usr/bin/env python3
"""Runs the live tests of the Vesk::Http client against HTTPS servers on loopback, inside the test
run's own network namespace: a server on localhost:443 and a twin on a free port, both with a
certificate of the "trusted" authority, which is in the Wine prefix's Root store for the run; a
server of an authority that nobody trusts; a self-signed server; a server whose certificate has
expired; a CONNECT proxy to the 443 server; and a port where connections are refused.

Every server writes down the paths that it was asked for, so that a test can ask any trusted
server how often a path was requested ("count/PATH", "count/TAG/PATH" for requests with the header
X-Halvex-Tag: TAG)."""
import collections
import http.server
import os
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from live_https import (Authority, ConnectHandler, Proxy, Server, openssl, refusing_port,  # noqa: E402
                        request_path, run_trusting, serial_of, windows_path)

WINE_RUN, ROOT_TOOL, TESTS = sys.argv[1:4]

lock = threading.Lock()
requested = collections.Counter()  # path -> how many requests
tunnels = set()  # the proxy's local ports towards the 443 server


class RecordingConnectHandler(ConnectHandler):
    def tunnel_opened(self, upstream):
        with lock:
            tunnels.add(upstream.getsockname()[1])


class Handler(http.server.BaseHTTPRequestHandler):
    def reply(self, status, body, headers=()):
        data = body.encode("utf-8")
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if status != 204:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if status != 204:
            self.wfile.write(data)

    def body(self):
        return self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode("utf-8")

    def path_counted(self):
        # A tagged request counts as "/TAG/PATH" only, so that a test's own requests are apart from
        # all others, also when one arrives after its client has given up on it.
        path = request_path(self.path)
        tag = self.headers.get("X-Halvex-Tag")
        with lock:
            requested[("/" + tag if tag else "") + path] += 1
        return path

    def not_found(self, path):
        self.reply(404, "not found: " + path, [("X-Halvex-Reason", "no such page")])

    def do_GET(self):
        path = self.path_counted()
        if path == "/status":
            # The connection confirmation; a caller's header makes it fail.
            if self.headers.get("X-Halvex-Refuse-Status"):
                self.reply(503, "refused")
            else:
                self.reply(200, "ok")
        elif path.startswith("/count/"):
            with lock:
                self.reply(200, str(requested["/" + path[len("/count/"):]]))
        elif path == "/agent":
            self.reply(200, self.headers.get("User-Agent", ""))
        elif path == "/port":
            self.reply(200, str(self.server.server_address[1]))
        elif path == "/via-proxy":
            with lock:
                self.reply(200, "proxy" if self.client_address[1] in tunnels else "direct")
        elif path == "/echo":
            self.reply(200, "GET " + path)
        else:
            self.not_found(path)

    def do_POST(self):
        path = self.path_counted()
        body = self.body()
        if path == "/echo":
            self.reply(200, "POST %s %s" % (self.headers.get("Content-Type", ""), body))
        elif path == "/created":
            self.reply(201, "created " + body)
        elif path == "/no-content":
            self.reply(204, "")
        else:
            self.not_found(path)

    def do_PUT(self):
        path = self.path_counted()
        self.reply(200, "PUT " + self.body()) if path == "/echo" else self.not_found(path)

    def do_DELETE(self):
        path = self.path_counted()
        self.reply(200, "DELETE " + path) if path == "/echo" else self.not_found(path)

    def log_message(self, *args):
        pass


def make_files(folder):
    """trusted-ca.der with trusted-good.crl/.pem and trusted-revoked.crl (lists the servers'
    certificate); other-ca.der with other-good.crl and other-same-serial.crl, which lists a
    certificate of the other authority with the serial number of the servers' certificate;
    untrusted and self-signed server certificates; an expired certificate of the trusted authority."""
    trusted = Authority(folder, "trusted", "Halvex Vesk Test trusted")
    server = trusted.issue("trusted")
    trusted.issue("expired", start="20200101000000Z", end="20200201000000Z")
    trusted.crl("trusted-good")
    trusted.revoke(server)
    trusted.crl("trusted-revoked")

    other = Authority(folder, "other", "Halvex Vesk Test other")
    other.crl("other-good")
    other.revoke(other.issue("same-serial", serial=serial_of(server)))
    other.crl("other-same-serial")

    Authority(folder, "untrusted", "Halvex Vesk Test untrusted").issue("untrusted")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
            "-addext", "subjectAltName=DNS:localhost", "-keyout", "self-signed-server.key",
            "-out", "self-signed-server.pem", cwd=folder)


def main():
    with tempfile.TemporaryDirectory() as folder:
        make_files(folder)
        os.environ["HALVEX_TEST_CERTIFICATES"] = windows_path(folder)
        ca = windows_path(os.path.join(folder, "trusted-ca.der"))
        refusing, refused_port = refusing_port()
        with refusing, Server(Handler, folder, "trusted"), \
                Server(Handler, folder, "trusted", 0) as twin, \
                Server(Handler, folder, "untrusted", 0) as untrusted, \
                Server(Handler, folder, "self-signed", 0) as self_signed, \
                Server(Handler, folder, "expired", 0) as expired, \
                Proxy(0, RecordingConnectHandler) as proxy:
            for name, port in (("TRUSTED", twin.port), ("UNTRUSTED", untrusted.port),
                               ("SELF_SIGNED", self_signed.port), ("EXPIRED", expired.port),
                               ("PROXY", proxy.port), ("REFUSED", refused_port)):
                os.environ["HALVEX_VESK_%s_PORT" % name] = str(port)
            result = run_trusting(WINE_RUN, ROOT_TOOL, ca, TESTS, *sys.argv[4:])
    sys.exit(1 if result else 0)


if __name__ == "__main__":
    main()
