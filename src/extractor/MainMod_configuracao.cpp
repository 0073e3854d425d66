#include "extractor/MainMod_configuracao.h"

#include <exception>

#include "crypto/clsEncripta.h"
#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "data/variant.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_ligacoes.h"
#include "platform/appdir.h"
#include "platform/profile.h"
#include "util/EDiv.h"
#include "util/text.h"

namespace {

QString& pastaFicheiroIni() {
    static QString folder;
    return folder;
}

// The leading number of the text as the nearest 16-bit integer; false (destination left as
// it was) when it does not fit.
bool inteiro16(const QString& texto, std::int16_t& destino) {
    try {
        destino = data::Variant(data::leadingNumber(texto)).toInt16();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A stored password is the cipher's hex text; one that cannot be decrypted stays as read.
void desencripta(crypto::clsEncripta& cifra, QString& password) {
    if (util::trimBlanks(password).isEmpty()) return;
    const QString claro = cifra.Desencripta(0, QString(), password);
    if (!claro.isEmpty()) password = claro;
}

void lerParamGeral(ConfiguracaoRecord& cfg) {
    cfg.gintZerarFornece = 0;
    cfg.gintZerarClientes = 0;
    cfg.gintZerarProduto = 0;

    data::Connection conn;
    if (!OpenGeral(conn, errC(), errD(), kTimeoutParamGeral)) return;
    try {
        data::Recordset rs;
        rs.Open(QStringLiteral("Select ZerarFornece,ZerarClientes,ZerarProduto from ParamGeral With (NoLock) "), conn,
                data::ado::adOpenForwardOnly, data::ado::adLockReadOnly);
        if (!eFun().IsVazio(rs)) {
            // Each flag on its own: a value that is not a number leaves that flag at 0.
            const auto flag = [&](const char* coluna, std::int16_t& destino) {
                try {
                    destino = rs.Fields(QString::fromLatin1(coluna)).Value().toInt16();
                } catch (const std::exception&) {
                }
            };
            flag("ZerarFornece", cfg.gintZerarFornece);
            flag("ZerarClientes", cfg.gintZerarClientes);
            flag("ZerarProduto", cfg.gintZerarProduto);
        }
        rs.Close();
    } catch (const std::exception&) {
        // A company database without ParamGeral leaves the flags at 0.
    }
    try {
        conn.Close();
    } catch (const std::exception&) {
    }
}

}  // namespace

ConfiguracaoRecord& Configuracao() {
    static ConfiguracaoRecord record;
    return record;
}

QString caminhoFicheiroIni() {
    const QString& folder = pastaFicheiroIni();
    if (folder.isEmpty()) return platform::iniPath(gstrFicheiroIni());
    return folder.endsWith(u'/') ? folder + gstrFicheiroIni() : folder + u'/' + gstrFicheiroIni();
}

void setPastaFicheiroIni(const QString& folder) { pastaFicheiroIni() = folder; }

std::int32_t portaSmtp(const QString& texto) {
    // The leading number, rounded, as every numeric key is read; only the range is wider.
    try {
        return data::Variant(data::leadingNumber(texto)).toInt32();
    } catch (const std::exception&) {
        return kPortaSmtpIlegivel;
    }
}

QString LerIni(const QString& Seccao, const QString& Chave) {
    // The classic buffer of 255 characters: a value keeps at most its first 254.
    return platform::GetPrivateProfileString(Seccao, Chave, QString(), 255, caminhoFicheiroIni());
}

void LerConfiguracao() {
    ConfiguracaoRecord& cfg = Configuracao();
    const auto ini = [](const char* seccao, const char* chave) {
        return LerIni(QString::fromLatin1(seccao), QString::fromLatin1(chave));
    };

    inteiro16(ini("Extractor", "Ligado"), cfg.gintLigado);

    cfg.gstrServer = ini("Tramontix", "Server");
    cfg.gstrUID = ini("Tramontix", "Login");
    cfg.gstrPwd = ini("Tramontix", "Password");
    cfg.gstrDataBase = ini("Tramontix", "Database");

    inteiro16(ini("Extractor", "P1"), cfg.gintP1);
    cfg.gstrP9 = ini("Extractor", "P9");

    cfg.gstrEmailServer = ini("Email", "Server");
    cfg.gstrEmailLogin = ini("Email", "Login");
    cfg.gstrEmailPassword = ini("Email", "Password");
    cfg.gstrEmailFrom = ini("Email", "From");
    cfg.gstrEmailTo = ini("Email", "To");
    cfg.gintSMTPPort = portaSmtp(ini("Email", "SMTPPort"));
    std::int16_t ssl = 0;
    if (inteiro16(ini("Email", "SMTPSSL"), ssl)) cfg.gblnSMTPSSL = eFun().IntToBool(ssl);

    {
        crypto::clsEncripta cifra;
        desencripta(cifra, cfg.gstrPwd);
        desencripta(cifra, cfg.gstrEmailPassword);
    }

    lerParamGeral(cfg);
}
