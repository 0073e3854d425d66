// Access-right members of EDiv: rights per user, company and key in the table acessos of the
// configuration database, with its three procedures. Also the few services of the program that
// they (and the toolkit's administration members) reach through util::servicosPrograma(): the
// configuration opener, the regional refresh, the program-wide error variables and the mouse
// pointer. The core cannot call the extractor's start-up module, which sits above it, so the
// program installs these at start-up.

#include <QCoreApplication>
#include <QFileInfo>
#include <exception>
#include <mutex>

#include "data/adoconstants.h"
#include "data/command.h"
#include "data/connection.h"
#include "data/dberror.h"
#include "data/recordset.h"
#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/sqltext.h"
#include "util/text.h"

using util::sqlApostrofos;
using util::trimBlanks;

namespace {

// The two users that pass every check without the table: the server administrator's login and
// the built-in superuser.
const QString kAdministradorServidor = QStringLiteral("SA");
const QString kSuperUtilizador = QStringLiteral("ADMIN");

// ADO's number for a failure it cannot name more precisely (E_FAIL).
constexpr long kErroNaoEspecificado = static_cast<long>(static_cast<std::int32_t>(0x80004005u));

struct Erro {
    long numero = 0;
    QString descricao;
};

Erro erroDe(const std::exception& e) {
    if (const auto* r = dynamic_cast<const platform::RuntimeError*>(&e)) return {r->number(), r->description()};
    return {kErroNaoEspecificado, QString::fromLocal8Bit(e.what())};
}

bool eUtilizadorInterno(const QString& uID) {
    const QString u = uID.toUpper();
    return u == kAdministradorServidor || u == kSuperUtilizador;
}

// A field's value as the concatenations of the system read it: Null adds nothing.
QString textoDe(const data::Variant& v) { return v.isNull() ? QString() : v.toString(); }

// A right's value: allowed when it is a number other than 0. A Null value refuses.
bool permitido(const data::Variant& v) {
    if (v.isNull() || v.isEmpty()) return false;
    return v.toDouble() != 0;
}

std::mutex& servicosMutex() {
    static std::mutex m;
    return m;
}

util::ServicosPrograma& servicosSlot() {
    static util::ServicosPrograma s;
    return s;
}

util::MousePointerHook& ponteiroSlot() {
    static util::MousePointerHook hook;
    return hook;
}

void closeQuietly(data::Recordset& rs) {
    try {
        if (rs.State() == data::ado::adStateOpen) rs.Close();
    } catch (const std::exception&) {
    }
}

// True when the user has a row for the key in the company; form receives its form text.
bool ExisteCopiaAcesso(data::Connection& connActiva, const QString& chave, const QString& utilizador,
                       const QString& empresa, QString& form) {
    using namespace data::ado;
    data::Command cmd;
    cmd.setActiveConnection(&connActiva);
    cmd.setCommandText(QStringLiteral("VerSeExisteCopiaAcessosBase"));
    cmd.setCommandType(adCmdStoredProc);
    auto& p = cmd.Parameters();
    p.Append(cmd.CreateParameter(QStringLiteral("@RETURN_VALUE"), adInteger, adParamReturnValue, 0));
    p.Append(cmd.CreateParameter(QStringLiteral("@Chave"), adVarChar, adParamInputOutput, 100, chave));
    p.Append(cmd.CreateParameter(QStringLiteral("@Utilizador"), adVarChar, adParamInput, 20, utilizador));
    p.Append(cmd.CreateParameter(QStringLiteral("@Empresa"), adVarChar, adParamInput, 4, empresa));
    p.Append(cmd.CreateParameter(QStringLiteral("@Form"), adVarChar, adParamOutput, 50));
    cmd.Execute();
    cmd.setActiveConnection(nullptr);
    const data::Variant f = p[QStringLiteral("@Form")].Value();
    if (f.isNull() || f.isEmpty()) {
        form.clear();
        return false;
    }
    form = f.toString();
    return true;
}

}  // namespace

QString& gstrCodEmpresa() {
    static QString code;
    return code;
}

namespace util {

void setServicosPrograma(ServicosPrograma servicos) {
    const std::lock_guard<std::mutex> lock(servicosMutex());
    servicosSlot() = std::move(servicos);
}

const ServicosPrograma& servicosPrograma() { return servicosSlot(); }

std::int32_t& programaErrC() {
    static std::int32_t proprio = 0;
    return servicosSlot().errC != nullptr ? servicosSlot().errC() : proprio;
}

QString& programaErrD() {
    static QString proprio;
    return servicosSlot().errD != nullptr ? servicosSlot().errD() : proprio;
}

bool abreConfig(data::Connection& conn) {
    std::int32_t& numero = programaErrC();
    QString& texto = programaErrD();
    if (!servicosSlot().OpenConfig) {
        numero = data::adoerr::ConnectionUnusable;
        texto = data::adoerr::text(data::adoerr::ConnectionUnusable);
        return false;
    }
    return servicosSlot().OpenConfig(conn, numero, texto);
}

void setMousePointerHook(MousePointerHook hook) { ponteiroSlot() = std::move(hook); }

void setScreenMousePointer(std::int16_t pointer) {
    if (ponteiroSlot()) ponteiroSlot()(pointer);
}

QString exeNameSemExtensao() {
    if (QCoreApplication::instance() == nullptr) return QString();
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace util

namespace acessotexto {

QString CheckAcesso(const QString& uID, const QString& chave, const QString& empresa) {
    return QStringLiteral("select * from acessos where utilizador='") + sqlApostrofos(uID) +
           QStringLiteral("' and chave='") + sqlApostrofos(chave) + QStringLiteral("' and empresa='") +
           sqlApostrofos(empresa) + QStringLiteral("'");
}

QString CheckUtilizApp(const QString& chave, const QString& uID, const QString& empresa) {
    return QStringLiteral("select chave,value from acessos where chave='") + sqlApostrofos(chave) +
           QStringLiteral("' and utilizador='") + sqlApostrofos(uID) + QStringLiteral("' and empresa='") +
           sqlApostrofos(empresa) + QStringLiteral("'");
}

QString ProcuraApp(const QString& chave, const QString& uID, const QString& empresa) {
    return QStringLiteral("select chave from acessos where chave='") + sqlApostrofos(chave) +
           QStringLiteral("' and utilizador='") + sqlApostrofos(uID) + QStringLiteral("' and empresa='") +
           sqlApostrofos(empresa) + QStringLiteral("'");
}

namespace {
const QString kInsereCabeca =
    QStringLiteral(" insert into acessos  (utilizador,chave,value,chave1,form,ctrl,caption,ctrlcap,empresa) values('");
}

QString InsereApp(const QString& uID, const QString& chave, const QString& empresa) {
    return kInsereCabeca + sqlApostrofos(uID) + QStringLiteral("','") + sqlApostrofos(chave) +
           QStringLiteral("', 0,'") + sqlApostrofos(chave) + QStringLiteral("' , '' , '") +
           QStringLiteral("','','','") + sqlApostrofos(empresa) + QStringLiteral("'  )");
}

QString AcessosBase() { return QStringLiteral("select * from acessos where empresa='XXXX' and utilizador='XX'"); }

QString ActualizaCaptions(const QString& caption, const QString& ctrlcap, const QString& chave, const QString& uID,
                          const QString& empresa) {
    return QStringLiteral("update acessos set caption='") + sqlApostrofos(caption) + QStringLiteral("', ctrlcap='") +
           sqlApostrofos(ctrlcap) + QStringLiteral("'   where chave='") + sqlApostrofos(chave) +
           QStringLiteral("' and utilizador='") + sqlApostrofos(uID) + QStringLiteral("' and empresa='") +
           sqlApostrofos(empresa) + QStringLiteral("' ");
}

QString InsereCopia(const QString& uID, const QString& chave, const QString& chave1, const QString& form,
                    const QString& ctrl, const QString& caption, const QString& ctrlcap, const QString& empresa) {
    return kInsereCabeca + sqlApostrofos(uID) + QStringLiteral("','") + sqlApostrofos(chave) + QStringLiteral("',1,'") +
           sqlApostrofos(chave1) + QStringLiteral("' , '") + sqlApostrofos(form) + QStringLiteral("' , '") +
           sqlApostrofos(ctrl) + QStringLiteral("','") + sqlApostrofos(caption) + QStringLiteral("','") +
           sqlApostrofos(ctrlcap) + QStringLiteral("','") + sqlApostrofos(empresa) + QStringLiteral("'  )");
}

QString Apaga(const QString& strUtilizador, const QString& empresa) {
    const QString todos = QStringLiteral("TODOS");
    if (strUtilizador != todos) {
        return QStringLiteral("delete from acessos where utilizador='") + sqlApostrofos(strUtilizador) +
               QStringLiteral("' and empresa='") + sqlApostrofos(empresa) + QStringLiteral("'");
    }
    if (empresa != todos) {
        return QStringLiteral("delete from acessos where empresa='") + sqlApostrofos(empresa) + QStringLiteral("'");
    }
    return QStringLiteral("delete from acessos");
}

}  // namespace acessotexto

bool EDiv::AccCheckAcesso(const QString& uID, QString Empresa, const QString& appName, const QString& frmName,
                          const QString& ctrlName) {
    QString empresa = Empresa;
    if (util::servicosPrograma().AcertaLocale) util::servicosPrograma().AcertaLocale();
    if (eUtilizadorInterno(uID)) return true;
    const QString chave = appName + frmName + ctrlName;

    data::Connection conn;
    if (!util::abreConfig(conn)) {
        platform::MsgBox(QString::number(util::programaErrC()) + u'\r' + util::programaErrD(), platform::mb::Critical);
        return false;
    }
    const QString principal = GetAcessoPrincipal(conn);
    const std::int16_t independente = GetAcessoIndependente(conn, empresa);
    if (!trimBlanks(principal).isEmpty() && independente == 0) empresa = principal;

    data::Recordset rs = conn.Execute(acessotexto::CheckAcesso(uID, chave, empresa), nullptr, -1);
    bool resultado = true;  // a key without a row is allowed
    if (!IsVazio(rs)) resultado = permitido(rs.Fields(QStringLiteral("value")).Value());
    rs.Close();
    conn.Close();
    return resultado;
}

bool EDiv::AccCheckUtilizApp(data::Connection& connActiva, const QString& uID, QString Empresa) {
    try {
        QString empresa = Empresa;
        const QString chave = util::exeNameSemExtensao();
        if (eUtilizadorInterno(uID)) return true;
        if (GetAcessoIndependente(connActiva, empresa) == 0) {
            const QString principal = GetAcessoPrincipal(connActiva);
            if (!trimBlanks(principal).isEmpty()) empresa = principal;
        }
        data::Recordset rs = connActiva.Execute(acessotexto::CheckUtilizApp(chave, uID, empresa), nullptr, -1);
        bool resultado = false;  // without its row the application is refused
        if (!IsVazio(rs)) resultado = permitido(rs.Fields(QStringLiteral("value")).Value());
        rs.Close();
        return resultado;
    } catch (const std::exception& e) {
        const Erro erro = erroDe(e);
        platform::MsgBox(QString::number(erro.numero) + QStringLiteral(" - ") + erro.descricao, platform::mb::Critical,
                         QStringLiteral("AccCheckUtilizApp"));
        return false;
    }
}

void EDiv::AccCreateAPP(data::Connection& connActiva, const QString& uID, const QString& Empresa) {
    const QString chave = util::exeNameSemExtensao();
    data::Recordset rs = connActiva.Execute(acessotexto::ProcuraApp(chave, uID, Empresa), nullptr, -1);
    const bool existe = !IsVazio(rs);
    rs.Close();
    if (!existe) connActiva.Execute(acessotexto::InsereApp(uID, chave, Empresa), nullptr, -1);
}

void EDiv::AccCopiaAcessosBase(data::Connection& connActiva, const QString& uID, const QString& Empresa,
                               bool SoSenaoExiste) {
    data::Recordset rs;
    bool ocupado = false;
    try {
        rs = connActiva.Execute(acessotexto::AcessosBase(), nullptr, -1);
        if (IsVazio(rs)) {
            platform::MsgBox(QStringLiteral("Não Há Acessos Base Definidos !") + u'\r' +
                                 QStringLiteral("Os Acessos base tem que ser criados pelo Administrador do sistema, "
                                                "no Menu de utilitários"),
                             platform::mb::Information);
            closeQuietly(rs);
            return;
        }
        util::setScreenMousePointer(util::vbHourglass);
        ocupado = true;
        while (!rs.EOF()) {
            const QString chave = textoDe(rs.Fields(QStringLiteral("chave")).Value());
            QString form;
            if (ExisteCopiaAcesso(connActiva, chave, uID, Empresa, form)) {
                if (SoSenaoExiste) break;
                if (!trimBlanks(form).isEmpty()) {
                    RunSQL(connActiva, acessotexto::ActualizaCaptions(
                                           textoDe(rs.Fields(QStringLiteral("caption")).Value()),
                                           textoDe(rs.Fields(QStringLiteral("ctrlcap")).Value()), chave, uID, Empresa));
                }
            } else {
                RunSQL(connActiva,
                       acessotexto::InsereCopia(uID, chave, textoDe(rs.Fields(QStringLiteral("Chave1")).Value()),
                                                textoDe(rs.Fields(QStringLiteral("form")).Value()),
                                                textoDe(rs.Fields(QStringLiteral("ctrl")).Value()),
                                                textoDe(rs.Fields(QStringLiteral("caption")).Value()),
                                                textoDe(rs.Fields(QStringLiteral("ctrlcap")).Value()), Empresa));
            }
            rs.MoveNext();
        }
        util::setScreenMousePointer(util::vbDefault);
        closeQuietly(rs);
    } catch (const std::exception& e) {
        // The hourglass would otherwise stay on after the message.
        if (ocupado) util::setScreenMousePointer(util::vbDefault);
        closeQuietly(rs);
        const Erro erro = erroDe(e);
        platform::MsgBox(
            QStringLiteral("AccCopiaAcessosBase.") + u'\r' + QString::number(erro.numero) + u'\r' + erro.descricao,
            platform::mb::OKOnly);
    }
}

void EDiv::AccApagaTodososAcessos(data::Connection& connActiva, const QString& strUtilizador, const QString& Empresa) {
    connActiva.Execute(acessotexto::Apaga(strUtilizador, Empresa), nullptr, -1);
}

void EDiv::AccGetBotoes(data::Connection&, const QString&, const QString&, QWidget*, const QString&, const QString&) {}

QString EDiv::GetAcessoPrincipal(data::Connection& gconnConfig) {
    using namespace data::ado;
    data::Command cmd;
    cmd.setActiveConnection(&gconnConfig);
    cmd.setCommandText(QStringLiteral("GetAcessoPrincipal"));
    cmd.setCommandType(adCmdStoredProc);
    auto& p = cmd.Parameters();
    p.Append(cmd.CreateParameter(QStringLiteral("@RETURN_VALUE"), adInteger, adParamReturnValue, 0));
    p.Append(cmd.CreateParameter(QStringLiteral("@Empresa"), adVarChar, adParamOutput, 4));
    cmd.Execute();
    cmd.setActiveConnection(nullptr);
    return textoDe(p[QStringLiteral("@Empresa")].Value());
}

std::int16_t EDiv::GetAcessoIndependente(data::Connection& gconnConfig, QString Empresa) {
    using namespace data::ado;
    try {
        data::Command cmd;
        cmd.setActiveConnection(&gconnConfig);
        cmd.setCommandText(QStringLiteral("GetAcessoIndependente"));
        cmd.setCommandType(adCmdStoredProc);
        auto& p = cmd.Parameters();
        p.Append(cmd.CreateParameter(QStringLiteral("@RETURN_VALUE"), adInteger, adParamReturnValue, 0));
        if (Empresa.isEmpty()) Empresa = gstrCodEmpresa();
        p.Append(cmd.CreateParameter(QStringLiteral("@Empresa"), adVarChar, adParamInput, 4, Empresa));
        cmd.Execute();
        cmd.setActiveConnection(nullptr);
        const data::Variant v = p[QStringLiteral("@RETURN_VALUE")].Value();
        if (v.isNull() || v.isEmpty()) return 0;
        return v.toInt16();
    } catch (const std::exception&) {
        return 0;
    }
}
