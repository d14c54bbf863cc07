#!/usr/bin/env bash
# The i686 DLL under wine32 in the emulated i386 machine of
# scripts/i686-machine.sh (made once and cached; the first time costs
# minutes): every road against the Linux build, in one boot.
#
# Environment: QUARLIX_LINUX_BUILD  the Linux build to compare with
#                                   (default build/linux; built when absent)
set -euo pipefail
cd "$(dirname "$0")/../.."
here=tests/windows
linux_build=${QUARLIX_LINUX_BUILD:-build/linux}

step() { printf -- '-- %s\n' "$*"; }

step "Building build/win32"
cmake --preset win32 >/dev/null
cmake --build --preset win32

if [ ! -x "$linux_build/quarlix-exec" ] || [ ! -x "$linux_build/win32_calls" ]; then
  step "Building the Linux host to compare with ($linux_build)"
  if [ "$linux_build" = build/linux ]; then
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target quarlix-exec quarlix win32_calls
  else
    cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$linux_build" --target quarlix-exec quarlix win32_calls
  fi
fi

step "The i386 machine"
started=$SECONDS
bash scripts/i686-machine.sh --setup
echo "ready in $((SECONDS - started)) s"

step "Every road: the i686 DLL under wine32 against the Linux build"
# The last run's calls and answers stay here to read.
rm -rf build/win32/i686-run && mkdir -p build/win32/i686-run
QX_LINUX_EXEC="$linux_build/quarlix-exec" QX_LINUX_CALLS="$linux_build/win32_calls" QX_I686_BUILD=build/win32 \
  QX_TMP="$PWD/build/win32/i686-run" python3 "$here/i686_test.py"
