#include "sqltoolkit/CSql_textos.h"

#include "util/sqltext.h"
#include "util/text.h"

namespace csqltexto {

using util::sqlApostrofos;

namespace {

QString entreAspas(const QString& value) { return u'\'' + sqlApostrofos(value) + u'\''; }

}  // namespace

// ---- logins ------------------------------------------------------------------------------------

QString HelpSrvRoleMemberSysadmin() { return QStringLiteral("sp_helpsrvrolemember 'sysadmin'"); }

QString AddLogin(const QString& uID, const QString& Pwd) {
    return QStringLiteral("sp_addlogin ") + entreAspas(uID) + QStringLiteral(" , ") + entreAspas(Pwd);
}

QString AddUserMaster(const QString& uID) {
    return QStringLiteral("sp_adduser ") + entreAspas(uID) + QStringLiteral(" , ") + entreAspas(uID);
}

QString AddSrvRoleMember(const QString& uID, const QString& role) {
    return QStringLiteral("sp_addsrvrolemember ") + entreAspas(uID) + QStringLiteral(" , ") + entreAspas(role);
}

QString DropSrvRoleMember(const QString& uID, const QString& role) {
    return QStringLiteral("sp_dropsrvrolemember ") + entreAspas(uID) + QStringLiteral(" , ") + entreAspas(role);
}

QString DropLogin(const QString& uID) { return QStringLiteral("sp_droplogin ") + entreAspas(uID); }

QString Password(const QString& uID, const QString& oldPWD, const QString& newPWD, bool UseLoginName) {
    if (util::trimBlanks(oldPWD).isEmpty()) {
        return QStringLiteral("sp_password NULL , ") + entreAspas(newPWD) + QStringLiteral(" , ") + entreAspas(uID);
    }
    if (UseLoginName) {
        return QStringLiteral("sp_password ") + entreAspas(oldPWD) + QStringLiteral(" , ") + entreAspas(newPWD) +
               QStringLiteral(" , ") + entreAspas(uID);
    }
    return QStringLiteral("sp_password ") + entreAspas(oldPWD) + QStringLiteral(" , ") + entreAspas(newPWD);
}

// ---- role names --------------------------------------------------------------------------------

QString DbRoleName(long code) {
    switch (code) {
        case 0:
            return QStringLiteral("db_owner ");
        case 1:
            return QStringLiteral("db_accessadmin");
        case 2:
            return QStringLiteral("db_datareader");
        case 3:
            return QStringLiteral("db_datawriter");
        case 4:
            return QStringLiteral("db_ddladmin");
        case 5:
            return QStringLiteral("db_securityadmin");
        case 6:
            return QStringLiteral("db_backupoperator");
        case 7:
            return QStringLiteral("db_denydatareader");
        case 8:
            return QStringLiteral("db_denydatawriter");
        default:
            return QString();
    }
}

QString ServerRoleName(long code) {
    switch (code) {
        case 0:
            return QStringLiteral("sysadmin");
        case 1:
            return QStringLiteral("serveradmin");
        case 2:
            return QStringLiteral("setupadmin");
        case 3:
            return QStringLiteral("securityadmin");
        case 4:
            return QStringLiteral("processadmin");
        case 5:
            return QStringLiteral("dbcreator");
        case 6:
            return QStringLiteral("diskadmin");
        default:
            return QString();
    }
}

// ---- roles and users ---------------------------------------------------------------------------

QString Use(const QString& DBName) { return QStringLiteral("use ") + DBName; }

QString AddRoleMember(const QString& role, const QString& uID) {
    return QStringLiteral("sp_addrolemember ") + entreAspas(role) + QStringLiteral(" , ") + entreAspas(uID);
}

QString DropRoleMember(const QString& role, const QString& uID) {
    return QStringLiteral("sp_droprolemember ") + entreAspas(role) + QStringLiteral(" , ") + entreAspas(uID);
}

QString GrantDbAccess(const QString& uID) { return QStringLiteral("sp_grantdbaccess ") + entreAspas(uID); }

QString RevokeDbAccess(const QString& uID) { return QStringLiteral("sp_revokedbaccess ") + entreAspas(uID); }

QString AddFixedRoleMember(const QString& role, const QString& uID) {
    return QStringLiteral("sp_addrolemember ") + entreAspas(role) + u',' + entreAspas(uID);
}

QString DropFixedRoleMember(const QString& role, const QString& uID) {
    return QStringLiteral("sp_droprolemember ") + entreAspas(role) + u',' + entreAspas(uID);
}

QString DropUser(const QString& uID) { return QStringLiteral("sp_dropuser ") + entreAspas(uID); }

QString DropUserTodas(const QString& uID) { return QStringLiteral("sp_Dropuser ") + entreAspas(uID); }

QString HelpUser(const QString& uID) { return QStringLiteral("sp_helpuser ") + entreAspas(uID); }

QString ListaBasesDados() { return QStringLiteral("Select Name from SysDataBases"); }

// ---- maintenance, backup and restore -----------------------------------------------------------

QString DropDatabase(const QString& DBName) { return QStringLiteral("drop database ") + DBName; }

QString UseBorviaConfig() { return QStringLiteral("use Borviaconfig"); }

QString ApagaEmpresa(const QString& Codigo) {
    return QStringLiteral("delete from empresas where codigo=") + entreAspas(Codigo);
}

QString ProcuraBaseDados(const QString& DBName) {
    return QStringLiteral("Select Name from SysDataBases Where upper(Name)=") + entreAspas(DBName.toUpper());
}

QString ProcessosDeRede(const QString& uID) {
    return QStringLiteral("select * from sysprocesses where net_address<>' ' and upper(loginame)=") +
           entreAspas(uID.toUpper());
}

QString UpdateUsage(const QString& DBName, const QString& table) {
    return QStringLiteral("dbcc updateusage(") + DBName + u',' + table + u')';
}

QString DbReindex(const QString& table) { return QStringLiteral("dbcc dbreindex(") + entreAspas(table) + u')'; }

QString UpdateStatistics(const QString& table) { return QStringLiteral("update statistics ") + table; }

QString HelpFile() { return QStringLiteral("sp_helpfile"); }

QString ProcuraDevice(const QString& device) {
    return QStringLiteral("select * from sysdevices where name=") + entreAspas(device);
}

QString AddDumpDevice(const QString& device, const QString& file) {
    return QStringLiteral("exec sp_addumpdevice 'disk',") + entreAspas(device) + u',' + entreAspas(file);
}

QString Backup(const QString& DBName, const QString& device) {
    return QStringLiteral("backup database ") + DBName + QStringLiteral(" to ") + device + QStringLiteral(" WITH INIT");
}

QString Restore(const QString& DBName, const QString& file) {
    return QStringLiteral("restore database ") + DBName + QStringLiteral(" from ") + QStringLiteral("Disk=") +
           entreAspas(file) + QStringLiteral(" WITH REPLACE");
}

QString PastaBackup(const QString& dataFile) {
    // Windows servers write "\" and servers on Linux "/": either is a folder separator here.
    QString p = dataFile;
    int found = 0;
    for (qsizetype i = p.size() - 2; i >= 0 && found < 2; --i) {
        const QChar c = p.at(i);
        if (c != u'\\' && c != u'/') continue;
        p = p.left(i) + c + QStringLiteral("backup") + c;
        ++found;
    }
    return p;
}

// ---- table locks -------------------------------------------------------------------------------

QString DropTable(const QString& table) { return QStringLiteral("drop table ") + table; }

QString InsereBloqueio(const QString& table) {
    return QStringLiteral("insert into ") + table + QStringLiteral(" (xxx) values ('xxx')");
}

QString ActualizaBloqueio(const QString& table) {
    return QStringLiteral("update ") + table + QStringLiteral("  set xxx='xxx'");
}

QString Lock() { return QStringLiteral("sp_lock"); }

QString NomeObjecto(const QString& objectId) {
    return QStringLiteral("select a=isnull(object_name(") + objectId + QStringLiteral("),'' )");
}

// ---- structure ---------------------------------------------------------------------------------

QString Help(const QString& table) { return QStringLiteral("sp_help ") + table; }

QString DropColumn(const QString& table, const QString& column) {
    return QStringLiteral("Alter Table ") + table + QStringLiteral(" Drop Column ") + column;
}

// ---- owner, access modes and processes ---------------------------------------------------------

QString HelpUserTodos() { return QStringLiteral("sp_helpuser"); }

QString DropUserSemAspas(const QString& userName) { return QStringLiteral("sp_dropuser ") + userName; }

QString ChangeDbOwner(const QString& NewOwner) { return QStringLiteral("sp_changedbowner ") + entreAspas(NewOwner); }

QString SingleUser(const QString& DBName, bool on) {
    return QStringLiteral("sp_dboption ") + DBName + QStringLiteral(",'single user',") +
           (on ? QStringLiteral("true") : QStringLiteral("false"));
}

QString SetSingleUser(const QString& DBName, bool on) {
    return QStringLiteral("sp_dboption ") + DBName + QStringLiteral(",'single user',") +
           (on ? QStringLiteral("True") : QStringLiteral("False"));
}

QString ProcessosDaMaquina(const QString& machine, const QString& DBName) {
    return QStringLiteral("Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses ") +
           QStringLiteral("Inner Join sysdatabases on sysdatabases.dbid = sysprocesses.dbid ") +
           QStringLiteral("Where sysprocesses.Hostname=") + entreAspas(machine) +
           QStringLiteral(" and SysDatabases.Name=") + entreAspas(DBName);
}

QString Kill(long spid) { return QStringLiteral("Kill ") + QString::number(spid); }

QString LeReadOnly(const QString& DBName) {
    return QStringLiteral("sp_dboption ") + entreAspas(DBName) + QStringLiteral(",'read only'");
}

QString SetReadOnly(const QString& DBName, bool on) {
    return QStringLiteral("sp_dboption ") + entreAspas(DBName) +
           (on ? QStringLiteral(",'read only','true'") : QStringLiteral(",'read only','false'"));
}

// ---- stored procedures -------------------------------------------------------------------------

QString StoredProcedures() { return QStringLiteral("sp_stored_procedures"); }

QString DropProcedure(const QString& name) { return QStringLiteral("Drop Procedure [") + name + u']'; }

// ---- user list ---------------------------------------------------------------------------------

QString Logins() { return QStringLiteral("Select Name from Master..SysLogins"); }

QString UserManagement() {
    return QStringLiteral("Select UserManagement.LoginName, UserManagement.AllDatabases ") +
           QStringLiteral("from UserManagement ");
}

QString LoginsAntigos() { return QStringLiteral("Select Name as LoginName, IsNtGroup from SysLogins Order By Name"); }

}  // namespace csqltexto
