#!/usr/bin/env python3
"""Writes the hand-made seed inputs of every fuzz target into
corpus/<target>/seed-*: one input per meaningful case, in each target's input
encoding (see the comment at the top of each target). Run it again after
changing an encoding; libFuzzer's merge (run.sh --merge) keeps the corpus
small."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
seeds = {}


def add(target, name, data):
    seeds.setdefault(target, []).append((name, data))


def u16(n):
    return struct.pack("<H", n)


def u32(n):
    return struct.pack("<I", n & 0xFFFFFFFF)


def u64(n):
    return struct.pack("<Q", n & 0xFFFFFFFFFFFFFFFF)


def sized8(b):
    return bytes([len(b)]) + b


def sized16(b):
    return u16(len(b)) + b


def wide(text):  # sized8 of UTF-16LE
    return sized8(text.encode("utf-16-le"))


# --- procedure_call: header, [fault], [limit], count, parameters -----------
NAMES = ["@adspath", "@filter", "@field_names", "@scope"]
FAULTS = ["ADsGetObject", "IADs::GetInfo", "IADs::get_Name", "IADs::get_Class", "IADs::get_GUID",
          "IADs::get_ADsPath", "IADs::get_Parent", "IADs::get_Schema",
          "IADs::QueryInterface(IADsContainer)", "IADs::QueryInterface(IADsGroup)",
          "IADs::QueryInterface(IADsPropertyList)", "IADs::QueryInterface(IADsObjectOptions)",
          "IADs::QueryInterface(IDirectorySearch)", "IEnumVARIANT::QueryInterface(IEnumVARIANT)",
          "IADsPropertyEntry::QueryInterface(IADsPropertyEntry)",
          "IADsPropertyValue::QueryInterface(IADsPropertyValue)",
          "IADsLargeInteger::QueryInterface(IADsLargeInteger)", "IADsObjectOptions::SetOption",
          "IADsContainer::put_Filter", "IADsContainer::get__NewEnum", "IADsGroup::Members",
          "IADsMembers::get__NewEnum", "IEnumVARIANT::Next", "IEnumVARIANT::Next:notDispatch",
          "IADsPropertyList::Next", "IADsPropertyList::GetPropertyItem", "IADsPropertyEntry::get_Name",
          "IADsPropertyEntry::get_ADsType", "IADsPropertyEntry::get_Values",
          "IADsPropertyEntry::get_Values:notArray", "IADsPropertyEntry::get_Values:oddElement",
          "IADsPropertyValue::get_ADsType", "IADsPropertyValue::get_CaseIgnoreString",
          "IADsPropertyValue::get_DNString", "IADsPropertyValue::get_Boolean",
          "IADsPropertyValue::get_Integer", "IADsPropertyValue::get_OctetString",
          "IADsPropertyValue::get_LargeInteger", "IADsPropertyValue::get_UTCTime",
          "IDirectorySearch::SetSearchPreference", "IDirectorySearch::ExecuteSearch",
          "IDirectorySearch::GetNextRow", "IDirectorySearch::GetNextColumnName",
          "IDirectorySearch::GetColumn", "IDirectorySearch::CloseSearchHandle"]
RESULTS = ["S_OK", "S_FALSE", "E_FAIL", "E_OUTOFMEMORY", "E_POINTER", "E_NOINTERFACE", "NO_OBJECT",
           "NOT_OPERATIONAL", "BAD_PATH", "FACILITY8", "NOMORE_ROWS", "NOMORE_COLUMNS"]


def param(value=None, name=None, null=False, type_=None, char=False, upper=False):
    flags = 0
    out = b""
    if name is not None:
        flags |= 1
        if name in NAMES:
            flags |= 2
            out += bytes([NAMES.index(name)])
        else:
            out += sized8(name.encode())
        if upper:
            flags |= 32
    if type_ is not None:
        flags |= 4
        out += bytes([type_])
    elif char:
        flags |= 8
    if null or value is None:
        flags |= 16
    else:
        out += sized16(value if isinstance(value, bytes) else value.encode("utf-8"))
    return bytes([flags]) + out


def call(*params, fault=None, skip=0, result="E_FAIL", allocations=None):
    header = (1 if fault else 0) | (2 if allocations is not None else 0)
    out = bytes([header])
    if fault:
        out += bytes([FAULTS.index(fault), RESULTS.index(result), skip])
    if allocations is not None:
        out += u16(allocations)
    return out + bytes([len(params)]) + b"".join(params)


ROOT_DN = "DC=fuzz,DC=example"
ANN = "LDAP://CN=Ann Archer,OU=People," + ROOT_DN
PEOPLE = "LDAP://OU=People," + ROOT_DN
OUTER = "LDAP://CN=Outer,OU=Groups," + ROOT_DN
SEARCH = "LDAP://" + ROOT_DN
P = param

add("procedure_call_fuzzer", "no-parameters", call())
add("procedure_call_fuzzer", "search-fields", call(P(SEARCH), P("(objectClass=user)"), P("cn,mail,objectGUID,lastLogon,whenCreated")))
add("procedure_call_fuzzer", "search-all", call(P(SEARCH), P("(objectClass=*)")))
add("procedure_call_fuzzer", "search-chain", call(P(SEARCH), P("(memberOf:1.2.840.113556.1.4.1941:=CN=Outer,OU=Groups,DC=fuzz,DC=example)"), P("cn,ADsPath")))
add("procedure_call_fuzzer", "search-nothing", call(P(SEARCH), P("(cn=nobody)"), P("*")))
add("procedure_call_fuzzer", "search-bad-filter", call(P(SEARCH), P("(cn=a"), P("cn")))
add("procedure_call_fuzzer", "object-list", call(P(ANN)))
add("procedure_call_fuzzer", "object-fields", call(P(ANN), P(""), P("cn,telephoneNumber,userAccountControl,lastLogon,objectGUID,whenCreated,isCriticalSystemObject"), P("GET_OBJECT_LIST")))
add("procedure_call_fuzzer", "group-members", call(P(OUTER), P(""), P("cn,member"), P("GET_GROUP_MEMBERS")))
add("procedure_call_fuzzer", "members-not-group", call(P(ANN), P(""), P("*"), P("get_group_members")))
add("procedure_call_fuzzer", "children", call(P(PEOPLE), P(""), P("*"), P("GET_CHILD_OBJECTS")))
add("procedure_call_fuzzer", "children-class", call(P("GC://OU=Groups," + ROOT_DN), P("group"), P("cn"), P("GET_CHILD_OBJECTS")))
add("procedure_call_fuzzer", "named", call(P("GET_CHILD_OBJECTS", "@scope"), P("name", "@field_names"), P(SEARCH, "@adspath", upper=True)))
add("procedure_call_fuzzer", "named-no-path", call(P("(cn=*)", "@filter")))
add("procedure_call_fuzzer", "unknown-name", call(P(SEARCH, "@path"), P("x", "@other")))
add("procedure_call_fuzzer", "nvarchar", call(P("L\0D\0A\0P\0".encode(), type_=0xE7)))
add("procedure_call_fuzzer", "char", call(P(ANN, char=True), P(" ", char=True)))
add("procedure_call_fuzzer", "too-long", call(P("L" * 512)))
add("procedure_call_fuzzer", "longest", call(P("LDAP://" + "x" * 504), P("(cn=" + "a" * 400 + ")")))
add("procedure_call_fuzzer", "five-positional", call(P(SEARCH), P(""), P("*"), P("GET_OBJECT_LIST"), P("extra")))
add("procedure_call_fuzzer", "bad-scope", call(P(ANN), P(""), P("*"), P("EVERYTHING")))
add("procedure_call_fuzzer", "null-path", call(P(null=True)))
add("procedure_call_fuzzer", "null-fields", call(P(ANN), P(null=True), P(null=True)))
add("procedure_call_fuzzer", "empty-columns", call(P(SEARCH), P("(cn=*)"), P("cn,,cn,")))
add("procedure_call_fuzzer", "zero-bytes", call(P(b"LDAP://\0DC=fuzz"), P(b"(cn=\0)")))
add("procedure_call_fuzzer", "other-provider", call(P("WinNT://fuzz/Administrator")))
add("procedure_call_fuzzer", "other-server", call(P("LDAP://unknown.invalid/" + ROOT_DN), P("(cn=*)")))
add("procedure_call_fuzzer", "high-bytes", call(P("LDAP://CN=J\xfcrgen M\xfcller,OU=People," + ROOT_DN)))
for i, fault in enumerate(FAULTS):
    road = [P(SEARCH), P("(objectClass=user)"), P("*")] if "Search" in fault else \
           [P(OUTER), P(""), P("*"), P("GET_GROUP_MEMBERS")] if "Members" in fault or "Group" in fault or "Enum" in fault else \
           [P(PEOPLE), P(""), P("*"), P("GET_CHILD_OBJECTS")] if "Container" in fault else \
           [P(ANN), P(""), P("*")]
    add("procedure_call_fuzzer", "fault-%02d" % i, call(*road, fault=fault, skip=i % 3, result=RESULTS[i % len(RESULTS)]))
for n in (0, 3, 40, 200):
    add("procedure_call_fuzzer", "allocations-%d" % n, call(P(ANN), allocations=n))
    add("procedure_call_fuzzer", "allocations-search-%d" % n, call(P(SEARCH), P("(cn=*)"), allocations=n))

# --- filter: mode byte, then the filter -----------------------------------
FILTERS = [
    "(objectClass=*)", "(&(objectClass=user)(cn=A*))", "(|(cn=Inner)(cn=Outer))", "(!(mail=*))",
    "cn=Inner", "(cn~=annarcher)", "(cn>=M)", "(cn<=B)", "(sn=*ll*r)", "(cn=*)", "(cn=J\\c3\\bcrgen*)",
    "(userAccountControl:1.2.840.113556.1.4.803:=2)", "(userAccountControl:1.2.840.113556.1.4.804:=514)",
    "(memberOf:1.2.840.113556.1.4.1941:=CN=Outer,OU=Groups,DC=fuzz,DC=example)",
    "(member:1.2.840.113556.1.4.1941:=CN=Ann Archer,OU=People,DC=fuzz,DC=example)",
    "(whenCreated>=20000101000000.0Z)", "(lastLogon<=0)", "(lastLogon>=132514560000000000)",
    "(groupType=-2147483646)", "(isCriticalSystemObject=TRUE)",
    "(objectGUID=\\00\\01\\02\\03\\04\\05\\06\\07\\08\\09\\0a\\0b\\0c\\0d\\0e\\0f)",
    "(objectCategory=person)", "(ou:dn:=People)", "(:dn:2.5.13.5:=People)", "(cn:caseExactMatch:=Inner)",
    "(description=*\\28parens\\29*)", "(&)", "(|)", "(!(&))", "( & (cn=a) ( cn = b ) )",
    "(wellKnownObjects=B:32:AA312825768811D1ADED00C04FD8D5CD:CN=Computers,DC=fuzz,DC=example)",
    "(cn=a", "(cn=a))", "((cn=a))", "(cn=(a)", "(cn=\\2)", "(:=x)", "(cn:1.2.3:=x)", "(=x)", "(cn=a*b**c)",
    "(" * 300 + "cn=a" + ")" * 300,
]
for i, f in enumerate(FILTERS):
    add("filter_fuzzer", "filter-%02d" % i, bytes([2 + (i % 4) * 4]) + f.encode("utf-8"))
add("filter_fuzzer", "utf16", bytes([0x12]) + "(cn=J\u00fcrgen M\u00fcller)".encode("utf-16-le"))
add("filter_fuzzer", "surrogate", bytes([0x12]) + "(cn=".encode("utf-16-le") + b"\x00\xd8" + ")".encode("utf-16-le"))
add("filter_fuzzer", "one-level", bytes([1]) + b"(objectClass=*)")
add("filter_fuzzer", "base", bytes([0]) + b"(dc=fuzz)")

# --- ldif: the text itself ------------------------------------------------
fuzz_directory = open(os.path.join(HERE, "support", "fuzz_directory.cpp"), encoding="utf-8").read()
start = fuzz_directory.index('R"(') + 3
add("ldif_fuzzer", "fuzz-directory", fuzz_directory[start:fuzz_directory.index(')";', start)].encode())
corp = open(os.path.join(ROOT, "samples", "corp.ldif"), "rb").read().split(b"\n\n")
add("ldif_fuzzer", "corp-head", b"\n\n".join(corp[:16]) + b"\n")
add("ldif_fuzzer", "schema", b"""dn: cn=schema
objectClass: subschema
attributeTypes: ( 1.9.1 NAME 'badge' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )
attributeTypes: ( 1.9.2 NAME ( 'code' 'codeAlias' ) EQUALITY caseExactMatch
  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
attributeTypes: ( 1.9.3 NAME 'zip' SYNTAX 1.3.6.1.4.1.1466.115.121.1.36 )
attributeTypes: ( 1.9.5 NAME 'seen' SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 )
attributeTypes: ( 1.9.6 NAME 'flag' SYNTAX 1.3.6.1.4.1.1466.115.121.1.7 )
attributeTypes: ( 1.9.7 NAME 'blob' SYNTAX 1.3.6.1.4.1.1466.115.121.1.40 )
attributeTypes: ( 1.9.8 NAME 'ref' SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )

dn: dc=t
objectClass: domain
dc: t
badge: 42
code: AbC
zip: 12345
seen: 20240229235959Z
flag: TRUE
blob:: AAECAw==
ref: dc=t

dn: cn=attr,dc=t
objectClass: attributeSchema
lDAPDisplayName: shoeSize
attributeSyntax: 2.5.5.9

dn: cn=p,dc=t
objectClass: user
shoeSize: 44
""")
add("ldif_fuzzer", "crlf-folded", b"# a comment\r\n# folded comment\r\n  goes on\r\nversion: 1\r\n\r\n"
    b"dn: DC=t\r\nobjectClass: domain\r\n\r\ndn:: Q049SsO8cmdlbixEQz10\r\nobjectClass: user\r\n"
    b"description: a long\r\n  value fol\r\n ded\r\n  twice\r\ncn:: SsO8cmdlbg==\r\nmail:\r\n")
add("ldif_fuzzer", "dn-values", b"dn: DC=t\nobjectClass: domain\n\ndn: CN=g,DC=t\nobjectClass: group\n"
    b"member: CN=g,DC=t\nmanagedBy: DC=t\nwellKnownObjects: B:32:AA312825768811D1ADED00C04FD8D5CD:CN=g,DC=t\n"
    b"msExchShadowProxyAddresses: S:3:abc:DC=t\nobjectSid:: AQUAAAAAAAUVAAAA\nnTSecurityDescriptor:: AQAEgA==\n")
add("ldif_fuzzer", "duplicate", b"dn: DC=t\n\ndn: CN=a,DC=t\n\ndn: cn=A , dc=T\n")
add("ldif_fuzzer", "change-record", b"dn: DC=t\nchangetype: add\n")
add("ldif_fuzzer", "bad-base64", b"dn: DC=t\ncn:: not*base64\n")
add("ldif_fuzzer", "escaped-dn", b"dn: CN=a\\,b+SN=c\\2B,DC=t\nobjectClass: user\n\ndn: DC=t\nobjectClass: domain\n")

# --- search_value: code, count, own-types flag, values --------------------
def sv(code, count, values, own=0):
    return bytes([code, count, own]) + values


W = wide
add("search_value_fuzzer", "strings", sv(3, 3, b"\x01" + W("J\u00fcrgen") + b"\x01" + W("b") + b"\x01" + W("c")))
add("search_value_fuzzer", "dn", sv(1, 1, b"\x01" + W("CN=a,DC=b")))
add("search_value_fuzzer", "boolean", sv(6, 1, u32(2)))
add("search_value_fuzzer", "integer", sv(7, 1, u32(0xFFFFFFFF)))
add("search_value_fuzzer", "octets", sv(8, 1, sized16(b"\x00\x01\x02\x03")))
add("search_value_fuzzer", "time", sv(9, 1, b"".join(u16(x) for x in (2011, 3, 2, 1, 14, 5, 9, 250))))
add("search_value_fuzzer", "time-1601", sv(9, 1, b"".join(u16(x) for x in (1601, 1, 1, 1, 0, 0, 0, 0))))
add("search_value_fuzzer", "time-3001", sv(9, 1, b"".join(u16(x) for x in (3001, 1, 1, 1, 0, 0, 0, 0))))
add("search_value_fuzzer", "large", sv(10, 1, u64(-1)))
add("search_value_fuzzer", "list", sv(13, 1, b"\x02" + b"\x01" + W("a") + b"\x01" + W("b")))
add("search_value_fuzzer", "octet-list", sv(14, 1, b"\x02" + sized16(b"ab") + sized16(b"\x00")))
add("search_value_fuzzer", "path", sv(15, 1, b"\x01" + u32(1) + b"\x01" + W("vol") + b"\x01" + W("/p")))
add("search_value_fuzzer", "postal", sv(16, 1, b"\x01" + b"\x01" + W("l1") + b"\x00" + b"\x01" + W("l3") + b"\x00\x00\x00"))
add("search_value_fuzzer", "replica", sv(22, 1, b"\x01\x01" + W("srv") + u32(1) + u32(2) + u32(3) + b"\x01" + u32(4) + sized16(b"addr")))
add("search_value_fuzzer", "dn-binary", sv(27, 1, b"\x01" + sized16(bytes(range(16))) + b"\x01" + W("CN=x")))
add("search_value_fuzzer", "dn-binary-short", sv(27, 1, b"\x01" + sized16(b"\xab\xcd") + b"\x01" + W("CN=x")))
add("search_value_fuzzer", "dn-string", sv(28, 1, b"\x01" + b"\x01" + W("CN=x") + b"\x01" + W("value")))
for code in (0, 11, 12, 17, 18, 19, 20, 21, 23, 24, 25, 26, 29, 40):
    add("search_value_fuzzer", "code-%02d" % code, sv(code, 1, b"\x01" + b"\x05" * 40))
add("search_value_fuzzer", "no-values", sv(3, 0, b"\x01"))
add("search_value_fuzzer", "own-types", sv(8, 2, b"\x03" + sized16(b"xyz") + b"\x07" + sized16(b"") + b"\x01", own=1))

# --- property_value: entry flag, then a value or an entry -----------------
def pv(type_, flags=0, text="", number=0, octets=b"", date=0, high=0, low=0):
    # flag 0x40: the date is any double (8 bytes), else a day count * 256
    when = u64(date) if flags & 0x40 else u32(date)
    return (bytes([type_, flags]) + W(text) + u32(number) + sized8(octets) + when + u32(high) + u32(low))


add("property_value_fuzzer", "string", b"\x00" + pv(3, text="J\u00fcrgen"))
add("property_value_fuzzer", "string-fails", b"\x00" + pv(1, flags=0x08, text="x"))
add("property_value_fuzzer", "type-fails", b"\x00" + pv(3, flags=0x07))
add("property_value_fuzzer", "boolean", b"\x00" + pv(6, number=5))
add("property_value_fuzzer", "integer", b"\x00" + pv(7, number=-7))
add("property_value_fuzzer", "octets", b"\x00" + pv(8, octets=b"AB\x00C"))
add("property_value_fuzzer", "octets-wrong", b"\x00" + pv(8, flags=0x10, octets=b"AB"))
add("property_value_fuzzer", "date", b"\x00" + pv(9, date=40603 * 256))
add("property_value_fuzzer", "date-nan", b"\x00" + pv(9, flags=0x40, date=0x7FF8000000000000))
add("property_value_fuzzer", "date-far", b"\x00" + pv(9, flags=0x40, date=0x7FEFFFFFFFFFFFFF))
add("property_value_fuzzer", "large", b"\x00" + pv(10, high=0, low=0xFFFFFFFF))
add("property_value_fuzzer", "large-missing", b"\x00" + pv(10, flags=0x20))
for t in (0, 11, 12, 25, 26, 28, 31):
    add("property_value_fuzzer", "type-%02d" % t, b"\x00" + pv(t))
add("property_value_fuzzer", "entry-strings", b"\x01\x02\x03\x00" + b"\x00" + W("a") + b"\x00" + W("b") + b"\x00" + W("c"))
add("property_value_fuzzer", "entry-mixed", b"\x01\x02\x04\xfe" + b"\x00" + W("a") + b"\x04" + u32(9) + b"\x01" + pv(7, number=3) + b"\x02")
add("property_value_fuzzer", "entry-null-dispatch", b"\x01\x02\x02\x00\x03\x05")
add("property_value_fuzzer", "entry-one-string", b"\x01\x01" + W("single"))
add("property_value_fuzzer", "entry-fails", b"\x01\x00")

# --- attribute_type: the description itself --------------------------------
ATTRIBUTE_TYPES = [
    "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'RFC4519: common name(s)' SUP name )",
    "( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch "
    "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )",
    "( 2.5.18.1 NAME 'createTimestamp' EQUALITY generalizedTimeMatch ORDERING generalizedTimeOrderingMatch "
    "SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE NO-USER-MODIFICATION USAGE directoryOperation )",
    "( 1.2.840.113556.1.4.221 NAME 'sAMAccountName' SYNTAX '1.3.6.1.4.1.1466.115.121.1.15' SINGLE-VALUE )",
    "( 2.5.4.7.1 NAME 'c-l' SUP l COLLECTIVE OBSOLETE X-ORIGIN ( 'RFC 3671' 'x' ) X-ORDERED 'VALUES' )",
    "( NAME 'a\\27b\\5Cc' DESC 'it\\27s' )",
    "(1.2 name('x''y')single-value)",
    "( 1.2 NAME 'x' NAME 'y' )",
    "( 1.2 SYNTAX 1.3{x} )",
    "( 1.2 NAME 'x",
]
for i, text in enumerate(ATTRIBUTE_TYPES):
    add("attribute_type_fuzzer", "definition-%02d" % i, text.encode("utf-8"))

# --- tsql_grammar: mode (0 batch, 1 -Q line, 2 declarations), separator seed, text
TSQL = [
    (0, "SELECT @@MAX_PRECISION\nSET TRANSACTION ISOLATION LEVEL READ COMMITTED\nSET IMPLICIT_TRANSACTIONS OFF\n"
        "SET QUOTED_IDENTIFIER ON\nSET TEXTSIZE 2147483647"),
    (0, "IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION"),
    (0, "EXEC quarlix 'LDAP://DC=corp,DC=example,DC=com', N'(cn=Alice Smith)', @field_names = 'cn', @scope = NULL"),
    (0, "exec master..quarlix @adspath='x';select 1 as one, -2 minus, N'\u00fc' [c d], cast(@@version as varchar(10))"),
    (0, "SELECT name FROM sys.system_views WHERE name IN ('dm_exec_sessions', 'dm_pdw_nodes_exec_sessions')"),
    (0, "SELECT CONVERT(nvarchar(max), SERVERPROPERTY('ProductVersion'), 1), DB_NAME(1), SCOPE_IDENTITY(), @@ROWCOUNT"),
    (0, "USE master; BEGIN TRAN t1 COMMIT TRAN t1 ROLLBACK WORK"),
    (0, "EXEC quarlix 'a' 'b'"),
    (0, "SELECT 1 +"),
    (0, "DECLARE @x int"),
    (1, "EXEC quarlix 'LDAP://a', @filter = '(cn=x)', NULL, N'\u00e9'"),
    (1, "master.dbo.quarlix 'a';"),
    (1, "EXEC quarlix @adspath 'a'"),
    (2, "@P1 nvarchar(4000), @P2 int OUTPUT, @P3 decimal(10, 2)"),
]
for i, (mode, text) in enumerate(TSQL):
    add("tsql_grammar_fuzzer", "text-%02d" % i, bytes([mode, 17 * i + 3]) + text.encode("utf-8"))

for target, items in seeds.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in items:
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)
    print("%s: %d seeds" % (target, len(items)), file=sys.stderr)
