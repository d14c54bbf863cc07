#!/usr/bin/env bash
# Builds the bench preset, runs every benchmark and prints the results as
# Markdown tables; writes the scaling plot (PNG) beside the raw results.
# Usage: bash bench/run.sh [--quick]
#   --quick: 1 000 and 10 000 users, 3 runs each, short call loops; the server
#            with 10 000 users and 500 connections.
# Needs: scripts/install-deps.sh bench (GNU time, python3-matplotlib,
# python3-ldap).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

sizes=1000,10000,100000 walk_sizes=10000,100000 repeat=5 seconds=2 server_sizes=10000,100000 connections=2000
case "${1:-}" in
  --quick) sizes=1000,10000 walk_sizes=1000,10000 repeat=3 seconds=0.5 server_sizes=10000 connections=500 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

# Debian's Python: the plot uses its python3-matplotlib.
python=${PYTHON:-/usr/bin/python3}

cmake --preset bench > /dev/null
cmake --build --preset bench > /dev/null
results=build/bench/results
mkdir -p "$results"

echo "search benchmark (sizes $sizes, $repeat runs each) ..." >&2
"$python" bench/search_bench.py --exe build/bench/quarlix-exec --out "$results/search.json" \
  --sizes "$sizes" --repeat "$repeat"
echo "member and child walks (sizes $walk_sizes, $repeat runs each) ..." >&2
"$python" bench/walk_bench.py --exe build/bench/quarlix-exec --out "$results/walks.json" \
  --sizes "$walk_sizes" --repeat "$repeat" > "$results/walks.md"
echo "small calls through quarlix-server against python-ldap ..." >&2
"$python" bench/small_calls_bench.py --server build/bench/quarlix-server --out "$results/small_calls.json" \
  --seconds "$seconds" --rounds "$repeat" > "$results/small_calls.md"
echo "quarlix-server through pymssql, pyodbc, tedious and mssql ..." >&2
node_modules=$(scripts/install-node-modules.sh)
"$python" bench/server_bench.py --server build/bench/quarlix-server --exec build/bench/quarlix-exec \
  --tedious-modules "$node_modules" --sizes "$server_sizes" --repeat 3 \
  --connections "$connections" > "$results/server.md"
echo "logins per second: Kerberos against passwords ..." >&2
"$python" bench/login_bench.py --server build/bench/quarlix-server --seconds "$seconds" --rounds "$repeat" \
  > "$results/logins.md"
echo "call overhead ..." >&2
build/bench/call_overhead samples/corp.ldif "$seconds" > "$results/calls.jsonl"
"$python" bench/report.py --search "$results/search.json" --calls "$results/calls.jsonl" \
  --plot "$results/scaling.png" | tee "$results/report.md"
echo | tee -a "$results/report.md"
tee -a "$results/report.md" < "$results/walks.md"
echo | tee -a "$results/report.md"
tee -a "$results/report.md" < "$results/small_calls.md"
echo | tee -a "$results/report.md"
tee -a "$results/report.md" < "$results/server.md"
echo | tee -a "$results/report.md"
tee -a "$results/report.md" < "$results/logins.md"
