#!/usr/bin/env python3
"""The built installer is a 32-bit GUI program with its manifest and an empty settings area."""
import subprocess
import sys

import pe

image = pe.load(sys.argv[1])
failures = []
if image.machine != 0x14C:
    failures.append("machine is 0x%x, not i386" % image.machine)
if image.magic != 0x10B:
    failures.append("not PE32")
if image.subsystem != 2:
    failures.append("subsystem %d is not the Windows GUI" % image.subsystem)
for needle in (b'level="requireAdministrator"', b"PerMonitorV2", b"true/pm"):
    if needle not in image.data:
        failures.append("manifest lacks %s" % needle.decode())
if image.stamp_text() != b"":
    failures.append("settings area is %r, not empty" % image.stamp_text())
# Only system libraries may be imported: the runtime is linked in.
dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", sys.argv[1]], check=True, capture_output=True, text=True)
for line in dump.stdout.splitlines():
    if "DLL Name:" in line:
        dll = line.split(":", 1)[1].strip().lower()
        if dll.startswith(("libstdc++", "libgcc", "libwinpthread", "zlib")):
            failures.append("imports %s: not linked statically" % dll)
if failures:
    sys.exit("\n".join(failures))
print("1 passed, 0 failed")
