#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

#include "data/connection.h"
#include "data/provider.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/modActDB.h"
#include "sqltoolkit/CSql.h"
#include "support/expect_statements.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"

using testsupport::ColumnInfo;
using namespace data::ado;

namespace {

struct Layout {
    const char* table;
    std::vector<ColumnInfo> columns;
};

ColumnInfo vc(const char* name, long width) { return {name, adVarChar, width}; }
ColumnInfo col(const char* name, int type) { return {name, type, 0}; }

// The staging tables in their final widths, columns in the order of creation.
const std::vector<Layout>& finalLayout() {
    static const std::vector<Layout> layout = {
        {"LigaClientes", {vc("Grupo", 3), vc("Familia", 3), vc("Subfamilia", 3)}},
        {"LigaProdutos", {vc("Grupo", 3), vc("Familia", 3), vc("Subfamilia", 3), vc("PVP", 1), vc("Fornecedor", 10)}},
        {"LigaMovimentos", {vc("Mascara", 3), vc("Tipo", 3), vc("TipoOferta", 1), col("ApenasMovComValor", adSmallInt)}},
        {"Clientes",
         {col("Activo", adSmallInt), vc("Status", 3), vc("Codigo", 10), vc("Descricao", 60), vc("Designacao", 60),
          vc("Contribuinte", 15), vc("BI_NIPC", 10), vc("Morada", 60), vc("Localidade", 50), vc("Distrito", 50),
          vc("Concelho", 50), vc("CodPost", 60), vc("Pais", 50), vc("Segmento", 50)}},
        {"Produtos",
         {col("Activo", adSmallInt), vc("Status", 3), vc("Codigo", 15), vc("CodigoBarras", 15), vc("Descricao", 80),
          vc("UnidadeVenda", 3), col("PVP", adCurrency), vc("Cambio", 3), vc("NomeFornecedor", 50)}},
        {"Movimentos",
         {vc("Status", 3), vc("Mascara", 2), vc("Chave", 50), vc("Data", 10), vc("TipoVenda", 1),
          vc("CodigoVendedor", 2), vc("CodigoCliente", 10), vc("CodigoProduto", 15), col("Quantidade", adCurrency),
          col("Valor", adCurrency), vc("Cambio", 3), vc("UnidadeVenda", 3), vc("IEC", 1), vc("Observacoes", 50),
          vc("Motivo", 100)}},
        {"HistFiles", {vc("Filename", 128), col("Ficheiro", adLongVarBinary), col("Datasys", adDBTimeStamp)}},
        {"LogGeral", {col("DataSys", adDBTimeStamp), vc("Opcao", 50), col("Texto", adLongVarChar)}},
    };
    return layout;
}

// What a table holds, for comparison: the key column, then every other column with its type
// and, for texts, its width.
std::vector<ColumnInfo> shape(data::Connection& conn, const QString& table) {
    std::vector<ColumnInfo> out;
    for (ColumnInfo c : testsupport::tableColumns(conn, table)) {
        if (c.type != adVarChar) c.size = 0;
        out.push_back(c);
    }
    return out;
}

std::vector<ColumnInfo> expectedShape(const Layout& l) {
    std::vector<ColumnInfo> out{col("NumRegisto", adNumeric)};
    out.insert(out.end(), l.columns.begin(), l.columns.end());
    return out;
}

// The statements of one call, with the database each runs in, in order: the database, then per table its creation (the key
// only when the table was new), its columns in their first widths, the widenings of later
// versions and the repair; the indexes of the run's look-ups; the log row. Column lists are
// "name type" pairs separated by "|".
QStringList sequenciaEsperada(bool tabelasNovas) {
    struct Tabela {
        const char* nome;
        const char* colunas;
        const char* alargamentos;
        const char* reparacao;
    };
    const Tabela tabelas[] = {
        {"LigaClientes", "Grupo varchar(3)|Familia varchar(3)|Subfamilia varchar(3)", "", nullptr},
        {"LigaProdutos", "Grupo varchar(3)|Familia varchar(3)|Subfamilia varchar(3)|PVP varchar(1)|Fornecedor varchar(10)",
         "", nullptr},
        {"LigaMovimentos", "Mascara varchar(3)|Tipo varchar(3)|TipoOferta varchar(1)|ApenasMovComValor smallint", "",
         "Update LigaMovimentos set ApenasMovComValor=0 where ApenasMovComValor is null"},
        {"Clientes",
         "Activo smallint|Status varchar(3)|Codigo varchar(10)|Descricao varchar(50)|Designacao varchar(50)|"
         "Contribuinte varchar(12)|BI_NIPC varchar(10)|Morada varchar(50)|Localidade varchar(50)|Distrito varchar(2)|"
         "Concelho varchar(2)|CodPost varchar(40)|Pais varchar(10)|Segmento varchar(10)",
         "Descricao varchar(60)|Designacao varchar(60)|Contribuinte varchar(15)|Morada varchar(60)|Distrito varchar(50)|"
         "Concelho varchar(50)|CodPost varchar(60)|Pais varchar(50)|Segmento varchar(50)",
         nullptr},
        {"Produtos",
         "Activo smallint|Status varchar(3)|Codigo varchar(15)|CodigoBarras varchar(15)|Descricao varchar(50)|"
         "UnidadeVenda varchar(3)|PVP money|Cambio varchar(3)|NomeFornecedor varchar(50)",
         "Descricao varchar(80)", nullptr},
        {"Movimentos",
         "Status varchar(3)|Mascara varchar(2)|Chave varchar(50)|Data varchar(10)|TipoVenda varchar(1)|"
         "CodigoVendedor varchar(2)|CodigoCliente varchar(10)|CodigoProduto varchar(15)|Quantidade money|Valor money|"
         "Cambio varchar(3)|UnidadeVenda varchar(3)|IEC varchar(1)|Observacoes varchar(50)|Motivo varchar(100)",
         "", nullptr},
        {"HistFiles", "Filename varchar(128)|Ficheiro image|Datasys datetime", "", nullptr},
        {"LogGeral", "DataSys datetime|Opcao varchar(50)|Texto text", "", nullptr},
    };
    QStringList out;
    for (const Tabela& t : tabelas) {
        const QString nome = QString::fromLatin1(t.nome);
        out << QStringLiteral(" create table %1 ( NumRegisto numeric (18,0) identity (1,1) not null )").arg(nome);
        if (tabelasNovas) {
            out << QStringLiteral("ALTER TABLE [dbo].[%1] WITH NOCHECK ADD  CONSTRAINT [PK_%1] PRIMARY KEY  "
                                  "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]")
                       .arg(nome);
        }
        for (const auto& [lista, verbo] : {std::pair{t.colunas, " add "}, std::pair{t.alargamentos, " ALTER COLUMN "}}) {
            for (const QString& coluna : QString::fromLatin1(lista).split(u'|', Qt::SkipEmptyParts)) {
                out << QStringLiteral(" alter table ") + nome + QString::fromLatin1(verbo) + coluna +
                           QStringLiteral(" null ");
            }
        }
        if (t.reparacao != nullptr) out << QString::fromLatin1(t.reparacao);
    }
    for (const char* indice : {"IX_Clientes_Codigo] on [dbo].[Clientes] ( Codigo",
                               "IX_Produtos_Codigo] on [dbo].[Produtos] ( Codigo",
                               "IX_Movimentos_Chave] on [dbo].[Movimentos] ( Chave",
                               "IX_Movimentos_Data] on [dbo].[Movimentos] ( Data",
                               "IX_Movimentos_Mascara] on [dbo].[Movimentos] ( Mascara DESC, Data"}) {
        out << QStringLiteral("CREATE INDEX [") + QString::fromLatin1(indice) + QStringLiteral(" ) ON [PRIMARY]");
    }
    out << QStringLiteral("Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Arranque da Aplicação','')");
    out.replaceInStrings(QRegularExpression(QStringLiteral("^")), QStringLiteral("Velmora | "));
    out.prepend(QStringLiteral("master | Create Database Velmora"));
    return out;
}

class ActualizaBaseDadosTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_.pointTo(server_, "Empresa");
        LerConfiguracao();
    }

    std::vector<std::vector<data::Variant>> logRows() const {
        return server_.rows("Velmora", "select Opcao, Texto, DataSys from LogGeral order by NumRegisto");
    }

    void expectFinalLayout() {
        auto conn = server_.connect("Velmora");
        for (const Layout& l : finalLayout()) {
            SCOPED_TRACE(l.table);
            EXPECT_EQ(shape(*conn, l.table), expectedShape(l));
            EXPECT_TRUE(gobjSql().SQLCheckIndex(*conn, l.table, QStringLiteral("PK_") + l.table));
        }
    }

    testsupport::TempEmbeddedServer server_;
    testsupport::TempProgramFolder program_;
};

}  // namespace

TEST_F(ActualizaBaseDadosTest, ANewServerGetsTheWholeStagingDatabaseInOneCall) {
    testsupport::MessageBoxRecorder boxes;
    ActualizaBaseDados();
    EXPECT_TRUE(boxes.shown.empty());
    expectFinalLayout();

    const auto rows = logRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].toString(), "Arranque da Aplicação");
    EXPECT_EQ(rows[0][1].toString(), "");
    EXPECT_FALSE(rows[0][2].isNull());
    for (const auto& r : server_.rows("Velmora", "select Opcao, Texto from LogGeral")) {
        EXPECT_FALSE(r[0].toString().contains(server_.password()));
        EXPECT_FALSE(r[1].toString().contains(server_.password()));
    }
}

TEST_F(ActualizaBaseDadosTest, EachCallSendsExactlyItsStatementsInOrder) {
    QStringList gravados;
    data::provider::setRequestObserver([&](const QString& database, const data::provider::Request& r) {
        gravados << database + QStringLiteral(" | ") + r.text;
    });
    ActualizaBaseDados();
    const QStringList primeira = gravados;
    gravados.clear();
    // Again: every creation fails at its first statement, so no key is added twice.
    ActualizaBaseDados();
    data::provider::setRequestObserver({});
    EXPECT_EQ(primeira.filter(QStringLiteral(" add ")).size(), 56);
    EXPECT_EQ(primeira.filter(QStringLiteral(" ALTER COLUMN ")).size(), 10);
    for (const auto& [got, expected] : {std::pair{primeira, sequenciaEsperada(true)},
                                        std::pair{gravados, sequenciaEsperada(false)}}) {
        testsupport::expectStatements(got, expected);
    }
}

TEST_F(ActualizaBaseDadosTest, ASecondCallChangesNoTableAndLogsOnceMore) {
    ActualizaBaseDados();
    server_.exec("Velmora", "insert into Clientes (Codigo, Descricao, Distrito) values ('O''NEILL', 'Cliente', 'Lisboa')");
    server_.exec("Velmora", "insert into LigaMovimentos (Mascara, ApenasMovComValor) values ('V', 1)");
    testsupport::MessageBoxRecorder boxes;
    ActualizaBaseDados();
    EXPECT_TRUE(boxes.shown.empty());
    expectFinalLayout();
    EXPECT_EQ(logRows().size(), 2u);
    EXPECT_EQ(server_.scalar("Velmora", "select Descricao from Clientes where Codigo='O''NEILL'").toString(), "Cliente");
    EXPECT_EQ(server_.scalar("Velmora", "select ApenasMovComValor from LigaMovimentos").toInt32(), 1);
    EXPECT_EQ(server_.scalar("Velmora", "select count(*) from Clientes").toInt32(), 1);
}

TEST_F(ActualizaBaseDadosTest, AnOlderNarrowerLayoutIsWidenedAndKeepsItsData) {
    // The layout of an earlier version: narrow columns, some columns and tables still missing.
    server_.exec("master", "Create Database Velmora");
    server_.exec("Velmora",
                 "create table Clientes (NumRegisto numeric(18,0) identity(1,1) not null, Activo smallint null, "
                 "Status varchar(3) null, Codigo varchar(10) null, Descricao varchar(50) null, "
                 "Distrito varchar(2) null, Pais varchar(10) null); "
                 "create table Produtos (NumRegisto numeric(18,0) identity(1,1) not null, Codigo varchar(15) null, "
                 "Descricao varchar(50) null); "
                 "create table LigaMovimentos (NumRegisto numeric(18,0) identity(1,1) not null, "
                 "Mascara varchar(3) null, Tipo varchar(3) null); "
                 "insert into Clientes (Activo, Status, Codigo, Descricao, Distrito, Pais) "
                 "values (1, 'N', 'O''NEILL', 'Descrição antiga', 'LX', 'PT'); "
                 "insert into Produtos (Codigo, Descricao) values ('P1', 'Produto'); "
                 "insert into LigaMovimentos (Mascara, Tipo) values ('V', 'FT')");

    testsupport::MessageBoxRecorder boxes;
    ActualizaBaseDados();
    EXPECT_TRUE(boxes.shown.empty());

    auto conn = server_.connect("Velmora");
    for (const Layout& l : finalLayout()) {
        SCOPED_TRACE(l.table);
        const auto got = shape(*conn, l.table);
        // Columns that existed keep their place; the others follow in the order they are added.
        auto sorted = [](std::vector<ColumnInfo> v) {
            std::sort(v.begin(), v.end(), [](const ColumnInfo& a, const ColumnInfo& b) { return a.name < b.name; });
            return v;
        };
        EXPECT_EQ(sorted(got), sorted(expectedShape(l)));
    }
    const auto c = server_.rows("Velmora", "select Activo, Status, Codigo, Descricao, Distrito, Pais, Segmento from Clientes");
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0][0].toInt32(), 1);
    EXPECT_EQ(c[0][2].toString(), "O'NEILL");
    EXPECT_EQ(c[0][3].toString(), "Descrição antiga");
    EXPECT_EQ(c[0][4].toString(), "LX");
    EXPECT_EQ(c[0][5].toString(), "PT");
    EXPECT_TRUE(c[0][6].isNull());
    EXPECT_EQ(server_.scalar("Velmora", "select Descricao from Produtos where Codigo='P1'").toString(), "Produto");
    EXPECT_EQ(server_.scalar("Velmora", "select ApenasMovComValor from LigaMovimentos").toInt32(), 0)
        << "the rule row saved without the flag holds 0 after the start";
    EXPECT_EQ(logRows().size(), 1u);
}

TEST_F(ActualizaBaseDadosTest, AWrongPasswordShowsOneCriticalMessageAndTouchesNothing) {
    program_.pointTo(server_, "Empresa", "Pw.Errada'2024");
    LerConfiguracao();
    testsupport::MessageBoxRecorder boxes;
    ActualizaBaseDados();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].style, platform::mb::Critical);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("18456\rLogin failed for user 'sa'."));
    EXPECT_EQ(boxes.shown[0].title, platform::appTitle()) << "the program's default title";
    EXPECT_FALSE(QFile::exists(server_.databaseFile("Velmora")));

    // The same on a server that has the staging database: nothing changes, no log row.
    program_.pointTo(server_, "Empresa");
    LerConfiguracao();
    ActualizaBaseDados();
    program_.pointTo(server_, "Empresa", "errada");
    LerConfiguracao();
    boxes.shown.clear();
    ActualizaBaseDados();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(logRows().size(), 1u);
    expectFinalLayout();
}

// The structure script of every staging table makes the same table again, under another name
// and as a temporary table.
TEST_F(ActualizaBaseDadosTest, TheStructureScriptOfEveryStagingTableMakesItAgain) {
    ActualizaBaseDados();
    auto conn = server_.connect("Velmora");
    for (const Layout& l : finalLayout()) {
        const QString table = QString::fromLatin1(l.table);
        SCOPED_TRACE(l.table);
        const auto source = testsupport::helpedStructure(*conn, table);
        ASSERT_EQ(source.size(), l.columns.size() + 2) << "the columns and the identity";
        for (const QString& copy : {QStringLiteral("Copia") + table, QStringLiteral("#") + table}) {
            const QString script = gobjSql().DuplicateStructure(server_.serverName(), server_.login(), server_.password(),
                                                                QStringLiteral("Velmora"), table, copy);
            ASSERT_NO_THROW(conn->Execute(script)) << script.toStdString();
            EXPECT_EQ(testsupport::helpedStructure(*conn, copy), source) << copy.toStdString();
        }
    }
}
