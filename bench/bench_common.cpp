#include "bench_common.h"

#include <QDir>
#include <QFile>
#include <random>
#include <stdexcept>
#include <sys/resource.h>

#include "crypto/clsEncripta.h"
#include "data/connection.h"
#include "data/embedded/translate/semantics.h"
#include "extractor/zip/frmCtrls.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "platform/tempfolder.h"

namespace bench {

namespace {

// The keys a company database is looked up by (the tables are the test-data builder's).
const char* const kCompanyIndexes[] = {
    "create index IX_Clientes_Codigo on Clientes (Codigo)",
    "create index IX_TabPostal_Codigo on TabPostal (codigo)",
    "create index IX_Produtos_Codigo on Produtos (Codigo)",
    "create index IX_Fornece_Codigo on Fornece (Codigo)",
    "create index IX_TabTipoMov_Codigo on TabTipoMov (Codigo)",
    "create index IX_MovProduto_Identifica on MovProduto (Identifica)",
    "create index IX_MovProduto_Data on MovProduto (Data)",
    "create index IX_Impostos_Identifica on ImpostosMovproduto (Identifica)",
};

QString codigoCliente(int i) { return QStringLiteral("C%1").arg(i, 6, 10, QChar(u'0')); }
QString codigoProduto(int i) { return QStringLiteral("P%1").arg(i, 7, 10, QChar(u'0')); }
QString identifica(int i) { return QStringLiteral("L%1").arg(i, 9, 10, QChar(u'0')); }

// One written form of an amount in cents, as the engine writes money: whole amounts as
// INTEGER, others as REAL.
void bindCents(sqlite3_stmt* st, int k, std::int64_t cents) {
    if (cents % 100 == 0) {
        sqlite3_bind_int64(st, k, cents / 100);
    } else {
        sqlite3_bind_double(st, k, static_cast<double>(cents) / 100.0);
    }
}

// A prepared statement that returns no rows, run once per set of bound values.
class Write {
public:
    Write(sqlite3* db, const char* text) {
        if (sqlite3_prepare_v2(db, text, -1, &st_, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
    }
    ~Write() { sqlite3_finalize(st_); }
    Write(const Write&) = delete;
    Write& operator=(const Write&) = delete;
    Write& text(int k, const QString& v) {
        const QByteArray u = v.toUtf8();
        sqlite3_bind_text(st_, k, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Write& integer(int k, std::int64_t v) {
        sqlite3_bind_int64(st_, k, v);
        return *this;
    }
    Write& cents(int k, std::int64_t v) {
        bindCents(st_, k, v);
        return *this;
    }
    Write& null(int k) {
        sqlite3_bind_null(st_, k);
        return *this;
    }
    void run() {
        const int rc = sqlite3_step(st_);
        sqlite3_reset(st_);
        if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(st_)));
    }

private:
    sqlite3_stmt* st_ = nullptr;
};

QString dataDoDia(int dia) {
    return QDate(2023, 1, 1).addDays(dia).toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00.000");
}

}  // namespace

void pinClock() {
    platform::setClock([] { return QDateTime(QDate(2024, 1, 15), QTime(10, 30, 15), Qt::UTC); });
}

int Scale::clientes() const { return std::max(1, static_cast<int>(10000 * s + 0.5)); }
int Scale::produtos() const { return std::max(1, static_cast<int>(10000 * s + 0.5)); }
int Scale::linhas() const { return std::max(1, static_cast<int>(200000 * s + 0.5)); }

QString serverName(const QString& folder) { return QStringLiteral("embedded:") + folder; }

std::unique_ptr<data::Connection> connect(const QString& folder, const QString& database) {
    auto conn = std::make_unique<data::Connection>();
    conn->setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") +
                              QString::fromLatin1(kLogin) + QStringLiteral(";Initial Catalog=") + database +
                              QStringLiteral(";Data Source=") + serverName(folder));
    conn->Open(QString(), QString(), QString::fromLatin1(kPassword));
    return conn;
}

void copyFolder(const QString& from, const QString& to) {
    // A repeated phase starts from the same files: nothing of an earlier repetition (a log of
    // the database, a journal) is left beside them.
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    const QDir src(from);
    for (const QString& f : src.entryList(QDir::Files)) {
        QFile::remove(to + u'/' + f);
        if (!QFile::copy(from + u'/' + f, to + u'/' + f)) {
            throw std::runtime_error(("cannot copy " + from + u'/' + f).toStdString());
        }
    }
}

void writeSettings(const QString& programFolder, const QString& serverFolder, const QString& exportFolder) {
    QDir().mkpath(programFolder);
    QDir().mkpath(exportFolder);
    const QString ini = programFolder + QStringLiteral("/Velmora.ini");
    auto set = [&](const char* section, const char* key, const QString& value) {
        platform::WritePrivateProfileString(QString::fromLatin1(section), QString::fromLatin1(key), value, ini);
    };
    set("Tramontix", "Server", serverName(serverFolder));
    set("Tramontix", "Login", QString::fromLatin1(kLogin));
    set("Tramontix", "Password", crypto::clsEncripta().Encripta(0, QString(), QString::fromLatin1(kPassword)));
    set("Tramontix", "Database", QStringLiteral("Empresa"));
    set("Extractor", "P3", exportFolder);
    set("Extractor", "P15", QString::fromLatin1(kPrefixo));
    set("Extractor", "P8", QString::fromLatin1(kSistema));
    set("Extractor", "P7", QString::number(kCutOff));
}

Sqlite openSqlite(const QString& file) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(file.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Sqlite db(raw);
    if (rc != SQLITE_OK) throw std::runtime_error(("cannot open " + file).toStdString());
    data::embedded::installSemantics(raw);
    sqlite3_busy_timeout(raw, 60000);
    return db;
}

void sql(sqlite3* db, const char* text) {
    char* err = nullptr;
    if (sqlite3_exec(db, text, nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string m = std::string(err ? err : "?") + " in: " + text;
        sqlite3_free(err);
        throw std::runtime_error(m);
    }
}

void sql(sqlite3* db, const QString& text) { sql(db, text.toUtf8().constData()); }

void buildCompany(const QString& serverFolder, const Scale& scale) {
    {
        auto conn = connect(serverFolder, QStringLiteral("Empresa"));
        for (const char* s : kCompanyIndexes) conn->Execute(QString::fromLatin1(s));
    }
    Sqlite db = openSqlite(serverFolder + QStringLiteral("/Empresa.db"));
    sql(db.get(), "BEGIN");
    std::mt19937 rnd(20240115);
    auto pick = [&](int n) { return static_cast<int>(rnd() % static_cast<unsigned>(n)); };

    const int postais = 200;
    {
        Write ins(db.get(), "insert into TabPostal (NumRegisto, codigo, descricao) values (?, ?, ?)");
        for (int i = 0; i < postais; ++i) {
            ins.integer(1, i + 1)
                .text(2, QStringLiteral("%1-%2").arg(1000 + i * 7).arg(100 + i, 3, 10, QChar(u'0')))
                .text(3, QStringLiteral("LOCALIDADE POSTAL %1").arg(i))
                .run();
        }
    }
    {
        Write ins(db.get(), "insert into Fornece (NumRegisto, Codigo, Descricao) values (?, ?, ?)");
        // Suppliers F100..F119 have no name row: their products stage a Null supplier name.
        for (int i = 0; i < 100; ++i) {
            ins.integer(1, i + 1).text(2, QStringLiteral("F%1").arg(i, 3, 10, QChar(u'0')))
                .text(3, QStringLiteral("Fornecedor %1, S.A.").arg(i)).run();
        }
    }
    sql(db.get(), "insert into TabTipoMov (NumRegisto, Codigo, Descricao, AfectaCli) values "
                  "(1, 'FT', 'Factura', 'D'), (2, 'NC', 'Nota de credito', 'S'), (3, 'OF', 'Oferta', 'D'), "
                  "(4, 'GR', 'Guia de remessa', 'N')");
    sql(db.get(), "insert into ParamGeral (ZerarFornece, ZerarClientes, ZerarProduto) values (0, 0, 0)");
    {
        Write ins(db.get(), "insert into Clientes (NumRegisto, Codigo, Descricao, Contribuinte, Morada, local, CodPost, "
                             "Pais, Distrito, Grupo, Familia, Subfamilia) values (?,?,?,?,?,?,?,?,?,?,?,?)");
        for (int i = 0; i < scale.clientes(); ++i) {
            const int p = pick(postais);
            ins.integer(1, i + 1)
                .text(2, codigoCliente(i))
                .text(3, QStringLiteral("Cliente %1 Comercio de Bebidas Lda").arg(i))
                .text(4, QString::number(500000000 + pick(400000000)))
                .text(5, QStringLiteral("Rua das Flores, %1 - %2 Esq").arg(pick(300) + 1).arg(pick(9) + 1))
                .text(6, QStringLiteral("Localidade %1").arg(pick(500)))
                .text(7, QStringLiteral("%1-%2").arg(1000 + p * 7).arg(100 + p, 3, 10, QChar(u'0')))
                .text(8, QStringLiteral("PT"))
                .text(9, QStringLiteral("Lisboa"))
                .text(10, QStringLiteral("G%1").arg(pick(5)))
                .text(11, QStringLiteral("F%1").arg(pick(5)))
                .text(12, QStringLiteral("S%1").arg(pick(5)))
                .run();
        }
    }
    {
        Write ins(db.get(), "insert into Produtos (NumRegisto, Codigo, Descricao, UnidadeVenda, Grupo, Familia, "
                             "Subfamilia, ForneceExterno, PrecoVenda1, PrecoVenda2, PrecoVenda3, PrecoVenda4, "
                             "PrecoVenda5, PrecoVenda6, PrecoVenda7) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        static const char* const unidades[] = {"UN", "KG", "CX", "LT"};
        for (int i = 0; i < scale.produtos(); ++i) {
            ins.integer(1, i + 1)
                .text(2, codigoProduto(i))
                .text(3, QStringLiteral("Produto %1 garrafa 0,75 L").arg(i))
                .text(4, QString::fromLatin1(unidades[pick(4)]))
                .text(5, QStringLiteral("G%1").arg(pick(5)))
                .text(6, QStringLiteral("F%1").arg(pick(5)))
                .text(7, QStringLiteral("S%1").arg(pick(5)))
                .text(8, QStringLiteral("F%1").arg(pick(120), 3, 10, QChar(u'0')));
            const std::int64_t base = 50 + pick(20000);
            for (int k = 0; k < 7; ++k) ins.cents(9 + k, base + k * 25);
            ins.run();
        }
    }
    {
        Write lin(db.get(), "insert into MovProduto (NumRegisto, Identifica, ObsLinha, Vendedor, ValorIliq, "
                             "TotalDesconto, Codigo, Tipo, Numero, Ano, Data, Preco, QuantNormal, Terceiro, Clifor, "
                             "Fechado, Unidade) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        Write iec(db.get(), "insert into ImpostosMovproduto (NumRegisto, Identifica, CodigoImposto) values (?,?,?)");
        const int n = scale.linhas();
        int impostos = 0;
        // Lines in date order, so the company's own order is the order of the dates.
        for (int i = 0; i < n; ++i) {
            const int dia = static_cast<int>(static_cast<std::int64_t>(i) * 365 / n);
            const int r = pick(100);
            const char* tipo = r < 78 ? "FT" : r < 88 ? "NC" : r < 96 ? "OF" : "GR";
            const std::int64_t quant = 1 + pick(12);
            const std::int64_t preco = 50 + pick(5000);
            const bool oferta = tipo[0] == 'O';
            const std::int64_t valor = oferta ? 0 : quant * preco;
            const std::int64_t desconto = oferta ? 0 : (pick(4) == 0 ? valor / 10 : 0);
            lin.integer(1, i + 1)
                .text(2, identifica(i))
                .text(3, QString())
                .text(4, QStringLiteral("%1").arg(1 + pick(20), 2, 10, QChar(u'0')))
                .cents(5, valor)
                .cents(6, desconto)
                .text(7, codigoProduto(pick(scale.produtos())))
                .text(8, QString::fromLatin1(tipo))
                .text(9, QStringLiteral("%1").arg(1 + i / 4))
                .integer(10, 2023)
                .text(11, dataDoDia(dia))
                .cents(12, preco)
                .integer(13, quant)
                .text(14, codigoCliente(pick(scale.clientes())))
                .text(15, pick(50) == 0 ? QStringLiteral("F") : QStringLiteral("C"))
                .text(16, pick(50) == 0 ? QStringLiteral("N") : QStringLiteral("S"))
                .text(17, QStringLiteral("UN"))
                .run();
            if (i % 10 == 0) {
                iec.integer(1, ++impostos).text(2, identifica(i)).text(3, QStringLiteral("IEC")).run();
            } else if (i % 10 == 5) {
                iec.integer(1, ++impostos).text(2, identifica(i)).text(3, QStringLiteral("IVA")).run();
            }
        }
    }
    sql(db.get(), "COMMIT");
    sql(db.get(), "ANALYZE");
}

void mutateCompany(const QString& serverFolder, const Scale& scale) {
    Sqlite db = openSqlite(serverFolder + QStringLiteral("/Empresa.db"));
    sql(db.get(), "BEGIN");
    // Every hundredth record: the even ones changed, the odd ones deleted. The codes are matched
    // in the engine's collation, the one the company's indexes are built in: compared as plain
    // texts, each statement would scan its table, and the preparation would grow with the square
    // of the scale.
    auto every = [](int first, int count, auto&& changed, auto&& deleted) {
        for (int i = first, k = 0; i < count; i += 100, ++k) {
            if (k % 2 == 0) {
                changed(i);
            } else {
                deleted(i);
            }
        }
    };
    {
        Write change(db.get(), "update Clientes set Descricao = ?1, Morada = ?2 where Codigo = ?3 collate TSQL_TEXT");
        Write remove(db.get(), "delete from Clientes where Codigo = ?1 collate TSQL_TEXT");
        every(
            7, scale.clientes(),
            [&](int i) {
                change.text(1, QStringLiteral("Cliente %1 Novo Nome Lda").arg(i))
                    .text(2, QStringLiteral("Avenida Nova, %1").arg(i))
                    .text(3, codigoCliente(i))
                    .run();
            },
            [&](int i) { remove.text(1, codigoCliente(i)).run(); });
    }
    {
        Write change(db.get(), "update Produtos set Descricao = ?1, PrecoVenda1 = PrecoVenda1 + 1 "
                                "where Codigo = ?2 collate TSQL_TEXT");
        Write remove(db.get(), "delete from Produtos where Codigo = ?1 collate TSQL_TEXT");
        every(
            11, scale.produtos(),
            [&](int i) { change.text(1, QStringLiteral("Produto %1 lata 0,33 L").arg(i)).text(2, codigoProduto(i)).run(); },
            [&](int i) { remove.text(1, codigoProduto(i)).run(); });
    }
    {
        Write change(db.get(), "update MovProduto set QuantNormal = QuantNormal + 1 where Identifica = ?1 collate TSQL_TEXT");
        Write remove(db.get(), "delete from MovProduto where Identifica = ?1 collate TSQL_TEXT");
        every(
            13, scale.linhas(), [&](int i) { change.text(1, identifica(i)).run(); },
            [&](int i) { remove.text(1, identifica(i)).run(); });
    }
    sql(db.get(), "COMMIT");
}

void addRules(const QString& serverFolder) {
    auto conn = connect(serverFolder, QStringLiteral("Velmora"));
    conn->Execute(QStringLiteral("insert into LigaProdutos (Grupo, Familia, Subfamilia, PVP, Fornecedor) values "
                                 "('', '', '', '', '')"));
    conn->Execute(QStringLiteral("insert into LigaClientes (Grupo, Familia, Subfamilia) values ('', '', '')"));
    conn->Execute(QStringLiteral("insert into LigaMovimentos (Mascara, Tipo, TipoOferta, ApenasMovComValor) values "
                                 "('V', 'FT', '0', 0)"));
    conn->Execute(QStringLiteral("insert into LigaMovimentos (Mascara, Tipo, TipoOferta, ApenasMovComValor) values "
                                 "('D', 'NC', '0', 0)"));
    conn->Execute(QStringLiteral("insert into LigaMovimentos (Mascara, Tipo, TipoOferta, ApenasMovComValor) values "
                                 "('V', 'OF', '0', 0)"));
}

QString stagingDump(const QString& serverFolder) {
    Sqlite db = openSqlite(serverFolder + QStringLiteral("/Velmora.db"));
    static const char* const queries[] = {
        "select 'C', Activo, Status, Codigo, Descricao, Designacao, Contribuinte, BI_NIPC, Morada, Localidade, "
        "Distrito, Concelho, CodPost, Pais, Segmento from Clientes order by Codigo",
        "select 'P', Activo, Status, Codigo, CodigoBarras, Descricao, UnidadeVenda, printf('%.4f', PVP), Cambio, "
        "NomeFornecedor from Produtos order by Codigo",
        "select 'M', Status, Mascara, Chave, Data, TipoVenda, CodigoVendedor, CodigoCliente, CodigoProduto, "
        "printf('%.4f', Quantidade), printf('%.4f', Valor), Cambio, UnidadeVenda, IEC, Observacoes, Motivo "
        "from Movimentos order by Chave",
    };
    QString out;
    for (const char* q : queries) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.get(), q, -1, &st, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db.get()));
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                if (i) out += u'|';
                if (sqlite3_column_type(st, i) == SQLITE_NULL) {
                    out += QStringLiteral("<null>");
                } else {
                    out += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
                }
            }
            out += u'\n';
        }
        sqlite3_finalize(st);
    }
    return out;
}

double peakMb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

QByteArray zipped(const QString& file, const QString& fileName) {
    auto& zip = frmCtrls().Zip;
    const QString temp = platform::tempFolder();
    zip.setProperty(8, std::int16_t{5});
    zip.setProperty(15, false);
    zip.setProperty(2, QStringLiteral("\"") + file + QStringLiteral("\""));
    zip.setProperty(11, temp);
    zip.setProperty(1, temp + u'/' + fileName + QStringLiteral(".zip"));
    zip.setProperty(28, true);
    zip.setProperty(17, true);
    zip.setProperty(46, true);
    zip.setProperty(40, std::int16_t{4});
    const QString zipFile = zip.property(1).toString();
    QFile zf(zipFile);
    if (!zf.open(QIODevice::ReadOnly)) throw std::runtime_error("the zip file was not made");
    const QByteArray bytes = zf.readAll();
    zf.close();
    QFile::remove(zipFile);
    return bytes;
}

}  // namespace bench
