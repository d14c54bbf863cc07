#!/usr/bin/env bash
# Builds the release archive for Windows servers:
# dist/quarlix-<version>-windows.zip with both DLLs (x86 and x64, as built and
# tested in build/win32 and build/win64: stripped, with their version
# resource), install.sql, uninstall.sql, README.txt and SHA256SUMS.
# The unstripped DLLs stay in build/win*/unstripped/ for crash analysis.
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
