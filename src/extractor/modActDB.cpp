#include "extractor/modActDB.h"

#include <exception>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "platform/messagebox.h"
#include "sqltoolkit/CSql.h"

namespace {

struct Campo {
    const char* nome;
    const char* tipo;
};

struct Tabela {
    const char* nome;
    std::vector<Campo> adicionar;  // in the order they were first added, in their first widths
    std::vector<Campo> alargar;    // the widenings of later versions, in order
    const char* reparacao;         // a statement run after the columns, or nullptr
};

// Every table with the columns as the first versions added them, then the later widenings.
// On a new database both run in the same call, so the columns end up in their final widths.
const std::vector<Tabela>& tabelas() {
    static const std::vector<Tabela> t = {
        {"LigaClientes",
         {{"Grupo", "varchar(3) null "}, {"Familia", "varchar(3) null "}, {"Subfamilia", "varchar(3) null "}},
         {},
         nullptr},
        {"LigaProdutos",
         {{"Grupo", "varchar(3) null "},
          {"Familia", "varchar(3) null "},
          {"Subfamilia", "varchar(3) null "},
          {"PVP", "varchar(1) null "},
          {"Fornecedor", "varchar(10) null "}},
         {},
         nullptr},
        {"LigaMovimentos",
         {{"Mascara", "varchar(3) null "},
          {"Tipo", "varchar(3) null "},
          {"TipoOferta", "varchar(1) null "},
          {"ApenasMovComValor", "smallint null "}},
         {},
         "Update LigaMovimentos set ApenasMovComValor=0 where ApenasMovComValor is null"},
        {"Clientes",
         {{"Activo", "smallint null "},
          {"Status", "varchar(3) null "},
          {"Codigo", "varchar(10) null "},
          {"Descricao", "varchar(50) null "},
          {"Designacao", "varchar(50) null "},
          {"Contribuinte", "varchar(12) null "},
          {"BI_NIPC", "varchar(10) null "},
          {"Morada", "varchar(50) null "},
          {"Localidade", "varchar(50) null "},
          {"Distrito", "varchar(2) null "},
          {"Concelho", "varchar(2) null "},
          {"CodPost", "varchar(40) null "},
          {"Pais", "varchar(10) null "},
          {"Segmento", "varchar(10) null "}},
         {{"Descricao", "varchar(60) null "},
          {"Designacao", "varchar(60) null "},
          {"Contribuinte", "varchar(15) null "},
          {"Morada", "varchar(60) null "},
          {"Distrito", "varchar(50) null "},
          {"Concelho", "varchar(50) null "},
          {"CodPost", "varchar(60) null "},
          {"Pais", "varchar(50) null "},
          {"Segmento", "varchar(50) null "}},
         nullptr},
        {"Produtos",
         {{"Activo", "smallint null "},
          {"Status", "varchar(3) null "},
          {"Codigo", "varchar(15) null "},
          {"CodigoBarras", "varchar(15) null "},
          {"Descricao", "varchar(50) null "},
          {"UnidadeVenda", "varchar(3) null "},
          {"PVP", "money null "},
          {"Cambio", "varchar(3) null "},
          {"NomeFornecedor", "varchar(50) null "}},
         {{"Descricao", "varchar(80) null "}},
         nullptr},
        {"Movimentos",
         {{"Status", "varchar(3) null "},
          {"Mascara", "varchar(2) null "},
          {"Chave", "varchar(50) null "},
          {"Data", "varchar(10) null "},
          {"TipoVenda", "varchar(1) null "},
          {"CodigoVendedor", "varchar(2) null "},
          {"CodigoCliente", "varchar(10) null "},
          {"CodigoProduto", "varchar(15) null "},
          {"Quantidade", "money null "},
          {"Valor", "money null "},
          {"Cambio", "varchar(3) null "},
          {"UnidadeVenda", "varchar(3) null "},
          {"IEC", "varchar(1) null "},
          {"Observacoes", "varchar(50) null "},
          {"Motivo", "varchar(100) null "}},
         {},
         nullptr},
        {"HistFiles",
         {{"Filename", "varchar(128) null "}, {"Ficheiro", "image null "}, {"Datasys", "datetime null "}},
         {},
         nullptr},
        {"LogGeral",
         {{"DataSys", "datetime null "}, {"Opcao", "varchar(50) null "}, {"Texto", "text null "}},
         {},
         nullptr},
    };
    return t;
}

// Opens conn on the database with the settings' server, login and password; a refusal is
// shown to the operator as the error number, a carriage return and the error text.
bool abre(data::Connection& conn, const QString& dataBase) {
    const ConfiguracaoRecord& cfg = Configuracao();
    if (gobjSql().CreateDbConnection(conn, cfg.gstrServer, dataBase, cfg.gstrUID, cfg.gstrPwd, kTimeoutLigacao, errC(),
                                     errD())) {
        return true;
    }
    platform::MsgBox(QString::number(errC()) + QChar(13) + errD(), platform::mb::Critical);
    return false;
}

void executa(data::Connection& conn, const QString& sql) {
    try {
        conn.Execute(sql, nullptr, -1);
    } catch (const std::exception&) {
        // Already done on an earlier start (the database exists, the values are repaired).
    }
}

void fecha(data::Connection& conn) {
    try {
        if (conn.State() == data::ado::adStateOpen) conn.Close();
    } catch (const std::exception&) {
    }
}

}  // namespace

void ActualizaBaseDados() {
    {
        data::Connection master;
        if (!abre(master, QStringLiteral("master"))) return;
        executa(master, QStringLiteral("Create Database Velmora"));
        fecha(master);
    }

    data::Connection conn;
    if (!abre(conn, QStringLiteral("Velmora"))) return;

    CSql& sql = gobjSql();
    for (const Tabela& t : tabelas()) {
        const QString tabela = QString::fromLatin1(t.nome);
        // Each call fails quietly for what an earlier start already made.
        sql.SQLCreateTable(conn, tabela);
        for (const Campo& c : t.adicionar) {
            sql.SQLAddField(conn, tabela, QString::fromLatin1(c.nome), QString::fromLatin1(c.tipo));
        }
        for (const Campo& w : t.alargar) {
            sql.SQLChangeField(conn, tabela, QString::fromLatin1(w.nome), QString::fromLatin1(w.tipo));
        }
        if (t.reparacao != nullptr) executa(conn, QString::fromLatin1(t.reparacao));
    }

    // The look-ups of every run (a customer or product by code, a sales line by key, the
    // re-check window by date) find their rows through these indexes instead of reading the
    // whole table once per record. Not unique: the staging tables never refused duplicates.
    sql.SQLCreateIndex(conn, QStringLiteral("IX_Clientes_Codigo"), QStringLiteral("Clientes"), QStringLiteral("Codigo"), false);
    sql.SQLCreateIndex(conn, QStringLiteral("IX_Produtos_Codigo"), QStringLiteral("Produtos"), QStringLiteral("Codigo"), false);
    sql.SQLCreateIndex(conn, QStringLiteral("IX_Movimentos_Chave"), QStringLiteral("Movimentos"), QStringLiteral("Chave"),
                       false);
    sql.SQLCreateIndex(conn, QStringLiteral("IX_Movimentos_Data"), QStringLiteral("Movimentos"), QStringLiteral("Data"),
                       false);
    // The export file lists the sales lines by kind and date: read in that order from here, the
    // lines need no sort.
    sql.SQLCreateIndex(conn, QStringLiteral("IX_Movimentos_Mascara"), QStringLiteral("Movimentos"),
                       QStringLiteral("Mascara DESC, Data"), false);

    // The log opens a connection of its own while this one is still open.
    LancaLog(QStringLiteral("Arranque da Aplicação"), QString());
    fecha(conn);
}
