// The administration statements exactly as the toolkit and the access rights send them
// (blanks, case and spacing as written), run in the order a session of those members would.
#include <gtest/gtest.h>

#include <QSysInfo>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

struct Step {
    QString sql;
    long expected;  // 0 or the error number
};

void runAll(data::Connection& c, const std::vector<Step>& steps) {
    for (const auto& s : steps) {
        QString text;
        EXPECT_EQ(errorOf(c, s.sql, &text), s.expected) << s.sql.toStdString() << " -> " << text.toStdString();
    }
}

QString q(const char* s) { return QString::fromUtf8(s); }

}  // namespace

TEST(EmbeddedAdminStatements, EveryTextAsTheMembersSendIt) {
    Server s(QStringLiteral("Borviaconfig"));
    auto m = s.connect(QStringLiteral("master"));
    m->Execute(QStringLiteral("Create Database loja"));
    {
        auto cfg = s.connect(QStringLiteral("Borviaconfig"));
        cfg->Execute(QStringLiteral("create table empresas (codigo varchar(4))"));
        cfg->Execute(QStringLiteral("insert into empresas values ('L1')"));
        cfg->Execute(QStringLiteral("create table UserManagement (LoginName varchar(128), AllDatabases int)"));
        cfg->Execute(QStringLiteral("create table acessos (utilizador varchar(20), chave varchar(100), value int, chave1 "
                                    "varchar(100), form varchar(50), ctrl varchar(50), caption varchar(100), ctrlcap varchar(100), "
                                    "empresa varchar(4))"));
    }

    // Logins (CreateLogin, ChangePassword, ValidarLoginSysAdmin).
    runAll(*m, {{q("sp_addlogin 'ana' , 'Pw1'"), 0},
                {q("sp_adduser 'ana' , 'ana'"), 0},
                {q("sp_addsrvrolemember 'ana' , 'sysadmin'"), 0},
                {q("sp_addlogin 'bob' , 'Pw1'"), 0},
                {q("sp_adduser 'bob' , 'bob'"), 0},
                {q("sp_addsrvrolemember 'bob' , ''"), 15402},
                {q("sp_helpsrvrolemember 'sysadmin'"), 0},
                {q("sp_password NULL , 'Pw2' , 'bob'"), 0},
                {q("sp_password 'Pw2' , 'Pw3' , 'bob'"), 0},
                {q("sp_password '") + Server::password() + q("' , '") + Server::password() + q("'"), 0}});

    // Roles and users (SetServerRoleMember, SetDBRoleMember, GrantAcess, RevokeAccess, ...).
    runAll(*m, {{q("use master"), 0},
                {q("sp_dropsrvrolemember 'ana' , 'sysadmin'"), 0},
                {q("sp_addsrvrolemember 'ana' , 'dbcreator'"), 0},
                {q("use loja"), 0},
                {q("sp_grantdbaccess 'bob'"), 0},
                {q("sp_addrolemember 'db_datawriter','bob'"), 0},
                {q("sp_addrolemember 'db_datareader','bob'"), 0},
                {q("sp_addrolemember 'db_owner','bob'"), 0},
                {q("sp_addrolemember 'db_owner ' , 'bob'"), 0},
                {q("sp_droprolemember 'db_owner ' , 'bob'"), 0},
                {q("sp_addrolemember '' , 'bob'"), 15014},
                {q("sp_helpuser 'bob'"), 0},
                {q("sp_revokedbaccess 'bob'"), 0},
                {q("sp_droprolemember 'db_datawriter','bob'"), 15410},
                {q("sp_droprolemember 'db_datareader','bob'"), 15410},
                {q("sp_droprolemember 'db_owner','bob'"), 15410},
                {q("sp_grantdbaccess 'bob'"), 0},
                {q("sp_dropuser 'bob'"), 0},
                {q("sp_grantdbaccess 'bob'"), 0},
                {q("sp_helpuser"), 0},
                {q("sp_dropuser bob"), 0},
                {q("sp_grantdbaccess 'bob'"), 0},
                {q("sp_Dropuser 'bob'"), 0},
                {q("sp_changedbowner 'ana'"), 0},
                {q("sp_changedbowner 'sa'"), 0},
                {q("sp_helpfile"), 0},
                {q("Alter Table empresas Drop Column x"), 4902}});

    // Databases, maintenance, processes (master).
    const QString host = QSysInfo::machineHostName();
    runAll(*m, {{q("use master"), 0},
                {q("Select Name from SysDataBases Where upper(Name)='LOJA'"), 0},
                {q("Select Name from SysDataBases"), 0},
                {q("select * from sysprocesses where net_address<>' ' and upper(loginame)='SA'"), 0},
                {q("Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses Inner Join sysdatabases on "
                   "sysdatabases.dbid = sysprocesses.dbid Where sysprocesses.Hostname='") +
                     host + q("' and SysDatabases.Name='loja'"),
                 0},
                {q("Kill 0"), 6101},
                {q("sp_dboption loja,'single user',true"), 0},
                {q("sp_dboption loja,'single user',false"), 0},
                {q("sp_dboption loja,'single user',True"), 0},
                {q("sp_dboption loja,'single user',False"), 0},
                {q("sp_dboption 'loja','read only'"), 0},
                {q("sp_dboption 'loja','read only','true'"), 0},
                {q("sp_dboption 'loja','read only','false'"), 0},
                {q("select * from sysdevices where name='Backloja'"), 0},
                {q("exec sp_addumpdevice 'disk','Backloja','Backloja.dat'"), 0},
                {q("backup database loja to Backloja WITH INIT"), 0},
                {q("restore database loja from Disk='") + s.folder() + q("/backup/Backloja.dat' WITH REPLACE"), 0},
                {q("Select Name from Master..SysLogins"), 0},
                {q("Select Name as LoginName, IsNtGroup from SysLogins Order By Name"), 0},
                {q("sp_lock"), 0},
                {q("select a=isnull(object_name(0),'' )"), 0}});

    // In the database itself: maintenance, the lock table, structure, procedures.
    auto loja = s.connect(QStringLiteral("loja"));
    runAll(*loja, {{q(" create table Trava_ ( NumRegisto numeric (18,0) identity (1,1) not null )"), 0},
                   {q("ALTER TABLE [dbo].[Trava_] WITH NOCHECK ADD  CONSTRAINT [PK_Trava_] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  "
                      "ON [PRIMARY]"),
                    0},
                   {q(" alter table Trava_ add XXX varchar (10) NULL "), 0},
                   {q("insert into Trava_ (xxx) values ('xxx')"), 0},
                   {q("update Trava_  set xxx='xxx'"), 0},
                   {q("sp_tables"), 0},
                   {q("dbcc updateusage(loja,Trava_)"), 0},
                   {q("dbcc dbreindex('Trava_')"), 0},
                   {q("update statistics Trava_"), 0},
                   {q("sp_help Trava_"), 0},
                   {q("Alter Table Trava_ Drop Column XXX"), 0},
                   {q("drop table Trava_"), 0},
                   {q("sp_stored_procedures"), 0},
                   {q("create procedure P as select 1"), 0},
                   {q("Drop Procedure [P]"), 0}});

    // The configuration database: the access rights' statements, with their blanks.
    auto cfg = s.connect(QStringLiteral("Borviaconfig"));
    runAll(*cfg, {{q("select * from acessos where utilizador='ANA' and chave='Velmora' and empresa='L1'"), 0},
                  {q("select chave,value from acessos where chave='Velmora' and utilizador='ANA' and empresa='L1'"), 0},
                  {q("select chave from acessos where chave='Velmora' and utilizador='ANA' and empresa='L1'"), 0},
                  {q(" insert into acessos  (utilizador,chave,value,chave1,form,ctrl,caption,ctrlcap,empresa) values('ANA','Velmora', "
                     "0,'Velmora' , '' , '','','','L1'  )"),
                   0},
                  {q("select * from acessos where empresa='XXXX' and utilizador='XX'"), 0},
                  {q("update acessos set caption='Janela', ctrlcap='OK'   where chave='Velmora' and utilizador='ANA' and "
                     "empresa='L1' "),
                   0},
                  {q("Select UserManagement.LoginName, UserManagement.AllDatabases from UserManagement "), 0},
                  {q("delete from acessos where utilizador='ANA' and empresa='L1'"), 0},
                  {q("delete from acessos where empresa='L1'"), 0},
                  {q("delete from acessos"), 0}});
    EXPECT_EQ(scalar(*cfg, QStringLiteral("select count(*) from acessos")).toInt32(), 0);

    // DeleteDatabase's statements, last: the configuration row goes with the database.
    cfg->Close();
    loja->Close();
    runAll(*m, {{q("use master"), 0},
                {q("drop database loja"), 0},
                {q("use Borviaconfig"), 0},
                {q("delete from empresas where codigo='L1'"), 0},
                {q("use master"), 0},
                {q("sp_droplogin 'bob'"), 0}});
}
