#!/usr/bin/env python3
"""Points a linked image's delay-import directory at its delay-import descriptor.

GNU ld links the descriptor and stubs of a dlltool delay-import library but leaves data directory
13 of the image empty, where the running program looks for its delay imports. The image must hold
exactly one descriptor (one delay-import library).

    set_delay_import_directory.py NM IMAGE
"""
import re
import struct
import subprocess
import sys

DELAY_IMPORT = 13
DESCRIPTOR_SIZE = 32


def main(nm, path):
    symbols = subprocess.run([nm, path], check=True, capture_output=True, text=True).stdout
    found = [int(m.group(1), 16) for m in re.finditer(r"^([0-9a-fA-F]+) \w _*DELAY_IMPORT_DESCRIPTOR_\w+$",
                                                       symbols, re.MULTILINE)]
    if len(found) != 1:
        sys.exit(f"{path}: {len(found)} delay-import descriptors, expected 1")
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        nt = struct.unpack_from("<i", data, 60)[0]
        if data[nt:nt + 4] != b"PE\0\0":
            sys.exit(f"{path}: no PE header")
        optional = nt + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic == 0x10B:
            image_base = struct.unpack_from("<I", data, optional + 28)[0]
            count_at, directories = optional + 92, optional + 96
        elif magic == 0x20B:
            image_base = struct.unpack_from("<Q", data, optional + 24)[0]
            count_at, directories = optional + 108, optional + 112
        else:
            sys.exit(f"{path}: unknown optional header {magic:#x}")
        if struct.unpack_from("<I", data, count_at)[0] <= DELAY_IMPORT:
            sys.exit(f"{path}: no room for the delay-import directory")
        struct.pack_into("<II", data, directories + 8 * DELAY_IMPORT, found[0] - image_base, DESCRIPTOR_SIZE)
        f.seek(0)
        f.write(data)


if __name__ == "__main__":
    main(*sys.argv[1:])
