#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to run again.
# Usage: scripts/install-deps.sh [base|windows|i686|bench|all]   (default: all)
# bench: what bench/run.sh needs beyond base (GNU time, the plot, python-ldap
# for the small calls' comparison); not in all.
set -euo pipefail
what=${1:-all}

base=(cmake ninja-build git g++ clang clang-format libclang-rt-dev libgtest-dev libgmock-dev
      libldap-dev libsasl2-dev libgnutls28-dev libkrb5-dev slapd ldap-utils openssl libssl-dev python3 valgrind
      freetds-bin python3-pymssql nodejs
      tdsodbc unixodbc python3-pyodbc python3-tds libjtds-java default-jdk-headless
      python3-sqlalchemy python3-pandas golang-go golang-github-denisenkom-go-mssqldb-dev libdbd-sybase-perl
      samba samba-ad-dc samba-ad-provision ldb-tools krb5-user libsasl2-modules-gssapi-mit
      libkrb5-dev python3-gssapi python3-kerberos python3-ntlm-auth faketime
      iproute2 util-linux unicode-data
      dpkg-dev help2man man-db systemd)
windows=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
         binutils-mingw-w64 wine64 zip)
# The emulated i386 machine of scripts/i686-machine.sh (made from Debian's
# i386 packages, which it fetches itself).
i686=(qemu-system-x86 mmdebstrap e2fsprogs cpio kmod gzip)
bench=(time python3-matplotlib python3-ldap)

case "$what" in
  base) pkgs=("${base[@]}") ;;
  windows) pkgs=("${windows[@]}") ;;
  i686) pkgs=("${windows[@]}" "${i686[@]}") ;;
  bench) pkgs=("${base[@]}" "${bench[@]}") ;;
  all) pkgs=("${base[@]}" "${windows[@]}" "${i686[@]}") ;;
  *) echo "usage: $0 [base|windows|i686|bench|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Debian's nodejs comes without npm (the tedious tests install with it);
# other builds of nodejs bring their own.
if [[ " ${pkgs[*]} " == *" nodejs "* ]] && ! command -v npm >/dev/null; then missing+=(npm); fi
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# slapd must not start a system server of its own: the tests start their own.
$sudo sh -c 'echo "slapd slapd/no_configuration boolean true" | debconf-set-selections' || true
# krb5-user asks for a default realm: the tests bring their own krb5.conf.
$sudo sh -c 'echo "krb5-config krb5-config/default_realm string QX.TEST" | debconf-set-selections' || true
# No package may start a system service while it installs (smbd, the AD DC,
# slapd): the tests start their own, on loopback.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod +x "$policy"
  trap '$sudo rm -f "$policy"' EXIT
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
