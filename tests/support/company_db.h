#pragma once
// Test data for the extraction run: a company database (the business-management product's
// tables, with the columns the run and the settings loader read, declared with SQL Server type
// names) on an embedded server, helpers that add its rows, and link rules in the staging
// database "Velmora" of the same server.
//
// Row structs are filled with designated initialisers; a field left Empty (or set to
// Variant::null()) is stored as NULL, so a test states exactly what a row holds:
//
//   db.addCliente({.codigo = "C1", .descricao = "Ana", .codPost = "1000-001"});
//   db.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-01-05"});
//
// RunDatabases puts everything a run needs together: server, program folder whose settings
// point at it, company database, staging database made by ActualizaBaseDados, and an open
// connection to each.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "data/variant.h"
#include "support/embedded_server.h"
#include "support/program_folder.h"

namespace data {
class Connection;
}

namespace testsupport {

// An amount written as the tests write it ("12.5").
inline data::Currency eur(const char* text) { return *data::Currency::parse(QString::fromLatin1(text)); }

// A value as a T-SQL literal: Empty and Null give NULL, texts are quoted with their apostrophes
// doubled, numbers and amounts use ".", dates are quoted "yyyy-mm-dd hh:mm:ss".
QString sqlLiteral(const data::Variant& v);

// Company Clientes. NumRegisto 0 marks a record the run does not read; -1 takes the next number.
struct ClienteEmpresa {
    QString codigo{};
    data::Variant descricao{};
    data::Variant contribuinte{};
    data::Variant morada{};
    data::Variant local{};
    data::Variant codPost{};
    data::Variant pais{};
    data::Variant distrito{};
    data::Variant grupo = "";
    data::Variant familia = "";
    data::Variant subfamilia = "";
    std::int32_t numRegisto = -1;
};

// Company Produtos; prices PrecoVenda1..7 (index 0..6) are 0 unless set.
struct ProdutoEmpresa {
    QString codigo{};
    data::Variant descricao{};
    data::Variant unidadeVenda = "UN";
    data::Variant grupo = "";
    data::Variant familia = "";
    data::Variant subfamilia = "";
    data::Variant forneceExterno{};
    std::array<data::Variant, 7> precoVenda{data::Currency(), data::Currency(), data::Currency(), data::Currency(),
                                            data::Currency(), data::Currency(), data::Currency()};
    std::int32_t numRegisto = -1;
};

// Company MovProduto: a closed customer document line unless told otherwise. NumRegisto -1
// takes the next number. Data is a date text ("yyyy-mm-dd", optionally with a time).
struct LinhaEmpresa {
    QString identifica{};
    data::Variant codigo{};    // product
    data::Variant terceiro{};  // customer
    data::Variant tipo{};      // document type
    data::Variant data{};
    data::Variant numero = "1";
    data::Variant ano{};  // the year of data when Empty
    data::Variant clifor = "C";
    data::Variant fechado = "S";
    data::Variant valorIliq = data::Currency::fromUnits(10);
    data::Variant totalDesconto = data::Currency();
    data::Variant quantNormal = data::Currency::fromUnits(1);
    data::Variant preco = data::Currency::fromUnits(10);
    data::Variant vendedor = "01";
    data::Variant unidade = "UN";
    data::Variant obsLinha = "";
    std::int32_t numRegisto = -1;
};

class CompanyDb {
public:
    // Creates the database on the server with every table, empty.
    explicit CompanyDb(const TempEmbeddedServer& server, QString name = QStringLiteral("Empresa"));

    const QString& name() const { return name_; }
    const TempEmbeddedServer& server() const { return server_; }

    // Statements and reads on the company database.
    void exec(const QString& sql) const;
    std::vector<std::vector<data::Variant>> rows(const QString& sql) const;
    data::Variant scalar(const QString& sql) const;

    void addCliente(const ClienteEmpresa& c);
    void addPostal(const QString& codigo, const data::Variant& descricao);
    void addProduto(const ProdutoEmpresa& p);
    void addFornecedor(const QString& codigo, const data::Variant& descricao);
    // AfectaCli: its first character "D" makes a sale ("C" in the file), "S" a credit ("V").
    void addTipoMov(const QString& codigo, const data::Variant& afectaCli, const data::Variant& descricao = "");
    void addLinha(const LinhaEmpresa& l);
    void addIec(const QString& identifica, const QString& codigoImposto = QStringLiteral("IEC"));
    // Replaces the one row of ParamGeral.
    void setParamGeral(std::int16_t zerarFornece, std::int16_t zerarClientes, std::int16_t zerarProduto);

    // Changes or removes company rows by code (the run's "changed" and "gone" cases).
    void setCampo(const QString& tabela, const QString& codigo, const QString& coluna, const data::Variant& valor);
    void removeCliente(const QString& codigo);
    void removeProduto(const QString& codigo);
    void removeLinha(const QString& identifica);

private:
    std::int32_t next(std::int32_t wanted, std::int32_t& counter);
    const TempEmbeddedServer& server_;
    QString name_;
    std::int32_t nextCliente_ = 1;
    std::int32_t nextProduto_ = 1;
    std::int32_t nextLinha_ = 1;
    std::int32_t nextOutro_ = 1;
};

// Link rules in the staging database "Velmora" of a server (its tables must exist).
struct LigaProduto {
    data::Variant grupo = "";
    data::Variant familia = "";
    data::Variant subfamilia = "";
    data::Variant fornecedor = "";
    data::Variant pvp = "";
};
struct LigaCliente {
    data::Variant grupo = "";
    data::Variant familia = "";
    data::Variant subfamilia = "";
};
struct LigaMovimento {
    data::Variant mascara = "V";
    data::Variant tipo{};
    data::Variant tipoOferta = "0";
    data::Variant apenasMovComValor = std::int16_t{0};
};
void addLigaProduto(const TempEmbeddedServer& server, const LigaProduto& r);
void addLigaCliente(const TempEmbeddedServer& server, const LigaCliente& r);
void addLigaMovimento(const TempEmbeddedServer& server, const LigaMovimento& r);

// Everything a run needs, made in this order: an embedded server; a program folder whose
// settings point at it (Tramontix section, company database "Empresa"); the company database;
// LerConfiguracao(); the staging database through ActualizaBaseDados() (its "Arranque da
// Aplicação" log row is removed again, so LogGeral starts empty); open connections to both.
class RunDatabases {
public:
    RunDatabases();
    ~RunDatabases();
    RunDatabases(const RunDatabases&) = delete;
    RunDatabases& operator=(const RunDatabases&) = delete;

    TempEmbeddedServer server;
    TempProgramFolder program;
    CompanyDb company;
    std::unique_ptr<data::Connection> geral;   // the staging database Velmora
    std::unique_ptr<data::Connection> gestao;  // the company database

    void addLigaProduto(const LigaProduto& r) const { testsupport::addLigaProduto(server, r); }
    void addLigaCliente(const LigaCliente& r) const { testsupport::addLigaCliente(server, r); }
    void addLigaMovimento(const LigaMovimento& r) const { testsupport::addLigaMovimento(server, r); }

    // The smallest company one run exports: product P1, customer C1 (postal code 1000-001), one
    // closed sales line L1 of document type FT on the date given, and a rule of each kind that
    // selects them (sales lines as "V").
    void addOneSale(const char* date = "2017-03-01");
    // The export settings the run tests share: the folder, the file-name prefix "NRT" and the
    // system name "SISTEMA NORTA".
    void setExport(const QString& folder);

    // Statements and reads on the staging database (over connections of their own).
    void execStaging(const QString& sql) const { server.exec(QStringLiteral("Velmora"), sql); }
    // One staged row, given column by column (values written as SQL literals).
    void insertStaging(const QString& table, const std::vector<std::pair<const char*, data::Variant>>& columns) const;
    std::vector<std::vector<data::Variant>> staging(const QString& sql) const {
        return server.rows(QStringLiteral("Velmora"), sql);
    }
    data::Variant stagingScalar(const QString& sql) const { return server.scalar(QStringLiteral("Velmora"), sql); }

    // The staging log in the order written: label and detail (Null as an empty text).
    std::vector<std::pair<QString, QString>> logRows() const;
    QStringList logLabels() const;
};

}  // namespace testsupport
