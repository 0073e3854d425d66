#pragma once
// CSql: the SQL Server toolkit. Every connection of the system is opened here
// (CreateDbConnection), and the schema routines build their tables, columns and indexes with
// the table members. The program holds one instance, reached through gobjSql().
//
// This file carries the connection opener and the table, column and index members; the login,
// role, user, maintenance, lock and structure members live in their own source files
// (CSql_<family>.cpp) and are declared in the marked sections below as they arrive.
//
// The opener and the table members show no message: the opener reports through its two output
// arguments, the table members answer False for any failure (callers mostly ignore it, so they
// need not test whether an object already exists).

#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "data/recordset.h"
#include "data/variant.h"
#include "platform/byref.h"

namespace data {
class Connection;
}
class ListView;

namespace csql {

// The configured SQL Server login (server, login and decrypted password of the settings) with
// which the administration members open their own connections. The program installs its
// settings as the source at start-up; without a source the members connect to an empty server
// name, which fails as an unreachable server does.
struct LoginConfigurado {
    QString gstrServer;
    QString gstrUID;
    QString gstrPwd;
};
using FonteLoginConfigurado = std::function<LoginConfigurado()>;
void setFonteLoginConfigurado(FonteLoginConfigurado fonte);  // an empty source removes it
LoginConfigurado loginConfigurado();

// The status-bar panel to which DeleteUserFromAllDatabases writes the database it works on.
class PainelEstado {
public:
    virtual ~PainelEstado() = default;
    virtual void setText(const QString& text) = 0;
};

}  // namespace csql

class CSql {
public:
    using Variant = data::Variant;
    template <class T>
    using Ref = platform::Ref<T>;

    CSql() = default;
    CSql(const CSql&) = delete;
    CSql& operator=(const CSql&) = delete;

    // ---- connection opening -----------------------------------------------------------------
    // Opens connServer (created by the caller, not yet open) with SQL Server authentication on
    // the given server and database. The password goes to the open call only and never into
    // the connection string. Statements on the connection never time out; lngTimeout bounds
    // the opening. On failure errCode and errDescription receive the error's number and text
    // and the result is False; on success both are left as they were.
    bool CreateDbConnection(data::Connection& connServer, const QString& Server = QString(),
                            const QString& dDataBase = QString(), const QString& uID = QString(),
                            const QString& Pwd = QString(), std::int32_t lngTimeout = 0,
                            Ref<std::int32_t> errCode = {}, Ref<QString> errDescription = {});

    // ---- tables, columns and indexes ----------------------------------------------------------
    // Each sends one statement (two for SQLCreateTable) on an open connection; any failure
    // gives False. Values placed between apostrophes have their apostrophes doubled.
    bool SQLCheckField(data::Connection& conn, const QString& strTable, const QString& strField);
    bool SQLCheckTable(data::Connection& conn, const QString& strTable);
    // The table with its key column NumRegisto and the primary key "PK_" + table.
    bool SQLCreateTable(data::Connection& conn, const QString& strTable);
    // strTypes is the whole type and nullability clause, e.g. "varchar(3) null ".
    Variant SQLAddField(data::Connection& conn, const QString& strTable, const QString& strField,
                        const QString& strTypes = QString());
    Variant SQLChangeField(data::Connection& conn, const QString& strTable, const QString& strField,
                           const QString& strTypes = QString());
    // strFields: the column list as it goes between the parentheses ("A" or "A,B").
    Variant SQLCreateIndex(data::Connection& conn, const QString& strName, const QString& strTable,
                           const QString& strFields, bool blnUnique = false);
    bool SQLCheckIndex(data::Connection& conn, const QString& strTable, const QString& strIndexName);

    // ==== further members (logins, maintenance, roles and users, structure, processes, ======
    // ==== stored procedures) are declared below by their own source files ====================
    //
    // They open their own connections with the configured login (csql::loginConfigurado()),
    // except where a connection or a login is an argument. Long members show the busy pointer
    // while they work and put the default pointer back on every exit (util::
    // setScreenMousePointer). Names and values placed between apostrophes have their
    // apostrophes doubled; every other part of a statement is the system's text.

    // ---- logins (CSql_logins.cpp) ------------------------------------------------------------
    // Whether the login (the configured one when both arguments are empty) is a member of the
    // server role sysadmin, asked over a master connection of the configured login. Traps
    // nothing: a master connection that does not open raises the failure to the caller.
    bool ValidarLoginSysAdmin(QString uID = QString(), QString Pwd = QString());
    // The login, its master user and its server role (codes 0 sysadmin .. 6 diskadmin). An empty
    // password is refused with a message; a server refusal is shown and gives False, leaving
    // the statements already run done.
    bool CreateLogin(const QString& uID, const QString& Pwd, std::int32_t ROLE);
    // Only for a configured login that is sysadmin ("Sem Permissão para eliminar o
    // Utilizador" otherwise). False when the server refuses the drop.
    bool DeleteLogin(const QString& UIDtoDelete);
    // An empty old password sets the named login's password; otherwise the old one is given,
    // for the named login (UseLoginName) or the configured one. Refusals are shown.
    bool ChangePassword(const QString& uID, const QString& oldPWD, const QString& newPWD, bool UseLoginName = false);
    // Whether the login connects (15 seconds) to the database (empty: its default database).
    bool ValidateLogin(const QString& uID, const QString& Pwd, const QString& DBName = QString(),
                       bool ShowMsg = false);
    // Does nothing.
    bool RequestLoginID(bool Admin = false);

    // ---- database maintenance, backup and restore (CSql_manutencao.cpp) ----------------------
    // Drops the database and, with a company code, its row of empresas in the configuration
    // database; refusals are shown.
    bool DeleteDatabase(const QString& DBName, const QString& Codigo = QString());
    // Whether the server has a database of that name (compared in capitals). ByRefNaoSeSabe is
    // set True when the server gave no answer, False when it answered that there is none.
    bool CheckDatabase(const QString& DBName, Ref<bool> ByRefNaoSeSabe = {});
    // The statement's result, read whole before the connection closes (so it stays readable);
    // an empty (closed) recordset when the connection does not open or the statement fails.
    data::Recordset ExecutaSQL(const QString& DBName, const QString& strSQL);
    // True when the login holds three or more network processes on the server.
    bool isLoggedOn(const QString& uID, Ref<QString> RetInfo = {});
    // Usage, indexes and statistics of every user table, in the order sp_tables lists them;
    // raises VerificaBaseDadosTableName before each table.
    Variant VerificaBaseDados(const QString& DBName);
    // Backs the database up to the dump device "Back" + the trimmed name, made once on the file
    // "Back<name>.dat" of the backup folder beside the data file's folder.
    Variant BackUpDatabase(const QString& strServer, const QString& strDataBase, const QString& strUid,
                           const QString& strPwd);
    // Restores the database from strPath + "Back" + the trimmed name + ".dat".
    void RestoreSQLDatabase(const QString& strServer, const QString& strDataBase, const QString& strUid,
                            const QString& strPwd, const QString& strPath = QString());
    // Raised with each table's name before VerificaBaseDados works on it.
    std::function<void(QString& TableName)> VerificaBaseDadosTableName;

    // ---- table locks (CSql_bloqueios.cpp) ----------------------------------------------------
    // The lock of a name is the table name + "_" in the configuration database, held by an
    // uncommitted update on a connection this object keeps open from ActivaLock to
    // DesActivaLock. Each appends "_" to the caller's variable.
    bool ActivaLock(Ref<QString> strTabela);
    Variant DesActivaLock(Ref<QString> strTabela);
    // True when no lock of the server refers to the lock table. Traps nothing.
    bool SQLCheckLock(Ref<QString> strTable);

    // ---- roles and users (CSql_utilizadores.cpp) ---------------------------------------------
    // Accao 1 adds the member, any other value drops it. Only for a configured login that is
    // sysadmin ("Sem Permissão para executar esta operação" otherwise); errors are shown.
    bool SetServerRoleMember(const QString& uID, std::int32_t ROLE, std::int32_t Accao);
    bool SetDBRoleMember(const QString& DBName, const QString& uID, std::int32_t ROLE, std::int32_t Accao);
    // Access to one database with the writer, reader and owner roles; errors are passed over
    // statement by statement and the result is True.
    bool RevokeAccess(const QString& DBName, const QString& uID);
    bool GrantAcess(const QString& DBName, const QString& uID);
    bool DropUserFromDB(const QString& DBName, const QString& uID);
    // Whether the login is a user of the database (names without case or blanks around).
    bool CheckUserInDB(const QString& DBName, const QString& uID);
    // Gives "sa" the databases the login owns and drops the login's user from every database
    // of the server; Info, when given, shows the database being worked on.
    bool DeleteUserFromAllDatabases(const QString& uID, csql::PainelEstado* Info = nullptr);

    // ---- user list (gui/CSql_listausers.cpp) -------------------------------------------------
    // Every login of the server (the two built-in administrator groups left out), marked 1
    // when it may reach every database by the configuration database's UserManagement, else 2.
    bool LoadUsersToListview(ListView& lvwList);
    // Every login that is not a Windows group, marked 1 when it is sysadmin, else 2.
    bool OldLoadUsersToListview(ListView& lvwList);

    // ---- structure duplication and field list (CSql_estrutura.cpp) ---------------------------
    // The script that creates strDestinTable with the structure of strTable (read with
    // sp_help); "" when the connection does not open. Errors after that reach the caller.
    QString DuplicateStructure(const QString& strServer, const QString& strLogin, const QString& strPwd,
                               const QString& strDataBase, const QString& strTable, const QString& strDestinTable);
    // The recordset's field names, each followed by strFieldSep and the last separator removed;
    // a field whose upper-cased name occurs in the upper-cased ExcludeFields is left out.
    QString CreateFieldList(const data::Recordset& rstRecordset, const QString& strFieldSep = QString(),
                            const QString& ExcludeFields = QString());
    bool SQLDropField(data::Connection& connActiva, const QString& Table, const QString& Column,
                      Ref<std::int32_t> errC = {}, Ref<QString> errD = {});

    // ---- database owner, access modes and processes (CSql_basedados.cpp) ---------------------
    // Gives the connection's database to NewOwner when its owner is LoginName (any owner but
    // NewOwner when LoginName is empty); the system databases keep their owner.
    bool ChangeDatabaseOwner(data::Connection& connToDataBase, QString strDbName, const QString& LoginName = QString(),
                             const QString& NewOwner = QString());
    bool TrySingleUserMode(data::Connection& connConnection, const QString& DBName, Ref<std::int32_t> ErrorCode = {},
                           Ref<QString> ErrorDescription = {});
    bool SetSingleUserMode(data::Connection& connConnection, const QString& DBName, bool Setting,
                           Ref<std::int32_t> ErrorCode, Ref<QString> ErrorDescription);
    // Ends every server process that this machine (the per-user setting MachineName/Name, or
    // the computer's name) holds on the database.
    void KillAllProcessesInCurrentMachine(const QString& DatabaseName);
    // The progress hook of KillAllProcessesInCurrentMachine: shows nothing.
    void SetInfoInSelEmpresas(const QString& strMessage);
    bool CheckForReadOnly(data::Connection& connDb, const QString& DBName);
    bool SetReadOnly(const QString& DBName, bool Setting, bool ShowMsg = false);

    // ---- stored procedures (CSql_procedimentos.cpp) ------------------------------------------
    // Drops every procedure the database lists, then runs each "create" of the script, whose
    // batches are separated by CR LF "GO" CR LF. Errors are passed over; the result is Empty.
    Variant CreateStoredProcedures(data::Connection& connActiva, QString strToCreate);

private:
    // The lock connections ActivaLock holds open, by lock table name (upper-case).
    std::map<QString, std::shared_ptr<data::Connection>> bloqueios_;
};

// The program's one CSql, created on first use and kept until the program ends.
CSql& gobjSql();

// The statement texts of the table members, exactly as they are sent (blanks included).
namespace csqltexto {
QString CheckField(const QString& strTable, const QString& strField);
QString CheckTable(const QString& strTable);
QString CreateTable(const QString& strTable);
QString CreateKey(const QString& strTable);
QString AddField(const QString& strTable, const QString& strField, const QString& strTypes);
QString ChangeField(const QString& strTable, const QString& strField, const QString& strTypes);
QString CreateIndex(const QString& strName, const QString& strTable, const QString& strFields, bool blnUnique);
QString CheckIndex(const QString& strTable, const QString& strIndexName);
}  // namespace csqltexto
