#include <QDateTime>
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench_common.h"
#include "bench_floor.h"
#include "platform/clock.h"

namespace bench {

namespace {

// A text without blanks around it, in the bytes the statement holds.
struct Text {
    const char* p = "";
    int n = 0;
};

// One section's statement, its columns looked up by name once.
class Section {
public:
    Section(sqlite3* db, const char* text) {
        if (sqlite3_prepare_v2(db, text, -1, &st_, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + text);
        }
    }
    ~Section() { sqlite3_finalize(st_); }
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

    int column(const char* name) const {
        for (int i = 0; i < sqlite3_column_count(st_); ++i) {
            if (sqlite3_stricmp(sqlite3_column_name(st_, i), name) == 0) return i;
        }
        throw std::runtime_error(std::string("no column ") + name);
    }
    bool next() {
        const int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(st_)));
        return false;
    }
    // The value of column c trimmed, no longer than width (a longer one has no place in a
    // fixed-width record).
    Text text(int c, int width) const {
        const Text t = trimmed(raw(c));
        if (t.n > width) throw std::runtime_error("a value wider than its field");
        return t;
    }
    Text raw(int c) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, c));
        return p ? Text{p, sqlite3_column_bytes(st_, c)} : Text{};
    }
    static Text trimmed(Text t) {
        while (t.n > 0 && *t.p == ' ') {
            ++t.p;
            --t.n;
        }
        while (t.n > 0 && t.p[t.n - 1] == ' ') --t.n;
        return t;
    }
    // A code of column c (a status letter or a kind), empty for Null.
    std::string code(int c) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st_, c));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(st_, c))) : std::string();
    }
    std::int64_t cents(int c) const { return std::llround(sqlite3_column_double(st_, c) * 100.0); }

private:
    sqlite3_stmt* st_ = nullptr;
};

// The file through stdio; an error anywhere stops the floor.
class Out {
public:
    explicit Out(const QString& path) : f_(std::fopen(path.toLocal8Bit().constData(), "wb")) {
        if (!f_) throw std::runtime_error(("cannot write " + path).toStdString());
    }
    ~Out() {
        if (f_) std::fclose(f_);
    }
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;

    // One record formatted into the buffer, then written.
    template <typename... A>
    void record(const char* format, A... values) {
        const int n = std::snprintf(buf_, sizeof buf_, format, values...);
        if (n < 0 || n >= static_cast<int>(sizeof buf_)) throw std::runtime_error("a record longer than its buffer");
        bytes_ += n;
        if (std::fwrite(buf_, 1, static_cast<size_t>(n), f_) != static_cast<size_t>(n)) {
            throw std::runtime_error("cannot write the floor's file");
        }
    }
    std::int64_t close() {
        const bool ok = std::fclose(f_) == 0;
        f_ = nullptr;
        if (!ok) throw std::runtime_error("cannot write the floor's file");
        return bytes_;
    }

private:
    std::FILE* f_;
    char buf_[4096];
    std::int64_t bytes_ = 0;
};

struct Counts {
    long long detalhe = 0, n = 0, a = 0, e = 0, clientes = 0, produtos = 0, vendas = 0, ofertas = 0, total = 0;
    // The record's letter of status (N, A, E) as one of three texts, or null for any other.
    const char* letter(const std::string& s, const char* n_, const char* a_, const char* e_) {
        long long* count = s == "N" ? &n : s == "A" ? &a : s == "E" ? &e : nullptr;
        if (!count) return nullptr;
        ++*count;
        return s == "N" ? n_ : s == "A" ? a_ : e_;
    }
};

// An amount's digits with two decimals and its sign after them, zeros in front, 13 in all.
#define AMOUNT "%012lld%c"
long long magnitude(std::int64_t cents) { return std::llabs(cents); }
char sign(std::int64_t cents) { return cents < 0 ? '-' : ' '; }

}  // namespace

std::int64_t runExportFloor(sqlite3* db, const QString& path, const QString& fileName) {
    Out out(path);
    Counts k;
    const QDateTime now = platform::now();
    const QByteArray name = fileName.toLatin1();
    out.record("0%-32s%04d%02d%02d%02d%02d%02d%-14s\r\n", kSistema, now.date().year(), now.date().month(),
               now.date().day(), now.time().hour(), now.time().minute(), now.time().second(), name.constData());
    {
        Section q(db, "select * from Clientes where Activo = 1 and ifnull(Status, '') <> '' "
                            "order by Codigo collate TSQL_TEXT");
        const int st = q.column("Status"), codigo = q.column("Codigo"), descricao = q.column("Descricao"),
                  designacao = q.column("Designacao"), nif = q.column("Contribuinte"), bi = q.column("BI_NIPC"),
                  morada = q.column("Morada"), localidade = q.column("Localidade"), distrito = q.column("Distrito"),
                  concelho = q.column("Concelho"), codPost = q.column("CodPost"), pais = q.column("Pais"),
                  segmento = q.column("Segmento");
        while (q.next()) {
            const char* t = k.letter(q.code(st), "1 011 ", "1 012 ", "1 013 ");
            if (!t) continue;
            // The tax number: its first ten characters without blanks around them, right-aligned.
            const Text whole = q.raw(nif);
            const Text n = Section::trimmed({whole.p, std::min(whole.n, 10)});
            const Text f[] = {q.text(codigo, 10),   q.text(descricao, 80), q.text(designacao, 80),
                              n,                    q.text(bi, 10),        q.text(morada, 60),
                              q.text(localidade, 50), q.text(distrito, 50), q.text(concelho, 50),
                              q.text(codPost, 60),  q.text(pais, 50),      q.text(segmento, 50)};
            out.record("%s%-10.*s%-80.*s%-80.*s%10.*s%-10.*s%-60.*s%-50.*s%-50.*s%-50.*s%-60.*s%-50.*s%-50.*s\r\n", t,
                       f[0].n, f[0].p, f[1].n, f[1].p, f[2].n, f[2].p, f[3].n, f[3].p, f[4].n, f[4].p, f[5].n, f[5].p,
                       f[6].n, f[6].p, f[7].n, f[7].p, f[8].n, f[8].p, f[9].n, f[9].p, f[10].n, f[10].p, f[11].n,
                       f[11].p);
            ++k.clientes;
            ++k.detalhe;
        }
    }
    {
        Section q(db, "select * from Produtos where Activo = 1 and ifnull(Status, '') <> '' "
                            "order by Codigo collate TSQL_TEXT");
        const int st = q.column("Status"), codigo = q.column("Codigo"), descricao = q.column("Descricao"),
                  unidade = q.column("UnidadeVenda"), pvp = q.column("PVP"), fornecedor = q.column("NomeFornecedor");
        while (q.next()) {
            const char* t = k.letter(q.code(st), "1 101 ", "1 102 ", "1 103 ");
            if (!t) continue;
            const Text c = q.text(codigo, 15), d = q.text(descricao, 80), u = q.text(unidade, 5),
                       f = q.text(fornecedor, 50);
            const std::int64_t preco = q.cents(pvp);
            out.record("%s%-15.*s%-20.*s%-80.*s%-5.*s" AMOUNT "%-50.*s\r\n", t, c.n, c.p, c.n, c.p, d.n, d.p, u.n, u.p,
                       magnitude(preco), sign(preco), f.n, f.p);
            ++k.produtos;
            ++k.detalhe;
        }
    }
    {
        Section q(db, "select * from Movimentos where ifnull(Status, '') <> '' "
                            "order by Mascara collate TSQL_TEXT desc, Data collate TSQL_TEXT asc");
        const int st = q.column("Status"), mascara = q.column("Mascara"), data = q.column("Data"),
                  tipoVenda = q.column("TipoVenda"), vendedor = q.column("CodigoVendedor"),
                  cliente = q.column("CodigoCliente"), produto = q.column("CodigoProduto"),
                  quantidade = q.column("Quantidade"), valor = q.column("Valor"), unidade = q.column("UnidadeVenda"),
                  motivo = q.column("Motivo"), iec = q.column("IEC");
        while (q.next()) {
            const std::string m = q.code(mascara);
            const char* kind = m == "V" ? "1 30" : m == "D" ? "1 31" : m == "EO" ? "1 40" : nullptr;
            if (!kind) continue;
            const char* t = k.letter(q.code(st), "1 ", "2 ", "3 ");
            if (!t) continue;
            const Text d = q.text(data, 1 << 20);
            if (d.n < 10) throw std::runtime_error("a sales line without a date");
            const Text v = q.text(vendedor, 5), c = q.text(cliente, 10), p = q.text(produto, 15),
                       u = q.text(unidade, 5);
            const std::int64_t quant = q.cents(quantidade);
            const std::int64_t value = q.cents(valor);
            char head[64];
            std::snprintf(head, sizeof head, "%s%s%.4s%.2s%.2s", kind, t, d.p, d.p + 5, d.p + 8);
            if (m == "EO") {
                out.record("%s%-5.*s%-10.*s%-15.*s" AMOUNT "%-5.*s\r\n", head, v.n, v.p, c.n, c.p, p.n, p.p,
                           magnitude(quant), sign(quant), u.n, u.p);
                ++k.ofertas;
            } else {
                const Text mark = q.text(iec, 1);
                const char iecMark = mark.n ? *mark.p : ' ';
                if (m == "V") {
                    const Text tv = q.text(tipoVenda, 1);
                    out.record("%s%c%-5.*s%-10.*s%-15.*s" AMOUNT AMOUNT "EUR  %-5.*s%c\r\n", head, tv.n ? *tv.p : ' ',
                               v.n, v.p, c.n, c.p, p.n, p.p, magnitude(quant), sign(quant), magnitude(value),
                               sign(value), u.n, u.p, iecMark);
                } else {
                    const Text r = q.text(motivo, 100);
                    out.record("%s%-5.*s%-10.*s%-15.*s" AMOUNT AMOUNT "EUR  %-5.*s%-100.*s%c\r\n", head, v.n, v.p, c.n,
                               c.p, p.n, p.p, magnitude(quant), sign(quant), magnitude(value), sign(value), u.n, u.p,
                               r.n, r.p, iecMark);
                }
                ++k.vendas;
            }
            k.total += value;
            ++k.detalhe;
        }
    }
    out.record("9%08lld%08lld%08lld%08lld%08lld%08lld%08lld%08lld%08d%16.3lld\r\n", k.detalhe, k.n, k.a, k.e,
               k.clientes, k.produtos, k.vendas, k.ofertas, 0, k.total);
    return out.close();
}

}  // namespace bench
