"""A rewriter for LdapProxy that makes slapd answer as Active Directory does
for attributes with many values (ranged retrieval): an entry carries at most
LIMIT values of an attribute, named "member;range=0-39" when more remain;
a request for "member;range=40-*" (which slapd does not know) goes to slapd
as "member", and the answer gives the values from 40 on, at most LIMIT, named
"member;range=40-79", or "member;range=40-*" with the last of them.

    ranges = ValueRanges(limit=40)
    with LdapProxy(server.port, rewriter=ranges) as proxy: ...
    ranges.ranged  # how many attributes went out cut into a range

stall=True: a broken server whose next range starts where the last began.
Python 3 standard library only."""
import re
import threading

SEARCH_REQUEST = 0x63
SEARCH_ENTRY = 0x64
SEARCH_DONE = 0x65
RANGE = re.compile(rb";range=(\d+)-(\d+|\*)", re.I)


def _tlv(buffer, at):
    """(tag, content start, end) of the BER element at `at`."""
    first = buffer[at + 1]
    if first < 0x80:
        return buffer[at], at + 2, at + 2 + first
    count = first & 0x7F
    size = int.from_bytes(buffer[at + 2:at + 2 + count], "big")
    return buffer[at], at + 2 + count, at + 2 + count + size


def _elements(buffer, start, end):
    """The elements from `start` to `end` as (tag, content, whole bytes)."""
    out = []
    while start < end:
        tag, content, stop = _tlv(buffer, start)
        out.append((tag, bytes(buffer[content:stop]), bytes(buffer[start:stop])))
        start = stop
    return out


def _encode(tag, content):
    size = len(content)
    if size < 0x80:
        return bytes([tag, size]) + content
    length = size.to_bytes((size.bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(length)]) + length + content


def _message(message):
    """The message ID's element, the operation's (tag, content) and the rest."""
    _, start, end = _tlv(message, 0)
    parts = _elements(message, start, end)
    return parts[0], parts[1], parts[2:]


def _rebuild(message_id, op_tag, op_content, rest):
    return _encode(0x30, message_id[2] + _encode(op_tag, op_content) + b"".join(p[2] for p in rest))


class ValueRanges:
    def __init__(self, limit, stall=False):
        self.limit = limit
        self.stall = stall
        self.lock = threading.Lock()
        self.ranged = 0         # attributes sent cut into a range
        self.range_requests = 0  # requested attributes that named a range

    def request(self, link, tag, message):
        if tag != SEARCH_REQUEST:
            return message
        message_id, (op_tag, op_content, _), rest = _message(message)
        fields = _elements(op_content, 0, len(op_content))
        asked = {}
        names = []
        for _, name, _ in _elements(fields[-1][1], 0, len(fields[-1][1])):
            found = RANGE.search(name)
            if found:
                base = name[:found.start()] + name[found.end():]
                asked[base.lower()] = (int(found.group(1)), None if found.group(2) == b"*" else int(found.group(2)))
                name = base
            names.append(_encode(0x04, name))
        link.state[message_id[1]] = asked
        if asked:
            with self.lock:
                self.range_requests += len(asked)
        attributes = _encode(0x30, b"".join(names))
        content = b"".join(f[2] for f in fields[:-1]) + attributes
        return _rebuild(message_id, op_tag, content, rest)

    def answer(self, link, tag, message):
        if tag == SEARCH_DONE:
            link.state.pop(_message(message)[0][1], None)
            return message
        if tag != SEARCH_ENTRY:
            return message
        message_id, (op_tag, op_content, _), rest = _message(message)
        asked = link.state.get(message_id[1], {})
        (_, _, name_element), (_, attributes, _) = _elements(op_content, 0, len(op_content))
        out = []
        for _, attribute, _ in _elements(attributes, 0, len(attributes)):
            (_, name, _), (_, values, _) = _elements(attribute, 0, len(attribute))
            values = [whole for _, _, whole in _elements(values, 0, len(values))]
            low, high = asked.get(name.lower(), (None, None))
            if low is None and len(values) <= self.limit:
                out.append(_encode(0x30, _encode(0x04, name) + _encode(0x31, b"".join(values))))
                continue
            low = low or 0
            end = len(values) if high is None else min(len(values), high + 1)
            given = values[low:min(end, low + self.limit)]
            last = low + len(given) >= len(values)
            shown = max(0, low - self.limit) if self.stall and low else low
            name += b";range=%d-%s" % (shown, b"*" if last else b"%d" % (low + len(given) - 1))
            with self.lock:
                self.ranged += 1
            out.append(_encode(0x30, _encode(0x04, name) + _encode(0x31, b"".join(given))))
        content = name_element + _encode(0x30, b"".join(out))
        return _rebuild(message_id, op_tag, content, rest)
