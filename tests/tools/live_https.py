"""Pieces of the live HTTPS test drivers: throw-away authorities with their server certificates and
revocation lists (made with the openssl command line), HTTPS servers and CONNECT proxies on
loopback, and the run of a Windows program under the build's Wine.

Everything listens on 127.0.0.1 only; the drivers run inside the test run's own network namespace."""
import http.server
import os
import select
import socket
import socketserver
import ssl
import subprocess
import threading

DEADLINE = 120  # seconds for a whole run


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


def run(*command):
    return subprocess.run(list(command), stdin=subprocess.DEVNULL, timeout=DEADLINE).returncode


def run_trusting(wine_run, root_tool, ca, *command):
    """Runs command through wine_run with the authority ca in the prefix's Root store, removed again
    afterwards; returns its exit code."""
    if run(wine_run, root_tool, ca) != 0:
        raise SystemExit("could not add the test authority to the Root store")
    try:
        return run(wine_run, *command)
    finally:
        run(wine_run, root_tool, ca, "--remove")


class Authority:
    """A certificate authority NAME with NAME-ca.key, NAME-ca.pem and NAME-ca.der in folder, and a
    database of its own for issuing, revoking and revocation lists."""

    def __init__(self, folder, name, common_name=None):
        self.folder = folder
        self.name = name
        self.common_name = common_name or "Halvex Test " + name
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + self.common_name,
                "-keyout", name + "-ca.key", "-out", name + "-ca.pem", "-addext", "basicConstraints=critical,CA:true",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
        openssl("x509", "-in", name + "-ca.pem", "-outform", "DER", "-out", name + "-ca.der", cwd=folder)
        self.database = os.path.join(folder, name + "-ca-db")
        os.makedirs(self.database)
        open(os.path.join(self.database, "index.txt"), "w").close()
        with open(os.path.join(self.database, "crlnumber"), "w") as f:
            f.write("01\n")
        self.config = os.path.join(self.database, "ca.cnf")
        with open(self.config, "w") as f:
            f.write("[ca]\ndefault_ca=test\n"
                    "[test]\ndatabase={0}/index.txt\ncrlnumber={0}/crlnumber\nserial={0}/serial\n"
                    "new_certs_dir={0}\nunique_subject=no\npolicy=anything\n"
                    "default_md=sha256\ndefault_crl_days=2\n"
                    "[anything]\ncommonName=supplied\n".format(self.database))
        with open(os.path.join(folder, "server.ext"), "w") as f:
            f.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n")

    def keys(self):
        return ["-keyfile", self.name + "-ca.key", "-cert", self.name + "-ca.pem"]

    def issue(self, name, serial=None, start=None, end=None):
        """A localhost certificate NAME-server.pem (key NAME-server.key) signed by this authority,
        valid for two days from now, or from start to end (openssl times such as 20200101000000Z);
        serial is a hexadecimal text (default: random)."""
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", name + "-server.key",
                "-out", name + "-server.csr", cwd=self.folder)
        with open(os.path.join(self.database, "serial"), "w") as f:
            f.write((serial or os.urandom(8).hex()) + "\n")
        validity = ["-days", "2"] if start is None else ["-startdate", start, "-enddate", end]
        openssl("ca", "-batch", "-notext", "-config", self.config, *self.keys(), *validity, "-extfile", "server.ext",
                "-in", name + "-server.csr", "-out", name + "-server.pem", cwd=self.folder)
        return os.path.join(self.folder, name + "-server.pem")

    def revoke(self, certificate):
        openssl("ca", "-config", self.config, "-revoke", certificate, *self.keys(), cwd=self.folder)

    def crl(self, name):
        """The authority's revocation list as it stands: NAME.pem (PEM) and NAME.crl (DER)."""
        openssl("ca", "-config", self.config, "-gencrl", *self.keys(), "-out", name + ".pem", cwd=self.folder)
        openssl("crl", "-in", name + ".pem", "-outform", "DER", "-out", name + ".crl", cwd=self.folder)


def serial_of(certificate):
    """The serial number of a PEM certificate as openssl writes it (hexadecimal)."""
    out = subprocess.run(["openssl", "x509", "-in", certificate, "-noout", "-serial"], check=True,
                         capture_output=True, text=True).stdout
    return out.strip().split("=", 1)[1]


def request_path(path):
    """The path of a request target; servers take the absolute form too, which Wine's WinHTTP
    sends inside a proxy tunnel."""
    if path.startswith("https://"):
        path = "/" + path.split("/", 3)[3] if path.count("/") >= 3 else "/"
    return path


class Running:
    """Serves self.server on a thread while entered; stopped at the latest after DEADLINE."""

    def arm_deadline(self):
        self.timer = threading.Timer(DEADLINE, self.server.shutdown)

    @property
    def port(self):
        return self.server.server_address[1]

    def __enter__(self):
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.timer.start()
        return self

    def __exit__(self, *exc):
        self.timer.cancel()
        self.server.shutdown()
        self.server.server_close()


class Server(Running):
    """An HTTPS server on 127.0.0.1:port (0: a free one) with NAME-server.pem and its key."""

    def __init__(self, handler, folder, name, port=443):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, name + "-server.pem"), os.path.join(folder, name + "-server.key"))
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
        self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        self.arm_deadline()


class ConnectHandler(socketserver.BaseRequestHandler):
    """A CONNECT proxy to the HTTPS server on localhost:443; with auth_required it answers every
    CONNECT with 407. It tunnels the targets named in targets, all to that one server."""

    auth_required = False
    targets = (b"localhost:443",)

    def tunnel_opened(self, upstream):
        """Called with the socket to the server before the tunnel carries anything."""

    def handle(self):
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 65536:
            chunk = self.request.recv(4096)
            if not chunk:
                return
            request += chunk
        words = request.split(b" ", 2)
        if len(words) < 3 or words[0] != b"CONNECT" or words[1] not in self.targets:
            self.request.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        if self.auth_required:
            self.request.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                                 b"Proxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n"
                                 b"Connection: close\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", 443), timeout=10)
        self.tunnel_opened(upstream)
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
    """A proxy on 127.0.0.1:port (0: a free one)."""

    def __init__(self, port, handler):
        socketserver.ThreadingTCPServer.allow_reuse_address = True
        self.server = socketserver.ThreadingTCPServer(("127.0.0.1", port), handler)
        self.server.daemon_threads = True
        self.arm_deadline()


def refusing_port():
    """A bound loopback socket that does not listen, and its port: connections to it are refused
    for as long as the socket is kept open."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    return sock, sock.getsockname()[1]
