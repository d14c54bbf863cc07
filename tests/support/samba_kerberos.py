"""What the Samba AD DC of samba_fixture holds for Kerberos logins to
quarlix-server: made once in the cached template (samba_fixture calls
provision(); setup_key() is part of the template's key).

    OU=Kerberos,DC=qx,DC=test
      svc-sql     the server's account: SPNs MSSQLSvc/sql.qx.test:1433 and
                  MSSQLSvc/sql.qx.test, constrained delegation to
                  ldap/dc.qx.test (msDS-AllowedToDelegateTo); keytabs
                  sql.keytab (its SPNs and its own name, current keys) and
                  sql-stale.keytab (the same names, keys of a password
                  since changed)
      svc-plain   another service, MSSQLSvc/plain.qx.test:1433 and
                  MSSQLSvc/plain.qx.test, no delegation rights;
                  plain.keytab
      dave        allowed by name (tests pass --allow-principal)
      erin        allowed through SQL Users {SQL Team {erin}}
      frank       in no group
      SQL Users, SQL Team   the nested groups
      OU=Restricted   two entries; dave is denied read on the OU and what
                  it holds (an inherited deny ACE), svc-sql and erin read it

Every account has a password that never expires. sql.qx.test and
plain.qx.test name 127.0.0.1 inside the test's namespace (samba_fixture's
/etc/hosts), where the server listens on port 1433."""
import os
import subprocess

REALM = "QX.TEST"
BASE = "DC=qx,DC=test"
DC_HOST = "dc.qx.test"
SQL_HOST = "sql.qx.test"
PLAIN_HOST = "plain.qx.test"
SQL_PORT = 1433
KERBEROS_OU = "OU=Kerberos," + BASE
RESTRICTED_OU = "OU=Restricted," + KERBEROS_OU
SQL_USERS = "CN=SQL Users," + KERBEROS_OU
SQL_TEAM = "CN=SQL Team," + KERBEROS_OU
SERVICE = "svc-sql"
PLAIN_SERVICE = "svc-plain"
DELEGATE_TO = "ldap/" + DC_HOST
# (name, password); the services' passwords only make their keys.
PASSWORDS = {"svc-sql": "Qx-Sql-Service1", "svc-plain": "Qx-Plain-Service1", "dave": "Qx-Dave-Pass1",
             "erin": "Qx-Erin-Pass1", "frank": "Qx-Frank-Pass1"}
STALE_PASSWORD = "Qx-Sql-Before1"  # svc-sql's first password: sql-stale.keytab holds its keys
USERS = ("dave", "erin", "frank")
RESTRICTED_ENTRIES = ("Secret One", "Secret Two")
# Read property, list children, list the object, read the security
# descriptor; on the OU and, inherited (CI), on everything below it.
DENY_READ = "(D;CI;RPLCLORC;;;%s)"


def spns(host):
    return ["MSSQLSvc/%s:%d" % (host, SQL_PORT), "MSSQLSvc/" + host]


def dn(name):
    return "CN=%s,%s" % (name, KERBEROS_OU)


def principal(name):
    return "%s@%s" % (name, REALM)


LDIF = "\n".join([
    "dn: %s\nobjectClass: organizationalUnit\ndescription: Kerberos logins\n" % KERBEROS_OU,
    "dn: %s\nobjectClass: organizationalUnit\ndescription: read by some\n" % RESTRICTED_OU,
] + ["dn: CN=%s,%s\nobjectClass: contact\ndescription: restricted entry\n" % (name, RESTRICTED_OU)
     for name in RESTRICTED_ENTRIES])


def setup_key():
    """What the template's content depends on here."""
    return "\0".join([LDIF, repr(sorted(PASSWORDS.items())), STALE_PASSWORD, DENY_READ, DELEGATE_TO,
                      repr(spns(SQL_HOST) + spns(PLAIN_HOST))])


def _tool(run, sam, conf, *arguments):
    return run(["samba-tool"] + list(arguments) + ["-H", sam, "-s", conf])


def _sid(run, sam, name):
    out = run(["ldbsearch", "-H", sam, "-b", dn(name), "-s", "base", "objectSid"]).decode()
    return [line.split(":", 1)[1].strip() for line in out.splitlines() if line.startswith("objectSid:")][0]


def _export(run, conf, keytab, names):
    for name in names:
        run(["samba-tool", "domain", "exportkeytab", keytab, "--principal=" + name, "-s", conf])


def provision(run, folder, sam, conf):
    """Adds the accounts, groups, ACE, delegation and keytabs to a
    provisioned domain that is not running (run: the fixture's command
    runner, which raises on failure)."""
    data = os.path.join(folder, "kerberos.ldif")
    with open(data, "w") as f:
        f.write(LDIF)
    run(["ldbadd", "-H", sam, data])
    for name in (SERVICE, PLAIN_SERVICE) + USERS:
        password = STALE_PASSWORD if name == SERVICE else PASSWORDS[name]
        _tool(run, sam, conf, "user", "create", name, password, "--userou=OU=Kerberos")
        _tool(run, sam, conf, "user", "setexpiry", name, "--noexpiry")
    for host, account in ((SQL_HOST, SERVICE), (PLAIN_HOST, PLAIN_SERVICE)):
        for spn in spns(host):
            _tool(run, sam, conf, "spn", "add", spn, account)
    _tool(run, sam, conf, "group", "add", "SQL Users", "--groupou=OU=Kerberos")
    _tool(run, sam, conf, "group", "add", "SQL Team", "--groupou=OU=Kerberos")
    _tool(run, sam, conf, "group", "addmembers", "SQL Users", "SQL Team")
    _tool(run, sam, conf, "group", "addmembers", "SQL Team", "erin")
    _tool(run, sam, conf, "delegation", "add-service", SERVICE, DELEGATE_TO)
    _tool(run, sam, conf, "dsacl", "set", "--objectdn=" + RESTRICTED_OU, "--sddl=" + DENY_READ % _sid(run, sam, "dave"))
    names = [principal(SERVICE)] + spns(SQL_HOST)
    _export(run, conf, os.path.join(folder, "sql-stale.keytab"), names)
    _tool(run, sam, conf, "user", "setpassword", SERVICE, "--newpassword=" + PASSWORDS[SERVICE])
    _export(run, conf, os.path.join(folder, "sql.keytab"), names)
    _export(run, conf, os.path.join(folder, "plain.keytab"), [principal(PLAIN_SERVICE)] + spns(PLAIN_HOST))


def kinit(krb5_conf, name, ccache, lifetime=None):
    """A ticket for a user from its password in ccache (FILE:); the
    environment a client needs to use it."""
    environment = dict(os.environ, KRB5_CONFIG=krb5_conf, KRB5CCNAME="FILE:" + ccache)
    command = ["kinit"] + (["-l", lifetime] if lifetime else []) + [principal(name)]
    done = subprocess.run(command, input=(PASSWORDS[name] + "\n").encode(), capture_output=True, env=environment,
                          timeout=30)
    if done.returncode != 0:
        raise RuntimeError("kinit %s failed: %s" % (name, done.stderr.decode("utf-8", "replace")))
    return environment
