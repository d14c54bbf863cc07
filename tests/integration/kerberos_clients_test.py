#!/usr/bin/env python3
"""What SQL clients send for an integrated login and what they need back,
against a stub TDS endpoint (sspi_login_stub) that accepts Kerberos with the
service's keytab from the Samba AD domain controller's KDC: FreeTDS's tsql,
pymssql and pyodbc over FreeTDS's ODBC driver with no user name, pytds with
its KerberosAuth; NTLM from tsql and pytds; clients without a usable ticket.
Each login is printed as the stub saw it. The clients run as /usr/bin/python3
(Debian's modules). Argument: the folder that caches the provisioned domain."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import samba_fixture as ad  # noqa: E402
import samba_kerberos as kerberos  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

from sspi_login_stub import LOGIN7, PRELOGIN, SSPI_MESSAGE, SspiLoginStub  # noqa: E402

CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")
PYTHON = "/usr/bin/python3"
ODBC_DRIVER = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so"
HOST, PORT = kerberos.SQL_HOST, kerberos.SQL_PORT
REFUSAL = "Login failed for user ''."
dc = folder = environment = None


def setUpModule():
    global dc, folder, environment
    dc = ad.start_for_module(CACHE)
    folder = tempfile.mkdtemp(prefix="quarlix-clients-")
    freetds = os.path.join(folder, "freetds.conf")
    with open(freetds, "w") as f:
        f.write("[global]\n tds version = 7.4\n")
    environment = dc.kinit_user("dave", os.path.join(folder, "cc-dave"))
    environment.update(FREETDSCONF=freetds, ODBCSYSINI=folder, ODBCINI=os.path.join(folder, "odbc.ini"))


def tearDownModule():
    if dc:
        dc.close()
    if folder:
        shutil.rmtree(folder, ignore_errors=True)


def python_client(code):
    return [PYTHON, "-c", "import pymssql, pyodbc, pytds, pytds.login\n" + code + "\nprint('logged in')"]


# How each client logs in to HOST:PORT with the caller's ticket.
CLIENTS = {
    "tsql": ["tsql", "-H", HOST, "-p", str(PORT)],
    "pymssql": python_client("pymssql.connect(server=%r, port=%r, login_timeout=10)" % (HOST, str(PORT))),
    "pyodbc": python_client("pyodbc.connect('DRIVER=%s;SERVER=%s;PORT=%d;Trusted_Connection=Yes;TDS_Version=7.4')"
                            % (ODBC_DRIVER, HOST, PORT)),
    "pytds": python_client("pytds.connect(server=%r, port=%d, auth=pytds.login.KerberosAuth('MSSQLSvc@%s:%d'))"
                           % (HOST, PORT, HOST, PORT)),
}
NTLM_CLIENTS = {
    "tsql": ["tsql", "-H", HOST, "-p", str(PORT), "-U", "QX\\dave", "-P", kerberos.PASSWORDS["dave"]],
    "pytds": python_client("pytds.connect(server=%r, port=%d, auth=pytds.login.NtlmAuth('QX\\\\dave', %r))"
                           % (HOST, PORT, kerberos.PASSWORDS["dave"])),
}


def run(command, **changes):
    done = subprocess.run(command, input="select 1\ngo\nquit\n", capture_output=True, text=True, timeout=60,
                          env=dict(environment, **changes))
    return done.returncode, done.stdout + done.stderr


def connections(stub, command, **changes):
    """The client's exit status and output, and the connections it made."""
    before = len(stub.logins)
    status, said = run(command, **changes)
    made = stub.logins[before:]
    for login in made:
        print("%s: %s" % (command[0] if command[0] != PYTHON else command[2].splitlines()[1][:40], vars(login)))
    return status, said, made


def one_login(test, stub, command, **changes):
    status, said, made = connections(stub, command, **changes)
    test.assertEqual(len(made), 1, said)
    return status, said, made[0]


class Kerberos(unittest.TestCase):
    def test_each_client_sends_one_kerberos_token_for_the_port_spn(self):
        # sent back: the acceptor's token (0xED), LOGINACK, DONE; or, to show
        # what a client needs, LOGINACK and DONE alone.
        for reply in (True, False):
            with SspiLoginStub(keytab=dc.sql_keytab, port=PORT, send_reply=reply) as stub:
                for name, command in CLIENTS.items():
                    with self.subTest(client=name, reply_token=reply):
                        status, said, login = one_login(self, stub, command)
                        self.assertEqual(status, 0, said)
                        self.assertTrue(login.integrated)
                        self.assertEqual(login.user, "")
                        self.assertEqual(login.tokens, [(LOGIN7, {"kind": "Kerberos", "spn": "%s@%s" % (
                            kerberos.spns(HOST)[0], kerberos.REALM), "mutual": True})])
                        self.assertNotIn(SSPI_MESSAGE, login.packet_types)
                        self.assertEqual(login.principal, kerberos.principal("dave"))
                        self.assertEqual(len(login.replies), 1 if reply else 0)

    def test_a_ticket_for_another_service_is_refused(self):
        # plain.qx.test's SPN belongs to svc-plain: the client gets a ticket
        # the keytab has no key of, and shows the server's error.
        with SspiLoginStub(keytab=dc.sql_keytab, port=PORT) as stub:
            command = python_client("pymssql.connect(server=%r, port=%r)" % (kerberos.PLAIN_HOST, str(PORT)))
            status, said, login = one_login(self, stub, command)
            self.assertNotEqual(status, 0)
            self.assertIn(REFUSAL, said)
            self.assertEqual(login.tokens[0][1]["spn"], "%s@%s" % (kerberos.spns(kerberos.PLAIN_HOST)[0],
                                                                   kerberos.REALM))
            self.assertIn("not found in keytab", login.refused)


class WithoutKerberos(unittest.TestCase):
    def test_ntlm_comes_raw_in_the_login_and_the_refusal_reaches_the_client(self):
        with SspiLoginStub(keytab=dc.sql_keytab, port=PORT) as stub:
            for name, command in NTLM_CLIENTS.items():
                with self.subTest(client=name):
                    status, said, login = one_login(self, stub, command)
                    self.assertNotEqual(status, 0)
                    self.assertIn(REFUSAL, said)
                    self.assertTrue(login.integrated)
                    self.assertEqual(login.user, "")  # the Windows name is in the NTLM message only
                    self.assertEqual(login.tokens, [(LOGIN7, {"kind": "NTLM", "message": 1})])  # NEGOTIATE

    def test_a_client_without_a_ticket_stops_after_prelogin(self):
        missing = "FILE:" + os.path.join(folder, "no-such-cache")
        with SspiLoginStub(keytab=dc.sql_keytab, port=PORT) as stub:
            for name, command in CLIENTS.items():
                with self.subTest(client=name):
                    status, said, made = connections(stub, command, KRB5CCNAME=missing)
                    self.assertNotEqual(status, 0)
                    self.assertTrue(made, said)
                    self.assertEqual([login.packet_types for login in made], [[PRELOGIN]] * len(made), said)


if __name__ == "__main__":
    unittest.main()
