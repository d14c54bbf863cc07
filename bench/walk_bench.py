#!/usr/bin/env python3
"""The member and child roads against the search road: one slapd on loopback
with N generated users under ou=people and a group whose members are all of
them; for each N, the procedure's search of the N users, the walk of the
group's N members and the walk of ou=people's N children, each with the same
columns. "members, by name": a second group of N other users spread over
containers of 100 each, too few per container to list one, so each member is
read by its name (pipelined). Runs alternate (search, members, ...). Per road:
the median wall time, the LDAP search operations the procedure sent and the
round trips they cost (the ADSI stand-in's own count, QUARLIX_ADSI_TRAFFIC:
operations sent together before a wait count as one round trip), and the
search operations slapd logged for the call.

    walk_bench.py --exe build/bench/quarlix-exec --out walks.json [--sizes 1000,10000] [--repeat 5]
                  [--before walks-before.json]

--before: the results of an earlier run (another build), printed beside."""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import generate_users  # noqa: E402
from search_bench import measure_sizes  # noqa: E402
from slapd_fixture import Slapd  # noqa: E402

FILTER = "(objectClass=inetOrgPerson)"
ATTRIBUTES = "cn,mail,uid,telephoneNumber,uidNumber"
GROUP = "cn=everyone,ou=groups," + generate_users.SUFFIX
SPREAD_GROUP = "cn=spread,ou=groups," + generate_users.SUFFIX
SPREAD = "ou=spread," + generate_users.SUFFIX
PER_CONTAINER = 100
# Anonymous reads of every user; a group of 100 000 members needs a larger map.
DATABASE_LINES = "access to * by * read\nmaxsize 2147483648"
GLOBAL_LINES = "sizelimit unlimited"
ROADS = ("search", "members", "children", "members, by name")
TIME_TARGET = 2.0  # a walk within 2x the search's wall time


def directory(count):
    parts = [generate_users.header()]
    parts.extend(generate_users.user(i) for i in range(count))
    parts.append("dn: ou=groups,%s\nobjectClass: organizationalUnit\nou: groups\n\n" % generate_users.SUFFIX)
    members = "".join("member: uid=u%06d,%s\n" % (i, generate_users.PEOPLE) for i in range(count))
    parts.append("dn: %s\nobjectClass: groupOfNames\ncn: everyone\n%s\n" % (GROUP, members))
    parts.append("dn: %s\nobjectClass: organizationalUnit\nou: spread\n\n" % SPREAD)
    spread = []
    for c in range((count + PER_CONTAINER - 1) // PER_CONTAINER):
        container = "ou=s%04d,%s" % (c, SPREAD)
        parts.append("dn: %s\nobjectClass: organizationalUnit\nou: s%04d\n\n" % (container, c))
        for i in range(c * PER_CONTAINER, min(count, (c + 1) * PER_CONTAINER)):
            parts.append(generate_users.user(i).replace(",%s\n" % generate_users.PEOPLE, ",%s\n" % container, 1))
            spread.append("member: uid=u%06d,%s\n" % (i, container))
    parts.append("dn: %s\nobjectClass: groupOfNames\ncn: spread\n%s\n" % (SPREAD_GROUP, "".join(spread)))
    return "".join(parts)


def commands(exe, server):
    base = "LDAP://%s/" % server.address
    call = [exe, "--no-directory", "--format", "csv"]
    return {
        "search": call + [base + generate_users.PEOPLE, FILTER, ATTRIBUTES],
        "members": call + [base + GROUP, "", ATTRIBUTES, "GET_GROUP_MEMBERS"],
        "children": call + [base + generate_users.PEOPLE, "", ATTRIBUTES, "GET_CHILD_OBJECTS"],
        "members, by name": call + [base + SPREAD_GROUP, "", ATTRIBUTES, "GET_GROUP_MEMBERS"],
    }


def run(command, env):
    started = time.perf_counter()
    done = subprocess.run(command, capture_output=True, env=env)
    seconds = time.perf_counter() - started
    if done.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (command, done.returncode, done.stderr.decode("utf-8", "replace")))
    return seconds, done.stdout


def counted(command, env, server, folder):
    """One run with the stand-in's count and slapd's log of it: rows,
    operations, round trips (None when the library does not count), and the
    search operations slapd logged."""
    traffic = os.path.join(folder, "traffic")
    if os.path.exists(traffic):
        os.remove(traffic)
    log_before = len(server.log())
    _, text = run(command, dict(env, QUARLIX_ADSI_TRAFFIC=traffic))
    time.sleep(0.2)  # slapd logs the last result after it has sent it
    logged = len(re.findall(r" SRCH base=", server.log()[log_before:]))
    counts = {}
    if os.path.exists(traffic):
        with open(traffic) as f:
            counts = dict((k, int(v)) for k, v in (line.split() for line in f if line.strip()))
    return text.count(b"\r\n") - 1, counts.get("operations"), counts.get("round_trips"), logged


def measure(exe, count, repeat, env, folder):
    load = os.getloadavg()[0]
    result = {"users": count, "runs": repeat, "load_before": load}
    with Slapd(directory(count), access=DATABASE_LINES, global_config=GLOBAL_LINES, debug_level=256) as server:
        calls = commands(exe, server)
        for road in ROADS:
            rows, operations, round_trips, logged = counted(calls[road], env, server, folder)
            if rows != count:
                raise RuntimeError("%s: %d rows for %d users" % (road, rows, count))
            result[road] = {"operations": operations, "round_trips": round_trips, "slapd_searches": logged}
        times = {road: [] for road in ROADS}
        for _ in range(repeat):
            for road in ROADS:
                times[road].append(run(calls[road], env)[0])
        for road in ROADS:
            result[road]["seconds"] = statistics.median(times[road])
    return result


def cell(value, pattern="%d"):
    return "-" if value is None else pattern % value


def table(results, before):
    earlier = {r["users"]: r for r in before or []}
    lines = ["| N | road | wall (s) | / search | LDAP searches (slapd) | round trips | target: < N/50 + 10 |"
             + (" before: wall (s) | before: / search | before: searches | before: round trips |" if before else ""),
             "|---:|---|---:|---:|---:|---:|---|" + ("---:|---:|---:|---:|" if before else "")]
    for r in results:
        limit = r["users"] / 50 + 10
        for road in ROADS:
            m = r[road]
            ratio = m["seconds"] / r["search"]["seconds"]
            trips = m["round_trips"]
            verdict = "-" if road == "search" else (
                "%s (walk %.2fx search, %s round trips)" % (
                    "met" if ratio <= TIME_TARGET and trips is not None and trips < limit else "MISSED",
                    ratio, cell(trips)))
            line = "| %d | %s | %.3f | %.2fx | %d | %s | %s |" % (
                r["users"], road, m["seconds"], ratio, m["slapd_searches"], cell(trips), verdict)
            if before:
                b = earlier.get(r["users"])
                if b and road in b:
                    line += " %.3f | %.2fx | %d | %s |" % (b[road]["seconds"], b[road]["seconds"] / b["search"]["seconds"],
                                                         b[road]["slapd_searches"], cell(b[road]["round_trips"]))
                else:
                    line += " - | - | - | - |"
            lines.append(line)
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--sizes", default="1000,10000")
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--before")
    args = parser.parse_args()
    results = measure_sizes("walks", measure, args.exe, args.sizes, args.repeat, args.out)
    before = None
    if args.before:
        with open(args.before) as f:
            before = json.load(f)
    print("### Member and child walks against the search (median of %d runs, alternating; 1-minute load before "
          "each N: %s)" % (args.repeat, ", ".join("%.1f" % r["load_before"] for r in results)))
    print()
    print("\n".join(table(results, before)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
