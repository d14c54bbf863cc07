-- Calls on a slapd that run_on_slapd.py starts on loopback with the
-- integration tests' directory (tests/integration/directory_data.py): every
-- road of the procedure over the LDAP store, and its failure roads. ${SERVER}
-- is the server's address; nothing listens at ${DOWN}.

-- The directory search: several pages, every field of the first result,
-- values typed by the server's schema, multi-valued DNs, nothing found.
EXEC quarlix 'LDAP://${SERVER}/ou=people,dc=example,dc=com', '(objectClass=inetOrgPerson)', 'cn,mail,telephoneNumber'
EXEC quarlix 'LDAP://${SERVER}/dc=example,dc=com', '(|(cn=User 01*)(uid=u2*))', '*'
EXEC quarlix 'LDAP://${SERVER}/ou=mixed,dc=example,dc=com', '(cn=typed)', '*'
EXEC quarlix 'LDAP://${SERVER}/dc=example,dc=com', '(objectClass=groupOfNames)', 'cn,member,description,ADsPath'
EXEC quarlix 'LDAP://${SERVER}/ou=people,dc=example,dc=com', '(cn=nobody)', '*'

-- One object's properties.
EXEC quarlix 'LDAP://${SERVER}/cn=typed,ou=mixed,dc=example,dc=com'
EXEC quarlix 'LDAP://${SERVER}/cn=typed,ou=mixed,dc=example,dc=com', '', 'Name,AdsPath,Class,GUID,Parent,Schema,qxDn,qxNameUid'
EXEC master..quarlix @adspath = 'LDAP://${SERVER}', @field_names = 'Name,dc', @scope = 'GET_OBJECT_LIST'

-- A group's members, of both group classes; one member names no entry.
EXEC quarlix 'LDAP://${SERVER}/cn=staff,ou=groups,dc=example,dc=com', '', '*', 'GET_GROUP_MEMBERS'
EXEC quarlix 'LDAP://${SERVER}/cn=owners,ou=groups,dc=example,dc=com', '', 'Name,sn,mail', 'GET_GROUP_MEMBERS'

-- A container's children, of one class or all, and three pages of them.
EXEC quarlix 'LDAP://${SERVER}/ou=mixed,dc=example,dc=com', '', '*', 'GET_CHILD_OBJECTS'
EXEC quarlix 'ldap://${SERVER}/ou=mixed,dc=example,dc=com', 'inetOrgPerson', 'Name', 'GET_CHILD_OBJECTS'
EXEC quarlix 'LDAP://${SERVER}/ou=people,dc=example,dc=com', '', 'cn,telephoneNumber', 'GET_CHILD_OBJECTS'

-- Failure roads: no such object (also one anonymous may not see), a filter
-- the server refuses, an object that is not a group, a server that is not
-- there, parameters the procedure refuses before it asks the directory.
EXEC quarlix 'LDAP://${SERVER}/cn=nobody,dc=example,dc=com'
EXEC quarlix 'LDAP://${SERVER}/cn=hidden,ou=secret,dc=example,dc=com', '(cn=*)', 'cn'
EXEC quarlix 'LDAP://${SERVER}/ou=people,dc=example,dc=com', '(cn=User 001', 'cn'
EXEC quarlix 'LDAP://${SERVER}/ou=mixed,dc=example,dc=com', '', 'cn', 'GET_GROUP_MEMBERS'
EXEC quarlix 'LDAP://${DOWN}/dc=example,dc=com', '(cn=*)', 'cn'
EXEC quarlix 'LDAP://${DOWN}/dc=example,dc=com', '', 'cn', 'GET_CHILD_OBJECTS'
EXEC quarlix 'LDAP://${SERVER}/dc=example,dc=com', '', '*', 'EVERYTHING'
EXEC quarlix
