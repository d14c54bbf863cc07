#!/usr/bin/env bash
# Installs the npm packages the tests and benchmarks drive quarlix-server with
# (tedious and mssql, exactly as tests/server/tedious/package-lock.json pins
# them) into build/node/ at the top of the source tree, shared by every build
# folder. Run as the user who runs the tests (scripts/test-all.sh does); it
# does nothing when the installed lock file is the current one.
#   scripts/install-node-modules.sh    prints the node_modules folder
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source_dir=$root/tests/server/tedious
target=$root/build/node
stamp=$target/node_modules/.installed-package-lock.json

if ! cmp -s "$source_dir/package-lock.json" "$stamp"; then
  mkdir -p "$target"
  cp "$source_dir/package.json" "$source_dir/package-lock.json" "$target/"
  npm ci --no-audit --no-fund --prefix "$target" >&2
  cp "$source_dir/package-lock.json" "$stamp"
fi
echo "$target/node_modules"
