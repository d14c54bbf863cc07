"""install.sql and uninstall.sql of the Windows release, read as text (no SQL
Server runs here, so their form is what can be held to): each batch is one
known step; every step that makes or drops something is guarded by the
catalog view that says whether it is there, so that a second run skips it;
uninstall.sql drops everything install.sql makes, the role's members before
the role and the registration before the DLL is freed.
Usage: windows_scripts_test.py SOURCE_DIR"""
import os
import re
import sys
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else None

PROCEDURE_THERE = r"SELECT 1 FROM sys\.extended_procedures WHERE name = N'(?P<name>\w+)'"
ROLE_THERE = r"SELECT 1 FROM sys\.database_principals WHERE name = N'(?P<name>\w+)' AND type = 'R'"
# (what a batch does, what it makes or drops, its form); (?P=name) ties the
# guard to the object it guards.
INSTALL_STEPS = [
    ("database", None, r"USE master;"),
    ("register", "procedure",
     r"IF NOT EXISTS \(" + PROCEDURE_THERE + r"\) EXEC sp_addextendedproc '(?P=name)', 'quarlix\.dll';"),
    ("make the role", "role", r"IF NOT EXISTS \(" + ROLE_THERE + r"\) CREATE ROLE (?P=name);"),
    ("grant (a second grant changes nothing)", None, r"GRANT EXECUTE ON quarlix TO directory_readers;"),
    ("show", None, r"EXEC sp_helpextendedproc 'quarlix';"),
]
UNINSTALL_STEPS = [
    ("database", None, r"USE master;"),
    ("drop the role, its members first", "role",
     r"IF EXISTS \(" + ROLE_THERE + r"\) BEGIN DECLARE @member sysname; DECLARE members CURSOR LOCAL STATIC FOR "
     r"SELECT m\.name FROM sys\.database_role_members AS rm .*? WHERE r\.name = N'(?P=name)'; OPEN members; "
     r"FETCH NEXT FROM members INTO @member; WHILE @@FETCH_STATUS = 0 BEGIN "
     r"EXEC sp_droprolemember N'(?P=name)', @member; FETCH NEXT FROM members INTO @member; END; "
     r"CLOSE members; DEALLOCATE members; DROP ROLE (?P=name); END;"),
    ("unregister, then free the DLL", "procedure",
     r"IF EXISTS \(" + PROCEDURE_THERE + r"\) BEGIN EXEC sp_dropextendedproc '(?P=name)'; "
     r"DBCC (?P=name)\(FREE\); END;"),
]


def batches(name):
    """The script's batches (split at GO), comments dropped, blanks folded."""
    with open(os.path.join(SOURCE, "packaging", "windows", name)) as f:
        text = f.read()
    text = "\n".join(line.split("--", 1)[0] for line in text.splitlines())
    parts = re.split(r"(?im)^\s*GO\s*$", text)
    return [" ".join(part.split()) for part in parts if part.strip()]


def steps(test, script, known):
    """(step, kind, name) of each batch; a batch of no known form fails."""
    found = []
    for batch in batches(script):
        for step, kind, form in known:
            match = re.fullmatch(form, batch)
            if match:
                found.append((step, kind, match.groupdict().get("name")))
                break
        else:
            test.fail("%s: a batch of no known, guarded form: %s" % (script, batch))
    return found


class WindowsScripts(unittest.TestCase):
    def test_install_makes_only_what_is_not_there(self):
        done = steps(self, "install.sql", INSTALL_STEPS)
        self.assertEqual([s for s, _, _ in done], [s for s, _, _ in INSTALL_STEPS])

    def test_uninstall_drops_only_what_is_there_and_all_install_makes(self):
        made = {(kind, name) for _, kind, name in steps(self, "install.sql", INSTALL_STEPS) if kind}
        dropped = {(kind, name) for _, kind, name in steps(self, "uninstall.sql", UNINSTALL_STEPS) if kind}
        self.assertEqual(made, {("procedure", "quarlix"), ("role", "directory_readers")})
        self.assertEqual(dropped, made)

    def test_a_form_that_is_not_guarded_is_refused(self):
        # The check itself: an unguarded registration or role is of no known form.
        for batch in ("EXEC sp_addextendedproc 'quarlix', 'quarlix.dll';", "CREATE ROLE directory_readers;",
                      "IF NOT EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'other') "
                      "EXEC sp_addextendedproc 'quarlix', 'quarlix.dll';"):
            self.assertFalse(any(re.fullmatch(form, batch) for _, _, form in INSTALL_STEPS), batch)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[1:])
