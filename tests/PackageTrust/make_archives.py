#!/usr/bin/env python3
"""Writes the archive fixtures of PackageTrustTests into the folder given as the only argument.

Each NAME.tar.gz (or .tar.z, .tar, .bin) is one fixture; expected/NAME/ holds the tree that a
good fixture must extract to, or the original file content that a failing one cuts short.
"""
import gzip
import io
import os
import random
import shutil
import sys
import tarfile
import zlib

BLOCK = 512
SIZE_OFFSET, SIZE_WIDTH = 124, 12
CHECKSUM_OFFSET = 148

rng = random.Random(1101)


def noise(count):
    return bytes(rng.getrandbits(8) for _ in range(count))


def member(name, data=None, kind=tarfile.REGTYPE, linkname=""):
    info = tarfile.TarInfo(name)
    info.type = kind
    info.linkname = linkname
    info.mtime = 1_600_000_000
    info.mode = 0o755 if kind == tarfile.DIRTYPE else 0o644
    info.size = len(data) if data is not None else 0
    return info, data


def tar_bytes(members):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for info, data in members:
            archive.addfile(info, io.BytesIO(data) if data is not None else None)
    return out.getvalue()


def gz(raw):
    return gzip.compress(raw, compresslevel=9, mtime=0)


def patch_size(raw, header_offset, field):
    """Replaces one header's size field and recomputes its checksum, so only the size is bad."""
    header = bytearray(raw[header_offset:header_offset + BLOCK])
    header[SIZE_OFFSET:SIZE_OFFSET + SIZE_WIDTH] = field.ljust(SIZE_WIDTH, b"\0")
    header[CHECKSUM_OFFSET:CHECKSUM_OFFSET + 8] = b" " * 8
    header[CHECKSUM_OFFSET:CHECKSUM_OFFSET + 8] = b"%06o\0 " % sum(header)
    return raw[:header_offset] + bytes(header) + raw[header_offset + BLOCK:]


def write(folder, name, content):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(content)


def write_tree(folder, name, files):
    for path, data in files.items():
        full = os.path.join(folder, "expected", name, *path.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        write(os.path.dirname(full), os.path.basename(full), data)


def good_fixtures():
    """name -> (archive members, files expected on disk)"""
    top, sibling, deep = b"top level\n", noise(700), b"three folders down\n"
    nested = [
        member("a/", kind=tarfile.DIRTYPE),
        member("a/b/", kind=tarfile.DIRTYPE),
        member("top.txt", top),
        member("a/sibling.bin", sibling),
        member("a/b/c/deep.txt", deep),  # no entry of its own for "c"
        member("emptydir/", kind=tarfile.DIRTYPE),
    ]
    nested_files = {"top.txt": top, "a/sibling.bin": sibling, "a/b/c/deep.txt": deep}

    hundred = "n" * 96 + ".txt"  # fills the name field without a closing NUL
    sizes = {"empty.txt": b"", "exact512.bin": noise(512), "over512.bin": noise(513),
             "multi.bin": noise(5000), hundred: b"name of exactly 100 bytes\n"}

    long_file = "deep/" + "x" * 60 + "/" + "y" * 70 + ".txt"
    long_files = {long_file: noise(900), "after_long.txt": b"read in step after the long names\n"}
    longname = [member("deep/" + "d" * 110 + "/", kind=tarfile.DIRTYPE)] + [member(n, d) for n, d in long_files.items()]

    after = {"after.txt": b"after the skipped entries\n"}
    others = [
        member("link", kind=tarfile.SYMTYPE, linkname="after.txt"),
        member("hard", kind=tarfile.LNKTYPE, linkname="after.txt"),
        member("pax", b"x" * 600, kind=tarfile.XHDTYPE),  # data over two blocks, skipped
        member("chr", kind=tarfile.CHRTYPE),
        member("fifo", kind=tarfile.FIFOTYPE),
    ] + [member(n, d) for n, d in after.items()]

    return {
        "nested": (nested, nested_files),
        "sizes": ([member(n, d) for n, d in sizes.items()], sizes),
        "longname": (longname, long_files),
        "othertypes": (others, after),
    }


def main(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)

    good = good_fixtures()
    for name, (members, files) in good.items():
        write(folder, name + ".tar.gz", gz(tar_bytes(members)))
        write_tree(folder, name, files)
    # The same tar as a plain zlib stream.
    write(folder, "nested_zlib.tar.z", zlib.compress(tar_bytes(good["nested"][0]), 9))
    write_tree(folder, "nested_zlib", good["nested"][1])
    # Tars cut short of their two closing zero blocks: after the last data block (which comes with
    # the stream's end), after one zero block, and right after a header.
    unclosed = tar_bytes([member("whole_blocks.bin", noise(1024))])
    write(folder, "no_end_blocks.tar.gz", gz(unclosed[:3 * BLOCK]))
    write(folder, "one_end_block.tar.gz", gz(unclosed[:4 * BLOCK]))
    write(folder, "ends_after_header.tar.gz", gz(tar_bytes([member("empty.txt", b"")])[:BLOCK]))
    # A tar without record padding: the stream ends right after its two closing zero blocks.
    write(folder, "exact_end.tar.gz", gz(unclosed[:5 * BLOCK]))
    write_tree(folder, "exact_end", {"whole_blocks.bin": unclosed[BLOCK:3 * BLOCK]})

    ok = member("ok.txt", b"inside\n")
    hostile_names = {
        "hostile_dotdot": "../dotdot_evil",
        "hostile_abs": "/halvex_abs_evil",
        "hostile_drive": "C:/halvex_drive_evil",
        "hostile_drive_relative": "C:halvex_driverel_evil",
        "hostile_unc": "\\\\server\\share\\unc_evil",
        "hostile_backslash_root": "\\halvex_backslash_evil",
        "hostile_climb": "a/../../climb_evil",
        "hostile_backslash_climb": "a\\..\\..\\bs_evil",
        "hostile_dots": "a/.../dots_evil",
        "hostile_long": "../" + "z" * 120,
        # Names that Windows opens as devices, in any folder.
        "hostile_device": "nul.txt",
        "hostile_device_bare": "Com1",
        "hostile_device_folder": "dir/aux.tar.gz",
        "hostile_device_trailing": "dir/lpt9 . ",
    }
    for name, entry in hostile_names.items():
        write(folder, name + ".tar.gz", gz(tar_bytes([ok, member(entry, b"evil\n")])))
    write(folder, "hostile_dir.tar.gz", gz(tar_bytes([ok, member("../evildir/", kind=tarfile.DIRTYPE)])))

    # A 10000-byte long name, and a long-name header that claims almost 4 GiB.
    write(folder, "longname_oversized.tar.gz", gz(tar_bytes([member("d/" + "x" * 10000, b"x\n")])))
    raw = tar_bytes([member("d/" + "x" * 200, b"x\n")])
    write(folder, "longname_huge_size.tar.gz", gz(patch_size(raw, 0, b"37777777777")))
    # The long-name entry and its data, then the end of the stream.
    write(folder, "longname_then_end.tar.gz", gz(raw[:2 * BLOCK]))

    big = noise(20000)
    write_tree(folder, "truncated", {"big.bin": big})
    whole = gz(tar_bytes([member("big.bin", big)]))
    write(folder, "truncated_in_data.tar.gz", whole[:len(whole) * 6 // 10])
    write(folder, "truncated_in_header.tar.gz", whole[:20])
    # An intact stream whose tar ends 300 bytes into the file's data.
    write(folder, "tar_cut_in_data.tar.gz", gz(tar_bytes([member("big.bin", big)])[:BLOCK + 300]))

    corrupt = bytearray(whole)
    for i in range(len(corrupt) // 2, len(corrupt) // 2 + 16):
        corrupt[i] ^= 0x5A
    write(folder, "corrupt_deflate.tar.gz", bytes(corrupt))
    bad_crc = bytearray(gz(tar_bytes(good["nested"][0])))
    bad_crc[-8] ^= 0xFF
    write(folder, "corrupt_crc.tar.gz", bytes(bad_crc))
    write(folder, "not_compressed.tar", tar_bytes(good["nested"][0]))
    write(folder, "empty.bin", b"")

    small = tar_bytes([member("small.txt", b"0123456789\n")])
    write(folder, "size_not_octal.tar.gz", gz(patch_size(small, 0, b"0000000009")))
    write(folder, "size_base256.tar.gz", gz(patch_size(small, 0, b"\x80" + b"\0" * 10 + b"\x0b")))
    write(folder, "size_too_large.tar.gz", gz(patch_size(small, 0, b"77777777777")))

    write(folder, "stamp", b"")


if __name__ == "__main__":
    main(sys.argv[1])
