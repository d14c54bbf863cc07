#!/usr/bin/env bash
# Formats the tracked C and C++ sources with clang-format and the tree's
# .clang-format, leaving out the files .clang-format-ignore lists (one glob a
# line; clang-format 14 does not read that file itself).
#
#   scripts/format.sh           rewrite the files in place
#   scripts/format.sh --check   change nothing; list each difference and exit
#                               non-zero when any file is not formatted
#   scripts/format.sh --list    print the files it would format
#
# Versions of clang-format format differently: the style is set for Debian 12's
# clang-format 14, so another version is refused (CLANG_FORMAT=/path/to/binary
# chooses one; QUARLIX_FORMAT_ANY_VERSION=1 accepts any).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=fix
case "${1:-}" in
  "") ;;
  --check) mode=check ;;
  --list) mode=list ;;
  *) echo "usage: $0 [--check|--list]" >&2; exit 2 ;;
esac

# The sources: tracked files with a C or C++ suffix, minus the ignored globs.
pathspec=('*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' '*.inc')
if [ -f .clang-format-ignore ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%%#*}
    line=$(printf '%s' "$line" | sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//')
    [ -n "$line" ] && pathspec+=(":(exclude,glob)$line")
  done < .clang-format-ignore
fi
files=()
while IFS= read -r -d '' f; do
  [ -f "$f" ] && files+=("$f")  # tracked, but deleted in the work tree: nothing to format
done < <(git ls-files -z -- "${pathspec[@]}")
if [ "$mode" = list ]; then
  printf '%s\n' "${files[@]}"
  exit 0
fi
[ ${#files[@]} -gt 0 ] || { echo "format.sh: no sources found" >&2; exit 1; }

tool=${CLANG_FORMAT:-}
if [ -z "$tool" ]; then
  tool=$(command -v clang-format-14 || command -v clang-format || true)
fi
[ -n "$tool" ] || { echo "format.sh: clang-format not found (scripts/install-deps.sh base)" >&2; exit 1; }
version=$("$tool" --version | sed -nE 's/.*version ([0-9]+)\..*/\1/p')
if [ "$version" != 14 ] && [ "${QUARLIX_FORMAT_ANY_VERSION:-0}" != 1 ]; then
  echo "format.sh: $tool is version ${version:-unknown}, the style is set for 14" >&2
  exit 1
fi

if [ "$mode" = check ]; then
  # --Werror turns every difference into an error; xargs exits 123 when any
  # run failed.
  if printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$tool" --dry-run --Werror --style=file; then
    echo "format.sh: ${#files[@]} files formatted"
  else
    echo "format.sh: files differ from the style (scripts/format.sh rewrites them)" >&2
    exit 1
  fi
else
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$tool" -i --style=file
fi
