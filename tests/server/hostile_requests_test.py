"""Requests a server may not expect, from a bare client: a login without
PRELOGIN, request types it does not serve, transaction-manager requests
good and malformed, prepared statements beyond the bound and handles that do
not exist, batches nested without end or of nothing but separators. Each
gets its answer or one error, and the connection goes on.
Usage: hostile_requests_test.py QUARLIX_SERVER QUARLIX_EXEC"""
import struct
import sys
import unittest

from raw_client import LOGIN7, PRELOGIN, RPC, SQL_BATCH, RawClient, batch_payload, has_login_ack, login7_payload, packet, prelogin_payload
from server_fixture import DIRECTORY, PASSWORD, USER, Build, Server, certificate

BUILD = None
SEARCH = f"EXEC quarlix '{DIRECTORY}', '(sAMAccountName=j*)', 'sAMAccountName'"
TRANSACTION_MANAGER = 0x0E
ALL_HEADERS = struct.pack("<IIHQI", 22, 18, 2, 0, 1)


def tokens(answer):
    """(token, fields) of an answer without result sets: errors as (number, text),
    ENVCHANGE as (type, new, old), DONE* as status, RETURNVALUE as its int."""
    out, at = [], 0
    while at < len(answer):
        token = answer[at]
        if token in (0xAA, 0xAB):
            length = struct.unpack_from("<H", answer, at + 1)[0]
            number = struct.unpack_from("<i", answer, at + 3)[0]
            chars = struct.unpack_from("<H", answer, at + 9)[0]
            out.append((token, (number, answer[at + 11:at + 11 + 2 * chars].decode("utf-16-le"))))
            at += 3 + length
        elif token == 0xE3:
            length = struct.unpack_from("<H", answer, at + 1)[0]
            kind, new_length = answer[at + 3], answer[at + 4]
            new = answer[at + 5:at + 5 + new_length]
            old = answer[at + 6 + new_length:at + 6 + new_length + answer[at + 5 + new_length]]
            out.append((token, (kind, new, old)))
            at += 3 + length
        elif token in (0xFD, 0xFE, 0xFF):
            out.append((token, struct.unpack_from("<H", answer, at + 1)[0]))
            at += 13
        elif token == 0x79:
            out.append((token, struct.unpack_from("<i", answer, at + 1)[0]))
            at += 5
        elif token == 0xAC:
            name_length = answer[at + 3]
            at += 4 + 2 * name_length + 1 + 4 + 2 + 2  # ordinal, name, status, user type, flags, type and size
            size = answer[at]
            out.append((token, struct.unpack_from("<i", answer, at + 1)[0] if size == 4 else None))
            at += 1 + size
        else:
            raise AssertionError(f"token 0x{token:02X} at {at} not expected here")
    return out


def errors(answer):
    """The numbers of the errors in an answer."""
    return [fields[0] for token, fields in tokens(answer) if token == 0xAA]


def rows_in(answer):
    return answer.count(b"\xD1")


def rpc(proc_id, *parameters):
    """An RPC of a system procedure by number; parameters as (name, type bytes and value bytes)."""
    body = ALL_HEADERS + struct.pack("<HHH", 0xFFFF, proc_id, 0)
    for name, value in parameters:
        body += bytes([len(name)]) + name.encode("utf-16-le") + b"\x00" + value
    return packet(RPC, body)


def int_value(number):
    return b"\x26\x04" + (b"\x00" if number is None else b"\x04" + struct.pack("<i", number))


def output_int():
    return b"\x26\x04\x00"


def nvarchar(text):
    data = text.encode("utf-16-le")
    return b"\xE7\x40\x1F" + b"\x09\x04\xD0\x00\x34" + struct.pack("<H", len(data)) + data


def long_batch(client, text):
    """A batch of any length, in packets of 4096 bytes."""
    payload = batch_payload(text)
    room = 4096 - 8
    pieces = [payload[i:i + room] for i in range(0, len(payload), room)]
    for i, piece in enumerate(pieces):
        client.send(packet(SQL_BATCH, piece, last=i == len(pieces) - 1, packet_id=(i + 1) % 256))
    return client.read_message()[1]


def transaction_request(kind, body=b""):
    return packet(TRANSACTION_MANAGER, ALL_HEADERS + struct.pack("<H", kind) + body)


class Requests(unittest.TestCase):
    def client(self, server):
        client = RawClient(server.port)
        self.assertTrue(has_login_ack(client.login(USER, PASSWORD)))
        return client

    def request(self, client, data):
        client.send(data)
        return client.read_message()[1]

    def test_a_login_without_prelogin_is_served_only_without_encryption(self):
        with Server(BUILD) as server:
            client = RawClient(server.port)
            client.send(packet(LOGIN7, login7_payload(USER, PASSWORD)))
            self.assertTrue(has_login_ack(client.read_message()[1]))
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)
        cert, key = certificate()
        with Server(BUILD, "--tls-cert", cert, "--tls-key", key) as server:
            client = RawClient(server.port)
            client.send(packet(LOGIN7, login7_payload(USER, PASSWORD)))
            self.assertTrue(client.closed_by_server(8))
            self.assertTrue(server.alive())

    def test_request_types_not_served_get_an_error(self):
        with Server(BUILD) as server:
            client = self.client(server)
            for kind in (0x02, 0x05, 0x07, 0x11, PRELOGIN, LOGIN7, 0xFF):
                with self.subTest(kind=kind):
                    payload = prelogin_payload() if kind == PRELOGIN else b"\x00" * 40
                    answer = self.request(client, packet(kind, payload))
                    self.assertEqual(errors(answer), [50000])
                    self.assertEqual(tokens(answer)[-1], (0xFD, 0x02))
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)

    def test_transaction_manager_requests(self):
        with Server(BUILD) as server:
            client = self.client(server)
            begin = tokens(self.request(client, transaction_request(5, b"\x00\x00")))
            self.assertEqual(begin[0][0], 0xE3)
            kind, descriptor, old = begin[0][1]
            self.assertEqual((kind, len(descriptor), old), (8, 8, b""))
            self.assertEqual(begin[-1], (0xFD, 0))
            # A commit that begins the next transaction: a new descriptor.
            again = tokens(self.request(client, transaction_request(7, b"\x00\x01\x00\x00")))
            self.assertEqual([t[1][0] for t in again if t[0] == 0xE3], [9, 8])
            self.assertEqual(again[0][1][2], descriptor)
            self.assertNotEqual(again[1][1][1], descriptor)
            self.assertEqual(tokens(self.request(client, transaction_request(8, b"\x00\x00")))[0][1][0], 10)
            for name, data, number in (
                    ("a commit without a transaction", transaction_request(7, b"\x00\x00"), 3902),
                    ("a rollback without a transaction", transaction_request(8, b"\x00\x00"), 3903),
                    ("a save point without a transaction", transaction_request(9, b"\x00"), 628),
                    ("a distributed transaction", transaction_request(0), 50000),
                    ("a request cut short", transaction_request(5), 50000),
                    ("a name longer than the request", transaction_request(5, b"\x00\x7F"), 50000),
                    ("nothing after the headers", packet(TRANSACTION_MANAGER, ALL_HEADERS), 50000)):
                with self.subTest(case=name):
                    self.assertEqual(errors(self.request(client, data)), [number])
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)

    def test_transaction_statements_by_protocol_version(self):
        with Server(BUILD) as server:
            # TDS 7.4: ENVCHANGE begin and commit with the same descriptor.
            client = self.client(server)
            begin = tokens(client.batch("BEGIN TRAN"))
            commit = tokens(client.batch("IF @@TRANCOUNT > 0 COMMIT TRAN"))
            self.assertEqual((begin[0][0], begin[0][1][0]), (0xE3, 8))
            self.assertEqual((commit[0][0], commit[0][1][0], commit[0][1][2]), (0xE3, 9, begin[0][1][1]))
            self.assertEqual(errors(client.batch("IF @@TRANCOUNT > 0 COMMIT TRAN")), [])
            # TDS 7.1 has no transaction ENVCHANGE: the count alone.
            old = RawClient(server.port)
            old.send(packet(PRELOGIN, prelogin_payload()))
            old.read_message()
            old.send(packet(LOGIN7, login7_payload(USER, PASSWORD, version=0x71000001)))
            self.assertTrue(has_login_ack(old.read_message()[1]))
            def old_batch(sql):  # no ALL_HEADERS before 7.2
                return self.request(old, packet(SQL_BATCH, sql.encode("utf-16-le")))
            self.assertEqual(tokens(old_batch("BEGIN TRAN")), [(0xFD, 0)])
            self.assertEqual(tokens(old_batch("COMMIT TRAN")), [(0xFD, 0)])
            self.assertEqual(errors(old_batch("COMMIT")), [3902])

    def test_prepared_statements_are_bounded_and_their_handles_checked(self):
        with Server(BUILD) as server:
            client = self.client(server)
            handles = []
            for _ in range(1000):
                answer = tokens(self.request(client, rpc(11, ("@handle", output_int()), ("@params", nvarchar("")),
                                                         ("@stmt", nvarchar("SET NOCOUNT OFF")))))
                handles.append([fields for token, fields in answer if token == 0xAC][0])
            self.assertEqual(len(set(handles)), 1000)
            full = self.request(client, rpc(11, ("", output_int()), ("", nvarchar("")), ("", nvarchar("SELECT 1"))))
            self.assertEqual(errors(full), [50000])
            self.assertEqual(errors(self.request(client, rpc(15, ("", int_value(handles[0]))))), [])
            self.assertEqual(errors(self.request(client, rpc(15, ("", int_value(handles[0]))))), [8179])
            again = self.request(client, rpc(11, ("", output_int()), ("", nvarchar("")), ("", nvarchar("SELECT 1"))))
            self.assertEqual(errors(again), [])
            for name, data, number in (
                    ("an unknown handle", rpc(12, ("", int_value(123456789))), 8179),
                    ("a NULL handle", rpc(12, ("", int_value(None))), 8179),
                    ("a handle as text", rpc(12, ("", nvarchar("1"))), 8179),
                    ("no handle at all", rpc(12), 8179),
                    ("sp_prepare without its statement", rpc(11, ("", output_int())), 50000),
                    ("a statement that cannot be read", rpc(13, ("", output_int()), ("", nvarchar("")), ("", nvarchar("SELECT '"))), 105),
                    ("more values than declared", rpc(13, ("", output_int()), ("", nvarchar("@a nvarchar(10)")),
                                                     ("", nvarchar("EXEC quarlix @a")), ("", nvarchar("x")), ("", nvarchar("y"))), 50000),
                    ("a cursor procedure", rpc(2, ("", output_int())), 2812)):
                with self.subTest(case=name):
                    self.assertEqual(errors(self.request(client, data)), [number])
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)

    def test_batches_nested_without_end_or_of_separators_only(self):
        with Server(BUILD) as server:
            client = self.client(server)
            for name, text, number in (
                    ("IF nested 50 000 deep", "IF 1 = 1 " * 50000 + "SELECT 1", 191),
                    ("parentheses 200 000 deep", "SELECT " + "(" * 200000 + "1" + ")" * 200000, 191),
                    ("a comment that never ends", "/* " * 1000, 113),
                    ("a string that never ends", "SELECT '" + "x" * 100000, 105)):
                with self.subTest(case=name):
                    self.assertEqual(errors(long_batch(client, text)), [number])
            self.assertEqual(tokens(long_batch(client, ";" * 400000)), [(0xFD, 0)])
            self.assertEqual(tokens(long_batch(client, "SET NOCOUNT ON\n" * 20000)), [(0xFD, 0)])
            self.assertGreater(rows_in(client.batch(SEARCH)), 0)
            self.assertTrue(server.alive())


if __name__ == "__main__":
    BUILD = Build(sys.argv[1], sys.argv[2])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
