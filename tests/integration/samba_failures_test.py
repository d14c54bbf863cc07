#!/usr/bin/env python3
"""What a DBA sees when a Samba Active Directory domain controller refuses
or cannot be reached: the procedure's message stays the platform's failure
code, and standard error gets one line with the server's own reason (Active
Directory's account sub-codes decoded) and what was tried. Expected reasons
come from ldapsearch against the same server. Arguments: the quarlix-exec
binary, the folder that caches the provisioned domain (the build tree)."""
import base64
import os
import re
import resource
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)

import samba_fixture as ad  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

from quarlix_call import Host, exec_line  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")
SERVER_DOWN = "Cannot create object. HR: 8007203A"
PASSWORD = "Qx-Account-Pass1"
dc = None


def setUpModule():
    global dc
    dc = ad.start_for_module(CACHE)


def tearDownModule():
    if dc:
        dc.close()


def account_dn(name):
    return "CN=%s,CN=Users,%s" % (name, ad.BASE)


def ldap_modify(ldif):
    done = subprocess.run(["ldapmodify", "-x", "-H", dc.ldaps_url, "-D", dc.admin_dn, "-w", dc.admin_password],
                          input=ldif.encode(), capture_output=True, env=dc.tls_environment(), timeout=60)
    if done.returncode != 0:
        raise RuntimeError("ldapmodify: %s" % done.stderr.decode())


def reader_config(test, prefix, extra=""):
    """A configuration file of the reader's settings and extra lines, in a folder
    of the test's own that goes when the test ends."""
    folder = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, folder, True)
    config = os.path.join(folder, "reader.conf")
    with open(config, "w") as f:
        f.write(dc.reader_settings() + extra)
    return config


def simple_bind(dn, password):
    """ldapsearch's bind over ldaps: (exit status, its diagnostic text)."""
    done = subprocess.run([ad.LDAPSEARCH, "-x", "-H", dc.ldaps_url, "-D", dc.reader_dn if dn is None else dn,
                           "-w", password, "-b", "", "-s", "base", "1.1"],
                          capture_output=True, env=dc.tls_environment(), timeout=60)
    return done.returncode, done.stderr.decode()


class Failures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-adfail-")
        cls.host = Host(EXE, os.path.join(cls.folder, "none.conf"))
        with open(os.path.join(cls.folder, "none.conf"), "w") as f:
            f.write("")
        password = base64.b64encode(('"%s"' % PASSWORD).encode("utf-16-le")).decode()
        # Accounts in the states a bind tells apart: userAccountControl 514 is
        # a disabled normal account, accountExpires 1 a date long past,
        # pwdLastSet 0 a password to change at the next logon.
        states = {"qx-ok": "", "qx-disabled": "userAccountControl: 514\n",
                  "qx-expired": "accountExpires: 1\n", "qx-change": "pwdLastSet: 0\n", "qx-locked": ""}
        for name, extra in states.items():
            ldap_modify("dn: %s\nchangetype: add\nobjectClass: user\nsAMAccountName: %s\nunicodePwd:: %s\n"
                        "userAccountControl: 512\n" % (account_dn(name), name, password))
            if extra:
                attribute = extra.split(":")[0]
                ldap_modify("dn: %s\nchangetype: modify\nreplace: %s\n%s" % (account_dn(name), attribute, extra))
        # Three wrong passwords lock an account out.
        ldap_modify("dn: %s\nchangetype: modify\nreplace: lockoutThreshold\nlockoutThreshold: 3\n" % ad.BASE)
        for _ in range(4):
            simple_bind(account_dn("qx-locked"), "wrong")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def write_config(self, text):
        config = os.path.join(self.folder, "adsi.conf")
        with open(config, "w") as f:
            f.write(text)
        return config

    def call(self, path, config_text, filter_="", environment=None):
        return self.host.call(exec_line(path, filter_, "cn"), config=self.write_config(config_text),
                              environment=environment)

    def failure_line(self, answer):
        lines = [line for line in answer.stderr.splitlines() if line.startswith("quarlix ADSI: cannot use ")]
        self.assertEqual(len(lines), 1, answer.stderr)
        return lines[0]

    def test_account_states_are_named(self):
        meanings = {"52e": "the name or the password is wrong", "533": "the account is disabled",
                    "701": "the account has expired", "773": "the password must be changed before the first logon",
                    "775": "the account is locked out"}
        cases = [("qx-ok", "Not-The-Pass-7"), ("qx-disabled", PASSWORD), ("qx-expired", PASSWORD), ("qx-change", PASSWORD),
                 ("qx-locked", PASSWORD)]
        seen = set()
        for name, password in cases:
            with self.subTest(account=name):
                status, said = simple_bind(account_dn(name), password)
                self.assertEqual(status, 49, said)  # invalidCredentials
                code = re.search(r"data ([0-9a-f]+),", said).group(1)
                seen.add(code)
                answer = self.call("LDAP://%s:636/%s" % (ad.HOST, ad.BASE),
                                   "binddn %s\nbindpw %s\ntls_cacert %s\n" % (account_dn(name), password, dc.ca_file))
                # The message stays the platform's.
                self.assertEqual(answer.message, "Cannot create object. HR: 8007052E")
                line = self.failure_line(answer)
                self.assertIn("cannot use ldaps://%s:636: the bind failed: Invalid credentials (" % ad.HOST, line)
                self.assertIn("data %s" % code, line)
                self.assertIn("Active Directory says %s (data %s)" % (meanings[code], code), line)
                config = os.path.join(self.folder, "adsi.conf")
                self.assertTrue(line.endswith("; tried as %s (simple bind, password from bindpw in %s) [identity rule 2: "
                                              "binddn in %s], TLS from the start (ldaps), network time-out 10 s"
                                              % (account_dn(name), config, config)), line)
                self.assertNotIn(password, answer.stderr)
        self.assertEqual(seen, set(meanings), "the server did not tell every state apart")

    def test_unreachable_servers_say_why(self):
        refused = socket.socket()
        refused.bind(("127.0.0.1", 0))
        port = refused.getsockname()[1]
        refused.close()  # nothing listens there now
        cases = [("LDAP://127.0.0.1:%d/%s" % (port, ad.BASE), "Can't contact LDAP server",
                  "cannot use ldap://127.0.0.1:%d: connecting failed" % port),
                 ("LDAP://no-such-host.qx.test/%s" % ad.BASE, "Can't contact LDAP server",
                  "cannot use ldap://no-such-host.qx.test:389: connecting failed")]
        for path, reason, start in cases:
            with self.subTest(path=path):
                answer = self.call(path, "network_timeout 3\n")
                self.assertEqual(answer.message, SERVER_DOWN)
                line = self.failure_line(answer)
                self.assertTrue(line.startswith("quarlix ADSI: " + start), line)
                self.assertIn(reason, line)
                self.assertIn("tried anonymously [identity rule 6: no identity configured, no ticket cache], no TLS, "
                              "network time-out 3 s", line)

    def test_anonymous_reads_say_the_server_wants_a_bind(self):
        status = subprocess.run([ad.LDAPSEARCH, "-x", "-H", dc.ldaps_url, "-b", ad.PEOPLE, "-s", "base", "1.1"],
                                capture_output=True, env=dc.tls_environment(), timeout=60)
        self.assertEqual(status.returncode, 1, status.stderr)  # operationsError
        said = re.search(r"(?m)^text: (.*)$", status.stdout.decode()).group(1)
        answer = self.call("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), "tls_cacert %s\n" % dc.ca_file, "(cn=*)")
        self.assertEqual(answer.message, "\nError: An operations error occurred.\r\n")
        line = 'quarlix ADSI: search under "%s" for (objectClass=*) on ldap://%s:389 failed: Operations error (%s); ' \
               'bound anonymously [identity rule 6: no identity configured, no ticket cache]' % (ad.PEOPLE, ad.HOST, said)
        self.assertIn(line, answer.stderr.splitlines())

    def test_a_class_filter_that_cannot_be_encoded_fails_the_listing(self):
        config = self.write_config(dc.reader_settings())
        path = "GC://%s/%s" % (ad.HOST, ad.PEOPLE)
        listing = self.host.call(exec_line(path, "user)(cn=*", "cn", "GET_CHILD_OBJECTS"), config=config)
        self.assertEqual(listing.returncode, 1, listing.stderr)
        self.assertEqual(listing.rows, [])
        self.assertEqual(listing.message, "\nError: The search filter specified is invalid\r\n")
        # A class that can be encoded lists what ldapsearch finds.
        good = self.host.call(exec_line(path, "user", "cn", "GET_CHILD_OBJECTS"), config=config)
        self.assertEqual(good.returncode, 0, good.stderr)
        expected = dc.search(ad.PEOPLE, "(objectClass=user)", ["cn"], scope="one", url=dc.gcs_url)
        self.assertEqual(sorted(r[0].decode() for r in good.rows),
                         sorted(e[1]["cn"][0].decode() for e in expected))
    def test_kerberos_refusals_carry_the_servers_reason(self):
        ccache = os.path.join(self.folder, "krb5cc")
        environment = dc.kinit(ccache)
        kerberos = {"KRB5_CONFIG": environment["KRB5_CONFIG"], "KRB5CCNAME": environment["KRB5CCNAME"]}
        # Inside TLS the server refuses the GSSAPI bind, also without a
        # security layer of its own (what the stand-in asks for there);
        # ldapsearch, asking the same, hears why.
        refused = subprocess.run([ad.LDAPSEARCH, "-Y", "GSSAPI", "-O", "maxssf=0", "-ZZ", "-H", dc.ldap_url, "-b", "",
                                  "-s", "base", "1.1"], capture_output=True, env=environment, timeout=60)
        self.assertNotEqual(refused.returncode, 0)
        error = re.search(r"ldap_sasl_interactive_bind: (.*) \(\d+\)", refused.stderr.decode()).group(1)
        said = re.search(r"additional info: (.*)", refused.stderr.decode()).group(1).strip()
        answer = self.call("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), "tls_cacert %s\n" % dc.ca_file,
                           environment=kerberos)
        self.assertEqual(answer.message, "Cannot create object. HR: 80072028")  # strongAuthRequired
        line = self.failure_line(answer)
        self.assertIn("the bind failed: %s (%s)" % (error, said), line)
        self.assertIn("tried with Kerberos (SASL GSSAPI, ticket cache %s) [identity rule 4: KRB5CCNAME names the "
                      "ticket cache], StartTLS" % kerberos["KRB5CCNAME"], line)
        # A ticket cache that is not there: said before any connection.
        missing = dict(kerberos, KRB5CCNAME="FILE:" + os.path.join(self.folder, "no-cache"))
        answer = self.call("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), "sasl_mech GSSAPI\nstarttls never\n",
                           environment=missing)
        self.assertEqual(answer.message, "Cannot create object. HR: 8007203B")
        lines = [line for line in answer.stderr.splitlines() if line.startswith("quarlix ADSI: ")]
        self.assertEqual(len(lines), 1, answer.stderr)
        self.assertIn("cannot bind to ldap://%s:389: sasl_mech GSSAPI in " % ad.HOST, lines[0])
        self.assertIn("No Kerberos credentials available (default cache: %s)" % missing["KRB5CCNAME"], lines[0])
        self.assertTrue(lines[0].endswith("[identity rule 1: sasl_mech in %s]" % os.path.join(self.folder, "adsi.conf")),
                        lines[0])


class FrozenServer(unittest.TestCase):
    """The domain controller stopped (SIGSTOP): the kernel still takes the
    connection, nothing answers."""

    def setUp(self):
        self.host = Host(EXE, reader_config(self, "quarlix-adfrozen-", "network_timeout 3\ntimeout 3\n"))

    def freeze(self):
        dc.process.send_signal(signal.SIGSTOP)
        self.addCleanup(dc.process.send_signal, signal.SIGCONT)

    def timed(self, line):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        answer = self.host.call(line, timeout=120)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        answer.cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        return answer

    def test_tls_with_a_frozen_server_ends_within_the_network_time_out(self):
        self.freeze()
        cases = [("LDAP://%s:636/%s" % (ad.HOST, ad.PEOPLE),
                  "quarlix ADSI: TLS with ldaps://%s:636 failed: ldaps: the server took the connection and did not "
                  "answer the TLS handshake within 3 s" % ad.HOST),
                 ("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), None)]
        for path, line in cases:
            with self.subTest(path=path):
                answer = self.timed(exec_line(path, "", "cn"))
                self.assertEqual(answer.message, SERVER_DOWN)
                # Bounded and idle: not a speed check (a hang would meet the
                # harness's own limit, a spin would burn its seconds of CPU).
                self.assertLess(answer.seconds, 60)
                self.assertLess(answer.cpu, 0.5 * answer.seconds, "the wait kept a core busy")
                if line:
                    self.assertIn(line, answer.stderr.splitlines())
                else:
                    self.assertEqual(len([l for l in answer.stderr.splitlines() if "quarlix ADSI: " in l]), 1,
                                     answer.stderr)

    def test_a_listing_never_passes_a_broken_walk_off_as_the_answer(self):
        line = exec_line("LDAP://%s/%s" % (ad.HOST, ad.BULK), "", "cn", "GET_CHILD_OBJECTS")
        whole = self.host.call(line, timeout=300)
        self.assertEqual(whole.returncode, 0, whole.stderr)
        expected = dc.search(ad.BULK, attributes=["cn"], scope="one", bind_dn=dc.reader_dn,
                             password=dc.reader_password)
        self.assertEqual(sorted(r[0].decode() for r in whole.rows), sorted(e[1]["cn"][0].decode() for e in expected))
        outcomes = set()
        for delay in (0.05, 0.15, 0.3):
            with self.subTest(delay=delay):
                timer = threading.Timer(delay, dc.process.send_signal, (signal.SIGSTOP,))
                timer.start()
                try:
                    answer = self.host.call(line, timeout=120)
                finally:
                    timer.join()
                    dc.process.send_signal(signal.SIGCONT)
                if answer.returncode == 0:
                    self.assertEqual(len(answer.rows), len(expected))  # it finished before the freeze
                    outcomes.add("whole")
                else:
                    self.assertEqual(answer.rows, [])
                    self.assertEqual(len(answer.messages), 1)
                    self.assertIn(answer.message, (SERVER_DOWN, "Cannot create object. HR: 800705B4",
                                                   "\nError: This operation returned because the timeout period "
                                                   "expired.\r\n"))
                    outcomes.add("failed")
                time.sleep(0.5)  # the server catches up with what it was sent
        self.assertIn("failed", outcomes, "the freeze never met the listing")


class Trace(unittest.TestCase):
    def test_each_operation_is_traced_without_the_password(self):
        config = reader_config(self, "quarlix-adtrace-")
        expected = dc.search(ad.PEOPLE, "(objectClass=user)", ["cn"], bind_dn=dc.reader_dn,
                             password=dc.reader_password)
        query = exec_line("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), "(objectClass=user)", "cn")
        for environment, arguments in (({"QUARLIX_ADSI_TRACE": "1"}, []), ({}, ["--trace"])):
            with self.subTest(arguments=arguments):
                command = [EXE, "--format", "events"] + arguments + ["-Q", query]
                env = {k: v for k, v in os.environ.items() if not k.startswith("LDAP")}
                env.update(environment, QUARLIX_ADSI_CONFIG=config)
                done = subprocess.run(command, capture_output=True, env=env, timeout=120)
                self.assertEqual(done.returncode, 0, done.stderr)
                trace = [line[len("quarlix ADSI trace: "):] for line in done.stderr.decode().splitlines()
                         if line.startswith("quarlix ADSI trace: ")]
                self.assertRegex(trace[0], r"^connect ldap://%s:389 \(network time-out 10 s\): connected, \d+ ms$"
                                 % re.escape(ad.HOST))
                self.assertTrue(any(re.match(r"StartTLS on ldap://%s:389: protected, \d+ ms$" % re.escape(ad.HOST), t)
                                    for t in trace), trace)
                binds = [t for t in trace if t.startswith("bind ")]
                self.assertEqual(len(binds), 1, trace)
                self.assertTrue(binds[0].startswith("bind as %s (simple bind, password from bindpw in %s) [identity rule "
                                                    "2: binddn in %s]: bound; " % (dc.reader_dn, config, config)),
                                binds[0])
                searches = [t for t in trace if t.startswith('search base="%s" scope=sub filter=(objectClass=user) '
                                                              'attributes=cn page=' % ad.PEOPLE)]
                self.assertEqual(len(searches), 1, trace)
                self.assertIn(": Success, %d entries, last page, " % len(expected), searches[0])
                self.assertNotIn(dc.reader_password, done.stderr.decode())


def sid_text(raw):
    """S-1-5-21-... of a binary SID."""
    count = raw[1]
    subs = [int.from_bytes(raw[8 + 4 * i:12 + 4 * i], "little") for i in range(count)]
    return "S-%d-%d-%s" % (raw[0], int.from_bytes(raw[2:8], "big"), "-".join(map(str, subs)))


class UnreadableSchema(unittest.TestCase):
    """The service account may read the domain but not the schema: values are
    typed by the built-in table of well-known attributes, as the server's
    schema types them, and one line says why."""

    def test_values_keep_their_types_without_the_schema(self):
        config = reader_config(self, "quarlix-adschema-")
        folder = os.path.dirname(config)
        host = Host(EXE, config)
        fields = "objectGUID,objectSid,whenCreated,userAccountControl,pwdLastSet,memberOf,sAMAccountName"
        query = exec_line("LDAP://%s/%s" % (ad.HOST, ad.PEOPLE), "(sAMAccountName=carol)", fields)
        with_schema = host.call(query)
        self.assertEqual(with_schema.returncode, 0, with_schema.stderr)
        self.assertNotIn("could not be read", with_schema.stderr)
        # Every attribute of objects of each kind, on the object and search roads.
        everything = [exec_line("LDAP://%s/%s" % (ad.HOST, dn), filter_, "*")
                      for dn in (ad.person_dn("carol"), ad.person_dn("WS01"), ad.group_dn("Top"), ad.PEOPLE, ad.BASE)
                      for filter_ in ("", "(objectClass=*)")]
        typed = [host.call(line) for line in everything]
        # Deny the account every read of the subschema entry (a change to the
        # schema partition, which the server takes only offline).
        subschema = "CN=Aggregate,CN=Schema,CN=Configuration," + ad.BASE
        sid = sid_text(dc.search(dc.reader_dn, attributes=["objectSid"], scope="base")[0][1]["objectSid"][0])
        descriptor = dc.search(subschema, attributes=["nTSecurityDescriptor"], scope="base")
        self.assertTrue(descriptor)
        sddl = ("O:SAG:SAD:AI(D;;RPLCLORC;;;%s)(A;CIID;RPLCLORC;;;AU)(A;CIID;RPWPCRCCLCLORCWOWDSW;;;SA)"
                "(A;CIID;RPWPCRCCDCLCLORCWOWDSDDTSW;;;SY)" % sid)
        change = os.path.join(folder, "deny.ldif")
        with open(change, "w") as f:
            f.write("dn: %s\nchangetype: modify\nreplace: nTSecurityDescriptor\nnTSecurityDescriptor: %s\n"
                    % (subschema, sddl))
        sam = os.path.join(dc.folder, "t", "dc", "private", "sam.ldb")
        done = subprocess.run(["ldbmodify", "-H", sam, "--option=dsdb:schema update allowed=true", change],
                              capture_output=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        hidden = subprocess.run([ad.LDAPSEARCH, "-LLL", "-x", "-H", dc.ldaps_url, "-D", dc.reader_dn, "-w",
                                 dc.reader_password, "-b", subschema, "-s", "base", "attributeTypes"],
                                capture_output=True, env=dc.tls_environment(), timeout=60)
        self.assertNotIn(b"attributeTypes:", hidden.stdout, "the account still reads the schema")
        without = host.call(query)
        self.assertEqual(without.returncode, 0, without.stderr)
        self.assertEqual(without.columns, with_schema.columns)
        self.assertEqual(without.rows, with_schema.rows)
        for line, before in zip(everything, typed):
            after = host.call(line)
            self.assertEqual(after.returncode, 0, after.stderr)
            self.assertEqual((after.columns, after.rows), (before.columns, before.rows), line)
        expected = dc.search(ad.PEOPLE, "(sAMAccountName=carol)", ["objectGUID", "objectSid"])[0]
        self.assertEqual(without.rows[0][0], expected[1]["objectGUID"][0])
        self.assertEqual(without.rows[0][1], expected[1]["objectSid"][0])
        lines = [line for line in without.stderr.splitlines() if "could not be read" in line]
        self.assertEqual(lines, ["quarlix ADSI: the schema of ldap://%s:389 (%s) could not be read: the entry is "
                                 "not visible to this identity; values are typed by the built-in table of well-known "
                                 "attributes" % (ad.HOST, subschema)])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
