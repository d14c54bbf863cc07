"""Runs the docs' `sh samba` blocks against the tests' Samba Active Directory
domain controller (tests/support/samba_fixture.py), with the build's
quarlix-exec on the PATH, one after the other in one folder (as a reader
runs them: a ticket one block takes serves the next), and compares what they print
with the ```text output block that follows them (doc_blocks.py).

The blocks are written for the docs' example domain; the names they use are
put in place of the test domain's before a block runs, in its output too:
    dc01.corp.example.com         the controller's name
    DC=corp,DC=example,DC=com     the domain's DN
    svc-sql, CORP.EXAMPLE.COM     the service account and the realm
    /etc/quarlix/svc-sql.keytab   its keytab
    /etc/quarlix/corp-ca.pem      the CA that signed the controller's certificate
Usage: samba_snippets_test.py SOURCE_DIR QUARLIX_EXEC SAMBA_CACHE_FOLDER"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import samba_fixture as ad  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

import doc_blocks  # noqa: E402

SOURCE, EXE, CACHE = sys.argv[1:4]
del sys.argv[1:4]
class SambaBlocks(unittest.TestCase):
    def names(self):
        return [("dc01.corp.example.com", self.dc.host), ("DC=corp,DC=example,DC=com", self.dc.base),
                ("/etc/quarlix/svc-sql.keytab", self.dc.keytab), ("/etc/quarlix/corp-ca.pem", self.dc.ca_file),
                ("svc-sql@CORP.EXAMPLE.COM", self.dc.reader_principal), ("svc-sql", ad.READER)]

    def localised(self, text):
        for docs_name, test_name in self.names():
            text = text.replace(docs_name, test_name)
        return text

    def test_every_samba_block(self):
        self.dc = ad.start_for_module(CACHE)
        self.addCleanup(self.dc.close)
        found = doc_blocks.all_blocks(SOURCE, "samba")
        self.assertGreaterEqual(len(found), 2)  # a parser that finds nothing must not pass
        folder = tempfile.mkdtemp(prefix="quarlix-docs-samba-")
        self.addCleanup(shutil.rmtree, folder, True)
        for block in found:
            with self.subTest(block=block.where()):
                environment = dict(self.dc.tls_environment(), KRB5CCNAME="FILE:" + os.path.join(folder, "krb5cc"),
                                   PATH=os.path.dirname(os.path.abspath(EXE)) + os.pathsep + os.environ["PATH"])
                result = subprocess.run(["bash", "-e", "-o", "pipefail", "-c", self.localised(block.text)],
                                        cwd=folder, env=environment, capture_output=True, text=True, timeout=120)
                where = f"{block.where()} failed with {result.returncode}:\n{result.stdout}{result.stderr}"
                self.assertEqual(result.returncode, 0, where)
                self.assertIsNotNone(block.output, block.where() + " has no output block")
                self.assertTrue(doc_blocks.matches(self.localised(block.output), result.stdout),
                                f"{block.where()} printed\n{result.stdout}\nnot\n{self.localised(block.output)}")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
