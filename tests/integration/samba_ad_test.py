#!/usr/bin/env python3
"""The procedure against a Samba Active Directory domain controller, through
quarlix-exec, on every road and with every identity that works against it.
Expected values come from ldapsearch against the same server.
Arguments: the quarlix-exec binary, the folder that caches the provisioned
domain (the build tree)."""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)

import samba_fixture as ad  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

from quarlix_call import Host, exec_line  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")
SQLVARBINARY = 37
SERVER_DOWN = "Cannot create object. HR: 8007203A"
dc = None


def setUpModule():
    global dc
    dc = ad.start_for_module(CACHE)


def tearDownModule():
    if dc:
        dc.close()


def values(entry, name):
    """An entry's values of one attribute (names are case-insensitive)."""
    for key, found in entry[1].items():
        if key.lower() == name.lower():
            return found
    return []


def first_text(entry, name):
    found = values(entry, name)
    return found[0].decode() if found else None


def generalized_time(value):
    return datetime.datetime.strptime(value.decode()[:14], "%Y%m%d%H%M%S")


def search_time_text(value):
    """A time on the search road: 2011-03-01 14:05:09."""
    return generalized_time(value).strftime("%Y-%m-%d %H:%M:%S")


def object_time_text(value):
    """A time on the object roads: the platform's en-US date text."""
    t = generalized_time(value)
    hour = t.hour % 12 or 12
    return "%d/%d/%04d %d:%02d:%02d %s" % (t.month, t.day, t.year, hour, t.minute, t.second,
                                            "AM" if t.hour < 12 else "PM")


def dn_with_binary_text(value):
    """B:32:HEX:DN on the search road: the DN, then the binary part as a GUID
    in registry form."""
    _, length, hexadecimal, dn = value.decode().split(":", 3)
    raw = bytes.fromhex(hexadecimal[:int(length)])
    guid = "{%08X-%04X-%04X-%s-%s}" % (int.from_bytes(raw[0:4], "little"), int.from_bytes(raw[4:6], "little"),
                                       int.from_bytes(raw[6:8], "little"), raw[8:10].hex().upper(),
                                       raw[10:16].hex().upper())
    return "%s:%s" % (dn, guid)


def joined(found):
    """Several values on the object roads: each followed by |."""
    return "".join(v.decode() + "|" for v in found) if len(found) > 1 else found[0].decode()


class Domain(unittest.TestCase):
    """Calls as the service account over StartTLS (`starttls try`, the
    default), the identity an administrator would configure."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-ad-")
        cls.reader_config = cls.write(cls, "reader.conf", dc.reader_settings())
        cls.host = Host(EXE, cls.reader_config)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def write(self, name, text):
        path = os.path.join(self.folder, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def path(self, dn, provider="LDAP", server=ad.HOST):
        return "%s://%s/%s" % (provider, server, dn)

    def call(self, *args, config=None, environment=None):
        return self.host.call(exec_line(*args), config=config, environment=environment)

    def expect(self, base, filter_="(objectClass=*)", attributes=(), scope="sub", url=None):
        """What the service account sees, by ldapsearch."""
        return dc.search(base, filter_, attributes, scope=scope, url=url, bind_dn=dc.reader_dn,
                         password=dc.reader_password)

    def assertSucceeded(self, answer):
        self.assertEqual(answer.returncode, 0, answer.messages or answer.stderr)
        self.assertEqual(answer.messages, [], answer.stderr)


class Searches(Domain):
    def test_bitwise_and_rule_finds_the_disabled_accounts(self):
        rule = "(&(objectCategory=person)(objectClass=user)(userAccountControl:1.2.840.113556.1.4.803:=%d))"
        for bits in (2, 65536):
            with self.subTest(bits=bits):
                answer = self.call(self.path(ad.PEOPLE), rule % bits, "sAMAccountName,userAccountControl,ADsPath")
                self.assertSucceeded(answer)
                expected = self.expect(ad.PEOPLE, rule % bits, ["sAMAccountName", "userAccountControl"])
                self.assertEqual(answer.column("sAMAccountName"), [first_text(e, "sAMAccountName") for e in expected])
                self.assertEqual(answer.column("userAccountControl"),
                                 [first_text(e, "userAccountControl") for e in expected])
                self.assertEqual(answer.column("ADsPath"), [self.path(e[0]) for e in expected])
                for flags in answer.column("userAccountControl"):
                    self.assertTrue(int(flags) & bits)
        # alice and bob are disabled, carol is not: the rule did filter.
        self.assertEqual(sorted(first_text(e, "sAMAccountName") for e in self.expect(ad.PEOPLE, rule % 2)),
                         ["alice", "bob"])

    def test_in_chain_rule_follows_nested_groups(self):
        chain = "(memberOf:1.2.840.113556.1.4.1941:=%s)" % ad.group_dn("Top")
        answer = self.call(self.path(ad.QUARLIX), chain, "cn,objectClass")
        self.assertSucceeded(answer)
        expected = self.expect(ad.QUARLIX, chain, ["cn"])
        self.assertEqual(answer.column("cn"), [first_text(e, "cn") for e in expected])
        # alice is two groups down: only the in-chain rule finds her.
        self.assertIn("alice", answer.column("cn"))
        direct = self.call(self.path(ad.QUARLIX), "(memberOf=%s)" % ad.group_dn("Top"), "cn")
        self.assertNotIn("alice", direct.column("cn"))
        self.assertEqual(sorted(direct.column("cn")),
                         sorted(first_text(e, "cn") for e in self.expect(ad.QUARLIX, "(memberOf=%s)"
                                                                         % ad.group_dn("Top"))))

    def test_binary_large_integer_time_and_multi_valued_columns(self):
        fields = ["objectGUID", "objectSid", "pwdLastSet", "accountExpires", "whenCreated", "otherTelephone",
                  "userAccountControl"]
        filter_ = "(|(sAMAccountName=alice)(sAMAccountName=bob)(sAMAccountName=%s))" % ad.READER
        answer = self.call(self.path(ad.BASE), filter_, ",".join(fields))
        self.assertSucceeded(answer)
        expected = self.expect(ad.BASE, filter_, fields)
        self.assertEqual(len(answer.rows), 3)
        self.assertEqual(len(expected), 3)
        types = dict((name, kind) for name, kind, _ in answer.columns)
        self.assertEqual(types["objectGUID"], SQLVARBINARY)
        self.assertEqual(types["objectSid"], SQLVARBINARY)
        self.assertNotEqual(types["pwdLastSet"], SQLVARBINARY)
        for row, entry in zip(answer.rows, expected):
            cells = dict(zip(answer.names, row))
            self.assertEqual(cells["objectGUID"], values(entry, "objectGUID")[0])
            self.assertEqual(len(cells["objectGUID"]), 16)
            self.assertEqual(cells["objectSid"], values(entry, "objectSid")[0])  # zero bytes and all
            for name in ("pwdLastSet", "accountExpires", "userAccountControl"):
                self.assertEqual(cells[name], values(entry, name)[0], name)
            self.assertEqual(cells["whenCreated"].decode(), search_time_text(values(entry, "whenCreated")[0]))
            phones = values(entry, "otherTelephone")
            self.assertEqual(cells["otherTelephone"], phones[0] if phones else None)  # the first value only
        # Values beyond 32 bits: the reader's password date and bob's expiry.
        self.assertTrue(any(int(v) > 2 ** 32 for v in answer.column("pwdLastSet")))
        self.assertTrue(any(2 ** 32 < int(v) < 2 ** 63 - 1 for v in answer.column("accountExpires")))

    def test_dn_with_binary_values(self):
        answer = self.call(self.path(ad.BASE), "(objectClass=domainDNS)", "wellKnownObjects,ADsPath")
        self.assertSucceeded(answer)
        expected = self.expect(ad.BASE, "(objectClass=domainDNS)", ["wellKnownObjects"])
        self.assertEqual(len(expected), 1)
        self.assertEqual(answer.rows, [[dn_with_binary_text(values(expected[0], "wellKnownObjects")[0]).encode(),
                                        self.path(ad.BASE).encode()]])

    def test_thousands_of_entries_across_pages(self):
        answer = self.call(self.path(ad.BULK), "(objectClass=user)", "sAMAccountName,description")
        self.assertSucceeded(answer)
        expected = self.expect(ad.BULK, "(objectClass=user)", ["sAMAccountName", "description"])
        self.assertEqual(len(expected), ad.BULK_COUNT)
        self.assertEqual(answer.column("sAMAccountName"), [first_text(e, "sAMAccountName") for e in expected])
        self.assertEqual(answer.column("description"), [first_text(e, "description") for e in expected])

    def test_a_global_catalog_path_is_not_searched(self):
        # Only paths beginning with LDAP are searched: a GC:// path with a
        # filter reads the object itself.
        answer = self.call(self.path(ad.PEOPLE, "GC"), "(objectCategory=person)", "sAMAccountName,ADsPath")
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[None, self.path(ad.PEOPLE, "GC").encode()]])


class Objects(Domain):
    def test_object_road_reads_each_kind_of_value(self):
        fields = ["Name", "Class", "GUID", "objectSid", "otherTelephone", "accountExpires", "whenCreated",
                  "memberOf", "userAccountControl", "mail"]
        answer = self.call(self.path(ad.person_dn("alice")), "", ",".join(fields))
        self.assertSucceeded(answer)
        entry = self.expect(ad.person_dn("alice"), attributes=["*", "objectGUID", "objectClass"], scope="base")[0]
        cells = dict(zip(answer.names, [None if c is None else c.decode("latin-1") for c in answer.rows[0]]))
        self.assertEqual(cells["Name"], "CN=alice")
        self.assertEqual(cells["Class"], values(entry, "objectClass")[-1].decode())
        self.assertEqual(cells["GUID"], values(entry, "objectGUID")[0].hex())
        sid = values(entry, "objectSid")[0]
        self.assertEqual(cells["objectSid"], sid[:sid.index(0)].decode("latin-1"))  # up to the first zero byte
        self.assertEqual(cells["otherTelephone"], joined(values(entry, "otherTelephone")))
        self.assertEqual(len(values(entry, "otherTelephone")), 3)
        self.assertEqual(cells["accountExpires"], first_text(entry, "accountExpires"))
        self.assertEqual(cells["whenCreated"], object_time_text(values(entry, "whenCreated")[0]))
        self.assertEqual(cells["memberOf"], joined(values(entry, "memberOf")))
        self.assertEqual(cells["userAccountControl"], first_text(entry, "userAccountControl"))
        self.assertEqual(cells["mail"], first_text(entry, "mail"))

    def test_dn_with_binary_and_large_multi_valued_properties(self):
        answer = self.call(self.path(ad.BASE), "", "wellKnownObjects")
        self.assertSucceeded(answer)
        count = len(values(self.expect(ad.BASE, attributes=["wellKnownObjects"], scope="base")[0],
                           "wellKnownObjects"))
        self.assertGreater(count, 1)
        # No text rule for this type on the object roads: one fixed text per value.
        self.assertEqual(answer.rows, [["Unknown type.|".encode() * count]])
        answer = self.call(self.path(ad.BIG_GROUP), "", "member")
        self.assertSucceeded(answer)
        members = values(self.expect(ad.BIG_GROUP, attributes=["member"], scope="base")[0], "member")
        self.assertEqual(len(members), ad.BULK_COUNT)
        self.assertEqual(answer.rows[0][0].decode().split("|")[:-1], [m.decode() for m in members])


class GlobalCatalog(Domain):
    def test_objects_read_from_the_global_catalog(self):
        # What the global catalog holds of an entry, as ldapsearch on its
        # port shows (Samba's catalog of a one-domain forest holds it all;
        # Active Directory's only its partial attribute set).
        fields = ["sAMAccountName", "mail", "otherTelephone", "description", "accountExpires", "objectSid"]
        for port, url in (("", dc.gc_url), (":3269", dc.gcs_url)):
            with self.subTest(port=port):
                answer = self.call(self.path(ad.person_dn("alice"), "GC", ad.HOST + port), "", ",".join(fields))
                self.assertSucceeded(answer)
                entry = dc.search(ad.person_dn("alice"), attributes=["*"], scope="base", url=dc.gcs_url,
                                  bind_dn=dc.reader_dn, password=dc.reader_password)[0]
                cells = dict(zip(answer.names, answer.rows[0]))
                for name in fields[:-1]:
                    self.assertEqual(cells[name], joined(values(entry, name)).encode() if values(entry, name) else None,
                                     name)
                sid = values(entry, "objectSid")[0]
                self.assertEqual(cells["objectSid"], sid[:sid.index(0)])
        children = self.call(self.path(ad.PEOPLE, "GC"), "", "Name,description", "GET_CHILD_OBJECTS")
        self.assertSucceeded(children)
        expected = dc.search(ad.PEOPLE, attributes=["description"], scope="one", url=dc.gcs_url,
                             bind_dn=dc.reader_dn, password=dc.reader_password)
        self.assertEqual(children.column("Name"), [e[0].split(",")[0] for e in expected])
        self.assertEqual(children.column("description"), [first_text(e, "description") for e in expected])


class Members(Domain):
    def test_nested_groups_list_their_direct_members(self):
        for group in ("Top", "Middle", "Inner"):
            with self.subTest(group=group):
                answer = self.call(self.path(ad.group_dn(group)), "", "Name,Class,AdsPath", "GET_GROUP_MEMBERS")
                self.assertSucceeded(answer)
                members = values(self.expect(ad.group_dn(group), attributes=["member"], scope="base")[0], "member")
                self.assertEqual(answer.column("AdsPath"), [self.path(m.decode()) for m in members])
                self.assertTrue(members)
        top = self.call(self.path(ad.group_dn("Top")), "", "Name,Class", "GET_GROUP_MEMBERS")
        self.assertEqual(sorted(top.column("Name")), ["CN=Middle", "CN=carol"])
        self.assertIn("group", top.column("Class"))

    def test_a_group_of_3000_members_is_complete(self):
        answer = self.call(self.path(ad.BIG_GROUP), "", "sAMAccountName,AdsPath", "GET_GROUP_MEMBERS")
        self.assertSucceeded(answer)
        members = values(self.expect(ad.BIG_GROUP, attributes=["member"], scope="base")[0], "member")
        self.assertEqual(len(members), ad.BULK_COUNT)
        self.assertEqual(answer.column("AdsPath"), [self.path(m.decode()) for m in members])
        names = {e[0]: first_text(e, "sAMAccountName")
                 for e in self.expect(ad.BULK, "(objectClass=user)", ["sAMAccountName"])}
        self.assertEqual(answer.column("sAMAccountName"), [names[m.decode()] for m in members])


    def test_members_spread_over_containers_and_naming_contexts(self):
        # Read by distinguishedName, a hundred to a search under the naming
        # context that holds them; each row as the member read alone.
        spread = "CN=Spread," + ad.GROUPS
        members = ([ad.person_dn(n) for n in ("alice", "bob", "WS01", "Printer Contact")]
                   + [ad.group_dn("Inner"), dc.reader_dn, dc.admin_dn]
                   + [ad.bulk_dn(i) for i in range(0, 300, 2)]
                   + ["CN=Sites,CN=Configuration," + ad.BASE, "CN=Services,CN=Configuration," + ad.BASE])
        ldif = "dn: %s\nobjectClass: group\nsAMAccountName: spread\n%s" % (
            spread, "".join("member: %s\n" % m for m in members))
        subprocess.run(["ldapmodify", "-a", "-x", "-H", dc.ldaps_url, "-D", dc.admin_dn, "-w", dc.admin_password],
                       input=ldif.encode(), env=dc.tls_environment(), capture_output=True, check=True)
        stored = [m.decode() for m in values(self.expect(spread, attributes=["member"], scope="base")[0], "member")]
        self.assertEqual(sorted(stored), sorted(members))
        fields = ["cn", "description", "sAMAccountName"]
        expected = []
        for dn in stored:
            entry = self.expect(dn, attributes=fields, scope="base")[0]
            expected.append([first_text(entry, f) for f in fields])
        answer = self.call(self.path(spread), "", ",".join(fields), "GET_GROUP_MEMBERS",
                           environment={"QUARLIX_ADSI_TRACE": "1"})
        self.assertSucceeded(answer)
        self.assertEqual([[answer.column(f)[r] for f in fields] for r in range(len(answer.rows))], expected)
        searches = [line for line in answer.stderr.splitlines() if "trace: search base=" in line]
        batches = [line for line in searches if "filter=(|(distinguishedName=" in line]
        self.assertEqual(sorted(line.split('"')[1] for line in batches),
                         ["CN=Configuration," + ad.BASE, ad.BASE, ad.BASE], answer.stderr)
        self.assertLessEqual(len(searches), len(batches) + 4)  # root DSE (twice), schema, the group


class Children(Domain):
    def test_children_of_an_ou_with_and_without_a_class_filter(self):
        answer = self.call(self.path(ad.PEOPLE), "", "Name,Class", "GET_CHILD_OBJECTS")
        self.assertSucceeded(answer)
        everything = self.expect(ad.PEOPLE, attributes=["objectClass"], scope="one")
        self.assertEqual(answer.column("Name"), [e[0].split(",")[0] for e in everything])
        self.assertEqual(answer.column("Class"), [values(e, "objectClass")[-1].decode() for e in everything])
        # A class filter applies on a path that is not searched: the GC form.
        for cls in ("user", "organizationalUnit", "contact"):
            with self.subTest(cls=cls):
                filtered = self.call(self.path(ad.PEOPLE, "GC"), cls, "Name,AdsPath", "GET_CHILD_OBJECTS")
                self.assertSucceeded(filtered)
                expected = self.expect(ad.PEOPLE, "(objectClass=%s)" % cls, ["cn"], scope="one", url=dc.gcs_url)
                self.assertEqual(filtered.column("AdsPath"), [self.path(e[0], "GC") for e in expected])
                self.assertLess(len(filtered.rows), len(everything))
                self.assertTrue(filtered.rows)


class Fixture(Domain):
    def test_the_server_keeps_its_pid_file_in_a_folder_of_its_own(self):
        # Not the machine's /run/samba, where another Samba keeps its own.
        with open(os.path.join(dc.folder, "run", "pid", "samba.pid")) as f:
            self.assertEqual(int(f.read().split()[0]), dc.process.pid)


class RootDse(Domain):
    def test_root_dse_paths_show_where_the_domain_is(self):
        dse = dc.search("", "(objectClass=*)", ["defaultNamingContext", "dnsHostName", "namingContexts"],
                        scope="base", bind_dn=dc.reader_dn, password=dc.reader_password)[0]
        expected = [first_text(dse, "defaultNamingContext"), first_text(dse, "dnsHostName"),
                    joined(values(dse, "namingContexts"))]
        for path, ldap_uri in (("LDAP://%s/RootDSE" % ad.HOST, None), ("GC://%s/RootDSE" % ad.HOST, None),
                               ("LDAP://RootDSE", dc.ldap_url)):
            with self.subTest(path=path):
                answer = self.host.call(exec_line(path, "", "defaultNamingContext,dnsHostName,namingContexts"),
                                        ldap_uri=ldap_uri)
                self.assertSucceeded(answer)
                self.assertEqual(answer.rows, [[v.encode() for v in expected]])
        # The path the answer names reads the domain itself.
        answer = self.call(self.path(expected[0]), "", "distinguishedName")
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[expected[0].encode()]])


class Identities(Domain):
    def test_simple_bind_over_ldaps(self):
        config = self.write("ldaps.conf", dc.reader_settings())
        answer = self.call(self.path(ad.PEOPLE, server=ad.HOST + ":636"), "(sAMAccountName=carol)",
                           "sAMAccountName,ADsPath", config=config)
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[b"carol", self.path(ad.person_dn("carol"), server=ad.HOST + ":636").encode()]])

    def test_simple_bind_over_starttls_where_the_server_refuses_clear_text(self):
        # The server does not list StartTLS in its root DSE and refuses a
        # simple bind in clear text; ldapsearch shows both.
        dse = subprocess.run([ad.LDAPSEARCH, "-LLL", "-x", "-H", dc.ldap_url, "-b", "", "-s", "base", "+"],
                             capture_output=True, env=dc.tls_environment())
        self.assertEqual(dse.returncode, 0)
        self.assertNotIn(b"1.3.6.1.4.1.1466.20037", dse.stdout)
        clear = subprocess.run([ad.LDAPSEARCH, "-x", "-H", dc.ldap_url, "-D", dc.reader_dn, "-w", dc.reader_password,
                                "-b", ad.PEOPLE, "-s", "base", "1.1"], capture_output=True, env=dc.tls_environment())
        self.assertEqual(clear.returncode, 8, clear.stderr)  # strongerAuthRequired
        answer = self.call(self.path(ad.person_dn("bob")), "", "sAMAccountName,mail")
        self.assertSucceeded(answer)
        entry = self.expect(ad.person_dn("bob"), attributes=["sAMAccountName", "mail"], scope="base")[0]
        self.assertEqual(answer.rows, [[values(entry, "sAMAccountName")[0], values(entry, "mail")[0]]])

    def test_kerberos_ticket_from_the_domain_kdc(self):
        ccache = os.path.join(self.folder, "krb5cc")
        environment = dc.kinit(ccache)
        kerberos = {"KRB5_CONFIG": environment["KRB5_CONFIG"], "KRB5CCNAME": environment["KRB5CCNAME"]}
        who = subprocess.run([ad.LDAPSEARCH, "-LLL", "-Y", "GSSAPI", "-H", dc.ldap_url, "-b", ad.PEOPLE, "-s", "one",
                              "(sAMAccountName=alice)", "sAMAccountName", "mail"], capture_output=True, env=environment)
        self.assertEqual(who.returncode, 0, who.stderr)
        self.assertIn(b"SASL username: " + dc.reader_principal.encode(), who.stderr)
        expected = ad.parse_ldif(who.stdout)
        self.assertEqual(len(expected), 1)
        # No identity in the configuration: the ticket cache makes it GSSAPI.
        config = self.write("kerberos.conf", "# the ticket's identity\n")
        answer = self.call(self.path(ad.PEOPLE), "(sAMAccountName=alice)", "sAMAccountName,mail", config=config,
                           environment=kerberos)
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[values(expected[0], "sAMAccountName")[0], values(expected[0], "mail")[0]]])
        explicit = self.write("gssapi.conf", "sasl_mech GSSAPI\n")
        answer = self.call(self.path(ad.group_dn("Top")), "", "Name", "GET_GROUP_MEMBERS", config=explicit,
                           environment=kerberos)
        self.assertSucceeded(answer)
        self.assertEqual(sorted(answer.column("Name")), ["CN=Middle", "CN=carol"])
        # Without a ticket the same configuration cannot bind.
        answer = self.call(self.path(ad.PEOPLE), "(sAMAccountName=alice)", "sAMAccountName", config=explicit,
                           environment={"KRB5_CONFIG": dc.krb5_conf,
                                        "KRB5CCNAME": "FILE:" + os.path.join(self.folder, "none")})
        self.assertEqual(answer.rows, [])
        self.assertEqual(len(answer.messages), 1)

    def test_wrong_password(self):
        rejected = subprocess.run([ad.LDAPSEARCH, "-x", "-ZZ", "-H", dc.ldap_url, "-D", dc.reader_dn, "-w", "wrong",
                                   "-b", "", "-s", "base", "1.1"], capture_output=True, env=dc.tls_environment())
        self.assertEqual(rejected.returncode, 49, rejected.stderr)  # invalidCredentials
        config = self.write("wrong.conf", "binddn %s\nbindpw wrong\ntls_cacert %s\n" % (dc.reader_dn, dc.ca_file))
        self.assertEqual(self.call(self.path(ad.PEOPLE), config=config).message, "Cannot create object. HR: 8007052E")
        self.assertEqual(self.call(self.path(ad.PEOPLE), "(cn=*)", config=config).message,
                         "\nError: The user name or password is incorrect.\r\n")

    def test_a_certificate_the_ca_file_does_not_vouch_for(self):
        config = self.write("other-ca.conf", dc.reader_settings(dc.other_ca_file))
        for path in (self.path(ad.PEOPLE), self.path(ad.PEOPLE, server=ad.HOST + ":636")):
            with self.subTest(path=path):
                answer = self.call(path, config=config)
                self.assertEqual(answer.message, SERVER_DOWN)
                self.assertIn("TLS with", answer.stderr)
                self.assertIn("the server's certificate (subject CN=%s, issuer CN=quarlix test CA): no CA in %s "
                              "signed it" % (ad.HOST, dc.other_ca_file), answer.stderr)
        # The right CA, a name the certificate does not carry.
        answer = self.call(self.path(ad.PEOPLE, server=ad.OTHER_NAME))
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertIn("(subject CN=%s, issuer CN=quarlix test CA): it does not name %s;" % (ad.HOST, ad.OTHER_NAME),
                      answer.stderr)
        # With tls_reqcert never the certificate is not checked.
        lenient = self.write("lenient.conf", dc.reader_settings(dc.other_ca_file) + "tls_reqcert never\n")
        answer = self.call(self.path(ad.person_dn("carol")), "", "sAMAccountName", config=lenient)
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[b"carol"]])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
