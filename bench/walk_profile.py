#!/usr/bin/env python3
"""Where the walks spend their instructions: each road of walk_bench.py (the
search, the member walk, the child walk, the walk of members read by name)
run once under valgrind's callgrind against one slapd with N users, which
counts the instructions quarlix-exec executes (reproducible, whatever else
the machine runs). Prints per road the instructions in all and per row, and
the functions with the most instructions of their own.

    walk_profile.py --exe build/bench/quarlix-exec [--users 10000] [--top 12] [--keep DIR]

--keep: leave the callgrind.out files in DIR (callgrind_annotate reads them)."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
from search_bench import anonymous_environment  # noqa: E402
from slapd_fixture import Slapd  # noqa: E402
from walk_bench import DATABASE_LINES, GLOBAL_LINES, ROADS, commands, directory  # noqa: E402


def profile(command, env, out):
    subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out] + command,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, check=True)
    annotated = subprocess.run(["callgrind_annotate", "--threshold=100", out], capture_output=True, text=True,
                               check=True).stdout
    total = int(re.search(r"^([\d,]+) .*PROGRAM TOTALS", annotated, re.M).group(1).replace(",", ""))
    functions = []
    for line in annotated.splitlines():
        m = re.match(r"^\s*([\d,]+) \([^)]*\)\s+(\S.*)$", line)
        if m and "PROGRAM TOTALS" not in line:
            functions.append((int(m.group(1).replace(",", "")), m.group(2)))
    return total, functions


def short(name):
    """The function without its file and arguments."""
    name = name.split(":", 1)[1] if re.match(r"^[^ ]*\.(c|cc|cpp|h|S):", name) or name.startswith("???:") else name
    name = re.sub(r" \[[^\]]*\]$", "", name)
    depth, out = 0, ""
    for c in name:  # drop argument lists and template arguments
        if c in "(<":
            depth += 1
        elif c in ")>":
            depth -= 1
        elif depth == 0:
            out += c
    return out.strip()[:90]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--users", type=int, default=10000)
    parser.add_argument("--top", type=int, default=12)
    parser.add_argument("--keep")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="quarlix-walk-profile-")
    try:
        env = anonymous_environment(folder)
        with Slapd(directory(args.users), access=DATABASE_LINES, global_config=GLOBAL_LINES) as server:
            calls = commands(os.path.abspath(args.exe), server)
            results = {}
            for road in ROADS:
                out = os.path.join(args.keep or folder, "callgrind.out." + road.replace(", ", "-").replace(" ", "-"))
                print("%s ..." % road, file=sys.stderr, flush=True)
                results[road] = profile(calls[road], env, out)
        search = results["search"][0]
        print("### Instructions of quarlix-exec per road (callgrind, %d users)" % args.users)
        print()
        print("| road | instructions | per row | / search |")
        print("|---|---:|---:|---:|")
        for road in ROADS:
            total = results[road][0]
            print("| %s | %.3f G | %.0f | %.2fx |" % (road, total / 1e9, total / args.users, total / search))
        for road in ROADS:
            total, functions = results[road]
            print()
            print("#### %s: the functions with the most instructions of their own" % road)
            print()
            print("| instructions | share | function |")
            print("|---:|---:|---|")
            for count, name in functions[:args.top]:
                print("| %.1f M | %.1f%% | %s |" % (count / 1e6, 100.0 * count / total, short(name)))
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
