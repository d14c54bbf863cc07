-- Calls on the sample directory (samples/corp.ldif), one EXEC line each:
-- every road of the procedure and its failure roads. The stress programs
-- run them concurrently (stress_concurrency) and ten thousand times in one
-- process (stress_leaks). ${ROOT} is the sample's naming context unless
-- --define ROOT=... says otherwise.

-- The directory search: listed fields, every field of the first result,
-- binary and typed values, several pages, matching rules, nothing found.
EXEC quarlix 'LDAP://${ROOT}', '(&(objectCategory=person)(userAccountControl:1.2.840.113556.1.4.803:=2))', 'cn,department,userAccountControl'
EXEC quarlix 'LDAP://OU=Sales,OU=Staff,${ROOT}', '(objectClass=user)', '*'
EXEC quarlix 'LDAP://${ROOT}', '(objectClass=*)', 'cn,objectGUID,whenCreated,pwdLastSet,memberOf,ADsPath'
EXEC quarlix 'LDAP://${ROOT}', '(memberOf:1.2.840.113556.1.4.1941:=CN=Engineering Team,OU=Groups,${ROOT})', 'sAMAccountName,mail'
EXEC quarlix 'LDAP://${ROOT}', '(&(objectClass=user)(|(cn=A*)(sn=*son)))', 'cn,sn,telephoneNumber'
EXEC quarlix 'LDAP://${ROOT}', '(cn=nobody at all)', '*'
EXEC master..quarlix @adspath = 'LDAP://${ROOT}', @filter = '(objectClass=group)', @field_names = 'cn,member,groupType'

-- One object's properties.
EXEC quarlix 'LDAP://CN=Alice Smith,OU=Sales,OU=Staff,${ROOT}', '', 'Name,Class,title,proxyAddresses,whenCreated,pwdLastSet'
EXEC quarlix 'LDAP://CN=Alice Smith,OU=Sales,OU=Staff,${ROOT}'
EXEC quarlix 'LDAP://OU=Staff,${ROOT}', '', 'Name,AdsPath,Parent,Schema,GUID,description', 'GET_OBJECT_LIST'

-- A group's members.
EXEC quarlix 'LDAP://CN=Sales Team,OU=Groups,${ROOT}', '', 'Name,title,mail', 'GET_GROUP_MEMBERS'
EXEC quarlix 'LDAP://CN=Engineering Team,OU=Groups,${ROOT}', '', '*', 'get_group_members'

-- A container's children, of one class or all.
EXEC quarlix 'GC://OU=Staff,${ROOT}', 'organizationalUnit', 'Name', 'GET_CHILD_OBJECTS'
EXEC quarlix 'LDAP://OU=Sales,OU=Staff,${ROOT}', '', '*', 'GET_CHILD_OBJECTS'
EXEC quarlix 'LDAP://OU=Computers,${ROOT}', '', 'Name,dNSHostName,operatingSystem', 'GET_CHILD_OBJECTS'

-- Failure roads.
EXEC quarlix
EXEC quarlix 'LDAP://CN=Nobody,OU=Staff,${ROOT}'
EXEC quarlix 'LDAP://${ROOT}', '(cn=unclosed', 'cn'
EXEC quarlix 'LDAP://${ROOT}', '', '*', 'EVERYTHING'
EXEC quarlix 'LDAP://${ROOT}', '', '*', 'GET_OBJECT_LIST', 'one too many'
EXEC quarlix N'LDAP://${ROOT}'
EXEC quarlix 'LDAP://xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'
EXEC quarlix @filter = '(cn=*)'
EXEC quarlix 'LDAP://${ROOT}', '', ''
EXEC quarlix NULL
EXEC quarlix 'LDAP://CN=Alice Smith,OU=Sales,OU=Staff,${ROOT}', '', '*', 'GET_GROUP_MEMBERS'
EXEC quarlix 'WinNT://corp/Administrator'
EXEC quarlix 'LDAP://${ROOT}', '(objectClass=*)', 'cn,,cn,'
