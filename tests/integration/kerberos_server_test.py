#!/usr/bin/env python3
"""Kerberos logins to quarlix-server from real SQL clients, against the Samba
AD domain controller's KDC: FreeTDS's tsql and pymssql with no user name,
pyodbc over FreeTDS's ODBC driver (Trusted_Connection), pytds with its
KerberosAuth. The server takes the service's keytab and an allow list (a
principal by name, a group whose members are read from the directory as the
server's own identity); with --delegate a call reads the directory as its
caller. What a caller may read comes from ldapsearch with the caller's own
ticket. The clients run as /usr/bin/python3 (Debian's modules).
Arguments: quarlix-server, the folder that caches the provisioned domain."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPORT = os.path.abspath(os.path.join(HERE, "..", "support"))
sys.path.insert(0, SUPPORT)

import samba_fixture as ad  # noqa: E402
import samba_kerberos as kerberos  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

SERVER = sys.argv.pop(1) if len(sys.argv) > 1 else None
CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")
PYTHON = "/usr/bin/python3"
ODBC_DRIVER = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"
HOST, PORT = kerberos.SQL_HOST, kerberos.SQL_PORT
ALLOWED = ["--allow-principal", kerberos.principal("dave"), "--allow-group", kerberos.SQL_USERS]
RESTRICTED_CALL = "EXEC quarlix 'LDAP://%s', '(objectClass=*)', 'ADsPath'" % kerberos.RESTRICTED_OU
FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1"
# libfaketime cannot be preloaded beside AddressSanitizer's runtime (it must come
# first, and with it first the process hangs at start): a server built with it
# runs no case on a shifted clock; the other builds do.
SANITIZED = bool(SERVER) and "libasan" in subprocess.run(["ldd", SERVER], capture_output=True, text=True).stdout
dc = folder = None


def cache(name):
    return "FILE:" + os.path.join(folder, "cc-" + name)


def setUpModule():
    global dc, folder
    dc = ad.start_for_module(CACHE)
    folder = tempfile.mkdtemp(prefix="quarlix-kerberos-server-")
    with open(os.path.join(folder, "freetds.conf"), "w") as f:
        f.write("[global]\n tds version = 7.4\n")
    # The server's own identity: svc-sql from its keytab, as docs/server.md sets a service up.
    with open(os.path.join(folder, "adsi.conf"), "w") as f:
        f.write("sasl_mech GSSAPI\nstarttls never\n")
    for user in kerberos.USERS:
        dc.kinit_user(user, cache(user)[5:])
    subprocess.run([SERVER, "--add-login", "reports", "--logins", os.path.join(folder, "logins")],
                   input=b"change-me\n", check=True, capture_output=True, timeout=60)


def tearDownModule():
    if dc:
        dc.close()
    if folder:
        shutil.rmtree(folder, ignore_errors=True)


class Server:
    """quarlix-server on 127.0.0.1:1433 (sql.qx.test and plain.qx.test) with
    these options; `log` holds its log once it has stopped."""

    def __init__(self, *options, ahead=None, ldap_uri=None):
        self.command = [SERVER, "--listen", "127.0.0.1:%d" % PORT, "--no-directory"] + list(options)
        self.ahead = ahead  # the server's clock runs this far ahead of the KDC's and the clients'
        self.ldap_uri = ldap_uri or dc.ldap_url  # the server serverless paths reach
        self.log = ""

    def __enter__(self):
        self.log_path = os.path.join(folder, "server.log")
        environment = dict(dc.tls_environment(), QUARLIX_ADSI_CONFIG=os.path.join(folder, "adsi.conf"),
                           LDAPURI=self.ldap_uri, KRB5_CLIENT_KTNAME=dc.sql_keytab, KRB5CCNAME=cache("server"))
        if self.ahead:
            environment.update(LD_PRELOAD=FAKETIME, FAKETIME=self.ahead, KRB5_CONFIG=short_skew())
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(self.command, stdout=subprocess.PIPE, stderr=log, text=True,
                                            env=environment)
        listening = self.process.stdout.readline()
        if not listening.startswith("quarlix-server: listening"):
            self.__exit__()
            raise RuntimeError("the server did not start: " + self.log)
        return self

    def wait_for(self, text, seconds=30):
        """Until the log holds `text`."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            with open(self.log_path) as f:
                if text in f.read():
                    return
            time.sleep(0.05)
        raise AssertionError("not in the log within %d s: %s" % (seconds, text))

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait(60)
        self.process.stdout.close()
        with open(self.log_path) as f:
            self.log = f.read()


def short_skew():
    """krb5.conf with 60 s of clock skew allowed, not 5 minutes."""
    path = os.path.join(folder, "krb5-skew.conf")
    with open(dc.krb5_conf) as original, open(path, "w") as f:
        f.write(original.read().replace("[libdefaults]\n", "[libdefaults]\n clockskew = 60\n"))
    return path


def python_client(code):
    return [PYTHON, "-c", "import sys, pymssql, pyodbc, pytds, pytds.login\n" + code]


def pymssql_query(host):
    return python_client("conn = pymssql.connect(server=%r, port=%r, login_timeout=10, autocommit=True)\nc = conn.cursor()\n"
                         "c.execute(QUERY)\nfor row in c.fetchall(): print(row[0])" % (host, str(PORT)))


def clients(host):
    """How each client logs in to `host`:1433 with the caller's ticket and
    prints the first column of QUERY's rows."""
    return {
        "tsql": ["tsql", "-H", host, "-p", str(PORT)],
        "pymssql": pymssql_query(host),
        "pyodbc": python_client("conn = pyodbc.connect('DRIVER=%s;SERVER=%s;PORT=%d;Trusted_Connection=Yes;TDS_Version=7.4',"
                                " autocommit=True)\nc = conn.cursor()\nc.execute(QUERY)\nfor row in c.fetchall(): print(row[0])"
                                % (ODBC_DRIVER, host, PORT)),
        "pytds": python_client("conn = pytds.connect(server=%r, port=%d, autocommit=True, auth=pytds.login.KerberosAuth("
                               "'MSSQLSvc@%s:%d'))\nc = conn.cursor()\nc.execute(QUERY)\nfor row in c.fetchall(): print(row[0])"
                               % (host, PORT, host, PORT)),
        # Kerberos inside SPNEGO, as Windows clients send it, through pytds's authentication hooks.
        "pytds, SPNEGO": python_client(
            "import gssapi\n"
            "class Spnego:\n"
            "    def __init__(self):\n"
            "        self.context = gssapi.SecurityContext(name=gssapi.Name('MSSQLSvc@%s:%d', "
            "gssapi.NameType.hostbased_service), mech=gssapi.OID.from_int_seq('1.3.6.1.5.5.2'), usage='initiate')\n"
            "    def create_packet(self): return self.context.step()\n"
            "    def handle_next(self, token): return self.context.step(token) or b''\n"
            "    def close(self): pass\n"
            "conn = pytds.connect(server=%r, port=%d, autocommit=True, auth=Spnego())\nc = conn.cursor()\n"
            "c.execute(QUERY)\nfor row in c.fetchall(): print(row[0])" % (host, PORT, host, PORT)),
    }


CLIENTS = clients(HOST)


def run(command, query, user="dave"):
    """The client's exit status and what it printed; `user`'s ticket cache."""
    if command[0] == PYTHON:
        command = [PYTHON, "-c", "QUERY = %r\n" % query + command[2]]
    environment = dict(dc.tls_environment(), KRB5CCNAME=cache(user), FREETDSCONF=os.path.join(folder, "freetds.conf"),
                       ODBCSYSINI=folder, ODBCINI=os.path.join(folder, "odbc.ini"))
    done = subprocess.run(command, input=query + "\ngo\nquit\n", capture_output=True, text=True, timeout=60,
                          env=environment)
    return done.returncode, done.stdout + done.stderr


def refused(principal):
    return "Login failed for user '%s'." % principal


def own_view(client_cache):
    """The DNs under the restricted OU that ldapsearch reads with that ticket."""
    done = subprocess.run([ad.LDAPSEARCH, "-Y", "GSSAPI", "-Q", "-LLL", "-o", "ldif-wrap=no", "-H", dc.ldap_url,
                           "-b", kerberos.RESTRICTED_OU, "(objectClass=*)", "1.1"], capture_output=True,
                          env=dict(dc.tls_environment(), KRB5CCNAME=client_cache), timeout=60, check=True)
    return sorted(dn for dn, _ in ad.parse_ldif(done.stdout))


class IntegratedLogins(unittest.TestCase):
    def test_each_client_by_name_by_nested_group_and_nobody_else(self):
        direct = dc.search(kerberos.SQL_USERS, attributes=["member"], scope="base")[0][1]["member"]
        self.assertNotIn(kerberos.dn("erin").encode(), direct)  # erin is in SQL Team, itself in SQL Users
        self.assertIn(kerberos.SQL_TEAM.encode(), direct)
        log = ""
        for name, command in CLIENTS.items():
            # A server for each client: frank's refusals delay the next logins from this address.
            with Server("--keytab", dc.sql_keytab, *ALLOWED) as server:
                for user in kerberos.USERS:
                    with self.subTest(client=name, user=user):
                        status, said = run(command, "SELECT SUSER_SNAME()", user)
                        if user == "frank":
                            self.assertNotEqual(status, 0, said)
                            self.assertIn(refused(kerberos.principal(user)), said)
                        else:
                            self.assertEqual(status, 0, said)
                            self.assertRegex(said, r"(?m)^%s\s*$" % kerberos.principal(user))
            log += server.log
        for how in ("dave@QX.TEST (Kerberos, named)", "erin@QX.TEST (Kerberos, a member of %s)" % kerberos.SQL_USERS):
            self.assertEqual(log.count(": login " + how), len(CLIENTS), log)
        self.assertNotIn(": login frank", log)
        self.assertIn(": login failed for 'frank@QX.TEST': neither an allowed principal nor a member of an allowed "
                      "group", log)

    def test_a_logins_file_made_after_the_start_is_read_on_sighup(self):
        logins = os.path.join(folder, "later-logins")
        password = ["tsql", "-H", HOST, "-p", str(PORT), "-U", "reports", "-P", "change-me"]
        with Server("--keytab", dc.sql_keytab, "--logins", logins, *ALLOWED) as server:
            before, _ = run(password, "SELECT SUSER_SNAME()")
            shutil.copy(os.path.join(folder, "logins"), logins)
            server.process.send_signal(signal.SIGHUP)
            server.wait_for("SIGHUP: read 1 logins from " + logins)  # the reload runs on a thread of its own
            after, said = run(password, "SELECT SUSER_SNAME()")
            kerberos_login, _ = run(CLIENTS["tsql"], "SELECT SUSER_SNAME()")
        self.assertEqual((before, after, kerberos_login), (1, 0, 0), said)
        self.assertIn("the logins file %s does not exist: Kerberos logins only until it does" % logins, server.log)
        self.assertIn("SIGHUP: read 1 logins from " + logins, server.log)

    def test_refusals_beside_a_logins_file(self):
        logins = os.path.join(folder, "logins")
        ntlm = ["tsql", "-H", HOST, "-p", str(PORT), "-U", "QX\\dave", "-P", kerberos.PASSWORDS["dave"]]
        ntlm_pytds = python_client("pytds.connect(server=%r, port=%d, auth=pytds.login.NtlmAuth('QX\\\\dave', %r))"
                                   % (HOST, PORT, kerberos.PASSWORDS["dave"]))
        password = ["tsql", "-H", HOST, "-p", str(PORT), "-U", "reports", "-P"]
        # (case, client, logged in, what it shows, what the log says)
        cases = [
            ("NTLM from tsql", ntlm, False, refused(""),
             "login failed for '': the client offered NTLM, which is not accepted: a Kerberos ticket is needed"),
            ("NTLM from pytds", ntlm_pytds, False, refused(""), "the client offered NTLM"),
            ("a password login", password + ["change-me"], True, "reports", ": login reports"),
            ("a wrong password", password + ["wrong"], False, refused("reports"),
             "login failed for 'reports': the password does not match"),
        ]
        with Server("--keytab", dc.sql_keytab, "--logins", logins, *ALLOWED) as server:
            results = [run(command, "SELECT SUSER_SNAME()") for _, command, _, _, _ in cases]
        for (name, _, logged_in, shown, logged), (status, said) in zip(cases, results):
            with self.subTest(case=name):
                self.assertEqual(status == 0, logged_in, said)
                self.assertIn(shown, said)
                self.assertIn(logged, server.log)

    def test_a_group_that_cannot_be_read_admits_nobody(self):
        odd_group = "CN=Odd (group)*\\,x,%s" % kerberos.KERBEROS_OU  # what a filter must escape; no such group
        # (case, the group, the server serverless paths reach, what the log says of erin)
        cases = [("no such group", odd_group, dc.ldap_url, "neither an allowed principal nor a member of an allowed "
                                                           "group"),
                 ("no directory", kerberos.SQL_USERS, "ldap://127.0.0.1:9",
                  "the members of %s could not be read: the directory of %s could not be reached: 0x8007203A"
                  % (kerberos.SQL_USERS, kerberos.BASE))]
        for name, group, uri, logged in cases:
            with self.subTest(case=name):
                with Server("--keytab", dc.sql_keytab, "--allow-group", group, ldap_uri=uri) as server:
                    status, said = run(CLIENTS["pymssql"], "SELECT SUSER_SNAME()", "erin")
                self.assertNotEqual(status, 0, said)
                self.assertIn(refused(kerberos.principal("erin")), said)
                self.assertIn(": login failed for 'erin@QX.TEST': " + logged, server.log)

    def test_a_client_without_a_ticket_closes_before_its_login(self):
        with Server("--keytab", dc.sql_keytab, *ALLOWED) as server:
            for name, command in CLIENTS.items():
                with self.subTest(client=name):
                    status, said = run(command, "SELECT SUSER_SNAME()", "nobody")
                    self.assertNotEqual(status, 0, said)
        self.assertIn("closed: the client closed the connection", server.log)
        self.assertNotIn(": login", server.log)

    def test_keytabs_and_tickets_the_server_cannot_take(self):
        # (case, server options, its clock, the host clients ask for, client ticket, what the log says)
        cases = [
            ("another service's SPN", ["--keytab", dc.sql_keytab] + ALLOWED, None, kerberos.PLAIN_HOST, "dave",
             "Request ticket server %s@%s not found in keytab" % (kerberos.spns(kerberos.PLAIN_HOST)[0],
                                                                  kerberos.REALM), ""),
            ("a keytab of old keys", ["--keytab", dc.sql_stale_keytab] + ALLOWED, None, HOST, "dave",
             "Request ticket server %s@%s kvno" % (kerberos.spns(HOST)[0], kerberos.REALM),
             "not found in keytab; keytab is likely out of date"),
            ("an expired ticket", ["--keytab", dc.sql_keytab] + ALLOWED, "+260", HOST, "expiring", "Ticket expired",
             ""),
        ]
        for name, options, ahead, host, user, logged, logged_end in cases:
            if ahead and SANITIZED:
                print("left out under AddressSanitizer (no libfaketime beside it): " + name)
                continue
            for client, command in clients(host).items():
                with self.subTest(case=name, client=client):
                    # A server each: a refusal delays the next logins from this address.
                    with Server(*options, ahead=ahead) as server:
                        if user == "expiring":  # 180 s: its end is past, with the 60 s of skew, on the server's clock
                            dc.kinit_user("dave", cache(user)[5:], lifetime="180s")
                        status, said = run(command, "SELECT SUSER_SNAME()", user)
                    self.assertNotEqual(status, 0, said)
                    self.assertIn(refused(""), said, server.log)
                    # (FreeTDS's ODBC driver tries twice.)
                    lines = [line for line in server.log.splitlines() if ": login failed for '': " in line]
                    self.assertIn(len(lines), (1, 2) if client == "pyodbc" else (1,), server.log)
                    for line in lines:
                        self.assertIn(logged, line)
                        self.assertTrue(line.endswith(logged_end), line)

    def test_a_server_that_could_not_take_a_login_does_not_start(self):
        for options, said in (([], "--logins FILE or --keytab FILE is required"),
                              (["--keytab", dc.sql_keytab], "--keytab needs --allow-principal P or --allow-group DN"),
                              (["--logins", "logins", "--delegate"], "--allow-principal, --allow-group and --delegate go with --keytab"),
                              # With delegation the account's own ticket comes from the keytab at the start.
                              (["--keytab", dc.sql_stale_keytab, "--delegate"] + ALLOWED, "Preauthentication failed")):
            with self.subTest(options=options):
                done = subprocess.run([SERVER, "--listen", "127.0.0.1:0"] + options, capture_output=True, text=True,
                                      timeout=30, env=dc.tls_environment())
                self.assertEqual(done.returncode, 2)
                self.assertIn(said, done.stderr)


    def test_spnego_in_two_legs(self):
        # The second leg in an SSPI message, and in a packet of the login's type as pytds sends it.
        for sspi_messages in (True, False):
            with self.subTest(sspi_messages=sspi_messages):
                command = python_client(
                    "sys.path.insert(0, %r)\nimport two_leg_spnego\n"
                    "auth = two_leg_spnego.TwoLegSpnego('MSSQLSvc@%s:%d', %r)\n"
                    "conn = pytds.connect(server=%r, port=%d, autocommit=True, auth=auth)\nc = conn.cursor()\n"
                    "c.execute(QUERY)\nprint(c.fetchall()[0][0], auth.legs)"
                    % (SUPPORT, HOST, PORT, sspi_messages, HOST, PORT))
                with Server("--keytab", dc.sql_keytab, *ALLOWED) as server:
                    status, said = run(command, "SELECT SUSER_SNAME()", "erin")
                self.assertEqual(status, 0, (said, server.log))
                self.assertRegex(said, r"(?m)^erin@QX.TEST 2$")


class DirectoryAsTheCaller(unittest.TestCase):
    def test_each_caller_reads_what_their_own_ticket_reads(self):
        subprocess.run(["kinit", "-k", "-t", dc.sql_keytab, kerberos.principal(kerberos.SERVICE)], check=True,
                       env=dict(dc.tls_environment(), KRB5CCNAME=cache("service")), timeout=30)
        below = set("CN=%s,%s" % (name, kerberos.RESTRICTED_OU) for name in kerberos.RESTRICTED_ENTRIES)
        self.assertTrue(below <= set(own_view(cache("service"))))
        with Server("--keytab", dc.sql_keytab, "--delegate", *ALLOWED) as server:
            seen = {user: run(pymssql_query(HOST), RESTRICTED_CALL, user) for user in ("dave", "erin")}
        for user, (status, said) in seen.items():
            with self.subTest(user=user):
                self.assertEqual(status, 0, (said, server.log))
                rows = sorted(line[len("LDAP://"):] for line in said.splitlines() if line.startswith("LDAP://"))
                self.assertEqual(rows, own_view(cache(user)))
                self.assertEqual(below & set(rows), set() if user == "dave" else below)
        self.assertIn("calls read the directory as the caller (delegation by svc-sql@QX.TEST)", server.log)

    def test_without_delegation_rights_the_call_fails_and_never_reads_as_the_server(self):
        with Server("--keytab", dc.plain_keytab, "--delegate", *ALLOWED) as server:
            status, said = run(pymssql_query(kerberos.PLAIN_HOST), RESTRICTED_CALL, "erin")
        self.assertNotEqual(status, 0, said)
        self.assertNotIn(kerberos.RESTRICTED_OU, said)
        self.assertIn("KDC can't fulfill requested option", server.log)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
