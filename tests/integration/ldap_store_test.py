#!/usr/bin/env python3
"""The procedure against a real slapd on loopback, through quarlix-exec, on
every road; and the same calls on the embedded store loaded with the same
LDIF, which must answer alike. Arguments: the quarlix-exec, ldap_threads,
ldap_paging and ldap_columns binaries."""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)

import directory_data as data  # noqa: E402
from quarlix_call import DEFAULT_DIRECTORY, Host, exec_line  # noqa: E402
from slapd_fixture import SLAPD, Slapd, peer_credentials_dn  # noqa: E402

EXE = sys.argv.pop(1) if len(sys.argv) > 1 else None
THREADS = sys.argv.pop(1) if len(sys.argv) > 1 else None
PAGING = sys.argv.pop(1) if len(sys.argv) > 1 else None
COLUMNS = sys.argv.pop(1) if len(sys.argv) > 1 else None
SERVER_DOWN = "Cannot create object. HR: 8007203A"
NO_SUCH_OBJECT = "Cannot create object. HR: 80072030"
# Non-paged searches stop at 100 entries; paged ones are not limited.
LIMITS = "sizelimit size.soft=100 size.hard=100 size.pr=100 size.prtotal=unlimited"


def setUpModule():
    if not os.path.exists(SLAPD):
        raise RuntimeError("slapd is not installed: run scripts/install-deps.sh")


def ldap_values(server, dn, attribute):
    """The values of one attribute of one entry, as ldapsearch reads them."""
    done = subprocess.run(["ldapsearch", "-x", "-LLL", "-o", "ldif-wrap=no", "-H", server.url, "-s", "base",
                           "-b", dn, "(objectClass=*)", attribute], capture_output=True, check=True)
    return [line.split(b": ", 1)[1] for line in done.stdout.splitlines()
            if line.lower().startswith(attribute.lower().encode() + b": ")]


class Directory(unittest.TestCase):
    """One slapd for the whole class, with the test directory loaded."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-ldap-")
        cls.no_config = cls.write(cls, "none.conf", "")
        cls.embedded = cls.write(cls, "embedded.ldif", data.embedded_ldif())
        cls.host = Host(EXE, cls.no_config)
        cls.server = Slapd(data.data_ldif(), schema=data.SLAPD_SCHEMA,
                           access=data.access_rules(peer_credentials_dn()), global_config=LIMITS, debug_level=256)
        cls.server.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def write(self, name, text):
        path = os.path.join(self.folder, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def path(self, dn=""):
        return "LDAP://%s/%s" % (self.server.address, dn) if dn else "LDAP://" + self.server.address

    def call(self, *args, **kwargs):
        return self.host.call(exec_line(*args), **kwargs)

    def assertSucceeded(self, answer):
        self.assertEqual(answer.returncode, 0, answer.messages or answer.stderr)


class Roads(Directory):
    def test_search_returns_all_entries_in_server_order_across_pages(self):
        log_before = len(self.server.log())
        answer = self.call(self.path(data.PEOPLE), "(objectClass=inetOrgPerson)", "cn,mail")
        self.assertSucceeded(answer)
        self.assertEqual(answer.names, ["cn", "mail"])
        self.assertEqual(answer.column("cn"), ["User %03d" % i for i in range(data.PEOPLE_COUNT)])
        self.assertEqual(answer.column("mail"), [None if i % 7 == 3 else "user%03d@example.com" % i
                                                 for i in range(data.PEOPLE_COUNT)])
        # Three search operations of 100, 100 and 50 entries: pages of 100.
        log = self.server.settled_log(log_before)
        self.assertEqual(re.findall(r"SEARCH RESULT tag=101 err=0 .*nentries=(\d+)", log)[-3:],
                         ["100", "100", "50"])
        # A search without the paged-results control stops at the server's limit.
        plain = subprocess.run(["ldapsearch", "-x", "-H", self.server.url, "-b", data.PEOPLE,
                                "(objectClass=inetOrgPerson)", "cn"], capture_output=True)
        self.assertEqual(plain.returncode, 4)  # sizeLimitExceeded

    def test_a_search_left_early_is_ended_and_the_next_one_sees_every_entry(self):
        log_before = len(self.server.log())
        done = subprocess.run([PAGING, self.server.address], capture_output=True, timeout=60,
                              env=dict(os.environ, QUARLIX_ADSI_CONFIG=self.no_config))
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        # 15 rows read of pages of 10: the third page was asked for ahead, then
        # a page of 0 ends the search; the second search reads every page.
        # slapd's threads may log two results out of order: sort by operation.
        results = re.findall(r"conn=(\d+) op=(\d+) SEARCH RESULT tag=101 err=0 .*nentries=(\d+)",
                             self.server.settled_log(log_before))
        self.assertEqual([n for _, _, n in sorted(results, key=lambda r: (int(r[0]), int(r[1])))][-7:],
                         ["10", "10", "10", "0", "100", "100", "50"])

    def test_star_columns_are_the_first_entry_attributes_and_adspath(self):
        answer = self.call(self.path(data.PEOPLE), "(cn=User 00*)", "*")
        self.assertSucceeded(answer)
        self.assertEqual(answer.names, ["objectClass", "cn", "sn", "mail", "uid", "telephoneNumber", "ADsPath"])
        self.assertEqual(len(answer.rows), 10)
        self.assertEqual(answer.column("objectClass")[0], "top")  # a search shows the first value
        self.assertIsNone(answer.column("mail")[3])
        self.assertEqual(answer.column("ADsPath")[3], self.path(data.person_dn(3)))

    def test_object_road_reads_every_user_attribute_with_its_schema_type(self):
        answer = self.call(self.path(data.TYPED))
        self.assertSucceeded(answer)
        self.assertEqual(len(answer.rows), 1)
        self.assertEqual(answer.names, ["objectClass", "cn"] + [name for name, _, _ in data.SYNTAXES])
        cells = dict(zip(answer.names, answer.rows[0]))
        self.assertEqual(cells["objectClass"], b"top|device|qxTyped|")
        self.assertEqual(cells["qxBoolean"], b"1")
        self.assertEqual(cells["qxInteger"], b"-7|42|")
        self.assertEqual(cells["qxOctets"], b"AB")  # bytes up to the first zero byte
        self.assertIn(b"2011", cells["qxTime"])  # the platform's date text
        self.assertEqual(cells["qxNumeric"], b"12 345")

    def test_search_types_values_by_the_server_schema(self):
        answer = self.call(self.path(data.MIXED), "(cn=typed)", "qxBoolean,qxInteger,qxOctets,qxTime,Name,ADsPath")
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[b"1", b"-7", b"AB\x00C", b"2011-03-01 14:05:09", None,
                                        self.path(data.TYPED).encode()]])
        binary = [c[1] == 37 for c in answer.columns]  # varbinary (SQLVARBINARY) only for the octet string
        self.assertEqual(binary, [False, False, True, False, False, False])

    def test_group_members_of_both_group_classes(self):
        log_before = len(self.server.log())
        answer = self.call(self.path(data.GROUP), "", "Name,cn,AdsPath", "GET_GROUP_MEMBERS")
        self.assertSucceeded(answer)
        # The group and every member are read over one connection.
        self.assertEqual(len(re.findall(r"ACCEPT from", self.server.log()[log_before:])), 1)
        # The member naming no entry is left out; the others in value order.
        self.assertEqual(answer.column("cn"), ["User 010", "User 003", "User 200"])
        self.assertEqual(answer.column("AdsPath")[1], self.path(data.person_dn(3)))
        answer = self.call(self.path(data.UNIQUE_GROUP), "", "cn", "GET_GROUP_MEMBERS")
        self.assertEqual(answer.column("cn"), ["User 001", "User 002"])
        answer = self.call(self.path(data.MIXED), "", "cn", "GET_GROUP_MEMBERS")
        self.assertEqual(answer.message, "Can not get IADsGroup.")

    def test_walks_cost_a_few_round_trips_whatever_their_length(self):
        # The members are read by name, a hundred to a search for their RDNs
        # under their container, the searches pipelined; the children come
        # with their listing. The
        # stand-in counts what it sent and the waits for answers; slapd's
        # log counts the searches it answered.
        traffic = os.path.join(self.folder, "traffic")
        expected = [dn.decode().split(",")[0][3:] for dn in ldap_values(self.server, data.MANY, "member")]
        self.assertEqual(len(expected), data.PEOPLE_COUNT)
        for road, args in (("members", (self.path(data.MANY), "", "cn", "GET_GROUP_MEMBERS")),
                           ("children", (self.path(data.PEOPLE), "", "cn", "GET_CHILD_OBJECTS"))):
            with self.subTest(road=road):
                log_before = len(self.server.log())
                answer = self.call(*args, environment={"QUARLIX_ADSI_TRAFFIC": traffic})
                self.assertSucceeded(answer)
                self.assertEqual(answer.column("cn"), expected if road == "members" else list(reversed(expected)))
                with open(traffic) as f:
                    counts = dict((k, int(v)) for k, v in (line.split() for line in f))
                log = self.server.settled_log(log_before)
                searches = len(re.findall(r" SRCH base=", log))
                self.assertEqual(counts["operations"], searches)
                self.assertLess(counts["round_trips"], data.PEOPLE_COUNT / 50 + 10)
                self.assertLessEqual(searches, data.PEOPLE_COUNT / 100 + 10)
                if road == "members":
                    self.assertIn('base="%s" scope=1 deref=0 filter="(|(cn=user 249)(cn=user 248)' % data.PEOPLE, log)

    def test_child_objects_with_and_without_a_class_filter(self):
        answer = self.call(self.path(data.MIXED), "", "Name,Class", "GET_CHILD_OBJECTS")
        self.assertSucceeded(answer)
        self.assertEqual(answer.column("Name"), ["cn=Mixed Person A", "ou=sub", "cn=team", "cn=Mixed Person B",
                                                 "cn=typed"])
        # The class filter goes to the server: a path not starting with LDAP
        # in upper case is not searched, so the filter names the class.
        mixed = "ldap" + self.path(data.MIXED)[4:]
        answer = self.call(mixed, "inetOrgPerson", "Name", "GET_CHILD_OBJECTS")
        self.assertEqual(answer.column("Name"), ["cn=Mixed Person A", "cn=Mixed Person B"])
        answer = self.call(mixed, "organizationalUnit", "Name,description", "GET_CHILD_OBJECTS")
        self.assertEqual(answer.rows, [[b"ou=sub", b"inner"]])
        # One level of more children than a non-paged search may return.
        answer = self.call(self.path(data.PEOPLE), "", "cn", "GET_CHILD_OBJECTS")
        self.assertEqual(answer.column("cn"), ["User %03d" % i for i in range(data.PEOPLE_COUNT)])

    def test_server_alone_names_its_naming_context(self):
        answer = self.call(self.path(), "", "Name,dc")
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[b"dc=example", b"example"]])

    def test_paths_and_filters_that_fail(self):
        nobody = self.path("cn=nobody," + data.SUFFIX)
        self.assertEqual(self.call(nobody).message, NO_SUCH_OBJECT)
        self.assertEqual(self.call(nobody, "(cn=*)").message, "\nError: There is no such object on the server.\r\n")
        self.assertEqual(self.call(self.path(data.PEOPLE), "(cn=User 001").message,
                         "\nError: The search filter specified is invalid\r\n")

    def test_many_calls_at_once_share_no_handle(self):
        # 8 threads x 4 rounds of a paged search and a member walk, each on
        # its own connection; the schema cache is shared.
        environment = dict(os.environ, QUARLIX_ADSI_CONFIG=self.no_config)
        done = subprocess.run([THREADS, self.server.address, "8", "4"], capture_output=True, timeout=240,
                              env=environment)
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        self.assertEqual(done.stdout, b"rounds complete 32, incomplete 0\n")

    def test_same_answers_as_the_embedded_store(self):
        # Serverless paths: the embedded store answers them when mounted, the
        # platform's server (LDAPURI) when not, so both get the same paths and
        # must give the same columns, types, widths and rows.
        def path(dn):
            return "LDAP://" + dn
        calls = [
            (path(data.PEOPLE), "(objectClass=inetOrgPerson)", "cn,mail"),
            (path(data.PEOPLE), "(|(cn=User 01*)(uid=u2*))", "*"),
            (path(data.SUFFIX), "(objectClass=groupOfNames)", "cn,member,description,ADsPath"),
            (path(data.MIXED), "(cn=typed)", "*"),
            (path(data.TYPED),),
            (path(data.TYPED), "", "Name,AdsPath,Class,GUID,Parent,Schema,qxDn,qxNameUid"),
            (path(data.GROUP), "", "*", "GET_GROUP_MEMBERS"),
            (path(data.UNIQUE_GROUP), "", "Name,sn,mail", "GET_GROUP_MEMBERS"),
            (path(data.MIXED), "", "*", "GET_CHILD_OBJECTS"),
            ("ldap://" + data.MIXED, "groupOfNames", "*", "GET_CHILD_OBJECTS"),
            (path(data.PEOPLE), "", "Name,telephoneNumber", "GET_CHILD_OBJECTS"),
            (path("cn=nobody," + data.SUFFIX),),
            (path(data.PEOPLE), "(cn=nobody)", "*"),
            (path(data.PEOPLE), "(cn=User 001", "cn"),
            # Blanks around a filter, escaped commas in names, integers
            # beyond 32 bits.
            (path(data.PEOPLE), "  (|(cn=User 001)(cn=User 002)) ", "cn,ADsPath"),
            (path(data.PEOPLE), " cn=User 003", "cn"),
            (path(data.PEOPLE), "   ", "cn"),
            (path(data.EDGES), "(objectClass=*)", "Name,ADsPath,member,uidNumber,gidNumber"),
            (path(data.COMMAS),),
            (path(data.COMMAS), "", "Name,ADsPath,cn", "GET_GROUP_MEMBERS"),
            (path(data.EDGES), "", "Name,ADsPath", "GET_CHILD_OBJECTS"),
            (path(data.BIG_NUMBERS),),
        ]
        for args in calls:
            with self.subTest(args=args):
                server = self.call(*args, ldap_uri=self.server.url)
                embedded = self.call(*args, directory=self.embedded)
                self.assertEqual(server.events, embedded.events)
                self.assertTrue(server.rows or server.messages or args[1] == "(cn=nobody)")

    def test_a_port_reaches_the_server_with_the_sample_mounted(self):
        # The sample answers to localhost and its own name, never to a path
        # that names a port.
        answer = self.call(self.path(data.TYPED), "", "cn,qxInteger", directory=DEFAULT_DIRECTORY)
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[b"typed", b"|".join(ldap_values(self.server, data.TYPED, "qxInteger")) + b"|"]])

    def test_integers_beyond_32_bits_are_large_integers(self):
        expected = [ldap_values(self.server, data.BIG_NUMBERS, name)[0] for name in ("uidNumber", "gidNumber")]
        self.assertEqual(expected, [b"4294967296", b"2147483648"])
        for args in ((self.path(data.BIG_NUMBERS), "", "uidNumber,gidNumber"),
                     (self.path(data.EDGES), "(uid=big)", "uidNumber,gidNumber")):
            with self.subTest(road="search" if args[1] else "object"):
                answer = self.call(*args)
                self.assertSucceeded(answer)
                self.assertEqual(answer.rows, [expected])

    def test_blanks_around_a_filter_are_no_part_of_it(self):
        # libldap refuses them; the store sends the filter without them.
        refused = subprocess.run(["ldapsearch", "-x", "-LLL", "-H", self.server.url, "-b", data.PEOPLE,
                                  " (cn=User 00*) ", "cn"], capture_output=True)
        self.assertNotEqual(refused.returncode, 0)
        trimmed = subprocess.run(["ldapsearch", "-x", "-LLL", "-H", self.server.url, "-b", data.PEOPLE,
                                  "(cn=User 00*)", "cn"], capture_output=True, check=True)
        expected = re.findall(r"^cn: (.*)$", trimmed.stdout.decode(), re.M)
        self.assertEqual(len(expected), 10)
        answer = self.call(self.path(data.PEOPLE), " (cn=User 00*) ", "cn")
        self.assertSucceeded(answer)
        self.assertEqual(answer.column("cn"), expected)
        self.assertEqual(self.call(self.path(data.PEOPLE), "  ", "cn").message,
                         "\nError: The search filter specified is invalid\r\n")

    def test_names_with_escaped_commas_read_alike_on_every_road(self):
        # slapd writes the comma of a name as a hex pair whichever way it was
        # loaded; every road shows it with a backslash, as the name's own
        # value and the embedded store do.
        listed = subprocess.run(["ldapsearch", "-x", "-LLL", "-H", self.server.url, "-b", data.EDGES,
                                 "(objectClass=person)", "1.1"], capture_output=True, check=True)
        server_dns = re.findall(r"^dn: (.*)$", listed.stdout.decode(), re.M)
        self.assertEqual(sorted(server_dns), sorted([data.SMITH.replace("\\,", "\\2C"), data.JONES]))
        shown = [dn.replace("\\2C", "\\,") for dn in server_dns]
        search = self.call(self.path(data.EDGES), "(objectClass=person)", "ADsPath")
        self.assertEqual(sorted(search.column("ADsPath")), sorted(self.path(dn) for dn in shown))
        children = self.call(self.path(data.EDGES), "", "Name,ADsPath", "GET_CHILD_OBJECTS")
        self.assertLessEqual({self.path(dn) for dn in shown}, set(children.column("ADsPath")))
        self.assertLessEqual({"cn=Smith\\, John", "cn=Jones\\, Ann"}, set(children.column("Name")))
        # The group's values name them the other way round, and slapd sends
        # them as they were loaded.
        values = [v.decode() for v in ldap_values(self.server, data.COMMAS, "member")]
        self.assertEqual(len(values), 2)
        self.assertIn("\\2c", values[0])
        shown = [re.sub(r"\\2[cC]", r"\\,", v) for v in values]
        members = self.call(self.path(data.COMMAS), "", "ADsPath", "GET_GROUP_MEMBERS")
        self.assertEqual(members.column("ADsPath"), [self.path(v) for v in shown])
        group = self.call(self.path(data.COMMAS), "", "member")
        self.assertEqual(group.column("member"), ["|".join(shown) + "|"])


class Identity(Directory):
    def config(self, text):
        return self.write("identity.conf", text)

    def test_anonymous_cannot_see_what_the_bound_reader_can(self):
        self.assertEqual(self.call(self.path(data.SECRET)).message, NO_SUCH_OBJECT)
        self.write("reader.pw", data.READER_PASSWORD + "\n")
        for text in ("binddn %s\nbindpw %s\n" % (data.READER, data.READER_PASSWORD),
                     "# the password from a file beside this one\nbinddn %s\nbindpw_file reader.pw\n" % data.READER):
            with self.subTest(config=text):
                answer = self.call(self.path(data.SECRET), "", "cn,description", config=self.config(text))
                self.assertSucceeded(answer)
                self.assertEqual(answer.rows, [[b"hidden", b"only for some"]])

    def test_invalid_credentials(self):
        config = self.config("binddn %s\nbindpw wrong\n" % data.READER)
        self.assertEqual(self.call(self.path(data.PEOPLE), config=config).message,
                         "Cannot create object. HR: 8007052E")
        self.assertEqual(self.call(self.path(data.PEOPLE), "(cn=*)", config=config).message,
                         "\nError: The user name or password is incorrect.\r\n")

    def test_serverless_paths_reach_the_platform_server_with_its_identity(self):
        # Over ldapi:// the stand-in binds with SASL EXTERNAL as this user,
        # whom the server lets read ou=secret.
        answer = self.call("LDAP://" + data.SECRET, "", "cn", ldap_uri=self.server.ldapi_url)
        self.assertSucceeded(answer)
        self.assertEqual(answer.rows, [[b"hidden"]])
        answer = self.call("LDAP://" + data.SECRET, "", "cn", ldap_uri=self.server.url)
        self.assertEqual(answer.message, NO_SUCH_OBJECT)

    def test_a_bad_configuration_fails_the_bind_and_says_why(self):
        config = self.config("timeout soon\n")
        answer = self.call(self.path(data.PEOPLE), config=config)
        self.assertEqual(answer.message, "Cannot create object. HR: 8007000D")
        self.assertIn("identity.conf:1: 'timeout' must be a whole number of seconds", answer.stderr)


def make_certificate(folder, name):
    """A self-signed certificate for 127.0.0.1: NAME.pem and NAME.key."""
    cert, key = os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    return cert, key


def port_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


class Tls(unittest.TestCase):
    """A server that offers StartTLS with a certificate of its own, and
    ldaps:// on 636 when that port can be had."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quarlix-tls-")
        cert, key = make_certificate(cls.folder, "server")
        cls.server_ca = cert
        cls.other_ca = make_certificate(cls.folder, "other")[0]
        suffix_only = data.data_ldif().split("\n\n")[0] + "\n"
        cls.ldaps = port_free(636)
        cls.server = Slapd(suffix_only, debug_level=256,
                           extra_urls=["ldaps://127.0.0.1:{free_port}/"]
                           + (["ldaps://127.0.0.1:636/"] if cls.ldaps else []),
                           global_config="TLSCertificateFile %s\nTLSCertificateKeyFile %s" % (cert, key))
        cls.server.__enter__()
        cls.other_ldaps_port = cls.server.extra_ports[0]

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def call(self, config_text, address=None):
        answer, log = self.call_logged(config_text, address)
        return answer, len(re.findall(r"ACCEPT from", log)), len(re.findall(r" STARTTLS$", log, re.M))

    def call_logged(self, config_text, address=None):
        """The answer and what slapd logged meanwhile."""
        config = os.path.join(self.folder, "adsi.conf")
        with open(config, "w") as f:
            f.write(config_text)
        log_before = len(self.server.log())
        path = "LDAP://%s/%s" % (address or self.server.address, data.SUFFIX)
        answer = Host(EXE, config).call(exec_line(path, "", "dc"))
        return answer, self.server.log()[log_before:]

    def bind_config(self, ca):
        return "binddn %s\nbindpw %s\ntls_cacert %s\n" % (self.server.rootdn, self.server.rootpw, ca)

    def test_encrypted_when_the_server_offers_it_and_its_certificate_checks(self):
        answer, connections, starttls = self.call("tls_cacert %s\n" % self.server_ca)
        self.assertEqual(answer.rows, [[b"example"]])
        self.assertEqual((connections, starttls), (1, 1))

    def test_starttls_the_configuration_asks_for_is_the_first_operation(self):
        # slapd refuses StartTLS while it still counts an earlier operation
        # as outstanding, which it may for a moment after answering it.
        for config in ("tls_cacert %s\n" % self.server_ca, "starttls demand\ntls_cacert %s\n" % self.server_ca):
            with self.subTest(config=config):
                for _ in range(5):
                    answer, log = self.call_logged(config)
                    self.assertEqual(answer.rows, [[b"example"]], answer.stderr)
                    operations = re.findall(r"conn=\d+ op=(\d+) (EXT oid=\S+|SRCH|BIND)", log)
                    self.assertEqual(operations[0], ("0", "EXT oid=1.3.6.1.4.1.1466.20037"), log)

    def test_a_failed_try_goes_on_in_clear_on_a_new_connection(self):
        answer, connections, starttls = self.call("tls_cacert %s\n" % self.other_ca)
        self.assertEqual(answer.rows, [[b"example"]])
        # The try, one more without the certificate check to name its fault,
        # then the connection in clear.
        self.assertEqual((connections, starttls), (3, 2))

    def test_demand_fails_the_call_when_tls_fails(self):
        answer, _, starttls = self.call("starttls demand\ntls_cacert %s\n" % self.other_ca)
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertEqual(starttls, 2)  # the second without the check, to show the certificate
        # The certificate's fault follows when the second look at it succeeds;
        # now and then under load slapd's second handshake does not, and the
        # line ends with libldap's own reason alone.
        self.assertRegex(answer.stderr, "(?m)^%s(%s)?\n" % (
            re.escape("quarlix ADSI: TLS with %s failed: StartTLS: Connect error" % self.server.url),
            re.escape("; the server's certificate (subject CN=127.0.0.1, issuer CN=127.0.0.1): "
                      "no CA in %s signed it" % self.other_ca)))

    def test_a_password_never_follows_a_failed_starttls_in_clear(self):
        answer, log = self.call_logged(self.bind_config(self.other_ca))
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertIn("the credentials are not sent in clear text", answer.stderr)
        # The try and one more to show the certificate, both StartTLS; no bind at all.
        self.assertEqual(len(re.findall(r" STARTTLS$", log, re.M)), 2)
        self.assertEqual(len(re.findall(r"ACCEPT from", log)), 2)
        self.assertNotIn(" BIND ", log)
        # The same identity with a CA that vouches for the server binds over TLS.
        answer, log = self.call_logged(self.bind_config(self.server_ca))
        self.assertEqual(answer.rows, [[b"example"]])
        self.assertRegex(log, r"BIND dn=\"%s\" mech=SIMPLE (bind_)?ssf=0 ssf=\d{2,}" % self.server.rootdn)
        # An anonymous try says why before it goes on in clear.
        answer, _ = self.call_logged("tls_cacert %s\n" % self.other_ca)
        self.assertIn("going on in clear text (anonymous)", answer.stderr)

    def test_a_caller_never_binds_inside_tls(self):
        # The platform's CA alone: StartTLS for whoever the server offers it
        # to, never for a host's caller, whose bind signs and seals.
        config = os.path.join(self.folder, "empty.conf")
        with open(config, "w") as f:
            f.write("# defaults\n")
        environment = {k: v for k, v in os.environ.items() if not k.startswith("LDAP")}
        environment.update(LDAPCONF="/dev/null", LDAPTLS_CACERT=self.server_ca, QUARLIX_ADSI_CONFIG=config)
        path = "LDAP://%s/%s" % (self.server.address, data.SUFFIX)
        for caller, said, starttls in ((None, "1 example", 1),
                                       ("nobody@EXAMPLE.COM", "failed 8007203B", 0)):
            with self.subTest(caller=caller):
                log_before = len(self.server.log())
                done = subprocess.run([COLUMNS, path, "(objectClass=dcObject)", "dc"] + ([caller] if caller else []),
                                      capture_output=True, text=True, env=environment, timeout=60)
                log = self.server.log()[log_before:]
                self.assertEqual(done.stdout.strip(), said, done.stderr)
                self.assertEqual(len(re.findall(r" STARTTLS$", log, re.M)), starttls, log)
        self.assertIn("the bind failed: Local error (there is no credential of nobody@EXAMPLE.COM to bind with); "
                      "tried as the caller nobody@EXAMPLE.COM", done.stderr)
        self.assertNotIn(" BIND ", log)

    def test_certificate_checks_as_tls_reqcert_says(self):
        answer, connections, starttls = self.call(self.bind_config(self.other_ca) + "tls_reqcert never\n")
        self.assertEqual(answer.rows, [[b"example"]])
        self.assertEqual((connections, starttls), (1, 1))
        answer, _, _ = self.call(self.bind_config(self.other_ca) + "tls_reqcert hard\n")
        self.assertEqual(answer.message, SERVER_DOWN)

    def test_ldaps_on_a_port_of_the_configuration(self):
        address = "127.0.0.1:%d" % self.other_ldaps_port
        config = self.bind_config(self.server_ca) + "ldaps_ports %d\n" % self.other_ldaps_port
        answer, connections, starttls = self.call(config, address)
        self.assertEqual(answer.rows, [[b"example"]])
        self.assertEqual((connections, starttls), (1, 0))  # TLS from the start
        answer, _, _ = self.call(self.bind_config(self.other_ca) + "ldaps_ports %d\n" % self.other_ldaps_port, address)
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertIn("TLS with ldaps://%s failed: ldaps:" % address, answer.stderr)
        # Without the key the port is spoken to in clear, which a TLS port does not answer.
        answer, _, _ = self.call(self.bind_config(self.server_ca) + "timeout 2\n", address)
        self.assertEqual(answer.message, SERVER_DOWN)

    def test_port_636_is_ldaps(self):
        if not self.ldaps:
            self.skipTest("port 636 on 127.0.0.1 is taken or may not be bound here")
        answer, connections, starttls = self.call("tls_cacert %s\n" % self.server_ca, "127.0.0.1:636")
        self.assertEqual(answer.rows, [[b"example"]])
        self.assertEqual((connections, starttls), (1, 0))  # TLS from the start, no StartTLS
        answer, _, _ = self.call("tls_cacert %s\n" % self.other_ca, "127.0.0.1:636")
        self.assertEqual(answer.message, SERVER_DOWN)

    def test_never_stays_in_clear(self):
        answer, connections, starttls = self.call("starttls never\ntls_cacert %s\n" % self.server_ca)
        self.assertEqual(answer.rows, [[b"example"]])
        self.assertEqual((connections, starttls), (1, 0))


class Unreachable(unittest.TestCase):
    """Servers that are gone or do not answer fail within the time-outs."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quarlix-ldap-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.config = os.path.join(self.folder, "adsi.conf")
        with open(self.config, "w") as f:
            f.write("network_timeout 2\ntimeout 1\n")
        self.host = Host(EXE, self.config)

    def test_a_stopped_server(self):
        suffix_only = data.data_ldif().split("\n\n")[0] + "\n"
        with Slapd(suffix_only) as server:
            address = server.address
            self.assertEqual(self.host.call(exec_line("LDAP://%s/%s" % (address, data.SUFFIX))).returncode, 0)
            server.stop()
            answer = self.host.call(exec_line("LDAP://%s/%s" % (address, data.SUFFIX)))
            self.assertEqual(answer.message, SERVER_DOWN)
            answer = self.host.call(exec_line("LDAP://%s/%s" % (address, data.SUFFIX), "(cn=*)"))
            self.assertEqual(answer.message, "\nError: The server is not operational.\r\n")
            self.assertLess(answer.seconds, 10)

    def test_a_server_that_never_answers(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        self.addCleanup(listener.close)
        accepted = []
        stop = threading.Event()

        def accept():  # takes connections and never says a word
            listener.settimeout(0.2)
            while not stop.is_set():
                try:
                    accepted.append(listener.accept()[0])
                except OSError:
                    pass

        thread = threading.Thread(target=accept)
        thread.start()
        self.addCleanup(lambda: [c.close() for c in accepted])
        self.addCleanup(thread.join)
        self.addCleanup(stop.set)
        address = "127.0.0.1:%d" % listener.getsockname()[1]
        answer = self.host.call(exec_line("LDAP://%s/%s" % (address, data.SUFFIX)), timeout=60)
        self.assertEqual(answer.message, SERVER_DOWN)
        self.assertTrue(accepted, "the call never connected")
        # The configured operation time-out is 1 s; a wide margin for slow machines.
        self.assertGreaterEqual(answer.seconds, 1)
        self.assertLess(answer.seconds, 15)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
