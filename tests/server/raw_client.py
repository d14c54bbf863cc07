"""A bare TDS 7.4 client for the tests that misbehave on purpose: it sends
exactly the bytes a test asks for."""
import socket
import struct
import time

PRELOGIN, LOGIN7, SQL_BATCH, RPC, ATTENTION, REPLY = 0x12, 0x10, 0x01, 0x03, 0x06, 0x04


def packet(kind, payload, last=True, packet_id=1):
    return struct.pack(">BBHHBB", kind, 1 if last else 0, 8 + len(payload), 0, packet_id, 0) + payload


def prelogin_payload(encryption=2):
    head = bytes([0, 0, 11, 0, 6, 1, 0, 17, 0, 1, 0xFF])
    return head + bytes([7, 0, 0, 0, 0, 0]) + bytes([encryption])


def login7_payload(user, password, version=0x74000004, packet_size=4096):
    def u16(text):
        return text.encode("utf-16-le")
    scrambled = bytes((((b & 0x0F) << 4) | (b >> 4)) ^ 0xA5 for b in u16(password))
    texts = [u16("host"), u16(user), scrambled, u16("raw"), u16("server"), b"", u16("raw"), b"", u16("master")]
    fixed = struct.pack("<IIIIII", 0, version, packet_size, 7, 1, 0) + bytes([0xE0, 3, 0, 0]) + struct.pack("<ii", 0, 0x409)
    offsets, data = b"", b""
    for i, text in enumerate(texts):
        if i == 5:
            offsets += struct.pack("<HH", 0, 0)
            continue
        offsets += struct.pack("<HH", 94 + len(data), len(text) // 2)
        data += text
    offsets += bytes(6) + struct.pack("<HHHHHHI", 0, 0, 0, 0, 0, 0, 0)
    body = fixed + offsets + data
    return struct.pack("<I", len(body)) + body[4:]


def batch_payload(sql):
    all_headers = struct.pack("<IIHQI", 22, 18, 2, 0, 1)
    return all_headers + sql.encode("utf-16-le")


class RawClient:
    def __init__(self, port, timeout=10, receive_buffer=None):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer:  # before connecting, so the window stays small
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(timeout)
        self.sock.connect(("127.0.0.1", port))

    def close(self):
        self.sock.close()

    def send(self, data):
        self.sock.sendall(data)

    def read_exact(self, n):
        data = bytearray()
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("closed after %d of %d bytes" % (len(data), n))
            data += chunk
        return bytes(data)

    def read_message(self):
        """(type, payload) of the next whole message."""
        payload = bytearray()
        while True:
            kind, status, length = struct.unpack(">BBH", self.read_exact(4))
            self.read_exact(4)
            payload += self.read_exact(length - 8)
            if status & 1:
                return kind, bytes(payload)

    def closed_by_server(self, seconds=10):
        """True when the server closes the connection within `seconds` (any
        bytes it sends first are read and dropped)."""
        self.sock.settimeout(seconds)
        end = time.time() + seconds
        try:
            while time.time() < end:
                if not self.sock.recv(65536):
                    return True
        except (ConnectionResetError, BrokenPipeError):
            return True
        except socket.timeout:
            return False
        return False

    def login(self, user, password):
        self.send(packet(PRELOGIN, prelogin_payload()))
        self.read_message()
        self.send(packet(LOGIN7, login7_payload(user, password)))
        return self.read_message()[1]

    def batch(self, sql):
        self.send(packet(SQL_BATCH, batch_payload(sql)))
        return self.read_message()[1]


def has_login_ack(tokens):
    return b"\xAD" in tokens and "quarlix-server".encode("utf-16-le") in tokens
