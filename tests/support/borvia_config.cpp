#include "support/borvia_config.h"

#include "data/connection.h"

namespace testsupport {

namespace {

const QString kBase = QStringLiteral("BorviaConfig");

}  // namespace

QString literalConfig(const data::Variant& v) {
    if (v.isEmpty() || v.isNull()) return QStringLiteral("NULL");
    if (v.isString()) return u'\'' + v.toString().replace(u'\'', QStringLiteral("''")) + u'\'';
    if (v.type() == data::Variant::Type::Boolean) return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return QString::number(v.toDouble(), 'g', 17);
}

BorviaConfig::BorviaConfig(const TempEmbeddedServer& server, bool comProcedimentos) : server_(server) {
    server_.exec(QStringLiteral("master"), QStringLiteral("Create Database BorviaConfig"));
    server_.exec(kBase, QStringLiteral("create table empresas (codigo varchar(4) not null, nome varchar(60) null, "
                                       "AcessoPrincipal smallint null, AcessoIndependente smallint null)"));
    server_.exec(kBase, QStringLiteral("create table acessos (utilizador varchar(20) null, chave varchar(100) null, "
                                       "value int null, chave1 varchar(100) null, form varchar(50) null, "
                                       "ctrl varchar(50) null, caption varchar(100) null, ctrlcap varchar(100) null, "
                                       "empresa varchar(4) null)"));
    server_.exec(kBase,
                 QStringLiteral("create table UserManagement (LoginName varchar(30) null, AllDatabases int null)"));
    if (comProcedimentos) {
        auto conn = server_.connect(kBase);
        for (const QString& p : procedimentos()) conn->Execute(p);
    }
}

void BorviaConfig::addEmpresa(const EmpresaConfig& e) const {
    server_.exec(kBase,
                 QStringLiteral("insert into empresas (codigo, nome, AcessoPrincipal, AcessoIndependente) values (") +
                     literalConfig(e.codigo) + u',' + literalConfig(e.nome) + u',' +
                     (e.principal ? QStringLiteral("1") : QStringLiteral("0")) + u',' +
                     (e.independente ? QStringLiteral("1") : QStringLiteral("0")) + u')');
}

void BorviaConfig::addAcesso(const AcessoConfig& a) const {
    server_.exec(kBase, QStringLiteral("insert into acessos (utilizador,chave,value,chave1,form,ctrl,caption,ctrlcap,"
                                       "empresa) values (") +
                            literalConfig(a.utilizador) + u',' + literalConfig(a.chave) + u',' +
                            literalConfig(a.value) + u',' + literalConfig(a.chave1) + u',' + literalConfig(a.form) +
                            u',' + literalConfig(a.ctrl) + u',' + literalConfig(a.caption) + u',' +
                            literalConfig(a.ctrlcap) + u',' + literalConfig(a.empresa) + u')');
}

void BorviaConfig::addUserManagement(const QString& loginName, const data::Variant& allDatabases) const {
    server_.exec(kBase, QStringLiteral("insert into UserManagement (LoginName, AllDatabases) values (") +
                            literalConfig(loginName) + u',' + literalConfig(allDatabases) + u')');
}

std::vector<AcessoConfig> BorviaConfig::acessos(const QString& where) const {
    const QString sql = QStringLiteral(
                            "select utilizador,chave,value,chave1,form,ctrl,caption,ctrlcap,empresa "
                            "from acessos ") +
                        (where.isEmpty() ? QString() : QStringLiteral("where ") + where) +
                        QStringLiteral(" order by utilizador, empresa, chave");
    std::vector<AcessoConfig> out;
    for (const auto& r : server_.rows(kBase, sql)) {
        out.push_back({r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]});
    }
    return out;
}

std::vector<QString> BorviaConfig::procedimentos() {
    return {
        QStringLiteral("Create Procedure GetAcessoPrincipal @Empresa varchar(4) output\r\n"
                       "AS\r\n"
                       "SET @Empresa = NULL\r\n"
                       "SELECT @Empresa = codigo FROM empresas WHERE AcessoPrincipal = 1\r\n"
                       "RETURN 0"),
        QStringLiteral("Create Procedure GetAcessoIndependente @Empresa varchar(4)\r\n"
                       "AS\r\n"
                       "IF EXISTS (SELECT codigo FROM empresas WHERE codigo = @Empresa AND AcessoIndependente = 1)\r\n"
                       "  RETURN 1\r\n"
                       "RETURN 0"),
        QStringLiteral("Create Procedure VerSeExisteCopiaAcessosBase @Chave varchar(100) output, "
                       "@Utilizador varchar(20), @Empresa varchar(4), @Form varchar(50) output\r\n"
                       "AS\r\n"
                       "SET @Form = NULL\r\n"
                       "SELECT @Form = isnull(form, ''), @Chave = chave FROM acessos "
                       "WHERE chave = @Chave AND utilizador = @Utilizador AND empresa = @Empresa\r\n"
                       "RETURN 0"),
    };
}

QString BorviaConfig::scriptProcedimentos() {
    QString script;
    for (const QString& p : procedimentos()) script += p + QStringLiteral("\r\nGO\r\n");
    return script;
}

}  // namespace testsupport
