#!/usr/bin/env python3
"""Runs the live tests of the stage-2 details request: a stand-in for the management API on
localhost:443 (loopback only, inside the test run's own network namespace) with a certificate of a
throw-away authority, which is in the Wine prefix's Root store for the run, and a CONNECT proxy to
it on a free port.

The API answers the one known token's POST with the request as it arrived: the request line, the
header lines in their order and the body, after a first line that says whether it came through
the proxy. Any other path is answered with 404."""
import http.server
import os
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from live_https import Authority, ConnectHandler, Proxy, Server, request_path, run_trusting, windows_path  # noqa: E402

WINE_RUN, ROOT_TOOL, TESTS = sys.argv[1:4]
TOKEN = "0123456789abcdefghij-KLMNOPQRST.uv_w"

lock = threading.Lock()
tunnels = set()  # the proxy's local ports towards the API


class RecordingConnectHandler(ConnectHandler):
    def tunnel_opened(self, upstream):
        with lock:
            tunnels.add(upstream.getsockname()[1])


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def reply(self, status, data):
        self.send_response(status)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        path = request_path(self.path)
        if path != "/api/download/stage2-details/" + TOKEN:
            self.reply(404, b"no such customer")
            return
        with lock:
            route = "proxy" if self.client_address[1] in tunnels else "direct"
        lines = [route, "%s %s" % (self.command, path)]
        lines += ["%s: %s" % item for item in self.headers.items()]
        self.reply(200, ("\n".join(lines) + "\n\n").encode("utf-8") + body)

    def log_message(self, *args):
        pass


def main():
    with tempfile.TemporaryDirectory() as folder:
        Authority(folder, "trusted", "Halvex Details Test trusted").issue("trusted")
        ca = windows_path(os.path.join(folder, "trusted-ca.der"))
        with Server(Handler, folder, "trusted"), Proxy(0, RecordingConnectHandler) as proxy:
            os.environ["HALVEX_DETAILS_PROXY_PORT"] = str(proxy.port)
            result = run_trusting(WINE_RUN, ROOT_TOOL, ca, TESTS, *sys.argv[4:])
    sys.exit(1 if result else 0)


if __name__ == "__main__":
    main()
