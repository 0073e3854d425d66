// The statement texts of the administration members: the system's own, with the apostrophes of
// names and values between apostrophes doubled and everything else left as written.
#include <gtest/gtest.h>

#include "sqltoolkit/CSql_textos.h"

using namespace csqltexto;

TEST(CSqlAdminTexts, LoginRoleAndUserStatementsKeepTheirBlanksAndDoubleApostrophes) {
    EXPECT_EQ(HelpSrvRoleMemberSysadmin(), "sp_helpsrvrolemember 'sysadmin'");
    EXPECT_EQ(AddLogin("O'Neill", "a'b"), "sp_addlogin 'O''Neill' , 'a''b'");
    EXPECT_EQ(AddSrvRoleMember("ana", ""), "sp_addsrvrolemember 'ana' , ''");
    EXPECT_EQ(DropSrvRoleMember("ana", "dbcreator"), "sp_dropsrvrolemember 'ana' , 'dbcreator'");
    EXPECT_EQ(DropLogin("x'"), "sp_droplogin 'x'''");
    EXPECT_EQ(Password("ana", "   ", "n", false), "sp_password NULL , 'n' , 'ana'") << "blanks only: no old password";
    EXPECT_EQ(Password("ana", "o", "n", true), "sp_password 'o' , 'n' , 'ana'");
    EXPECT_EQ(Password("ana", "o", "n'", false), "sp_password 'o' , 'n'''");
    EXPECT_EQ(AddRoleMember(DbRoleName(0), "ana"), "sp_addrolemember 'db_owner ' , 'ana'");
    EXPECT_EQ(AddFixedRoleMember("db_datawriter", "ana"), "sp_addrolemember 'db_datawriter','ana'");
    EXPECT_EQ(DropFixedRoleMember("db_owner", "ana"), "sp_droprolemember 'db_owner','ana'");
    EXPECT_EQ(DropUserTodas("ana"), "sp_Dropuser 'ana'");
    EXPECT_EQ(HelpUser("d'a"), "sp_helpuser 'd''a'");
    EXPECT_EQ(Use("Loja 1"), "use Loja 1") << "names outside apostrophes go in as given";

    EXPECT_EQ(ServerRoleName(6), "diskadmin");
    EXPECT_EQ(ServerRoleName(7), "");
    EXPECT_EQ(ServerRoleName(-1), "");
    EXPECT_EQ(DbRoleName(8), "db_denydatawriter");
    EXPECT_EQ(DbRoleName(9), "");
}

TEST(CSqlAdminTexts, MaintenanceOwnerAndProcessStatements) {
    EXPECT_EQ(UseBorviaConfig(), "use Borviaconfig");
    EXPECT_EQ(ApagaEmpresa("0'1"), "delete from empresas where codigo='0''1'");
    EXPECT_EQ(ProcuraBaseDados("loja"), "Select Name from SysDataBases Where upper(Name)='LOJA'");
    EXPECT_EQ(ProcessosDeRede("ana"), "select * from sysprocesses where net_address<>' ' and upper(loginame)='ANA'");
    EXPECT_EQ(UpdateUsage("loja", "Clientes"), "dbcc updateusage(loja,Clientes)");
    EXPECT_EQ(DbReindex("Clientes"), "dbcc dbreindex('Clientes')");
    EXPECT_EQ(ProcuraDevice("Backloja"), "select * from sysdevices where name='Backloja'");
    EXPECT_EQ(AddDumpDevice("Backloja", "D:\\SQL\\backup\\Backloja.dat"),
              "exec sp_addumpdevice 'disk','Backloja','D:\\SQL\\backup\\Backloja.dat'");
    EXPECT_EQ(Backup(" loja ", "Backloja"), "backup database  loja  to Backloja WITH INIT");
    EXPECT_EQ(Restore("loja", "D:\\SQL\\backup\\Backloja.dat"),
              "restore database loja from Disk='D:\\SQL\\backup\\Backloja.dat' WITH REPLACE");
    EXPECT_EQ(ActualizaBloqueio("Fecho_"), "update Fecho_  set xxx='xxx'");
    EXPECT_EQ(NomeObjecto("117"), "select a=isnull(object_name(117),'' )");
    EXPECT_EQ(DropUserSemAspas("ana"), "sp_dropuser ana");
    EXPECT_EQ(SingleUser("loja", true), "sp_dboption loja,'single user',true");
    EXPECT_EQ(SetSingleUser("loja", false), "sp_dboption loja,'single user',False");
    EXPECT_EQ(ProcessosDaMaquina("PC'1", "loja"),
              "Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses Inner Join "
              "sysdatabases on sysdatabases.dbid = sysprocesses.dbid Where sysprocesses.Hostname='PC''1' and "
              "SysDatabases.Name='loja'");
    EXPECT_EQ(LeReadOnly("loja"), "sp_dboption 'loja','read only'");
    EXPECT_EQ(SetReadOnly("loja", true), "sp_dboption 'loja','read only','true'");
    EXPECT_EQ(Logins(), "Select Name from Master..SysLogins");
    EXPECT_EQ(UserManagement(), "Select UserManagement.LoginName, UserManagement.AllDatabases from UserManagement ");
    EXPECT_EQ(LoginsAntigos(), "Select Name as LoginName, IsNtGroup from SysLogins Order By Name");
}

TEST(CSqlAdminTexts, BackupFolderIsTheDataFoldersParentWithBackup) {
    EXPECT_EQ(PastaBackup("D:\\SQL\\Data\\loja.mdf"), "D:\\SQL\\backup\\");
    EXPECT_EQ(PastaBackup("D:\\loja.mdf"), "D:\\backup\\");
    EXPECT_EQ(PastaBackup("loja.mdf"), "loja.mdf") << "no separator: unchanged";
    EXPECT_EQ(PastaBackup(""), "");
    EXPECT_EQ(PastaBackup("D:\\A\\B\\C\\loja.mdf"), "D:\\A\\B\\backup\\") << "two separators at most";
    EXPECT_EQ(PastaBackup("/var/opt/mssql/data/loja.mdf"), "/var/opt/mssql/backup/");
    EXPECT_EQ(PastaBackup("D:\\SQL\\"), "D:\\backup\\") << "the last character is not looked at";
}
