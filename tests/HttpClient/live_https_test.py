#!/usr/bin/env python3
"""Runs the live HTTPS tests: a server on localhost:443 (loopback only, inside the test run's own
network namespace) with a certificate of a throw-away authority, which is in the Wine prefix's Root
store for the first run of the tests; a second server's authority is trusted by nobody."""
import http.server
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from live_https import (Authority, AuthConnectHandler, ConnectHandler, Proxy, Server, request_path, run, run_trusting,  # noqa: E402
                        windows_path)

WINE_RUN, ROOT_TOOL, TESTS = sys.argv[1:4]


class Handler(http.server.BaseHTTPRequestHandler):
    def reply(self, status, body):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        path = request_path(self.path)
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


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        Authority(folder, "trusted").issue("trusted")
        unknown = Authority(folder, "unknown")
        server = unknown.issue("unknown")
        unknown.crl("unknown-good")
        unknown.revoke(server)
        unknown.crl("unknown-revoked")
        os.environ["HALVEX_TEST_CERTIFICATES"] = windows_path(folder)
        ca = windows_path(os.path.join(folder, "trusted-ca.der"))
        with Server(Handler, folder, "trusted"), Proxy(3128, ConnectHandler), Proxy(3129, AuthConnectHandler):
            failures += run_trusting(WINE_RUN, ROOT_TOOL, ca, TESTS, "--gtest_filter=HttpClientLive.*") != 0
        # A server whose authority was never trusted.
        with Server(Handler, folder, "unknown"):
            failures += run(WINE_RUN, TESTS, "--gtest_filter=HttpClientLiveUntrusted.*") != 0
    print("%d passed, %d failed" % (2 - failures, failures))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
