#include "bench_floor.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QHash>
#include <cmath>
#include <stdexcept>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"
#include "platform/clock.h"

namespace bench {

namespace {

// One value of a statement's result or parameter. A text is a view: of a result's packed
// rows, of a literal, or of a text the caller keeps alive while it binds.
struct Cell {
    int type = SQLITE_NULL;
    std::int64_t i = 0;
    double d = 0;
    std::string_view t;

    bool isNull() const { return type == SQLITE_NULL; }
    bool isNumber() const { return type == SQLITE_INTEGER || type == SQLITE_FLOAT; }
    double number() const {
        if (type == SQLITE_INTEGER) return static_cast<double>(i);
        if (type == SQLITE_FLOAT) return d;
        return QByteArray(t.data(), static_cast<qsizetype>(t.size())).trimmed().toDouble();
    }
    // An amount of money kept to four decimals, as the program's currency keeps it.
    std::int64_t tenThousandths() const { return std::llround(number() * 10000.0); }
    std::string text() const {
        if (type == SQLITE_INTEGER) return std::to_string(i);
        if (type == SQLITE_FLOAT) return QByteArray::number(d, 'g', 17).toStdString();
        return std::string(t);
    }
};
using Row = std::vector<Cell>;

// A whole result, its rows packed one after another (a type byte, then eight bytes of a number
// or a length and the bytes of a text) and unpacked into a Row when walked. The engine reads
// every result whole before the caller walks it, and so does the floor, so that no reading
// statement stays pending on a connection: a pending one would hold the connection's implicit
// transaction open and fold the following writes into it.
class Result {
public:
    explicit Result(int columns = 0) : columns_(columns) {}
    void add(sqlite3_stmt* st) {
        starts_.push_back(buf_.size());
        for (int c = 0; c < columns_; ++c) {
            const int type = sqlite3_column_type(st, c);
            buf_.push_back(static_cast<char>(type));
            if (type == SQLITE_INTEGER) {
                put(sqlite3_column_int64(st, c));
            } else if (type == SQLITE_FLOAT) {
                const double v = sqlite3_column_double(st, c);
                std::int64_t bits = 0;
                std::memcpy(&bits, &v, sizeof bits);
                put(bits);
            } else if (type != SQLITE_NULL) {
                const auto* p = static_cast<const char*>(sqlite3_column_blob(st, c));
                const int n = sqlite3_column_bytes(st, c);
                put(n);
                buf_.append(p, static_cast<size_t>(n));
            }
        }
    }
    size_t size() const { return starts_.size(); }
    bool empty() const { return starts_.empty(); }
    // Unpacks row k into out; its texts stay valid while this result lives.
    void read(size_t k, Row& out) const {
        out.resize(static_cast<size_t>(columns_));
        const char* p = buf_.data() + starts_[k];
        for (Cell& c : out) {
            c = Cell{};
            c.type = static_cast<unsigned char>(*p++);
            if (c.type == SQLITE_INTEGER) {
                std::memcpy(&c.i, p, 8);
                p += 8;
            } else if (c.type == SQLITE_FLOAT) {
                std::memcpy(&c.d, p, 8);
                p += 8;
            } else if (c.type != SQLITE_NULL) {
                std::int64_t n = 0;
                std::memcpy(&n, p, 8);
                p += 8;
                c.t = std::string_view(p, static_cast<size_t>(n));
                p += n;
            }
        }
    }
    Row row(size_t k) const {
        Row r;
        read(k, r);
        return r;
    }

private:
    void put(std::int64_t v) {
        char b[8];
        std::memcpy(b, &v, 8);
        buf_.append(b, 8);
    }

    int columns_;
    std::string buf_;
    std::vector<size_t> starts_;
};

Cell money(std::int64_t tenThousandths) {
    Cell c;
    if (tenThousandths % 10000 == 0) {
        c.type = SQLITE_INTEGER;
        c.i = tenThousandths / 10000;
    } else {
        c.type = SQLITE_FLOAT;
        c.d = static_cast<double>(tenThousandths) / 10000.0;
    }
    return c;
}

Cell textCell(std::string_view t) {
    Cell c;
    c.type = SQLITE_TEXT;
    c.t = t;
    return c;
}
Cell textCell(const QByteArray& t) { return textCell(std::string_view(t.constData(), static_cast<size_t>(t.size()))); }
Cell textCell(const char* t) { return textCell(std::string_view(t)); }

// Exact comparison of the re-checks (case and trailing blanks count, amounts by value); a Null
// on either side is never a difference.
bool differs(const Cell& staged, const Cell& company) {
    if (staged.isNull() || company.isNull()) return false;
    if (staged.isNumber() && company.isNumber()) return staged.tenThousandths() != company.tenThousandths();
    return staged.text() != company.text();
}

class Session;

// A prepared statement of one connection, run through the session that counts and batches.
class Statement {
public:
    Statement(Session& s, sqlite3* db, const char* text, bool writes);
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int k, const Cell& v) {
        switch (v.type) {
            case SQLITE_INTEGER: sqlite3_bind_int64(st_, k, v.i); break;
            case SQLITE_FLOAT: sqlite3_bind_double(st_, k, v.d); break;
            case SQLITE_NULL: sqlite3_bind_null(st_, k); break;
            case SQLITE_BLOB:
                sqlite3_bind_blob(st_, k, v.t.data(), static_cast<int>(v.t.size()), SQLITE_TRANSIENT);
                break;
            default:
                sqlite3_bind_text(st_, k, v.t.data(), static_cast<int>(v.t.size()), SQLITE_TRANSIENT);
                break;
        }
        return *this;
    }
    Statement& bind(int k, const QByteArray& text) { return bind(k, textCell(text)); }
    Statement& bind(int k, std::int64_t v) {
        sqlite3_bind_int64(st_, k, v);
        return *this;
    }

    // Runs the statement to its end: every row it returns.
    Result rows();
    // Runs it for whether it returns any row at all.
    bool any();
    // Runs a statement that returns no rows.
    void run();

private:
    void step(Result* out, bool firstOnly, bool* found);

    Session& session_;
    sqlite3_stmt* st_ = nullptr;
    bool writes_;
};

// The two connections of a run and the transaction rhythm: every statement its own
// transaction, or N statements to one transaction on each connection.
class Session {
    // An explicit transaction, or a statement not yet reset that holds its implicit one.
    static bool inTransaction(sqlite3* db) {
        if (!sqlite3_get_autocommit(db)) return true;
        for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st)) {
            if (sqlite3_stmt_busy(st)) return true;
        }
        return false;
    }

public:
    Session(const QString& serverFolder, int perTransaction, bool companyReadsOwn)
        : geral_(openSqlite(serverFolder + QStringLiteral("/Velmora.db"))),
          gestao_(openSqlite(serverFolder + QStringLiteral("/Empresa.db"))),
          perTransaction_(perTransaction < 1 ? 1 : perTransaction),
          groupCompany_(!companyReadsOwn) {
        // The engine's settings for every database it opens.
        sql(geral_.get(), "PRAGMA journal_mode = WAL");
        sql(geral_.get(), "PRAGMA synchronous = NORMAL");
        sql(gestao_.get(), "PRAGMA journal_mode = WAL");
        sql(gestao_.get(), "PRAGMA synchronous = NORMAL");
        // The sales lines' query joins the staging tables by database name, as the engine
        // attaches a database that a statement names.
        sql(gestao_.get(), QStringLiteral("ATTACH DATABASE '%1' AS Velmora")
                               .arg(QString(serverFolder + QStringLiteral("/Velmora.db")).replace(u'\'', QStringLiteral("''"))));
        sql(gestao_.get(), "PRAGMA Velmora.synchronous = NORMAL");
    }
    ~Session() {
        try {
            flush();
        } catch (...) {
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    sqlite3* geral() const { return geral_.get(); }
    sqlite3* gestao() const { return gestao_.get(); }

    void before() {
        if (own_) return;
        if (perTransaction_ > 1 && !open_) {
            sql(geral_.get(), "BEGIN");
            if (groupCompany_) sql(gestao_.get(), "BEGIN");
            open_ = true;
            wrote_ = false;
        }
    }
    void after(bool writes) {
        ++counts.statements;
        if (own_) return;
        if (perTransaction_ == 1) {
            // A transaction still open here would fold the next statements into it and make the
            // floor look cheaper than one commit per statement.
            if (inTransaction(geral_.get()) || inTransaction(gestao_.get())) {
                throw std::runtime_error("a statement of the floor was left inside a transaction");
            }
            if (writes) ++counts.commits;
            return;
        }
        wrote_ = wrote_ || writes;
        if (++inBatch_ >= perTransaction_) flush();
    }
    // Ends the open batch, so that the other connection sees what this one wrote.
    void flush() {
        if (!open_) return;
        open_ = false;
        inBatch_ = 0;
        sql(geral_.get(), "COMMIT");
        if (groupCompany_) sql(gestao_.get(), "COMMIT");
        if (wrote_) ++counts.commits;
    }
    // A transaction of its own, whatever the rhythm (the status reset stands or falls whole).
    void begin() {
        flush();
        sql(geral_.get(), "BEGIN");
        own_ = true;
    }
    void commit() {
        sql(geral_.get(), "COMMIT");
        own_ = false;
        ++counts.commits;
    }

    FloorCounts counts;

private:
    Sqlite geral_;
    Sqlite gestao_;
    int perTransaction_;
    bool groupCompany_;
    int inBatch_ = 0;
    bool open_ = false;
    bool wrote_ = false;
    bool own_ = false;
};

Statement::Statement(Session& s, sqlite3* db, const char* text, bool writes) : session_(s), writes_(writes) {
    if (sqlite3_prepare_v3(db, text, -1, SQLITE_PREPARE_PERSISTENT, &st_, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + text);
    }
}

void Statement::step(Result* out, bool firstOnly, bool* found) {
    session_.before();
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st_)) == SQLITE_ROW) {
        if (found) *found = true;
        if (out) out->add(st_);
        if (firstOnly) break;
    }
    const bool failed = rc != SQLITE_ROW && rc != SQLITE_DONE;
    const std::string message = failed ? sqlite3_errmsg(sqlite3_db_handle(st_)) : std::string();
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
    if (failed) throw std::runtime_error(message + " in: " + sqlite3_sql(st_));
    session_.after(writes_);
}

Result Statement::rows() {
    Result out(sqlite3_column_count(st_));
    step(&out, false, nullptr);
    return out;
}

bool Statement::any() {
    bool found = false;
    step(nullptr, true, &found);
    return found;
}

void Statement::run() { step(nullptr, false, nullptr); }

// A text without its leading and trailing blanks.
std::string_view trimmed(std::string_view t) {
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

bool blank(const Cell& c) { return c.isNull() || trimmed(c.text()).empty(); }

QString qtext(const Cell& c) { return c.isNull() ? QString() : QString::fromStdString(c.text()); }

// Codes are matched the way the server compares them: without case and trailing blanks.
QString codeKey(const Cell& code) {
    const QString s = qtext(code);
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ') --n;
    return s.left(n).toCaseFolded();
}

// A key that is Null looks up the empty text, as the run's concatenated statement does.
Cell key(const Cell& c) { return c.isNull() ? textCell("") : c; }

// A rule's conditions, each only when its field is not blank; the values are bound.
struct Conditions {
    std::string text;
    std::vector<Cell> values;
    void add(const char* column, const Cell& value) {
        if (blank(value)) return;
        text += std::string(" and ") + column + " = ? collate TSQL_TEXT";
        values.push_back(value);
    }
};

// --- products --------------------------------------------------------------------------------

void products(Session& s) {
    // The price column each product was staged under (its first selecting rule), as the run's
    // re-check uses it; a product no rule selects takes the last rule's column.
    QHash<QString, int> columnOf;
    int lastColumn = 0;

    Statement rules(s, s.geral(), "select Grupo, Familia, Subfamilia, Fornecedor, PVP from LigaProdutos", false);
    Statement find(s, s.geral(), "select * from Produtos where Codigo = ? collate TSQL_TEXT", false);
    Statement add(s, s.geral(),
                  "insert into Produtos (Status, Codigo, CodigoBarras, Descricao, PVP, UnidadeVenda, NomeFornecedor, "
                  "Cambio) values ('N', ?1, ?1, ?2, ?3, ?4, ?5, 'EUR')",
                  true);
    const Result ruleRows = rules.rows();
    Row rule;
    Row p;
    for (size_t r = 0; r < ruleRows.size(); ++r) {
        ruleRows.read(r, rule);
        int column = 1;
        if (!blank(rule[4])) {
            column = std::atoi(std::string(trimmed(rule[4].text())).c_str());
            if (column < 1 || column > 7) throw std::runtime_error("a product rule with an unknown price level");
        }
        lastColumn = column;
        Conditions where;
        where.add("p.Grupo", rule[0]);
        where.add("p.Familia", rule[1]);
        where.add("p.Subfamilia", rule[2]);
        where.add("p.ForneceExterno", rule[3]);
        const std::string text = "select p.UnidadeVenda, p.Codigo, p.ForneceExterno, p.Descricao, f.Descricao, "
                                 "p.PrecoVenda" + std::to_string(column) +
                                 " from Produtos p left join Fornece f on p.ForneceExterno = f.Codigo collate TSQL_TEXT "
                                 "where p.NumRegisto > 0" + where.text;
        Statement company(s, s.gestao(), text.c_str(), false);
        for (size_t k = 0; k < where.values.size(); ++k) company.bind(static_cast<int>(k + 1), where.values[k]);
        const Result selected = company.rows();
        for (size_t k = 0; k < selected.size(); ++k) {
            selected.read(k, p);
            if (p[5].isNull()) throw std::runtime_error("a selected product has no price");
            const QString code = codeKey(p[1]);
            if (!columnOf.contains(code)) columnOf.insert(code, column);
            if (find.bind(1, key(p[1])).any()) continue;
            add.bind(1, p[1]).bind(2, p[3]).bind(3, money(p[5].tenThousandths())).bind(4, p[0]).bind(5, p[4]).run();
        }
    }

    // Every staged product against the company database.
    Statement staged(s, s.geral(), "select NumRegisto, Codigo, Descricao, PVP, UnidadeVenda from Produtos", false);
    Statement company(s, s.gestao(),
                      "select Descricao, UnidadeVenda, PrecoVenda1, PrecoVenda2, PrecoVenda3, PrecoVenda4, PrecoVenda5, "
                      "PrecoVenda6, PrecoVenda7 from Produtos where Codigo = ? collate TSQL_TEXT",
                      false);
    Statement gone(s, s.geral(), "update Produtos set Status = 'E' where NumRegisto = ?", true);
    Statement descricao(s, s.geral(), "update Produtos set Status = 'A', Descricao = ? where NumRegisto = ?", true);
    Statement pvp(s, s.geral(), "update Produtos set Status = 'A', PVP = ? where NumRegisto = ?", true);
    Statement unidade(s, s.geral(), "update Produtos set Status = 'A', UnidadeVenda = ? where NumRegisto = ?", true);
    const Result stagedRows = staged.rows();
    Row c;
    for (size_t k = 0; k < stagedRows.size(); ++k) {
        stagedRows.read(k, p);
        const Result found = company.bind(1, key(p[1])).rows();
        if (found.empty()) {
            gone.bind(1, p[0].i).run();
            continue;
        }
        found.read(0, c);
        if (differs(p[2], c[0])) descricao.bind(1, c[0]).bind(2, p[0].i).run();
        const int column = columnOf.value(codeKey(p[1]), lastColumn);
        if (column > 0) {
            const Cell& price = c[static_cast<size_t>(1 + column)];
            if (differs(p[3], price)) pvp.bind(1, money(price.tenThousandths())).bind(2, p[0].i).run();
        }
        if (differs(p[4], c[1])) unidade.bind(1, c[1]).bind(2, p[0].i).run();
    }
}

// --- customers -------------------------------------------------------------------------------

// The export's postal code: "1234 - 567 Place", blanks of the company code dropped first, the
// code's own separator (its fifth character) never kept, cut to the staged column.
QByteArray postalCode(const Cell& codPost, const Cell& place) {
    QString c = qtext(codPost);
    c.remove(u' ');
    return (c.left(4) + QStringLiteral(" - ") + c.mid(5, 3) + u' ' + qtext(place)).left(60).toUtf8();
}

void customers(Session& s) {
    Statement rules(s, s.geral(), "select Grupo, Familia, Subfamilia from LigaClientes", false);
    Statement find(s, s.geral(), "select * from Clientes where Codigo = ? collate TSQL_TEXT", false);
    Statement add(s, s.geral(),
                  "insert into Clientes (Activo, Codigo, Status, Descricao, Designacao, Contribuinte, BI_NIPC, Morada, "
                  "Localidade, Distrito, Concelho, CodPost, Pais, Segmento) "
                  "values (0, ?1, 'N', ?2, ?2, ?3, '', ?4, ?5, ?6, '', ?7, ?8, '')",
                  true);
    const Result ruleRows = rules.rows();
    Row rule;
    Row c;
    for (size_t r = 0; r < ruleRows.size(); ++r) {
        ruleRows.read(r, rule);
        Conditions where;
        where.add("c.Grupo", rule[0]);
        where.add("c.Familia", rule[1]);
        where.add("c.Subfamilia", rule[2]);
        const std::string text = "select c.CodPost, c.Codigo, c.Descricao, c.Contribuinte, c.Morada, c.local, "
                                 "t.descricao, c.Pais, c.Distrito from Clientes c "
                                 "join TabPostal t on t.codigo = c.CodPost collate TSQL_TEXT "
                                 "where c.NumRegisto > 0" + where.text;
        Statement company(s, s.gestao(), text.c_str(), false);
        for (size_t k = 0; k < where.values.size(); ++k) company.bind(static_cast<int>(k + 1), where.values[k]);
        const Result selected = company.rows();
        for (size_t k = 0; k < selected.size(); ++k) {
            selected.read(k, c);
            if (find.bind(1, key(c[1])).any()) continue;
            const QByteArray codPost = postalCode(c[0], c[6]);
            add.bind(1, c[1]).bind(2, c[2]).bind(3, c[3]).bind(4, c[4]).bind(5, c[5]).bind(6, c[8])
                .bind(7, textCell(codPost)).bind(8, c[7]).run();
        }
    }

    Statement staged(s, s.geral(),
                     "select NumRegisto, Codigo, Descricao, Contribuinte, Morada, Localidade from Clientes", false);
    Statement company(s, s.gestao(),
                      "select Descricao, Contribuinte, Morada, local from Clientes where Codigo = ? collate TSQL_TEXT",
                      false);
    Statement gone(s, s.geral(), "update Clientes set Status = 'E' where NumRegisto = ?", true);
    Statement changed(s, s.geral(),
                      "update Clientes set Status = 'A', Descricao = ?1, Designacao = ?1, Contribuinte = ?2, Morada = ?3, "
                      "Localidade = ?4 where NumRegisto = ?5",
                      true);
    const Result stagedRows = staged.rows();
    Row p;
    for (size_t k = 0; k < stagedRows.size(); ++k) {
        stagedRows.read(k, p);
        const Result found = company.bind(1, key(p[1])).rows();
        if (found.empty()) {
            gone.bind(1, p[0].i).run();
            continue;
        }
        found.read(0, c);
        bool any = false;
        Cell v[4];
        for (size_t f = 0; f < 4; ++f) {
            const bool d = differs(p[2 + f], c[f]);
            v[f] = d ? c[f] : p[2 + f];
            any = any || d;
        }
        // One save after the four comparisons, and none when nothing changed.
        if (any) changed.bind(1, v[0]).bind(2, v[1]).bind(3, v[2]).bind(4, v[3]).bind(5, p[0].i).run();
    }
}

// --- sales lines -----------------------------------------------------------------------------

// The line's day as "yyyy-mm-dd", whatever time the company line carries; a text that is no
// day of the calendar stops the step, as in the run.
Cell lineDay(const Cell& data) {
    if (data.isNull()) return Cell{};
    if (data.type != SQLITE_TEXT || data.t.size() < 10) throw std::runtime_error("a sales line without a date");
    const std::string_view d = data.t.substr(0, 10);
    const QString day = QString::fromLatin1(d.data(), static_cast<qsizetype>(d.size()));
    if (!QDate::fromString(day, QStringLiteral("yyyy-MM-dd")).isValid()) {
        throw std::runtime_error("a sales line with an impossible date");
    }
    return textCell(d);
}

void salesLines(Session& s, const QDate& first, const QDate& last, int cutOffMonths) {
    // A run never takes lines of two years, and its window never reaches into the year before.
    QDate start = first;
    if (start.year() != last.year()) start = QDate(last.year(), 1, 1);
    QDate window = start.addMonths(-cutOffMonths);
    if (!window.isValid() || window.year() != start.year()) window = QDate(start.year(), 1, 1);
    const QByteArray dataIni = start.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
    const QByteArray dataFim = last.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
    const QByteArray inicioJanela = window.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();

    // Column numbers of the company query below.
    enum { NumReg, ObsLinha, Vendedor, AfectaCli, Mascara, ApenasMovComValor, TipoOferta, IliqDesc, CodigoImposto,
           Identifica, Codigo, Tipo, Numero, Ano, Data, Preco, QuantNormal, Terceiro, Clifor, Unidade };
    Statement company(
        s, s.gestao(),
        "select m.NumRegisto, m.ObsLinha, m.Vendedor, t.AfectaCli, l.Mascara, l.ApenasMovComValor, "
        "ifnull(l.TipoOferta, '0'), ifnull(m.ValorIliq - m.TotalDesconto, 0), ifnull(i.CodigoImposto, ''), "
        "m.Identifica, m.Codigo, m.Tipo, m.Numero, m.Ano, m.Data, m.Preco, m.QuantNormal, m.Terceiro, m.Clifor, "
        "m.Unidade from MovProduto m "
        "join TabTipoMov t on m.Tipo = t.Codigo collate TSQL_TEXT "
        "join Velmora.Produtos p on p.Codigo = m.Codigo collate TSQL_TEXT "
        "join Velmora.Clientes c on c.Codigo = m.Terceiro collate TSQL_TEXT "
        "join Velmora.LigaMovimentos l on l.Tipo = m.Tipo collate TSQL_TEXT "
        "left join ImpostosMovproduto i on (m.Identifica = i.Identifica collate TSQL_TEXT "
        "and i.CodigoImposto = 'IEC' collate TSQL_TEXT) "
        "where m.Clifor = 'C' collate TSQL_TEXT and m.Fechado = 'S' collate TSQL_TEXT "
        "and m.Numero <> '' collate TSQL_TEXT "
        "and m.Data >= ?1 collate TSQL_TEXT and m.Data <= ?2 collate TSQL_TEXT",
        false);
    Statement find(s, s.geral(), "select * from Movimentos where Chave = ? collate TSQL_TEXT", false);
    Statement cliente(s, s.geral(), "update Clientes set Activo = 1 where Codigo = ? collate TSQL_TEXT", true);
    Statement produto(s, s.geral(), "update Produtos set Activo = 1 where Codigo = ? collate TSQL_TEXT", true);
    Statement add(s, s.geral(),
                  "insert into Movimentos (Status, Chave, Data, CodigoVendedor, CodigoCliente, CodigoProduto, Quantidade, "
                  "Cambio, UnidadeVenda, TipoVenda, Valor, IEC, Motivo, Observacoes, Mascara) "
                  "values ('N', ?1, ?2, ?3, ?4, ?5, ?6, 'EUR', ?7, ?8, ?9, ?10, '', '', ?11)",
                  true);
    const Result lines = company.bind(1, dataIni).bind(2, dataFim).rows();
    Row m;
    for (size_t k = 0; k < lines.size(); ++k) {
        lines.read(k, m);
        const std::int64_t iliqDesc = m[IliqDesc].tenThousandths();
        const bool onlyWithValue = !m[ApenasMovComValor].isNull() && m[ApenasMovComValor].number() == 1.0;
        if (iliqDesc == 0 && onlyWithValue) continue;
        if (find.bind(1, key(m[Identifica])).any()) continue;

        cliente.bind(1, key(m[Terceiro])).run();
        produto.bind(1, key(m[Codigo])).run();

        const std::string afecta = m[AfectaCli].isNull() ? std::string() : m[AfectaCli].text().substr(0, 1);
        const Cell tipoVenda = afecta == "D" ? textCell("C") : afecta == "S" ? textCell("V") : Cell{};
        const std::string oferta = m[TipoOferta].text();
        Cell mascara;
        if (oferta == "0" || oferta == "1") mascara = iliqDesc == 0 ? textCell("EO") : m[Mascara];
        add.bind(1, m[Identifica])
            .bind(2, lineDay(m[Data]))
            .bind(3, m[Vendedor])
            .bind(4, m[Terceiro])
            .bind(5, m[Codigo])
            .bind(6, m[QuantNormal])
            .bind(7, m[Unidade])
            .bind(8, tipoVenda)
            .bind(9, money(iliqDesc))
            .bind(10, textCell(m[CodigoImposto].isNull() || m[CodigoImposto].text().empty() ? "N" : "S"))
            .bind(11, mascara)
            .run();
    }
    s.flush();

    // Gone lines of the window.
    Statement staged(s, s.geral(),
                     "select Chave, Status, NumRegisto from Movimentos where Data >= ?1 collate TSQL_TEXT "
                     "and Data <= ?2 collate TSQL_TEXT",
                     false);
    Statement exists(s, s.gestao(), "select NumRegisto from MovProduto where Identifica = ? collate TSQL_TEXT", false);
    Statement gone(s, s.geral(), "update Movimentos set Status = 'E' where NumRegisto = ?", true);
    const Result windowRows = staged.bind(1, inicioJanela).bind(2, dataFim).rows();
    Row l;
    for (size_t k = 0; k < windowRows.size(); ++k) {
        windowRows.read(k, l);
        if (!exists.bind(1, key(l[0])).rows().empty()) continue;
        gone.bind(1, l[2].i).run();
    }
}

// --- after the imports -----------------------------------------------------------------------


}  // namespace

FloorCounts runFloor(const QString& serverFolder, const QString& historyFile, const QString& fileName,
                     int statementsPerTransaction, bool companyReadsOwn) {
    Session s(serverFolder, statementsPerTransaction, companyReadsOwn);
    products(s);
    s.flush();
    customers(s);
    s.flush();
    salesLines(s, QDate::fromString(QString::fromLatin1(kDataIni), QStringLiteral("yyyy-MM-dd")),
               QDate::fromString(QString::fromLatin1(kDataFim), QStringLiteral("yyyy-MM-dd")), kCutOff);
    // Only what a sales line made active goes to the file.
    Statement(s, s.geral(), "delete from Produtos where ifnull(Activo, 0) <> 1", true).run();
    Statement(s, s.geral(), "delete from Clientes where ifnull(Activo, 0) <> 1", true).run();
    s.flush();

    // The zipped copy as a history row, then the status reset in one transaction.
    const QByteArray zip = zipped(historyFile, fileName);
    Cell blob = textCell(zip);
    blob.type = SQLITE_BLOB;
    Statement(s, s.geral(), "insert into HistFiles (Filename, Ficheiro, Datasys) values (?, ?, ?)", true)
        .bind(1, textCell(fileName.toUtf8()))
        .bind(2, blob)
        .bind(3, platform::now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8())
        .run();
    s.begin();
    Statement(s, s.geral(), "delete from Movimentos where Status = 'E' collate TSQL_TEXT", true).run();
    Statement(s, s.geral(), "update Clientes set Status = ''", true).run();
    Statement(s, s.geral(), "update Produtos set Status = ''", true).run();
    Statement(s, s.geral(), "update Movimentos set Status = ''", true).run();
    s.commit();
    return s.counts;
}

}  // namespace bench
