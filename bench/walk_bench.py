#!/usr/bin/env python3
"""The member and child roads against the search road: one slapd on loopback
with N generated users under ou=people and a group whose members are all of
them; for each N, the procedure's search of the N users, the walk of the
group's N members and the walk of ou=people's N children, each with the same
columns. "members, by name": a second group of N other users spread over
containers of 100 each, too few per container to list one, so the members
are read by name (a search for a hundred names at a time). Runs alternate
(search, members, ...). Per road: the median wall time and its ratio to the
search's (the targets), the median processor time of quarlix-exec and slapd
together and its ratio (what the road costs whatever else the machine runs),
the search operations slapd logged for the call and the round trips they
cost (the ADSI stand-in's own count, QUARLIX_ADSI_TRAFFIC: operations sent
together before a wait count as one round trip).

    walk_bench.py --exe build/bench/quarlix-exec --out walks.json [--sizes 10000,100000] [--repeat 5]
                  [--before walks-before.json]

--before: the results of an earlier run (another build), printed beside."""
import argparse
import json
import os
import re
import resource
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
TIME_TARGETS = {"members": 1.2, "children": 1.2, "members, by name": 1.3}  # x the search's wall time


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


def run(command, env, server=None):
    """Wall seconds, the output, and the processor seconds of the run and
    (given its server) of slapd meanwhile."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    slapd_before = slapd_seconds(server) if server else 0.0
    started = time.perf_counter()
    done = subprocess.run(command, capture_output=True, env=env)
    seconds = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (command, done.returncode, done.stderr.decode("utf-8", "replace")))
    cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
    if server:
        cpu += slapd_seconds(server) - slapd_before
    return seconds, done.stdout, cpu


def slapd_seconds(server):
    with open("/proc/%d/stat" % server.process.pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def counted(command, env, server, folder):
    """One run with the stand-in's count and slapd's log of it: rows,
    operations, round trips (None when the library does not count), and the
    search operations slapd logged."""
    traffic = os.path.join(folder, "traffic")
    if os.path.exists(traffic):
        os.remove(traffic)
    log_before = len(server.log())
    _, text, _ = run(command, dict(env, QUARLIX_ADSI_TRAFFIC=traffic))
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
        cpus = {road: [] for road in ROADS}
        for _ in range(repeat):
            for road in ROADS:
                seconds, _, cpu = run(calls[road], env, server)
                times[road].append(seconds)
                cpus[road].append(cpu)
        for road in ROADS:
            result[road]["seconds"] = statistics.median(times[road])
            result[road]["cpu_seconds"] = statistics.median(cpus[road])
    return result


def cell(value, pattern="%d"):
    return "-" if value is None else pattern % value


def verdict(road, r):
    """The walk's targets: wall time against the search's, and for the walk
    by name the searches it takes."""
    if road == "search":
        return "-"
    ratio = r[road]["seconds"] / r["search"]["seconds"]
    met = ratio <= TIME_TARGETS[road]
    text = "<= %.1fx" % TIME_TARGETS[road]
    if road == "members, by name":
        limit = r["users"] / 100 + 10
        met = met and r[road]["slapd_searches"] <= limit
        text += ", <= %d searches" % limit
    return "%s: %s" % (text, "met" if met else "MISSED")


def table(results, before):
    lines = ["| N | road | wall (s) | / search | CPU, exec + slapd (s) | / search | LDAP searches (slapd) "
             "| round trips | target |" + (" before: wall (s) | before: / search | before: searches |" if before else ""),
             "|---:|---|---:|---:|---:|---:|---:|---:|---|" + ("---:|---:|---:|" if before else "")]
    earlier = {r["users"]: r for r in before or []}
    for r in results:
        for road in ROADS:
            m = r[road]
            line = "| %d | %s | %.3f | %.2fx | %s | %s | %d | %s | %s |" % (
                r["users"], road, m["seconds"], m["seconds"] / r["search"]["seconds"],
                cell(m.get("cpu_seconds"), "%.3f"),
                "-" if "cpu_seconds" not in m else "%.2fx" % (m["cpu_seconds"] / r["search"]["cpu_seconds"]),
                m["slapd_searches"], cell(m["round_trips"]), verdict(road, r))
            if before:
                b = earlier.get(r["users"])
                line += (" %.3f | %.2fx | %d |" % (b[road]["seconds"], b[road]["seconds"] / b["search"]["seconds"],
                                                  b[road]["slapd_searches"]) if b and road in b else " - | - | - |")
            lines.append(line)
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--sizes", default="10000,100000")
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
