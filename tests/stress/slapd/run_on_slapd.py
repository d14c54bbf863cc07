#!/usr/bin/env python3
"""Runs a stress program (stress_concurrency, stress_leaks) against a slapd
on loopback: starts the server with the integration tests' directory, gives
the program a catalogue with ${SERVER} (the server's address) and ${DOWN} (a
port where nothing listens) defined, and exits with the program's status.

    run_on_slapd.py CATALOGUE PROGRAM [PROGRAM OPTIONS...]"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "integration"))

import directory_data as data  # noqa: E402
from slapd_fixture import Slapd, free_port, peer_credentials_dn  # noqa: E402


def main(arguments):
    if len(arguments) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    catalogue, program, options = arguments[0], arguments[1], arguments[2:]
    with tempfile.TemporaryDirectory(prefix="quarlix-stress-") as folder, \
            Slapd(data.data_ldif(), schema=data.SLAPD_SCHEMA, access=data.access_rules(peer_credentials_dn())) as server:
        # Anonymous, and no platform or user configuration of the machine.
        config = os.path.join(folder, "adsi.conf")
        open(config, "w").close()
        environment = {k: v for k, v in os.environ.items() if not k.startswith("LDAP")}
        environment["QUARLIX_ADSI_CONFIG"] = config
        command = [program, "--calls", catalogue, "--define", "SERVER=" + server.address,
                   "--define", "DOWN=127.0.0.1:%d" % free_port()] + options
        return subprocess.run(command, env=environment).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
