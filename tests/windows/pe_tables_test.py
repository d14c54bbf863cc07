#!/usr/bin/env python3
"""What a server sees when it loads the DLLs: machine type, export table,
import table (objdump -p). QX_WIN32 and QX_WIN64 name the two build folders."""
import os
import re
import subprocess
import unittest

# What every Windows server has: the kernel, the C runtime, COM, OLE
# Automation, ADSI and the server's own extended-procedure library.
SERVER_DLLS = {"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "activeds.dll", "opends60.dll"}
MINGW_RUNTIME = re.compile(r"^(libstdc\+\+-\d+|libgcc_s_.*|libwinpthread-\d+)\.dll$", re.IGNORECASE)


def pe_tables(triplet, path):
    """(file format, optional-header magic, imported DLL names, exported names)."""
    text = subprocess.run([f"{triplet}-objdump", "-p", path], check=True, capture_output=True,
                          text=True).stdout
    file_format = re.search(r"file format (\S+)", text).group(1)
    magic = re.search(r"^Magic\s+\S+\s+\((\S+)\)", text, re.MULTILINE).group(1)
    imports = re.findall(r"^\s*DLL Name: (\S+)", text, re.MULTILINE)
    exports = []
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            entry = re.match(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", line)
            if not entry:
                break
            exports.append(entry.group(1))
    return file_format, magic, imports, exports


class ProcedureDll(unittest.TestCase):
    def check(self, triplet, folder, file_format, magic):
        path = os.path.join(folder, "quarlix.dll")
        actual_format, actual_magic, imports, exports = pe_tables(triplet, path)
        self.assertEqual((actual_format, actual_magic), (file_format, magic), path)
        self.assertEqual(sorted(exports), ["__GetXpVersion", "quarlix"], path)
        self.assertEqual({name.lower() for name in imports}, SERVER_DLLS, path)

    def test_i686_is_pe32_and_needs_only_server_dlls(self):
        self.check("i686-w64-mingw32", os.environ["QX_WIN32"], "pei-i386", "PE32")

    def test_x86_64_is_pe32_plus_and_needs_only_server_dlls(self):
        self.check("x86_64-w64-mingw32", os.environ["QX_WIN64"], "pei-x86-64", "PE32+")


def imported_functions(triplet, path, dll):
    """The names `path` imports from `dll` (objdump -p's import table)."""
    text = subprocess.run([f"{triplet}-objdump", "-p", path], check=True, capture_output=True, text=True).stdout
    names, inside = [], False
    for line in text.splitlines():
        if line.strip().startswith("DLL Name:"):
            inside = line.split(":", 1)[1].strip().lower() == dll.lower()
        elif inside:
            entry = re.match(r"^\s*[0-9a-f]+\s+\d+\s+(\S+)\s*$", line)
            if entry:
                names.append(entry.group(1))
    return names


class EmbeddedAdsi(unittest.TestCase):
    """embedded-adsi/activeds.dll stands in for the system's ADSI: it must
    export every function the procedure imports from ADSI, by name, and build
    on nothing but what Windows itself has."""

    def check(self, triplet, folder, file_format):
        dll = os.path.join(folder, "embedded-adsi", "activeds.dll")
        actual_format, _, imports, exports = pe_tables(triplet, dll)
        self.assertEqual(actual_format, file_format)
        wanted = imported_functions(triplet, os.path.join(folder, "quarlix.dll"), "activeds.dll")
        self.assertEqual(sorted(wanted), ["ADsBuildVarArrayStr", "ADsEnumerateNext", "ADsGetObject", "FreeADsMem"])
        self.assertEqual([name for name in wanted if name not in exports], [])
        for control in ("AdsCompatMountLdif", "AdsCompatUnmount", "AdsCompatSetFault", "AdsCompatClearFaults",
                        "AdsCompatFaultOperation"):
            self.assertIn(control, exports)
        # No decorated stdcall names (name@N) on either machine.
        self.assertEqual([name for name in exports if "@" in name], [])
        lowered = {name.lower() for name in imports}
        self.assertTrue(lowered <= {"kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll"}, lowered)
        self.assertIn("oleaut32.dll", lowered)

    def test_x86_64(self):
        self.check("x86_64-w64-mingw32", os.environ["QX_WIN64"], "pei-x86-64")

    def test_i686(self):
        self.check("i686-w64-mingw32", os.environ["QX_WIN32"], "pei-i386")


class WineHost(unittest.TestCase):
    def test_host_and_stand_in_carry_their_runtime(self):
        # Under Wine there is no MinGW runtime either: the host program and
        # the opends60 stand-in must load from the build folder alone.
        folder = os.environ["QX_WIN64"]
        for name in ("quarlix-exec.exe", "opends60.dll"):
            _, _, imports, _ = pe_tables("x86_64-w64-mingw32", os.path.join(folder, name))
            self.assertEqual([dll for dll in imports if MINGW_RUNTIME.match(dll)], [], name)
            self.assertIn("kernel32.dll", {dll.lower() for dll in imports}, name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
