#!/usr/bin/env python3
"""Times the stage-2 path (unpack, strict verification, hard links) against native tools.

usage: run_benchmark.py BUILD_DIR [--sizes 10,100,300] [--repeat 3] [--fresh] [--driver EXE]

For each size (in MB of 2**20 bytes) it makes a stage 2 of a few hundred files of mixed sizes
(compressible text, random bytes and a mix of both, in a few sub-folders) with two manifests
signed under a throw-away test root, packs it as a GNU tar with gzip, then times
BUILD_DIR/tests/Benchmark/PackageBenchmark.exe under Wine (in the build's own prefix, inside a
network namespace that has only loopback) and, on the same archive, native `tar -xzf` followed by
`sha1sum`, `sha256sum` and `sha384sum` of the unpacked files. The two take turns, --repeat times
each, and the fastest run of each counts; the peak working set is the largest seen. The driver's
time runs from the archive in memory (as after a download) to the linked tree; reading the
archive file into memory is shown apart.

Everything generated stays under BUILD_DIR/benchmark/: the test root and its keys, the stage-2
trees and archives (kept for the next run; --fresh makes them again) and the unpacked copies.
"""
import argparse
import hashlib
import json
import math
import os
import random
import shutil
import subprocess
import sys
import tarfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
TOOLS = os.path.join(TOP, "tests", "tools")
# No bytecode cache in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(TOP, "tests", "PackageTrust"))
import make_trust_fixtures as trust  # noqa: E402  (the test PKI's openssl helpers)

MB = 1 << 20
# Changes whenever the generated trees change, so that stale ones are made again.
TREE_VERSION = 1
FOLDERS = ["", "bin", "bin/plugins", "data", "data/locale", "drivers"]
# The sub-folder with its own manifest; everything else is listed by the root manifest.
SUB_MANIFEST_FOLDER = "drivers"
# Sizes at the edges of a tar block and of a 64 KiB write, present in every tree.
EDGE_SIZES = [0, 1, 511, 512, 513, 65535, 65536, 65537, 262144, 262145]


def log(text):
    print(text, file=sys.stderr, flush=True)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---------------------------------------------------------------------------------------------
# Test root and stage-2 packages

def make_pki(pki):
    if os.path.exists(os.path.join(pki, "stamp")):
        return
    shutil.rmtree(pki, ignore_errors=True)
    os.makedirs(pki)
    root = trust.make_root(pki, "root", "Halvex Benchmark Root")
    intermediate = trust.issue(root, "intermediate", "Halvex Benchmark Intermediate", authority=True)
    trust.issue(intermediate, "signer", "Halvex Benchmark Signer")
    certificates = os.path.join(pki, "certificates")
    os.makedirs(certificates)
    shutil.copyfile(root.crt, os.path.join(certificates, "root.crt"))
    trust.make_crl(root, os.path.join(certificates, "root.crl"))
    trust.write(os.path.join(pki, "stamp"), "")


def text_pool(rng):
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10)))
             for _ in range(3000)]
    lines = []
    size = 0
    while size < 4 * MB:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(4, 14))) + "\n"
        lines.append(line)
        size += len(line)
    return "".join(lines).encode()


def content(rng, pool, kind, size):
    if kind == "random":
        return rng.randbytes(size)
    pieces = []
    left = size
    while left > 0:
        length = min(left, rng.randint(1024, 64 * 1024))
        if kind == "text" or rng.random() < 0.4:
            start = rng.randrange(0, len(pool) - length) if length < len(pool) else 0
            pieces.append(pool[start:start + length])
        elif rng.random() < 0.5:
            pieces.append(bytes(length))
        else:
            pieces.append(rng.randbytes(length))
        left -= length
    return b"".join(pieces)[:size]


def file_sizes(rng, total, count):
    """count sizes adding up to total: the edge sizes, the rest log-uniform over 1 to 20000."""
    rest = total - sum(EDGE_SIZES)
    weights = [math.exp(rng.uniform(0, math.log(20000))) for _ in range(count - len(EDGE_SIZES))]
    scale = rest / sum(weights)
    sizes = [int(w * scale) for w in weights]
    sizes[0] += rest - sum(sizes)
    return EDGE_SIZES + sizes


def make_tree(tree, megabytes):
    """The stage-2 files of one size, with their digests in tree/index.json."""
    index_path = os.path.join(tree, "index.json")
    if os.path.exists(index_path):
        with open(index_path) as f:
            index = json.load(f)
        if index["version"] == TREE_VERSION:
            return index
    shutil.rmtree(tree, ignore_errors=True)
    rng = random.Random(megabytes * 7919 + TREE_VERSION)
    pool = text_pool(rng)
    count = 200 + megabytes
    files = []
    for number, size in enumerate(file_sizes(rng, megabytes * MB, count)):
        kind = rng.choice(["text", "text", "random", "mixed", "mixed"])
        folder = rng.choice(FOLDERS)
        extension = {"text": ".txt", "random": ".bin", "mixed": ".dll"}[kind]
        relative = (folder + "/" if folder else "") + "file%04d%s" % (number, extension)
        data = content(rng, pool, kind, size)
        trust.write(os.path.join(tree, "files", relative), data)
        files.append({"path": relative, "size": size, "sha1": hashlib.sha1(data).hexdigest(),
                      "sha256": hashlib.sha256(data).hexdigest(), "sha384": hashlib.sha384(data).hexdigest()})
    index = {"version": TREE_VERSION, "megabytes": megabytes, "files": files}
    with open(index_path, "w") as f:
        json.dump(index, f)
    return index


def manifest_line(path, entry):
    return '"%s" %d %s\n#sha256 %s\n#sha384 %s\n' % (path, entry["size"], entry["sha1"], entry["sha256"],
                                                     entry["sha384"])


def write_manifests(tree, index, pki):
    signer = trust.Authority(pki, "signer")
    chain = [trust.Authority(pki, "intermediate")]
    bodies = {"": "# Halvex benchmark stage 2\n", SUB_MANIFEST_FOLDER: "# Halvex benchmark drivers\n"}
    prefix = SUB_MANIFEST_FOLDER + "/"
    for entry in index["files"]:
        if entry["path"].startswith(prefix):
            bodies[SUB_MANIFEST_FOLDER] += manifest_line(entry["path"][len(prefix):], entry)
        else:
            bodies[""] += manifest_line(entry["path"], entry)
    for folder, body in bodies.items():
        signatures = trust.signature_lines(body.encode(), [trust.line_signature("sha384", signer, chain)])
        trust.write(os.path.join(tree, "files", folder, "manifest.dat"), body + signatures)


def pack(tree, archive):
    files = os.path.join(tree, "files")

    def normalise(info):
        info.uid = info.gid = 0
        info.uname = info.gname = "root"
        info.mtime = 1_600_000_000
        return info

    partial = archive + ".partial"
    with tarfile.open(partial, "w:gz", format=tarfile.GNU_FORMAT, compresslevel=6) as out:
        for folder, subfolders, names in os.walk(files):
            subfolders.sort()
            for name in sorted(subfolders) + sorted(names):
                path = os.path.join(folder, name)
                out.add(path, arcname=os.path.relpath(path, files), recursive=False, filter=normalise)
    os.replace(partial, archive)


def make_package(data, pki, megabytes):
    tree = os.path.join(data, "stage2-%dMB" % megabytes)
    archive = tree + ".tar.gz"
    stamp = archive + ".stamp"
    root_pem = trust.read(os.path.join(pki, "root.crt"))
    key = hashlib.sha256(root_pem + b"%d" % TREE_VERSION).hexdigest()
    index = make_tree(tree, megabytes)
    if not (os.path.exists(archive) and os.path.exists(stamp) and trust.read(stamp).decode() == key):
        log("benchmark: packing %d MB stage 2" % megabytes)
        write_manifests(tree, index, pki)
        pack(tree, archive)
        trust.write(stamp, key)
    # Every listed file and the two manifests.
    return {"megabytes": megabytes, "archive": archive, "files": [f["path"] for f in index["files"]],
            "index": index, "entries": len(index["files"]) + 2}


# ---------------------------------------------------------------------------------------------
# The timed runs, inside the namespace: native tools and the driver, taking turns

def remove_tree(path):
    if os.path.lexists(path):
        shutil.rmtree(path)


def run_native(package, work):
    remove_tree(work)
    os.makedirs(work)
    files = package["files"]
    start = time.perf_counter()
    subprocess.run(["tar", "-xzf", package["archive"], "-C", work], check=True)
    sums = {}
    for tool in ("sha1sum", "sha256sum", "sha384sum"):
        result = subprocess.run([tool, "--", *files], cwd=work, check=True, stdout=subprocess.PIPE)
        sums[tool] = result.stdout
    seconds = time.perf_counter() - start
    # What was timed must have been the real work.
    expected = "".join("%s  %s\n" % (f["sha384"], f["path"]) for f in package["index"]["files"]).encode()
    if sums["sha384sum"] != expected:
        sys.exit("benchmark: native sha384sum disagrees with the generated files")
    remove_tree(work)
    return seconds


def parse_driver_output(text):
    figures = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2:
            figures[parts[0]] = float(parts[1])
    return figures


def count_linked_files(work):
    count = 0
    for folder, subfolders, names in os.walk(work):
        if folder == work and "extract_cache" in subfolders:
            subfolders.remove("extract_cache")
        count += len(names)
    return count


def run_driver(plan, package, work, trace_log):
    remove_tree(work)
    os.makedirs(work)
    if os.path.exists(trace_log):
        os.remove(trace_log)
    result = subprocess.run([os.path.join(TOOLS, "wine-run"), plan["exe"], windows_path(package["archive"]),
                             windows_path(plan["certificates"]), windows_path(work), windows_path(trace_log)],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        sys.exit("benchmark: the driver failed (exit %d) on %s:\n%s" % (
            result.returncode, package["archive"], result.stderr.decode(errors="replace")))
    figures = parse_driver_output(result.stdout.decode(errors="replace"))
    linked = count_linked_files(work)
    if linked != package["entries"]:
        sys.exit("benchmark: %d files linked into %s, expected %d" % (linked, work, package["entries"]))
    remove_tree(work)
    return figures


def measure(plan_path):
    """Runs the planned runs; called inside the namespace, with the prefix locked."""
    with open(plan_path) as f:
        plan = json.load(f)
    # Starts the prefix's wineserver first, so that no timed run pays for it.
    subprocess.run([os.path.join(TOOLS, "wine-run"), "cmd", "/c", "exit", "0"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    results = {package["archive"]: {"native": [], "driver": []} for package in plan["packages"]}
    # Each native run next to a driver run of the same archive, so both see the same machine load.
    for _ in range(plan["repeat"]):
        for package in plan["packages"]:
            result = results[package["archive"]]
            result["native"].append(run_native(package, os.path.join(plan["data"], "work-native")))
            result["driver"].append(run_driver(plan, package, os.path.join(plan["data"], "work-driver"),
                                               os.path.join(plan["data"], "trace-%dMB.log" % package["megabytes"])))
    with open(plan["results"], "w") as f:
        json.dump(results, f)


# Locks the prefix as run-ctest does (a test run and a benchmark never share its wineserver) and
# stops the server at the end.
NAMESPACE_SCRIPT = r"""
set -eu
ip link set lo up
export HALVEX_WINEPREFIX="$1" WINEPREFIX="$1"
shift
unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY
. "$HALVEX_TOOLS/prefix-lock.sh"
take_prefix_lock run_benchmark
status=0
"$@" 8>&- || status=$?
stop_wineserver
exit $status
"""


def run_in_namespace(build, exe, data, packages, pki, repeat):
    if not os.path.exists(exe):
        sys.exit("benchmark: %s is missing: build the PackageBenchmark target first" % exe)
    plan = {"exe": exe, "certificates": os.path.join(pki, "certificates"), "packages": packages,
            "repeat": repeat, "data": data, "results": os.path.join(data, "results.json")}
    plan_path = os.path.join(data, "plan.json")
    with open(plan_path, "w") as f:
        json.dump(plan, f)
    unshare = ["unshare", "-n"] if os.geteuid() == 0 else ["unshare", "-r", "-n"]
    environment = dict(os.environ, HALVEX_TOOLS=TOOLS)
    subprocess.run([*unshare, "--", "bash", "-c", NAMESPACE_SCRIPT, "run_benchmark", os.path.join(build, "wineprefix"),
                    sys.executable, os.path.abspath(__file__), "--measure", plan_path], check=True, env=environment)
    with open(plan["results"]) as f:
        return json.load(f)


# ---------------------------------------------------------------------------------------------

def report(packages, results):
    print("Stage-2 path from the archive in memory to the linked tree (MB = 2^20 bytes; fastest of the runs)")
    print("%-8s %6s %10s %8s %14s %10s %7s" % ("stage 2", "files", "driver s", "MB/s", "peak WS", "native s",
                                                "ratio"))
    rows = []
    for package in packages:
        runs = results[package["archive"]]["driver"]
        best = min(runs, key=lambda r: r["path_seconds"])
        peak = max(r["peak_working_set_bytes"] for r in runs)
        native_seconds = min(results[package["archive"]]["native"])
        rows.append((package, best, peak))
        seconds = best["path_seconds"]
        print("%5d MB %6d %10.2f %8.1f %11.1f MB %10.2f %7.2f" % (
            package["megabytes"], package["entries"], seconds, package["megabytes"] / seconds, peak / MB,
            native_seconds, seconds / native_seconds))
    print()
    print("Driver phases of that run in seconds (read: the archive into memory, not counted above);")
    print("peak working set over the archive's size")
    print("%-8s %10s %6s %8s %7s %6s %8s %12s" % ("stage 2", "archive", "read", "extract", "verify", "link",
                                                  "release", "WS - archive"))
    for package, best, peak in rows:
        print("%5d MB %7.1f MB %6.2f %8.2f %7.2f %6.2f %8.2f %9.1f MB" % (
            package["megabytes"], best["archive_bytes"] / MB, best["read_seconds"], best["extract_seconds"],
            best["verify_seconds"], best["link_seconds"], best["release_seconds"],
            (peak - best["archive_bytes"]) / MB))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--measure":
        measure(sys.argv[2])
        return
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--sizes", default="10,100,300", help="stage-2 sizes in MB, comma-separated")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--fresh", action="store_true", help="make the test root and the stage 2s again")
    parser.add_argument("--driver", help="another build's PackageBenchmark.exe, run in this build's prefix")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    sizes = [int(size) for size in args.sizes.split(",")]
    if not sizes or min(sizes) < 1 or args.repeat < 1:
        sys.exit("benchmark: sizes and the repeat count must be positive")

    data = os.path.join(build, "benchmark")
    if args.fresh:
        remove_tree(data)
    os.makedirs(data, exist_ok=True)
    pki = os.path.join(data, "pki")
    make_pki(pki)
    packages = []
    for megabytes in sizes:
        log("benchmark: preparing %d MB stage 2" % megabytes)
        packages.append(make_package(data, pki, megabytes))

    log("benchmark: native tools and the driver under Wine, %d runs each" % args.repeat)
    exe = os.path.abspath(args.driver or os.path.join(build, "tests", "Benchmark", "PackageBenchmark.exe"))
    results = run_in_namespace(build, exe, data, packages, pki, args.repeat)
    report(packages, results)

if __name__ == "__main__":
    main()
