#!/usr/bin/env python3
"""The release archive: scripts/package-windows.sh --no-build packs what
build/win32 and build/win64 hold, the DLLs the other Windows tests ran and
inspected. The archive must hold exactly the files it promises, its DLLs must
be those, with a version resource and no debug sections, and SHA256SUMS must
be true. QX_WIN32 and QX_WIN64 name the build folders."""
import hashlib
import os
import re
import subprocess
import unittest
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        return re.search(r"^project\(quarlix VERSION (\d+\.\d+\.\d+)", f.read(), re.MULTILINE).group(1)


def package():
    out = subprocess.run([os.path.join(SOURCE, "scripts", "package-windows.sh"), "--no-build"], check=True,
                         capture_output=True, text=True, cwd=SOURCE, timeout=120).stdout
    return os.path.join(SOURCE, out.strip().splitlines()[-1])


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def sections(triplet, data, tmp_name):
    path = os.path.join(SOURCE, "build", "package", tmp_name)
    with open(path, "wb") as f:
        f.write(data)
    try:
        text = subprocess.run([f"{triplet}-objdump", "-h", path], check=True, capture_output=True, text=True).stdout
    finally:
        os.unlink(path)
    return re.findall(r"^\s*\d+\s+(\S+)", text, re.MULTILINE)


def resource_strings(triplet, path):
    """The StringFileInfo values of a PE file's version resource."""
    dump = subprocess.run([f"{triplet}-objdump", "-s", "-j", ".rsrc", path], check=True, capture_output=True,
                          text=True).stdout
    raw = bytearray()
    for line in dump.splitlines():
        match = re.match(r"^ [0-9a-f]+ ((?:[0-9a-f]{1,8} ){1,4})", line)
        if match:
            raw += bytes.fromhex(match.group(1).replace(" ", ""))
    text = raw.decode("utf-16-le", errors="replace")
    values = {}
    for key in ("CompanyName", "FileDescription", "FileVersion", "ProductName", "ProductVersion",
                "OriginalFilename"):
        match = re.search(key + "\0+([^\0]+)", text)
        values[key] = match.group(1) if match else None
    return values


class ReleaseArchive(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.version = version()
        cls.path = package()
        cls.zip = zipfile.ZipFile(cls.path)
        cls.prefix = "quarlix-%s-windows/" % cls.version

    @classmethod
    def tearDownClass(cls):
        cls.zip.close()

    def member(self, name):
        return self.zip.read(self.prefix + name)

    def test_name_and_exact_contents(self):
        self.assertEqual(os.path.basename(self.path), "quarlix-%s-windows.zip" % self.version)
        self.assertEqual(sorted(self.zip.namelist()), sorted(self.prefix + name for name in (
            "README.txt", "SHA256SUMS", "install.sql", "uninstall.sql", "x64/quarlix.dll", "x86/quarlix.dll")))
        self.assertIsNone(self.zip.testzip())

    def test_dlls_are_the_tested_ones(self):
        for member, folder in (("x64/quarlix.dll", os.environ["QX_WIN64"]), ("x86/quarlix.dll", os.environ["QX_WIN32"])):
            with self.subTest(member=member), open(os.path.join(folder, "quarlix.dll"), "rb") as built:
                self.assertEqual(sha256(self.member(member)), sha256(built.read()))

    def test_checksums_are_true(self):
        lines = self.member("SHA256SUMS").decode().splitlines()
        listed = {}
        for line in lines:
            digest, name = re.match(r"^([0-9a-f]{64})  (\S+)$", line).groups()
            listed[name] = digest
        self.assertEqual(sorted(listed), ["README.txt", "install.sql", "uninstall.sql", "x64/quarlix.dll",
                                          "x86/quarlix.dll"])
        for name, digest in listed.items():
            self.assertEqual(sha256(self.member(name)), digest, name)

    def test_dlls_carry_version_and_no_debug_sections(self):
        for member, triplet, folder in (("x64/quarlix.dll", "x86_64-w64-mingw32", os.environ["QX_WIN64"]),
                                        ("x86/quarlix.dll", "i686-w64-mingw32", os.environ["QX_WIN32"])):
            with self.subTest(member=member):
                shipped = sections(triplet, self.member(member), "check.dll")
                self.assertIn(".rsrc", shipped)
                self.assertEqual([s for s in shipped if s.startswith(".debug")], [])
                # The unstripped twin keeps them for crash analysis.
                unstripped = os.path.join(folder, "unstripped", "quarlix.dll")
                with open(unstripped, "rb") as f:
                    self.assertIn(".debug_info", sections(triplet, f.read(), "check-unstripped.dll"))
                values = resource_strings(triplet, os.path.join(folder, "quarlix.dll"))
                self.assertEqual(values["FileVersion"], self.version)
                self.assertEqual(values["ProductVersion"], self.version)
                self.assertEqual(values["ProductName"], "quarlix")
                self.assertEqual(values["OriginalFilename"], "quarlix.dll")

    def test_scripts_register_grant_and_remove(self):
        install = self.member("install.sql").decode()
        uninstall = self.member("uninstall.sql").decode()
        self.assertIn("EXEC sp_addextendedproc 'quarlix', 'quarlix.dll';", install)
        self.assertIn("GRANT EXECUTE ON quarlix TO directory_readers;", install)
        self.assertIn("EXEC sp_dropextendedproc 'quarlix';", uninstall)
        self.assertIn("DBCC quarlix(FREE);", uninstall)
        # The registration goes before the DLL is freed, so that no call
        # loads it again in between.
        self.assertLess(uninstall.index("sp_dropextendedproc"), uninstall.index("DBCC quarlix(FREE)"))
        for text in (install, uninstall, self.member("README.txt").decode()):
            self.assertNotIn("\n", text.replace("\r\n", ""), "lines end in CRLF")
        self.assertIn(self.version, self.member("README.txt").decode())

    def test_the_same_inputs_give_the_same_archive(self):
        with open(self.path, "rb") as f:
            first = f.read()
        with open(package(), "rb") as f:
            self.assertEqual(sha256(f.read()), sha256(first))


if __name__ == "__main__":
    unittest.main(verbosity=2)
