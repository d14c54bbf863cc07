#!/usr/bin/env python3
"""quarlix-server against quarlix-exec on the same embedded directory of N
users: rows per second through pymssql, pyodbc (FreeTDS ODBC), tedious and
mssql, and the server's memory over many connections served one after
another. Prints Markdown tables.

    server_bench.py --server build/bench/quarlix-server --exec build/bench/quarlix-exec
                    --tedious-modules DIR [--sizes 10000,100000] [--repeat 3] [--connections 2000]
                    [--stalled 60] [--stalled-only]

quarlix-exec mounts the directory on every run; its call alone is its time
minus that of a call that finds nothing (start-up and mount). The server
mounts once; its times are the call after the login.

Then the memory that clients which never read hold: N clients each ask for
the largest answer (every user of the largest size) and read nothing; the
server's RSS before, while they stall, and how many it still keeps open."""
import argparse
import glob
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import generate_users  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "server"))
import pymssql  # noqa: E402
import pyodbc  # noqa: E402
from raw_client import SQL_BATCH, RawClient, batch_payload, packet  # noqa: E402

USER, PASSWORD = "bench", "bench-Pass1"
BASE = "LDAP://ou=people," + generate_users.SUFFIX
FIELDS = "uid,cn,mail,telephoneNumber,uidNumber"


def line(filter_):
    return f"EXEC quarlix '{BASE}', '{filter_}', '{FIELDS}'"


def exec_seconds(exe, ldif, filter_):
    start = time.perf_counter()
    result = subprocess.run([exe, "--format", "csv", "--codepage", "1252", "--directory", ldif, "-Q", line(filter_)],
                            stdout=subprocess.PIPE, check=True)
    return time.perf_counter() - start, result.stdout.count(b"\r\n") - 1


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for entry in f:
            if entry.startswith("VmRSS:"):
                return int(entry.split()[1])
    return 0


class Server:
    """quarlix-server on a free loopback port with the login USER. ldif: the
    directory to mount, or None for none (paths reach LDAP servers, with the
    configuration that env's QUARLIX_ADSI_CONFIG names)."""

    def __init__(self, exe, ldif, folder, connections=16, env=None):
        logins = os.path.join(folder, "logins")
        line_ = subprocess.run([exe, "--print-login", USER], input=PASSWORD + "\n", capture_output=True,
                               text=True, check=True).stdout
        with open(logins, "w") as f:
            f.write(line_)
        mount = ["--directory", ldif] if ldif else ["--no-directory"]
        self.process = subprocess.Popen([exe, "--listen", "127.0.0.1:0", "--logins", logins] + mount +
                                        ["--codepage", "1252", "--quiet", "--max-connections", str(connections)],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
        self.port = int(self.process.stdout.readline().rsplit(":", 1)[1])

    def stop(self):
        self.process.terminate()
        self.process.wait(60)


def dbapi_call(conn, sql):
    """Seconds to run sql and fetch every row on a DB-API connection, which
    it closes, and the rows' count."""
    cursor = conn.cursor()
    start = time.perf_counter()
    cursor.execute(sql)
    rows = len(cursor.fetchall())
    seconds = time.perf_counter() - start
    conn.close()
    return seconds, rows


def pymssql_call(port, sql):
    return dbapi_call(pymssql.connect(server="127.0.0.1", port=str(port), user=USER, password=PASSWORD,
                                      autocommit=True), sql)


def pyodbc_call(port, sql):
    driver = (glob.glob("/usr/lib/*/odbc/libtdsodbc.so") or ["libtdsodbc.so"])[0]
    return dbapi_call(pyodbc.connect(f"DRIVER={driver};SERVER=127.0.0.1;PORT={port};UID={USER};PWD={PASSWORD}",
                                     autocommit=True), sql)


def raw_call(port, sql):
    """The answer's bytes read and not decoded: what the server alone costs."""
    client = RawClient(port, timeout=600)
    client.login(USER, PASSWORD)
    start = time.perf_counter()
    tokens = client.batch(sql)
    seconds = time.perf_counter() - start
    client.close()
    return seconds, len(tokens)


def node_call(script, port, sql, modules):
    env = dict(os.environ, NODE_PATH=modules)
    out = subprocess.run(["node", os.path.join(os.path.dirname(os.path.abspath(__file__)), script),
                          str(port), USER, PASSWORD, sql], capture_output=True, text=True, env=env, check=True).stdout
    answer = json.loads(out)
    return answer["seconds"], answer["rows"]


def open_stalled(port, sql):
    """A client that asks and then reads nothing (a 4 KiB receive window)."""
    client = RawClient(port, timeout=600, receive_buffer=4096)
    client.login(USER, PASSWORD)
    client.send(packet(SQL_BATCH, batch_payload(sql)))
    return client


def threads(pid):
    with open(f"/proc/{pid}/status") as f:
        for entry in f:
            if entry.startswith("Threads:"):
                return int(entry.split()[1])
    return 0


def wait_for_answer(client):
    """Until the answer's first bytes arrive: the procedure has built it."""
    client.sock.settimeout(600)
    client.sock.recv(1, socket.MSG_PEEK)


def stalled_readers(server_exe, folder, size, count):
    ldif = os.path.join(folder, f"users{size}.ldif")
    if not os.path.exists(ldif):
        with open(ldif, "w") as f:
            f.write(generate_users.header())
            f.writelines(generate_users.user(i) for i in range(size))
    sql = line("(objectClass=inetOrgPerson)")
    server = Server(server_exe, ldif, folder, connections=count + 4)
    print()
    print(f"| {count} clients stalled on the largest answer | server RSS (KiB) | connections kept |")
    print("|---|---:|---:|")
    try:
        answer = raw_call(server.port, sql)[1]
        time.sleep(1)
        idle_threads = threads(server.process.pid)
        print(f"| before (one answer of {answer:,} bytes sent) | {rss_kib(server.process.pid)} | 0 |", flush=True)
        clients = [open_stalled(server.port, sql) for _ in range(count)]
        for client in clients:
            wait_for_answer(client)
        for seconds in (5, 70):
            time.sleep(seconds - (5 if seconds > 5 else 0))
            print(f"| {seconds} s after the last answer began | {rss_kib(server.process.pid)} | "
                  f"{threads(server.process.pid) - idle_threads} |", flush=True)
        for c in clients:
            c.close()
    finally:
        server.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--exec", required=True)
    parser.add_argument("--tedious-modules", required=True)
    parser.add_argument("--sizes", default="10000,100000")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--connections", type=int, default=2000)
    parser.add_argument("--stalled", type=int, default=60, help="clients that never read, for the memory table")
    parser.add_argument("--stalled-only", action="store_true", help="only the stalled clients' table")
    args = parser.parse_args()
    largest = max(int(s) for s in args.sizes.split(","))
    if args.stalled_only:
        with tempfile.TemporaryDirectory() as folder:
            stalled_readers(args.server, folder, largest, args.stalled)
        return

    clients = ["pymssql", "pyodbc", "tedious", "mssql"]
    print("| users | rows | quarlix-exec csv (call) | server, bytes only | " + " | ".join(clients) + " | bytes / exec | " +
          " | ".join(c + " / exec" for c in clients) + " |")
    print("|---:" * (4 + 2 * len(clients) + 1) + "|")
    with tempfile.TemporaryDirectory() as folder:
        for size in [int(s) for s in args.sizes.split(",")]:
            ldif = os.path.join(folder, f"users{size}.ldif")
            with open(ldif, "w") as f:
                f.write(generate_users.header())
                f.writelines(generate_users.user(i) for i in range(size))
            whole, empty, rows = [], [], 0
            for _ in range(args.repeat):
                seconds, rows = exec_seconds(args.exec, ldif, "(objectClass=inetOrgPerson)")
                whole.append(seconds)
                empty.append(exec_seconds(args.exec, ldif, "(uid=nobody)")[0])
            exec_call = max(statistics.median(whole) - statistics.median(empty), 1e-6)
            server = Server(args.server, ldif, folder)
            try:
                sql = line("(objectClass=inetOrgPerson)")
                raw = statistics.median(raw_call(server.port, sql)[0] for _ in range(args.repeat))
                calls = {
                    "pymssql": lambda: pymssql_call(server.port, sql),
                    "pyodbc": lambda: pyodbc_call(server.port, sql),
                    "tedious": lambda: node_call("tedious_rows.js", server.port, sql, args.tedious_modules),
                    "mssql": lambda: node_call("mssql_rows.js", server.port, sql, args.tedious_modules),
                }
                timings = {name: [calls[name]() for _ in range(args.repeat)] for name in clients}
            finally:
                server.stop()
            for name, runs in timings.items():
                assert all(r == rows for _, r in runs), (name, rows, runs)
            medians = {name: statistics.median(s for s, _ in runs) for name, runs in timings.items()}
            cells = [f"{exec_call:.3f} s ({rows / exec_call:,.0f} rows/s)", f"{raw:.3f} s ({rows / raw:,.0f} rows/s)"]
            cells += [f"{medians[c]:.3f} s ({rows / medians[c]:,.0f} rows/s)" for c in clients]
            cells += [f"{raw / exec_call:.2f}"] + [f"{medians[c] / exec_call:.2f}" for c in clients]
            print(f"| {size} | {rows} | " + " | ".join(cells) + " |", flush=True)

        # Memory over connections served one after another (a small call each).
        ldif = os.path.join(folder, "users1000.ldif")
        with open(ldif, "w") as f:
            f.write(generate_users.header())
            f.writelines(generate_users.user(i) for i in range(1000))
        server = Server(args.server, ldif, folder)
        print()
        print("| connections served | server RSS (KiB) |")
        print("|---:|---:|")
        try:
            done = 0
            marks = sorted({0, 10, 100, args.connections // 2, args.connections})
            for mark in marks:
                while done < mark:
                    pymssql_call(server.port, line("(uid=u00000*)"))
                    done += 1
                print(f"| {done} | {rss_kib(server.process.pid)} |", flush=True)
        finally:
            server.stop()

        stalled_readers(args.server, folder, largest, args.stalled)


if __name__ == "__main__":
    main()
