"""The calls every real-client test makes, as plain string parameters, and
the EXEC line quarlix-exec answers for the same call (the expected values)."""
from server_fixture import DIRECTORY

# Each road: the procedure's parameters by name, in order.
ROADS = [
    {"@adspath": DIRECTORY, "@filter": "(objectClass=user)", "@field_names": "sAMAccountName,mail,objectGUID,displayName"},
    {"@adspath": "LDAP://CN=Jürgen Müller,OU=Engineering,OU=Staff,DC=corp,DC=example,DC=com"},
    {"@adspath": "LDAP://CN=Domain Admins,CN=Users,DC=corp,DC=example,DC=com", "@scope": "GET_GROUP_MEMBERS"},
    {"@adspath": DIRECTORY, "@filter": "", "@field_names": "name", "@scope": "GET_CHILD_OBJECTS"},
]
# NULL (no mail), binary (objectGUID) and non-ASCII (cn) cells.
CELLS = {"@adspath": DIRECTORY, "@filter": "(sAMAccountName=j*)", "@field_names": "sAMAccountName,mail,objectGUID,cn"}
# An answer with no columns.
EMPTY = {"@adspath": DIRECTORY, "@filter": "(cn=nobody)"}
# The procedure's own error: no parameters.
FAILING = {}
# A value the code page 1252 cannot hold: it stays nvarchar, and the procedure refuses it.
NOT_IN_CODE_PAGE = {"@adspath": DIRECTORY + "\u03a9"}


def exec_line(road):
    """The batch of a road, its values as literals."""
    values = ", ".join(f"{name} = '{value}'" for name, value in road.items())
    return "EXEC quarlix " + values if values else "EXEC quarlix"


def placeholders(road, marker="?"):
    """EXEC quarlix @adspath = ?, ... and the values in order."""
    text = ", ".join(f"{name} = {marker}" for name in road)
    return ("EXEC quarlix " + text).rstrip(), list(road.values())


def normalised(rows):
    """Rows as lists, bytearrays as bytes, as quarlix-exec's expectation holds them."""
    return [[bytes(c) if isinstance(c, (bytearray, memoryview)) else c for c in row] for row in rows]
