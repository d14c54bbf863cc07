"""The directory the integration tests serve: one LDIF that slapd loads and
the embedded store mounts, and a schema with an attribute type of each syntax
the value formatting names that slapd can hold."""

SUFFIX = "dc=example,dc=com"
PEOPLE = "ou=people," + SUFFIX
PEOPLE_COUNT = 250
ARC = "1.3.6.1.4.1.32473.1"  # the documentation enterprise number (RFC 5612)

# name, syntax OID, equality rule; one attribute type each.
SYNTAXES = [
    ("qxBoolean", "1.3.6.1.4.1.1466.115.121.1.7", "booleanMatch"),
    ("qxInteger", "1.3.6.1.4.1.1466.115.121.1.27", "integerMatch"),
    ("qxOctets", "1.3.6.1.4.1.1466.115.121.1.40", "octetStringMatch"),
    ("qxTime", "1.3.6.1.4.1.1466.115.121.1.24", "generalizedTimeMatch"),
    ("qxDn", "1.3.6.1.4.1.1466.115.121.1.12", "distinguishedNameMatch"),
    ("qxDirectoryString", "1.3.6.1.4.1.1466.115.121.1.15", "caseIgnoreMatch"),
    ("qxCaseExact", "1.3.6.1.4.1.1466.115.121.1.15", "caseExactMatch"),
    ("qxPrintable", "1.3.6.1.4.1.1466.115.121.1.44", "caseIgnoreMatch"),
    ("qxNumeric", "1.3.6.1.4.1.1466.115.121.1.36", "numericStringMatch"),
    ("qxIa5", "1.3.6.1.4.1.1466.115.121.1.26", "caseIgnoreIA5Match"),
    ("qxTelephone", "1.3.6.1.4.1.1466.115.121.1.50", "telephoneNumberMatch"),
    ("qxOid", "1.3.6.1.4.1.1466.115.121.1.38", "objectIdentifierMatch"),
    ("qxPostalAddress", "1.3.6.1.4.1.1466.115.121.1.41", "caseIgnoreListMatch"),
    ("qxNameUid", "1.3.6.1.4.1.1466.115.121.1.34", "uniqueMemberMatch"),
]

ATTRIBUTE_TYPES = ["( %s.1.%d NAME '%s' EQUALITY %s SYNTAX %s )" % (ARC, i + 1, name, rule, syntax)
                   for i, (name, syntax, rule) in enumerate(SYNTAXES)]
OBJECT_CLASS = "( %s.2.1 NAME 'qxTyped' AUXILIARY MAY ( %s ) )" % (
    ARC, " $ ".join(name for name, _, _ in SYNTAXES))

# slapd.conf form.
SLAPD_SCHEMA = "".join("attributetype %s\n" % t for t in ATTRIBUTE_TYPES) + "objectclass %s\n" % OBJECT_CLASS

# The embedded store learns the same types from a subschema entry.
SUBSCHEMA_RECORD = "dn: cn=Subschema\nobjectClass: top\nobjectClass: subentry\nobjectClass: subschema\ncn: Subschema\n" + \
    "".join("attributeTypes: %s\n" % t for t in ATTRIBUTE_TYPES) + "\n"

TYPED = "cn=typed,ou=mixed," + SUFFIX
GROUP = "cn=staff,ou=groups," + SUFFIX
UNIQUE_GROUP = "cn=owners,ou=groups," + SUFFIX
MANY = "cn=many,ou=groups," + SUFFIX  # every person, last first
MIXED = "ou=mixed," + SUFFIX
SECRET = "cn=hidden,ou=secret," + SUFFIX
EDGES = "ou=edges," + SUFFIX
# One name written with a backslash escape, one with a hex pair (as OpenLDAP
# writes it); the group names each the other way.
SMITH = "cn=Smith\\, John," + EDGES
JONES = "cn=Jones\\2C Ann," + EDGES
COMMAS = "cn=commas," + EDGES
# RFC 4517 INTEGERs outside 32 bits.
BIG_NUMBERS = "uid=big," + EDGES
READER = "cn=reader," + SUFFIX
READER_PASSWORD = "readerpw"


def person_dn(i):
    return "cn=User %03d,%s" % (i, PEOPLE)


def person(i, parent=PEOPLE, name=None):
    name = name or "User %03d" % i
    # Every seventh person has no mail: NULL cells and narrower widths.
    mail = "" if i % 7 == 3 else "mail: user%03d@example.com\n" % i
    return ("dn: cn=%s,%s\nobjectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\n"
            "objectClass: inetOrgPerson\ncn: %s\nsn: Number%03d\n%suid: u%03d\ntelephoneNumber: +1 555 %04d\n\n"
            % (name, parent, name, i, mail, i, i))


def data_ldif():
    parts = [
        "dn: %s\nobjectClass: top\nobjectClass: dcObject\nobjectClass: organization\ndc: example\no: Example\n\n" % SUFFIX,
        "dn: %s\nobjectClass: top\nobjectClass: organizationalRole\nobjectClass: simpleSecurityObject\n"
        "cn: reader\nuserPassword: %s\n\n" % (READER, READER_PASSWORD),
        "dn: %s\nobjectClass: top\nobjectClass: organizationalUnit\nou: people\n\n" % PEOPLE,
    ]
    parts += [person(i) for i in range(PEOPLE_COUNT)]
    parts.append("dn: ou=groups,%s\nobjectClass: top\nobjectClass: organizationalUnit\nou: groups\n\n" % SUFFIX)
    parts.append("dn: %s\nobjectClass: top\nobjectClass: groupOfNames\ncn: staff\ndescription: Staff\n"
                 "member: %s\nmember: %s\nmember: cn=ghost,%s\nmember: %s\n\n"
                 % (GROUP, person_dn(10), person_dn(3), PEOPLE, person_dn(200)))
    parts.append("dn: %s\nobjectClass: top\nobjectClass: groupOfNames\ncn: many\n%s\n"
                 % (MANY, "".join("member: %s\n" % person_dn(i) for i in reversed(range(PEOPLE_COUNT)))))
    parts.append("dn: %s\nobjectClass: top\nobjectClass: groupOfUniqueNames\ncn: owners\n"
                 "uniqueMember: %s\nuniqueMember: %s\n\n" % (UNIQUE_GROUP, person_dn(1), person_dn(2)))
    parts.append("dn: %s\nobjectClass: top\nobjectClass: organizationalUnit\nou: mixed\n\n" % MIXED)
    parts.append(person(900, MIXED, "Mixed Person A"))
    parts.append("dn: ou=sub,%s\nobjectClass: top\nobjectClass: organizationalUnit\nou: sub\n"
                 "description: inner\n\n" % MIXED)
    parts.append("dn: cn=team,%s\nobjectClass: top\nobjectClass: groupOfNames\ncn: team\nmember: %s\n\n"
                 % (MIXED, person_dn(0)))
    parts.append(person(901, MIXED, "Mixed Person B"))
    parts.append(
        "dn: %s\nobjectClass: top\nobjectClass: device\nobjectClass: qxTyped\ncn: typed\n"
        "qxBoolean: TRUE\nqxInteger: -7\nqxInteger: 42\nqxOctets:: QUIAQw==\n"
        "qxTime: 20110301140509.250Z\nqxDn: %s\nqxDirectoryString: Directory  String\n"
        "qxCaseExact: Case Exact\nqxCaseExact: second\nqxPrintable: Printable 1\nqxNumeric: 12 345\n"
        "qxIa5: ia5@example.com\nqxTelephone: +1 555 0100\nqxOid: 1.2.3.4\n"
        "qxPostalAddress: 1 Main St$Springfield\nqxNameUid: %s#'0101'B\n\n" % (TYPED, person_dn(1), person_dn(2)))
    parts.append("dn: %s\nobjectClass: top\nobjectClass: organizationalUnit\nou: edges\n\n" % EDGES)
    parts.append("dn: %s\nobjectClass: person\ncn: Smith, John\nsn: Smith\n\n" % SMITH)
    parts.append("dn: %s\nobjectClass: person\ncn: Jones, Ann\nsn: Jones\n\n" % JONES)
    parts.append("dn: %s\nobjectClass: groupOfNames\ncn: commas\nmember: %s\nmember: %s\n\n"
                 % (COMMAS, SMITH.replace("\\,", "\\2c"), JONES.replace("\\2C", "\\,")))
    parts.append("dn: %s\nobjectClass: account\nobjectClass: posixAccount\nuid: big\ncn: big\n"
                 "uidNumber: 4294967296\ngidNumber: 2147483648\nhomeDirectory: /home/big\n\n" % BIG_NUMBERS)
    parts.append("dn: ou=secret,%s\nobjectClass: top\nobjectClass: organizationalUnit\nou: secret\n\n" % SUFFIX)
    parts.append("dn: %s\nobjectClass: top\nobjectClass: device\ncn: hidden\ndescription: only for some\n\n" % SECRET)
    return "".join(parts)


def embedded_ldif():
    return SUBSCHEMA_RECORD + data_ldif()


def access_rules(peer_dn):
    """Anonymous reads all but ou=secret, which the reader and the ldapi://
    peer (SASL EXTERNAL) may read."""
    return ('access to dn.subtree="ou=secret,%s"\n  by dn.exact="%s" read\n  by dn.exact="%s" read\n'
            "  by * none\n"
            "access to attrs=userPassword\n  by anonymous auth\n  by * none\n"
            "access to *\n  by * read\n" % (SUFFIX, peer_dn, READER))
