#!/usr/bin/env python3
"""Writes samples/corp.ldif: a small company's directory in Active Directory
style, under DC=corp,DC=example,DC=com.

The output depends on nothing but this script: names come from the lists
below and every other value from a fixed pseudo-random sequence, so running
it again gives the same file byte for byte.

    python3 samples/generate_corp_ldif.py > samples/corp.ldif
"""

import base64
import random
import struct
import sys
import zlib

ROOT = "DC=corp,DC=example,DC=com"
DOMAIN = "corp.example.com"
SCHEMA = "CN=Schema,CN=Configuration," + ROOT
FOREVER = 9223372036854775807  # accountExpires: never

rng = random.Random(20110301)

# The domain's SID: S-1-5-21-<three sub-authorities>.
DOMAIN_SUB = [rng.randrange(10**8, 4 * 10**9) for _ in range(3)]
next_rid = [1104]

DEPARTMENTS = [
    # name, head (given, sn, title), titles of the staff, staff count
    ("Sales", ("Alice", "Smith", "Sales Director"),
     ["Account Executive", "Sales Representative", "Sales Engineer"], 60),
    ("Engineering", ("Bob", "Jones", "VP Engineering"),
     ["Software Engineer", "Senior Software Engineer", "QA Engineer", "Site Reliability Engineer"], 80),
    ("Finance", ("Carol", "White", "Chief Financial Officer"),
     ["Accountant", "Financial Analyst", "Payroll Specialist"], 30),
    ("Marketing", ("Dave", "Brown", "Marketing Director"),
     ["Marketing Specialist", "Content Writer", "Designer"], 40),
    ("Human Resources", ("Erin", "Davis", "HR Director"),
     ["HR Generalist", "Recruiter"], 20),
    ("Support", ("Frank", "Miller", "Support Manager"),
     ["Support Engineer", "Customer Success Manager"], 50),
    ("Legal", ("Grace", "Wilson", "General Counsel"),
     ["Paralegal", "Counsel"], 20),
]

# People named in the documentation, after the department heads.
KNOWN_STAFF = [
    ("Engineering", "Jürgen", "Müller", "Principal Engineer"),
    ("Support", "Zoë", "Martin", "Support Engineer"),
]

GIVEN = ["James", "Mary", "John", "Patricia", "Robert", "Jennifer", "Michael", "Linda",
         "William", "Elizabeth", "David", "Barbara", "Richard", "Susan", "Joseph", "Jessica",
         "Thomas", "Sarah", "Charles", "Karen", "Daniel", "Nancy", "Matthew", "Lisa",
         "Anthony", "Betty", "Mark", "Margaret", "Paul", "Sandra", "Steven", "Ashley",
         "Andrew", "Kimberly", "Joshua", "Emily", "Kevin", "Donna", "Brian", "Michelle",
         "George", "Dorothy", "Timothy", "Carol", "Ronald", "Amanda", "Jason", "Melissa"]
SURNAMES = ["Anderson", "Thomas", "Taylor", "Moore", "Jackson", "Martin", "Lee", "Perez",
            "Thompson", "Harris", "Sanchez", "Clark", "Ramirez", "Lewis", "Robinson",
            "Walker", "Young", "Allen", "King", "Wright", "Scott", "Torres", "Nguyen", "Hill",
            "Flores", "Green", "Adams", "Nelson", "Baker", "Hall", "Rivera", "Campbell",
            "Mitchell", "Carter", "Roberts", "Gomez", "Phillips", "Evans", "Turner", "Diaz"]


# ---- value encodings ----

def filetime(year, month, day, hour=0, minute=0, second=0):
    """A Windows FILETIME (100 ns since 1601) as AD's large integers hold it."""
    import datetime
    delta = datetime.datetime(year, month, day, hour, minute, second) - datetime.datetime(1601, 1, 1)
    return (delta.days * 86400 + delta.seconds) * 10**7


def random_filetime(first_year, last_year):
    return filetime(rng.randint(first_year, last_year), rng.randint(1, 12), rng.randint(1, 28),
                    rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59))


def generalized_time(year, month, day, hour, minute, second):
    return "%04d%02d%02d%02d%02d%02d.0Z" % (year, month, day, hour, minute, second)


def random_time(first_year, last_year):
    return generalized_time(rng.randint(first_year, last_year), rng.randint(1, 12),
                            rng.randint(1, 28), rng.randint(0, 23), rng.randint(0, 59),
                            rng.randint(0, 59))


def guid():
    return bytes(rng.getrandbits(8) for _ in range(16))


def sid(*sub_authorities):
    """A binary SID S-1-5-<sub authorities>."""
    return (struct.pack("<BB", 1, len(sub_authorities)) + b"\x00\x00\x00\x00\x00\x05" +
            b"".join(struct.pack("<I", s) for s in sub_authorities))


def domain_sid(rid=None):
    return sid(21, *DOMAIN_SUB) if rid is None else sid(21, *DOMAIN_SUB, rid)


def new_rid():
    next_rid[0] += 1
    return next_rid[0]


def security_descriptor(owner_rid):
    """A small self-relative security descriptor: owner, group, and a DACL
    that grants Authenticated Users read access."""
    owner = domain_sid(owner_rid)
    group = domain_sid(513)
    trustee = sid(11)  # S-1-5-11 Authenticated Users
    ace = struct.pack("<BBHI", 0, 0, 8 + len(trustee), 0x00020094) + trustee
    dacl = struct.pack("<BBHHH", 2, 0, 8 + len(ace), 1, 0) + ace
    header = 20
    return (struct.pack("<BBHIIII", 1, 0, 0x8004, header, header + len(owner), 0,
                        header + len(owner) + len(group)) + owner + group + dacl)


def tiny_png():
    """A 2x2 PNG, for one user's thumbnailPhoto."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    pixels = b"\x00\xff\x00\x00\x00\x00\xff" + b"\x00\x00\x00\xff\xff\xff\xff"
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def ascii_name(text):
    table = {"ä": "ae", "ö": "oe", "ü": "ue", "Ä": "Ae", "Ö": "Oe", "Ü": "Ue", "ß": "ss", "ë": "e"}
    return "".join(table.get(c, c) for c in text)


# ---- LDIF output ----

def ldif_line(name, value):
    """One attribute line, base64 when RFC 2849 does not allow the value as is."""
    if isinstance(value, bytes):
        raw = value
    else:
        raw = str(value).encode("utf-8")
    safe = (raw.isascii() and b"\n" not in raw and b"\r" not in raw and b"\x00" not in raw and
            not raw.startswith((b" ", b":", b"<")) and not raw.endswith(b" "))
    line = "%s: %s" % (name, raw.decode("ascii")) if safe else \
        "%s:: %s" % (name, base64.b64encode(raw).decode("ascii"))
    # Fold at 76 columns; a continuation line starts with one space.
    out = [line[:76]]
    rest = line[76:]
    while rest:
        out.append(" " + rest[:75])
        rest = rest[75:]
    return "\n".join(out)


entries = []  # (dn, [(name, value)]) in file order


def add(dn, attributes):
    entries.append((dn, attributes))
    return dn


def ad_object(dn, classes, category, name, extra, sid_rid=None, critical=False):
    created = random_time(2008, 2016)
    attrs = [("objectClass", c) for c in classes]
    attrs += extra
    attrs += [("distinguishedName", dn), ("instanceType", 4), ("whenCreated", created),
              ("whenChanged", random_time(2017, 2024)),
              ("uSNCreated", rng.randint(5000, 90000)), ("uSNChanged", rng.randint(90001, 400000)),
              ("name", name), ("objectGUID", guid())]
    if sid_rid is not None:
        attrs.append(("objectSid", domain_sid(sid_rid)))
    if critical:
        attrs.append(("isCriticalSystemObject", "TRUE"))
    attrs.append(("objectCategory", "CN=%s,%s" % (category, SCHEMA)))
    return add(dn, attrs)


def container(dn, name, critical=False):
    return ad_object(dn, ["top", "container"], "Container", name, [("cn", name)],
                     critical=critical)


def organizational_unit(dn, name, description=None):
    extra = [("ou", name)]
    if description:
        extra.append(("description", description))
    return ad_object(dn, ["top", "organizationalUnit"], "Organizational-Unit", name, extra)


# ---- the directory ----

def build():
    users_cn = "CN=Users," + ROOT
    staff = "OU=Staff," + ROOT
    groups_ou = "OU=Groups," + ROOT
    computers_ou = "OU=Computers," + ROOT

    add(ROOT, [("objectClass", "top"), ("objectClass", "domain"), ("objectClass", "domainDNS"),
               ("distinguishedName", ROOT), ("instanceType", 5),
               ("whenCreated", generalized_time(2008, 1, 15, 9, 30, 0)),
               ("whenChanged", generalized_time(2024, 6, 1, 12, 0, 0)),
               ("name", "corp"), ("objectGUID", guid()), ("objectSid", domain_sid()),
               ("creationTime", random_filetime(2024, 2024)), ("forceLogoff", -9223372036854775808),
               ("lockoutDuration", -18000000000), ("lockOutObservationWindow", -18000000000),
               ("lockoutThreshold", 0), ("maxPwdAge", -36288000000000), ("minPwdAge", -864000000000),
               ("minPwdLength", 7), ("pwdHistoryLength", 24), ("pwdProperties", 1),
               ("nTSecurityDescriptor", security_descriptor(512)),
               ("wellKnownObjects", "B:32:A9D1CA15768811D1ADED00C04FD8D5CD:" + users_cn),
               ("wellKnownObjects", "B:32:AA312825768811D1ADED00C04FD8D5CD:" + computers_ou),
               ("otherWellKnownObjects", "B:32:683A24E2E8164BD3AF86AC3C2CF3F981:" + groups_ou),
               ("isCriticalSystemObject", "TRUE"), ("msDS-Behavior-Version", 7),
               ("objectCategory", "CN=Domain-DNS," + SCHEMA), ("dc", "corp")])

    container(users_cn, "Users", critical=True)
    entries[-1][1].append(("description", "Default container for upgraded user accounts"))
    entries[-1][1].append(("nTSecurityDescriptor", security_descriptor(512)))
    organizational_unit(staff, "Staff", "Everyone who works here")
    dept_ous = {}
    for dept, _, _, _ in DEPARTMENTS:
        dept_ous[dept] = organizational_unit("OU=%s,%s" % (dept, staff), dept)
    organizational_unit(groups_ou, "Groups")
    organizational_unit(computers_ou, "Computers")

    used_sam = set()
    used_cn = set()
    members = {}  # group dn -> member dns
    member_of = {}  # dn -> group dns

    def user(parent, given, sn, title, dept, manager, number):
        cn = "%s %s" % (given, sn)
        while cn in used_cn:
            cn = "%s %s %d" % (given, sn, rng.randint(2, 99))
        used_cn.add(cn)
        dn = "CN=%s,%s" % (cn.replace(",", "\\,"), parent)
        sam = (ascii_name(given)[0] + ascii_name(sn)).lower()
        base, k = sam, 1
        while sam in used_sam:
            k += 1
            sam = "%s%d" % (base, k)
        used_sam.add(sam)
        mail = "%s.%s@%s" % (ascii_name(given).lower(), ascii_name(sn).lower(), DOMAIN)
        rid = new_rid()
        uac = 514 if number % 23 == 7 else 66048 if number % 11 == 3 else 512
        extra = [("cn", cn), ("sn", sn), ("title", title), ("description", title + ", " + dept),
                 ("givenName", given), ("displayName", cn), ("department", dept),
                 ("company", "Corp Example Inc."),
                 ("telephoneNumber", "+1 555 01%02d %04d" % (number % 100, rng.randint(0, 9999)))]
        if manager:
            extra.append(("manager", manager))
        extra += [("userAccountControl", uac), ("badPwdCount", rng.choice([0, 0, 0, 1, 2])),
                  ("codePage", 0), ("countryCode", 0),
                  ("badPasswordTime", random_filetime(2022, 2024) if number % 5 == 0 else 0),
                  ("lastLogoff", 0),
                  ("pwdLastSet", 0 if number % 29 == 5 else random_filetime(2023, 2024)),
                  ("primaryGroupID", 513),
                  ("accountExpires", 0 if number % 13 == 4 else
                   filetime(2025, rng.randint(1, 12), 1) if number % 41 == 9 else FOREVER),
                  ("logonCount", rng.randint(0, 3000)), ("sAMAccountName", sam),
                  ("sAMAccountType", 805306368), ("userPrincipalName", "%s@%s" % (sam, DOMAIN))]
        if number % 17 != 6:
            extra.append(("lastLogonTimestamp", random_filetime(2024, 2024)))
        if number % 37 != 20:
            extra += [("mail", mail), ("proxyAddresses", "SMTP:" + mail),
                      ("proxyAddresses", "smtp:%s@%s" % (sam, DOMAIN))]
        ad_object(dn, ["top", "person", "organizationalPerson", "user"], "Person", cn, extra,
                  sid_rid=rid)
        return dn

    number = 0
    ceo = user(staff, "Olivia", "Reed", "Chief Executive Officer", "Executive", None, number)
    heads = {}
    by_dept = {dept: [] for dept, _, _, _ in DEPARTMENTS}
    for dept, (given, sn, title), _, _ in DEPARTMENTS:
        number += 1
        heads[dept] = user(dept_ous[dept], given, sn, title, dept, ceo, number)
        by_dept[dept].append(heads[dept])
    # The security descriptor of a user, as a directory shows it to an
    # administrator.
    entries[len(entries) - len(DEPARTMENTS)][1].append(("nTSecurityDescriptor", security_descriptor(512)))
    # The sales director's photo.
    entries[len(entries) - len(DEPARTMENTS)][1].append(("thumbnailPhoto", tiny_png()))
    for dept, given, sn, title in KNOWN_STAFF:
        number += 1
        by_dept[dept].append(user(dept_ous[dept], given, sn, title, dept, heads[dept], number))
    for dept, _, titles, count in DEPARTMENTS:
        while len(by_dept[dept]) < count:
            number += 1
            by_dept[dept].append(user(dept_ous[dept], rng.choice(GIVEN), rng.choice(SURNAMES),
                                      rng.choice(titles), dept, heads[dept], number))

    # Two contacts of the sales team.
    contacts = []
    for given, sn, company in [("Pat", "Partner", "Partner Ltd."), ("Sam", "Supplier", "Supplies Co.")]:
        cn = "%s %s" % (given, sn)
        dn = "CN=%s,%s" % (cn, dept_ous["Sales"])
        mail = "%s.%s@%s" % (given.lower(), sn.lower(), company.split()[0].lower() + ".example")
        ad_object(dn, ["top", "person", "organizationalPerson", "contact"], "Person", cn,
                  [("cn", cn), ("sn", sn), ("givenName", given), ("displayName", cn),
                   ("company", company), ("mail", mail), ("proxyAddresses", "SMTP:" + mail)])
        contacts.append(dn)

    # Groups: departments inside All Staff, Platform Engineers inside
    # Engineering Team, Managers inside VPN Users, and one empty group.
    def group(name, member_list, parent):
        dn = "CN=%s,%s" % (name, parent)
        members[dn] = list(member_list)
        for m in member_list:
            member_of.setdefault(m, []).append(dn)
        return dn

    GLOBAL, DOMAIN_LOCAL, UNIVERSAL = -2147483646, -2147483644, -2147483640
    group_specs = []

    def add_group(name, group_type, member_list, description, parent=groups_ou):
        dn = group(name, member_list, parent)
        group_specs.append((dn, name, group_type, description))
        return dn

    platform = add_group("Platform Engineers", GLOBAL,
                    [m for i, m in enumerate(by_dept["Engineering"]) if i % 5 == 1],
                    "Engineers of the platform team")
    team_dns = []
    for dept, _, _, _ in DEPARTMENTS:
        member_list = list(by_dept[dept])
        if dept == "Engineering":
            member_list.append(platform)
        team_dns.append(add_group(dept + " Team", GLOBAL, member_list, "Everyone in " + dept))
    add_group("All Staff", UNIVERSAL, team_dns + [ceo], "Every department")
    managers = add_group("Managers", GLOBAL, [ceo] + list(heads.values()), "Department heads")
    add_group("VPN Users", DOMAIN_LOCAL, [managers] + by_dept["Sales"][:10] + by_dept["Support"][:5],
         "May connect from outside")
    add_group("Newsletter", 2, contacts + by_dept["Marketing"][:6], "Distribution list of the newsletter")
    add_group("Empty Project", GLOBAL, [], "A project that has not started")
    add_group("Domain Admins", GLOBAL, [by_dept["Engineering"][1]], "Designated administrators of the domain",
         parent=users_cn)

    for dn, name, group_type, description in group_specs:
        extra = [("cn", name), ("description", description)]
        extra += [("member", m) for m in members[dn]]
        extra += [("memberOf", g) for g in member_of.get(dn, [])]
        extra += [("sAMAccountName", name), ("groupType", group_type),
                  ("sAMAccountType", 268435456 if group_type < 0 else 268435457)]
        ad_object(dn, ["top", "group"], "Group", name, extra, sid_rid=new_rid(),
                  critical=name == "Domain Admins")

    # memberOf on the users, as Active Directory shows the back-links.
    for dn, attrs in entries:
        for g in member_of.get(dn, []):
            if ("objectClass", "user") in attrs or ("objectClass", "contact") in attrs:
                attrs.append(("memberOf", g))

    systems = [("Windows 10 Enterprise", "10.0 (19045)"), ("Windows 11 Enterprise", "10.0 (22631)")]
    for i in range(1, 17):
        name = "WS%03d" % i
        os_name, version = systems[i % 2]
        computer(computers_ou, name, os_name, version, None)
    for i, name in enumerate(["SRV-FILE01", "SRV-APP01", "SRV-DB01", "SRV-WEB01"]):
        computer(computers_ou, name, "Windows Server 2019 Standard", "10.0 (17763)",
                 by_dept["Engineering"][i + 2])

    # The schema of an attribute of this company's own, as a subschema entry
    # declares it.
    add("cn=Subschema", [("objectClass", "top"), ("objectClass", "subschema"), ("cn", "Subschema"),
                         ("attributeTypes", "( 1.3.6.1.4.1.99999.1.1 NAME 'corpBadgeNumber' "
                          "DESC 'Number on the badge' EQUALITY integerMatch "
                          "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )")])
    for dept in by_dept:
        for i, dn in enumerate(by_dept[dept]):
            for entry_dn, attrs in entries:
                if entry_dn == dn:
                    attrs.append(("corpBadgeNumber", 10000 + len(dept) * 1000 + i))


def computer(parent, name, os_name, version, managed_by):
    dn = "CN=%s,%s" % (name, parent)
    extra = [("cn", name), ("userAccountControl", 4096), ("sAMAccountName", name + "$"),
             ("sAMAccountType", 805306369), ("primaryGroupID", 515),
             ("dNSHostName", "%s.%s" % (name.lower(), DOMAIN)),
             ("operatingSystem", os_name), ("operatingSystemVersion", version),
             ("lastLogonTimestamp", random_filetime(2024, 2024)),
             ("pwdLastSet", random_filetime(2024, 2024)), ("accountExpires", FOREVER)]
    if managed_by:
        extra.append(("managedBy", managed_by))
    ad_object(dn, ["top", "person", "organizationalPerson", "user", "computer"], "Computer", name,
              extra, sid_rid=new_rid())


def main():
    build()
    out = ["# A small company in Active Directory style; written by generate_corp_ldif.py.",
           "version: 1", ""]
    for dn, attrs in entries:
        out.append(ldif_line("dn", dn))
        out.extend(ldif_line(name, value) for name, value in attrs)
        out.append("")
    sys.stdout.write("\n".join(out))


if __name__ == "__main__":
    main()
