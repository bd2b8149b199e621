"""Local stand-ins for the installer's web services, shared by the end-to-end tests and the demo.

One HTTPS server on 127.0.0.1:443 answers for every host the installer talks to, told apart by the
TLS server name and the Host header: the Kelm configuration service, the management API of a
stamped installer, and the download hosts. Its certificates come from a throw-away authority
that the caller puts into the Wine prefix's Root store; a second authority, never trusted, signs
the certificate of any host named untrusted. Every request is recorded before it is answered.

The stage-2 archives are made here too: a tar.gz (GNU format) of a fake stage 2 and a data file,
listed by a manifest signed under the package-trust fixtures' test root, whole or with one fault."""
import http.server
import io
import json
import os
import ssl
import sys
import tarfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "PackageTrust"))
from live_https import Authority, ConnectHandler, Proxy, Running, request_path  # noqa: E402
import make_trust_fixtures as trust  # noqa: E402

# The production Kelm host, the default download host and the hosts of a stamped install: the
# installer server its stamp names and what the stage-2 details reply names.
KELM_HOST = "s.halvex.com"
DOWNLOAD_HOST = "downloads.halvex.com"
MANAGEMENT_HOST = "manage.halvex.com"
MIRROR_HOST = "mirror.halvex.com"
QOR_HOST = "qor.halvex.com"
TELEMETRY_HOST = "telemetry.halvex.com"
HOSTS = [KELM_HOST, DOWNLOAD_HOST, MANAGEMENT_HOST, MIRROR_HOST, QOR_HOST, TELEMETRY_HOST]

CONFIG_PATH = "/config/windows-installer.json"
DETAILS_PATH = "/api/download/stage2-details/"
ARCHIVE_PATH = "/full/corvale/windows/vesk/installer/"
CUSTOMER_TOKEN = "0123456789abcdefghij-KLMNOPQRST.uv_w"
STAGE2_FILE = "vesk-stage2-1.0.0.1.tar.gz"
STAGE2_PROGRAM = "HalvexInstall_Stage2.exe"


def hosts_file():
    """The text of a hosts file that maps every service host, and localhost, to loopback."""
    return "".join("127.0.0.1 %s\n" % name for name in ["localhost", *HOSTS])


def config_document(minimum="1.0.0.0", filename=STAGE2_FILE):
    return json.dumps({"stage1-minimum-supported-version": minimum, "stage2-filename": filename,
                       "stage2-filename-arm64": "arm64-" + filename}).encode()


def details_reply(filename=STAGE2_FILE, downloads=MIRROR_HOST):
    return json.dumps({"stage2_filename": filename, "qor_server": QOR_HOST, "downloads_server": downloads,
                       "telemetry_server": TELEMETRY_HOST}).encode()


class Certificates:
    """The trusted authority (trusted-ca.der goes into the Root store) and the stranger, each with
    one server certificate for every service host, in folder."""

    def __init__(self, folder):
        self.folder = folder
        authorities = {"trusted": Authority(folder, "trusted", "Halvex End-to-End Services"),
                       "stranger": Authority(folder, "stranger", "Halvex End-to-End Stranger")}
        # Authority.issue takes the extensions from server.ext: name every host, not only localhost.
        with open(os.path.join(folder, "server.ext"), "w") as f:
            f.write("subjectAltName=%s\nextendedKeyUsage=serverAuth\n" % ",".join("DNS:" + h for h in HOSTS))
        self.contexts = {}
        for name, authority in authorities.items():
            authority.issue(name)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(folder, name + "-server.pem"),
                                    os.path.join(folder, name + "-server.key"))
            self.contexts[name] = context
        self.root = os.path.join(folder, "trusted-ca.der")


class Request:
    def __init__(self, sni, method, path, headers, body, via_proxy):
        self.sni = sni
        self.method = method
        self.path = path
        self.headers = headers
        self.host = headers.get("Host", "").split(":")[0].lower()
        self.body = body
        self.via_proxy = via_proxy

    def describe(self):
        return "%s https://%s%s%s" % (self.method, self.host, self.path, " (through the proxy)" if self.via_proxy else "")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    services = None

    def setup(self):
        # The handshake runs here, on the connection's own thread, so one stuck client cannot
        # hold up the others; a refused one leaves a record and an empty conversation.
        self.failed = False
        try:
            self.request.do_handshake()
            self.services.connected(getattr(self.request, "server_name", None))
        except (OSError, ssl.SSLError) as error:
            self.services.handshake_failed(getattr(self.request, "server_name", None), error)
            self.failed = True
            self.rfile = io.BytesIO()
            self.wfile = io.BytesIO()
            return
        super().setup()

    def handle(self):
        if not self.failed:
            super().handle()

    def finish(self):
        if not self.failed:
            super().finish()

    def answer(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0") or "0"))
        request = Request(getattr(self.request, "server_name", None), self.command, request_path(self.path),
                          dict(self.headers.items()), body, self.client_address[1] in self.services.tunnel_ports())
        status, content_type, data = self.services.answer(request)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    do_GET = do_POST = do_PUT = do_DELETE = answer

    def log_message(self, *args):
        pass


class Services(Running):
    """The HTTPS server with what it answers, set by the caller before the run:
    config        the Kelm configuration document (bytes)
    details       the stage-2 details reply (bytes) for CUSTOMER_TOKEN
    archive_host  the host that serves the archive (others answer 404)
    archive_plan  (status, bytes) per archive request in turn; the last one repeats
    untrusted     host names whose handshake shows the stranger's certificate
    archive_gate  a threading.Event the archive requests wait for (None: they answer at once)
A client that refuses the certificate may do so after the handshake has completed (TLS 1.3):
connections and handshake_failures together hold every server name asked for."""

    def __init__(self, certificates):
        self.certificates = certificates
        self.config = config_document()
        self.details = details_reply()
        self.archive_host = DOWNLOAD_HOST
        self.archive_plan = [(404, b"no archive")]
        self.untrusted = set()
        self.requests = []
        self.connections = []  # the server name of every completed handshake
        self.handshake_failures = []
        self.tunnels = set()
        self.lock = threading.Lock()
        self.archive_requests = 0
        # When set, an archive request waits for it; archive_asked tells that one came.
        self.archive_gate = None
        self.archive_asked = threading.Event()

        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.sni_callback = self.choose_certificate
        handler = type("ServicesHandler", (Handler,), {"services": self})
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 443), handler)
        self.server.daemon_threads = True
        self.server.socket = context.wrap_socket(self.server.socket, server_side=True, do_handshake_on_connect=False)
        self.arm_deadline()

    def choose_certificate(self, connection, server_name, _context):
        connection.server_name = server_name
        name = "stranger" if server_name in self.untrusted else "trusted"
        connection.context = self.certificates.contexts[name]

    def connected(self, server_name):
        with self.lock:
            self.connections.append(server_name)

    def handshake_failed(self, server_name, error):
        with self.lock:
            self.handshake_failures.append((server_name, str(error)))

    def tunnel_opened(self, upstream):
        with self.lock:
            self.tunnels.add(upstream.getsockname()[1])

    def tunnel_ports(self):
        with self.lock:
            return set(self.tunnels)

    def answer(self, request):
        if (self.archive_gate is not None and request.host == self.archive_host and request.method == "GET"
                and request.path.startswith(ARCHIVE_PATH)):
            # Held (outside the lock) until the test has looked at the download in progress.
            self.archive_asked.set()
            self.archive_gate.wait(120)
        with self.lock:
            self.requests.append(request)
            if request.host == KELM_HOST and request.method == "GET" and request.path == CONFIG_PATH:
                return 200, "application/json", self.config
            if request.host == KELM_HOST and request.method == "GET" and request.path.startswith(CONFIG_PATH + "?"):
                return 200, "text/plain", b""
            if (request.host == MANAGEMENT_HOST and request.method == "POST"
                    and request.path == DETAILS_PATH + CUSTOMER_TOKEN):
                return 200, "application/json", self.details
            if (request.host == self.archive_host and request.method == "GET"
                    and request.path.startswith(ARCHIVE_PATH)):
                step = self.archive_plan[min(self.archive_requests, len(self.archive_plan) - 1)]
                self.archive_requests += 1
                return step[0], "application/gzip" if step[0] == 200 else "text/plain", step[1]
            return 404, "text/plain", b"not here"

    def seen(self):
        with self.lock:
            return list(self.requests)


class _TunnelHandler(ConnectHandler):
    targets = tuple(("%s:443" % host).encode() for host in HOSTS)
    services = None

    def tunnel_opened(self, upstream):
        self.services.tunnel_opened(upstream)


def customer_proxy(services):
    """A loopback CONNECT proxy on a free port that tunnels to the services; requests through it
    are recorded as coming through the proxy."""
    return Proxy(0, type("TunnelHandler", (_TunnelHandler,), {"services": services}))


# The stage-2 package. Each fault keeps everything else as in the good package.
FAULTS = {
    "good": "the package as signed",
    "corrupt": "the archive cut off half-way",
    "hostile": "an entry that climbs out of the unpacking folder",
    "unlisted": "a file that no manifest lists",
    "changed": "stage 2 altered after signing",
    "smuggled": "a manifest entry after the signature, which covers nothing after it",
    "badsigner": "a manifest signed under a root the installer does not trust",
}
ESCAPED = "escaped.txt"


def package_files(stage2):
    return [(STAGE2_PROGRAM, stage2), ("data/readme.txt", b"Halvex end-to-end stage 2\n")]


def manifest(pki, files, signer="signer", chain=("intermediate",), after=""):
    body = "# Halvex end-to-end stage 2\n" + "".join(trust.entry(n, d, ("sha256",)) for n, d in files)
    signatures = trust.signature_lines(body.encode(), [trust.line_signature(
        "sha384", trust.cert(pki, signer), [trust.cert(pki, c) for c in chain])])
    return (body + signatures + after).encode()


def tar_gz(entries):
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w:gz", format=tarfile.GNU_FORMAT) as archive:
        for name, content in entries:
            info = tarfile.TarInfo(name)
            info.size = len(content)
            info.mode = 0o644
            archive.addfile(info, io.BytesIO(content))
    return data.getvalue()


def stage2_archive(pki, stage2, fault="good"):
    """The archive's bytes; pki is the package-trust fixtures' pki folder, stage2 the fake stage 2."""
    files = package_files(stage2)
    if fault == "badsigner":
        return tar_gz([("manifest.dat", manifest(pki, files, "other-signer", ("other-intermediate",)))] + files)
    if fault == "smuggled":
        smuggled = ("smuggled.dll", b"not signed for\n")
        text = manifest(pki, files, after=trust.entry(*smuggled))
        return tar_gz([("manifest.dat", text)] + files + [smuggled])
    entries = [("manifest.dat", manifest(pki, files))] + files
    if fault == "unlisted":
        entries.append(("data/unlisted.txt", b"in no manifest\n"))
    elif fault == "changed":
        entries = [(n, d + b"\0tampered" if n == STAGE2_PROGRAM else d) for n, d in entries]
    elif fault == "hostile":
        entries.append(("../../" + ESCAPED, b"outside\n"))
    archive = tar_gz(entries)
    if fault == "corrupt":
        archive = archive[:len(archive) // 2]
    return archive


def package_tree(pki, stage2):
    """The verified tree a good archive leaves: (relative path, bytes) pairs, manifest included."""
    files = package_files(stage2)
    return [("manifest.dat", manifest(pki, files))] + files
