#!/usr/bin/env python3
"""The attribute type reader on what real servers publish: every value of
attributeTypes in a server's subschema entry, read with ldapsearch, is
parsed by the library's reader and by libldap (attribute_type_reference),
which must agree on each. Arguments: the attribute_type_reference binary,
"slapd" or "samba", and for samba the folder that caches the provisioned
domain (the build tree)."""
import base64
import glob
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

SERVER = sys.argv[2] if len(sys.argv) > 2 else "slapd"
if SERVER == "samba":
    import samba_fixture  # noqa: E402
    samba_fixture.isolate()  # Samba's ports are fixed: a network namespace of this program's own

REFERENCE = sys.argv.pop(1) if len(sys.argv) > 1 else None
sys.argv[1:2] = []  # the server
CACHE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "build", "samba")

from slapd_fixture import LDAPSEARCH, SYSTEM_SCHEMA, Slapd  # noqa: E402

DATA = "dn: dc=example,dc=com\nobjectClass: dcObject\nobjectClass: organization\no: Example\ndc: example\n"
# Debian's further schemas, for forms the base ones lack (COLLECTIVE, X-
# extensions, names in other styles); loaded after core, cosine,
# inetOrgPerson and nis.
EXTRA_SCHEMAS = ("collective", "corba", "duaconf", "dyngroup", "java", "misc", "msuser", "openldap", "pmi")


def attribute_types(ldif):
    """The values of attributeTypes in ldapsearch's unwrapped LDIF."""
    found = []
    for line in ldif.decode("utf-8").splitlines():
        name, _, value = line.partition(":")
        if name.lower() != "attributetypes":
            continue
        if value.startswith(":"):
            found.append(base64.b64decode(value[1:].strip()).decode("utf-8"))
        else:
            found.append(value[1:] if value.startswith(" ") else value)
    return found


def compare(test, descriptions):
    test.assertTrue(REFERENCE and os.path.exists(REFERENCE), "no attribute_type_reference binary")
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt") as f:
        f.write("".join(d + "\n" for d in descriptions))
        f.flush()
        done = subprocess.run([REFERENCE, f.name], capture_output=True, timeout=120)
    report = done.stdout.decode("utf-8", "replace")
    print(report.splitlines()[-1] if report else done.stderr.decode(), file=sys.stderr)
    test.assertEqual(done.returncode, 0, report[-6000:] + done.stderr.decode("utf-8", "replace"))
    test.assertIn("descriptions %d, accepted by libldap %d, accepted here %d,"
                  % (len(descriptions), len(descriptions), len(descriptions)), report)


@unittest.skipUnless(SERVER == "slapd", "slapd run")
class Slapd_(unittest.TestCase):
    def test_every_published_attribute_type(self):
        schema = ""
        for name in EXTRA_SCHEMAS:
            with open(os.path.join(SYSTEM_SCHEMA, name + ".schema")) as f:
                schema += f.read() + "\n"
        with Slapd(DATA, schema=schema) as server:
            done = subprocess.run([LDAPSEARCH, "-x", "-LLL", "-o", "ldif-wrap=no", "-H", server.url,
                                   "-b", "cn=Subschema", "-s", "base", "(objectClass=subschema)", "attributeTypes"],
                                  capture_output=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        descriptions = attribute_types(done.stdout)
        # The base schemas alone publish well over a hundred.
        self.assertGreater(len(descriptions), 100)
        self.assertTrue(any(" COLLECTIVE" in d for d in descriptions))
        compare(self, descriptions)


@unittest.skipUnless(SERVER == "samba", "Samba run")
class SambaAd(unittest.TestCase):
    def test_every_published_attribute_type(self):
        with samba_fixture.SambaDc(CACHE) as dc:
            root = dc.search("", "(objectClass=*)", ["subschemaSubentry"], scope="base")
            subschema = root[0][1]["subschemaSubentry"][0].decode()
            entries = dc.search(subschema, "(objectClass=*)", ["attributeTypes"], scope="base")
        descriptions = [v.decode("utf-8") for key, values in entries[0][1].items()
                        if key.lower() == "attributetypes" for v in values]
        self.assertGreater(len(descriptions), 1000)  # Active Directory's schema
        compare(self, descriptions)


if __name__ == "__main__":
    unittest.main()
