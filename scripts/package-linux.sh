#!/usr/bin/env bash
# Builds the Debian package dist/quarlix_<version>_<arch>.deb: quarlix-exec,
# quarlix-server and their libraries in /usr/lib/quarlix (linked from
# /usr/bin and /usr/sbin), the sample directory, the man pages made from the
# programs' --help, the systemd unit, the system user (sysusers.d and the
# package scripts) and /etc/quarlix.
#
#   scripts/package-linux.sh [--build-dir DIR] [--no-build] [--out DIR] [--version V]
#     --build-dir DIR  the build folder (default build/package-linux, configured here)
#     --no-build       package what DIR holds, as built (the tests package their build)
#     --out DIR        where the package goes (default dist)
#     --version V      the package's version (default: the project's, from CMakeLists.txt;
#                      the tests build two to upgrade one to the other)
# Needs: dpkg-dev, help2man (scripts/install-deps.sh base).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=build/package-linux build_it=1 out=dist version=
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$2; shift 2 ;;
    --no-build) build_it=0; shift ;;
    --out) out=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    *) echo "usage: $0 [--build-dir DIR] [--no-build] [--out DIR] [--version V]" >&2; exit 2 ;;
  esac
done
case "$build" in /*) ;; *) build=$root/$build ;; esac

[ -n "$version" ] || version=$(sed -nE 's/^project\(quarlix VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package-linux: no version in CMakeLists.txt" >&2; exit 1; }
arch=$(dpkg --print-architecture)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 946684800)}

if [ "$build_it" = 1 ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARLIX_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target quarlix-exec quarlix-server quarlix
fi

stage=$build/stage
rm -rf "$stage"
DESTDIR=$stage cmake --install "$build" --prefix /usr --strip >/dev/null
lib=$stage/usr/lib/quarlix

# Man pages from --help and --version: what the programs say is what the page says.
mkdir -p "$stage/usr/share/man/man1" "$stage/usr/share/man/man8"
help2man --no-info --no-discard-stderr --section 1 --name "call the quarlix procedure from the command line" \
  --include packaging/linux/quarlix-exec.h2m \
  --version-string "$version" "$lib/quarlix-exec" > "$stage/usr/share/man/man1/quarlix-exec.1"
help2man --no-info --no-discard-stderr --section 8 --name "serve the quarlix procedure to SQL clients over TDS" \
  --include packaging/linux/quarlix-server.h2m \
  --version-string "$version" "$lib/quarlix-server" > "$stage/usr/share/man/man8/quarlix-server.8"
gzip -9n "$stage/usr/share/man/man1/quarlix-exec.1" "$stage/usr/share/man/man8/quarlix-server.8"

install -D -m 644 packaging/linux/quarlix-server.service "$stage/lib/systemd/system/quarlix-server.service"
install -D -m 644 packaging/linux/quarlix.sysusers "$stage/usr/lib/sysusers.d/quarlix.conf"
install -D -m 644 packaging/linux/quarlix-server.conf "$stage/etc/quarlix/quarlix-server.conf"
# Every page, as laid out in the source tree, so that their links resolve.
for page in README.md docs/*.md samples/README.md bench/README.md; do
  install -D -m 644 "$page" "$stage/usr/share/doc/quarlix/$page"
done

# Control files; the libraries' packages from the binaries, as dpkg-shlibdeps finds them.
mkdir -p "$stage/DEBIAN"
install -m 755 packaging/linux/postinst packaging/linux/prerm packaging/linux/postrm "$stage/DEBIAN/"
echo /etc/quarlix/quarlix-server.conf > "$stage/DEBIAN/conffiles"
shlibs=$build/shlibdeps
rm -rf "$shlibs" && mkdir -p "$shlibs/debian"
printf 'Source: quarlix\n\nPackage: quarlix\nArchitecture: any\n' > "$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O -l"$lib" "$lib"/quarlix-exec "$lib"/quarlix-server "$lib"/*.so 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package-linux: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  packaging/linux/control.in > "$stage/DEBIAN/control"
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) > "$stage/DEBIAN/md5sums"

mkdir -p "$out"
deb=$out/quarlix_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
