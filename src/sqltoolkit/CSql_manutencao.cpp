// Whole-database members of CSql: dropping and finding databases, one statement in a named
// database, logged-on processes, index and statistics maintenance, backup and restore.

#include "data/connection.h"
#include "data/dberror.h"
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

// The common error message: number, carriage return, text, with the critical icon.
void mostraErro(long numero, const QString& descricao) {
    platform::MsgBox(QString::number(numero) + u'\r' + descricao, platform::mb::Critical);
}

void mostraErro(const std::exception& e) {
    const Erro erro = erroDe(e);
    mostraErro(erro.numero, erro.descricao);
}

}  // namespace

bool CSql::DeleteDatabase(const QString& DBName, const QString& Codigo) {
    data::Connection conn;
    std::int32_t& errC = util::programaErrC();
    QString& errD = util::programaErrD();
    if (!abreConfigurado(conn, kMaster, kTimeout120, errC, errD)) {
        mostraErro(errC, errD);
        util::setScreenMousePointer(util::vbDefault);
        return false;
    }
    PonteiroOcupado ponteiro;
    try {
        executa(conn, csqltexto::Use(kMaster));
        executa(conn, csqltexto::DropDatabase(DBName));
        if (!Codigo.isEmpty()) {
            executa(conn, csqltexto::UseBorviaConfig());
            executa(conn, csqltexto::ApagaEmpresa(Codigo));
        }
        ponteiro.restaura();
        conn.Close();
        return true;
    } catch (const std::exception& e) {
        ponteiro.restaura();
        mostraErro(e);
        return false;
    }
}

bool CSql::CheckDatabase(const QString& DBName, Ref<bool> ByRefNaoSeSabe) {
    data::Connection conn;
    if (!abreConfigurado(conn, kMaster, kTimeout120, util::programaErrC(), util::programaErrD())) {
        *ByRefNaoSeSabe = true;  // the server gave no answer
        return false;
    }
    data::Recordset rs = executa(conn, csqltexto::ProcuraBaseDados(DBName));
    if (eFun().IsVazio(rs)) {
        *ByRefNaoSeSabe = false;
        return false;
    }
    conn.Close();
    return true;
}

data::Recordset CSql::ExecutaSQL(const QString& DBName, const QString& strSQL) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    if (!abreConfigurado(conn, DBName, kTimeout120, errNum, errText)) return data::Recordset();
    try {
        // The rows are read whole when the statement runs, so the recordset outlives the
        // connection closed here.
        data::Recordset rs = executa(conn, strSQL);
        conn.Close();
        return rs;
    } catch (const std::exception& e) {
        fechaSemErros(conn);
        mostraErro(e);
        return data::Recordset();
    }
}

bool CSql::isLoggedOn(const QString& uID, Ref<QString> RetInfo) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    if (!abreConfigurado(conn, kMaster, kTimeout120, errNum, errText)) return false;
    try {
        data::Recordset rs = executa(conn, csqltexto::ProcessosDeRede(uID));
        bool ligado = false;
        if (eFun().IsVazio(rs)) {
            *RetInfo = QString();
        } else {
            long processos = 0;
            while (!rs.EOF()) {
                ++processos;
                rs.MoveNext();
            }
            ligado = processos >= 3;
        }
        rs.Close();
        conn.Close();
        return ligado;
    } catch (const std::exception& e) {
        fechaSemErros(conn);
        mostraErro(e);
        return false;
    }
}

data::Variant CSql::VerificaBaseDados(const QString& DBName) {
    data::Connection conn;
    std::int32_t errNum = 0;
    QString errText;
    if (!abreConfigurado(conn, DBName, kSemLimite, errNum, errText)) {
        mostraErro(errNum, errText);
        return Variant();
    }
    PonteiroOcupado ponteiro;
    try {
        data::Recordset rs = executa(conn, QStringLiteral("sp_tables"));
        while (!rs.EOF()) {
            // User tables only: system tables and views are passed over.
            if (textoDe(rs.Fields(QStringLiteral("table_type")).Value()) == QStringLiteral("TABLE")) {
                QString tabela = textoDe(rs.Fields(QStringLiteral("table_name")).Value());
                if (VerificaBaseDadosTableName) VerificaBaseDadosTableName(tabela);
                executa(conn, csqltexto::UpdateUsage(DBName, tabela));
                executa(conn, csqltexto::DbReindex(tabela));
                executa(conn, csqltexto::UpdateStatistics(tabela));
            }
            rs.MoveNext();
        }
        conn.Close();
        ponteiro.restaura();
    } catch (const std::exception& e) {
        fechaSemErros(conn);
        ponteiro.restaura();
        mostraErro(e);
    }
    return Variant();
}

data::Variant CSql::BackUpDatabase(const QString& strServer, const QString& strDataBase, const QString& strUid,
                                   const QString& strPwd) {
    const QString dispositivo = QStringLiteral("Back") + util::trimBlanks(strDataBase);
    std::int32_t errNum = 0;
    QString errText;
    data::Connection conn;
    if (!CreateDbConnection(conn, strServer, strDataBase, strUid, strPwd, kSemLimite, errNum, errText)) {
        mostraErro(errNum, errText);
        return Variant();
    }
    PonteiroOcupado ponteiro;
    try {
        executa(conn, csqltexto::Use(strDataBase));
        data::Recordset ficheiros = executa(conn, csqltexto::HelpFile());
        QString dados;
        while (!ficheiros.EOF()) {
            const QString nome = textoDe(ficheiros.Fields(QStringLiteral("filename")).Value());
            if (util::trimBlanks(nome).toLower().endsWith(QStringLiteral("mdf"))) {
                dados = nome;
                break;
            }
            ficheiros.MoveNext();
        }
        ficheiros.Close();
        const QString pasta = csqltexto::PastaBackup(dados);
        conn.Close();

        data::Connection master;
        if (!CreateDbConnection(master, strServer, kMaster, strUid, strPwd, kSemLimite, errNum, errText)) {
            throw data::DbError(errNum, errText);
        }
        const QString ficheiro = pasta + dispositivo + QStringLiteral(".dat");
        data::Recordset devices = executa(master, csqltexto::ProcuraDevice(dispositivo));
        // A device made earlier keeps the file it was made with.
        if (eFun().IsVazio(devices)) executa(master, csqltexto::AddDumpDevice(dispositivo, ficheiro));
        devices.Close();
        executa(master, csqltexto::Backup(strDataBase, dispositivo));
        master.Close();
        ponteiro.restaura();
    } catch (const std::exception& e) {
        ponteiro.restaura();
        mostraErro(e);
    }
    return Variant();
}

void CSql::RestoreSQLDatabase(const QString& strServer, const QString& strDataBase, const QString& strUid,
                              const QString& strPwd, const QString& strPath) {
    std::int32_t errNum = 0;
    QString errText;
    data::Connection conn;
    if (!CreateDbConnection(conn, strServer, kMaster, strUid, strPwd, kSemLimite, errNum, errText)) {
        mostraErro(errNum, errText);
        return;
    }
    PonteiroOcupado ponteiro;
    try {
        const QString ficheiro =
            strPath + QStringLiteral("Back") + util::trimBlanks(strDataBase) + QStringLiteral(".dat");
        executa(conn, csqltexto::Restore(strDataBase, ficheiro));
        conn.Close();
        ponteiro.restaura();
        platform::MsgBox(QStringLiteral("Os Dados Foram Repostos!"), platform::mb::Information);
    } catch (const std::exception& e) {
        ponteiro.restaura();
        mostraErro(e);
    }
}
