// The login members of CSql: the sysadmin test, creating, dropping and validating logins and
// changing passwords, over master connections of the configured login.

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
constexpr std::int32_t kTimeoutValidacao = 15;

}  // namespace

bool CSql::ValidarLoginSysAdmin(QString uID, QString Pwd) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    // The given login is only looked up: the question is asked with the configured one.
    abreConfigurado(conn, kMaster, kTimeout120, errNum, errText);
    if (uID.isEmpty() && Pwd.isEmpty()) {
        const csql::LoginConfigurado login = csql::loginConfigurado();
        uID = login.gstrUID;
        Pwd = login.gstrPwd;
    }
    // A connection that did not open makes this statement fail, and the failure travels on.
    data::Recordset rs = executa(conn, csqltexto::HelpSrvRoleMemberSysadmin());
    const QString procurado = util::trimBlanks(uID).toUpper();
    bool membro = false;
    while (!rs.EOF()) {
        if (util::trimBlanks(textoDe(rs.Fields(QStringLiteral("membername")).Value())).toUpper() == procurado) {
            membro = true;
            break;
        }
        rs.MoveNext();
    }
    rs.Close();
    conn.Close();
    return membro;
}

bool CSql::CreateLogin(const QString& uID, const QString& Pwd, std::int32_t ROLE) {
    if (util::trimBlanks(Pwd).isEmpty()) {
        platform::MsgBox(QStringLiteral("A Password tem que ser preenchida !"), platform::mb::Critical);
        return false;
    }
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    abreConfigurado(conn, kMaster, kTimeout120, errNum, errText);
    PonteiroOcupado ponteiro;
    try {
        executa(conn, csqltexto::AddLogin(uID, Pwd));
        executa(conn, csqltexto::AddUserMaster(uID));
        executa(conn, csqltexto::AddSrvRoleMember(uID, csqltexto::ServerRoleName(ROLE)));
        ponteiro.restaura();
        conn.Close();
        return true;
    } catch (const std::exception& e) {
        ponteiro.restaura();
        const Erro erro = erroDe(e);
        platform::MsgBox(QString::number(erro.numero) + u'\r' + erro.descricao, platform::mb::Critical);
        return false;
    }
}

bool CSql::DeleteLogin(const QString& UIDtoDelete) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    abreConfigurado(conn, kMaster, kTimeout120, errNum, errText);
    const csql::LoginConfigurado login = csql::loginConfigurado();
    bool administrador = false;
    try {
        administrador = ValidarLoginSysAdmin(login.gstrUID, login.gstrPwd);
    } catch (const std::exception&) {
        // No answer is no permission.
    }
    if (!administrador) {
        fechaSemErros(conn);
        platform::MsgBox(QStringLiteral("Sem Permissão para eliminar o Utilizador"), platform::mb::Critical);
        return false;
    }
    PonteiroOcupado ponteiro;
    // The caller is told when the server refused the drop, instead of being told it succeeded.
    const bool eliminado = executaSemErros(conn, csqltexto::DropLogin(UIDtoDelete));
    fechaSemErros(conn);
    ponteiro.restaura();
    return eliminado;
}

bool CSql::ChangePassword(const QString& uID, const QString& oldPWD, const QString& newPWD, bool UseLoginName) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    abreConfigurado(conn, kMaster, kTimeout120, errNum, errText);
    PonteiroOcupado ponteiro;
    try {
        executa(conn, csqltexto::Password(uID, oldPWD, newPWD, UseLoginName));
        ponteiro.restaura();
        conn.Close();
        return true;
    } catch (const std::exception& e) {
        ponteiro.restaura();
        const Erro erro = erroDe(e);
        platform::MsgBox(QString::number(erro.numero) + erro.descricao, platform::mb::OKOnly);
        return false;
    }
}

bool CSql::ValidateLogin(const QString& uID, const QString& Pwd, const QString& DBName, bool ShowMsg) {
    try {
        data::Connection conn;
        std::int32_t errNum = 0;
        QString errText;
        if (!CreateDbConnection(conn, csql::loginConfigurado().gstrServer, DBName, uID, Pwd, kTimeoutValidacao, errNum,
                                errText)) {
            return false;
        }
        conn.Close();
        return true;
    } catch (const std::exception& e) {
        if (ShowMsg) {
            const Erro erro = erroDe(e);
            platform::MsgBox(QString::number(erro.numero) + u'\r' + erro.descricao, platform::mb::Critical);
        }
        return false;
    }
}

bool CSql::RequestLoginID(bool) { return false; }
