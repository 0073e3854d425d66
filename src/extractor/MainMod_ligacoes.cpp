#include "extractor/MainMod_ligacoes.h"

#include <exception>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "sqltoolkit/CSql.h"
#include "util/sqltext.h"

namespace {

ObservadorAberturas& observadorAberturas() {
    static ObservadorAberturas f;
    return f;
}

bool abre(data::Connection& conn, const QString& dataBase, std::int32_t& lngErro, QString& strErro,
          std::int32_t lngTimeout) {
    if (observadorAberturas()) observadorAberturas()(dataBase, lngTimeout);
    const ConfiguracaoRecord& cfg = Configuracao();
    return gobjSql().CreateDbConnection(conn, cfg.gstrServer, dataBase, cfg.gstrUID, cfg.gstrPwd, lngTimeout, lngErro,
                                        strErro);
}

}  // namespace

std::int32_t& errC() {
    static std::int32_t value = 0;
    return value;
}

QString& errD() {
    static QString value;
    return value;
}

void setObservadorAberturas(ObservadorAberturas observador) { observadorAberturas() = std::move(observador); }

bool OpenVelmora(data::Connection& conn, std::int32_t& lngErro, QString& strErro, std::int32_t lngTimeout) {
    return abre(conn, QStringLiteral("Velmora"), lngErro, strErro, lngTimeout);
}

bool OpenGeral(data::Connection& conn, std::int32_t& lngErro, QString& strErro, std::int32_t lngTimeout) {
    return abre(conn, Configuracao().gstrDataBase, lngErro, strErro, lngTimeout);
}

bool LancaLog(const QString& Opcao, const QString& Texto) {
    data::Connection conn;
    if (!OpenVelmora(conn, errC(), errD(), kTimeoutLigacao)) return false;
    // Label and detail often quote names (error texts do): their apostrophes are doubled so
    // the row keeps them as they are instead of being lost.
    const QString sql = QStringLiteral("Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'") +
                        util::sqlApostrofos(Opcao) + QStringLiteral("','") + util::sqlApostrofos(Texto) +
                        QStringLiteral("')");
    try {
        conn.Execute(sql, nullptr, data::ado::adCmdText | data::ado::adExecuteNoRecords);
    } catch (const std::exception&) {
        // A refused row is lost quietly; the caller goes on.
    }
    try {
        if (conn.State() == data::ado::adStateOpen) conn.Close();
    } catch (const std::exception&) {
    }
    return true;
}
