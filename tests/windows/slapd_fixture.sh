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
#
# The server itself is the one fixture every test uses: tests/support/slapd_fixture.py.
set -euo pipefail

FIXTURE="$(cd "$(dirname "$0")/../support" && pwd)/slapd_fixture.py"
SUFFIX="dc=example,dc=com"

die() { echo "slapd_fixture: $*" >&2; exit 1; }

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

start() {
  local dir=$1 people=${2:-150}
  mkdir -p "$dir"
  write_ldif "$people" > "$dir/directory.ldif"
  python3 "$FIXTURE" start "$dir" "$dir/directory.ldif"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || die "usage: $0 start DIR [PEOPLE]"; start "$2" "${3:-150}" ;;
  stop) [ $# -eq 2 ] || die "usage: $0 stop DIR"; python3 "$FIXTURE" stop "$2" ;;
  *) die "usage: $0 start DIR [PEOPLE] | stop DIR" ;;
esac
