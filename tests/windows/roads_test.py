#!/usr/bin/env python3
"""Every road of the procedure through the x86_64 DLL under wine64, on the
embedded store built for Windows (quarlix-exec.exe --directory), against the
Linux build on the same LDIF file, byte for byte: columns, types, widths,
rows, messages, done counts and return values (--format events).

Both sides convert text in code page 1252: Wine's ANSI code page in the
test's locale, and the Linux host's --codepage 1252.

Where the two may legitimately differ the road says so, and the Windows side
is checked against Wine itself, asked through win32_calls.exe:
- descriptions of failure codes come from each platform's message table: a
  road that describes a code names it, and Wine's text (or the bracketed form
  when Wine has none) must stand where the Linux build has its own;
- dates are VariantChangeType's text: they are compared with Linux byte for
  byte and, in DatesAreWinesOwn, with what Wine's VariantChangeType gives for
  the same DATE.

Environment: QX_WINE, QX_WIN_EXEC, QX_LINUX_EXEC, QX_WIN_CALLS (win32_calls.exe)
and QX_LINUX_CALLS (the Linux win32_calls)."""
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "integration"))
import directory_data  # noqa: E402  the integration tests' directory

CORP_LDIF = os.path.join(SOURCE, "samples", "corp.ldif")
CORP = "DC=corp,DC=example,DC=com"
FIXTURE = directory_data.SUFFIX

S_FALSE = 0x1
E_FAIL = 0x80004005
E_NOINTERFACE = 0x80004002
E_NOTIMPL = 0x80004001
NO_SUCH_OBJECT = 0x80072030
ACCESS_DENIED = 0x80070005
E_ADS_INVALID_FILTER = 0x80005014


def run(command):
    # Files, not pipes: helpers Wine starts inherit the handles and outlive
    # the call.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=180).returncode
        out.seek(0), err.seek(0)
        stdout, stderr = out.read(), err.read()
    return code, stdout, stderr


# Sides that answer from elsewhere than a program run here, by name: each has
# call(ldif, sql, faults) and calls(mode, *arguments), both giving (exit
# status, stdout, stderr). The i686 DLL answers from its machine's one boot
# (i686_test.py).
OTHER_SIDES = {}


def call(side, ldif, sql, faults=()):
    options = ["--format", "events", "--directory", ldif]
    for fault in faults:
        options += ["--fault", fault]
    # A varchar value is the bytes of the line in the ANSI code page: Wine
    # turns the (UTF-8) command line into 1252 itself; the Linux host takes
    # the bytes as they come, so it is given them in 1252.
    if side in OTHER_SIDES:
        code, stdout, stderr = OTHER_SIDES[side].call(ldif, sql, tuple(faults))
    elif side == "windows":
        code, stdout, stderr = run([os.environ["QX_WINE"], os.environ["QX_WIN_EXEC"], *options, "-Q", sql])
    else:
        code, stdout, stderr = run([os.environ["QX_LINUX_EXEC"], "--codepage", "1252", *options, "-Q",
                                    sql.encode("cp1252")])
    if code not in (0, 1) or not stdout:
        raise AssertionError("%s host: %s exited with %d, printing %r: %s" % (
            side, sql, code, stdout[:300], stderr.decode(errors="replace")))
    return code, [json.loads(line) for line in stdout.decode().splitlines()]


def calls(side, mode, *arguments):
    if side in OTHER_SIDES:
        code, stdout, stderr = OTHER_SIDES[side].calls(mode, *arguments)
    elif side == "windows":
        code, stdout, stderr = run([os.environ["QX_WINE"], os.environ["QX_WIN_CALLS"], mode, *arguments])
    else:
        code, stdout, stderr = run([os.environ["QX_LINUX_CALLS"], mode, *arguments])
    if code != 0:
        raise AssertionError("%s win32_calls %s: %d %s" % (side, mode, code, stderr.decode(errors="replace")))
    return [bytes.fromhex(line) for line in stdout.decode().splitlines()]


_descriptions = {}


def looked_up(code):
    """The code whose description the procedure appends for a failure code."""
    return code & 0xFFFF if (code & 0x1FFF0000) == 0x00080000 else code


def description(side, code):
    """The text the procedure appends for a failure code on that side,
    from that platform's own message table."""
    key = (side, code)
    if key not in _descriptions:
        text = calls(side, "describe", "0x%08X" % looked_up(code))[0]
        _descriptions[key] = (b"\nError: " + text if text else
                              ("\n[Could not find a description for error # %#x.]" % looked_up(code)).encode())
    return _descriptions[key]


def message_bytes(event):
    return bytes.fromhex(event["hex"])


def with_windows_descriptions(events, codes, side="windows"):
    """The Linux answer as Windows must give it: each named code's Linux
    description replaced by Wine's (on SIDE)."""
    expected = []
    for event in events:
        if event["event"] == "message" and codes:
            text = message_bytes(event)
            for code in codes:
                linux, windows = description("linux", code), description(side, code)
                if linux not in text:
                    raise AssertionError("the road says it describes %#x, but the Linux text %r has no %r" % (
                        code, text, linux))
                text = text.replace(linux, windows)
            event = dict(event, hex=text.hex(), text=text.decode("latin-1"))
        expected.append(event)
    return expected


def comparable(events):
    # "text" is the host's rendering of "hex" for reading; the bytes decide.
    return [{k: v for k, v in e.items() if not (e["event"] == "message" and k == "text")} for e in events]


class Road:
    def __init__(self, name, sql, describes=(), faults=(), returns=None):
        self.name, self.sql, self.describes, self.faults, self.returns = name, sql, describes, faults, returns


def corp(dn=""):
    return "LDAP://" + (dn + "," + CORP if dn else CORP)


def fixture(dn=""):
    return "LDAP://" + (dn + "," + FIXTURE if dn else FIXTURE)


CORP_ROADS = [
    Road("search, three columns over the whole tree",
         "EXEC quarlix '%s', '(objectClass=user)', 'cn,mail,department'" % corp(), returns=0),
    Road("search, every kind of value of a user",
         "EXEC quarlix '%s', '(cn=Alice Smith)', 'cn,whenCreated,pwdLastSet,objectGUID,objectSid,"
         "userAccountControl,memberOf,proxyAddresses,nTSecurityDescriptor,thumbnailPhoto,ADsPath'" % corp(),
         returns=0),
    Road("search, names beyond ASCII",
         "EXEC quarlix '%s', '(|(cn=J*)(cn=Z*))', 'cn,displayName,distinguishedName'" % corp("OU=Staff"),
         returns=0),
    Road("search, the disabled accounts of the host's page",
         "EXEC quarlix '%s', '(&(objectCategory=person)(userAccountControl:1.2.840.113556.1.4.803:=2))', "
         "'cn,department,userAccountControl'" % corp(), returns=0),
    Road("search, nothing found", "EXEC quarlix '%s', '(cn=nobody)', 'cn'" % corp(), returns=0),
    Road("search, a filter that does not parse", "EXEC quarlix '%s', '(cn=', 'cn'" % corp(),
         describes=(E_ADS_INVALID_FILTER,)),
    Road("search, a base that does not exist", "EXEC quarlix '%s', '(cn=*)', 'cn'" % corp("OU=Nowhere"),
         describes=(NO_SUCH_OBJECT,)),
    Road("object, every property", "EXEC quarlix '%s'" % corp("CN=Alice Smith,OU=Sales,OU=Staff"), returns=0),
    Road("object, chosen properties",
         "EXEC quarlix '%s', '', 'Name,Class,title,proxyAddresses,whenCreated,pwdLastSet'" %
         corp("CN=Alice Smith,OU=Sales,OU=Staff"), returns=0),
    Road("object, a name beyond ASCII", "EXEC quarlix '%s'" % corp("CN=Zoë Martin,OU=Support,OU=Staff"),
         returns=0),
    Road("object, a group", "EXEC quarlix '%s'" % corp("CN=Sales Team,OU=Groups"), returns=0),
    Road("object, a path naming nothing", "EXEC quarlix '%s'" % corp("CN=Nobody,OU=Staff")),
    Road("members, chosen properties",
         "EXEC quarlix '%s', '', 'Name,title,mail', 'GET_GROUP_MEMBERS'" % corp("CN=Sales Team,OU=Groups"),
         returns=0),
    Road("members, every property", "EXEC quarlix '%s', '', '*', 'GET_GROUP_MEMBERS'" %
         corp("CN=Sales Team,OU=Groups"), returns=0),
    Road("members of something not a group",
         "EXEC quarlix '%s', '', 'Name', 'GET_GROUP_MEMBERS'" % corp("CN=Alice Smith,OU=Sales,OU=Staff")),
    Road("children, filtered by class",
         "EXEC quarlix 'GC://OU=Staff,%s', 'organizationalUnit', 'Name', 'GET_CHILD_OBJECTS'" % CORP, returns=0),
    Road("children, every property", "EXEC quarlix '%s', '', '*', 'GET_CHILD_OBJECTS'" % corp("OU=Sales,OU=Staff"),
         returns=0),
    Road("object, GET_OBJECT_LIST", "EXEC quarlix '%s', '', 'Name,Class', 'GET_OBJECT_LIST'" % corp("OU=Groups"),
         returns=0),
    Road("children, a class on a searched path", "EXEC quarlix '%s', 'organizationalUnit', 'Name', "
         "'GET_CHILD_OBJECTS'" % corp("OU=Staff"), describes=(E_ADS_INVALID_FILTER,)),
    Road("parameters: usage", "EXEC quarlix", returns=1),
    Road("parameters: a wrong scope", "EXEC quarlix '%s', '', '*', 'EVERYTHING'" % corp(), returns=1),
    Road("parameters: a search scope is no road", "EXEC quarlix '%s', '(objectClass=*)', 'ou', 'ONELEVEL'" %
         corp("OU=Staff"), returns=1),
    Road("parameters: empty field names", "EXEC quarlix @adspath = '%s', @field_names = ''" % corp(), returns=1),
    Road("parameters: an nvarchar path", "EXEC quarlix @adspath = N'%s'" % corp(), returns=1),
    Road("parameters: a path not of LDAP", "EXEC quarlix 'WinNT://corp/Administrator'"),
    Road("fault: the bind fails", "EXEC quarlix '%s'" % corp("CN=Alice Smith,OU=Sales,OU=Staff"),
         faults=("ADsGetObject=0x80070005",)),
    Road("fault: reading the object fails", "EXEC quarlix '%s'" % corp("CN=Alice Smith,OU=Sales,OU=Staff"),
         faults=("IADs::GetInfo=0x80004005",), describes=(E_FAIL,)),
    Road("fault: the search fails", "EXEC quarlix '%s', '(cn=*)', 'cn'" % corp(),
         faults=("IDirectorySearch::ExecuteSearch=0x80004005",), describes=(E_FAIL,)),
    Road("fault: a row fails half-way", "EXEC quarlix '%s', '(objectClass=user)', 'cn'" % corp(),
         faults=("IDirectorySearch::GetNextRow=0x80004005",), describes=(E_FAIL,)),
    Road("fault: the member walk fails", "EXEC quarlix '%s', '', 'Name', 'GET_GROUP_MEMBERS'" %
         corp("CN=Sales Team,OU=Groups"), faults=("IEnumVARIANT::Next=0x80004005",), describes=(E_FAIL,)),
    Road("fault: no container", "EXEC quarlix '%s', '', 'Name', 'GET_CHILD_OBJECTS'" % corp("OU=Sales,OU=Staff"),
         faults=("IADs::QueryInterface(IADsContainer)=0x80004002",)),
    Road("fault: an element not an object", "EXEC quarlix '%s', '', 'Name', 'GET_CHILD_OBJECTS'" %
         corp("OU=Sales,OU=Staff"), faults=("IEnumVARIANT::Next:notDispatch=0",)),
    Road("fault: values not an array", "EXEC quarlix '%s'" % corp("CN=Alice Smith,OU=Sales,OU=Staff"),
         faults=("IADsPropertyEntry::get_Values:notArray=0",)),
    Road("fault: an odd element", "EXEC quarlix '%s'" % corp("CN=Alice Smith,OU=Sales,OU=Staff"),
         faults=("IADsPropertyEntry::get_Values:oddElement=0",)),
    Road("fault: a property value's type", "EXEC quarlix '%s'" % corp("CN=Alice Smith,OU=Sales,OU=Staff"),
         faults=("IADsPropertyValue::get_ADsType=0x80004005",)),
]

FIXTURE_ROADS = [
    Road("search, every syntax", "EXEC quarlix '%s', '(cn=typed)', '%s'" % (
        fixture(), ",".join(name for name, _, _ in directory_data.SYNTAXES)), returns=0),
    Road("search, 250 people over pages", "EXEC quarlix '%s', '(objectClass=person)', 'cn,mail,telephoneNumber'" %
         fixture("ou=people"), returns=0),
    Road("search, commas in names", "EXEC quarlix '%s', '(objectClass=*)', 'cn,ADsPath'" % fixture("ou=edges"),
         returns=0),
    Road("search, numbers beyond 32 bits", "EXEC quarlix '%s', '(uid=big)', 'uidNumber,gidNumber'" % fixture(),
         returns=0),
    Road("object, every syntax", "EXEC quarlix '%s'" % fixture("cn=typed,ou=mixed"), returns=0),
    Road("object, numbers beyond 32 bits", "EXEC quarlix '%s'" % fixture("uid=big,ou=edges"), returns=0),
    Road("members, a member naming nothing", "EXEC quarlix '%s', '', 'Name,mail', 'GET_GROUP_MEMBERS'" %
         fixture("cn=staff,ou=groups")),
    Road("members, unique members", "EXEC quarlix '%s', '', 'Name,cn', 'GET_GROUP_MEMBERS'" %
         fixture("cn=owners,ou=groups")),
    Road("members, names with commas", "EXEC quarlix '%s', '', 'Name,sn', 'GET_GROUP_MEMBERS'" %
         fixture("cn=commas,ou=edges")),
    Road("children, mixed classes", "EXEC quarlix '%s', '', '*', 'GET_CHILD_OBJECTS'" % fixture("ou=mixed"),
         returns=0),
    Road("children, one class", "EXEC quarlix 'GC://ou=mixed,%s', 'organizationalUnit', 'Name,description', "
         "'GET_CHILD_OBJECTS'" % FIXTURE, returns=0),
    Road("children, 250 people", "EXEC quarlix '%s', '', 'Name', 'GET_CHILD_OBJECTS'" % fixture("ou=people"),
         returns=0),
]

_fixture_file = None


def fixture_ldif():
    global _fixture_file
    if _fixture_file is None:
        handle, _fixture_file = tempfile.mkstemp(suffix=".ldif", prefix="fixture-", dir=os.environ.get("QX_TMP"))
        with os.fdopen(handle, "w") as out:
            out.write(directory_data.embedded_ldif())
    return _fixture_file


class RoadsMatchLinux(unittest.TestCase):
    side = "windows"  # the DLL whose answers are checked

    def check(self, ldif, roads):
        for road in roads:
            with self.subTest(road=road.name):
                windows_code, windows = call(self.side, ldif, road.sql, road.faults)
                linux_code, linux = call("linux", ldif, road.sql, road.faults)
                self.assertEqual(comparable(windows),
                                 comparable(with_windows_descriptions(linux, road.describes, self.side)), road.sql)
                self.assertEqual(windows_code, linux_code, road.sql)
                self.assertEqual(windows[-1]["event"], "return")
                if road.returns is not None:
                    self.assertEqual(windows[-1]["value"], road.returns, windows[:3])
                # Every road ends with one done and the return value; an
                # answer is rows or one message, never both.
                kinds = [e["event"] for e in windows]
                self.assertEqual(kinds[-2:], ["done", "return"], road.sql)
                self.assertFalse("row" in kinds and "message" in kinds, road.sql)

    def test_sample_directory(self):
        self.check(CORP_LDIF, CORP_ROADS)

    def test_integration_fixture(self):
        self.check(fixture_ldif(), FIXTURE_ROADS)

    def test_every_road_is_exercised(self):
        # The catalogue keeps each road: rows from search, object, members
        # and children, and failures from parameters and faults.
        roads = CORP_ROADS + FIXTURE_ROADS
        for scope in ("GET_GROUP_MEMBERS", "GET_CHILD_OBJECTS", "GET_OBJECT_LIST"):
            self.assertTrue(any(scope in r.sql and r.returns == 0 for r in roads), scope)
        self.assertTrue(any(r.name.startswith("object") and r.returns == 0 for r in roads))
        self.assertTrue(any(r.name.startswith("search") and r.returns == 0 for r in roads))
        self.assertGreaterEqual(sum(1 for r in roads if r.faults), 8)


# The directory's own schema in the forms servers write (a list of names, a
# length bound, a quoted syntax as Active Directory gives it, a supertype,
# no OID, escapes, tabs, lower-case keywords): both builds read it with the
# same reader, so the types and the refusals are the same.
SCHEMA_LDIF = """dn: cn=Subschema
objectClass: top
objectClass: subschema
cn: Subschema
attributeTypes: ( 1.3.6.1.4.1.32473.9.1 NAME ( 'qxCount' 'qxTally' ) DESC 'a count\\27s value' EQUALITY integerMatc
 h SYNTAX 1.3.6.1.4.1.1466.115.121.1.27{10} SINGLE-VALUE X-ORIGIN ( 'tests' 'roads' ) )
attributeTypes: ( 1.3.6.1.4.1.32473.9.2 NAME 'qxFlag' SYNTAX '1.3.6.1.4.1.1466.115.121.1.7' SINGLE-VALUE NO-USER-MODIFICATION )
attributeTypes: (1.3.6.1.4.1.32473.9.3 NAME 'qxBoss' SUP manager)
attributeTypes: ( NAME 'qxWhen'\tsyntax 1.3.6.1.4.1.1466.115.121.1.24 usage userApplications )

dn: dc=schema,dc=test
objectClass: top
objectClass: domain
dc: schema
qxCount: 42
qxFlag: TRUE
qxBoss: cn=Boss,dc=schema,dc=test
qxWhen: 20240102030405Z
qxPlain: TRUE
"""
SCHEMA_ROADS = [
    Road("object, types from the directory's schema",
         "EXEC quarlix 'LDAP://dc=schema,dc=test', '', 'qxCount,qxFlag,qxBoss,qxWhen,qxPlain'", returns=0),
    Road("search, types from the directory's schema",
         "EXEC quarlix 'LDAP://dc=schema,dc=test', '(qxCount=42)', 'qxCount,qxFlag,qxBoss,qxWhen,qxPlain'", returns=0),
]
# Definitions that do not parse: the host names the line and the fault.
REFUSED_SCHEMAS = [
    "( 1.2.3 NAME 'x' SYNTAX",
    "( 1.2.3 NAME 'x' NAME 'y' )",
    "( 1.2.3 NAME 'x' USAGE everyone )",
    "( 1.2.3 SYNTAX 1.2{x} )",
    "( 1.2.3 NAME 'x' ) ( 1.2.4 NAME 'y' )",
]


class SchemaFormsMatchLinux(unittest.TestCase):
    side = "windows"
    check = RoadsMatchLinux.check

    def ldif(self, text):
        handle, path = tempfile.mkstemp(suffix=".ldif", prefix="schema-", dir=os.environ.get("QX_TMP"))
        with os.fdopen(handle, "w") as out:
            out.write(text)
        self.addCleanup(os.unlink, path)
        return path

    def test_types_learned_from_the_schema(self):
        ldif = self.ldif(SCHEMA_LDIF)
        self.check(ldif, SCHEMA_ROADS)
        # The same text is a Boolean where the schema says so, a string where
        # it says nothing.
        _, answer = call("linux", ldif, SCHEMA_ROADS[0].sql)
        cells = [e for e in answer if e["event"] == "row"][0]["cells"]
        self.assertNotEqual(bytes.fromhex(cells[1]), b"TRUE")
        self.assertEqual(bytes.fromhex(cells[4]), b"TRUE")

    @staticmethod
    def reason(stderr):
        """The reason after the file and line the host names."""
        return stderr.decode(errors="replace").strip().rpartition(":3: ")[2]

    def test_refused_definitions(self):
        for definition in REFUSED_SCHEMAS:
            with self.subTest(definition=definition):
                ldif = self.ldif("dn: cn=Subschema\ncn: Subschema\nattributeTypes: %s\n\n"
                                 "dn: dc=test\ndc: test\nobjectClass: domain\n" % definition)
                sql = "EXEC quarlix 'LDAP://dc=test'"
                options = ["--format", "events", "--directory", ldif, "-Q", sql]
                windows = run([os.environ["QX_WINE"], os.environ["QX_WIN_EXEC"], *options])
                linux = run([os.environ["QX_LINUX_EXEC"], *options])
                self.assertNotEqual(linux[0], 0, linux)
                self.assertEqual(windows[0], linux[0], (windows, linux))
                self.assertTrue(self.reason(linux[2]).startswith("attribute type definition does not parse ("), linux)
                self.assertEqual(self.reason(windows[2]), self.reason(linux[2]))


def generalized_time_to_date(text):
    """An LDAP GeneralizedTime as an OLE Automation DATE (days since
    1899-12-30, the fraction the time of day)."""
    match = re.match(r"^(\d{14})(?:\.(\d+))?Z$", text)
    moment = datetime.datetime.strptime(match.group(1), "%Y%m%d%H%M%S")
    fraction = float("0." + match.group(2)) if match.group(2) else 0.0
    delta = moment - datetime.datetime(1899, 12, 30)
    return delta.days + (delta.seconds + fraction) / 86400.0


def date_cells():
    """(LDIF file, entry, attribute) of the dates DatesAreWinesOwn reads."""
    alice = "CN=Alice Smith,OU=Sales,OU=Staff," + CORP
    return [(CORP_LDIF, alice, "whenCreated"), (CORP_LDIF, alice, "whenChanged"),
            (fixture_ldif(), directory_data.TYPED, "qxTime")]


def date_query(dn, attribute):
    return "EXEC quarlix 'LDAP://%s', '', '%s'" % (dn, attribute)


def date_of(ldif, dn, attribute):
    return generalized_time_to_date(ldif_value(ldif, dn, attribute))


def ldif_value(ldif, dn, attribute):
    with open(ldif, encoding="utf-8") as f:
        blocks = f.read().split("\n\n")
    for block in blocks:
        lines = block.replace("\n ", "").splitlines()
        if lines and lines[0] == "dn: " + dn:
            for line in lines:
                if line.lower().startswith(attribute.lower() + ": "):
                    return line.split(": ", 1)[1]
    raise AssertionError("%s has no %s in %s" % (dn, attribute, ldif))


class DatesAreWinesOwn(unittest.TestCase):
    """The text of a date property is the platform's VariantChangeType of the
    DATE the store hands out: under Wine it must be Wine's own."""
    side = "windows"

    def assertDateCell(self, ldif, dn, attribute):
        code, answer = call(self.side, ldif, date_query(dn, attribute))
        self.assertEqual(code, 0, answer[:3])
        cell = bytes.fromhex([e for e in answer if e["event"] == "row"][0]["cells"][0])
        date = date_of(ldif, dn, attribute)
        wine = calls(self.side, "date", repr(date))[0]
        self.assertEqual(cell, wine, (dn, attribute, date))
        return cell

    def test_sample_dates(self):
        created, changed = [self.assertDateCell(*cell) for cell in date_cells()[:2]]
        self.assertNotEqual(created, changed)

    def test_fraction_of_a_second(self):
        # qxTime carries a fraction (.250): still the second Wine writes.
        self.assertDateCell(*date_cells()[2])


def tearDownModule():
    if _fixture_file:
        os.unlink(_fixture_file)


if __name__ == "__main__":
    unittest.main(verbosity=2)
