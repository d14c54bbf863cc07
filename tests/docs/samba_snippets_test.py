"""Runs the docs' `sh samba` and `sh kerberos` blocks against the tests' Samba
Active Directory domain controller (tests/support/samba_fixture.py), with the
build's quarlix-exec and quarlix-server on the PATH, one after the other in
one folder (as a reader runs them: a ticket one block takes serves the next),
and compares what they print with the ```text output block that follows them
(doc_blocks.py). What a block leaves running (a server in the background) is
ended with the test.

The blocks are written for the docs' example domain; the names they use are
put in place of the test domain's before a block runs, in its output too.
`sh samba` blocks (the directory's own pages):
    dc01.corp.example.com         the controller's name
    DC=corp,DC=example,DC=com     the domain's DN
    svc-sql, CORP.EXAMPLE.COM     the service account (the tests' reader) and the realm
    /etc/quarlix/svc-sql.keytab   its keytab
    /etc/quarlix/corp-ca.pem      the CA that signed the controller's certificate
`sh kerberos` blocks (server-kerberos.md), with samba_kerberos.py's accounts:
    sql01.corp.example.com        the SQL server's name (svc-sql's SPNs)
    /etc/quarlix/sql01.keytab     svc-sql's keytab
    /etc/quarlix/adsi.conf, ~/.freetds.conf   files of the test's (QUARLIX_ADSI_CONFIG, FREETDSCONF)
    OU=Service Accounts, OU=Staff, OU=Payroll   OU=Kerberos, and the OU dave may not read
    kinit [-F] dave@... (erin, frank)   kinit with the user's password on its input
Usage: samba_snippets_test.py SOURCE_DIR QUARLIX_EXEC SAMBA_CACHE_FOLDER"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import samba_fixture as ad  # noqa: E402
import samba_kerberos as kerberos  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

import doc_blocks  # noqa: E402

SOURCE, EXE, CACHE = sys.argv[1:4]
del sys.argv[1:4]
class SambaBlocks(unittest.TestCase):
    def setUp(self):
        self.dc = ad.start_for_module(CACHE)
        self.addCleanup(self.dc.close)
        self.folder = tempfile.mkdtemp(prefix="quarlix-docs-samba-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def test_every_samba_block(self):
        self.run_blocks("samba", [
            ("dc01.corp.example.com", self.dc.host), ("DC=corp,DC=example,DC=com", self.dc.base),
            ("/etc/quarlix/svc-sql.keytab", self.dc.keytab), ("/etc/quarlix/corp-ca.pem", self.dc.ca_file),
            ("svc-sql@CORP.EXAMPLE.COM", self.dc.reader_principal), ("svc-sql", ad.READER)], {})

    def test_every_kerberos_block(self):
        adsi_conf = os.path.join(self.folder, "adsi.conf")
        freetds_conf = os.path.join(self.folder, "freetds.conf")
        self.run_blocks("kerberos", [
            *[("kinit %s%s@CORP.EXAMPLE.COM" % (flag, user),
               "kinit %s%s@%s <<< '%s'" % (flag, user, ad.REALM, kerberos.PASSWORDS[user]))
              for user in kerberos.USERS for flag in ("", "-F ")],
            ("sql01.corp.example.com", kerberos.SQL_HOST), ("dc01.corp.example.com", self.dc.host),
            ("/etc/quarlix/sql01.keytab", self.dc.sql_keytab), ("/etc/quarlix/adsi.conf", adsi_conf),
            ("~/.freetds.conf", freetds_conf),
            ("OU=Service Accounts,", "OU=Kerberos,"), ("OU=Staff,", "OU=Kerberos,"),
            ("OU=Payroll,", kerberos.RESTRICTED_OU.replace(ad.BASE, "")), ("DC=corp,DC=example,DC=com", ad.BASE),
            ("CORP.EXAMPLE.COM", ad.REALM)], {"QUARLIX_ADSI_CONFIG": adsi_conf, "FREETDSCONF": freetds_conf})

    def run_blocks(self, role, names, settings):
        def localised(text):
            for docs_name, test_name in names:
                text = text.replace(docs_name, test_name)
            return text
        found = doc_blocks.all_blocks(SOURCE, role)
        self.assertGreaterEqual(len(found), 2)  # a parser that finds nothing must not pass
        environment = dict(self.dc.tls_environment(), KRB5CCNAME="FILE:" + os.path.join(self.folder, "krb5cc"),
                           PATH=os.path.dirname(os.path.abspath(EXE)) + os.pathsep + os.environ["PATH"], **settings)
        for block in found:
            with self.subTest(block=block.where()):
                # A session of its own: what the block leaves running ends with the test.
                runner = [sys.executable] if block.language == "python" else ["bash", "-e", "-o", "pipefail"]
                shell = subprocess.Popen(runner + ["-c", localised(block.text)],
                                         cwd=self.folder, env=environment, stdout=subprocess.PIPE,
                                         stderr=subprocess.PIPE, text=True, start_new_session=True)
                self.addCleanup(end_session, shell.pid)
                stdout, stderr = shell.communicate(timeout=120)
                where = f"{block.where()} failed with {shell.returncode}:\n{stdout}{stderr}"
                self.assertEqual(shell.returncode, 0, where)
                self.assertIsNotNone(block.output, block.where() + " has no output block")
                self.assertTrue(doc_blocks.matches(localised(block.output), stdout),
                                f"{block.where()} printed\n{stdout}\nnot\n{localised(block.output)}")


def end_session(leader):
    try:
        os.killpg(leader, signal.SIGTERM)
    except ProcessLookupError:
        pass


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
