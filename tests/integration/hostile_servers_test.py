#!/usr/bin/env python3
"""Servers that stop talking in the middle of a TLS handshake: the call
fails within the configured network time-out, without keeping a core busy,
and says on standard error what happened. Argument: the quarlix-exec binary."""
import os
import re
import resource
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)

from hostile_ldap import HostileLdap  # noqa: E402
from quarlix_call import Host, exec_line  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
SERVER_DOWN = "Cannot create object. HR: 8007203A"
NETWORK_TIMEOUT = 3


class SilentHandshakes(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quarlix-hostile-")
        self.addCleanup(shutil.rmtree, self.folder, True)

    def call(self, server, config_text):
        config = os.path.join(self.folder, "adsi.conf")
        with open(config, "w") as f:
            f.write("network_timeout %d\ntimeout 3\n" % NETWORK_TIMEOUT + config_text)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        answer = Host(EXE, config).call(exec_line("LDAP://%s/DC=example,DC=com" % server.address), timeout=90)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        answer.cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        return answer

    def assertBoundedAndIdle(self, answer):
        # Not a speed check: a handshake that waits for ever, or spins, would
        # run into the harness's own 90 s limit or burn seconds of CPU time.
        self.assertGreaterEqual(answer.seconds, NETWORK_TIMEOUT - 0.5)
        self.assertLess(answer.seconds, 60)
        self.assertLess(answer.cpu, 0.5 * answer.seconds, "the wait kept a core busy")

    def test_ldaps_server_that_takes_the_client_hello_and_answers_nothing(self):
        with HostileLdap("silent") as server:
            answer = self.call(server, "ldaps_ports %d\nbinddn cn=reader\nbindpw secret\n" % server.port)
            self.assertTrue(server.received and server.received[0][:1] == b"\x16", "no ClientHello reached it")
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertBoundedAndIdle(answer)
        self.assertRegex(answer.stderr, "(?m)^%s$" % re.escape(
            "quarlix ADSI: TLS with ldaps://%s failed: ldaps: the server took the connection and did not answer "
            "the TLS handshake within %d s" % (server.address, NETWORK_TIMEOUT)))

    def test_starttls_granted_then_silence(self):
        with HostileLdap("silent-after-starttls") as server:
            answer = self.call(server, "starttls demand\n")
            # The root DSE search, then StartTLS; the ClientHello follows on the same connection.
            self.assertEqual(len(server.received), 1)
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertBoundedAndIdle(answer)
        self.assertRegex(answer.stderr, "(?m)^%s$" % re.escape(
            "quarlix ADSI: TLS with ldap://%s failed: StartTLS: the server granted StartTLS and did not answer "
            "the TLS handshake within %d s" % (server.address, NETWORK_TIMEOUT)))

    def test_starttls_tried_anonymously_goes_on_in_clear_after_the_silence(self):
        with HostileLdap("silent-after-starttls") as server:
            answer = self.call(server, "tls_cacert /dev/null\n")
            connections = len(server.received)
        # The listener answers every search with nothing: no such object.
        self.assertEqual(answer.message, "Cannot create object. HR: 80072030")
        self.assertEqual(connections, 2)
        self.assertBoundedAndIdle(answer)
        self.assertIn("did not answer the TLS handshake within %d s; going on in clear text (anonymous)"
                      % NETWORK_TIMEOUT, answer.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
