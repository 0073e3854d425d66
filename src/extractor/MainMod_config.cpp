#include "extractor/MainMod_config.h"

#include <cstdlib>
#include <vector>

#include "data/connection.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "sqltoolkit/CSql.h"
#include "util/EDiv.h"

namespace {

std::function<void()>& terminaSlot() {
    static std::function<void()> termina;
    return termina;
}

void terminaPrograma() {
    if (terminaSlot()) {
        terminaSlot()();
        return;
    }
    std::exit(0);
}

}  // namespace

void setTerminaPrograma(std::function<void()> termina) { terminaSlot() = std::move(termina); }

bool OpenConfig(data::Connection& conn, std::int32_t& lngErro, QString& strErro) {
    const ConfiguracaoRecord& cfg = Configuracao();
    if (gobjSql().CreateDbConnection(conn, cfg.gstrServer, QStringLiteral("BorviaConfig"), cfg.gstrUID, cfg.gstrPwd,
                                     kTimeoutLigacao, lngErro, strErro)) {
        return true;
    }
    const std::vector<data::Variant> opcoes{QStringLiteral("Continuar a tentar"),
                                            QStringLiteral("Terminar o Programa")};
    if (eFun().Alert(QStringLiteral("Ocorreu um erro ao tentar abrir uma conecção (Config)"), opcoes) == 2) {
        terminaPrograma();
    }
    return false;
}

void InstalaServicosConfig() {
    util::ServicosPrograma servicos;
    servicos.OpenConfig = [](data::Connection& conn, std::int32_t& errNum, QString& errText) {
        // The program-wide variables receive the failure, as every caller of an opener passes them.
        const bool aberta = OpenConfig(conn, errC(), errD());
        errNum = errC();
        errText = errD();
        return aberta;
    };
    servicos.AcertaLocale = [] { AcertaLocale(); };
    servicos.errC = &errC;
    servicos.errD = &errD;
    util::setServicosPrograma(std::move(servicos));
    csql::setFonteLoginConfigurado([] {
        const ConfiguracaoRecord& cfg = Configuracao();
        return csql::LoginConfigurado{cfg.gstrServer, cfg.gstrUID, cfg.gstrPwd};
    });
}
