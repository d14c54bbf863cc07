-- Removes the quarlix extended stored procedure. Run as a member of sysadmin;
-- afterwards the DLL file in Binn is no longer in use and can be deleted.
USE master;
GO
IF EXISTS (SELECT 1 FROM sys.database_principals WHERE name = N'directory_readers' AND type = 'R')
    REVOKE EXECUTE ON quarlix FROM directory_readers;
GO
EXEC sp_dropextendedproc 'quarlix';
GO
DBCC quarlix(FREE);
GO
