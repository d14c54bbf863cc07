-- Removes what install.sql made: the role directory_readers (its members
-- leave it first, so that a later install gives nobody access again) and the
-- registration of the procedure, then unloads the DLL, whose file in Binn can
-- then be deleted. The logins and users made for the members stay: drop them
-- yourself if nothing else needs them. Run as a member of sysadmin. Safe to
-- run again: what is gone already is skipped.
USE master;
GO
IF EXISTS (SELECT 1 FROM sys.database_principals WHERE name = N'directory_readers' AND type = 'R')
BEGIN
    DECLARE @member sysname;
    DECLARE members CURSOR LOCAL STATIC FOR  -- a copy: the loop changes what it reads
        SELECT m.name
        FROM sys.database_role_members AS rm
        JOIN sys.database_principals AS r ON r.principal_id = rm.role_principal_id
        JOIN sys.database_principals AS m ON m.principal_id = rm.member_principal_id
        WHERE r.name = N'directory_readers';
    OPEN members;
    FETCH NEXT FROM members INTO @member;
    WHILE @@FETCH_STATUS = 0
    BEGIN
        EXEC sp_droprolemember N'directory_readers', @member;  -- every version from 2005 on
        FETCH NEXT FROM members INTO @member;
    END;
    CLOSE members;
    DEALLOCATE members;
    DROP ROLE directory_readers;  -- its grant goes with it
END;
GO
IF EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'quarlix')
BEGIN
    EXEC sp_dropextendedproc 'quarlix';
    DBCC quarlix(FREE);  -- unload the DLL; the file is no longer in use
END;
GO
