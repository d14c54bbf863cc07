#!/usr/bin/env python3
"""Small calls: a one-row EXEC through quarlix-server against a slapd on
loopback, next to the same search made with python-ldap on one LDAP
connection that stays open. The call binds its path (one read) and searches
(one more), so two round trips stand against one: the target is at least half
python-ldap's rate. In clear text and with StartTLS (a certificate of the
bench's own). Rounds alternate (server, python-ldap, ...) so that both see the
same machine; per side the median of the rounds' rates. slapd's log gives the
LDAP connections the server opened per call.

    small_calls_bench.py --server build/bench/quarlix-server --out small_calls.json [--seconds 2] [--rounds 3]"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import generate_users  # noqa: E402
import ldap  # noqa: E402  (Debian's python3-ldap)
import pymssql  # noqa: E402
from search_bench import anonymous_environment  # noqa: E402
from server_bench import PASSWORD, USER, Server  # noqa: E402
from slapd_fixture import Slapd  # noqa: E402

USERS = 1000
ATTRIBUTES = ["cn", "mail", "uid", "telephoneNumber", "uidNumber"]
TARGET = 0.5  # the server's calls per second against python-ldap's


def certificate(folder):
    cert, key = os.path.join(folder, "slapd.pem"), os.path.join(folder, "slapd.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, capture_output=True)
    return cert, key


def uid_filter(i):
    return "(uid=u%06d)" % (i % USERS)


def server_rate(port, address, seconds):
    """Calls per second on one TDS connection, each answered with one row."""
    sql = "EXEC quarlix 'LDAP://%s/%s', '%%s', '%s'" % (address, generate_users.PEOPLE, ",".join(ATTRIBUTES))
    conn = pymssql.connect(server="127.0.0.1", port=str(port), user=USER, password=PASSWORD, autocommit=True)
    cursor = conn.cursor()
    calls, started = 0, time.perf_counter()
    while time.perf_counter() - started < seconds:
        cursor.execute(sql % uid_filter(calls))
        rows = cursor.fetchall()
        if len(rows) != 1:
            raise RuntimeError("the call answered %d rows" % len(rows))
        calls += 1
    elapsed = time.perf_counter() - started
    conn.close()
    return calls / elapsed, calls


def python_ldap_rate(url, ca, seconds):
    """The same searches on one open connection (StartTLS when ca is set)."""
    conn = ldap.initialize(url)
    conn.set_option(ldap.OPT_PROTOCOL_VERSION, 3)
    if ca:
        conn.set_option(ldap.OPT_X_TLS_CACERTFILE, ca)
        conn.set_option(ldap.OPT_X_TLS_REQUIRE_CERT, ldap.OPT_X_TLS_DEMAND)
        conn.set_option(ldap.OPT_X_TLS_NEWCTX, 0)
        conn.start_tls_s()
    conn.simple_bind_s("", "")
    calls, started = 0, time.perf_counter()
    while time.perf_counter() - started < seconds:
        entries = conn.search_s(generate_users.PEOPLE, ldap.SCOPE_SUBTREE, uid_filter(calls), ATTRIBUTES)
        if len(entries) != 1:
            raise RuntimeError("python-ldap found %d entries" % len(entries))
        calls += 1
    elapsed = time.perf_counter() - started
    conn.unbind_s()
    return calls / elapsed


def measure(server_exe, seconds, rounds):
    load = os.getloadavg()[0]
    results = []
    with tempfile.TemporaryDirectory(prefix="quarlix-small-calls-") as folder:
        cert, key = certificate(folder)
        ldif = generate_users.header() + "".join(generate_users.user(i) for i in range(USERS))
        tls = "TLSCertificateFile %s\nTLSCertificateKeyFile %s" % (cert, key)
        with Slapd(ldif, global_config=tls, debug_level=256) as slapd:
            for mode, config_text, ca in (("plain LDAP", "starttls never\n", None),
                                          ("StartTLS", "starttls demand\ntls_cacert %s\n" % cert, cert)):
                server = Server(server_exe, None, folder, env=anonymous_environment(folder, config_text))
                try:
                    ours, theirs, connections = [], [], []
                    for _ in range(rounds):
                        log_before = len(slapd.log())
                        rate, calls = server_rate(server.port, slapd.address, seconds)
                        ours.append(rate)
                        time.sleep(0.2)  # slapd logs a connection's close after the call
                        accepted = len(re.findall(r"ACCEPT from", slapd.log()[log_before:]))
                        connections.append(accepted / calls)
                        theirs.append(python_ldap_rate(slapd.url, ca, seconds))
                finally:
                    server.stop()
                results.append({"mode": mode, "server_calls_per_second": statistics.median(ours),
                                "python_ldap_calls_per_second": statistics.median(theirs),
                                "ldap_connections_per_call": statistics.median(connections),
                                "rounds": rounds, "seconds": seconds, "load_before": load})
    return results


def table(results):
    lines = ["| one-row EXEC, quarlix-server against slapd | server calls/s | python-ldap calls/s (one open "
             "connection) | server / python-ldap | LDAP connections per call | target: >= %.1fx |" % TARGET,
             "|---|---:|---:|---:|---:|---|"]
    for r in results:
        ratio = r["server_calls_per_second"] / r["python_ldap_calls_per_second"]
        lines.append("| %s | %.0f | %.0f | %.2fx | %.3f | %s |" % (
            r["mode"], r["server_calls_per_second"], r["python_ldap_calls_per_second"], ratio,
            r["ldap_connections_per_call"], "met" if ratio >= TARGET else "MISSED"))
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=float, default=2.0)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    results = measure(os.path.abspath(args.server), args.seconds, args.rounds)
    with open(args.out, "w") as f:
        json.dump(results, f, indent=1)
    print("### Small calls (median of %d rounds of %.1f s, alternating; 1-minute load before: %.1f)" % (
        args.rounds, args.seconds, results[0]["load_before"]))
    print()
    print("\n".join(table(results)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
