#include "bench_baseline.h"

#include <QDateTime>
#include <QFile>
#include <cmath>
#include <stdexcept>
#include <string>

#include "bench_common.h"
#include "platform/clock.h"

namespace bench {

namespace {

// Keys are matched in the engine's collation, as the run matches them, so that the indexes of
// both databases serve the joins.
const char* const kStaging[] = {
    // Products: new ones of the rule, then the re-check of every staged one.
    "insert into Produtos (Status, Codigo, CodigoBarras, Descricao, PVP, UnidadeVenda, NomeFornecedor, Cambio) "
    "select 'N', p.Codigo, p.Codigo, p.Descricao, p.PrecoVenda1, p.UnidadeVenda, f.Descricao, 'EUR' "
    "from co.Produtos p left join co.Fornece f on f.Codigo = p.ForneceExterno collate TSQL_TEXT "
    "where p.NumRegisto > 0 and not exists (select 1 from Produtos s where s.Codigo = p.Codigo collate TSQL_TEXT) order by p.rowid",
    "update Produtos set Status = 'E' where not exists (select 1 from co.Produtos p where p.Codigo = Produtos.Codigo collate TSQL_TEXT)",
    "update Produtos set Status = 'A', Descricao = p.Descricao from co.Produtos p where p.Codigo = Produtos.Codigo collate TSQL_TEXT "
    "and Produtos.Descricao is not null and p.Descricao is not null and Produtos.Descricao <> p.Descricao",
    "update Produtos set Status = 'A', PVP = p.PrecoVenda1 from co.Produtos p where p.Codigo = Produtos.Codigo collate TSQL_TEXT "
    "and Produtos.PVP is not null and p.PrecoVenda1 is not null and Produtos.PVP <> p.PrecoVenda1",
    "update Produtos set Status = 'A', UnidadeVenda = p.UnidadeVenda from co.Produtos p where p.Codigo = "
    "Produtos.Codigo and Produtos.UnidadeVenda is not null and p.UnidadeVenda is not null and Produtos.UnidadeVenda "
    "<> p.UnidadeVenda",
    // Customers, with the export's postal code.
    "insert into Clientes (Activo, Codigo, Status, Descricao, Designacao, Contribuinte, BI_NIPC, Morada, Localidade, "
    "Distrito, Concelho, CodPost, Pais, Segmento) "
    "select 0, c.Codigo, 'N', c.Descricao, c.Descricao, c.Contribuinte, '', c.Morada, c.local, c.Distrito, '', "
    "substr(substr(c.k, 1, 4) || ' - ' || substr(c.k, 6, 3) || ' ' || ifnull(t.descricao, ''), 1, 60), c.Pais, '' "
    "from (select *, replace(trim(CodPost, ' '), ' ', '') as k from co.Clientes) c "
    "join co.TabPostal t on t.codigo = c.CodPost collate TSQL_TEXT "
    "where c.NumRegisto > 0 and not exists (select 1 from Clientes s where s.Codigo = c.Codigo collate TSQL_TEXT) order by c.rowid",
    "update Clientes set Status = 'E' where not exists (select 1 from co.Clientes c where c.Codigo = Clientes.Codigo collate TSQL_TEXT)",
    "update Clientes set Status = 'A', Descricao = c.Descricao, Designacao = c.Descricao from co.Clientes c "
    "where c.Codigo = Clientes.Codigo collate TSQL_TEXT and Clientes.Descricao is not null and c.Descricao is not null and "
    "Clientes.Descricao <> c.Descricao",
    "update Clientes set Status = 'A', Contribuinte = c.Contribuinte from co.Clientes c where c.Codigo = "
    "Clientes.Codigo and Clientes.Contribuinte is not null and c.Contribuinte is not null and Clientes.Contribuinte "
    "<> c.Contribuinte",
    "update Clientes set Status = 'A', Morada = c.Morada from co.Clientes c where c.Codigo = Clientes.Codigo collate TSQL_TEXT and "
    "Clientes.Morada is not null and c.Morada is not null and Clientes.Morada <> c.Morada",
    "update Clientes set Status = 'A', Localidade = c.local from co.Clientes c where c.Codigo = Clientes.Codigo collate TSQL_TEXT and "
    "Clientes.Localidade is not null and c.local is not null and Clientes.Localidade <> c.local",
    // Sales lines of the period that are not staged yet, in the company's order.
    "insert into Movimentos (Status, Chave, Data, CodigoVendedor, CodigoCliente, CodigoProduto, Quantidade, Cambio, "
    "UnidadeVenda, TipoVenda, Valor, IEC, Motivo, Observacoes, Mascara) "
    "select 'N', m.Identifica, substr(m.Data, 1, 10), m.Vendedor, m.Terceiro, m.Codigo, m.QuantNormal, 'EUR', "
    "m.Unidade, case substr(t.AfectaCli, 1, 1) when 'D' then 'C' when 'S' then 'V' end, "
    "round(ifnull(m.ValorIliq - m.TotalDesconto, 0), 4), "
    "case when ifnull(i.CodigoImposto, '') = '' then 'N' else 'S' end, '', '', "
    "case when ifnull(l.TipoOferta, '0') in ('0', '1') then "
    "  case when ifnull(m.ValorIliq - m.TotalDesconto, 0) = 0 then 'EO' else l.Mascara end end "
    "from co.MovProduto m join co.TabTipoMov t on t.Codigo = m.Tipo collate TSQL_TEXT "
    "join Produtos p on p.Codigo = m.Codigo collate TSQL_TEXT join Clientes c on c.Codigo = m.Terceiro collate TSQL_TEXT "
    "join LigaMovimentos l on l.Tipo = m.Tipo "
    "left join co.ImpostosMovproduto i on i.Identifica = m.Identifica collate TSQL_TEXT and i.CodigoImposto = 'IEC' "
    "where m.Clifor = 'C' and m.Fechado = 'S' and m.Numero <> '' "
    "and m.Data >= '2023-01-01 00:00:00.000' and m.Data <= '2023-12-31 00:00:00.000' "
    "and not (ifnull(m.ValorIliq - m.TotalDesconto, 0) = 0 and l.ApenasMovComValor = 1) "
    "and not exists (select 1 from Movimentos s where s.Chave = m.Identifica collate TSQL_TEXT) order by m.Data, m.rowid",
    "update Clientes set Activo = 1 where Codigo collate TSQL_TEXT in (select CodigoCliente from Movimentos where Status = 'N')",
    "update Produtos set Activo = 1 where Codigo collate TSQL_TEXT in (select CodigoProduto from Movimentos where Status = 'N')",
    "update Movimentos set Status = 'E' where Data >= '2023-01-01' and Data <= '2023-12-31' and not exists "
    "(select 1 from co.MovProduto m where m.Identifica = Movimentos.Chave collate TSQL_TEXT)",
    // The automatic run keeps only what a sales line made active.
    "delete from Produtos where ifnull(Activo, 0) <> 1",
    "delete from Clientes where ifnull(Activo, 0) <> 1",
};

const char* const kReset[] = {
    "delete from Movimentos where Status = 'E'",
    "update Clientes set Status = ''",
    "update Produtos set Status = ''",
    "update Movimentos set Status = ''",
};

class Query {
public:
    Query(sqlite3* db, const char* text) {
        if (sqlite3_prepare_v2(db, text, -1, &st_, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Query() { sqlite3_finalize(st_); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    bool next() { return sqlite3_step(st_) == SQLITE_ROW; }
    std::string text(int i) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, i));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(st_, i))) : std::string();
    }
    std::int64_t cents(int i) const { return std::llround(sqlite3_column_double(st_, i) * 100.0); }

private:
    sqlite3_stmt* st_ = nullptr;
};

std::string trimmed(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

void text(std::string& out, const std::string& v, size_t width) {
    const std::string t = trimmed(v);
    if (t.size() > width) throw std::runtime_error("value wider than its field: " + t);
    out += t;
    out.append(width - t.size(), ' ');
}

std::string digits(std::int64_t v, int decimals) {
    std::string d = std::to_string(v < 0 ? -v : v);
    if (d.size() < static_cast<size_t>(decimals + 1)) d.insert(0, static_cast<size_t>(decimals + 1) - d.size(), '0');
    return d;
}

void number(std::string& out, std::int64_t cents, size_t width, bool sign, char fill) {
    std::string d = digits(cents, 2);
    if (sign) d += cents < 0 ? '-' : ' ';
    if (d.size() < width) out.append(width - d.size(), fill);
    out += d;
}

void count(std::string& out, std::int64_t n) {
    const std::string d = std::to_string(n);
    out.append(d.size() < 8 ? 8 - d.size() : 0, '0');
    out += d;
}

void oneCharacter(std::string& out, const std::string& v) { out += v.empty() ? std::string(" ") : v; }

std::string writeFile(sqlite3* db, const QString& fileName) {
    const QDateTime now = platform::now();
    std::string out;
    out.reserve(1 << 20);
    out += '0';
    text(out, kSistema, 32);
    out += now.toString(QStringLiteral("yyyyMMddhhmmss")).toStdString();
    text(out, fileName.toStdString(), 14);
    out += "\r\n";
    std::int64_t detalhe = 0, n = 0, a = 0, e = 0, clientes = 0, produtos = 0, vendas = 0, ofertas = 0, total = 0;
    auto letra = [&](const std::string& s) {
        if (s == "N") ++n;
        else if (s == "E") ++e;
        else if (s == "A") ++a;
    };
    auto tipo = [](const std::string& s, const char* nn, const char* aa, const char* ee) {
        return s == "N" ? nn : s == "E" ? ee : s == "A" ? aa : nullptr;
    };
    {
        Query q(db, "select Status, Codigo, Descricao, Designacao, Contribuinte, BI_NIPC, Morada, Localidade, Distrito, "
                    "Concelho, CodPost, Pais, Segmento from Clientes where Activo = 1 and ifnull(Status, '') <> '' "
                    "order by Codigo collate TSQL_TEXT");
        while (q.next()) {
            const char* t = tipo(q.text(0), "1 011 ", "1 012 ", "1 013 ");
            if (!t) continue;
            out += t;
            text(out, q.text(1), 10);
            text(out, q.text(2), 80);
            text(out, q.text(3), 80);
            const std::string nif = trimmed(q.text(4).substr(0, 10));
            out.append(10 - nif.size(), ' ');
            out += nif;
            text(out, q.text(5), 10);
            text(out, q.text(6), 60);
            text(out, q.text(7), 50);
            text(out, q.text(8), 50);
            text(out, q.text(9), 50);
            text(out, q.text(10), 60);
            text(out, q.text(11), 50);
            text(out, q.text(12), 50);
            out += "\r\n";
            letra(q.text(0));
            ++clientes;
            ++detalhe;
        }
    }
    {
        Query q(db, "select Status, Codigo, Descricao, UnidadeVenda, PVP, NomeFornecedor from Produtos where Activo = 1 "
                    "and ifnull(Status, '') <> '' order by Codigo collate TSQL_TEXT");
        while (q.next()) {
            const char* t = tipo(q.text(0), "1 101 ", "1 102 ", "1 103 ");
            if (!t) continue;
            out += t;
            text(out, q.text(1), 15);
            text(out, q.text(1), 20);
            text(out, q.text(2), 80);
            text(out, q.text(3), 5);
            number(out, q.cents(4), 13, true, '0');
            text(out, q.text(5), 50);
            out += "\r\n";
            letra(q.text(0));
            ++produtos;
            ++detalhe;
        }
    }
    {
        Query q(db, "select Mascara, Status, Data, TipoVenda, CodigoVendedor, CodigoCliente, CodigoProduto, Quantidade, "
                    "Valor, UnidadeVenda, Motivo, IEC from Movimentos where ifnull(Status, '') <> '' "
                    "order by Mascara collate TSQL_TEXT desc, Data collate TSQL_TEXT asc");
        while (q.next()) {
            const std::string m = q.text(0);
            const char* kind = m == "V" ? "1 30" : m == "D" ? "1 31" : m == "EO" ? "1 40" : nullptr;
            const char* st = tipo(q.text(1), "1 ", "2 ", "3 ");
            if (!kind || !st) continue;
            out += kind;
            out += st;
            const std::string d = q.text(2);
            out += d.substr(0, 4) + d.substr(5, 2) + d.substr(8, 2);
            if (m == "V") oneCharacter(out, q.text(3));
            text(out, q.text(4), 5);
            text(out, q.text(5), 10);
            text(out, q.text(6), 15);
            number(out, q.cents(7), 13, true, '0');
            if (m != "EO") {
                number(out, q.cents(8), 13, true, '0');
                out += "EUR  ";
            }
            text(out, q.text(9), 5);
            if (m == "D") text(out, q.text(10), 100);
            if (m != "EO") oneCharacter(out, q.text(11));
            out += "\r\n";
            total += q.cents(8);
            if (m == "EO") ++ofertas;
            else ++vendas;
            letra(q.text(1));
            ++detalhe;
        }
    }
    out += '9';
    for (std::int64_t c : {detalhe, n, a, e, clientes, produtos, vendas, ofertas, std::int64_t{0}}) count(out, c);
    number(out, total, 16, false, ' ');
    out += "\r\n";
    return out;
}

}  // namespace

QString exportFileName() {
    return QString::fromLatin1(kPrefixo) + platform::today().toString(QStringLiteral("yyMMdd")) + QStringLiteral(".MOV");
}

void runBaseline(const QString& serverFolder, const QString& exportFolder, const QString& fileName) {
    Sqlite db = openSqlite(serverFolder + QStringLiteral("/Velmora.db"));
    sql(db.get(), QStringLiteral("attach database '%1' as co").arg(serverFolder + QStringLiteral("/Empresa.db")));
    sql(db.get(), "BEGIN");
    for (const char* s : kStaging) sql(db.get(), s);
    sql(db.get(), "COMMIT");

    const QString path = exportFolder + u'/' + fileName;
    {
        const std::string bytes = writeFile(db.get(), fileName);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
            throw std::runtime_error("cannot write the baseline file");
        }
    }

    // The zipped copy as a history row, then the status reset.
    const QByteArray zip = zipped(path, fileName);
    sql(db.get(), "BEGIN");
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db.get(), "insert into HistFiles (Filename, Ficheiro, Datasys) values (?, ?, ?)", -1, &st,
                           nullptr);
        const QByteArray name = fileName.toUtf8();
        const QByteArray when = platform::now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8();
        sqlite3_bind_text(st, 1, name.constData(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(st, 2, zip.constData(), static_cast<int>(zip.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, when.constData(), static_cast<int>(when.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db.get()));
    }
    for (const char* s : kReset) sql(db.get(), s);
    sql(db.get(), "COMMIT");
}

}  // namespace bench
