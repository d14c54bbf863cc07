#!/usr/bin/env python3
"""Prints the benchmark results as Markdown tables and draws the scaling run.

    report.py --search search.json --calls calls.jsonl --plot scaling.png"""
import argparse
import json
import os
import platform
import sys

TIME_TARGET = 1.25    # procedure / ldapsearch wall time at the largest N
MEMORY_TARGET = 3.0   # peak memory / the answer's text at the largest N
ROW_MEMORY_TARGET = 1.2  # memory of a row added / its share of the answer's text, between the two largest N
STEP_TOLERANCE = 1.1  # a step may grow this much faster than its rows (timer noise)


def mark(ok):
    return "met" if ok else "MISSED"


def machine():
    model = platform.processor() or "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%d cores (nproc), %s" % (os.cpu_count() or 0, model)


def search_table(results):
    lines = ["| users | procedure (s) | rows/s | ldapsearch (s) | rows/s | procedure / ldapsearch | peak memory (MiB) "
             "| answer's text (MiB) | memory / text |",
             "|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for r in results:
        mib = r["procedure_rss_kib"] / 1024.0
        text = r["text_bytes"] / 1048576.0
        lines.append("| %d | %.3f | %.0f | %.3f | %.0f | %.2fx | %.1f | %.2f | %.1fx |" % (
            r["users"], r["procedure_seconds"], r["rows"] / r["procedure_seconds"], r["ldapsearch_seconds"],
            r["rows"] / r["ldapsearch_seconds"], r["procedure_seconds"] / r["ldapsearch_seconds"], mib, text,
            mib / text))
    return lines


def targets(results):
    largest = results[-1]
    ratio = largest["procedure_seconds"] / largest["ldapsearch_seconds"]
    memory = largest["procedure_rss_kib"] * 1024.0 / largest["text_bytes"]
    steps = scaling_steps(results)
    linear = all(t <= STEP_TOLERANCE * n and m <= STEP_TOLERANCE * n for n, t, m in steps)
    smaller = results[-2] if len(results) > 1 else None
    rows = ["| each row added from %d to %d users within %.1fx its share of the answer's text | %s | %s |" % (
        smaller["users"], largest["users"], ROW_MEMORY_TARGET, "%.0f bytes for %.0f (%.2fx)" % added_row(smaller, largest),
        mark(added_row(smaller, largest)[2] <= ROW_MEMORY_TARGET))] if smaller else []
    return ["| target (at %d users unless said) | measured | |" % largest["users"],
            "|---|---:|---|",
            "| procedure within %.2fx of ldapsearch's wall time | %.2fx | %s |" % (TIME_TARGET, ratio,
                                                                               mark(ratio <= TIME_TARGET)),
            "| peak memory under %.0fx the answer's text | %.1fx | %s |" % (MEMORY_TARGET, memory,
                                                                          mark(memory < MEMORY_TARGET)),
            "| time and memory linear in N (no step grows more than %.1fx faster than its rows) | %s | %s |" % (
                STEP_TOLERANCE, ", ".join("rows x%.0f: time x%.1f, memory x%.1f" % s for s in steps) or "one N",
                mark(linear))] + rows


def added_row(smaller, larger):
    """Peak memory and text per row added from one N to the next, and their ratio."""
    rows = larger["rows"] - smaller["rows"]
    memory = (larger["procedure_rss_kib"] - smaller["procedure_rss_kib"]) * 1024.0 / rows
    text = (larger["text_bytes"] - smaller["text_bytes"]) / float(rows)
    return memory, text, memory / text


def scaling_steps(results):
    """(rows factor, time factor, memory factor) from each N to the next."""
    steps = []
    for a, b in zip(results, results[1:]):
        steps.append((b["rows"] / a["rows"], b["procedure_seconds"] / a["procedure_seconds"],
                      b["procedure_rss_kib"] / a["procedure_rss_kib"]))
    return steps


def scaling_table(results):
    """Per row, and per row added since the smallest N: the second shows the
    cost of a row without the process's fixed start-up memory."""
    first = results[0]
    lines = ["| users | time per row (µs) | peak memory per row (bytes) | memory per added row (bytes) "
             "| answer's text per row (bytes) |",
             "|---:|---:|---:|---:|---:|"]
    for r in results:
        added = r["rows"] - first["rows"]
        marginal = "%.0f" % ((r["procedure_rss_kib"] - first["procedure_rss_kib"]) * 1024.0 / added) if added else "-"
        lines.append("| %d | %.2f | %.0f | %s | %.0f |" % (r["users"], r["procedure_seconds"] * 1e6 / r["rows"],
                                                          r["procedure_rss_kib"] * 1024.0 / r["rows"], marginal,
                                                          r["text_bytes"] / r["rows"]))
    return lines


def calls_table(calls):
    lines = ["| road | threads | calls | seconds | calls/s |", "|---|---:|---:|---:|---:|"]
    for c in calls:
        lines.append("| %s | %d | %d | %.2f | %.0f |" % (c["road"], c["threads"], c["calls"], c["seconds"],
                                                        c["calls_per_second"]))
    return lines


def plot(results, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("no plot: python3-matplotlib is missing (scripts/install-deps.sh bench)", file=sys.stderr)
        return False
    users = [r["users"] for r in results]
    figure, (left, right) = plt.subplots(1, 2, figsize=(11, 4.5))
    left.plot(users, [r["procedure_seconds"] for r in results], "o-", label="procedure (quarlix-exec --format csv)")
    left.plot(users, [r["ldapsearch_seconds"] for r in results], "s--", label="ldapsearch -E pr=100")
    first = results[0]
    left.plot(users, [first["procedure_seconds"] * n / first["users"] for n in users], ":", color="grey",
              label="linear from the smallest N")
    left.set(xscale="log", yscale="log", xlabel="users (rows)", ylabel="wall time, median (s)",
             title="Search time against N")
    left.legend(fontsize=8)
    right.plot(users, [r["procedure_rss_kib"] / 1024.0 for r in results], "o-", label="procedure peak memory")
    right.plot(users, [MEMORY_TARGET * r["text_bytes"] / 1048576.0 for r in results], "--", color="grey",
               label="%.0fx the answer's text (target)" % MEMORY_TARGET)
    right.plot(users, [r["text_bytes"] / 1048576.0 for r in results], ":", label="answer's text (csv)")
    right.set(xscale="log", yscale="log", xlabel="users (rows)", ylabel="MiB", title="Peak memory against N")
    right.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--search", required=True)
    parser.add_argument("--calls", required=True)
    parser.add_argument("--plot", required=True)
    args = parser.parse_args()
    with open(args.search) as f:
        results = sorted(json.load(f), key=lambda r: r["users"])
    with open(args.calls) as f:
        calls = [json.loads(line) for line in f if line.strip()]
    load = ", ".join("%.1f" % r.get("load_before", float("nan")) for r in results)
    out = ["Machine: " + machine() + "; 1-minute load average before each N: " + load, "",
           "### Search throughput (median of %d runs, alternating)" % results[0]["runs"], ""]
    out += search_table(results) + [""] + targets(results)
    out += ["", "### Scaling", ""] + scaling_table(results)
    out += ["", "### Call overhead (in-process, embedded sample directory)", ""] + calls_table(calls)
    plotted = plot(results, args.plot)
    if plotted:
        out += ["", "Scaling plot: " + args.plot]
    print("\n".join(out))
    return 0 if plotted else 1


if __name__ == "__main__":
    sys.exit(main())
