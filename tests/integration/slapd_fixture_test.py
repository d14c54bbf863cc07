#!/usr/bin/env python3
"""The slapd fixture on a busy machine: a port found free but taken before
slapd binds it costs a new start on other ports, not a failed test, and the
server that answers is the fixture's own. Expected values come from
ldapsearch against the started server."""
import os
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import slapd_fixture  # noqa: E402
from slapd_fixture import LDAPSEARCH, Slapd  # noqa: E402

DATA = "dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\no: Example\ndc: example\n"


def organization(url):
    done = subprocess.run([LDAPSEARCH, "-x", "-H", url, "-b", "dc=example,dc=com", "-s", "base", "-LLL", "o"],
                          capture_output=True, timeout=30)
    return done.returncode, done.stdout.decode()


class TakenPorts(unittest.TestCase):
    def setUp(self):
        # Ports held by listeners of this test, as another program would hold them.
        self.holders = []
        real_free_port = slapd_fixture.free_port
        self.handed = []

        def taken_then_free():
            if len(self.handed) < 2:
                holder = socket.socket()
                holder.bind(("127.0.0.1", 0))
                holder.listen()
                self.holders.append(holder)
                port = holder.getsockname()[1]
            else:
                port = real_free_port()
            self.handed.append(port)
            return port

        slapd_fixture.free_port = taken_then_free
        self.addCleanup(setattr, slapd_fixture, "free_port", real_free_port)

    def tearDown(self):
        for holder in self.holders:
            holder.close()

    def test_a_taken_port_means_a_new_start_on_another(self):
        with Slapd(DATA, extra_urls=["ldap://127.0.0.1:{free_port}/"]) as server:
            taken = [h.getsockname()[1] for h in self.holders]
            # The first attempt got two taken ports; the second, free ones.
            self.assertEqual(self.handed[:2], taken)
            self.assertNotIn(server.port, taken)
            self.assertNotIn(server.extra_ports[0], taken)
            for url in (server.url, "ldap://127.0.0.1:%d" % server.extra_ports[0], server.ldapi_url):
                self.assertEqual(organization(url), (0, "dn: dc=example,dc=com\no: Example\n\n"))

    def test_a_failure_that_is_no_taken_port_is_reported_at_once(self):
        self.handed.extend([0, 0])  # free ports from here on
        server = Slapd(DATA, extra_urls=["nosuch://127.0.0.1/"])
        with self.assertRaisesRegex(RuntimeError, "slapd ended at start"):
            server.start()
        server.close()
        # slapd refused the address: one start, one port.
        self.assertEqual(len(self.handed), 3)


if __name__ == "__main__":
    unittest.main(verbosity=2)
