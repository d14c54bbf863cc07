#!/usr/bin/env python3
"""quarlix-server for a while under mixed clients (two pymssql connections,
one pyodbc, one tedious) making small calls of every road against a slapd on
loopback, which is restarted twice (stopped for --down seconds each time).
Every call is checked for its row count. Prints Markdown tables: the calls
per client, the failures outside the restart windows (the target: none),
the failures inside them (the target: each says the server is not
operational), and the server's resident memory and open descriptors over the
run (the target: flat, the last minute at most 10% and 4 descriptors above
the first minute after the warm-up).

    soak.py --server build/bench/quarlix-server --tedious-modules DIR [--minutes 10] [--down 5] [--out soak.json]"""
import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import generate_users  # noqa: E402
import pymssql  # noqa: E402
import pyodbc  # noqa: E402
from search_bench import anonymous_environment  # noqa: E402
from server_bench import PASSWORD, USER, Server, rss_kib, threads  # noqa: E402
from slapd_fixture import Slapd  # noqa: E402

USERS = 2000
GROUP = "cn=soak,ou=groups," + generate_users.SUFFIX
GROUP_MEMBERS = 50
TEAM = "ou=team," + generate_users.SUFFIX
TEAM_SIZE = 30
NOT_OPERATIONAL = ("8007203A", "not operational")
GRACE = 3.0  # seconds after slapd answers again that still count as the window
WARM_UP = 30.0


def directory():
    parts = [generate_users.header()]
    parts.extend(generate_users.user(i) for i in range(USERS))
    parts.append("dn: ou=groups,%s\nobjectClass: organizationalUnit\nou: groups\n\n" % generate_users.SUFFIX)
    members = "".join("member: uid=u%06d,%s\n" % (i * 37 % USERS, generate_users.PEOPLE) for i in range(GROUP_MEMBERS))
    parts.append("dn: %s\nobjectClass: groupOfNames\ncn: soak\n%s\n" % (GROUP, members))
    parts.append("dn: %s\nobjectClass: organizationalUnit\nou: team\n\n" % TEAM)
    for i in range(TEAM_SIZE):
        parts.append(generate_users.user(USERS + i).replace(",%s\n" % generate_users.PEOPLE, ",%s\n" % TEAM, 1))
    return "".join(parts)


def statements(address):
    """(EXEC line, rows it answers): every road of the procedure."""
    base = "LDAP://%s/" % address
    people = base + generate_users.PEOPLE
    return [
        ("EXEC quarlix '%s', '(uid=u000123)', 'cn,mail,uidNumber'" % people, 1),
        ("EXEC quarlix '%suid=u000007,%s', '', 'cn,mail,telephoneNumber'" % (base, generate_users.PEOPLE), 1),
        ("EXEC quarlix '%s', '', 'cn,mail', 'GET_GROUP_MEMBERS'" % (base + GROUP), GROUP_MEMBERS),
        ("EXEC quarlix '%s', '', 'cn,uid', 'GET_CHILD_OBJECTS'" % (base + TEAM), TEAM_SIZE),
        ("EXEC quarlix '%s', '(uid=u0001*)', 'cn,mail'" % people, 100),
    ]


class Log:
    """Every call's end: (time, client, line, error or None)."""

    def __init__(self):
        self.lock = threading.Lock()
        self.calls = []

    def add(self, client, line, error):
        with self.lock:
            self.calls.append((time.time(), client, line, error))


def dbapi_worker(name, connect, lines, end, log):
    conn = None
    n = 0
    while time.time() < end:
        index = n % len(lines)
        n += 1
        sql, rows = lines[index]
        try:
            if conn is None:
                conn = connect()
            cursor = conn.cursor()
            cursor.execute(sql)
            got = len(cursor.fetchall())
            log.add(name, index, None if got == rows else "%d rows for %d" % (got, rows))
        except Exception as e:  # noqa: BLE001 (every failure is recorded)
            log.add(name, index, str(e))
            if isinstance(e, (pymssql.InterfaceError, pyodbc.InterfaceError)) or "connection" in str(e).lower():
                try:
                    conn.close()
                except Exception:  # noqa: BLE001
                    pass
                conn = None
    if conn:
        conn.close()


def tedious_worker(port, modules, lines, seconds, log):
    env = dict(os.environ, NODE_PATH=modules)
    process = subprocess.Popen(["node", os.path.join(HERE, "soak_tedious.js"), str(port), USER, PASSWORD,
                                str(seconds)] + [sql for sql, _ in lines], stdout=subprocess.PIPE, text=True, env=env)
    for text in process.stdout:
        call = json.loads(text)
        index = call["line"]
        error = call.get("error")
        if error is None and call["rows"] != lines[index][1]:
            error = "%d rows for %d" % (call["rows"], lines[index][1])
        with log.lock:
            log.calls.append((call["t"], "tedious", index, error))
    process.wait()


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def sample(pid, end, samples):
    while time.time() < end:
        samples.append((time.time(), rss_kib(pid), descriptors(pid), threads(pid)))
        time.sleep(5)


def summary(log, windows, samples, started, seconds):
    in_window = lambda t: any(a <= t <= b for a, b in windows)  # noqa: E731
    clients = sorted({c for _, c, _, _ in log.calls})
    lines = ["| client | calls | failed outside the restarts | failed during the restarts | of which not operational |",
             "|---|---:|---:|---:|---:|"]
    outside_total, inside_other = 0, 0
    examples = []
    for client in clients:
        mine = [c for c in log.calls if c[1] == client]
        failed = [c for c in mine if c[3] is not None]
        outside = [c for c in failed if not in_window(c[0])]
        inside = [c for c in failed if in_window(c[0])]
        operational = [c for c in inside if any(w in c[3] for w in NOT_OPERATIONAL)]
        outside_total += len(outside)
        inside_other += len(inside) - len(operational)
        examples += [c for c in outside + inside if c not in operational][:3]
        lines.append("| %s | %d | %d | %d | %d |" % (client, len(mine), len(outside), len(inside), len(operational)))
    warm = [s for s in samples if s[0] - started >= WARM_UP]
    first = [s for s in warm if s[0] - warm[0][0] < 60] if warm else []
    last = [s for s in warm if s[0] >= warm[-1][0] - 60] if warm else []
    lines += ["", "| server, after a %.0f s warm-up | first minute | whole run (highest) | last minute | target |" % WARM_UP,
              "|---|---:|---:|---:|---|"]
    flat = True
    if warm:
        rss = (max(s[1] for s in first), max(s[1] for s in warm), max(s[1] for s in last))
        fds = (max(s[2] for s in first), max(s[2] for s in warm), max(s[2] for s in last))
        rss_ok, fds_ok = rss[2] <= rss[0] * 1.1, fds[2] <= fds[0] + 4
        flat = rss_ok and fds_ok
        lines.append("| resident memory (KiB) | %d | %d | %d | last minute <= 1.1x the first: %s |"
                     % (rss + ("met" if rss_ok else "MISSED",)))
        lines.append("| open descriptors | %d | %d | %d | last minute <= the first + 4: %s |"
                     % (fds + ("met" if fds_ok else "MISSED",)))
        lines.append("| threads | %d | %d | %d | |" % (max(s[3] for s in first), max(s[3] for s in warm),
                                                      max(s[3] for s in last)))
    lines += ["", "Restart windows (seconds from the start, slapd stopped until it answered again, and %.0f s more): %s"
              % (GRACE, ", ".join("%.1f-%.1f" % (a - started, b - started) for a, b in windows)),
              "",
              "Verdict: %d calls in %.0f s; failures outside the restarts: %d (target 0: %s); failures during them "
              "that say other than not operational: %d (target 0: %s); memory and descriptors flat: %s"
              % (len(log.calls), seconds, outside_total, "met" if outside_total == 0 else "MISSED", inside_other,
                 "met" if inside_other == 0 else "MISSED", "met" if flat else "MISSED")]
    if examples:
        lines += ["", "Failures other than expected (first of each client):"] + ["- %s %s: %s" % (
            time.strftime("%H:%M:%S", time.localtime(t)), c, e.replace("\n", " ")) for t, c, _, e in examples[:9]]
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", required=True)
    parser.add_argument("--tedious-modules", required=True)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--down", type=float, default=5, help="seconds slapd stays stopped at each restart")
    parser.add_argument("--out", help="the raw calls and samples, as JSON")
    args = parser.parse_args()
    seconds = args.minutes * 60
    log, samples, windows = Log(), [], []
    with tempfile.TemporaryDirectory(prefix="quarlix-soak-") as folder, \
            Slapd(directory(), access="access to * by * read", global_config="sizelimit unlimited") as slapd:
        server = Server(os.path.abspath(args.server), None, folder, connections=16, env=anonymous_environment(folder))
        try:
            lines = statements(slapd.address)
            started = time.time()
            end = started + seconds
            driver = glob.glob("/usr/lib/*/odbc/libtdsodbc.so") or ["libtdsodbc.so"]
            workers = [
                threading.Thread(target=dbapi_worker, args=("pymssql %d" % i, lambda: pymssql.connect(
                    server="127.0.0.1", port=str(server.port), user=USER, password=PASSWORD, autocommit=True),
                    lines, end, log)) for i in (1, 2)]
            workers.append(threading.Thread(target=dbapi_worker, args=("pyodbc", lambda: pyodbc.connect(
                "DRIVER=%s;SERVER=127.0.0.1;PORT=%d;UID=%s;PWD=%s" % (driver[0], server.port, USER, PASSWORD),
                autocommit=True), lines, end, log)))
            workers.append(threading.Thread(target=tedious_worker,
                                            args=(server.port, args.tedious_modules, lines, seconds, log)))
            workers.append(threading.Thread(target=sample, args=(server.process.pid, end, samples)))
            for w in workers:
                w.start()
            for at in (seconds / 3, 2 * seconds / 3):
                time.sleep(max(0.0, started + at - time.time()))
                stopped = time.time()
                print("soak: restarting slapd at %.0f s ..." % (stopped - started), file=sys.stderr, flush=True)
                slapd.restart(pause=args.down)
                windows.append((stopped, time.time() + GRACE))
            for w in workers:
                w.join()
        finally:
            server.stop()
    if args.out:
        with open(args.out, "w") as f:
            json.dump({"calls": log.calls, "samples": samples, "windows": windows}, f)
    print("### Soak: quarlix-server for %g minutes, pymssql x2, pyodbc, tedious; slapd restarted twice "
          "(down %g s each)" % (args.minutes, args.down))
    print()
    print("\n".join(summary(log, windows, samples, started, seconds)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
