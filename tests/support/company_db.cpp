#include "support/company_db.h"

#include <QDateTime>

#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/modActDB.h"

namespace testsupport {

namespace {

using data::Variant;

const QString kVelmora = QStringLiteral("Velmora");

// The company tables, with the columns the run reads (and a few a real company database has
// beside them), each with its SQL Server type.
const char* const kCompanyTables[] = {
    "create table Clientes (NumRegisto int null, Codigo varchar(10) null, Descricao varchar(100) null, "
    "Contribuinte varchar(15) null, Morada varchar(100) null, local varchar(60) null, CodPost varchar(15) null, "
    "Pais varchar(50) null, Distrito varchar(50) null, Grupo varchar(3) null, Familia varchar(3) null, "
    "Subfamilia varchar(3) null)",
    "create table TabPostal (NumRegisto int null, codigo varchar(15) null, descricao varchar(60) null)",
    "create table Produtos (NumRegisto int null, Codigo varchar(20) null, Descricao varchar(100) null, "
    "UnidadeVenda varchar(5) null, Grupo varchar(3) null, Familia varchar(3) null, Subfamilia varchar(3) null, "
    "ForneceExterno varchar(10) null, PrecoVenda1 money null, PrecoVenda2 money null, PrecoVenda3 money null, "
    "PrecoVenda4 money null, PrecoVenda5 money null, PrecoVenda6 money null, PrecoVenda7 money null)",
    "create table Fornece (NumRegisto int null, Codigo varchar(10) null, Descricao varchar(60) null)",
    "create table TabTipoMov (NumRegisto int null, Codigo varchar(3) null, Descricao varchar(50) null, "
    "AfectaCli varchar(10) null)",
    "create table MovProduto (NumRegisto int null, Identifica varchar(60) null, ObsLinha varchar(100) null, "
    "Vendedor varchar(5) null, ValorIliq money null, TotalDesconto money null, Codigo varchar(20) null, "
    "Tipo varchar(3) null, Numero varchar(10) null, Ano smallint null, Data datetime null, Preco money null, "
    "QuantNormal numeric(18,3) null, Terceiro varchar(10) null, Clifor varchar(1) null, Fechado varchar(1) null, "
    "Unidade varchar(5) null)",
    "create table ImpostosMovproduto (NumRegisto int null, Identifica varchar(60) null, "
    "CodigoImposto varchar(10) null)",
    "create table ParamGeral (ZerarFornece smallint null, ZerarClientes smallint null, ZerarProduto smallint null)",
};

QString list(std::initializer_list<Variant> values) {
    QString out;
    for (const Variant& v : values) {
        if (!out.isEmpty()) out += QStringLiteral(", ");
        out += sqlLiteral(v);
    }
    return out;
}

}  // namespace

QString sqlLiteral(const Variant& v) {
    if (v.isEmpty() || v.isNull()) return QStringLiteral("NULL");
    if (v.isString()) {
        QString s = v.toString();
        s.replace(u'\'', QStringLiteral("''"));
        return u'\'' + s + u'\'';
    }
    if (v.isDate()) return u'\'' + v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + u'\'';
    if (v.type() == Variant::Type::Boolean) return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    if (v.type() == Variant::Type::Currency) return v.toCurrency().toPlainText(QStringLiteral("."));
    if (v.type() == Variant::Type::Double || v.type() == Variant::Type::Single) {
        return QString::number(v.toDouble(), 'g', 17);
    }
    return QString::number(v.toInt64());
}

// ---------------------------------------------------------------------------------------------
// CompanyDb

CompanyDb::CompanyDb(const TempEmbeddedServer& server, QString name) : server_(server), name_(std::move(name)) {
    server_.exec(QStringLiteral("master"), QStringLiteral("Create Database ") + name_);
    auto conn = server_.connect(name_);
    for (const char* sql : kCompanyTables) conn->Execute(QString::fromLatin1(sql));
}

void CompanyDb::exec(const QString& sql) const { server_.exec(name_, sql); }

std::vector<std::vector<Variant>> CompanyDb::rows(const QString& sql) const { return server_.rows(name_, sql); }

Variant CompanyDb::scalar(const QString& sql) const { return server_.scalar(name_, sql); }

std::int32_t CompanyDb::next(std::int32_t wanted, std::int32_t& counter) {
    if (wanted >= 0) return wanted;
    return counter++;
}

void CompanyDb::addCliente(const ClienteEmpresa& c) {
    exec(QStringLiteral("insert into Clientes (NumRegisto, Codigo, Descricao, Contribuinte, Morada, local, CodPost, "
                        "Pais, Distrito, Grupo, Familia, Subfamilia) values (") +
         list({next(c.numRegisto, nextCliente_), c.codigo, c.descricao, c.contribuinte, c.morada, c.local, c.codPost,
               c.pais, c.distrito, c.grupo, c.familia, c.subfamilia}) +
         u')');
}

void CompanyDb::addPostal(const QString& codigo, const Variant& descricao) {
    exec(QStringLiteral("insert into TabPostal (NumRegisto, codigo, descricao) values (") +
         list({next(-1, nextOutro_), codigo, descricao}) + u')');
}

void CompanyDb::addProduto(const ProdutoEmpresa& p) {
    exec(QStringLiteral("insert into Produtos (NumRegisto, Codigo, Descricao, UnidadeVenda, Grupo, Familia, Subfamilia, "
                        "ForneceExterno, PrecoVenda1, PrecoVenda2, PrecoVenda3, PrecoVenda4, PrecoVenda5, PrecoVenda6, "
                        "PrecoVenda7) values (") +
         list({next(p.numRegisto, nextProduto_), p.codigo, p.descricao, p.unidadeVenda, p.grupo, p.familia,
               p.subfamilia, p.forneceExterno, p.precoVenda[0], p.precoVenda[1], p.precoVenda[2], p.precoVenda[3],
               p.precoVenda[4], p.precoVenda[5], p.precoVenda[6]}) +
         u')');
}

void CompanyDb::addFornecedor(const QString& codigo, const Variant& descricao) {
    exec(QStringLiteral("insert into Fornece (NumRegisto, Codigo, Descricao) values (") +
         list({next(-1, nextOutro_), codigo, descricao}) + u')');
}

void CompanyDb::addTipoMov(const QString& codigo, const Variant& afectaCli, const Variant& descricao) {
    exec(QStringLiteral("insert into TabTipoMov (NumRegisto, Codigo, Descricao, AfectaCli) values (") +
         list({next(-1, nextOutro_), codigo, descricao, afectaCli}) + u')');
}

void CompanyDb::addLinha(const LinhaEmpresa& l) {
    Variant ano = l.ano;
    if (ano.isEmpty() && l.data.isString() && l.data.toString().size() >= 4) {
        ano = static_cast<std::int16_t>(l.data.toString().left(4).toInt());
    }
    exec(QStringLiteral("insert into MovProduto (NumRegisto, Identifica, ObsLinha, Vendedor, ValorIliq, TotalDesconto, "
                        "Codigo, Tipo, Numero, Ano, Data, Preco, QuantNormal, Terceiro, Clifor, Fechado, Unidade) "
                        "values (") +
         list({next(l.numRegisto, nextLinha_), l.identifica, l.obsLinha, l.vendedor, l.valorIliq, l.totalDesconto,
               l.codigo, l.tipo, l.numero, ano, l.data, l.preco, l.quantNormal, l.terceiro, l.clifor, l.fechado,
               l.unidade}) +
         u')');
}

void CompanyDb::addIec(const QString& identifica, const QString& codigoImposto) {
    exec(QStringLiteral("insert into ImpostosMovproduto (NumRegisto, Identifica, CodigoImposto) values (") +
         list({next(-1, nextOutro_), identifica, codigoImposto}) + u')');
}

void CompanyDb::setParamGeral(std::int16_t zerarFornece, std::int16_t zerarClientes, std::int16_t zerarProduto) {
    exec(QStringLiteral("delete from ParamGeral"));
    exec(QStringLiteral("insert into ParamGeral (ZerarFornece, ZerarClientes, ZerarProduto) values (") +
         list({zerarFornece, zerarClientes, zerarProduto}) + u')');
}

void CompanyDb::setCampo(const QString& tabela, const QString& codigo, const QString& coluna, const Variant& valor) {
    const QString key = tabela.compare(QStringLiteral("MovProduto"), Qt::CaseInsensitive) == 0
                            ? QStringLiteral("Identifica")
                            : QStringLiteral("Codigo");
    exec(QStringLiteral("update ") + tabela + QStringLiteral(" set ") + coluna + u'=' + sqlLiteral(valor) +
         QStringLiteral(" where ") + key + u'=' + sqlLiteral(codigo));
}

void CompanyDb::removeCliente(const QString& codigo) {
    exec(QStringLiteral("delete from Clientes where Codigo=") + sqlLiteral(codigo));
}

void CompanyDb::removeProduto(const QString& codigo) {
    exec(QStringLiteral("delete from Produtos where Codigo=") + sqlLiteral(codigo));
}

void CompanyDb::removeLinha(const QString& identifica) {
    exec(QStringLiteral("delete from MovProduto where Identifica=") + sqlLiteral(identifica));
}

// ---------------------------------------------------------------------------------------------
// Link rules

void addLigaProduto(const TempEmbeddedServer& server, const LigaProduto& r) {
    server.exec(kVelmora, QStringLiteral("insert into LigaProdutos (Grupo, Familia, Subfamilia, PVP, Fornecedor) values (") +
                              list({r.grupo, r.familia, r.subfamilia, r.pvp, r.fornecedor}) + u')');
}

void addLigaCliente(const TempEmbeddedServer& server, const LigaCliente& r) {
    server.exec(kVelmora, QStringLiteral("insert into LigaClientes (Grupo, Familia, Subfamilia) values (") +
                              list({r.grupo, r.familia, r.subfamilia}) + u')');
}

void addLigaMovimento(const TempEmbeddedServer& server, const LigaMovimento& r) {
    server.exec(kVelmora,
                QStringLiteral("insert into LigaMovimentos (Mascara, Tipo, TipoOferta, ApenasMovComValor) values (") +
                    list({r.mascara, r.tipo, r.tipoOferta, r.apenasMovComValor}) + u')');
}

// ---------------------------------------------------------------------------------------------
// RunDatabases

RunDatabases::RunDatabases() : company(server) {
    program.pointTo(server, company.name());
    LerConfiguracao();
    ActualizaBaseDados();
    execStaging(QStringLiteral("delete from LogGeral"));
    geral = server.connect(kVelmora);
    gestao = server.connect(company.name());
}

RunDatabases::~RunDatabases() {
    if (geral && geral->State() != 0) geral->Close();
    if (gestao && gestao->State() != 0) gestao->Close();
}

void RunDatabases::addOneSale(const char* date) {
    company.addProduto({.codigo = "P1", .descricao = "Café Moído", .unidadeVenda = "KG"});
    company.addPostal("1000-001", "LISBOA");
    company.addCliente({.codigo = "C1", .descricao = "João Ávila", .codPost = "1000-001"});
    company.addTipoMov("FT", "D");
    company.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = date});
    addLigaProduto({});
    addLigaCliente({});
    addLigaMovimento({.mascara = "V", .tipo = "FT"});
}

void RunDatabases::insertStaging(const QString& table,
                                 const std::vector<std::pair<const char*, data::Variant>>& columns) const {
    QString names;
    QString values;
    for (const auto& [name, value] : columns) {
        if (!names.isEmpty()) {
            names += u',';
            values += u',';
        }
        names += QString::fromLatin1(name);
        values += sqlLiteral(value);
    }
    execStaging(QStringLiteral("insert into ") + table + QStringLiteral(" (") + names + QStringLiteral(") values (") +
                values + u')');
}

void RunDatabases::setExport(const QString& folder) {
    program.set("Extractor", "P3", folder);
    program.set("Extractor", "P15", "NRT");
    program.set("Extractor", "P8", "SISTEMA NORTA");
}

std::vector<std::pair<QString, QString>> RunDatabases::logRows() const {
    std::vector<std::pair<QString, QString>> out;
    for (const auto& r : staging(QStringLiteral("select Opcao, Texto from LogGeral order by NumRegisto"))) {
        out.emplace_back(r[0].toString(), r[1].isNull() ? QString() : r[1].toString());
    }
    return out;
}

QStringList RunDatabases::logLabels() const {
    QStringList l;
    for (const auto& r : logRows()) l << r.first;
    return l;
}

}  // namespace testsupport
