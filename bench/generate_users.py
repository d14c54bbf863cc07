#!/usr/bin/env python3
"""Writes a deterministic LDIF directory of N users under
ou=people,dc=example,dc=com: each an inetOrgPerson and posixAccount with
about ten attributes of mixed types (text, numbers, a binary photo and a
multi-valued telephoneNumber). The same N always gives the same bytes.

    generate_users.py N > users.ldif"""
import base64
import sys

SUFFIX = "dc=example,dc=com"
PEOPLE = "ou=people," + SUFFIX
GIVEN = ["Ada", "Bela", "Cato", "Dora", "Emil", "Fenna", "Gus", "Hana", "Ivo", "Juno", "Kai", "Lea"]
FAMILY = ["Arnold", "Brandt", "Castell", "Dorn", "Engel", "Falk", "Gruber", "Hahn", "Iser", "Jung", "Kern"]
TITLES = ["Engineer", "Analyst", "Manager", "Clerk", "Architect", "Technician", "Consultant"]


def header():
    return ("dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n"
            "dn: %s\nobjectClass: organizationalUnit\nou: people\n\n" % (SUFFIX, PEOPLE))


def photo(i):
    """16 bytes that differ per user, zero bytes and high bytes included."""
    return bytes((i * 37 + k * 101) & 0xFF for k in range(16))


def user(i):
    given, family = GIVEN[i % len(GIVEN)], FAMILY[(i // len(GIVEN)) % len(FAMILY)]
    uid = "u%06d" % i
    lines = [
        "dn: uid=%s,%s" % (uid, PEOPLE),
        "objectClass: inetOrgPerson",
        "objectClass: posixAccount",
        "uid: " + uid,
        "cn: %s %s %d" % (given, family, i),
        "sn: " + family,
        "givenName: " + given,
        "mail: %s.%s.%d@example.com" % (given.lower(), family.lower(), i),
        "telephoneNumber: +49 30 %07d" % i,
        "telephoneNumber: +49 170 %07d" % (i * 7 % 10000000),
        "employeeNumber: %d" % (100000 + i),
        "title: " + TITLES[i % len(TITLES)],
        "uidNumber: %d" % (10000 + i),
        "gidNumber: %d" % (100 + i % 50),
        "homeDirectory: /home/" + uid,
        "jpegPhoto:: " + base64.b64encode(photo(i)).decode("ascii"),
    ]
    return "\n".join(lines) + "\n\n"


def main(arguments):
    if len(arguments) != 1 or not arguments[0].isdigit():
        print("usage: generate_users.py N", file=sys.stderr)
        return 2
    out = sys.stdout
    out.write(header())
    for i in range(int(arguments[0])):
        out.write(user(i))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
