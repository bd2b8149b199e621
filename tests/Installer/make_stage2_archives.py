#!/usr/bin/env python3
"""Packs signed test packages into stage-2 archives for the stage-1 setup tests.

usage: make_stage2_archives.py TRUSTDIR OUTDIR

TRUSTDIR is what make_trust_fixtures.py wrote. OUTDIR receives good.tar.gz (the "good" package as
it is), changed.tar.gz (one listed file altered), unlisted.tar.gz (one file no manifest lists) and
hostile.tar.gz (the good package and an entry that climbs out of its folder).
"""
import io
import os
import sys
import tarfile


def members(package):
    for folder, _, files in sorted(os.walk(package)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                yield os.path.relpath(path, package).replace(os.sep, "/"), f.read()


def pack(path, entries):
    with tarfile.open(path, "w:gz", format=tarfile.GNU_FORMAT) as archive:
        for name, data in entries:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mode = 0o644
            archive.addfile(info, io.BytesIO(data))


def main():
    trust, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    good = list(members(os.path.join(trust, "packages", "good")))
    pack(os.path.join(out, "good.tar.gz"), good)
    pack(os.path.join(out, "changed.tar.gz"),
         [(name, data + b"tampered\n" if name == "a.txt" else data) for name, data in good])
    pack(os.path.join(out, "unlisted.tar.gz"), good + [("unlisted.txt", b"not in any manifest\n")])
    pack(os.path.join(out, "hostile.tar.gz"), good + [("../escaped.txt", b"outside\n")])
    with open(os.path.join(out, "stamp"), "w") as f:
        f.write("ok\n")


if __name__ == "__main__":
    main()
