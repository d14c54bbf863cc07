#!/usr/bin/env python3
"""Kerberos logins as quarlix-server takes them, against the Samba AD domain
controller's KDC: kerberos_login_check makes a user's token, accepts it with
the service's keytab and, with delegation, has the procedure read the
directory through the ADSI stand-in as the caller. What a caller reads is
what ldapsearch reads with the caller's own ticket. The program's own ticket
cache is the service's, which may read everything: any fall back to it, or
a connection of it lent to a caller, would show in what is read.
Arguments: the kerberos_login_check binary, the procedure library, the
folder that caches the provisioned domain (the build tree)."""
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

CHECK = sys.argv.pop(1) if len(sys.argv) > 1 else None
LIBRARY = sys.argv.pop(1) if len(sys.argv) > 1 else None
CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")
SQL_SPN = kerberos.spns(kerberos.SQL_HOST)[0]
PLAIN_SPN = kerberos.spns(kerberos.PLAIN_HOST)[0]
NO_DELEGATION = "KDC can't fulfill requested option"
dc = folder = environment = expired_caller = adsi_conf = None


def cache(name):
    return "FILE:" + os.path.join(folder, "cc-" + name)


def setUpModule():
    global dc, folder, environment, expired_caller, adsi_conf
    dc = ad.start_for_module(CACHE)
    folder = tempfile.mkdtemp(prefix="quarlix-kerberos-")
    adsi_conf = os.path.join(folder, "adsi.conf")
    with open(adsi_conf, "w") as f:  # the defaults, and nothing of the machine's
        f.write("# defaults\n")
    environment = dc.tls_environment()
    environment["KRB5CCNAME"] = cache("service")
    subprocess.run(["kinit", "-k", "-t", dc.sql_keytab, kerberos.principal(kerberos.SERVICE)], env=environment,
                   check=True, timeout=30)
    for user in kerberos.USERS:
        dc.kinit_user(user, cache(user)[5:])
    # A caller whose ticket expires after the login, before the call: the
    # call's bind needs the KDC, which refuses. Samba's KDC refuses to use a
    # ticket-granting ticket of 90 s or less; 150 s leaves a loaded machine a
    # minute for the login. It runs while the other tests do.
    dc.kinit_user("dave", cache("expires-after-login")[5:], lifetime="150s")
    expired_caller = subprocess.Popen([CHECK] + caller_arguments(dc.sql_keytab, SQL_SPN, [cache("expires-after-login")],
                                                                 hold=165), env=caller_environment(),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def tearDownModule():
    if expired_caller and expired_caller.poll() is None:
        expired_caller.kill()
        expired_caller.wait()
    if dc:
        dc.close()
    if folder:
        shutil.rmtree(folder, ignore_errors=True)


def caller_arguments(keytab, spn, caches, rounds=1, hold=0):
    """The procedure's calls on the restricted OU through the stand-in: as the
    process itself, then as each client's login at once, `hold` seconds after
    the logins."""
    arguments = ["--keytab", keytab, "--spn", spn, "--library", LIBRARY, "--rounds", str(rounds), "--hold", str(hold),
                 "--path", "LDAP://%s/%s" % (ad.HOST, kerberos.RESTRICTED_OU)]
    for client_cache in caches:
        arguments += ["--client-cache", client_cache]
    return arguments


def caller_environment():
    return dict(environment, QUARLIX_ADSI_TRACE="1", QUARLIX_ADSI_CONFIG=adsi_conf)


def calls_as_callers(keytab, spn, caches, rounds=1):
    done = subprocess.run([CHECK] + caller_arguments(keytab, spn, caches, rounds), capture_output=True, timeout=120,
                          env=caller_environment())
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def of(out, key, who):
    """The values of the lines `key who: value`: the rows' DNs (from their
    ADsPath), the stand-in's lines without their "quarlix ADSI...: " tag."""
    prefix = "%s %s: " % (key, who)
    found = [line[len(prefix):] for line in out.splitlines() if line.startswith(prefix)]
    if key == "entry":
        return [path.replace("LDAP://%s/" % ad.HOST, "", 1) for path in found]
    return [line.partition(": ")[2] for line in found] if key == "line" else found


def own_view(client_cache):
    """The DNs under the restricted OU that ldapsearch reads with that ticket."""
    done = subprocess.run([ad.LDAPSEARCH, "-Y", "GSSAPI", "-Q", "-LLL", "-o", "ldif-wrap=no", "-H", "ldap://" + ad.HOST,
                           "-b", kerberos.RESTRICTED_OU, "(objectClass=*)", "1.1"],
                          capture_output=True, env=dict(environment, KRB5CCNAME=client_cache), timeout=60, check=True)
    return sorted(dn for dn, _ in ad.parse_ldif(done.stdout))


class DelegatedReads(unittest.TestCase):
    def test_each_caller_reads_what_their_own_ticket_reads(self):
        service, dave, erin = (kerberos.principal(name) for name in (kerberos.SERVICE, "dave", "erin"))
        views = {"process": own_view(cache("service")), dave: own_view(cache("dave")), erin: own_view(cache("erin"))}
        below = ["CN=%s,%s" % (name, kerberos.RESTRICTED_OU) for name in kerberos.RESTRICTED_ENTRIES]
        self.assertTrue(set(below) <= set(views["process"]) and set(below) <= set(views[erin]), views)
        self.assertEqual(set(below) & set(views[dave]), set(), views[dave])  # dave is denied read there
        rounds = 3
        status, out, stderr = calls_as_callers(dc.sql_keytab, SQL_SPN, [cache("dave"), cache("erin")], rounds)
        self.assertEqual(status, 0, (out, stderr))
        self.assertEqual(of(out, "rows", "process"), [str(len(views["process"]))], out)
        for who in (dave, erin):
            with self.subTest(caller=who):
                self.assertEqual(sorted(of(out, "entry", who)), views[who])
                self.assertEqual(of(out, "rows", who), [str(len(views[who]))] * rounds)
                self.assertEqual(of(out, "message", who), [])
                # One connection of the caller's own, made once and then
                # reused by each later call; never the process's, never
                # the other caller's.
                lines = of(out, "line", who)
                bound = [line for line in lines if line.startswith("bind ")]
                reused = [line for line in lines if " reused: " in line]
                caller = "as the caller %s (Kerberos, the login's delegated credential, signed and sealed) " \
                         "[identity rule 0: the host runs the call as its caller]" % who
                self.assertEqual(len(bound), 1, lines)
                self.assertTrue(bound[0].startswith("bind " + caller + ": bound"), bound)
                self.assertEqual(len(reused), rounds - 1, lines)
                self.assertTrue(all(("bound " + caller) in line for line in reused), reused)
                others = [line for line in lines if any(name in line for name in ({dave, erin, service} - {who}))
                          or "ticket cache" in line]
                self.assertEqual(others, [])

    def test_a_ticket_expired_since_the_login_fails_the_call(self):
        out, stderr = expired_caller.communicate(timeout=300)
        who = kerberos.principal("dave")
        self.assertEqual(expired_caller.returncode, 0, (out, stderr))
        self.assertNotEqual(of(out, "rows", "process"), ["0"], out)
        self.assertEqual(of(out, "rows", who), ["0"], out)
        failures = [line for line in of(out, "line", who) if line.startswith("cannot use ")]
        self.assertEqual(len(failures), 1, out)
        self.assertIn("(Ticket expired)); tried as the caller %s" % who, failures[0])

    def test_without_delegation_the_call_fails_and_never_falls_back(self):
        # svc-plain may delegate nowhere; a ticket-granting ticket got with
        # kinit -F makes a service ticket that is no evidence.
        subprocess.run(["kinit", "-F", kerberos.principal("frank")], input=kerberos.PASSWORDS["frank"] + "\n",
                       text=True, env=dict(environment, KRB5CCNAME=cache("unforwardable")), check=True,
                       capture_output=True, timeout=30)
        cases = [("no rights", dc.plain_keytab, cache("dave"), PLAIN_SPN, kerberos.principal("dave")),
                 ("not forwardable", dc.sql_keytab, cache("unforwardable"), SQL_SPN, kerberos.principal("frank"))]
        for name, keytab, client_cache, spn, who in cases:
            with self.subTest(case=name):
                status, out, stderr = calls_as_callers(keytab, spn, [client_cache])
                self.assertEqual(status, 0, (out, stderr))
                self.assertNotEqual(of(out, "rows", "process"), ["0"], out)  # the process itself reads there
                self.assertEqual(of(out, "entry", who), [], out)
                self.assertEqual(of(out, "rows", who), ["0"], out)
                self.assertEqual(of(out, "message", who), ["Error: A local error has occurred."], out)
                failures = [line for line in of(out, "line", who) if line.startswith("cannot use ")]
                self.assertEqual(len(failures), 1, out)
                self.assertIn(NO_DELEGATION, failures[0])
                self.assertTrue(failures[0].endswith("tried as the caller %s (Kerberos, the login's delegated "
                                                     "credential, signed and sealed) [identity rule 0: the host "
                                                     "runs the call as its caller], no TLS, network time-out 10 s"
                                                     % who), failures[0])


if __name__ == "__main__":
    unittest.main()
