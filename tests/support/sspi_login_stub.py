"""A TDS endpoint that only logs clients in, for tests of what SQL clients
send for an integrated login and what they need back. Python 3 standard
library, and python3-gssapi to accept Kerberos with a keytab.

    with SspiLoginStub(keytab=PATH or None, port=1433) as stub:
        ... run a client against 127.0.0.1:port ...
        stub.logins        # one Login per connection, in order

It answers PRELOGIN without encryption; reads LOGIN7 and records its
integrated-security flag, user name and SSPI data (offset, length, what the
token is: SPNEGO and the mechanisms it offers, Kerberos and the ticket's
SPN, NTLM). With a keytab it accepts Kerberos: the reply token goes back as
an SSPI token (0xED), then LOGINACK and DONE when the context is complete,
and any further SSPI message (packet type 0x11) is read and accepted in
turn. NTLM, and anything without a keytab, gets error 18456 and the end of
the connection, as does a token GSSAPI refuses. Other requests get an
empty DONE."""
import socket
import struct
import threading

from server_lifetime import ServerLifetime

SPNEGO = "1.3.6.1.5.5.2"
KERBEROS = "1.2.840.113554.1.2.2"
NAMES = {SPNEGO: "SPNEGO", KERBEROS: "Kerberos", "1.2.840.48018.1.2.2": "MS Kerberos",
         "1.3.6.1.4.1.311.2.2.10": "NTLM", "1.3.6.1.4.1.311.2.2.30": "NegoEx"}
LOGIN7, PRELOGIN, SQL_BATCH, SSPI_MESSAGE, RESPONSE = 0x10, 0x12, 0x01, 0x11, 0x04


# -- what a token is --

def _tlv(data, at):
    """(tag, content start, content end) of the DER element at `at`."""
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    return tag, at, at + length


def _children(data, start, end):
    while start < end:
        tag, content, stop = _tlv(data, start)
        yield tag, content, stop
        start = stop


def _oid(raw):
    parts = [raw[0] // 40, raw[0] % 40]
    value = 0
    for byte in raw[1:]:
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            parts.append(value)
            value = 0
    return ".".join(map(str, parts))


def _ticket_spn(ap_req, start):
    """The service principal of the ticket in a Kerberos AP-REQ, and whether
    the client asks for mutual authentication."""
    _, content, end = _tlv(ap_req, start)  # [APPLICATION 14]
    _, content, end = _tlv(ap_req, content)  # SEQUENCE
    spn, mutual = None, None
    for tag, c, e in _children(ap_req, content, end):
        if tag == 0xA2:  # ap-options: bit 2 is mutual-required
            _, bits, _ = _tlv(ap_req, c)
            mutual = bool(ap_req[bits + 1] & 0x20)
        if tag == 0xA3:  # the ticket: realm [1], sname [2]
            _, t, te = _tlv(ap_req, c)
            _, t, te = _tlv(ap_req, t)
            realm, names = None, []
            for ttag, tc, tend in _children(ap_req, t, te):
                if ttag == 0xA1:
                    _, r, re_ = _tlv(ap_req, tc)
                    realm = ap_req[r:re_].decode()
                if ttag == 0xA2:
                    _, p, pe = _tlv(ap_req, tc)
                    for ptag, pc, _ in _children(ap_req, p, pe):
                        if ptag == 0xA1:
                            _, s, se = _tlv(ap_req, pc)
                            names = [ap_req[nc:ne].decode() for _, nc, ne in _children(ap_req, s, se)]
            spn = "%s@%s" % ("/".join(names), realm)
    return spn, mutual


def describe_token(token):
    """What an SSPI token is: {"kind", "mechanisms" (SPNEGO's offer),
    "inner" (the mechanism of the token inside), "spn", "mutual"}."""
    if token.startswith(b"NTLMSSP\0"):
        return {"kind": "NTLM", "message": token[8]}
    found = {"kind": "unknown"}
    try:
        tag, content, end = _tlv(token, 0)
        if tag != 0x60:
            return found
        _, o, oe = _tlv(token, content)
        mech = _oid(token[o:oe])
        found["kind"] = NAMES.get(mech, mech)
        if mech == KERBEROS:
            found["spn"], found["mutual"] = _ticket_spn(token, oe + 2)  # after the 2-byte token id
        elif mech == SPNEGO:
            _, n, ne = _tlv(token, oe)  # [0] NegTokenInit
            _, s, se = _tlv(token, n)  # SEQUENCE
            for ftag, fc, fe in _children(token, s, se):
                if ftag == 0xA0:
                    _, m, me = _tlv(token, fc)
                    found["mechanisms"] = [NAMES.get(_oid(token[c:e]), _oid(token[c:e]))
                                           for _, c, e in _children(token, m, me)]
                if ftag == 0xA2:
                    _, t, te = _tlv(token, fc)
                    inner = describe_token(token[t:te])
                    found["inner"] = inner.pop("kind")
                    found.update(inner)
    except (IndexError, UnicodeDecodeError):
        found["malformed"] = True
    return found


# -- TDS --

class Login:
    def __init__(self):
        self.tds_version = None
        self.integrated = None
        self.user = None
        self.sspi_offset = self.sspi_length = None
        self.tokens = []  # (packet type, description) of each SSPI token the client sent
        self.replies = []  # sizes of the SSPI tokens sent back
        self.principal = None
        self.flags = None  # the GSSAPI flags of the accepted context
        self.refused = None
        self.after = []  # packet types the client sent once logged in
        self.packet_types = []


def _read_message(sock):
    """(packet type, payload) of one TDS message, or (None, b"") at the end."""
    payload, kind = b"", None
    while True:
        header = _read_exactly(sock, 8)
        if len(header) < 8:
            return None, b""
        kind, status, length = header[0], header[1], struct.unpack(">H", header[2:4])[0]
        payload += _read_exactly(sock, length - 8)
        if status & 0x01:
            return kind, payload


def _read_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            break
        data += chunk
    return data


def _send(sock, payload, kind=RESPONSE):
    sock.sendall(struct.pack(">BBHHBB", kind, 0x01, len(payload) + 8, 0, 1, 0) + payload)


def _prelogin_answer():
    version = bytes([14, 0, 0, 0, 0, 0])
    options = [(0x00, version), (0x01, b"\x02"), (0x02, b"\x00"), (0x03, b""), (0x04, b"\x00")]
    offset = len(options) * 5 + 1
    head, body = b"", b""
    for kind, data in options:
        head += struct.pack(">BHH", kind, offset + len(body), len(data))
        body += data
    return head + b"\xff" + body


def _b_varchar(text):
    return bytes([len(text)]) + text.encode("utf-16-le")


def _done(status=0, tds72=True):
    return struct.pack("<BHH", 0xFD, status, 0) + (b"\0" * 8 if tds72 else b"\0" * 4)


def _login_ack(version):
    body = b"\x01" + struct.pack(">I", version) + _b_varchar("stub") + bytes([1, 0, 0, 0])
    return struct.pack("<BH", 0xAD, len(body)) + body


def _error(number, text, tds72=True):
    body = (struct.pack("<iBB", number, 1, 14) + struct.pack("<H", len(text)) + text.encode("utf-16-le")
            + _b_varchar("stub") + _b_varchar("") + struct.pack("<i", 1))
    return struct.pack("<BH", 0xAA, len(body)) + body + _done(0x02, tds72)


def parse_login7(payload, login):
    (login.tds_version,) = struct.unpack("<I", payload[4:8])
    login.integrated = bool(payload[25] & 0x80)  # OptionFlags2: fIntSecurity
    user_at, user_chars = struct.unpack("<HH", payload[40:44])
    login.user = payload[user_at:user_at + 2 * user_chars].decode("utf-16-le")
    login.sspi_offset, login.sspi_length = struct.unpack("<HH", payload[78:82])
    if login.sspi_length == 0xFFFF and len(payload) >= 94:  # TDS 7.2+: cbSSPILong
        (login.sspi_length,) = struct.unpack("<I", payload[90:94])
    return payload[login.sspi_offset:login.sspi_offset + login.sspi_length]


class SspiLoginStub(ServerLifetime):
    def __init__(self, keytab=None, host="127.0.0.1", port=1433, send_reply=True):
        self.keytab, self.host, self.port, self.send_reply = keytab, host, port, send_reply
        self.logins = []
        self._listener = self._thread = None

    def start(self):
        self._listener = socket.socket()
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((self.host, self.port))
        self._listener.listen(8)
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def close(self):
        if self._listener:
            listener, self._listener = self._listener, None
            try:
                listener.shutdown(socket.SHUT_RDWR)  # wakes the accept; a close alone would not
            except OSError:
                pass
            listener.close()
            self._thread.join(timeout=60)

    def _serve(self):
        while self._listener:
            try:
                sock, _ = self._listener.accept()
            except OSError:
                return
            login = Login()
            self.logins.append(login)
            with sock:
                sock.settimeout(30)
                try:
                    self._session(sock, login)
                except (OSError, ValueError) as failure:
                    login.refused = login.refused or "stub: %s" % failure

    def _session(self, sock, login):
        context = None
        while True:
            kind, payload = _read_message(sock)
            if kind is None:
                return
            login.packet_types.append(kind)
            if kind == PRELOGIN:
                _send(sock, _prelogin_answer())
            elif kind in (LOGIN7, SSPI_MESSAGE) and login.principal is None:
                token = parse_login7(payload, login) if kind == LOGIN7 else payload
                tds72 = login.tds_version >= 0x72090002
                description = describe_token(token) if token else {"kind": "none"}
                login.tokens.append((kind, description))
                if not token or description["kind"] == "NTLM" or description.get("inner") == "NTLM" \
                        or not self.keytab:
                    login.refused = "Login failed for user '%s'." % login.user
                    _send(sock, _error(18456, login.refused, tds72))
                    return
                context = context or self._acceptor()
                try:
                    reply = context.step(token)
                    complete = context.complete  # python-gssapi raises a refusal here
                except Exception as failure:  # GSSAPI's refusal, in its words
                    login.refused = str(failure)
                    _send(sock, _error(18456, "Login failed for user '%s'." % login.user, tds72))
                    return
                answer = b""
                if reply and self.send_reply:
                    login.replies.append(len(reply))
                    answer += struct.pack("<BH", 0xED, len(reply)) + reply
                if complete:
                    login.principal = str(context.initiator_name)
                    login.flags = sorted(flag.name for flag in context.actual_flags)
                    answer += _login_ack(login.tds_version) + _done(0, tds72)
                _send(sock, answer)
            else:
                login.after.append(kind)
                _send(sock, _done(0x20 if kind == 0x06 else 0, (login.tds_version or 0) >= 0x72090002))

    def _acceptor(self):
        import gssapi
        credentials = gssapi.Credentials(usage="accept", store={"keytab": self.keytab})
        return gssapi.SecurityContext(creds=credentials, usage="accept")
