"""The directory the fault tests serve from slapd: many entries for paged
searches, a container and a group to walk, a referral, identities with
limits of their own, and entries wide enough to back up a connection."""

SUFFIX = "dc=example,dc=com"
MANY = "ou=many," + SUFFIX       # MANY_COUNT entries: 50 pages of 100
MANY_COUNT = 5000
TEAM = "ou=team," + SUFFIX       # TEAM_COUNT children: three pages
TEAM_COUNT = 250
GROUP = "cn=crew," + SUFFIX      # GROUP_COUNT members, all of the team
GROUP_COUNT = 50
THRONG = "cn=throng," + SUFFIX   # MANY_COUNT members: every entry of ou=many
AWAY = "ou=away," + SUFFIX       # a referral to a port where nothing listens
WIDE = "ou=wide," + SUFFIX       # WIDE_COUNT entries of one wide value each
WIDE_COUNT = 100
ROOT_DN, ROOT_PASSWORD = "cn=admin," + SUFFIX, "secret"
PAGED_DN = "cn=paged," + SUFFIX  # may ask for pages of 50 at most
SLOW_DN = "cn=slow," + SUFFIX    # has one second per operation
PASSWORD = "faultpw"
ANONYMOUS_SIZE_LIMIT = 500

# Anonymous gets slapd's default size limit, which with the paged-results
# control bounds the total of a paged search too (size.prtotal follows
# size.hard); the administrator has no limits.
LIMITS_AND_ACCESS = (
    "limits anonymous size.soft=%d size.hard=%d\n"
    'limits dn.exact="%s" size=unlimited size.pr=50\n'
    'limits dn.exact="%s" size=unlimited time.soft=1 time.hard=1\n'
    "access to attrs=userPassword\n  by anonymous auth\n  by * none\n"
    "access to *\n  by * read\n" % (ANONYMOUS_SIZE_LIMIT, ANONYMOUS_SIZE_LIMIT, PAGED_DN, SLOW_DN))


def many_cn(i):
    return "m%05d" % i


def team_cn(i):
    return "t%03d" % i


def wide_value_length():
    """Long enough that one page of wide entries outgrows the largest send
    buffer the kernel gives a loopback socket, so slapd's writes block while
    the proxy stops reading."""
    try:
        with open("/proc/sys/net/ipv4/tcp_wmem") as f:
            largest = int(f.read().split()[2])
    except (OSError, ValueError, IndexError):
        largest = 4 << 20
    return max(60000, largest * 3 // 2 // WIDE_COUNT)


def _entry(dn, classes, **attributes):
    lines = ["dn: " + dn] + ["objectClass: " + c for c in classes]
    for name, values in attributes.items():
        for value in values if isinstance(values, list) else [values]:
            lines.append("%s: %s" % (name, value))
    return "\n".join(lines) + "\n\n"


def ldif():
    parts = [_entry(SUFFIX, ["top", "dcObject", "organization"], dc="example", o="Example")]
    for dn in (PAGED_DN, SLOW_DN):
        parts.append(_entry(dn, ["organizationalRole", "simpleSecurityObject"], cn=dn[3:dn.index(",")],
                            userPassword=PASSWORD))
    parts.append(_entry(MANY, ["organizationalUnit"], ou="many"))
    parts += [_entry("cn=%s,%s" % (many_cn(i), MANY), ["person"], cn=many_cn(i), sn="Many")
              for i in range(MANY_COUNT)]
    parts.append(_entry(TEAM, ["organizationalUnit"], ou="team"))
    parts += [_entry("cn=%s,%s" % (team_cn(i), TEAM), ["person"], cn=team_cn(i), sn="Team")
              for i in range(TEAM_COUNT)]
    parts.append(_entry(GROUP, ["groupOfNames"], cn="crew",
                        member=["cn=%s,%s" % (team_cn(i), TEAM) for i in range(GROUP_COUNT)]))
    parts.append(_entry(THRONG, ["groupOfNames"], cn="throng",
                        member=["cn=%s,%s" % (many_cn(i), MANY) for i in range(MANY_COUNT)]))
    parts.append(_entry(AWAY, ["referral", "extensibleObject"], ou="away", ref="ldap://127.0.0.1:1/" + AWAY))
    wide = "w" * wide_value_length()
    parts.append(_entry(WIDE, ["organizationalUnit"], ou="wide"))
    parts += [_entry("cn=w%03d,%s" % (i, WIDE), ["person"], cn="w%03d" % i, sn="Wide", description=wide)
              for i in range(WIDE_COUNT)]
    return "".join(parts)


def config(timeout, network_timeout=1, dn=None, password=None):
    """The stand-in's configuration: short time-outs, and a simple bind as
    `dn` when given."""
    text = "network_timeout %d\ntimeout %d\n" % (network_timeout, timeout)
    return text + ("binddn %s\nbindpw %s\n" % (dn, password) if dn else "")
