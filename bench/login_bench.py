#!/usr/bin/env python3
"""Logins per second to quarlix-server: integrated (Kerberos, against the
Samba AD domain controller of the tests) against password logins (the logins
file). One pymssql client logs in, runs SELECT 1 and closes, one login after
another, for --seconds, --rounds times; the median is printed in a Markdown
table. Kinds: a password login; a Kerberos login allowed by name; one allowed
through a nested group (the server reads the membership from the directory at
each login). Runs as /usr/bin/python3 (Debian's pymssql).

bench/login_bench.py --server build/bench/quarlix-server [--cache build/samba] [--seconds S] [--rounds N]"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))

import samba_fixture as ad  # noqa: E402
import samba_kerberos as kerberos  # noqa: E402

ad.isolate()  # Samba's ports are fixed: a network namespace of this program's own

import pymssql  # noqa: E402


def logins_per_second(seconds, **connect):
    count = 0
    start = time.monotonic()
    while time.monotonic() - start < seconds:
        connection = pymssql.connect(server=kerberos.SQL_HOST, port=str(kerberos.SQL_PORT), login_timeout=30,
                                     **connect)
        cursor = connection.cursor()
        cursor.execute("SELECT 1")
        cursor.fetchall()
        connection.close()
        count += 1
    return count / (time.monotonic() - start)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--cache", default=os.path.join(HERE, "..", "build", "samba"))
    parser.add_argument("--seconds", type=float, default=2)
    parser.add_argument("--rounds", type=int, default=3)
    options = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quarlix-login-bench-") as folder, ad.SambaDc(options.cache) as dc:
        logins = os.path.join(folder, "logins")
        subprocess.run([options.server, "--add-login", "reports", "--logins", logins], input=b"change-me\n",
                       check=True, capture_output=True, timeout=60)
        config = os.path.join(folder, "adsi.conf")
        with open(config, "w") as f:
            f.write("sasl_mech GSSAPI\nstarttls never\n")
        for user in ("dave", "erin"):
            dc.kinit_user(user, os.path.join(folder, "cc-" + user))
        environment = dict(dc.tls_environment(), QUARLIX_ADSI_CONFIG=config, LDAPURI=dc.ldap_url,
                           KRB5_CLIENT_KTNAME=dc.sql_keytab, KRB5CCNAME="FILE:" + os.path.join(folder, "cc-server"))
        server = subprocess.Popen([options.server, "--listen", "127.0.0.1:%d" % kerberos.SQL_PORT, "--no-directory",
                                   "--quiet", "--logins", logins, "--keytab", dc.sql_keytab, "--allow-principal",
                                   kerberos.principal("dave"), "--allow-group", kerberos.SQL_USERS],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=environment, text=True)
        try:
            server.stdout.readline()
            os.environ["KRB5_CONFIG"] = dc.krb5_conf
            kinds = [("password (PBKDF2-SHA256, 100 000 iterations)", None, dict(user="reports", password="change-me")),
                     ("Kerberos, allowed by name", "dave", {}),
                     ("Kerberos, allowed through a nested group", "erin", {})]
            rows = []
            for name, user, connect in kinds:
                if user:
                    os.environ["KRB5CCNAME"] = "FILE:" + os.path.join(folder, "cc-" + user)
                logins_per_second(0.2, **connect)  # the client's service ticket, the server's directory connection
                rates = [logins_per_second(options.seconds, **connect) for _ in range(options.rounds)]
                rows.append((name, statistics.median(rates)))
        finally:
            server.terminate()
            server.wait(60)
    print("Logins per second to quarlix-server, one pymssql client, login + SELECT 1 + close "
          "(median of %d runs of %g s)\n" % (options.rounds, options.seconds))
    print("| login | logins/s | vs password |")
    print("|---|---:|---:|")
    for name, rate in rows:
        print("| %s | %.1f | %.2fx |" % (name, rate, rate / rows[0][1]))


if __name__ == "__main__":
    main()
