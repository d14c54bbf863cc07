"""A quarlix-server on a free loopback port for one test, and what
quarlix-exec answers for the same call (the expected values)."""
import base64
import json
import os
import signal
import subprocess
import tempfile
import time

DIRECTORY = "LDAP://DC=corp,DC=example,DC=com"
USER, PASSWORD = "alice", "s3cret-Pass"


class Build:
    def __init__(self, server, exec_):
        self.server, self.exec = server, exec_

    def login_line(self, name, password):
        result = subprocess.run([self.server, "--print-login", name], input=password + "\n",
                                capture_output=True, text=True, check=True, timeout=30)
        return result.stdout.strip()

    def expected(self, line, codepage=65001, directory=None):
        """quarlix-exec's answer to an EXEC line: columns, rows, count, or the
        error; text cells as a client decodes them from the code page, binary
        cells as bytes. A text cell whose bytes the code page cannot decode is
        UNDECODABLE (clients replace such bytes, each in its own way)."""
        # The line's bytes in the code page, as a client's batch reaches the procedure.
        encoded = line.encode("utf-8" if codepage == 65001 else "cp1252")
        mount = ["--directory", directory] if directory else []
        result = subprocess.run([self.exec, "--format", "json", "--codepage", str(codepage)] + mount + ["-Q", encoded],
                                capture_output=True, timeout=60)
        answer = json.loads(result.stdout.decode("utf-8"))
        if "rows" in answer:
            for row in answer["rows"]:
                for i, cell in enumerate(row):
                    if cell is None:
                        continue
                    if answer["columns"][i]["type"] in (0x25, 0xA5, 0x22):
                        row[i] = bytes.fromhex(cell[2:])
                    else:
                        row[i] = decoded(cell, codepage)
        return answer


UNDECODABLE = object()


def decoded(json_text, codepage):
    """The cell's bytes (quarlix-exec writes invalid UTF-8 bytes as \\u00XX)
    decoded as the code page."""
    if codepage == 65001:
        return json_text
    raw = b"".join(bytes([ord(c)]) if ord(c) < 0x100 else c.encode("utf-8") for c in json_text)
    try:
        return raw.decode("utf-8" if codepage == 65001 else "cp1252")
    except UnicodeDecodeError:
        return UNDECODABLE


def same_rows(test, got, expected, message=""):
    """Rows equal, cell by cell, except cells the code page cannot decode."""
    test.assertEqual(len(got), len(expected), message)
    for got_row, expected_row in zip(got, expected):
        test.assertEqual(len(got_row), len(expected_row), message)
        for got_cell, expected_cell in zip(got_row, expected_row):
            if expected_cell is not UNDECODABLE:
                test.assertEqual(got_cell, expected_cell, message)


class Server:
    """Started with `with Server(build, ...) as s:`; s.port, s.stderr().
    codepage=None gives no --codepage (the extra options may)."""

    def __init__(self, build, *extra, logins=None, codepage=1252):
        self.build = build
        self.extra = list(extra)
        self.codepage = codepage
        self.folder = tempfile.TemporaryDirectory()
        self.logins = os.path.join(self.folder.name, "logins")
        with open(self.logins, "w") as f:
            f.write("# test logins\n")
            for name, password in (logins or [(USER, PASSWORD)]):
                f.write(build.login_line(name, password) + "\n")
        self.error_path = os.path.join(self.folder.name, "stderr")

    def __enter__(self):
        self.error_file = open(self.error_path, "w")
        self.process = subprocess.Popen(
            [self.build.server, "--listen", "127.0.0.1:0", "--logins", self.logins]
            + ([] if self.codepage is None else ["--codepage", str(self.codepage)]) + self.extra,
            stdout=subprocess.PIPE, stderr=self.error_file, text=True)
        line = self.process.stdout.readline()
        if "listening on" not in line:
            self.process.kill()
            self.process.wait()
            self.process.stdout.close()
            self.error_file.close()
            raise RuntimeError("server did not start: " + line + self.stderr())
        self.port = int(line.rsplit(":", 1)[1])
        return self

    def stop(self, timeout=30):
        """SIGTERM; the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(timeout)
        finally:
            self.error_file.close()
            self.process.stdout.close()

    def __exit__(self, kind, value, traceback):
        status = self.process.poll()
        if status is None:
            try:
                status = self.stop()
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                status = "no stop within 30 s"
        log = self.stderr()
        self.folder.cleanup()
        # Every server stops cleanly on SIGTERM (a sanitizer's report would make it fail).
        if kind is None and status != 0:
            raise AssertionError(f"the server ended with {status}:\n{log}")

    def stderr(self):
        with open(self.error_path) as f:
            return f.read()

    def alive(self):
        return self.process.poll() is None


_CERTIFICATE = tempfile.TemporaryDirectory()
WIDE_LINE = "EXEC quarlix 'LDAP://dc=example,dc=com', '(uid=wide)', 'uid,description,jpegPhoto'"


def wide_directory():
    """A directory whose one entry has a text of 10 006 characters (17 506
    bytes of UTF-8, 10 006 of code page 1252) and a 9 000-byte
    binary value: wider than varchar and varbinary columns go."""
    path = os.path.join(_CERTIFICATE.name, "wide.ldif")
    text = ("Lang: " + "äöü-" * 2500).encode("utf-8")
    photo = bytes((i * 7) & 0xFF for i in range(9000))
    with open(path, "w") as f:
        f.write("dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n"
                "dn: uid=wide,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: wide\ncn: Wide\nsn: Wide\n"
                f"description:: {base64.b64encode(text).decode()}\njpegPhoto:: {base64.b64encode(photo).decode()}\n\n")
    return path


def certificate():
    """A self-signed certificate and key for localhost (made once per run)."""
    cert = os.path.join(_CERTIFICATE.name, "cert.pem")
    key = os.path.join(_CERTIFICATE.name, "key.pem")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "2", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
                       check=True, capture_output=True, timeout=60)
    return cert, key


def wait_until(predicate, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()
