#!/usr/bin/python3
"""scripts/check-dll against the built 32-bit VORN.dll and copies of it broken
on purpose, one fault each: it passes the DLL as built, and fails each copy
naming the export or field at fault.

Usage: checkDllTest.py DLL32 [DLL64]
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(ROOT, "scripts", "check-dll")
DLL32 = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "VORN.dll")
DLL64 = sys.argv[2] if len(sys.argv) > 2 else ""


def check(path):
    result = subprocess.run([CHECK, path], capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def patched_copy(folder, name, patch):
    """A copy of the 32-bit DLL with patch(bytearray, pe) applied."""
    with open(DLL32, "rb") as dll:
        data = bytearray(dll.read())
    pe = pefile.PE(data=bytes(data))
    patch(data, pe)
    path = os.path.join(folder, name)
    with open(path, "wb") as out:
        out.write(data)
    return path


def export_offset(pe, name):
    for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols:
        if symbol.name == name.encode():
            return pe.get_offset_from_rva(symbol.address)
    raise AssertionError(f"{name} not exported")


class CheckDllTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)

    def assertFailsNaming(self, path, *texts):
        status, output = check(path)
        self.assertEqual(status, 1, output)
        for text in texts:
            self.assertIn(text, output)
        return output

    def test_the_built_dll_passes(self):
        status, output = check(DLL32)
        self.assertEqual(status, 0, output)
        self.assertIn("19 exports under both names", output)

    def test_a_plain_ret_in_a_stdcall_export_is_named(self):
        def plain_ret(data, pe):
            start = export_offset(pe, "_SetFanPercentage@12")
            at = data.index(b"\xc2\x0c\x00", start, start + 256)  # ret 0xc
            data[at:at + 3] = b"\xc3\x90\x90"  # ret; nop; nop

        output = self.assertFailsNaming(patched_copy(self.folder, "VORN.dll", plain_ret),
                                        "export _SetFanPercentage@12: a plain ret", "needs ret 0xc")
        # Only the broken export is named.
        self.assertEqual(output.count("check-dll:"), 1, output)

    def test_a_missing_decorated_name_is_named(self):
        def rename(data, pe):
            at = data.index(b"_GetValue@8\0")
            data[at:at + 11] = b"_GetValuX@8"

        self.assertFailsNaming(patched_copy(self.folder, "VORN.dll", rename),
                               "export _GetValue@8: missing", "export _GetValuX@8: not in plugin/VORN.def")

    def test_a_wrong_machine_and_header_version_are_named(self):
        def header(data, pe):
            machine = pe.FILE_HEADER.get_file_offset()
            data[machine:machine + 2] = (0x1C0).to_bytes(2, "little")  # ARM
            version = pe.OPTIONAL_HEADER.get_field_absolute_offset("MajorOperatingSystemVersion")
            data[version:version + 2] = (5).to_bytes(2, "little")

        self.assertFailsNaming(patched_copy(self.folder, "VORN.dll", header),
                               "machine type 0x01c0", "OS version 5.1, not 6.1")

    def test_a_file_that_is_no_dll_is_refused(self):
        path = os.path.join(self.folder, "VORN.dll")
        with open(path, "wb") as out:
            out.write(b"MZ not really")
        status, output = check(path)
        self.assertEqual(status, 2, output)

    @unittest.skipUnless(DLL64, "no 64-bit VORN.dll given")
    def test_the_64_bit_dll_has_every_export_undecorated(self):
        status, output = check(DLL64)
        self.assertEqual(status, 0, output)
        self.assertIn("(x86-64)", output)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
