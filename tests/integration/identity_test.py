#!/usr/bin/env python3
"""The stand-in's configuration and identity as a DBA meets them, against a
real slapd on loopback, through quarlix-exec and quarlix-server:

- a password written in any form the reader does not expect never shows in
  quarlix-exec's output, its --trace or the server's log;
- an identity that is asked for and cannot be used fails the call with the
  reason, and the line names the rule that chose it;
- with a server configured, RootDSE and serverless paths outside the
  embedded directory reach it, and both hosts say so.
Arguments: quarlix-exec, quarlix-server."""
import csv
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

from slapd_fixture import SLAPD, Slapd  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
SERVER = sys.argv.pop(1) if len(sys.argv) > 1 else None
SUFFIX = "dc=example,dc=com"
READER = "cn=reader," + SUFFIX
# The reader's real password: a form that does read binds with it.
MARK = "Marker-Pass-7731"
HIDDEN = "cn=hidden,ou=secret," + SUFFIX
DATA = ("dn: %s\nobjectClass: top\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: example\n\n"
        "dn: %s\nobjectClass: person\ncn: reader\nsn: reader\nuserPassword: %s\n\n"
        "dn: ou=secret,%s\nobjectClass: organizationalUnit\nou: secret\n\n"
        "dn: %s\nobjectClass: device\ncn: hidden\n\n" % (SUFFIX, READER, MARK, SUFFIX, HIDDEN))
ACCESS = ('access to dn.subtree="ou=secret,%s"\n  by dn.exact="%s" read\n  by * none\n'
          "access to attrs=userPassword\n  by anonymous auth\n  by * none\n"
          "access to *\n  by * read\n" % (SUFFIX, READER))
NOT_PARSED = "HR: 8007000D"

# (what the line looks like, the file's bytes, the line a reader stops at;
# None for a file that reads).
FORMS = [
    ("key=value", "binddn %s\nbindpw=%s\n" % (READER, MARK), 2),
    ("key:value", "binddn %s\nbindpw:%s\n" % (READER, MARK), 2),
    ("key = value", "binddn %s\nbindpw = %s\n" % (READER, MARK), 2),
    ("key: value", "binddn %s\nbindpw: %s\n" % (READER, MARK), 2),
    ("tabs around =", "binddn\t%s\nbindpw\t=\t%s\n" % (READER, MARK), 2),
    ("upper case key=", "binddn %s\nBINDPW=%s\n" % (READER, MARK), 2),
    ("byte-order mark, key=", "\ufeffbindpw=%s\nbinddn %s\n" % (MARK, READER), 1),
    ("CRLF, key=", "binddn %s\r\nbindpw=%s\r\n" % (READER, MARK), 2),
    ("CR only", "binddn %s\rbindpw %s\rtimeout never\r" % (READER, MARK), 3),
    ("repeated key", "binddn %s\nbindpw %s\nbindpw %s\n" % (READER, MARK, MARK), 3),
    ("unknown key", "binddn %s\nbindpass %s\n" % (READER, MARK), 2),
    ("the value alone on a line", "binddn %s\nbindpw\n%s\n" % (READER, MARK), 2),
    ("only the value", "%s\n" % MARK, 1),
    ("value first", "%s bindpw\n" % MARK, 1),
    ("on another key's line", "binddn %s bindpw %s\n" % (READER, MARK), 1),
    ("on another key's line, key=", "binddn %s bindpw=%s\n" % (READER, MARK), 1),
    ("in a number", "timeout %s\n" % MARK, 1),
    ("in a keyword", "starttls %s\n" % MARK, 1),
    ("in ports", "ldaps_ports %s\n" % MARK, 1),
    ("in a level", "tls_reqcert %s\n" % MARK, 1),
    ("in the fallback", "ticket_cache_fallback %s\n" % MARK, 1),
    ("password file key=", "binddn %s\nbindpw_file=%s\n" % (READER, MARK), 2),
    ("password file key:", "binddn %s\nbindpw_file: %s\n" % (READER, MARK), 2),
    ("password as the file's name", "binddn %s\nbindpw_file %s\n" % (READER, MARK), 2),
    ("UTF-16", ("binddn %s\nbindpw %s\n" % (READER, MARK)).encode("utf-16"), 0),
    # Files that read: the password binds, and still shows nowhere.
    ("as documented", "binddn %s\nbindpw %s\n" % (READER, MARK), None),
    ("tabs, CRLF, byte-order mark", "\ufeffbinddn\t%s\r\nbindpw\t%s\r\n" % (READER, MARK), None),
    ("password file", "binddn %s\nbindpw_file reader.pw\n" % READER, None),
]


def setUpModule():
    if not os.path.exists(SLAPD):
        raise RuntimeError("slapd is not installed: run scripts/install-deps.sh")


def run(command, environment, timeout=60, **kwargs):
    done = subprocess.run(command, capture_output=True, timeout=timeout, env=environment, **kwargs)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def base_environment(**extra):
    """This process's environment without libldap's settings or a ticket cache."""
    environment = {k: v for k, v in os.environ.items() if not k.startswith(("LDAP", "KRB5", "QUARLIX"))}
    environment.update(extra)
    return environment


def rows(csv_text):
    return list(csv.reader(csv_text.splitlines()))


def exec_line(path, fields="cn"):
    return "EXEC quarlix '%s', '', '%s'" % (path, fields)


class Slapd_(unittest.TestCase):
    """One slapd, a folder and a quarlix-server for the class."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-identity-")
        cls.config = os.path.join(cls.folder, "adsi.conf")
        with open(os.path.join(cls.folder, "reader.pw"), "w") as f:
            f.write(MARK + "\n")
        cls.slapd = Slapd(DATA, access=ACCESS)
        cls.slapd.__enter__()
        cls.hidden = "LDAP://%s/%s" % (cls.slapd.address, HIDDEN)

    @classmethod
    def tearDownClass(cls):
        cls.slapd.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def write_config(self, content):
        with open(self.config, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode("utf-8"))

    def exec_(self, line, *options, **environment):
        command = [EXE, "--no-directory"] + list(options) + ["-Q", line]
        return run(command, base_environment(QUARLIX_ADSI_CONFIG=self.config, **environment))


class Secrets(Slapd_):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        logins = os.path.join(cls.folder, "logins")
        subprocess.run([SERVER, "--add-login", "reports", "--logins", logins], input=b"change-me\n", check=True,
                       capture_output=True, timeout=60)
        cls.log_path = os.path.join(cls.folder, "server.log")
        cls.log = open(cls.log_path, "w")
        cls.server = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", "--logins", logins, "--no-directory"],
                                      stdout=subprocess.PIPE, stderr=cls.log, text=True,
                                      env=base_environment(QUARLIX_ADSI_CONFIG=cls.config))
        cls.port = cls.server.stdout.readline().rsplit(":", 1)[1].strip()

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait(60)
        cls.server.stdout.close()
        cls.log.close()
        super().tearDownClass()

    def server_log(self):
        with open(self.log_path) as f:
            return f.read()

    def through_server(self, line):
        """tsql's output of one call; the server's log lines it wrote meanwhile."""
        before = len(self.server_log())
        _, out, err = run(["tsql", "-H", "127.0.0.1", "-p", self.port, "-U", "reports", "-P", "change-me"],
                          base_environment(LANG="C.UTF-8"), input=(line + "\ngo\n").encode())
        return out + err, self.server_log()[before:]

    def test_no_form_of_a_password_shows_anywhere(self):
        line = exec_line(self.hidden)
        for name, content, broken in FORMS:
            with self.subTest(form=name):
                self.write_config(content)
                code, out, err = self.exec_(line, "--format", "events")
                _, trace_out, trace_err = self.exec_(line, "--trace")
                client, log = self.through_server(line)
                for where, text in (("exec stdout", out), ("exec stderr", err), ("--trace stdout", trace_out),
                                    ("--trace stderr", trace_err), ("tsql", client), ("server log", log)):
                    self.assertNotIn(MARK, text, where)
                if broken is None:
                    self.assertEqual(code, 0, err)
                    self.assertIn('"cells":["68696464656e"]', out)  # "hidden": the reader's bind worked
                    self.assertIn("bind as %s (simple bind" % READER, trace_err)
                    self.assertIn("hidden", client)
                    continue
                # Said, with the file and line, on every road.
                where = "%s:%d: " % (self.config, broken) if broken else self.config + ": "
                self.assertEqual(code, 1)
                self.assertIn(NOT_PARSED, out)
                self.assertIn("quarlix ADSI: " + where, err)
                self.assertIn("quarlix ADSI: " + where, trace_err)
                self.assertIn("directory: " + where, log)
                self.assertIn("Msg 20001", client)


def empty_cache(path, principal=b"reader", realm=b"EXAMPLE.COM"):
    """A FILE ticket cache (version 4) that names its principal and holds no
    ticket, as a cache whose tickets were all removed does."""
    def counted(data):
        return struct.pack(">I", len(data)) + data
    with open(path, "wb") as f:
        f.write(struct.pack(">HH", 0x0504, 0) + struct.pack(">II", 1, 1) + counted(realm) + counted(principal))


class Identity(Slapd_):
    """What the configuration or the environment asks for and cannot be used
    fails the call, with the reason and the rule that chose the identity."""

    def ldapsearch_reason(self, *bind):
        """What ldapsearch says when it binds the same way: its additional info."""
        _, _, err = run(["ldapsearch", "-H", self.slapd.url, "-b", SUFFIX, "-s", "base", "1.1"] + list(bind),
                        base_environment())
        return err.split("additional info: ", 1)[1].split("\n", 1)[0]

    def test_what_the_configuration_names_and_cannot_be_used(self):
        with open(os.path.join(self.folder, "empty.pw"), "w") as f:
            f.write("\n")
        cases = [
            # (configuration, the call's message, what stderr says)
            ("sasl_mech EXTERNAL\n", "HR: 8007", ["the bind failed", "[identity rule 1: sasl_mech in %s]" % self.config]),
            ("sasl_mech NO-SUCH\n", "HR: 8007", ["the bind failed", "[identity rule 1: sasl_mech in %s]" % self.config]),
            ("binddn cn=nobody,%s\nbindpw x\n" % SUFFIX, "HR: 8007052E",
             ["Invalid credentials", "as cn=nobody,%s (simple bind, password from bindpw in %s) "
              "[identity rule 2: binddn in %s]" % (SUFFIX, self.config, self.config)]),
            ("binddn %s\nbindpw_file absent.pw\n" % READER, NOT_PARSED,
             ["%s:2: cannot read the file 'bindpw_file' names: No such file or directory" % self.config]),
            ("binddn %s\nbindpw_file empty.pw\n" % READER, NOT_PARSED,
             ["%s:2: the first line of the file 'bindpw_file' names is empty" % self.config]),
        ]
        for config, message, said in cases:
            with self.subTest(config=config):
                self.write_config(config)
                code, out, err = self.exec_(exec_line(self.hidden))
                self.assertEqual(code, 1, out + err)
                self.assertIn(message, out)
                for words in said:
                    self.assertIn(words, err)
        # The reason is SASL's, as ldapsearch hears it binding the same way.
        for mechanism in ("EXTERNAL", "NO-SUCH"):
            self.write_config("sasl_mech %s\n" % mechanism)
            self.assertIn("(%s)" % self.ldapsearch_reason("-Y", mechanism), self.exec_(exec_line(self.hidden))[2])

    def test_a_ticket_cache_that_cannot_be_used_is_never_dropped_in_silence(self):
        zero = os.path.join(self.folder, "zero.cc")
        open(zero, "w").close()
        empty = os.path.join(self.folder, "empty.cc")
        empty_cache(empty)
        missing = os.path.join(self.folder, "missing.cc")
        cases = [(missing, "No Kerberos credentials available"), (empty, "Credential cache is empty"),
                 (zero, "Bad format in credentials cache")]
        path = "LDAP://%s/%s" % (self.slapd.address, SUFFIX)
        for cache, why in cases:
            with self.subTest(cache=cache):
                self.write_config("# no identity\n")
                code, out, err = self.exec_(exec_line(path, "dc"), KRB5CCNAME="FILE:" + cache)
                self.assertEqual(code, 1, out + err)
                self.assertIn("Cannot create object. HR: 8007203B", out)
                line = "quarlix ADSI: cannot bind to %s: KRB5CCNAME names the ticket cache FILE:%s, and it cannot be " \
                       "used: %s" % (self.slapd.url, cache, why)
                self.assertIn(line, err)
                self.assertIn("[identity rule 4: KRB5CCNAME names the ticket cache]\n", err)
                # Accepting anonymous reads: the call goes on, saying so, and
                # sees what anonymous sees.
                self.write_config("ticket_cache_fallback anonymous\n")
                code, out, err = self.exec_(exec_line(path, "dc"), KRB5CCNAME="FILE:" + cache)
                self.assertEqual(code, 0, out + err)
                self.assertIn("example", out)
                self.assertIn("binding anonymously [identity rule 4: KRB5CCNAME names the ticket cache, which "
                              "cannot be used; ticket_cache_fallback anonymous in %s]" % self.config, err)
                code, out, err = self.exec_(exec_line(self.hidden), KRB5CCNAME="FILE:" + cache)
                self.assertIn("HR: 80072030", out)
                # Without KRB5CCNAME the same call is anonymous by the last rule, without a word.
                self.write_config("# no identity\n")
                code, out, err = self.exec_(exec_line(path, "dc"), "--trace")
                self.assertEqual(code, 0, out + err)
                self.assertIn("bind anonymously [identity rule 6: no identity configured, no ticket cache]", err)


class Routing(Slapd_):
    """Serverless paths with the sample mounted and a server configured."""

    def call(self, path, fields, directory=True, **environment):
        command = [EXE, "--format", "csv", "--trace"] + ([] if directory else ["--no-directory"])
        return run(command + ["-Q", exec_line(path, fields)], base_environment(**environment))

    def test_the_configured_server_answers_what_the_sample_does_not_hold(self):
        dse = run(["ldapsearch", "-x", "-LLL", "-H", self.slapd.url, "-b", "", "-s", "base", "namingContexts"],
                  base_environment())[1]
        self.assertIn("namingContexts: " + SUFFIX, dse)
        configured = {"LDAPURI": self.slapd.url}
        # RootDSE: the server's.
        code, out, err = self.call("LDAP://RootDSE", "namingContexts", **configured)
        self.assertEqual((code, rows(out)), (0, [["namingContexts"], [SUFFIX]]), err)
        said = ("quarlix-exec: serverless paths under DC=corp,DC=example,DC=com or cn=Subschema reach the embedded "
                "directory ")
        self.assertIn(said, err)
        self.assertIn("; RootDSE and the others reach %s (LDAPURI)\n" % self.slapd.url, err)
        # A path in the server's naming context: the server; in the sample's: the sample.
        self.assertEqual(rows(self.call("LDAP://" + SUFFIX, "o", **configured)[1]), [["o"], ["example"]])
        code, out, err = self.call("LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com", "ou", **configured)
        self.assertEqual(rows(out), [["ou"], ["Sales"]], err)
        # No server configured (libldap reads no configuration at all): the
        # sample answers RootDSE, and a path outside it goes to libldap's default.
        code, out, err = self.call("LDAP://RootDSE", "defaultNamingContext", LDAPNOINIT="1")
        self.assertEqual(rows(out), [["defaultNamingContext"], ["DC=corp,DC=example,DC=com"]], err)
        self.assertIn("or cn=Subschema, and RootDSE, reach the embedded directory ", err)
        self.assertIn("the others reach ldap://localhost:389/??base (libldap's default: no URI in ldap.conf, "
                      "no LDAPURI)", err)

    def test_the_server_says_where_serverless_paths_go_when_it_starts(self):
        logins = os.path.join(self.folder, "routing-logins")
        subprocess.run([SERVER, "--add-login", "reports", "--logins", logins], input=b"change-me\n", check=True,
                       capture_output=True, timeout=60)
        for options, said in (([], "; RootDSE and the others reach %s (LDAPURI)" % self.slapd.url),
                              (["--no-directory"], "serverless paths reach %s (LDAPURI)" % self.slapd.url)):
            with self.subTest(options=options):
                server = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", "--logins", logins] + options,
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                          env=base_environment(LDAPURI=self.slapd.url))
                server.stdout.readline()
                server.terminate()
                _, log = server.communicate(timeout=60)
                self.assertIn(said, log.splitlines()[0])
                self.assertTrue(log.startswith("quarlix-server: serverless paths "), log)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
