-- Registers the quarlix extended stored procedure in master and lets the
-- members of the role directory_readers run it. Run as a member of sysadmin,
-- after copying the DLL that matches the server (x64\quarlix.dll for a
-- 64-bit instance, x86\quarlix.dll for a 32-bit one) into the instance's Binn
-- folder. Safe to run again: what exists already is left as it is.
USE master;
GO
IF NOT EXISTS (SELECT 1 FROM sys.extended_procedures WHERE name = N'quarlix')
    EXEC sp_addextendedproc 'quarlix', 'quarlix.dll';
GO
IF NOT EXISTS (SELECT 1 FROM sys.database_principals WHERE name = N'directory_readers' AND type = 'R')
    CREATE ROLE directory_readers;
GO
GRANT EXECUTE ON quarlix TO directory_readers;
GO
-- Members: a Windows login first, then its user in master, then the role.
--   CREATE LOGIN [CORP\hr-reporting] FROM WINDOWS;
--   CREATE USER [CORP\hr-reporting] FOR LOGIN [CORP\hr-reporting];
--   ALTER ROLE directory_readers ADD MEMBER [CORP\hr-reporting];
EXEC sp_helpextendedproc 'quarlix';
GO
