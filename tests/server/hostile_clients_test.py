"""Clients that break the protocol, stop half-way, claim huge lengths or
flood the server: each gets its connection closed, and a well-behaved
connection opened before them still gets whole answers. Then the stop on
SIGTERM: the call in flight is finished, new connections are refused. And
what one client can take from the others before it logs in: places for
connections, the login's time, password guesses.
Usage: hostile_clients_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import os
import socket
import struct
import sys
import tempfile
import time
import unittest

from raw_client import ATTENTION, LOGIN7, PRELOGIN, SQL_BATCH, RawClient, batch_payload, has_login_ack, login7_payload, packet, prelogin_payload
from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server, certificate, wait_until

BUILD = None
SEARCH = f"EXEC quarlix '{DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName'"
ALL = f"EXEC quarlix '{DIRECTORY}', '(objectClass=*)', '*'"


def rows_in(tokens):
    return tokens.count(b"\xD1")


class Hostile(unittest.TestCase):
    def test_each_bad_client_is_closed_and_the_good_one_goes_on(self):
        with Server(BUILD, "--login-timeout", "2", "--max-connections", "40") as server:
            good = RawClient(server.port)
            self.assertTrue(has_login_ack(good.login(USER, PASSWORD)))
            baseline = good.batch(SEARCH)
            self.assertGreater(rows_in(baseline), 0)

            cases = {
                "garbage": b"GET / HTTP/1.1\r\nHost: x\r\n\r\n" + bytes(range(256)),
                "not a prelogin first": packet(SQL_BATCH, batch_payload(SEARCH)),
                "length shorter than its header": struct.pack(">BBHHBB", PRELOGIN, 1, 3, 0, 1, 0),
                "length past the largest packet": struct.pack(">BBHHBB", PRELOGIN, 1, 0xFFFF, 0, 1, 0) + b"x" * 100,
                "half a header": b"\x12\x01",
                "half a packet": struct.pack(">BBHHBB", PRELOGIN, 1, 200, 0, 1, 0) + b"x" * 50,
                "prelogin pointing outside itself": packet(PRELOGIN, bytes([0, 0, 200, 0, 6, 0xFF])),
            }
            for name, data in cases.items():
                with self.subTest(case=name):
                    bad = RawClient(server.port)
                    bad.send(data)
                    self.assertTrue(bad.closed_by_server(8), name)
                    bad.close()

            with self.subTest(case="a LOGIN7 claiming more than it holds"):
                bad = RawClient(server.port)
                bad.send(packet(PRELOGIN, prelogin_payload()))
                bad.read_message()
                body = bytearray(login7_payload(USER, PASSWORD))
                body[0:4] = struct.pack("<I", 0x7FFFFFFF)
                bad.send(packet(LOGIN7, bytes(body)))
                self.assertTrue(bad.closed_by_server(8))

            with self.subTest(case="a request growing without end"):
                bad = RawClient(server.port)
                self.assertTrue(has_login_ack(bad.login(USER, PASSWORD)))
                chunk = packet(SQL_BATCH, b"x" * 4000, last=False)
                try:
                    for _ in range(400):  # 1.6 MB, beyond the 1 MiB a request may take
                        bad.send(chunk)
                except (BrokenPipeError, ConnectionResetError):
                    pass
                self.assertTrue(bad.closed_by_server(8))

            with self.subTest(case="a flood of connections beyond the limit"):
                flood = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(60)]
                closed = 0
                for s in flood:
                    s.settimeout(5)
                    try:
                        closed += s.recv(1) == b""
                    except socket.timeout:
                        pass
                # 40 may be open (the good one among them); the rest were closed at once.
                self.assertGreaterEqual(closed, 60 - 39)
                for s in flood:
                    s.close()

            self.assertEqual(good.batch(SEARCH), baseline)
            self.assertTrue(server.alive())
            good.close()

    def test_encryption_that_cannot_be_agreed_or_a_broken_handshake_closes(self):
        cert, key = certificate()
        with Server(BUILD, "--tls-cert", cert, "--tls-key", key, "--login-timeout", "3") as server:
            for name, data in (
                    ("a client that cannot encrypt", packet(PRELOGIN, prelogin_payload(encryption=2))),
                    ("garbage instead of a ClientHello",
                     packet(PRELOGIN, prelogin_payload(encryption=1)) + packet(PRELOGIN, b"\x16\x03\x01" + b"x" * 300)),
                    ("the login in clear instead of the handshake",
                     packet(PRELOGIN, prelogin_payload(encryption=1)) + packet(LOGIN7, login7_payload(USER, PASSWORD))),
                    ("a handshake that stops", packet(PRELOGIN, prelogin_payload(encryption=1)))):
                with self.subTest(case=name):
                    bad = RawClient(server.port)
                    bad.send(data)
                    self.assertTrue(bad.closed_by_server(8), name)
                    bad.close()
            self.assertTrue(server.alive())
        with Server(BUILD) as server:
            bad = RawClient(server.port)
            bad.send(packet(PRELOGIN, prelogin_payload(encryption=3)))  # requires encryption; no certificate here
            kind, answer = bad.read_message()
            self.assertEqual(answer[answer[6] * 256 + answer[7]], 2)  # ENCRYPT_NOT_SUP
            self.assertTrue(bad.closed_by_server(8))

    def test_login_and_idle_time_outs(self):
        with Server(BUILD, "--login-timeout", "1", "--idle-timeout", "2") as server:
            silent = RawClient(server.port)
            start = time.time()
            self.assertTrue(silent.closed_by_server(10))
            self.assertLess(time.time() - start, 5)
            idle = RawClient(server.port)
            self.assertTrue(has_login_ack(idle.login(USER, PASSWORD)))
            start = time.time()
            self.assertTrue(idle.closed_by_server(10))
            self.assertGreaterEqual(time.time() - start, 1.5)

    def test_attention_when_nothing_runs_is_acknowledged(self):
        with Server(BUILD) as server:
            client = RawClient(server.port)
            client.login(USER, PASSWORD)
            client.send(packet(ATTENTION, b""))
            kind, tokens = client.read_message()
            self.assertEqual(tokens[0], 0xFD)
            self.assertEqual(struct.unpack("<H", tokens[1:3])[0] & 0x20, 0x20)
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)

    def test_sigterm_finishes_the_call_in_flight_and_refuses_new_connections(self):
        server = Server(BUILD)
        with server:
            reference = RawClient(server.port)
            reference.login(USER, PASSWORD)
            whole = reference.batch(ALL)
            reference.close()
            idle = RawClient(server.port)
            idle.login(USER, PASSWORD)
            client = RawClient(server.port, timeout=30, receive_buffer=4096)
            client.login(USER, PASSWORD)
            client.send(packet(SQL_BATCH, batch_payload(ALL)))
            first = client.read_exact(8)  # the answer has begun: the call is in flight
            server.process.send_signal(15)
            self.assertTrue(wait_until(lambda: refused(server.port)), "new connections are refused")
            status, length = first[1], struct.unpack(">H", first[2:4])[0]
            payload = client.read_exact(length - 8)
            while not status & 1:
                header = client.read_exact(8)
                status, length = header[1], struct.unpack(">H", header[2:4])[0]
                payload += client.read_exact(length - 8)
            self.assertEqual(payload, whole)  # the same answer, whole
            self.assertTrue(client.closed_by_server(10))
            self.assertTrue(idle.closed_by_server(10))
            self.assertEqual(server.process.wait(30), 0)
            self.assertIn("stopped", server.stderr())


class Source(RawClient):
    """A raw client from another loopback address (127.0.0.2 ...): the
    server counts connections by address."""

    def __init__(self, port, source, timeout=10):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind((source, 0))
        self.sock.settimeout(timeout)
        self.sock.connect(("127.0.0.1", port))


def error_of(tokens):
    """(number, text) of the first ERROR token."""
    at = tokens.index(b"\xAA")
    number = struct.unpack("<i", tokens[at + 3:at + 7])[0]
    length = struct.unpack("<H", tokens[at + 9:at + 11])[0]
    return number, tokens[at + 11:at + 11 + 2 * length].decode("utf-16-le")


def idle_sockets(port, source, count):
    sockets = []
    for _ in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind((source, 0))
        s.connect(("127.0.0.1", port))
        sockets.append(s)
    return sockets


def closed_within(sock, seconds):
    sock.settimeout(seconds)
    try:
        return sock.recv(1) == b""
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


class Defences(unittest.TestCase):
    """What one client can take from the others before it has logged in."""

    def test_idle_sockets_from_one_address_leave_room_for_the_others(self):
        # The defaults: 64 connections, 32 of them logging in, 8 per address
        # once 16 are taken.
        with Server(BUILD, "--login-timeout", "60") as server:
            flood = idle_sockets(server.port, "127.0.0.2", 64)
            client = Source(server.port, "127.0.0.1")
            self.assertTrue(has_login_ack(client.login(USER, PASSWORD)))
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)
            # The flood holds 16 places; the rest were told and closed long before the login time-out.
            deadline = time.time() + 15
            kept = sum(not closed_within(s, max(0.2, deadline - time.time())) for s in flood)
            self.assertEqual(kept, 16)
            for s in flood:
                s.close()
            self.assertIn("refused connection", server.stderr())

    def test_a_refused_client_is_told_why_in_tds(self):
        with Server(BUILD, "--max-connections", "6", "--max-pending", "4", "--max-pending-per-address", "2",
                    "--login-timeout", "60", "--quiet") as server:
            logged_in = Source(server.port, "127.0.0.1")
            self.assertTrue(has_login_ack(logged_in.login(USER, PASSWORD)))
            held = idle_sockets(server.port, "127.0.0.2", 2)
            # The address has its share once half the places are taken.
            refused_client = Source(server.port, "127.0.0.2")
            number, text = error_of(refused_client.login(USER, PASSWORD))
            self.assertEqual(number, 17809)
            self.assertIn("2 connections from 127.0.0.2 logging in at once", text)
            self.assertTrue(refused_client.closed_by_server(5))
            # Another address still gets in, until all places for logins are taken.
            held += idle_sockets(server.port, "127.0.0.3", 2)
            number, text = error_of(Source(server.port, "127.0.0.4").login(USER, PASSWORD))
            self.assertEqual(number, 17809)
            self.assertIn("4 connections logging in at once", text)
            # When those places free, a login goes through again; the logged-in connection never noticed.
            for s in held:
                s.close()
            self.assertTrue(wait_until(lambda: has_login_ack(Source(server.port, "127.0.0.4").login(USER, PASSWORD))))
            self.assertGreater(rows_in(logged_in.batch(SEARCH)), 0)
            # Refusals are failures: logged under --quiet.
            self.assertIn("refused connection", server.stderr())

    def test_the_login_deadline_runs_from_connect_and_is_not_restarted(self):
        with Server(BUILD, "--login-timeout", "5") as server:
            late = Source(server.port, "127.0.0.1", timeout=30)
            start = time.time()
            time.sleep(4)
            late.send(packet(PRELOGIN, prelogin_payload()))
            late.read_message()
            # A LOGIN7 that trickles in, a byte a second, never finishes before the deadline.
            body = packet(LOGIN7, login7_payload(USER, PASSWORD))
            try:
                for byte in body:
                    late.send(bytes([byte]))
                    time.sleep(1)
                    if time.time() - start > 20:
                        break
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.assertTrue(late.closed_by_server(20))
            # Closed at 5 s from connect (9 s or more if the deadline restarted after PRELOGIN).
            self.assertLess(time.time() - start, 8)

    def test_failed_logins_are_delayed_by_address_and_name_and_always_logged(self):
        with Server(BUILD, "--quiet", "--login-timeout", "60", logins=[(USER, PASSWORD), ("bob", "bob-Pass1")]) as server:
            start = time.time()
            for attempt in range(6):
                tokens = Source(server.port, "127.0.0.2", timeout=60).login(USER, "guess%d" % attempt)
                self.assertEqual(error_of(tokens)[0], 18456)
            # No wait before the first; then 0.25, 0.5, 1, 2 and 4 s.
            self.assertGreaterEqual(time.time() - start, 7.5)
            # The name is delayed from another address too (8 s after six failures) ...
            start = time.time()
            self.assertTrue(has_login_ack(Source(server.port, "127.0.0.3", timeout=60).login(USER, PASSWORD)))
            self.assertGreaterEqual(time.time() - start, 6)
            # ... and that success cleared it.
            self.assertTrue(has_login_ack(Source(server.port, "127.0.0.4", timeout=60).login(USER, PASSWORD)))
            log = server.stderr()
            failures = [line for line in log.splitlines() if "login failed for 'alice'" in line]
            self.assertEqual(len(failures), 6, log)
            self.assertTrue(all("from 127.0.0.2:" in line and "password does not match" in line for line in failures))
            self.assertNotIn("guess", log)

    def test_parallel_guesses_from_one_address_take_turns(self):
        with Server(BUILD, "--quiet", "--login-timeout", "60") as server:
            self.assertEqual(error_of(Source(server.port, "127.0.0.2").login("nobody", "x"))[0], 18456)
            clients = [Source(server.port, "127.0.0.2", timeout=60) for _ in range(6)]
            start = time.time()
            for i, client in enumerate(clients):
                client.send(packet(PRELOGIN, prelogin_payload()))
                client.read_message()
                client.send(packet(LOGIN7, login7_payload("name%d" % i, "x")))
            for client in clients:
                self.assertEqual(error_of(client.read_message()[1])[0], 18456)
            # Six at once are checked one after another, 0.25, 0.5, 1, 2, 4 and 8 s apart.
            self.assertGreaterEqual(time.time() - start, 15)
            self.assertIn("login failed for 'name5'", server.stderr())


def large_directory(folder):
    """8 000 entries with 3 000 characters each: an answer of some 24 MB,
    more than the sockets' buffers hold."""
    path = os.path.join(folder, "large.ldif")
    with open(path, "w") as f:
        f.write("dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n")
        for i in range(8000):
            f.write(f"dn: uid=u{i},dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: u{i}\ncn: U {i}\nsn: U\n"
                    f"description: {'x' * 3000}\n\n")
    return path


class SlowReaders(unittest.TestCase):
    def test_only_so_many_clients_may_stall_on_their_answer(self):
        with tempfile.TemporaryDirectory() as folder:
            with Server(BUILD, "--directory", large_directory(folder), "--max-stalled", "2") as server:
                sql = "EXEC quarlix 'LDAP://dc=example,dc=com', '(objectClass=inetOrgPerson)', 'uid,description'"
                stalled = []
                for _ in range(4):
                    client = RawClient(server.port, timeout=60, receive_buffer=4096)
                    client.login(USER, PASSWORD)
                    client.send(packet(SQL_BATCH, batch_payload(sql)))
                    client.read_exact(8)  # the answer has begun, and then nobody reads
                    stalled.append(client)
                # Past the 2 s a client may take nothing, two of the four are dropped, whose answers go with them.
                self.assertTrue(wait_until(lambda: server.stderr().count("other clients are stalled already") == 2, 30),
                                server.stderr())
                time.sleep(3)
                self.assertEqual(server.stderr().count("does not read its answer"), 2)
                # A client that reads gets its whole answer meanwhile.
                reader = RawClient(server.port, timeout=60)
                reader.login(USER, PASSWORD)
                self.assertEqual(rows_in(reader.batch(sql)), 8000)
                for client in stalled:
                    client.close()


def refused(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return False
    except OSError:
        return True

if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
