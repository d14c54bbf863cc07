#!/usr/bin/env python3
"""Directory connections kept between calls: quarlix-server against a slapd
on loopback through pymssql. Calls take turns on one connection; a server
restarted, a connection closed at its first request, a changed
configuration, password file or identity, and the idle time-out each give a
new connection, and every answer is quarlix-exec's (a process of its own,
which keeps nothing) for the same call.
Usage: connection_pool_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import os
import re
import shutil
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
for folder in ("support", "server", "faults"):
    sys.path.insert(0, os.path.join(HERE, "..", folder))
sys.path.insert(0, HERE)

import directory_data as data  # noqa: E402
import pymssql  # noqa: E402
from ldap_proxy import LdapProxy, _length  # noqa: E402
from quarlix_call import exec_line  # noqa: E402
from server_fixture import PASSWORD, USER, Build, Server, same_rows  # noqa: E402
from slapd_fixture import Slapd, free_port, peer_credentials_dn  # noqa: E402

BUILD = None
REUSED = "reused: bound"
GONE_WHILE_IDLE = "was closed by the server: not reused"
REPLACED = "failed before its first answer"
INVALID_CREDENTIALS = "Cannot create object. HR: 8007052E"
NO_SUCH_OBJECT = "Cannot create object. HR: 80072030"
NOT_OPERATIONAL = "Error: The server is not operational."


def unavailable_result(request):
    """The SearchResultDone a server shutting down answers `request` with:
    unavailable (52), for the request's message ID."""
    _, at = _length(request, 1)  # into the LDAPMessage SEQUENCE, at the messageID INTEGER
    size, start = _length(request, at + 1)
    message_id = request[at:start + size]  # the INTEGER, whole
    result = bytes([0x0A, 1, 52, 0x04, 0, 0x04, 0])  # resultCode, matchedDN, diagnosticMessage
    body = message_id + bytes([0x65, len(result)]) + result
    return bytes([0x30, len(body)]) + body


class CloseAtNextRequest:
    """A rewriter for LdapProxy: once armed, the next request a client sends
    is not forwarded and its connection is closed, as a server that drops an
    idle client does just when the client speaks again; with `unavailable`,
    it is first answered as a server shutting down answers."""

    def __init__(self, unavailable=False):
        self.armed = threading.Event()
        self.unavailable = unavailable

    def request(self, link, tag, message):
        if self.armed.is_set():
            self.armed.clear()
            if self.unavailable:
                link.client.sendall(unavailable_result(message))
            link.stopped.set()
            link.close()
            return b""
        return message

    def answer(self, link, tag, message):
        return message


def accepted(log):
    return len(re.findall(r"ACCEPT from", log))


def eventually(condition, seconds):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def connections_to(pid, port):
    """The TCP connections process `pid` holds open to loopback port `port`."""
    sockets = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if target.startswith("socket:["):
            sockets.add(target[8:-1])
    count = 0
    with open("/proc/%d/net/tcp" % pid) as f:
        for row in f.read().splitlines()[1:]:
            fields = row.split()
            remote_port = int(fields[2].split(":")[1], 16)
            if remote_port == port and fields[9] in sockets:
                count += 1
    return count


class Pool(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-pool-")
        cls.config = os.path.join(cls.folder, "adsi.conf")
        cls.slapd = Slapd(data.data_ldif(), schema=data.SLAPD_SCHEMA, access=data.access_rules(peer_credentials_dn()),
                          debug_level=256)
        cls.slapd.__enter__()
        for name in [k for k in os.environ if k.startswith("LDAP")]:
            del os.environ[name]
        os.environ["QUARLIX_ADSI_CONFIG"] = cls.config

    @classmethod
    def tearDownClass(cls):
        cls.slapd.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def configure(self, text):
        with open(self.config, "w") as f:
            f.write(text)

    def server(self):
        return Server(BUILD, "--no-directory", "--trace")

    def line(self, dn, filter_="", fields="cn,sn,mail", scope=None, address=None):
        return exec_line("LDAP://%s/%s" % (address or self.slapd.address, dn), filter_, fields, scope)

    def assertAnswers(self, conn, line, expected=None):
        """The call through the server answers as quarlix-exec does (or as
        `expected`, what it answered before); that answer: rows, or the
        error's text."""
        expected = expected or BUILD.expected(line, codepage=1252)
        cursor = conn.cursor()
        if "error" in expected:
            with self.assertRaises(pymssql.DatabaseError, msg=expected["error"]) as caught:
                cursor.execute(line)
                cursor.fetchall()
            self.assertIn(expected["error"]["text"].strip(), str(caught.exception))
            return expected["error"]["text"].strip()
        cursor.execute(line)
        same_rows(self, [list(r) for r in cursor.fetchall()], expected["rows"], line)
        return expected["rows"]

    def connect(self, server):
        return pymssql.connect(server="127.0.0.1", port=str(server.port), user=USER, password=PASSWORD, autocommit=True)

    def settled_log(self, start):
        return self.slapd.settled_log(start)

    def test_calls_take_turns_on_one_connection(self):
        self.configure("")
        lines = [self.line(data.PEOPLE, "(cn=User 01*)"), self.line(data.person_dn(7)),
                 self.line(data.GROUP, scope="GET_GROUP_MEMBERS"), self.line(data.MIXED, scope="GET_CHILD_OBJECTS")]
        start = len(self.slapd.log())
        with self.server() as server:
            for _ in range(2):  # one TDS connection after the other
                with self.connect(server) as conn:
                    for line in lines:
                        self.assertAnswers(conn, line)
            log = server.stderr()
        # quarlix-exec's own calls made a connection each.
        self.assertEqual(accepted(self.settled_log(start)), 1 + 2 * len(lines))
        self.assertEqual(log.count(REUSED), 2 * len(lines) - 1, log)

    def test_a_restarted_server_and_one_that_closes_at_the_first_request(self):
        self.configure("")
        line = self.line(data.PEOPLE, "(cn=User 2*)")
        with self.server() as server, self.connect(server) as conn:
            expected = self.assertAnswers(conn, line)
            self.slapd.restart()
            self.assertEqual(self.assertAnswers(conn, line), expected)
            self.assertIn(GONE_WHILE_IDLE, server.stderr())

            for replaced, unavailable in ((1, False), (2, True)):
                rewriter = CloseAtNextRequest(unavailable)
                with LdapProxy(self.slapd.port, rewriter=rewriter) as proxy:
                    through = self.line(data.PEOPLE, "(cn=User 2*)", address=proxy.address)
                    answer = BUILD.expected(through, codepage=1252)
                    self.assertAnswers(conn, through, answer)
                    rewriter.armed.set()
                    self.assertAnswers(conn, through, answer)
                    self.assertFalse(rewriter.armed.is_set())
                    self.assertEqual(len(proxy.links), 3)  # quarlix-exec's, the server's and its new one
                self.assertEqual(server.stderr().count(REPLACED), replaced, server.stderr())
            # Shutting down, and no new connection to be had: the call meets
            # what a new connection meets, a server that is not operational.
            rewriter = CloseAtNextRequest(unavailable=True)
            with LdapProxy(self.slapd.port, rewriter=rewriter) as proxy:
                through = self.line(data.PEOPLE, "(cn=User 2*)", address=proxy.address)
                self.assertAnswers(conn, through)
                proxy.upstream_port = free_port()  # nothing listens there: new connections end at once
                down = BUILD.expected(through, codepage=1252)
                self.assertEqual(down["error"]["text"].strip(), NOT_OPERATIONAL)
                rewriter.armed.set()
                self.assertAnswers(conn, through, down)
            self.assertEqual(server.stderr().count(REPLACED), 3, server.stderr())

    def test_a_changed_configuration_password_or_identity_makes_a_new_connection(self):
        password = os.path.join(self.folder, "reader.pw")
        secret = self.line(data.SECRET, fields="cn,description")
        anonymous, reader = "", "binddn %s\nbindpw_file reader.pw\n" % data.READER
        steps = [  # configuration, password file, what the call answers
            (anonymous, data.READER_PASSWORD, NO_SUCH_OBJECT),
            (reader, data.READER_PASSWORD, [["hidden", "only for some"]]),
            (reader, "wrong", INVALID_CREDENTIALS),
            (reader, data.READER_PASSWORD, [["hidden", "only for some"]]),
            (reader + "timeout 20\n", data.READER_PASSWORD, [["hidden", "only for some"]]),
        ]
        start = len(self.slapd.log())
        with self.server() as server, self.connect(server) as conn:
            for text, words, answer in steps:
                with self.subTest(config=text, password=words):
                    self.configure(text)
                    with open(password, "w") as f:
                        f.write(words + "\n")
                    got = self.assertAnswers(conn, secret)
                    self.assertEqual(got, answer)
                    self.assertAnswers(conn, secret)  # the same again: on the same connection
            log = server.stderr()
        # Per step two connections for quarlix-exec's two answers and one for
        # the server's two calls, but a bind that fails keeps nothing (two),
        # and the password back as before finds the connection made with it.
        self.assertEqual(accepted(self.settled_log(start)), 3 * len(steps))
        self.assertEqual(log.count(REUSED), len(steps))

    def test_idle_connections_close_after_the_idle_timeout(self):
        line = self.line(data.person_dn(5))
        with self.server() as server, self.connect(server) as conn:
            held = lambda: connections_to(server.process.pid, self.slapd.port)  # noqa: E731
            self.configure("idle_timeout 1\n")
            self.assertAnswers(conn, line)
            self.assertEqual(held(), 1)
            self.assertTrue(eventually(lambda: held() == 0, 10))  # with no call, after a second and a bit
            self.assertAnswers(conn, line)
            self.configure("idle_timeout 0\n")
            for _ in range(2):
                self.assertAnswers(conn, line)
                self.assertTrue(eventually(lambda: held() == 0, 10))
            self.assertEqual(server.stderr().count(REUSED), 0)

    def test_calls_at_once_never_share_a_connection(self):
        self.configure("")
        lines = [self.line(data.MANY, fields="cn,mail", scope="GET_GROUP_MEMBERS"),
                 self.line(data.PEOPLE, "(cn=User 1*)", "cn,telephoneNumber"), self.line(data.TYPED, fields="*")]
        expected = [BUILD.expected(line, codepage=1252)["rows"] for line in lines]
        failures = []
        threads_count, rounds = 6, 8
        start = len(self.slapd.log())

        def client(server, index):
            try:
                with self.connect(server) as conn:
                    for n in range(rounds):
                        k = (index + n) % len(lines)
                        cursor = conn.cursor()
                        cursor.execute(lines[k])
                        if [list(r) for r in cursor.fetchall()] != expected[k]:
                            failures.append((index, n, lines[k]))
            except Exception as e:  # noqa: BLE001 (reported below)
                failures.append((index, repr(e)))

        with self.server() as server:
            threads = [threading.Thread(target=client, args=(server, i)) for i in range(threads_count)]
            for t in threads:
                t.start()
            for t in threads:
                t.join(120)
            log = server.stderr()
        self.assertEqual(failures, [])
        connections = accepted(self.settled_log(start))
        self.assertLessEqual(connections, threads_count)  # at most one per call running at once
        self.assertEqual(log.count(REUSED), threads_count * rounds - connections)


if __name__ == "__main__":
    BUILD = Build(sys.argv.pop(1), sys.argv.pop(1))
    unittest.main()
