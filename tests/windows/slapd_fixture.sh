#!/usr/bin/env bash
# A throw-away OpenLDAP server on loopback for the tests.
#
#   slapd_fixture.sh start DIR [PEOPLE]   generate and load a directory in DIR,
#                                         start slapd on a free 127.0.0.1 port,
#                                         wait until it answers; prints its URL
#   slapd_fixture.sh stop DIR             stop the server started in DIR
#
# The directory: dc=example,dc=com with ou=people holding PEOPLE (default 150)
# inetOrgPerson entries person001..., loaded in that order (slapd answers
# searches in load order), each with cn "Person NNN", mail
# personNNN@example.com and the description "Caf\u00e9 NNN" (one character
# beyond ASCII), and cn=staff,dc=example,dc=com, a groupOfNames of the first
# three. Anonymous read. DIR/url holds the URL once it answers.
set -euo pipefail

SLAPD=${SLAPD:-/usr/sbin/slapd}
SLAPADD=${SLAPADD:-/usr/sbin/slapadd}
SCHEMA_DIR=${SCHEMA_DIR:-/etc/ldap/schema}
MODULE_DIR=${MODULE_DIR:-/usr/lib/ldap}
SUFFIX="dc=example,dc=com"

die() { echo "slapd_fixture: $*" >&2; exit 1; }

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

write_config() {
  local dir=$1
  cat > "$dir/slapd.conf" <<CONF
include $SCHEMA_DIR/core.schema
include $SCHEMA_DIR/cosine.schema
include $SCHEMA_DIR/inetorgperson.schema
include $SCHEMA_DIR/nis.schema
modulepath $MODULE_DIR
moduleload back_mdb
pidfile $dir/slapd.pid
argsfile $dir/slapd.args
access to * by * read
database mdb
maxsize 67108864
suffix "$SUFFIX"
rootdn "cn=admin,$SUFFIX"
directory $dir/db
CONF
}

write_ldif() {
  local people=$1 i id
  printf 'dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n' "$SUFFIX"
  printf 'dn: ou=people,%s\nobjectClass: organizationalUnit\nou: people\n\n' "$SUFFIX"
  for ((i = 1; i <= people; i++)); do
    printf -v id '%03d' "$i"
    printf 'dn: uid=person%s,ou=people,%s\nobjectClass: inetOrgPerson\nuid: person%s\n' "$id" "$SUFFIX" "$id"
    printf 'cn: Person %s\nsn: Person\nmail: person%s@example.com\n' "$id" "$id"
    printf 'description:: %s\n\n' "$(printf 'Caf\xc3\xa9 %s' "$id" | base64)"
  done
  printf 'dn: cn=staff,%s\nobjectClass: groupOfNames\ncn: staff\n' "$SUFFIX"
  for ((i = 1; i <= 3 && i <= people; i++)); do
    printf 'member: uid=person%03d,ou=people,%s\n' "$i" "$SUFFIX"
  done
}

answers() {
  ldapsearch -x -LLL -H "$1" -b '' -s base '(objectClass=*)' namingContexts >/dev/null 2>&1
}

start() {
  local dir=$1 people=${2:-150} port url attempt wait
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  stop "$dir"  # one left over by an interrupted run
  rm -rf "$dir/db" "$dir/url"
  mkdir -p "$dir/db"
  write_config "$dir"
  write_ldif "$people" > "$dir/directory.ldif"
  "$SLAPADD" -q -f "$dir/slapd.conf" -l "$dir/directory.ldif" || die "slapadd failed"
  # The free port may be taken between the look-up and the bind: try anew.
  for attempt in 1 2 3; do
    port=$(free_port)
    url="ldap://127.0.0.1:$port/"
    "$SLAPD" -h "$url" -f "$dir/slapd.conf" || continue
    for wait in $(seq 50); do
      if answers "$url"; then
        echo "$url" > "$dir/url"
        echo "$url"
        return 0
      fi
      sleep 0.2
    done
    stop "$dir"
  done
  die "slapd did not answer on 127.0.0.1"
}

stop() {
  local dir=$1 pid wait
  [ -f "$dir/slapd.pid" ] || return 0
  pid=$(cat "$dir/slapd.pid")
  # Only a slapd: the pid of a server that died may belong to another program now.
  if grep -q slapd "/proc/$pid/cmdline" 2>/dev/null && kill "$pid" 2>/dev/null; then
    for wait in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$dir/slapd.pid" "$dir/url"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || die "usage: $0 start DIR [PEOPLE]"; start "$2" "${3:-150}" ;;
  stop) [ $# -eq 2 ] || die "usage: $0 stop DIR"; stop "$2" ;;
  *) die "usage: $0 start DIR [PEOPLE] | stop DIR" ;;
esac
