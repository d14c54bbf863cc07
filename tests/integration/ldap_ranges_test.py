#!/usr/bin/env python3
"""Attributes with more values than a server gives at once (ranged retrieval,
as Active Directory answers): slapd behind a proxy that cuts its answers into
ranges of 40 values, through quarlix-exec on the object, member and search
roads; every value must arrive, in the server's order, compared with what
ldapsearch reads from slapd directly.
Arguments: the quarlix-exec binary, the ldap_columns binary."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "faults"))
sys.path.insert(0, HERE)

from ldap_proxy import LdapProxy  # noqa: E402
from quarlix_call import Host, exec_line  # noqa: E402
from slapd_fixture import SLAPD, Slapd  # noqa: E402
from value_ranges import ValueRanges  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
COLUMNS = sys.argv.pop(1) if len(sys.argv) > 1 else None
SUFFIX = "dc=example,dc=com"
PEOPLE = "ou=m," + SUFFIX
GROUPS = "ou=g," + SUFFIX
LIMIT = 40
# Members: three ranges and a bit; exactly two ranges; one range.
SIZES = {"big": 130, "even": 80, "small": 30}


def group_dn(name):
    return "cn=%s,%s" % (name, GROUPS)


def directory():
    parts = ["dn: %s\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n" % SUFFIX,
             "dn: %s\nobjectClass: organizationalUnit\nou: m\n\n" % PEOPLE,
             "dn: %s\nobjectClass: organizationalUnit\nou: g\n\n" % GROUPS]
    parts += ["dn: uid=m%03d,%s\nobjectClass: account\nuid: m%03d\n\n" % (i, PEOPLE, i) for i in range(200)]
    for name, size in SIZES.items():
        # Members in an order of their own, so that order is checked.
        members = "".join("member: uid=m%03d,%s\n" % ((i * 7) % 200, PEOPLE) for i in range(size))
        # A second attribute cut into ranges on the same entry.
        descriptions = "".join("description: note %02d\n" % i for i in range(45)) if name == "big" else ""
        parts.append("dn: %s\nobjectClass: groupOfNames\ncn: %s\n%s%s\n" % (group_dn(name), name, members,
                                                                            descriptions))
    return "".join(parts)


def ldap_values(server, dn, attribute):
    done = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", server.url, "-s", "base",
                           "-b", dn, "(objectClass=*)", attribute], capture_output=True, check=True)
    values = [line.split(b": ", 1)[1].decode() for line in done.stdout.splitlines()
              if line.lower().startswith(attribute.lower().encode() + b": ")]
    if not values:
        raise AssertionError("ldapsearch found no %s on %s" % (attribute, dn))
    return values


def setUpModule():
    if not os.path.exists(SLAPD):
        raise RuntimeError("slapd is not installed: run scripts/install-deps.sh")


class Ranges(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-ranges-")
        config = os.path.join(cls.folder, "none.conf")
        open(config, "w").close()
        cls.config = config
        cls.host = Host(EXE, config)
        cls.server = Slapd(directory(), global_config="sizelimit unlimited")
        cls.server.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.ranges = ValueRanges(LIMIT)
        self.proxy = LdapProxy(self.server.port, rewriter=self.ranges)

    def tearDown(self):
        self.proxy.close()

    def path(self, dn):
        return "LDAP://%s/%s" % (self.proxy.address, dn)

    def call(self, *args):
        return self.host.call(exec_line(*args))

    def test_the_proxy_cuts_answers_into_ranges(self):
        # What the store meets: ldapsearch through the proxy sees the first
        # range only, named as Active Directory names it.
        done = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", "ldap://" + self.proxy.address,
                               "-s", "base", "-b", group_dn("big"), "(objectClass=*)", "member"],
                              capture_output=True, check=True)
        lines = [line for line in done.stdout.decode().splitlines() if line.startswith("member")]
        self.assertEqual(len(lines), LIMIT)
        self.assertTrue(all(line.startswith("member;range=0-39: ") for line in lines), lines[:2])

    def test_object_road_reads_every_value(self):
        for name, size in SIZES.items():
            with self.subTest(group=name):
                expected = ldap_values(self.server, group_dn(name), "member")
                self.assertEqual(len(expected), size)
                answer = self.call(self.path(group_dn(name)), "", "cn,member")
                self.assertEqual(answer.returncode, 0, answer.messages)
                self.assertEqual(answer.column("member"), ["|".join(expected) + "|"])
        # Two ranged attributes of one entry, both whole.
        answer = self.call(self.path(group_dn("big")), "", "description")
        self.assertEqual(answer.column("description"),
                         ["|".join(ldap_values(self.server, group_dn("big"), "description")) + "|"])
        self.assertGreater(self.ranges.range_requests, 0)  # the rest was asked for by range

    def test_member_road_walks_every_member_in_order(self):
        for name in SIZES:
            with self.subTest(group=name):
                expected = [dn.split(",")[0][len("uid="):] for dn in ldap_values(self.server, group_dn(name), "member")]
                answer = self.call(self.path(group_dn(name)), "", "uid", "GET_GROUP_MEMBERS")
                self.assertEqual(answer.returncode, 0, answer.messages)
                self.assertEqual(answer.column("uid"), expected)
        self.assertGreater(self.ranges.ranged, 0)

    def test_search_road_gives_every_value_of_every_entry(self):
        # All three groups in one page: each entry cut into ranges is read to
        # its end. Every value of the column, in the server's order.
        env = dict((k, v) for k, v in os.environ.items() if not k.startswith("LDAP"))
        env["QUARLIX_ADSI_CONFIG"] = self.config
        for attribute in ("member", "description"):
            with self.subTest(attribute=attribute):
                done = subprocess.run([COLUMNS, self.path(GROUPS), "(objectClass=groupOfNames)", attribute],
                                      capture_output=True, timeout=60, env=env)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                rows = done.stdout.decode().splitlines()
                expected = []
                for name in SIZES:
                    if attribute == "description" and name != "big":
                        expected.append("(none)")
                        continue
                    values = ldap_values(self.server, group_dn(name), attribute)
                    expected.append("%d %s" % (len(values), "|".join(values)))
                self.assertEqual(rows, expected)

    def test_a_range_that_does_not_continue_fails_the_call(self):
        # A broken server: the next range starts before the last one ended.
        # The call says so instead of passing the first values off as all.
        self.ranges.stall = True
        answer = self.call(self.path(group_dn("big")), "", "member")
        self.assertEqual(answer.returncode, 1)
        self.assertEqual(answer.message, "Cannot create object. HR: 80072021")  # protocol error
        answer = self.call(self.path(GROUPS), "(cn=big)", "cn,member")
        self.assertEqual(answer.returncode, 1)
        self.assertEqual(answer.rows, [])
        # A group whose values fit one read is not affected.
        answer = self.call(self.path(group_dn("small")), "", "cn")
        self.assertEqual(answer.rows, [[b"small"]])


if __name__ == "__main__":
    unittest.main(argv=sys.argv, verbosity=2)
