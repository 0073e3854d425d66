// Company databases made outside the engine (the sqlite3 tool's SQL) used as the run uses
// them: read through joins across databases, looked up by code, and commands with parameters.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;
namespace ado = data::ado;

namespace {

// Made as a user would with the sqlite3 tool: SQL Server type names, no engine involved.
void companyTables(const QString& file) {
    rawExec(file, QStringLiteral(
                      "CREATE TABLE Clientes (Codigo varchar(10), Nome varchar(60), Descricao varchar(60), Contribuinte "
                      "varchar(15), CodPost varchar(10), NumRegisto int);"
                      "CREATE TABLE TabPostal (codigo varchar(10), descricao varchar(50));"
                      "CREATE TABLE MovProduto (NumRegisto INTEGER PRIMARY KEY, Identifica varchar(30), Codigo "
                      "varchar(15), Terceiro varchar(10), Tipo varchar(3), Data datetime, Clifor char(1), Fechado char(1), "
                      "Numero varchar(10), ValorIliq money, TotalDesconto money, QuantNormal numeric(18,3));"
                      "CREATE TABLE ParamGeral (ZerarFornece smallint, ZerarClientes smallint, ZerarProduto smallint);"
                      "INSERT INTO Clientes VALUES ('C1', 'Ana', 'Ana Lda', '500100200', '1000-001', 1);"
                      "INSERT INTO Clientes VALUES ('c2', 'Rui', 'O''Neill & Filhos', NULL, '9999-999', 2);"
                      "INSERT INTO TabPostal VALUES ('1000-001', 'LISBOA');"
                      "INSERT INTO MovProduto VALUES (1, 'ID-1', 'P1', 'C1', 'FT', '2024-03-05 10:30:00', 'C', 'S', '7', "
                      "100.5, 0.5, 2.125);"
                      "INSERT INTO MovProduto VALUES (2, 'ID-2', 'P1', 'C2', 'FT', '2024-03-31', 'C', 'S', '8', 10, 0, 1);"
                      "INSERT INTO MovProduto VALUES (3, 'ID-3', 'P1', 'C1', 'FT', '2024-04-01', 'C', 'S', '9', 10, 0, 1);"
                      "INSERT INTO ParamGeral VALUES (1, 0, 0);"));
}

}  // namespace

TEST(EmbeddedCompany, TablesMadeWithTheSqliteToolWork) {
    Server s;
    companyTables(s.folder() + QStringLiteral("/Tramonta.db"));
    auto c = s.connect(QStringLiteral("Tramonta"));

    auto p = c->Execute(QStringLiteral("Select ZerarFornece,ZerarClientes,ZerarProduto from ParamGeral With (NoLock) "));
    ASSERT_FALSE(p.EOF());
    EXPECT_EQ(p.Fields(QStringLiteral("ZerarFornece")).Type(), ado::adSmallInt);
    EXPECT_EQ(p.Fields(QStringLiteral("ZerarFornece")).Value().toInt16(), 1);

    auto cl = c->Execute(QStringLiteral(
        "Select clientes.CodPost,clientes.Codigo,clientes.Descricao,clientes.Contribuinte, TabPostal.descricao as PostalDesc "
        " from clientes   inner join tabpostal on tabpostal.codigo=clientes.codpost  Where clientes.NumRegisto>0 "));
    ASSERT_FALSE(cl.EOF());
    EXPECT_EQ(cl.Fields(QStringLiteral("Codigo")).Type(), ado::adVarChar);
    EXPECT_EQ(cl.Fields(QStringLiteral("Codigo")).DefinedSize(), 10);
    EXPECT_EQ(cl.Fields(QStringLiteral("PostalDesc")).Value().toString(), QStringLiteral("LISBOA"));
    cl.MoveNext();
    EXPECT_TRUE(cl.EOF());

    // A code with an apostrophe, doubled in the literal, is found intact; case does not matter.
    auto name = c->Execute(QStringLiteral("select Descricao, Contribuinte from Clientes Where Codigo='C2'"));
    EXPECT_EQ(name.Fields(0L).Value().toString(), QStringLiteral("O'Neill & Filhos"));
    EXPECT_TRUE(name.Fields(1L).Value().isNull());

    // Writes into the tool's table follow the declared widths too.
    EXPECT_EQ(errorOf(*c, QStringLiteral("update Clientes set Codigo='ABCDEFGHIJK' where Codigo='C1'")), 8152);
    auto m = c->Execute(QStringLiteral("select ValorIliq-TotalDesconto as IliqDesc, QuantNormal, Data from MovProduto where NumRegisto=1"));
    EXPECT_DOUBLE_EQ(m.Fields(0L).Value().toDouble(), 100.0);
    EXPECT_EQ(m.Fields(1L).Type(), ado::adNumeric);
    EXPECT_EQ(m.Fields(1L).Value().toCurrency(), *data::Currency::parse(QStringLiteral("2.125")));
    EXPECT_EQ(m.Fields(2L).Value().toDateTime(), QDateTime(QDate(2024, 3, 5), QTime(10, 30), Qt::UTC));
}

TEST(EmbeddedCompany, QueriesJoinTheStagingDatabaseByName) {
    Server s;
    companyTables(s.folder() + QStringLiteral("/Tramonta.db"));
    {
        auto v = s.connect(QStringLiteral("Velmora"));
        v->Execute(QStringLiteral(" create table Clientes ( NumRegisto numeric (18,0) identity (1,1) not null )"));
        v->Execute(QStringLiteral(" alter table Clientes add Codigo varchar(10) null "));
        v->Execute(QStringLiteral(" alter table Clientes add Activo smallint null "));
        v->Execute(QStringLiteral(" create table LigaMovimentos ( NumRegisto numeric (18,0) identity (1,1) not null )"));
        v->Execute(QStringLiteral(" alter table LigaMovimentos add Tipo varchar(3) null "));
        v->Execute(QStringLiteral(" alter table LigaMovimentos add TipoOferta varchar(1) null "));
        v->Execute(QStringLiteral("insert into Clientes (Codigo) values ('C1'); insert into Clientes (Codigo) values ('c2')"));
        v->Execute(QStringLiteral("insert into LigaMovimentos (Tipo) values ('ft')"));
    }
    auto c = s.connect(QStringLiteral("Tramonta"));
    const QString dataIni = QStringLiteral("2024-03-01");
    const QString dataFim = QStringLiteral("2024-03-31");
    auto rs = c->Execute(
        QStringLiteral(" Select MovProduto.NumRegisto as NumReg, isnull(Velmora..LigaMovimentos.TipoOferta,'0') as TipoOferta,"
                       " isnull(MovProduto.ValorIliq-MovProduto.TotalDesconto,0) as IliqDesc, Movproduto.Terceiro "
                       " From MovProduto With (NoLock) "
                       " Inner join Velmora..Clientes on Velmora..Clientes.Codigo=MovProduto.Terceiro"
                       " Inner join Velmora..LigaMovimentos on Velmora..LigaMovimentos.Tipo=MovProduto.Tipo"
                       " Where  Movproduto.Clifor='C'  and Movproduto.Fechado='S' and Movproduto.Numero<>'' "
                       " and Movproduto.data>='") +
        dataIni + QStringLiteral("' and Movproduto.data<='") + dataFim + QStringLiteral("' order by 1"));
    QStringList seen;
    while (!rs.EOF()) {
        seen << rs.Fields(QStringLiteral("Terceiro")).Value().toString() + u':' + rs.Fields(QStringLiteral("TipoOferta")).Value().toString();
        rs.MoveNext();
    }
    // The line of 31 March at midnight is in, the one of 1 April is not; the customer code
    // matches without case.
    EXPECT_EQ(seen, (QStringList{QStringLiteral("C1:0"), QStringLiteral("C2:0")}));

    c->Execute(QStringLiteral("Update Velmora..Clientes Set activo=1 Where codigo='C2'"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("Update Velmora.dbo.Clientes Set activo=70000")), 220);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Velmora.dbo.Clientes where Activo=1")).toInt32(), 1);

    // A row of the staging database opened for update from the company connection.
    data::Recordset up;
    up.Open(QStringLiteral("select * from Velmora..Clientes where Codigo='C1'"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
    up.Fields(QStringLiteral("Activo")).setValue(1);
    up.Update();
    up.Close();
    auto v = s.connect(QStringLiteral("Velmora"));
    EXPECT_EQ(scalar(*v, QStringLiteral("select count(*) from Clientes where Activo=1")).toInt32(), 2);
}

TEST(EmbeddedCompany, CommandsWithParameters) {
    Server s;
    auto c = s.connect(QStringLiteral("Velmora"));
    c->Execute(QStringLiteral(" create table LogGeral ( NumRegisto numeric (18,0) identity (1,1) not null )"));
    c->Execute(QStringLiteral(" alter table LogGeral add DataSys datetime null "));
    c->Execute(QStringLiteral(" alter table LogGeral add Opcao varchar(50) null "));
    c->Execute(QStringLiteral(" alter table LogGeral add Texto text null "));

    data::Command cmd;
    cmd.setActiveConnection(c.get());
    cmd.setCommandText(QStringLiteral("Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),?,?)"));
    cmd.setCommandType(ado::adCmdText);
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("Opcao"), ado::adVarChar, ado::adParamInput, 50,
                                                QStringLiteral("Função Processa Clientes")));
    cmd.Parameters().Append(cmd.CreateParameter(QStringLiteral("Texto"), ado::adLongVarChar, ado::adParamInput, 0,
                                                QStringLiteral("Invalid object name 'O''Brien'.")));
    long affected = 0;
    cmd.Execute(&affected, ado::adExecuteNoRecords);
    EXPECT_EQ(affected, 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select Texto from LogGeral")).toString(), QStringLiteral("Invalid object name 'O''Brien'."));

    data::Command proc;
    proc.setActiveConnection(c.get());
    proc.setCommandText(QStringLiteral("sp_columns"));
    proc.setCommandType(ado::adCmdStoredProc);
    proc.Parameters().Append(proc.CreateParameter(QStringLiteral("@table_name"), ado::adVarChar, ado::adParamInput, 128,
                                                  QStringLiteral("LogGeral")));
    auto cols = proc.Execute();
    int n = 0;
    while (!cols.EOF()) {
        ++n;
        cols.MoveNext();
    }
    EXPECT_EQ(n, 4);

    proc.setActiveConnection(nullptr);
    EXPECT_THROW(proc.Execute(), data::DbError);
    EXPECT_THROW(cmd.Parameters().Item(QStringLiteral("nada")), data::DbError);
}
