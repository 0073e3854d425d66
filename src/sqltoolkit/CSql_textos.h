#pragma once
// The statement texts of CSql's administration members, exactly as they are sent (blanks and
// letter case included). Names and values placed between apostrophes have their apostrophes
// doubled; names outside apostrophes go in as given.

#include <QString>

namespace csqltexto {

// ---- logins ------------------------------------------------------------------------------------
QString HelpSrvRoleMemberSysadmin();
QString AddLogin(const QString& uID, const QString& Pwd);
QString AddUserMaster(const QString& uID);
QString AddSrvRoleMember(const QString& uID, const QString& role);
QString DropSrvRoleMember(const QString& uID, const QString& role);
QString DropLogin(const QString& uID);
// The three forms: no old password, the named login's, the connected login's.
QString Password(const QString& uID, const QString& oldPWD, const QString& newPWD, bool UseLoginName);

// ---- role names --------------------------------------------------------------------------------
// Codes 0-8 and 0-6; any other code gives "".
QString DbRoleName(long code);
QString ServerRoleName(long code);

// ---- roles and users ---------------------------------------------------------------------------
QString Use(const QString& DBName);
QString AddRoleMember(const QString& role, const QString& uID);
QString DropRoleMember(const QString& role, const QString& uID);
QString GrantDbAccess(const QString& uID);
QString RevokeDbAccess(const QString& uID);
// "sp_addrolemember 'db_datawriter','x'": the fixed roles of GrantAcess and RevokeAccess.
QString AddFixedRoleMember(const QString& role, const QString& uID);
QString DropFixedRoleMember(const QString& role, const QString& uID);
QString DropUser(const QString& uID);
QString DropUserTodas(const QString& uID);  // "sp_Dropuser '...'" of DeleteUserFromAllDatabases
QString HelpUser(const QString& uID);
QString ListaBasesDados();

// ---- maintenance, backup and restore -----------------------------------------------------------
QString DropDatabase(const QString& DBName);
QString UseBorviaConfig();
QString ApagaEmpresa(const QString& Codigo);
QString ProcuraBaseDados(const QString& DBName);
QString ProcessosDeRede(const QString& uID);
QString UpdateUsage(const QString& DBName, const QString& table);
QString DbReindex(const QString& table);
QString UpdateStatistics(const QString& table);
QString HelpFile();
QString ProcuraDevice(const QString& device);
QString AddDumpDevice(const QString& device, const QString& file);
QString Backup(const QString& DBName, const QString& device);
QString Restore(const QString& DBName, const QString& file);
// The backup folder derived from the primary data file's path: the parent of its folder
// followed by "backup" and the separator.
QString PastaBackup(const QString& dataFile);

// ---- table locks -------------------------------------------------------------------------------
QString DropTable(const QString& table);
QString InsereBloqueio(const QString& table);
QString ActualizaBloqueio(const QString& table);
QString Lock();
QString NomeObjecto(const QString& objectId);

// ---- structure ---------------------------------------------------------------------------------
QString Help(const QString& table);
QString DropColumn(const QString& table, const QString& column);

// ---- owner, access modes and processes ---------------------------------------------------------
QString HelpUserTodos();
QString DropUserSemAspas(const QString& userName);
QString ChangeDbOwner(const QString& NewOwner);
QString SingleUser(const QString& DBName, bool on);     // TrySingleUserMode: ",'single user',true"
QString SetSingleUser(const QString& DBName, bool on);  // SetSingleUserMode: ",'single user',True"
QString ProcessosDaMaquina(const QString& machine, const QString& DBName);
QString Kill(long spid);
QString LeReadOnly(const QString& DBName);
QString SetReadOnly(const QString& DBName, bool on);

// ---- stored procedures -------------------------------------------------------------------------
QString StoredProcedures();
QString DropProcedure(const QString& name);

// ---- user list ---------------------------------------------------------------------------------
QString Logins();
QString UserManagement();
QString LoginsAntigos();

}  // namespace csqltexto
