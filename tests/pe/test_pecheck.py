#!/usr/bin/env python3
"""The checks in pecheck.py must catch what they are there for.

Each case damages one thing in a copy of the shipped program (in memory) and
expects the matching check to name it; the untouched program must pass.
Usage: test_pecheck.py SHIPPED_EXE ICO
"""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pecheck  # noqa: E402

EXE = ICO = None
ALLOW = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp-imports.txt")


def replace_once(data, old, new):
    assert len(old) == len(new), (old, new)
    at = data.find(old)
    assert at >= 0, "%r is not in the program" % (old,)
    assert data.find(old, at + 1) < 0, "%r is in the program more than once" % (old,)
    return data[:at] + new + data[at + len(old):]


def utf16(text):
    return text.encode("utf-16-le")


class Damaged(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(EXE, "rb") as f:
            cls.data = f.read()
        cls.pe = pecheck.PE(cls.data)

    def assertNamed(self, problems, *words):
        self.assertTrue(problems, "the damage went unnoticed")
        text = "\n".join(problems)
        for word in words:
            self.assertIn(word, text)

    def test_untouched_program_passes(self):
        self.assertEqual(pecheck.check_headers(self.pe, "i386"), [])
        self.assertEqual(pecheck.check_imports(self.pe, pecheck.read_allow_list(ALLOW)), [])
        self.assertEqual(pecheck.check_clean(self.pe, ["/nonexistent/source"]), [])
        self.assertEqual(pecheck.check_resources(self.pe, ICO), [])

    def test_headers(self):
        opt = self.pe.coff_offset + 20
        cases = [
            ("console subsystem", opt + 68, struct.pack("<H", 3), "subsystem is 3"),
            ("AMD64 machine", self.pe.coff_offset, struct.pack("<H", 0x8664), "machine is 0x8664"),
            ("PE32+ magic", opt, struct.pack("<H", 0x20B), "magic is 0x20b"),
        ]
        for name, at, patch, message in cases:
            with self.subTest(name):
                data = self.data[:at] + patch + self.data[at + len(patch):]
                try:
                    problems = pecheck.check_headers(pecheck.PE(data), "i386")
                except pecheck.PEError as e:
                    problems = [str(e)]
                self.assertNamed(problems, message)
        self.assertNamed(pecheck.check_headers(self.pe, "amd64"), "expected 0x8664")

    def test_vista_import_is_named(self):
        # An import name slot long enough to take the Vista-only call.
        data = replace_once(self.data, b"GetCurrentDirectoryA\0", b"GetTickCount64\0\0\0\0\0\0\0")
        problems = pecheck.check_imports(pecheck.PE(data), pecheck.read_allow_list(ALLOW))
        self.assertNamed(problems, "KERNEL32.dll!GetTickCount64")

    def test_foreign_dll_is_named(self):
        data = replace_once(self.data, b"SHELL32.dll\0", b"SHLWAPI.dll\0")
        self.assertNamed(pecheck.check_imports(pecheck.PE(data)), "SHLWAPI.dll")

    def test_link_time_is_named(self):
        at = self.pe.coff_offset + 4
        data = self.data[:at] + struct.pack("<I", 0x5F000000) + self.data[at + 4:]
        self.assertNamed(pecheck.check_clean(pecheck.PE(data), []), "0x5f000000")

    def test_build_path_is_named(self):
        for encoding in ("utf-8", "utf-16-le"):
            with self.subTest(encoding):
                data = self.data + "/some/build/dir/src/ui.cpp".encode(encoding)
                self.assertNamed(pecheck.check_clean(pecheck.PE(data), ["/some/build/dir"]), encoding)

    def test_dialog_damage_is_named(self):
        style = struct.pack("<I", pecheck.EXPECTED_DIALOG["style"])
        visible = struct.pack("<I", pecheck.EXPECTED_DIALOG["style"] | pecheck.WS_VISIBLE)
        list_style = struct.pack("<I", pecheck.EXPECTED_CONTROLS[2][3])
        sorted_list = struct.pack("<I", pecheck.EXPECTED_CONTROLS[2][3] | 0x2)  # LBS_SORT
        cases = [
            ("caption", utf16("Version 1.00"), utf16("Version 1.01"), "dialog title"),
            ("half-width ampersand", utf16("グ＆ド"), utf16("グ&ド"), "control 2 text"),
            ("carriage return in the prompt", utf16("を\nこ"), utf16("を\r\n")[:6], "control 2 text"),
            ("typeface", utf16("ＭＳ Ｐ"), utf16("ＭＳ　Ｐ"), "dialog typeface"),
            ("visible dialog", b"\xff\xff\0\0\0\0\x10\0\0\0" + style, b"\xff\xff\0\0\0\0\x10\0\0\0" + visible,
             "dialog style"),
            ("sorted list", list_style, sorted_list, "control 3 style"),
            ("list id", struct.pack("<hhhhI", 7, 44, 329, 109, 1000), struct.pack("<hhhhI", 7, 44, 329, 109, 1001),
             "control 3 id"),
        ]
        found, _ = self.pe.resources()
        dialog = found[(pecheck.RT_DIALOG, pecheck.IDD_MAIN)][0][1]
        for name, old, new, message in cases:
            with self.subTest(name):
                data = replace_once(self.data, dialog, replace_once(dialog, old, new))
                self.assertNamed(pecheck.check_resources(pecheck.PE(data), ICO), message)

    def test_icon_damage_is_named(self):
        found, _ = self.pe.resources()
        group = found[(pecheck.RT_GROUP_ICON, pecheck.IDI_MAIN)][0][1]
        eight_bit = group[:6 + 6] + struct.pack("<H", 8) + group[6 + 8:]
        swapped = group[:6] + group[6 + 14:6 + 28] + group[6:6 + 14] + group[6 + 28:]
        small = found[(pecheck.RT_ICON, 3)][0][1]
        repainted = small[:200] + bytes([small[200] ^ 0xFF]) + small[201:]
        cases = [
            ("8 bits per pixel in the group", group, eight_bit, "group icon entry 1"),
            ("48 and 32 swapped", group, swapped, "expected (48, 48"),
            ("a pixel of the 16x16 image", small, repainted, "icon 3 differs"),
        ]
        for name, old, new, message in cases:
            with self.subTest(name):
                data = replace_once(self.data, old, new)
                self.assertNamed(pecheck.check_resources(pecheck.PE(data), ICO), message)

    def test_language_is_named(self):
        # The language ids sit in the resource directory as 0x0411 entries; make one neutral.
        rva, _ = self.pe.directory(2)
        base = self.pe.offset(rva)
        at = self.data.find(struct.pack("<I", 0x411), base)
        self.assertGreater(at, 0)
        data = self.data[:at] + struct.pack("<I", 0) + self.data[at + 4:]
        self.assertNamed(pecheck.check_resources(pecheck.PE(data), ICO), "language(s) 0x0000")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("usage: test_pecheck.py SHIPPED_EXE ICO")
    EXE, ICO = sys.argv[1], sys.argv[2]
    if not os.path.isfile(EXE):
        sys.exit("%s is missing: build the win32 preset first" % EXE)
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
