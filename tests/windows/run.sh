#!/usr/bin/env bash
# The Windows DLLs: builds both with mingw-w64, inspects what a server would
# load (machine type, exports, imports) and runs the x86_64 DLL under wine64
# through quarlix-exec.exe: against the Linux build on every road of the
# embedded store built for Windows, and through Wine's ADSI against a slapd
# on loopback. The platform calls themselves are compared too: compat/win32
# against Wine's kernel32/ole32/oleaut32.
#
# Environment: QUARLIX_LINUX_BUILD  the Linux build to compare with
#                                   (default build/linux; built when absent)
set -euo pipefail
cd "$(dirname "$0")/../.."
here=tests/windows

linux_build=${QUARLIX_LINUX_BUILD:-build/linux}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

step() { printf -- '-- %s\n' "$*"; }

step "Building build/win32 and build/win64"
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

if [ ! -x "$linux_build/quarlix-exec" ] || [ ! -x "$linux_build/win32_calls" ]; then
  step "Building the Linux host to compare with ($linux_build)"
  if [ "$linux_build" = build/linux ]; then
    cmake --preset linux >/dev/null
    cmake --build --preset linux
  else
    cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$linux_build" --target quarlix-exec quarlix win32_calls
  fi
fi

step "PE tables"
QX_WIN32=build/win32 QX_WIN64=build/win64 python3 "$here/pe_tables_test.py"

# A fresh Wine prefix per run: the procedure must not depend on what an
# earlier run left. No display here: the installers of Mono and Gecko stay
# off, and nothing the tests run opens a window. opends60 must be ours, not
# Wine's builtin stub of the same name.
export WINEPREFIX=$PWD/build/win64/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;opends60=n"
export LC_ALL=C.UTF-8 # Wine's ANSI code page follows it: 1252
unset DISPLAY WAYLAND_DISPLAY
slapd_dir=$PWD/build/win64/slapd

cleanup() {
  "$here/slapd_fixture.sh" stop "$slapd_dir" || true
  [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "Wine prefix"
[ -d "$WINEPREFIX" ] && { "$wineserver" -k 2>/dev/null || true; }
rm -rf "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
# One server for the whole run: a program started just as an idle server
# shuts down fails to start at all.
"$wineserver" -p

step "slapd on loopback"
ldap_url=$("$here/slapd_fixture.sh" start "$slapd_dir" 150)
echo "$ldap_url"

step "compat/win32 against Wine"
QX_WINE=$wine QX_WIN_CALLS=build/win64/win32_calls.exe QX_LINUX_CALLS="$linux_build/win32_calls" \
  python3 "$here/differential_test.py"

step "Every road: the x86_64 DLL on the embedded store against the Linux build"
QX_WINE=$wine QX_WIN_EXEC=build/win64/quarlix-exec.exe QX_LINUX_EXEC="$linux_build/quarlix-exec" \
  QX_WIN_CALLS=build/win64/win32_calls.exe QX_LINUX_CALLS="$linux_build/win32_calls" QX_TMP="$PWD/build/win64" \
  python3 "$here/roads_test.py"

step "Result-set contract: the x86_64 DLL on the embedded store against the Linux build"
QX_WINE=$wine QX_WIN_EXEC=build/win64/quarlix-exec.exe QX_LINUX_EXEC="$linux_build/quarlix-exec" \
  QX_TMP="$PWD/build/win64" python3 "$here/result_contract_test.py"

step "The release archive"
QX_WIN32=build/win32 QX_WIN64=build/win64 python3 "$here/package_test.py"

step "Calls under wine64 through Wine's ADSI"
QX_WINE=$wine QX_WIN_EXEC=build/win64/quarlix-exec.exe QX_LINUX_EXEC="$linux_build/quarlix-exec" \
  QX_LDAP_URL="$ldap_url" python3 "$here/wine_calls_test.py"
