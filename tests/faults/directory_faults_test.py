#!/usr/bin/env python3
"""Directory faults against a real slapd on loopback, through quarlix-exec:
the server stopped before a call and killed or frozen during a paged search,
a connection that goes silent or is cut half-way (a proxy that reads the
conversation message by message decides exactly when), a referral, size and
time limits. Every call must end within the bound its time-outs give, with
one error message that says what happened (or the answer the procedure
defines for the road), and the next call must get the whole answer.

Argument: the quarlix-exec binary. The table of faults, messages and times
is printed at the end."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))
sys.path.insert(0, HERE)

import fault_directory as data  # noqa: E402
from ldap_proxy import BIND_RESPONSE, CUT, FREEZE, SEARCH_ENTRY, SEARCH_REFERENCE, SPLIT, LdapProxy  # noqa: E402
from quarlix_call import Host, exec_line  # noqa: E402
from slapd_fixture import SLAPD, Slapd  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
TIMEOUT, NETWORK_TIMEOUT = 2, 1
# What a call may take beyond its time-outs: the host's start, slow machines,
# sanitizer builds.
MARGIN = 4

SERVER_DOWN = "Cannot create object. HR: 8007203A"
SEARCH_SERVER_DOWN = "\nError: The server is not operational.\r\n"
SEARCH_TIMED_OUT = "\nError: This operation returned because the timeout period expired.\r\n"

OBSERVED = []  # (fault, road, what the client got, seconds) for the closing table


class Server(Slapd):
    """slapd brought back on its own port after a stop or a kill, with the
    data it has."""

    def signal(self, number):
        os.kill(self.process.pid, number)

    def restart(self):
        if self.process:
            self.signal(signal.SIGCONT)  # a frozen server could not stop
        self.stop()
        with open(os.path.join(self.folder, "slapd.log"), "ab") as log:
            self.process = subprocess.Popen(
                [SLAPD, "-h", self.url + "/", "-f", os.path.join(self.folder, "slapd.conf"), "-d", "0"],
                stdout=subprocess.DEVNULL, stderr=log)
        self._wait_until_answering(url=self.url)  # it listens on its port only


def setUpModule():
    if not os.path.exists(SLAPD):
        raise RuntimeError("slapd is not installed: run scripts/install-deps.sh")


def tearDownModule():
    width = max([len(f) for f, _, _, _ in OBSERVED] + [5])
    print("\n%-*s  %-9s %7s  %s" % (width, "fault", "road", "seconds", "answer"), file=sys.stderr)
    for fault, road, got, seconds in OBSERVED:
        print("%-*s  %-9s %7.2f  %s" % (width, fault, road, seconds, got), file=sys.stderr)


class Faults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-faults-")
        cls.server = Server(data.ldif(), access=data.LIMITS_AND_ACCESS)
        cls.server.__enter__()
        cls.admin = cls.host("admin", data.config(TIMEOUT, NETWORK_TIMEOUT, data.ROOT_DN, data.ROOT_PASSWORD))
        cls.anonymous = cls.host("anonymous", data.config(TIMEOUT, NETWORK_TIMEOUT))

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    @classmethod
    def host(cls, name, text):
        path = os.path.join(cls.folder, name + ".conf")
        with open(path, "w") as f:
            f.write(text)
        return Host(EXE, path)

    def setUp(self):
        self.proxy = LdapProxy(self.server.port)
        self.addCleanup(self.proxy.close)

    # -- the four roads --
    def roads(self, address):
        def path(dn):
            return "LDAP://%s/%s" % (address, dn)
        return {
            "search": exec_line(path(data.MANY), "(cn=*)", "cn"),
            "object": exec_line(path(data.MANY), "", "ou,Name"),
            "members": exec_line(path(data.GROUP), "", "cn", "GET_GROUP_MEMBERS"),
            "children": exec_line(path(data.TEAM), "", "cn", "GET_CHILD_OBJECTS"),
        }

    FULL = {
        "search": [[data.many_cn(i)] for i in range(data.MANY_COUNT)],
        "object": [["many", "ou=many"]],
        "members": [[data.team_cn(i)] for i in range(data.GROUP_COUNT)],
        "children": [[data.team_cn(i)] for i in range(data.TEAM_COUNT)],
    }

    def call(self, fault, road, line, host=None):
        answer = (host or self.admin).call(line, timeout=120)
        got = repr(answer.message) if answer.messages else "%d rows" % len(answer.rows)
        OBSERVED.append((fault, road, got, answer.seconds))
        # Anything but the procedure's two results (a signal, a sanitizer's
        # report) is a fault of its own.
        self.assertIn(answer.returncode, (0, 1), answer.stderr)
        self.assertLess(answer.seconds, NETWORK_TIMEOUT + TIMEOUT + MARGIN, "%s on the %s road" % (fault, road))
        return answer

    def rows(self, answer):
        return [[cell.decode() for cell in row] for row in answer.rows]

    def assertWhole(self, answer, road):
        self.assertEqual(answer.returncode, 0, answer.messages)
        self.assertEqual(self.rows(answer), self.FULL[road])

    def assertFailed(self, answer, message):
        self.assertEqual(answer.returncode, 1)
        self.assertEqual(answer.messages, [message])
        self.assertEqual(answer.rows, [])

    def assertNextCallsWhole(self, address, *roads):
        for road in roads:
            self.assertWhole(self.call("next call", road, self.roads(address)[road]), road)

    # -- the server stopped --
    def test_a_server_stopped_before_the_call_fails_every_road_until_it_is_back(self):
        self.server.stop()
        self.addCleanup(lambda: self.server.process or self.server.restart())
        for road, line in self.roads(self.server.address).items():
            with self.subTest(road=road):
                answer = self.call("stopped before the call", road, line)
                self.assertFailed(answer, SEARCH_SERVER_DOWN if road == "search" else SERVER_DOWN)
        self.server.restart()
        self.assertNextCallsWhole(self.server.address, *self.FULL)

    def strike_after_first_page(self, fault, action):
        # The base entry, the root DSE and the schema come first: the first
        # search result after 100 more entries closes the first page.
        self.proxy.strike_after(entries=100, action=action)
        answer = self.call(fault + " after the first page", "search", self.roads(self.proxy.address)["search"])
        self.assertTrue(self.proxy.struck.is_set(), "the search never reached its second page")
        return answer

    def test_slapd_killed_during_a_paged_search(self):
        self.addCleanup(lambda: self.server.process or self.server.restart())
        answer = self.strike_after_first_page("slapd killed", lambda: self.server.signal(signal.SIGKILL))
        self.assertFailed(answer, SEARCH_SERVER_DOWN)
        self.server.restart()
        self.assertNextCallsWhole(self.proxy.address, "search")

    def test_slapd_frozen_during_a_paged_search(self):
        self.addCleanup(self.server.signal, signal.SIGCONT)
        answer = self.strike_after_first_page("slapd frozen", lambda: self.server.signal(signal.SIGSTOP))
        self.assertFailed(answer, SEARCH_TIMED_OUT)
        self.assertGreaterEqual(answer.seconds, TIMEOUT)
        self.server.signal(signal.SIGCONT)
        self.assertNextCallsWhole(self.proxy.address, "search")

    # -- the connection cut or silent half-way --
    def test_a_connection_cut_after_the_first_page(self):
        self.assertFailed(self.strike_after_first_page("connection cut", CUT), SEARCH_SERVER_DOWN)
        self.assertNextCallsWhole(self.proxy.address, "search")

    def test_a_connection_that_goes_silent_after_the_bind_and_the_first_page(self):
        answer = self.strike_after_first_page("connection silent", FREEZE)
        self.assertFailed(answer, SEARCH_TIMED_OUT)
        self.assertGreaterEqual(answer.seconds, TIMEOUT)
        self.assertEqual(self.proxy.forwarded(BIND_RESPONSE), 1)
        # Silent from the bind on: the schema read times out, and the entry
        # read after it does not wait again; it fails as the schema read did.
        self.proxy.strike_after(dones=0, tag=BIND_RESPONSE, action=FREEZE)
        answer = self.call("silent after the bind", "object", self.roads(self.proxy.address)["object"])
        self.assertFailed(answer, "Cannot create object. HR: 800705B4")
        self.assertLess(answer.seconds, TIMEOUT + MARGIN)
        self.assertNextCallsWhole(self.proxy.address, "search", "object")

    def test_a_server_that_stops_half_way_through_a_message(self):
        # libldap reads the rest of a message it has begun: that read must not
        # wait past the time-out, from the first answer of a connection on.
        self.proxy.strike_after(entries=1, dones=0, tag=SEARCH_ENTRY, action=SPLIT)  # the root DSE
        answer = self.call("silent inside the first answer", "object", self.roads(self.proxy.address)["object"])
        self.assertFailed(answer, SERVER_DOWN)
        self.proxy.strike_after(entries=110, tag=SEARCH_ENTRY, action=SPLIT)  # inside the second page
        answer = self.call("silent inside an entry", "search", self.roads(self.proxy.address)["search"])
        self.assertTrue(self.proxy.struck.is_set())
        self.assertFailed(answer, SEARCH_TIMED_OUT)
        self.assertNextCallsWhole(self.proxy.address, "search", "object")

    def test_walks_cut_or_silent_half_way_fail_whole(self):
        # A member or child lost with the connection, and a failed step of
        # the walk, fail the call with the failure's description: the rows
        # read so far are never passed off as the whole answer. Every read
        # after the first failure fails at once, so a silent server costs one
        # time-out, not one per element; and a write to the closed connection
        # must not end the host (SIGPIPE).
        strikes = {"children": dict(entries=100),              # the first page of children
                   "members": dict(entries=13, tag=SEARCH_ENTRY)}  # ten members read
        for road, rule in strikes.items():
            for action in (CUT, FREEZE):
                with self.subTest(road=road, action=action):
                    self.proxy.strike_after(action=action, **rule)
                    answer = self.call("connection %s half-way" % ("cut" if action == CUT else "silent"), road, self.roads(self.proxy.address)[road])
                    self.assertTrue(self.proxy.struck.is_set())
                    self.assertFailed(answer, SEARCH_SERVER_DOWN if action == CUT else answer.message)
                    self.assertIn(answer.message, (SEARCH_SERVER_DOWN, SEARCH_TIMED_OUT))
                    self.assertNextCallsWhole(self.proxy.address, road)

    def test_long_walks_when_slapd_is_frozen_or_killed_half_way(self):
        # 5000 members with slapd frozen after some 600 of them, and
        # 5000 children with slapd killed after the tenth page.
        def path(dn):
            return "LDAP://%s/%s" % (self.proxy.address, dn)
        members = exec_line(path(data.THRONG), "", "cn", "GET_GROUP_MEMBERS")
        children = exec_line(path(data.MANY), "", "cn", "GET_CHILD_OBJECTS")
        whole = [[data.many_cn(i)] for i in range(data.MANY_COUNT)]
        for line in (members, children):
            answer = self.admin.call(line, timeout=300)
            self.assertEqual((answer.returncode, self.rows(answer)), (0, whole))

        self.addCleanup(self.server.signal, signal.SIGCONT)
        self.proxy.strike_after(entries=600, tag=SEARCH_ENTRY, action=lambda: self.server.signal(signal.SIGSTOP))
        answer = self.call("slapd frozen half-way", "members", members)
        self.assertTrue(self.proxy.struck.is_set())
        self.assertEqual(answer.rows, [])
        # The time-out text, as the search road gives it.
        self.assertEqual(answer.message, SEARCH_TIMED_OUT)
        self.assertEqual(answer.returncode, 1)
        self.server.signal(signal.SIGCONT)

        self.addCleanup(lambda: self.server.process or self.server.restart())
        self.proxy.strike_after(entries=1000, tag=SEARCH_ENTRY, action=lambda: self.server.signal(signal.SIGKILL))
        answer = self.call("slapd killed half-way", "children", children)
        self.assertTrue(self.proxy.struck.is_set())
        self.assertFailed(answer, SEARCH_SERVER_DOWN)
        self.server.restart()
        self.assertNextCallsWhole(self.proxy.address, "members", "children")

    # -- what the server says --
    def test_a_referral_is_not_chased(self):
        def path(dn):
            return "LDAP://%s/%s" % (self.proxy.address, dn)
        # Below the suffix: every entry but the referred part, of which the
        # server sent a continuation reference.
        answer = self.call("referral inside the search", "search", exec_line(path(data.SUFFIX), "(ou=*)", "ou"))
        self.assertEqual(self.rows(answer), [["many"], ["team"], ["wide"]])
        self.assertEqual(self.proxy.forwarded(SEARCH_REFERENCE), 1)
        answer = self.call("referral among children", "children",
                           exec_line(path(data.SUFFIX), "", "Name", "GET_CHILD_OBJECTS"))
        self.assertNotIn(["ou=away"], self.rows(answer))
        self.assertIn(["ou=team"], self.rows(answer))
        # At or below the referral object: the server's referral, said once.
        answer = self.call("search based below a referral", "search",
                           exec_line(path("ou=deeper," + data.AWAY), "(cn=*)", "cn"))
        self.assertFailed(answer, "\nError: A referral was returned from the server.\r\n")
        for dn in (data.AWAY, "cn=someone," + data.AWAY):
            answer = self.call("object at or below a referral", "object", exec_line(path(dn)))
            self.assertFailed(answer, "Cannot create object. HR: 8007202B")

    def test_size_limits(self):
        roads = self.roads(self.server.address)
        # slapd bounds the total of a paged search by the hard size limit
        # (size.prtotal follows it): the call says so rather than passing
        # the first entries off as the whole answer.
        answer = self.call("size limit %d, anonymous" % data.ANONYMOUS_SIZE_LIMIT, "search", roads["search"],
                           self.anonymous)
        self.assertFailed(answer, "\nError: The size limit for this request was exceeded.\r\n")
        # A page larger than the identity may ask for: the search fails.
        paged = self.host("paged", data.config(TIMEOUT, NETWORK_TIMEOUT, data.PAGED_DN, data.PASSWORD))
        answer = self.call("pages of 50 at most", "search", roads["search"], paged)
        self.assertFailed(answer, "\nError: The administrative limit for this request was exceeded.\r\n")
        self.assertNextCallsWhole(self.server.address, "search")

    def test_a_time_limit_reached_during_a_page(self):
        # slapd checks an operation's time limit between entries. The proxy
        # stops reading for longer than the limit in the middle of a page too
        # large for the socket buffers, so slapd's writes block and the next
        # entry finds the time gone. The client waits longer than that.
        slow = self.host("slow", data.config(3 * TIMEOUT, NETWORK_TIMEOUT, data.SLOW_DN, data.PASSWORD))
        with LdapProxy(self.server.port, receive_buffer=4096) as proxy:
            line = exec_line("LDAP://%s/%s" % (proxy.address, data.WIDE), "(cn=*)", "cn,description")
            proxy.strike_after(entries=20, tag=SEARCH_ENTRY, action=lambda: time.sleep(2.5))
            answer = slow.call(line, timeout=120)
            OBSERVED.append(("time limit 1 s, connection held 2.5 s", "search", repr(answer.message),
                             answer.seconds))
            self.assertTrue(proxy.struck.is_set())
            self.assertFailed(answer, "\nError: The time limit for this request was exceeded.\r\n")
            self.assertLess(answer.seconds, 3 * TIMEOUT + MARGIN)
            self.assertEqual(len(slow.call(line, timeout=120).rows), data.WIDE_COUNT)


if __name__ == "__main__":
    unittest.main(argv=sys.argv, verbosity=2)  # test names may follow the binary
