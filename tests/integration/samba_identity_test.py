#!/usr/bin/env python3
"""Kerberos identities against a Samba Active Directory domain controller:
a ticket cache that has expired fails the call and says so; the service's
recipe of docs/server.md (a keytab in KRB5_CLIENT_KTNAME, no kinit) works for
quarlix-server; with the controller configured as the server (LDAPURI),
RootDSE and serverless paths reach it while the sample keeps its own.
Expected values come from ldapsearch against the same server.
Arguments: quarlix-exec, quarlix-server, the folder that caches the
provisioned domain (the build tree)."""
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "docs"))

import samba_fixture as ad  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

import doc_blocks  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
SERVER = sys.argv.pop(1) if len(sys.argv) > 1 else None
CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")
SOURCE = os.path.join(HERE, "..", "..")
def exec_line(path, filter_, fields):
    return "EXEC quarlix '%s', '%s', '%s'" % (path, filter_, fields)


class Kerberos(unittest.TestCase):
    """One domain controller for the class."""

    @classmethod
    def setUpClass(cls):
        cls.dc = ad.start_for_module(CACHE)

    @classmethod
    def tearDownClass(cls):
        cls.dc.close()

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quarlix-kerberos-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def environment(self, config_text, **extra):
        config = os.path.join(self.folder, "adsi.conf")
        with open(config, "w") as f:
            f.write(config_text)
        return dict(self.dc.tls_environment(), QUARLIX_ADSI_CONFIG=config, **extra)

    def expected(self, filter_, attribute):
        return sorted(v[0].decode() for _, e in self.dc.search(ad.PEOPLE, filter_, [attribute]) for k, v in e.items()
                      if k.lower() == attribute.lower())

    def test_an_expired_ticket_cache_fails_the_call_and_says_so(self):
        cache = os.path.join(self.folder, "short")
        subprocess.run(["kinit", "-l", "2s", "-k", "-t", self.dc.keytab, self.dc.reader_principal], check=True,
                       capture_output=True, env=dict(self.dc.tls_environment(), KRB5CCNAME="FILE:" + cache))
        time.sleep(3)
        listed = subprocess.run(["klist", "-s", "-c", cache], env=self.dc.tls_environment())
        self.assertNotEqual(listed.returncode, 0)  # klist too finds no valid ticket
        line = exec_line("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), "(sAMAccountName=alice)", "sAMAccountName")
        done = subprocess.run([EXE, "--no-directory", "-Q", line], capture_output=True, text=True, timeout=60,
                              env=self.environment("starttls never\n", KRB5CCNAME="FILE:" + cache))
        self.assertEqual(done.returncode, 1)
        self.assertIn("Error: A local error has occurred.", done.stdout)  # 0x8007203B on the search road
        self.assertIn("KRB5CCNAME names the ticket cache FILE:%s, and it cannot be used: its tickets have expired"
                      % cache, done.stderr)
        self.assertIn("[identity rule 4: KRB5CCNAME names the ticket cache]", done.stderr)

    def test_the_services_keytab_recipe_as_the_page_writes_it(self):
        page = doc_blocks.blocks(os.path.join(SOURCE, "docs", "server.md"), SOURCE)
        dropin = [b.text for b in page if "[Service]" in b.text and "KRB5_CLIENT_KTNAME" in b.text][0]
        settings = [b.text for b in page if b.text.startswith("# /etc/quarlix/adsi.conf") and "GSSAPI" in b.text][0]
        environment = dict(line.split("=", 2)[1:] for line in dropin.splitlines() if line.startswith("Environment="))
        self.assertEqual(list(environment), ["KRB5_CLIENT_KTNAME"])
        environment["KRB5_CLIENT_KTNAME"] = self.dc.keytab  # the page's /etc/quarlix/svc-sql.keytab
        # The unit's private /tmp holds the service's ticket cache: here a
        # folder of the test's own, where none is yet.
        cache = os.path.join(self.folder, "private-tmp", "krb5cc")
        os.makedirs(os.path.dirname(cache))
        logins = os.path.join(self.folder, "logins")
        subprocess.run([SERVER, "--add-login", "reports", "--logins", logins], input=b"change-me\n", check=True,
                       capture_output=True, timeout=60)
        log_path = os.path.join(self.folder, "server.log")
        with open(log_path, "w") as log:
            server = subprocess.Popen(
                [SERVER, "--listen", "127.0.0.1:0", "--logins", logins, "--no-directory"], stdout=subprocess.PIPE,
                stderr=log, text=True,
                env=self.environment(settings, KRB5CCNAME="FILE:" + cache, LDAPURI=self.dc.ldap_url, **environment))
            try:
                port = server.stdout.readline().rsplit(":", 1)[1].strip()
                asked = subprocess.run(
                    ["tsql", "-H", "127.0.0.1", "-p", port, "-U", "reports", "-P", "change-me"],
                    input="%s\ngo\n%s\ngo\n" % (exec_line("LDAP://" + ad.PEOPLE, "(objectClass=user)", "sAMAccountName"),
                                                exec_line("LDAP://RootDSE", "", "defaultNamingContext")),
                    capture_output=True, text=True, timeout=60, env={"LANG": "C.UTF-8", "PATH": "/usr/bin:/bin"})
            finally:
                server.terminate()
                server.wait(60)
                server.stdout.close()
        with open(log_path) as f:
            log = f.read()
        names = self.expected("(objectClass=user)", "sAMAccountName")
        self.assertGreater(len(names), 3)
        for name in names:
            self.assertRegex(asked.stdout, r"(?m)^%s\s*$" % re.escape(name), log)
        self.assertIn("(%d rows affected)" % len(names), asked.stdout)
        self.assertRegex(asked.stdout, r"(?m)^%s\s*$" % ad.BASE)  # the controller's root DSE
        self.assertTrue(os.path.exists(cache))  # the ticket came from the keytab, into the service's cache
        self.assertIn("quarlix-server: serverless paths reach %s:389 (LDAPURI)" % self.dc.ldap_url, log)
        self.assertNotIn("directory:", log)

    def test_with_the_controller_configured_the_sample_keeps_only_its_own_paths(self):
        environment = self.environment(self.dc.reader_settings(), LDAPURI=self.dc.ldap_url)
        def call(path, fields):
            done = subprocess.run([EXE, "--format", "csv", "-Q", exec_line(path, "", fields)], capture_output=True,
                                  text=True, timeout=60, env=environment)
            return [cell for row in csv.reader(done.stdout.splitlines()) for cell in row]
        self.assertEqual(call("LDAP://RootDSE", "defaultNamingContext"), ["defaultNamingContext", ad.BASE])
        alice = self.dc.search(ad.person_dn("alice"), attributes=["mail"], scope="base")[0][1]["mail"][0].decode()
        self.assertEqual(call("LDAP://" + ad.person_dn("alice"), "mail"), ["mail", alice])
        self.assertEqual(call("LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com", "ou"), ["ou", "Sales"])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
