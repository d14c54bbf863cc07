#!/usr/bin/env python3
"""Search throughput: the procedure through quarlix-exec against ldapsearch,
on one slapd on loopback loaded with N generated users, for each N in one
run. Runs alternate (procedure, ldapsearch, procedure, ...) so that both
see the same machine state. Writes one JSON object per N to --out.

    search_bench.py --exe build/bench/quarlix-exec --out results.json [--sizes 1000,10000] [--repeat 5]"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import generate_users  # noqa: E402
from slapd_fixture import Slapd  # noqa: E402

TIME = "/usr/bin/time"
FILTER = "(objectClass=inetOrgPerson)"
ATTRIBUTES = ["cn", "mail", "uid", "telephoneNumber", "uidNumber"]
# 100 000 users need more than the fixture's default map size.
DATABASE_LINES = "access to * by * read\nmaxsize 2147483648"
# Anonymous searches may return every user (slapd's default stops at 500).
GLOBAL_LINES = "sizelimit unlimited"


def anonymous_environment(folder, config_text=""):
    """The environment of the procedure's runs: a configuration file in
    `folder` holding `config_text` (empty: an anonymous bind, as ldapsearch
    -x makes) and none of the machine's LDAP settings or traffic counts."""
    config = os.path.join(folder, "adsi.conf")
    with open(config, "w") as f:
        f.write(config_text)
    env = {k: v for k, v in os.environ.items() if not k.startswith("LDAP") and k != "QUARLIX_ADSI_TRAFFIC"}
    env["QUARLIX_ADSI_CONFIG"] = config
    return env


def measure_sizes(label, measure, exe, sizes, repeat, out):
    """measure(exe, N, repeat, env, folder) for each N of `sizes` ("1000,10000"),
    with anonymous_environment; the results, also written to `out` as JSON."""
    with tempfile.TemporaryDirectory(prefix="quarlix-bench-") as folder:
        env = anonymous_environment(folder)
        results = []
        for count in (int(n) for n in sizes.split(",")):
            print("%s: %d users ..." % (label, count), file=sys.stderr, flush=True)
            results.append(measure(os.path.abspath(exe), count, repeat, env, folder))
    with open(out, "w") as f:
        json.dump(results, f, indent=1)
    return results


def directory(count):
    parts = [generate_users.header()]
    parts.extend(generate_users.user(i) for i in range(count))
    return "".join(parts)


def timed(command, env, folder):
    """Wall seconds and peak memory (max RSS, KiB) of one run; fails on a
    non-zero exit. GNU time measures the memory: a child forked from this
    Python would count Python's own pages in its peak."""
    report = os.path.join(folder, "time.out")
    started = time.perf_counter()
    done = subprocess.run([TIME, "-f", "%M", "-o", report] + command, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, env=env)
    seconds = time.perf_counter() - started
    if done.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (command[0], done.returncode, done.stderr.decode("utf-8", "replace")))
    with open(report) as f:
        return seconds, int(f.read().split()[-1])


def commands(exe, server):
    base = "ou=people," + generate_users.SUFFIX
    path = "LDAP://%s/%s" % (server.address, base)
    procedure = [exe, "--no-directory", "--format", "csv", path, FILTER, ",".join(ATTRIBUTES)]
    ldapsearch = ["ldapsearch", "-x", "-H", server.url, "-b", base, "-E", "pr=100/noprompt", FILTER] + ATTRIBUTES
    return procedure, ldapsearch


def measure(exe, count, repeat, env, folder):
    load = os.getloadavg()[0]  # other work on the machine slows both sides
    with Slapd(directory(count), access=DATABASE_LINES, global_config=GLOBAL_LINES) as server:
        procedure, ldapsearch = commands(exe, server)
        # The answer's text, once, untimed; also warms the server's caches.
        text = subprocess.run(procedure, capture_output=True, env=env, check=True).stdout
        rows = text.count(b"\r\n") - 1
        if rows != count:
            raise RuntimeError("the procedure returned %d rows for %d users" % (rows, count))
        entries = subprocess.run(ldapsearch, capture_output=True, check=True, env=env).stdout.count(b"\ndn: ")
        if entries != count:
            raise RuntimeError("ldapsearch returned %d entries for %d users" % (entries, count))
        ours, theirs = [], []
        for _ in range(repeat):
            ours.append(timed(procedure, env, folder))
            theirs.append(timed(ldapsearch, env, folder))
    return {
        "users": count,
        "rows": rows,
        "text_bytes": len(text),
        "procedure_seconds": statistics.median(s for s, _ in ours),
        "procedure_rss_kib": max(k for _, k in ours),
        "ldapsearch_seconds": statistics.median(s for s, _ in theirs),
        "ldapsearch_rss_kib": max(k for _, k in theirs),
        "runs": repeat,
        "load_before": load,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--sizes", default="1000,10000,100000")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    measure_sizes("search", measure, args.exe, args.sizes, args.repeat, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
