// The SQL Server provider's statement shapes, measured through the SQLite3 ODBC driver: the
// run's kind of traffic (a look-up by code, an insert when it is missing, an update of a flag,
// each a text with its values written in) sent once with shapes prepared and once as plain
// texts. The driver writes without waiting for the disk, so what is measured is the work per
// statement rather than the disk. Prints statements per second of both and their ratio, each
// the fastest of `repeat` runs (the two ways take turns, each run on a new file).
//   velmora_odbc_bench [rows, default 20000] [repeat, default 1]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "data/odbc/odbc_provider.h"

namespace {

using namespace data;
using namespace data::provider;

struct Figures {
    double seconds = 0;
    long statements = 0;
};

Figures traffic(const QString& file, int rows, bool prepareShapes) {
    OdbcOptions options;
    options.connectionString = QStringLiteral("DRIVER={SQLite3};SyncPragma=OFF;JournalMode=WAL;Database=") + quoteOdbcValue(file);
    options.identityQuery = QStringLiteral("SELECT last_insert_rowid()");
    options.identityInSameBatch = false;
    options.prepareShapes = prepareShapes;
    OpenArguments args;
    args.connectionTimeout = 5;
    auto session = openOdbcSession(args, options);
    auto run = [&](const QString& sql) {
        Request r;
        r.text = sql;
        return session->execute(r);
    };
    run(QStringLiteral("create table Movimentos (Chave varchar(20), Cliente varchar(10), Valor varchar(20), Activo int)"));
    run(QStringLiteral("create index Movimentos_Chave on Movimentos (Chave)"));
    Figures f;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rows; ++i) {
        const QString chave = QStringLiteral("L%1").arg(i % (rows / 2 + 1));
        const auto found = run(QStringLiteral("Select * from Movimentos Where Chave='") + chave + u'\'');
        ++f.statements;
        if (found.empty() || found[0].rows.empty()) {
            run(QStringLiteral("Insert into Movimentos (Chave, Cliente, Valor, Activo) values ('") + chave + QStringLiteral("', 'C") +
                QString::number(i % 997) + QStringLiteral("', '") + QString::number(i * 3) + QStringLiteral("', 0)"));
        } else {
            run(QStringLiteral("Update Movimentos Set Activo=1 Where Chave='") + chave + u'\'');
        }
        ++f.statements;
    }
    f.seconds = t.nsecsElapsed() / 1e9;
    session->close();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(100, QString::fromLocal8Bit(argv[1]).toInt()) : 20000;
    const int repeat = argc > 2 ? std::clamp(QString::fromLocal8Bit(argv[2]).toInt(), 1, 20) : 1;
    if (!odbcDriverRegistered(QStringLiteral("SQLite3"))) {
        std::puts("the SQLite3 ODBC driver is not registered (libsqliteodbc): nothing measured");
        return 0;
    }
    QTemporaryDir dir;
    if (!dir.isValid()) return 2;
    try {
        Figures plain;
        Figures shaped;
        for (int i = 0; i < repeat; ++i) {
            const Figures p = traffic(dir.filePath(QStringLiteral("plain%1.db").arg(i)), rows, false);
            const Figures s = traffic(dir.filePath(QStringLiteral("shaped%1.db").arg(i)), rows, true);
            if (i == 0 || p.seconds < plain.seconds) plain = p;
            if (i == 0 || s.seconds < shaped.seconds) shaped = s;
        }
        std::printf("SQL Server provider over the SQLite3 ODBC driver, %d rows (%ld statements each way)\n", rows,
                    shaped.statements);
        std::printf("  texts as written               %9.0f statements/s  (%.3f s)\n", plain.statements / plain.seconds,
                    plain.seconds);
        std::printf("  shapes prepared once           %9.0f statements/s  (%.3f s)\n", shaped.statements / shaped.seconds,
                    shaped.seconds);
        std::printf("  prepared / as written          %9.2f x\n", plain.seconds / shaped.seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "odbc benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
