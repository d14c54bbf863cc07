"""A TCP proxy on loopback between the procedure and a slapd that reads the
server's answers one LDAP message at a time, so that a test can strike at an
exact point of a conversation: after the first page of a search, after the
bind, after N entries. Python 3 standard library only.

    with LdapProxy(server.port) as proxy:
        proxy.strike_after(entries=100, action=CUT)   # or FREEZE, SPLIT, a callable
        ... call the procedure with proxy.address ...
        proxy.struck.wait(5)

Each client connection gets its own upstream connection and its own count.
CUT closes both sides at once; FREEZE stops forwarding in both directions and
keeps both sockets open (a server that has gone silent); SPLIT does the same
half-way through the striking message; a callable is run once (e.g. to
signal slapd) and forwarding goes on."""
import collections
import socket
import threading

CUT = "cut"
FREEZE = "freeze"
SPLIT = "split"

# protocolOp tags of the messages a server sends (RFC 4511, APPLICATION n).
BIND_RESPONSE = 0x61
SEARCH_ENTRY = 0x64
SEARCH_DONE = 0x65
SEARCH_REFERENCE = 0x73


def _length(buffer, at):
    """The BER length at `at` and where the content starts; None if incomplete."""
    if at >= len(buffer):
        return None
    first = buffer[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    if at + 1 + count > len(buffer):
        return None
    return int.from_bytes(buffer[at + 1:at + 1 + count], "big"), at + 1 + count


def split_messages(buffer):
    """The complete LDAP messages at the front of `buffer` as (protocolOp tag,
    bytes), and what is left."""
    messages = []
    while True:
        header = _length(buffer, 1)
        if not header:
            break
        size, start = header
        if len(buffer) < start + size:
            break
        message_id = _length(buffer, start + 1)  # INTEGER messageID, then the op
        tag = buffer[message_id[1] + message_id[0]] if message_id else 0
        messages.append((tag, bytes(buffer[:start + size])))
        del buffer[:start + size]
    return messages, buffer


class _Link:
    """One client connection and its upstream connection."""

    def __init__(self, proxy, client, upstream):
        self.proxy, self.client, self.upstream = proxy, client, upstream
        for sock in (client, upstream):  # no Nagle delay on each page's request and answer
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.counts = collections.Counter()  # messages forwarded, by protocolOp tag
        self.stopped = threading.Event()  # set when forwarding ends (CUT, FREEZE, SPLIT)
        self.pending = bytearray()  # the start of a message not yet whole
        self.pending_requests = bytearray()  # the same from the client (with a rewriter)
        self.state = {}  # the rewriter's, per connection
        self.threads = [
            threading.Thread(target=self._pump, args=(client, upstream, self._request), daemon=True),
            threading.Thread(target=self._pump, args=(upstream, client, self._answer), daemon=True)]
        for t in self.threads:
            t.start()

    def _pump(self, source, target, forward):
        """Reads `source` until it ends, the link stops or `forward` says
        no more; an end it reads is passed on to `target`."""
        try:
            while not self.stopped.is_set():
                data = source.recv(65536)
                if not data or self.stopped.is_set() or not forward(data):
                    break
        except OSError:
            pass
        if not self.stopped.is_set():
            self._shut(target)

    def _request(self, data):
        rewriter = self.proxy.rewriter
        if rewriter:
            self.pending_requests += data
            messages, self.pending_requests = split_messages(self.pending_requests)
            data = b"".join(rewriter.request(self, tag, message) for tag, message in messages)
        self.upstream.sendall(data)
        return True

    def _answer(self, data):
        """Forwards the whole messages that have arrived, in one piece up to
        a strike; False when forwarding ends there."""
        self.pending += data
        messages, self.pending = split_messages(self.pending)
        out = bytearray()
        for tag, message in messages:
            if self.proxy.rewriter:
                message = self.proxy.rewriter.answer(self, tag, message)
            out += message
            self.counts[tag] += 1
            if self.proxy._should_strike(self, tag):
                if self.proxy.action == SPLIT:  # the second half of this message never comes
                    del out[len(out) - len(message) // 2:]
                self.client.sendall(out)
                out.clear()
                if self._strike():
                    return False
        self.client.sendall(out)
        return True

    def _strike(self):
        """True when forwarding ends here."""
        action = self.proxy.action
        self.proxy.struck.set()
        if action == CUT:
            self.stopped.set()
            self.close()
            return True
        if action in (FREEZE, SPLIT):
            self.stopped.set()
            return True
        action()
        return False

    @staticmethod
    def _shut(sock):
        try:
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def close(self):
        for sock in (self.client, self.upstream):
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()


class LdapProxy:
    def __init__(self, upstream_port, receive_buffer=0, rewriter=None):
        """receive_buffer: a small SO_RCVBUF for the upstream side, so that
        the server's writes back up as soon as the proxy stops reading.
        rewriter: an object whose request(link, tag, message) and
        answer(link, tag, message) return each whole message as it is to be
        forwarded (link.state is the rewriter's, per connection)."""
        self.upstream_port = upstream_port
        self.receive_buffer = receive_buffer
        self.rewriter = rewriter
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self.links = []
        self.lock = threading.Lock()
        self.closing = threading.Event()
        self.struck = threading.Event()
        self.rule = None
        self.action = None
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def strike_after(self, entries=0, dones=1, tag=SEARCH_DONE, action=CUT):
        """Strikes once, on the first connection where a message of `tag` is
        forwarded when at least `entries` search entries and `dones` search
        results have gone through."""
        with self.lock:
            self.struck.clear()
            self.rule = (entries, dones, tag)
            self.action = action

    def forwarded(self, tag):
        """How many messages of `tag` have gone to clients."""
        with self.lock:
            return sum(link.counts[tag] for link in self.links)

    def forward_all(self):
        with self.lock:
            self.rule = None

    def _should_strike(self, link, tag):
        with self.lock:
            if not self.rule:
                return False
            entries, dones, wanted = self.rule
            if tag != wanted or link.counts[SEARCH_ENTRY] < entries or link.counts[SEARCH_DONE] < dones:
                return False
            self.rule = None  # once
            return True

    def _accept(self):
        while not self.closing.is_set():
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            try:
                upstream = socket.socket()
                if self.receive_buffer:
                    upstream.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self.receive_buffer)
                upstream.settimeout(5)
                upstream.connect(("127.0.0.1", self.upstream_port))
                upstream.settimeout(None)
            except OSError:
                upstream.close()
                client.close()  # no server behind: the client sees the connection end
                continue
            with self.lock:
                self.links.append(_Link(self, client, upstream))

    def close(self):
        self.closing.set()
        try:
            self.listener.shutdown(socket.SHUT_RDWR)  # wakes the accept; a close alone does not
        except OSError:
            pass
        self.listener.close()
        with self.lock:
            links, self.links = self.links, []
        for link in links:
            link.stopped.set()
            link.close()
        for link in links:
            for t in link.threads:
                t.join(5)
        self.thread.join(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
