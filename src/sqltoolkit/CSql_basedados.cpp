// How a database can be reached: its owner, single-user and read-only modes, and the server
// processes this machine holds on it.

#include <vector>

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/messagebox.h"
#include "platform/usersettings.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/CSql_interno.h"
#include "sqltoolkit/CSql_textos.h"
#include "util/EDiv.h"
#include "util/text.h"

using namespace csql::interno;

namespace {

bool eBaseDeSistema(const QString& nome) {
    const QString n = normaliza(nome);
    return n == QStringLiteral("master") || n == QStringLiteral("model") || n == QStringLiteral("msdb") ||
           n == QStringLiteral("tempdb");
}

// The host name under which this machine's processes are sought.
QString nomeMaquina() {
    QString nome = util::trimBlanks(
        platform::GetSetting(util::exeNameSemExtensao(), QStringLiteral("MachineName"), QStringLiteral("Name")));
    if (nome.isEmpty()) {
        data::Variant valor;
        if (eFun().GetMachineName(valor)) nome = valor.toString();
    }
    return nome;
}

}  // namespace

bool CSql::ChangeDatabaseOwner(data::Connection& connToDataBase, QString strDbName, const QString& LoginName,
                               const QString& NewOwner) {
    const QString novo = normaliza(NewOwner);
    const QString antigo = normaliza(LoginName);
    if (antigo == novo) return false;
    try {
        bool novoEUtilizador = false;
        QString utilizadorDoNovo;
        bool jaEDoNovo = false;
        QString donoActual;
        data::Recordset rs = executa(connToDataBase, csqltexto::HelpUserTodos());
        while (!rs.EOF()) {
            const data::Variant login = rs.Fields(QStringLiteral("LoginName")).Value();
            const QString utilizador = textoDe(rs.Fields(QStringLiteral("UserName")).Value());
            if (!login.isNull() && normaliza(login.toString()) == novo) {
                novoEUtilizador = true;
                utilizadorDoNovo = utilizador;
            }
            if (normaliza(utilizador) == QStringLiteral("dbo") && !login.isNull()) {
                donoActual = normaliza(login.toString());
                if (donoActual == novo) jaEDoNovo = true;
            }
            rs.MoveNext();
        }
        rs.Close();
        if (jaEDoNovo) return false;
        // Only a database of the login being removed changes hands: the others keep their
        // owners (and the new owner keeps his user there).
        if (!antigo.isEmpty() && donoActual != antigo) return false;
        if (novoEUtilizador) executa(connToDataBase, csqltexto::DropUserSemAspas(utilizadorDoNovo));
        if (!eBaseDeSistema(strDbName)) executa(connToDataBase, csqltexto::ChangeDbOwner(NewOwner));
        return true;
    } catch (const std::exception& e) {
        const Erro erro = erroDe(e);
        platform::MsgBox(QString::number(erro.numero) + QStringLiteral(" - ") + erro.descricao, platform::mb::Critical);
        return false;
    }
}

bool CSql::TrySingleUserMode(data::Connection& connConnection, const QString& DBName, Ref<std::int32_t> ErrorCode,
                             Ref<QString> ErrorDescription) {
    try {
        executa(connConnection, csqltexto::SingleUser(DBName, true));
        executa(connConnection, csqltexto::SingleUser(DBName, false));
        return true;
    } catch (const std::exception& e) {
        const Erro erro = erroDe(e);
        *ErrorCode = static_cast<std::int32_t>(erro.numero);
        *ErrorDescription = erro.descricao;
        return false;
    }
}

bool CSql::SetSingleUserMode(data::Connection& connConnection, const QString& DBName, bool Setting,
                             Ref<std::int32_t> ErrorCode, Ref<QString> ErrorDescription) {
    try {
        executa(connConnection, csqltexto::SetSingleUser(DBName, Setting));
        return true;
    } catch (const std::exception& e) {
        const Erro erro = erroDe(e);
        *ErrorCode = static_cast<std::int32_t>(erro.numero);
        *ErrorDescription = erro.descricao;
        return false;
    }
}

void CSql::KillAllProcessesInCurrentMachine(const QString& DatabaseName) {
    const QString maquina = nomeMaquina();
    data::Connection conn;
    std::int32_t& errC = util::programaErrC();
    QString& errD = util::programaErrD();
    if (!abreConfigurado(conn, QStringLiteral("master"), kTimeout120, errC, errD)) {
        platform::MsgBox(QString::number(errC) + u'\r' + errD, platform::mb::Critical);
        return;
    }
    SetInfoInSelEmpresas(QStringLiteral("Kill Proc - Open Processes"));
    std::vector<std::int32_t> processos;
    data::Recordset rs;
    try {
        rs.Open(csqltexto::ProcessosDaMaquina(maquina, DatabaseName), conn, data::ado::adOpenDynamic,
                data::ado::adLockOptimistic);
    } catch (const std::exception&) {
    }
    if (rs.State() == data::ado::adStateOpen) {
        SetInfoInSelEmpresas(QStringLiteral("Kill Proc - Open Success"));
        if (!eFun().IsVazio(rs)) {
            SetInfoInSelEmpresas(QStringLiteral("Kill Proc - Procs To Kill"));
            try {
                while (!rs.EOF()) {
                    const std::int32_t spid = rs.Fields(QStringLiteral("spid")).Value().toInt32();
                    processos.push_back(spid);
                    SetInfoInSelEmpresas(QStringLiteral("Kill Proc - Load Proc ID= ") + QString::number(spid));
                    rs.MoveNext();
                }
            } catch (const std::exception&) {
            }
        }
        fechaSemErros(rs);
    }
    // The list always holds an entry: without processes its one entry is 0, whose kill the
    // server refuses.
    if (processos.empty()) processos.push_back(0);
    SetInfoInSelEmpresas(QStringLiteral("Kill Proc - Kill Procs"));
    for (const std::int32_t spid : processos) {
        SetInfoInSelEmpresas(QStringLiteral("Kill Proc - Killing Proc: ") + QString::number(spid));
        executaSemErros(conn, csqltexto::Kill(spid));
    }
    fechaSemErros(conn);
}

void CSql::SetInfoInSelEmpresas(const QString& strMessage) {
    // Shows nothing: only the test of the text is left of it.
    if (util::trimBlanks(strMessage).isEmpty()) return;
}

bool CSql::CheckForReadOnly(data::Connection& connDb, const QString& DBName) {
    try {
        data::Recordset rs = executa(connDb, csqltexto::LeReadOnly(DBName));
        const bool soLeitura = textoDe(rs.Fields(QStringLiteral("currentsetting")).Value()) != QStringLiteral("off");
        fechaSemErros(rs);
        return soLeitura;
    } catch (const std::exception&) {
        return false;
    }
}

bool CSql::SetReadOnly(const QString& DBName, bool Setting, bool ShowMsg) {
    data::Connection conn;
    std::int32_t& errC = util::programaErrC();
    QString& errD = util::programaErrD();
    const csql::LoginConfigurado login = csql::loginConfigurado();
    if (!gobjSql().CreateDbConnection(conn, login.gstrServer, DBName, login.gstrUID, login.gstrPwd, kTimeout120, errC,
                                      errD)) {
        platform::MsgBox(QString::number(errC) + u'\r' + errD, platform::mb::OKOnly);
        return false;
    }
    try {
        executa(conn, csqltexto::SetReadOnly(DBName, Setting));
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
