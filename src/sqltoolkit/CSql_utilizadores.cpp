// Role and user members of CSql: server and database role membership, access to one
// database, the user test and the removal of a login's user from every database.

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/messagebox.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "sqltoolkit/CSql_textos.h"
#include "util/EDiv.h"
#include "util/text.h"

using namespace csql::interno;

namespace {

const QString kMaster = QStringLiteral("master");
// The server's built-in system administrator, who receives the databases of a removed login.
const QString kAdministradorServidor = QStringLiteral("sa");
const QString kSemPermissao = QStringLiteral("Sem Permissão para executar esta operação");

// The role handler's message: the number directly followed by the text, without an icon.
void mostraErroRole(const std::exception& e) {
    const Erro erro = erroDe(e);
    platform::MsgBox(QString::number(erro.numero) + erro.descricao, platform::mb::OKOnly);
}

// Opens the database with the configured login and runs the statements, each tried whether or
// not the one before succeeded, under the busy pointer.
void executaTodos(const QString& DBName, const std::initializer_list<QString>& textos) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    abreConfigurado(conn, DBName, kTimeout120, errNum, errText);
    PonteiroOcupado ponteiro;
    for (const QString& texto : textos) executaSemErros(conn, texto);
    ponteiro.restaura();
    fechaSemErros(conn);
}

}  // namespace

bool CSql::SetServerRoleMember(const QString& uID, std::int32_t ROLE, std::int32_t Accao) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    try {
        abreConfigurado(conn, kMaster, kTimeout120, errNum, errText);
        const csql::LoginConfigurado login = csql::loginConfigurado();
        if (!ValidarLoginSysAdmin(login.gstrUID, login.gstrPwd)) {
            fechaSemErros(conn);
            platform::MsgBox(kSemPermissao, platform::mb::Critical);
            return false;
        }
        executa(conn, csqltexto::Use(kMaster));
        util::setScreenMousePointer(util::vbHourglass);
        const QString role = csqltexto::ServerRoleName(ROLE);
        executa(conn, Accao == 1 ? csqltexto::AddSrvRoleMember(uID, role) : csqltexto::DropSrvRoleMember(uID, role));
        util::setScreenMousePointer(util::vbDefault);
        conn.Close();
        return true;
    } catch (const std::exception& e) {
        fechaSemErros(conn);
        util::setScreenMousePointer(util::vbDefault);
        mostraErroRole(e);
        return false;
    }
}

bool CSql::SetDBRoleMember(const QString& DBName, const QString& uID, std::int32_t ROLE, std::int32_t Accao) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    try {
        abreConfigurado(conn, DBName, kTimeout120, errNum, errText);
        // Two empty texts make the test ask about the configured login.
        if (!ValidarLoginSysAdmin(QString(), QString())) {
            platform::MsgBox(kSemPermissao, platform::mb::Critical);
            return false;
        }
        executa(conn, csqltexto::Use(DBName));
        util::setScreenMousePointer(util::vbHourglass);
        const QString role = csqltexto::DbRoleName(ROLE);
        executa(conn, Accao == 1 ? csqltexto::AddRoleMember(role, uID) : csqltexto::DropRoleMember(role, uID));
        util::setScreenMousePointer(util::vbDefault);
        conn.Close();
        return true;
    } catch (const std::exception& e) {
        fechaSemErros(conn);
        util::setScreenMousePointer(util::vbDefault);
        mostraErroRole(e);
        return false;
    }
}

bool CSql::RevokeAccess(const QString& DBName, const QString& uID) {
    executaTodos(DBName, {csqltexto::Use(DBName), csqltexto::RevokeDbAccess(uID),
                          csqltexto::DropFixedRoleMember(QStringLiteral("db_datawriter"), uID),
                          csqltexto::DropFixedRoleMember(QStringLiteral("db_datareader"), uID),
                          csqltexto::DropFixedRoleMember(QStringLiteral("db_owner"), uID)});
    return true;
}

bool CSql::GrantAcess(const QString& DBName, const QString& uID) {
    executaTodos(DBName, {csqltexto::Use(DBName), csqltexto::GrantDbAccess(uID),
                          csqltexto::AddFixedRoleMember(QStringLiteral("db_datawriter"), uID),
                          csqltexto::AddFixedRoleMember(QStringLiteral("db_datareader"), uID),
                          csqltexto::AddFixedRoleMember(QStringLiteral("db_owner"), uID)});
    return true;
}

bool CSql::DropUserFromDB(const QString& DBName, const QString& uID) {
    executaTodos(DBName, {csqltexto::Use(DBName), csqltexto::DropUser(uID)});
    return true;
}

bool CSql::CheckUserInDB(const QString& DBName, const QString& uID) {
    data::Connection conn;
    try {
        std::int32_t errNum = 0;
        QString errText;
        if (!abreConfigurado(conn, DBName, kTimeout120, errNum, errText)) {
            fechaSemErros(conn);
            return false;
        }
        executa(conn, csqltexto::Use(DBName));
        data::Recordset rs = executa(conn, csqltexto::HelpUser(uID));
        const QString procurado = util::trimBlanks(uID).toUpper();
        bool utilizador = false;
        while (!rs.EOF()) {
            const data::Variant login = rs.Fields(QStringLiteral("loginname")).Value();
            if (!login.isNull() && util::trimBlanks(login.toString()).toUpper() == procurado) {
                utilizador = true;
                break;
            }
            rs.MoveNext();
        }
        rs.Close();
        conn.Close();
        return utilizador;
    } catch (const std::exception&) {
        fechaSemErros(conn);
        return false;
    }
}

bool CSql::DeleteUserFromAllDatabases(const QString& uID, csql::PainelEstado* Info) {
    data::Connection master;
    std::int32_t errNum = 0;
    QString errText;
    abreConfigurado(master, kMaster, kTimeout120, errNum, errText);
    data::Recordset bases;
    try {
        bases = executa(master, csqltexto::ListaBasesDados());
        while (!bases.EOF()) {
            try {
                const data::Variant nome = bases.Fields(QStringLiteral("name")).Value();
                if (!nome.isNull()) {
                    const QString base = nome.toString();
                    if (Info != nullptr) Info->setText(base);
                    // A database that does not open is passed over.
                    data::Connection conn;
                    if (abreConfigurado(conn, base, kTimeout120, errNum, errText)) {
                        ChangeDatabaseOwner(conn, base, uID, kAdministradorServidor);
                        if (CheckUserInDB(base, uID)) executaSemErros(conn, csqltexto::DropUserTodas(uID));
                        fechaSemErros(conn);
                    }
                }
            } catch (const std::exception&) {
            }
            bases.MoveNext();
        }
    } catch (const std::exception&) {
    }
    fechaSemErros(bases);
    fechaSemErros(master);
    return true;
}
