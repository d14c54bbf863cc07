"""Small LDAP listeners on loopback that misbehave on purpose, for tests of
what a client does when a server stops talking half-way. Python 3 standard
library only.

    with HostileLdap("silent") as server:          # takes the connection, reads
        server.port                                 # everything, answers nothing
    with HostileLdap("silent-after-starttls") as server:
        ...  # answers the root DSE search and StartTLS, then reads the TLS
             # ClientHello and answers nothing
    server.received                                 # bytes read, per connection

The LDAP it speaks is the least a client needs: every LDAPMessage read whole
(BER), a search answered with an empty success, an extended operation with
success, a bind with success."""
import socket
import threading


def _length(data, at):
    """(length, offset of the contents) of the BER length at data[at]."""
    first = data[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    return int.from_bytes(data[at + 1:at + 1 + count], "big"), at + 1 + count


def _encode_length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def _tlv(tag, contents):
    return bytes([tag]) + _encode_length(len(contents)) + contents


def split_message(buffer):
    """(message id, operation tag, rest of the buffer) of the first whole
    LDAPMessage in buffer, or None while it is not whole."""
    if len(buffer) < 2 or buffer[0] != 0x30:
        return None
    try:
        size, start = _length(buffer, 1)
    except IndexError:
        return None
    end = start + size
    if len(buffer) < end:
        return None
    id_size, id_start = _length(buffer, start + 1)
    message_id = int.from_bytes(buffer[id_start:id_start + id_size], "big")
    return message_id, buffer[id_start + id_size], buffer[end:]


def _result(message_id, tag, extra=b""):
    ldap_result = _tlv(0x0A, b"\x00") + _tlv(0x04, b"") + _tlv(0x04, b"") + extra
    return _tlv(0x30, _tlv(0x02, message_id.to_bytes(1 if message_id < 128 else 4, "big")) + _tlv(tag, ldap_result))


START_TLS = b"1.3.6.1.4.1.1466.20037"


class HostileLdap:
    def __init__(self, mode):
        assert mode in ("silent", "silent-after-starttls")
        self.mode = mode
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.address = "127.0.0.1:%d" % self.port
        self.received = []
        self.connections = []
        self.stop = threading.Event()
        self.threads = []

    def __enter__(self):
        thread = threading.Thread(target=self._accept, daemon=True)
        thread.start()
        self.threads.append(thread)
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self.stop.set()
        self.listener.close()
        for c in self.connections:
            try:
                c.close()
            except OSError:
                pass
        for t in self.threads:
            t.join(5)

    def _accept(self):
        self.listener.settimeout(0.2)
        while not self.stop.is_set():
            try:
                connection = self.listener.accept()[0]
            except OSError:
                continue
            self.connections.append(connection)
            self.received.append(bytearray())
            thread = threading.Thread(target=self._serve, args=(connection, self.received[-1]), daemon=True)
            thread.start()
            self.threads.append(thread)

    def _serve(self, connection, received):
        connection.settimeout(0.2)
        speaking = self.mode == "silent-after-starttls"
        pending = b""
        while not self.stop.is_set():
            try:
                data = connection.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not data:
                return
            received.extend(data)
            if not speaking:
                continue  # reads on, never a word
            pending += data
            while speaking:
                message = split_message(pending)
                if message is None:
                    break
                message_id, tag, pending = message
                if tag == 0x63:  # search: an empty success
                    connection.sendall(_result(message_id, 0x65))
                elif tag == 0x60:  # bind
                    connection.sendall(_result(message_id, 0x61))
                elif tag == 0x77:  # extended: StartTLS granted, then nothing more
                    connection.sendall(_result(message_id, 0x78, _tlv(0x8A, START_TLS)))
                    speaking = False
                elif tag == 0x42:  # unbind
                    return
