// The staging schema's statements, in their order and with their exact texts, on a new server,
// again on the result, and on an older and narrower layout.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

struct Col {
    const char* name;
    const char* type;
};
struct Table {
    const char* name;
    std::vector<Col> add;
    std::vector<Col> widen;
};

const std::vector<Table>& layout() {
    static const std::vector<Table> t = {
        {"LigaClientes", {{"Grupo", "varchar(3) null "}, {"Familia", "varchar(3) null "}, {"Subfamilia", "varchar(3) null "}}, {}},
        {"LigaMovimentos",
         {{"Mascara", "varchar(3) null "}, {"Tipo", "varchar(3) null "}, {"TipoOferta", "varchar(1) null "},
          {"ApenasMovComValor", "smallint null "}},
         {}},
        {"Clientes",
         {{"Activo", "smallint null "},      {"Status", "varchar(3) null "},     {"Codigo", "varchar(10) null "},
          {"Descricao", "varchar(50) null "}, {"Designacao", "varchar(50) null "}, {"Contribuinte", "varchar(12) null "},
          {"BI_NIPC", "varchar(10) null "},   {"Morada", "varchar(50) null "},     {"Localidade", "varchar(50) null "},
          {"Distrito", "varchar(2) null "},   {"Concelho", "varchar(2) null "},    {"CodPost", "varchar(40) null "},
          {"Pais", "varchar(10) null "},      {"Segmento", "varchar(10) null "}},
         {{"Descricao", "varchar(60) null "}, {"Designacao", "varchar(60) null "}, {"Contribuinte", "varchar(15) null "},
          {"Morada", "varchar(60) null "},    {"Distrito", "varchar(50) null "},   {"Concelho", "varchar(50) null "},
          {"CodPost", "varchar(60) null "},   {"Pais", "varchar(50) null "},       {"Segmento", "varchar(50) null "}}},
        {"HistFiles", {{"Filename", "varchar(128) null "}, {"Ficheiro", "image null "}, {"Datasys", "datetime null "}}, {}},
        {"LogGeral", {{"DataSys", "datetime null "}, {"Opcao", "varchar(50) null "}, {"Texto", "text null "}}, {}},
    };
    return t;
}

void schemaRoutine(const Server& s) {
    {
        auto m = s.connect(QStringLiteral("master"));
        errorOf(*m, QStringLiteral("Create Database Velmora"));
    }
    auto c = s.connect(QStringLiteral("Velmora"));
    for (const auto& t : layout()) {
        const QString name = QString::fromLatin1(t.name);
        if (errorOf(*c, QStringLiteral(" create table ") + name + QStringLiteral(" ( NumRegisto numeric (18,0) identity (1,1) not null )")) == 0) {
            errorOf(*c, QStringLiteral("ALTER TABLE [dbo].[") + name + QStringLiteral("] WITH NOCHECK ADD  CONSTRAINT [PK_") + name +
                            QStringLiteral("] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]"));
        }
        for (const auto& col : t.add) {
            errorOf(*c, QStringLiteral(" alter table ") + name + QStringLiteral(" add ") + QString::fromLatin1(col.name) + u' ' +
                            QString::fromLatin1(col.type));
        }
        if (name == u"LigaMovimentos") {
            errorOf(*c, QStringLiteral("Update LigaMovimentos set ApenasMovComValor=0 where ApenasMovComValor is null"));
        }
        for (const auto& col : t.widen) {
            errorOf(*c, QStringLiteral(" alter table ") + name + QStringLiteral(" ALTER COLUMN ") + QString::fromLatin1(col.name) +
                            u' ' + QString::fromLatin1(col.type));
        }
    }
    c->Execute(QStringLiteral("Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'Arranque da Aplicação','')"));
}

QStringList columnsOf(data::Connection& c, const QString& table) {
    QStringList out;
    auto rs = c.Execute(QStringLiteral("select * from ") + table + QStringLiteral(" where 1=0"));
    for (long i = 0; i < rs.Fields().Count(); ++i) {
        out << rs.Fields(i).Name() + u':' + QString::number(rs.Fields(i).Type()) + u':' +
                   QString::number(rs.Fields(i).DefinedSize());
    }
    return out;
}

}  // namespace

TEST(EmbeddedStaging, SchemaStatementsBuildTheFinalLayoutAndCanRunAgain) {
    Server s{QString()};
    schemaRoutine(s);
    auto c = s.connect(QStringLiteral("Velmora"));
    const QStringList clientes = columnsOf(*c, QStringLiteral("Clientes"));
    EXPECT_EQ(clientes,
              (QStringList{"NumRegisto:131:19", "Activo:2:2", "Status:200:3", "Codigo:200:10", "Descricao:200:60",
                           "Designacao:200:60", "Contribuinte:200:15", "BI_NIPC:200:10", "Morada:200:60",
                           "Localidade:200:50", "Distrito:200:50", "Concelho:200:50", "CodPost:200:60", "Pais:200:50",
                           "Segmento:200:50"}));
    EXPECT_EQ(columnsOf(*c, QStringLiteral("HistFiles")),
              (QStringList{"NumRegisto:131:19", "Filename:200:128", "Ficheiro:205:2147483647", "Datasys:135:16"}));
    EXPECT_EQ(columnsOf(*c, QStringLiteral("LogGeral")),
              (QStringList{"NumRegisto:131:19", "DataSys:135:16", "Opcao:200:50", "Texto:201:2147483647"}));
    EXPECT_TRUE(hasRows(*c, QStringLiteral("sp_indexes @table_name = 'Clientes' , @index_name= 'PK_Clientes'")));

    c->Execute(QStringLiteral("insert into Clientes (Codigo, Descricao) values ('C1', '") + QString(60, u'd') + QStringLiteral("')"));
    c->Execute(QStringLiteral("insert into LigaMovimentos (Tipo) values ('FT')"));
    c.reset();
    schemaRoutine(s);  // the second start changes no table
    c = s.connect(QStringLiteral("Velmora"));
    EXPECT_EQ(columnsOf(*c, QStringLiteral("Clientes")), clientes);
    EXPECT_EQ(scalar(*c, QStringLiteral("select Descricao from Clientes")).toString(), QString(60, u'd'));
    EXPECT_EQ(scalar(*c, QStringLiteral("select ApenasMovComValor from LigaMovimentos")).toInt32(), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from LogGeral where Opcao='Arranque da Aplicação'")).toInt32(), 2);
}

TEST(EmbeddedStaging, AnOlderNarrowerLayoutIsWidenedWithItsData) {
    Server s;
    {
        // An older staging table: fewer, narrower columns, made as the tool would.
        rawExec(s.file(QStringLiteral("Velmora")),
                QStringLiteral("CREATE TABLE Clientes (NumRegisto INTEGER /*numeric (18,0) identity (1,1)*/ CONSTRAINT "
                               "\"PK_Clientes\" PRIMARY KEY AUTOINCREMENT NOT NULL, Codigo varchar(10) NULL, Descricao "
                               "varchar(50) NULL);"
                               "INSERT INTO Clientes (Codigo, Descricao) VALUES ('C7', 'Cliente antigo');"));
    }
    schemaRoutine(s);
    auto c = s.connect(QStringLiteral("Velmora"));
    const QStringList cols = columnsOf(*c, QStringLiteral("Clientes"));
    EXPECT_EQ(cols.size(), 15);
    EXPECT_TRUE(cols.contains(QStringLiteral("Descricao:200:60")));
    EXPECT_TRUE(cols.contains(QStringLiteral("Segmento:200:50")));
    EXPECT_EQ(scalar(*c, QStringLiteral("select Descricao from Clientes where Codigo='C7'")).toString(),
              QStringLiteral("Cliente antigo"));
    c->Execute(QStringLiteral("insert into Clientes (Codigo) values ('C8')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select NumRegisto from Clientes where Codigo='C8'")).toInt32(), 2);
}
