#!/usr/bin/env python3
"""Makes the test PKI and the signed stage-2 packages that the package trust tests check.

usage: make_trust_fixtures.py OUTDIR --dev-root DEVROOTDIR

OUTDIR/pki holds certificates (PEM), their keys and CRLs; OUTDIR/packages holds one folder per
package. Everything is made fresh on each run with the openssl command line, so no key is ever
committed. DEVROOTDIR is the build's development root (root.crt, root.key), used for the one
package that the built-in root must accept.
"""
import argparse
import base64
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

VALID = ("20200101000000Z", "20450101000000Z")
EXPIRED = ("20180101000000Z", "20210101000000Z")
FUTURE = ("20400101000000Z", "20450101000000Z")
LARGEST_MANIFEST = 1024 * 1024


def openssl(*args, cwd=None, data=None):
    result = subprocess.run(["openssl", *args], cwd=cwd, input=data, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    if result.returncode != 0:
        sys.exit("openssl %s failed:\n%s" % (" ".join(args), result.stderr.decode(errors="replace")))
    return result.stdout


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def read(path):
    with open(path, "rb") as f:
        return f.read()


CONFIG = """[ca]
default_ca = issuer
[issuer]
dir = {dir}
database = {dir}/index.txt
serial = {dir}/serial
crlnumber = {dir}/crlnumber
new_certs_dir = {dir}/issued
default_md = sha256
policy = loose
unique_subject = no
copy_extensions = none
[loose]
organizationName = optional
commonName = supplied
[req]
distinguished_name = dn
prompt = no
[dn]
[authority]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


class Authority:
    """A certificate with its key and, for issuers, an openssl ca database."""

    def __init__(self, pki, name):
        self.pki = pki
        self.name = name
        self.crt = os.path.join(pki, name + ".crt")
        self.key = os.path.join(pki, name + ".key")
        self.dir = os.path.join(pki, "ca", name)

    def prepare_database(self):
        os.makedirs(os.path.join(self.dir, "issued"), exist_ok=True)
        write(os.path.join(self.dir, "index.txt"), "")
        # Serials differ between issuers, so no two certificates of the PKI look alike.
        write(os.path.join(self.dir, "serial"), hashlib.sha1(self.name.encode()).hexdigest()[:16].upper() + "\n")
        write(os.path.join(self.dir, "crlnumber"), "01\n")
        write(os.path.join(self.dir, "ca.cnf"), CONFIG.format(dir=self.dir))

    @property
    def config(self):
        return os.path.join(self.dir, "ca.cnf")

    def subject(self):
        return openssl("x509", "-in", self.crt, "-noout", "-subject", "-nameopt", "RFC2253").decode().strip()


def make_root(pki, name, common_name, dates=VALID):
    root = Authority(pki, name)
    root.prepare_database()
    # A self-issued request signed by openssl ca gives the root explicit dates, past ones included.
    csr = os.path.join(root.dir, "request.csr")
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", root.key, "-out", csr,
            "-subj", "/O=Halvex Test/CN=" + common_name, "-config", root.config)
    openssl("ca", "-batch", "-selfsign", "-config", root.config, "-keyfile", root.key, "-in", csr,
            "-out", root.crt, "-notext", "-startdate", dates[0], "-enddate", dates[1],
            "-extensions", "authority", "-preserveDN")
    return root


def adopt_root(pki, name, folder):
    root = Authority(pki, name)
    root.prepare_database()
    shutil.copyfile(os.path.join(folder, "root.crt"), root.crt)
    shutil.copyfile(os.path.join(folder, "root.key"), root.key)
    return root


def issue(issuer, name, common_name, dates=VALID, authority=False):
    issued = Authority(issuer.pki, name)
    csr = os.path.join(issuer.dir, name + ".csr")
    openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", issued.key, "-out", csr,
            "-subj", "/O=Halvex Test/CN=" + common_name, "-config", issuer.config)
    openssl("ca", "-batch", "-config", issuer.config, "-cert", issuer.crt, "-keyfile", issuer.key,
            "-in", csr, "-out", issued.crt, "-notext", "-startdate", dates[0], "-enddate", dates[1],
            "-extensions", "authority" if authority else "signer", "-preserveDN")
    if authority:
        issued.prepare_database()
    return issued


def revoke(issuer, certificate):
    openssl("ca", "-config", issuer.config, "-cert", issuer.crt, "-keyfile", issuer.key,
            "-revoke", certificate.crt)


def make_crl(issuer, out, last="20200101000000Z", next_="20450101000000Z"):
    openssl("ca", "-gencrl", "-batch", "-config", issuer.config, "-cert", issuer.crt,
            "-keyfile", issuer.key, "-out", out, "-crl_lastupdate", last, "-crl_nextupdate", next_)


def der_base64(certificate):
    der = openssl("x509", "-in", certificate.crt, "-outform", "DER")
    return base64.b64encode(der).decode()


def pem(certificate):
    return openssl("x509", "-in", certificate.crt).decode()


def sign(key, algorithm, data):
    return base64.b64encode(openssl("dgst", "-" + algorithm, "-sign", key.key, data=data)).decode()


# A signature line of the manifest: (algorithm name, signer, chain, what the signature covers);
# covers None means the body itself.
def line_signature(algorithm, signer, chain, covers=None):
    return (algorithm, signer, chain, covers)


def signature_lines(body, signatures):
    text = ""
    for algorithm, signer, chain, covers in signatures:
        digest = algorithm if algorithm in ("md5", "sha1", "sha256", "sha384", "sha512") else "sha384"
        text += "#sig %s %s\n" % (algorithm, sign(signer, digest, body if covers is None else covers))
        for certificate in [signer, *chain]:
            text += "#... cert %s\n" % der_base64(certificate)
    return text


def signature_block(body, signer, chain, covers=None):
    signature = sign(signer, "sha1", body if covers is None else covers)
    text = "-----BEGIN SIGNATURE-----\n"
    for i in range(0, len(signature), 64):
        text += signature[i:i + 64] + "\n"
    text += "-----END SIGNATURE-----\n"
    for certificate in [signer, *chain]:
        text += pem(certificate)
    return text


def entry(path, content, digests=()):
    line = '"%s" %d %s\n' % (path, len(content), hashlib.sha1(content).hexdigest())
    for name in digests:
        line += "#%s %s\n" % (name, hashlib.new(name, content).hexdigest())
    return line


class Package:
    def __init__(self, root):
        self.root = root

    def file(self, relative, content):
        write(os.path.join(self.root, *relative.split("/")), content)
        return content

    def manifest(self, relative, body, signatures="", block=None):
        data = body.encode() if isinstance(body, str) else body
        text = data + signatures.encode()
        if block is not None:
            text += block.encode()
        write(os.path.join(self.root, *relative.split("/")), text)


def make_pki(pki, dev_root_folder):
    root = make_root(pki, "root", "Halvex Test Manifest Root")
    intermediate = issue(root, "intermediate", "Halvex Test Intermediate", authority=True)
    issue(intermediate, "signer", "Halvex Test Signer")
    second = issue(intermediate, "second-intermediate", "Halvex Test Second Intermediate", authority=True)
    issue(second, "deep-signer", "Halvex Test Deep Signer")
    revoked = issue(root, "revoked-intermediate", "Halvex Test Revoked Intermediate", authority=True)
    issue(revoked, "revoked-signer", "Halvex Test Signer Under Revoked")
    expired = issue(root, "expired-intermediate", "Halvex Test Expired Intermediate", dates=EXPIRED,
                    authority=True)
    issue(expired, "signer-under-expired", "Halvex Test Signer Under Expired")
    issue(intermediate, "expired-signer", "Halvex Test Expired Signer", dates=EXPIRED)
    issue(intermediate, "future-signer", "Halvex Test Future Signer", dates=FUTURE)
    issue(root, "direct-signer", "Halvex Test Direct Signer")

    make_crl(root, os.path.join(pki, "root-empty.crl"))
    revoke(root, revoked)
    make_crl(root, os.path.join(pki, "root.crl"))
    make_crl(root, os.path.join(pki, "root-stale.crl"), "20200101000000Z", "20210101000000Z")
    write(os.path.join(pki, "root-crlf.crl"), read(os.path.join(pki, "root.crl")).replace(b"\n", b"\r\n"))

    # Same subject as the test root, another key: found by name, refused by signature.
    twin = make_root(pki, "root-twin", "Halvex Test Manifest Root")
    make_crl(twin, os.path.join(pki, "root-twin.crl"))

    other = make_root(pki, "other-root", "Halvex Other Root")
    other_intermediate = issue(other, "other-intermediate", "Halvex Other Intermediate", authority=True)
    issue(other_intermediate, "other-signer", "Halvex Other Signer")
    make_crl(other, os.path.join(pki, "other-root.crl"))

    expired_root = make_root(pki, "expired-root", "Halvex Test Expired Root", dates=EXPIRED)
    expired_root_intermediate = issue(expired_root, "expired-root-intermediate",
                                      "Halvex Test Intermediate Under Expired Root", authority=True)
    issue(expired_root_intermediate, "expired-root-signer", "Halvex Test Signer Under Expired Root")
    make_crl(expired_root, os.path.join(pki, "expired-root.crl"))

    dev_root = adopt_root(pki, "dev-root", dev_root_folder)
    dev_intermediate = issue(dev_root, "dev-intermediate", "Halvex Development Intermediate", authority=True)
    issue(dev_intermediate, "dev-signer", "Halvex Development Signer")

    write(os.path.join(pki, "bad.crl"), "-----BEGIN X509 CRL-----\n%s\n-----END X509 CRL-----\n"
          % base64.b64encode(b"this is not a revocation list").decode())


def cert(pki, name):
    return Authority(pki, name)


GOOD_FILES = [("a.txt", b"alpha\n", ("sha256", "sha384")),
              ("bin/b.dll", bytes(i % 251 for i in range(3000)), ("sha384",)),
              ("setup.dll", b"setup\n", ())]


def good_body(package, files=GOOD_FILES, newline="\n"):
    body = "# Halvex test package" + newline
    for relative, content, digests in files:
        package.file(relative, content)
        body += entry(relative, content, digests).replace("\n", newline)
    return body


def sub_manifest(package, pki, folder="sub", name="manifest.dat", files=(("bin/c.dll", b"charlie\n"),)):
    body = ""
    for relative, content in files:
        package.file(folder + "/" + relative, content)
        body += entry(relative, content)
    signer, chain = cert(pki, "signer"), [cert(pki, "intermediate")]
    package.manifest(folder + "/" + name, body, signature_lines(body.encode(),
                                                                [line_signature("sha384", signer, chain)]))


def make_packages(pki, packages):
    signer, intermediate = cert(pki, "signer"), cert(pki, "intermediate")
    good_chain = [intermediate]

    def line_signed(name, signatures_for, with_sub=True):
        package = Package(os.path.join(packages, name))
        body = good_body(package)
        package.manifest("manifest.dat", body, signature_lines(body.encode(), signatures_for))
        if with_sub:
            sub_manifest(package, pki)
        return package

    line_signed("good", [line_signature("sha384", signer, good_chain)])

    # The block package also carries the 64-bit setup program.
    package = Package(os.path.join(packages, "block"))
    body = good_body(package, GOOD_FILES + [("setup64.dll", b"setup64\n", ())])
    package.manifest("manifest.dat", body, block=signature_block(body.encode(), signer, good_chain))

    line_signed("deep-chain", [line_signature("sha384", cert(pki, "deep-signer"),
                                              [cert(pki, "second-intermediate"), intermediate])])
    line_signed("untrusted", [line_signature("sha384", cert(pki, "other-signer"),
                                             [cert(pki, "other-intermediate")])])
    line_signed("revoked", [line_signature("sha384", cert(pki, "revoked-signer"),
                                           [cert(pki, "revoked-intermediate")])])
    line_signed("expired-signer", [line_signature("sha384", cert(pki, "expired-signer"), good_chain)])
    line_signed("future-signer", [line_signature("sha384", cert(pki, "future-signer"), good_chain)])
    line_signed("expired-intermediate", [line_signature("sha384", cert(pki, "signer-under-expired"),
                                                        [cert(pki, "expired-intermediate")])])
    line_signed("direct-signer", [line_signature("sha384", cert(pki, "direct-signer"), [])])
    line_signed("expired-root", [line_signature("sha384", cert(pki, "expired-root-signer"),
                                                [cert(pki, "expired-root-intermediate")])])
    line_signed("dev-root", [line_signature("sha384", cert(pki, "dev-signer"), [cert(pki, "dev-intermediate")])],
                with_sub=False)

    # a.txt's SHA-384 and SHA-256 hold but its SHA-1 does not.
    package = Package(os.path.join(packages, "wrong-sha1"))
    body = good_body(package).replace(hashlib.sha1(b"alpha\n").hexdigest(), "0" * 40)
    package.manifest("manifest.dat", body, signature_lines(body.encode(), [line_signature("sha384", signer, good_chain)]))

    line_signed("unsigned", [])
    line_signed("broken-then-good", [line_signature("sha384", cert(pki, "other-signer"),
                                                    [cert(pki, "other-intermediate")]),
                                     line_signature("sha384", signer, good_chain)])
    line_signed("corrupt-then-good", [line_signature("sha384", signer, good_chain, covers=b"other bytes\n"),
                                      line_signature("sha384", signer, good_chain)])
    # The SHA-256 line covers other bytes: were it tried, the package would fail.
    line_signed("sha256-and-sha384", [line_signature("sha256", signer, good_chain, covers=b"other bytes\n"),
                                      line_signature("sha384", signer, good_chain)])
    line_signed("sha1-line-only", [line_signature("sha1", signer, good_chain)])
    line_signed("unknown-algorithm", [line_signature("sha512", signer, good_chain)])

    # The block covers other bytes, so only the line signature can make this package pass.
    package = Package(os.path.join(packages, "lines-and-block"))
    body = good_body(package)
    package.manifest("manifest.dat", body,
                     signature_lines(body.encode(), [line_signature("sha384", signer, good_chain)]),
                     block=signature_block(body.encode(), signer, good_chain, covers=b"other bytes\n"))
    sub_manifest(package, pki)

    make_size_limit(pki, os.path.join(packages, "size-limit"), signer, good_chain)

    package = Package(os.path.join(packages, "names"))
    files = [("CManifest.dat", b"an ordinary file\n"), ("X.DLL", b"x\n")]
    package.file("CManifest.dat", files[0][1])
    package.file("X.DLL", files[1][1])
    body = entry("CManifest.dat", files[0][1]) + entry("./x.dll", files[1][1])
    package.manifest("manifest.dat", body,
                     signature_lines(body.encode(), [line_signature("sha384", signer, good_chain)]))
    sub_manifest(package, pki, name="Manifest.DAT", files=(("y.txt", b"yankee\n"),))
    # Any name that ends in manifest.dat is a manifest, within the size limit.
    sub_manifest(package, pki, folder="sub2", name="xmanifest.dat", files=(("z.txt", b"zulu\n"),))

    package = Package(os.path.join(packages, "sub-only"))
    package.file("loose.txt", b"loose\n")
    sub_manifest(package, pki)

    package = Package(os.path.join(packages, "crlf"))
    body = good_body(package, newline="\r\n")
    package.manifest("manifest.dat", body,
                     signature_lines(body.encode(), [line_signature("sha384", signer, good_chain)]))


def padded_manifest(body, size, signatures_for):
    """A line-signed manifest of exactly size bytes, padded with comment lines in its body."""
    def build(padding):
        lines = ""
        while padding > 0:
            # Each comment line stays well under the parser's line limit; none is shorter
            # than "#" and its LF.
            length = min(padding, 60000)
            if padding - length == 1:
                length -= 1
            lines += "#" + "p" * (length - 2) + "\n"
            padding -= length
        padded = (body + lines).encode()
        return padded + signature_lines(padded, signatures_for).encode()

    bare = len(build(0))
    text = build(size - bare)
    if len(text) != size:
        sys.exit("padded manifest is %d bytes, wanted %d" % (len(text), size))
    return text


def make_size_limit(pki, folder, signer, chain):
    package = Package(folder)
    signatures = [line_signature("sha384", signer, chain)]
    body = good_body(package)
    write(os.path.join(folder, "manifest.dat"), padded_manifest(body, LARGEST_MANIFEST, signatures))
    # One byte over the limit: an ordinary file, so z.txt counts as unlisted.
    zulu = package.file("sub2/z.txt", b"zulu\n")
    write(os.path.join(folder, "sub2", "xmanifest.dat"),
          padded_manifest(entry("z.txt", zulu), LARGEST_MANIFEST + 1, signatures))


# Certificates whose signatures and dates hold but which break the rules of a certification
# path: an issuer that is no CA or may not sign certificates, a path longer than a CA allows,
# names that do not chain, self-issued certificates where none may be.
PATH_EXTENSIONS = """[server]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
[no_constraints]
keyUsage = critical, keyCertSign, cRLSign
[not_ca]
basicConstraints = critical, CA:false
keyUsage = critical, keyCertSign, cRLSign
[no_cert_sign]
basicConstraints = critical, CA:true
keyUsage = critical, digitalSignature, cRLSign
[no_key_usage]
basicConstraints = critical, CA:true
[bad_key_usage]
basicConstraints = critical, CA:true
2.5.29.15 = critical, DER:05:00
[path_length_0]
basicConstraints = critical, CA:true, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
[path_length_1]
basicConstraints = critical, CA:true, pathlen:1
keyUsage = critical, keyCertSign, cRLSign
"""


def path_extensions(pki, section):
    """The openssl ca arguments for an extension section: the ordinary ones or PATH_EXTENSIONS'."""
    if section in ("authority", "signer"):
        return ["-extensions", section]
    path = os.path.join(pki, "ca", "path-extensions.cnf")
    if not os.path.exists(path):
        write(path, PATH_EXTENSIONS)
    return ["-extfile", path, "-extensions", section]


def path_request(certificate, common_name, key):
    """A request for the certificate, with a new key or a copy of the given key file."""
    csr = os.path.join(certificate.dir, "request.csr")
    if key is None:
        openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", certificate.key, "-out", csr,
                "-subj", "/O=Halvex Test/CN=" + common_name, "-config", certificate.config)
    else:
        shutil.copyfile(key, certificate.key)
        openssl("req", "-new", "-key", certificate.key, "-out", csr,
                "-subj", "/O=Halvex Test/CN=" + common_name, "-config", certificate.config)
    return csr


def path_issue(issuer, name, common_name, section, key=None, issuer_crt=None):
    """Issues a certificate with the extensions of section; issuer_crt names the issuer in
    place of the issuer's own certificate (its key still signs)."""
    issued = Authority(issuer.pki, name)
    issued.prepare_database()
    csr = path_request(issued, common_name, key)
    openssl("ca", "-batch", "-config", issuer.config, "-cert", issuer_crt or issuer.crt,
            "-keyfile", issuer.key, "-in", csr, "-out", issued.crt, "-notext", "-startdate", VALID[0],
            "-enddate", VALID[1], *path_extensions(issuer.pki, section), "-preserveDN")
    return issued


def path_self_sign(pki, name, common_name, section, key=None):
    certificate = Authority(pki, name)
    certificate.prepare_database()
    csr = path_request(certificate, common_name, key)
    openssl("ca", "-batch", "-selfsign", "-config", certificate.config, "-keyfile", certificate.key,
            "-in", csr, "-out", certificate.crt, "-notext", "-startdate", VALID[0], "-enddate", VALID[1],
            *path_extensions(pki, section), "-preserveDN")
    return certificate


def make_path_pki(pki):
    root, intermediate = cert(pki, "root"), cert(pki, "intermediate")

    # A TLS server's certificate, issued properly, used as an issuer.
    server = path_issue(intermediate, "server", "Halvex Test Server", "server")
    path_issue(server, "signer-under-server", "Halvex Test Signer Under Server", "signer")
    for kind in ("no-constraints", "not-ca", "no-cert-sign", "no-key-usage", "bad-key-usage"):
        below = path_issue(root, kind + "-intermediate", "Halvex Test Intermediate " + kind,
                           kind.replace("-", "_"))
        path_issue(below, "signer-under-" + kind, "Halvex Test Signer Under " + kind, "signer")

    # pathlen 0: a signer may sit right below it, another CA may not.
    length0 = path_issue(root, "path-length-0-intermediate", "Halvex Test Path Length 0 Intermediate",
                         "path_length_0")
    path_issue(length0, "signer-under-path-length-0", "Halvex Test Signer Under Path Length 0", "signer")
    below0 = path_issue(length0, "below-path-length-0", "Halvex Test CA Below Path Length 0", "authority")
    path_issue(below0, "signer-below-path-length-0", "Halvex Test Signer Below Path Length 0", "signer")

    # A root that allows one intermediate.
    short = path_self_sign(pki, "short-root", "Halvex Test Short Root", "path_length_1")
    make_crl(short, os.path.join(pki, "short-root.crl"))
    first = path_issue(short, "short-root-intermediate", "Halvex Test Short Root Intermediate", "authority")
    path_issue(first, "short-root-signer", "Halvex Test Short Root Signer", "signer")
    second = path_issue(first, "short-root-second-intermediate", "Halvex Test Short Root Second Intermediate",
                        "authority")
    path_issue(second, "short-root-deep-signer", "Halvex Test Short Root Deep Signer", "signer")

    # Signed with the intermediate's key under another issuer name.
    alias = os.path.join(intermediate.dir, "alias.crt")
    openssl("req", "-new", "-x509", "-key", intermediate.key, "-out", alias, "-days", "1",
            "-subj", "/O=Halvex Test/CN=Halvex Test Intermediate Alias", "-config", intermediate.config,
            "-addext", "subjectKeyIdentifier=hash")
    path_issue(intermediate, "signer-via-alias", "Halvex Test Signer Via Alias", "signer", issuer_crt=alias)
    misnamed = path_issue(intermediate, "misnamed-intermediate", "Halvex Test Misnamed Intermediate", "authority",
                          issuer_crt=alias)
    path_issue(misnamed, "signer-under-misnamed", "Halvex Test Signer Under Misnamed", "signer")

    # A self-signed signer whose key and name a proper intermediate also carries.
    twin = path_issue(root, "self-signed-signer-intermediate", "Halvex Test Self-Signed Signer", "authority")
    path_self_sign(pki, "self-signed-signer", "Halvex Test Self-Signed Signer", "signer", key=twin.key)


def make_path_packages(pki, packages):
    package = Package(os.path.join(packages, "signed-under-server"))
    body = good_body(package)
    package.manifest("manifest.dat", body, signature_lines(body.encode(), [
        line_signature("sha384", cert(pki, "signer-under-server"), [cert(pki, "server"), cert(pki, "intermediate")])]))


# Entry paths that would lead the verifier out of its package or to a device, each in a package
# signed as it should be, so that only the path can refuse it. A file planted beside the package
# as outside.txt with OUTSIDE's content would pass the check, were the path followed.
OUTSIDE = b"outside\n"
UNSAFE_ENTRY_PATHS = [
    ("unsafe-parent", "../outside.txt", OUTSIDE),
    ("unsafe-inner-parent", "bin/../a.txt", b"alpha\n"),
    ("unsafe-backslash-parent", "bin\\..\\..\\outside.txt", OUTSIDE),
    ("unsafe-slash-root", "/outside.txt", OUTSIDE),
    ("unsafe-backslash-root", "\\outside.txt", OUTSIDE),
    ("unsafe-unc", "\\\\server\\share\\outside.txt", OUTSIDE),
    ("unsafe-device", "nul.txt", b""),
    ("unsafe-drive", "C:outside.txt", OUTSIDE),
    ("unsafe-stream", "a.txt:hidden", OUTSIDE),
]


def make_unsafe_entry_packages(pki, packages):
    signer, chain = cert(pki, "signer"), [cert(pki, "intermediate")]
    for name, path, content in UNSAFE_ENTRY_PATHS:
        package = Package(os.path.join(packages, name))
        body = good_body(package) + entry(path, content)
        package.manifest("manifest.dat", body, signature_lines(body.encode(), [line_signature("sha384", signer, chain)]))


# A correctly signed package with a link to a folder outside it, made on the host: Wine shows a
# host link to a folder as a reparse point, and can make none itself.
def make_link_packages(pki, packages):
    signer, chain = cert(pki, "signer"), [cert(pki, "intermediate")]
    package = Package(os.path.join(packages, "folder-link"))
    body = good_body(package)
    package.manifest("manifest.dat", body, signature_lines(body.encode(), [line_signature("sha384", signer, chain)]))
    Package(os.path.join(packages, "folder-link-target")).file("evil.dll", b"evil\n")
    os.symlink(os.path.join("..", "folder-link-target"), os.path.join(package.root, "linked"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--dev-root", required=True)
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    work = tempfile.mkdtemp(dir=out, prefix="making-")
    pki = os.path.join(work, "pki")
    os.makedirs(pki)
    make_pki(pki, os.path.abspath(args.dev_root))
    make_path_pki(pki)
    packages = os.path.join(work, "packages")
    make_packages(pki, packages)
    make_path_packages(pki, packages)
    make_unsafe_entry_packages(pki, packages)
    make_link_packages(pki, packages)
    shutil.rmtree(os.path.join(pki, "ca"))
    os.replace(pki, os.path.join(out, "pki"))
    os.replace(packages, os.path.join(out, "packages"))
    os.rmdir(work)
    write(os.path.join(out, "stamp"), "")


if __name__ == "__main__":
    main()
