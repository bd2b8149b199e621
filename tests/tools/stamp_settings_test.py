#!/usr/bin/env python3
"""The stamp tool writes the settings area where and as the installer reads it."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import pe

TOOL, EXE = sys.argv[1], sys.argv[2]


class StampTool(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.exe = os.path.join(self.folder, "HalvexInstall.exe")
        shutil.copy(EXE, self.exe)

    def tearDown(self):
        shutil.rmtree(self.folder)

    def stamp(self, *args, check=True):
        return subprocess.run([sys.executable, TOOL, self.exe, *args], check=check, capture_output=True)

    def test_values_are_lines_after_the_marker(self):
        self.stamp("CUSTOMER_TOKEN=abc", "PRODUCTS=a,b", "AFFILIATE=x=y")
        image = pe.load(self.exe)
        self.assertEqual(image.stamp_text(), b"CUSTOMER_TOKEN=abc\nPRODUCTS=a,b\nAFFILIATE=x=y\n")
        offset, size = image.security()
        self.assertEqual(offset % 8, 0)
        self.assertEqual(offset + size, len(image.data))
        length, revision, kind = struct.unpack_from("<IHH", image.data, offset)
        self.assertEqual((revision, kind), (0x0200, 0x0002))
        self.assertLessEqual(length, size)

    def test_restamping_replaces_the_area(self):
        self.stamp("USER_ID=first")
        before = os.path.getsize(self.exe)
        self.stamp("USER_ID=second")
        self.assertEqual(pe.load(self.exe).stamp_text(), b"USER_ID=second\n")
        self.assertEqual(os.path.getsize(self.exe), before)

    def test_malformed_areas_for_reader_tests(self):
        raw = os.path.join(self.folder, "raw")
        with open(raw, "wb") as f:
            f.write(b"A=1\r\nno equals\nA=2")
        self.stamp("--raw", raw, "--no-nul")
        self.assertEqual(pe.load(self.exe).stamp_text(), b"A=1\r\nno equals\nA=2")
        self.stamp("--no-marker", "A=1")
        self.assertIsNone(pe.load(self.exe).stamp_text())

    def test_declared_size_past_the_end(self):
        self.stamp("A=1", "--declared-size", "100000", "--output", self.exe + ".bad")
        image = pe.load(self.exe + ".bad")
        offset, size = image.security()
        self.assertEqual(size, 100000)
        self.assertGreater(offset + size, len(image.data))

    def test_refuses_what_is_not_a_pe_file_and_a_setting_without_equals(self):
        self.assertIn(b"setting without '='", self.stamp("NOEQUALS", check=False).stderr)
        with open(self.exe, "wb") as f:
            f.write(b"not a program")
        result = self.stamp("A=1", check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"not a PE file", result.stderr)


if __name__ == "__main__":
    result = unittest.main(argv=[sys.argv[0]], exit=False).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (result.testsRun - failed, failed))
    sys.exit(1 if failed else 0)
