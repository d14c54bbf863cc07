#!/usr/bin/env bash
# Builds the release archive for Windows servers:
# dist/quarlix-<version>-windows.zip with both DLLs (x86 and x64, as built in
# build/win32 and build/win64: stripped, with their version resource),
# install.sql, uninstall.sql, README.txt and SHA256SUMS.
# The unstripped DLLs stay in build/win*/unstripped/ for crash analysis.
# Before packing, each DLL is checked with objdump (below); nothing of the
# DLLs runs here: tests/windows tries their calls (scripts/test-all.sh).
#
#   scripts/package-windows.sh [--no-build]   --no-build: package what is built
set -euo pipefail
cd "$(dirname "$0")/.."

build=1
[ "${1:-}" = --no-build ] && build=0

version=$(sed -nE 's/^project\(quarlix VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-windows: no version in CMakeLists.txt" >&2; exit 1; }

if [ "$build" = 1 ]; then
  for preset in win32 win64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target quarlix
  done
fi

# A PE file of its machine that exports exactly the procedure and its
# version function, imports from nothing a server lacks, carries a version
# resource and no debug section.
check_dll() {
  local dll=$1 triplet=$2 format=$3 dump
  dump=$("$triplet-objdump" -p -h "$dll") || { echo "package-windows: $dll: not a PE file" >&2; return 1; }
  grep -q "file format $format\$" <<<"$dump" || { echo "package-windows: $dll is not $format" >&2; return 1; }
  local exports imports
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -nE 's/^\s+\[ *[0-9]+\] (\S+)$/\1/p' | sort | tr '\n' ' ')
  [ "$exports" = "__GetXpVersion quarlix " ] || { echo "package-windows: $dll exports: $exports" >&2; return 1; }
  imports=$(sed -nE 's/^\s+DLL Name: (\S+)$/\1/p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
  for import in $imports; do
    case "$import" in
      kernel32.dll | msvcrt.dll | ole32.dll | oleaut32.dll | activeds.dll | opends60.dll) ;;
      *) echo "package-windows: $dll imports $import" >&2; return 1 ;;
    esac
  done
  grep -qE '^\s+[0-9]+ \.rsrc ' <<<"$dump" || { echo "package-windows: $dll has no version resource" >&2; return 1; }
  ! grep -qE '^\s+[0-9]+ \.debug' <<<"$dump" || { echo "package-windows: $dll has debug sections" >&2; return 1; }
}
check_dll build/win32/quarlix.dll i686-w64-mingw32 pei-i386
check_dll build/win64/quarlix.dll x86_64-w64-mingw32 pei-x86-64

name=quarlix-$version-windows
stage=build/package/$name
rm -rf "$stage"
mkdir -p "$stage/x86" "$stage/x64" dist
cp build/win32/quarlix.dll "$stage/x86/quarlix.dll"
cp build/win64/quarlix.dll "$stage/x64/quarlix.dll"
cp packaging/windows/install.sql packaging/windows/uninstall.sql "$stage/"
sed "s/@VERSION@/$version/" packaging/windows/README.txt > "$stage/README.txt"
# CRLF for the files an administrator opens on Windows.
for file in install.sql uninstall.sql README.txt; do
  sed -i 's/\r*$/\r/' "$stage/$file"
done
(cd "$stage" && sha256sum x64/quarlix.dll x86/quarlix.dll install.sql uninstall.sql README.txt > SHA256SUMS)

# The same bytes for the same inputs: fixed times, fixed order, no extra fields.
find "$stage" -exec touch -h -d "@${SOURCE_DATE_EPOCH:-946684800}" {} +
rm -f "dist/$name.zip"
(cd build/package && printf '%s\n' "$name/README.txt" "$name/SHA256SUMS" "$name/install.sql" \
   "$name/uninstall.sql" "$name/x64/quarlix.dll" "$name/x86/quarlix.dll" |
   TZ=UTC zip -X -q -D "$OLDPWD/dist/$name.zip" -@)
echo "dist/$name.zip"
