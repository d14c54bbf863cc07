#!/usr/bin/env python3
"""A group's members read by name, many to a search, against slapd: members
spread over containers in every way (many in one, one in each, deep ones),
members that are gone, hidden, outside every naming context, written in
another case or spacing, with escapes, filter characters and multi-valued
RDNs. The walk answers as reading each member alone with ldapsearch does,
in the group's order, with a search per container for several members.
(Samba AD's members by distinguishedName: samba_ad_test.py.)
Argument: the quarlix-exec binary."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)

from quarlix_call import Host, exec_line  # noqa: E402
from slapd_fixture import Slapd  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
SUFFIX = "dc=example,dc=com"
GROUP = "cn=spread," + SUFFIX
LISTED = "cn=listed," + SUFFIX  # members enough in one container to list it
MANY = "ou=many," + SUFFIX
FIELDS = ["cn", "sn", "description"]
ACCESS = ('access to dn.subtree="ou=secret,%s"\n  by * none\n'
          "access to *\n  by * read\n" % SUFFIX)


def ou(dn):
    name = dn.split(",")[0]
    return "dn: %s\nobjectClass: organizationalUnit\nou: %s\n\n" % (dn, name[3:])


def person(dn, cn, extra=""):
    return "dn: %s\nobjectClass: person\n%scn: %s\nsn: S %s\ndescription: at %s\n\n" % (dn, extra, cn, cn, dn)


def directory():
    """The LDIF, and the group's member values in order."""
    parts = ["dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n" % SUFFIX]
    members = []
    big = "ou=big," + SUFFIX  # more members than one search takes
    parts.append(ou(big))
    for i in range(130):
        parts.append(person("cn=p%03d,%s" % (i, big), "p%03d" % i))
    members += ["cn=p%03d,%s" % (i, big) for i in range(0, 130, 2)]
    for c in range(40):  # one member in each of forty containers
        container = "ou=c%02d,%s" % (c, SUFFIX)
        parts += [ou(container), person("cn=one,%s" % container, "one")]
        members.append("cn=one,%s" % container)
    deep = "ou=z,ou=y,ou=x," + SUFFIX
    parts += [ou("ou=x," + SUFFIX), ou("ou=y,ou=x," + SUFFIX), ou(deep), person("cn=deep," + deep, "deep")]
    parts += [ou("ou=secret," + SUFFIX), person("cn=hidden,ou=secret," + SUFFIX, "hidden")]
    odd = "ou=odd," + SUFFIX
    parts += [ou(odd), person("cn=Smith\\, John," + odd, "Smith, John"), person("cn=Star*(1)," + odd, "Star*(1)"),
              person("cn=multi+uid=m1," + odd, "multi", "objectClass: uidObject\nuid: m1\n"),
              person("cn=back\\\\slash," + odd, "back\\slash")]
    members[3:3] = ["cn=ghost," + big, "cn=hidden,ou=secret," + SUFFIX, "cn=x,ou=nowhere," + SUFFIX,
                    "cn=far,dc=elsewhere,dc=org", "CN=P011,OU=BIG,DC=EXAMPLE,DC=COM", "cn=p013, ou=big, dc=example, dc=com",
                    "cn=deep," + deep, "cn=Smith\\2C John," + odd, "cn=Star*(1)," + odd, "uid=m1+cn=multi," + odd,
                    "cn=back\\5Cslash," + odd]
    parts.append("dn: %s\nobjectClass: groupOfNames\ncn: spread\n%s\n" % (GROUP, "".join("member: %s\n" % m for m in members)))
    parts.append(ou(MANY))
    parts += [person("cn=m%03d,%s" % (i, MANY), "m%03d" % i) for i in range(700)]
    listed = (["cn=m%03d,%s" % (i, MANY) for i in range(0, 700, 2)]
              + ["CN=m011,%s" % MANY, "cn=ghost,%s" % MANY])  # written otherwise, and gone
    parts.append("dn: %s\nobjectClass: groupOfNames\ncn: listed\n%s\n" % (LISTED, "".join("member: %s\n" % m for m in listed)))
    return "".join(parts), members


class MembersByName(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-members-")
        cls.config = os.path.join(cls.folder, "adsi.conf")
        open(cls.config, "w").close()
        cls.ldif, cls.members = directory()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def read_alone(self, server, dn):
        """The member as ldapsearch reads it alone: its cells, or None."""
        done = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", server.url, "-s", "base",
                               "-b", dn, "(objectClass=*)"] + FIELDS, capture_output=True)
        if done.returncode == 32:  # no such object
            return None
        self.assertEqual(done.returncode, 0, done.stderr)
        values = {}
        for line in done.stdout.decode().splitlines():
            name, _, value = line.partition(": ")
            values.setdefault(name.lower(), value)
        return [values.get(f.lower()) for f in FIELDS]

    @classmethod
    def server(cls):
        if not hasattr(cls, "slapd"):
            cls.slapd = Slapd(cls.ldif, access=ACCESS, debug_level=256)
            cls.slapd.__enter__()
            cls.addClassCleanup(cls.slapd.close)
        return cls.slapd

    def walk(self, group):
        """The member walk of `group`; its rows, what reading each member
        alone gives, and what slapd logged of the walk."""
        server = self.server()
        stored = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", server.url, "-s", "base",
                                 "-b", group, "(objectClass=*)", "member"], capture_output=True, check=True)
        values = [line[len("member: "):] for line in stored.stdout.decode().splitlines() if line.startswith("member: ")]
        expected = [r for r in (self.read_alone(server, dn) for dn in values) if r is not None]
        start = len(server.log())
        answer = Host(EXE, self.config).call(exec_line("LDAP://%s/%s" % (server.address, group), "",
                                                       ",".join(FIELDS), "GET_GROUP_MEMBERS"))
        self.assertEqual(answer.returncode, 0, answer.stderr)
        rows = [[None if c is None else c.decode() for c in row] for row in answer.rows]
        return rows, expected, server.settled_log(start)

    def test_by_container(self):
        # slapd's entryDN is operational, made up when asked for: a search by
        # it reads every entry of its scope, so members are found by their
        # RDNs under each container that holds several.
        rows, expected, log = self.walk(GROUP)
        self.assertEqual(rows, expected)
        self.assertEqual(len(rows), len(self.members) - 4)  # gone, hidden, nowhere, elsewhere
        self.assertNotIn("entryDN", log)
        self.assertIn('base="ou=big,dc=example,dc=com" scope=1 deref=0 filter="(|(cn=p000)(cn=p002)', log)
        self.assertIn('base="ou=odd,dc=example,dc=com" scope=1 deref=0 filter="(|(cn=smith, john)(cn=star\\2A\\281\\29)'
                      '(&(uid=m1)(cn=multi))(cn=back\\5Cslash))"', log)
        # The root DSE, schema and group; one search for ou=big and one for
        # ou=odd; one read each for the members alone in their containers
        # (forty, deep, hidden, nowhere, elsewhere; and p013, whose
        # container is written with spaces), and for the gone one, which
        # the search for ou=big did not return.
        alone = 40 + 4 + 1 + 1
        self.assertEqual(len(re.findall(r" SRCH base=", log)), 3 + 2 + alone)

    def test_by_listing_a_container_of_many(self):
        # A container of 351 members is listed; the member written with its
        # RDN type in capitals is found by its normalised name. slapd's
        # default size limit (500) ends the listing after five pages: the
        # members it did not reach are read by name, the gone one alone.
        rows, expected, log = self.walk(LISTED)
        self.assertEqual(rows, expected)
        self.assertEqual(len(rows), 351)
        self.assertEqual(log.count('base="%s" scope=1 deref=0 filter="(objectClass=*)"' % MANY), 6)
        self.assertIn('base="%s" scope=1 deref=0 filter="(|(cn=m500)(cn=m502)' % MANY, log)
        # The root DSE, schema and group; the listing; a search by name for
        # each of the two pages of a hundred members it left; the gone one.
        self.assertEqual(len(re.findall(r" SRCH base=", log)), 3 + 6 + 2 + 1)


if __name__ == "__main__":
    unittest.main()
