"""One call of the procedure through the real host, quarlix-exec, and its
answer read from the events it prints."""
import json
import os
import subprocess
import time


class Answer:
    def __init__(self, completed, seconds):
        self.returncode = completed.returncode
        self.stderr = completed.stderr.decode("utf-8", "replace")
        self.seconds = seconds
        self.events = [json.loads(line) for line in completed.stdout.decode().splitlines() if line]
        self.columns = [(e["name"], e["type"], e["maxlen"]) for e in self.events if e["event"] == "describe"]
        self.rows = [[None if c is None else bytes.fromhex(c) for c in e["cells"]]
                     for e in self.events if e["event"] == "row"]
        self.messages = [e["text"] for e in self.events if e["event"] == "message"]

    @property
    def names(self):
        return [c[0] for c in self.columns]

    def column(self, name):
        """The cells of one column, as text (None for NULL)."""
        i = self.names.index(name)
        return [None if r[i] is None else r[i].decode("utf-8", "replace") for r in self.rows]

    @property
    def message(self):
        return self.messages[0] if len(self.messages) == 1 else None


# Host.call(directory=DEFAULT_DIRECTORY): the host's own sample directory.
DEFAULT_DIRECTORY = object()


class Host:
    """Runs quarlix-exec with a controlled environment: the stand-in's
    configuration file and libldap's LDAPURI are the test's."""

    def __init__(self, exe, config_file):
        self.exe = exe
        self.config_file = config_file

    def call(self, query, directory=None, config=None, ldap_uri=None, timeout=120, environment=None):
        command = [self.exe, "--format", "events"]
        if directory is not DEFAULT_DIRECTORY:
            command += ["--directory", directory] if directory else ["--no-directory"]
        command += ["-Q", query]
        extra, environment = environment or {}, {k: v for k, v in os.environ.items() if not k.startswith("LDAP")}
        environment.update(extra)
        environment["QUARLIX_ADSI_CONFIG"] = config or self.config_file
        if ldap_uri:
            environment["LDAPURI"] = ldap_uri
        started = time.monotonic()
        completed = subprocess.run(command, capture_output=True, timeout=timeout, env=environment)
        return Answer(completed, time.monotonic() - started)


def exec_line(path, filter_="", fields="*", scope=None):
    quote = lambda s: "'" + s.replace("'", "''") + "'"
    line = "EXEC quarlix %s, %s, %s" % (quote(path), quote(filter_), quote(fields))
    return line + (", " + quote(scope) if scope else "")
