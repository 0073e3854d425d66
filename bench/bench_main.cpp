// The benchmark of the extraction run. One command measures, each phase in a process of its
// own (so that each peak of resident memory is the phase's own):
//   A   the first automatic run over a new synthetic company of scale S (everything new);
//   B   a second automatic run after 1% of customers, products and lines changed or were
//       deleted;
//   C   the export writer alone over every staged record of scale S marked new, in turns with
//       its floor: the writer's three section queries in plain SQLite, the records formatted
//       with snprintf and written with stdio (checked to write the same file);
//   the baseline of A and of B: the same work set-based in plain SQLite, which must leave the
//       same staging rows and write a byte-identical file (checked);
//   A at scale 2S, for the cost's growth;
//   B again with a year of history copies kept in HistFiles, for its peak of memory;
//   the floors of A and of B: the run's row-by-row statements in plain SQLite, each its own
//       transaction, again with 1000 statements to a transaction, and in the run's own rhythm
//       (its rows are compared, not enforced).
//
//   velmora_bench [--scale S] [--repeat R] [--dir FOLDER] [--keep]
//
// With --repeat R every timed phase but the slow floor of one transaction per statement runs
// R times, each from the same files; its fastest time and its highest peak of memory count
// (a shared machine's noise only ever adds time). A run and its baseline take turns.
//
// Phase processes are the same program with --phase NAME; each prints one line "RESULT
// key=value ...". The phases that prepare the files of a timed one (the company, its 1%
// changes, the history copies) print their own time, which must stay below that of the run
// they prepare: a preparation that grows faster than the run would end the benchmark's use at
// the larger scales. The work folder (default: a new temporary folder) is removed at the end
// unless --keep is given.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "bench_baseline.h"
#include "bench_common.h"
#include "bench_floor.h"
#include "data/connection.h"
#include "data/provider.h"
#include "data/recordset.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/RunHost.h"
#include "extractor/clsVelmora.h"
#include "extractor/modActDB.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/embedded_server.h"

namespace {

using namespace bench;

// A status bar nobody sees; a critical message means the run failed, which the benchmark
// reports instead of timing a broken run.
class QuietHost : public RunHost {
public:
    void SetPanelText(const QString&) override { ++panels; }
    void RefreshStatusBar() override {}
    void SetBusyPointer(bool) override {}
    void ShowCriticalMessage(const QString& text) override { failures += text + u' '; }
    MailHost* Mail() override { return nullptr; }
    long panels = 0;
    QString failures;
};

struct Args {
    QString phase;
    QString dir;
    double scale = 1.0;
    bool keep = false;
    int repeat = 1;  // timed phases run this many times; the fastest counts
};

Args parse(const QStringList& a) {
    Args r;
    for (qsizetype i = 1; i < a.size(); ++i) {
        const QString& k = a[i];
        auto value = [&] {
            if (i + 1 >= a.size()) throw std::runtime_error(("missing value after " + k).toStdString());
            return a[++i];
        };
        if (k == u"--phase") {
            r.phase = value();
        } else if (k == u"--dir") {
            r.dir = value();
        } else if (k == u"--scale") {
            bool ok = false;
            r.scale = value().toDouble(&ok);
            if (!ok || r.scale <= 0 || r.scale > 50) throw std::runtime_error("--scale takes a number above 0");
        } else if (k == u"--keep") {
            r.keep = true;
        } else if (k == u"--repeat") {
            bool ok = false;
            r.repeat = value().toInt(&ok);
            if (!ok || r.repeat < 1 || r.repeat > 20) throw std::runtime_error("--repeat takes a number from 1 to 20");
        } else {
            throw std::runtime_error(("unknown argument " + k).toStdString());
        }
    }
    return r;
}

void result(const QMap<QString, QString>& values) {
    QString line = QStringLiteral("RESULT");
    for (auto it = values.begin(); it != values.end(); ++it) line += u' ' + it.key() + u'=' + it.value();
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString num(double v) { return QString::number(v, 'f', 3); }

// The result of a phase that prepares files, with its time from the timer's start.
void prepared(const QString& phase, const QElapsedTimer& t) {
    result({{QStringLiteral("phase"), phase},
            {QStringLiteral("seconds"), num(t.nsecsElapsed() / 1e9)},
            {QStringLiteral("peak_mb"), num(peakMb())}});
}

// Points the program at a phase's program folder and reads its settings.
void useProgramFolder(const QString& folder) {
    gstrFicheiroIni() = QStringLiteral("Velmora.ini");
    setPastaFicheiroIni(folder);
    LerConfiguracao();
}

// --- phases ----------------------------------------------------------------------------------

// A new server with the company at the scale, the staging database made by the schema routine
// and the link rules; its files are the start of every run.
void phasePrepare(const Args& a) {
    QElapsedTimer t;
    t.start();
    const QString server = a.dir + QStringLiteral("/start");
    {
        // The company's tables as the tests' builder declares them, on a new server whose first
        // login is the benchmark's.
        testsupport::TempEmbeddedServer made{QString::fromLatin1(kLogin), QString::fromLatin1(kPassword)};
        testsupport::CompanyDb company(made, QStringLiteral("Empresa"));
        copyFolder(made.folder(), server);
    }
    buildCompany(server, Scale{a.scale});
    writeSettings(a.dir + QStringLiteral("/program-start"), server, a.dir + QStringLiteral("/out-start"));
    useProgramFolder(a.dir + QStringLiteral("/program-start"));
    ActualizaBaseDados();
    addRules(server);
    prepared(QStringLiteral("prepare"), t);
}

// One automatic run through Processa on a copy of the folder `from`, left in `name`.
void phaseRun(const Args& a, const QString& from, const QString& name) {
    const QString server = a.dir + u'/' + name;
    copyFolder(a.dir + u'/' + from, server);
    const QString out = a.dir + QStringLiteral("/out-") + name;
    QDir(out).removeRecursively();
    writeSettings(a.dir + QStringLiteral("/program-") + name, server, out);
    useProgramFolder(a.dir + QStringLiteral("/program-") + name);
    pinClock();
    QuietHost host;
    const std::uint64_t before = data::provider::statementsSent();
    double seconds = 0;
    {
        // The run gets its two connections open, as the program hands them over.
        auto geral = connect(server, QStringLiteral("Velmora"));
        auto gestao = connect(server, QStringLiteral("Empresa"));
        clsVelmora run;
        QElapsedTimer t;
        t.start();
        run.Processa(*geral, *gestao, QString::fromLatin1(kDataIni), QString::fromLatin1(kDataFim), kCutOff, host, false);
        seconds = t.nsecsElapsed() / 1e9;
        geral->Close();
        gestao->Close();
    }
    const std::uint64_t statements = data::provider::statementsSent() - before;
    const QString file = out + u'/' + exportFileName();
    if (!host.failures.isEmpty()) throw std::runtime_error(("the run failed: " + host.failures).toStdString());
    result({{QStringLiteral("phase"), name},
            {QStringLiteral("seconds"), num(seconds)},
            {QStringLiteral("peak_mb"), num(peakMb())},
            {QStringLiteral("statements"), QString::number(statements)},
            {QStringLiteral("file_bytes"), QString::number(QFileInfo(file).size())}});
}

void phaseMutate(const Args& a) {
    QElapsedTimer t;
    t.start();
    copyFolder(a.dir + QStringLiteral("/runA"), a.dir + QStringLiteral("/changed"));
    mutateCompany(a.dir + QStringLiteral("/changed"), Scale{a.scale});
    prepared(QStringLiteral("mutate"), t);
}

// The set-based baseline on a copy of `from`, checked against the run left in `run`.
void phaseBaseline(const Args& a, const QString& from, const QString& run, const QString& name) {
    const QString server = a.dir + u'/' + name;
    copyFolder(a.dir + u'/' + from, server);
    const QString out = a.dir + QStringLiteral("/out-") + name;
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    pinClock();
    QElapsedTimer t;
    t.start();
    runBaseline(server, out, exportFileName());
    const double seconds = t.nsecsElapsed() / 1e9;

    QFile mine(out + u'/' + exportFileName());
    QFile theirs(a.dir + QStringLiteral("/out-") + run + u'/' + exportFileName());
    if (!mine.open(QIODevice::ReadOnly) || !theirs.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("an export file is missing");
    }
    const bool sameFile = mine.readAll() == theirs.readAll();
    const bool sameRows = stagingDump(server) == stagingDump(a.dir + u'/' + run);
    result({{QStringLiteral("phase"), name},
            {QStringLiteral("seconds"), num(seconds)},
            {QStringLiteral("peak_mb"), num(peakMb())},
            {QStringLiteral("same_file"), sameFile ? QStringLiteral("yes") : QStringLiteral("NO")},
            {QStringLiteral("same_rows"), sameRows ? QStringLiteral("yes") : QStringLiteral("NO")}});
}

// The floor of a run on a copy of `from`: the run's row-by-row statements in plain SQLite,
// statementsPerTransaction to a transaction (every read of the company database its own one
// when companyReadsOwn). Its staging rows are compared with those the run left in `run`; the
// history row zips that run's file, since the floor writes none.
struct Floor {
    const char* from;
    const char* run;
    int statementsPerTransaction;
    bool companyReadsOwn;
};

void phaseFloor(const Args& a, const QString& name, const Floor& f) {
    const QString server = a.dir + u'/' + name;
    copyFolder(a.dir + u'/' + QLatin1String(f.from), server);
    pinClock();
    const QString file = exportFileName();
    QElapsedTimer t;
    t.start();
    const FloorCounts n = runFloor(server, a.dir + QStringLiteral("/out-") + QLatin1String(f.run) + u'/' + file, file,
                                   f.statementsPerTransaction, f.companyReadsOwn);
    const double seconds = t.nsecsElapsed() / 1e9;
    const bool sameRows = stagingDump(server) == stagingDump(a.dir + u'/' + QLatin1String(f.run));
    result({{QStringLiteral("phase"), name},
            {QStringLiteral("seconds"), num(seconds)},
            {QStringLiteral("peak_mb"), num(peakMb())},
            {QStringLiteral("statements"), QString::number(n.statements)},
            {QStringLiteral("commits"), QString::number(n.commits)},
            {QStringLiteral("same_rows"), sameRows ? QStringLiteral("yes") : QStringLiteral("NO")}});
}

// A copy of run A's folder in `name` with every staged record marked new again, for the export
// writer and its floor.
QString markedNew(const Args& a, const QString& name) {
    const QString server = a.dir + u'/' + name;
    copyFolder(a.dir + QStringLiteral("/runA"), server);
    Sqlite db = openSqlite(server + QStringLiteral("/Velmora.db"));
    sql(db.get(), "update Clientes set Status = 'N'; update Produtos set Status = 'N'; "
                  "update Movimentos set Status = 'N'; delete from HistFiles");
    return server;
}

// The export writer alone: every staged record of run A marked new again.
void phaseExport(const Args& a) {
    const QString server = markedNew(a, QStringLiteral("export"));
    const QString out = a.dir + QStringLiteral("/out-export");
    QDir(out).removeRecursively();
    writeSettings(a.dir + QStringLiteral("/program-export"), server, out);
    useProgramFolder(a.dir + QStringLiteral("/program-export"));
    pinClock();
    const QString name = exportFileName();
    double seconds = 0;
    double withHistory = 0;
    {
        // The writer's two halves as CriaFicheiro runs them: the file, then its zipped copy in
        // HistFiles and the status reset; an error in either ends the phase.
        auto geral = connect(server, QStringLiteral("Velmora"));
        clsVelmora run;
        QElapsedTimer t;
        t.start();
        clsVelmoraTestAccess::EscreveFicheiro(run, *geral, out + u'/' + name, name, QString::fromLatin1(kSistema));
        seconds = t.nsecsElapsed() / 1e9;
        clsVelmoraTestAccess::GuardaHistorico(run, *geral, out + u'/' + name, name, false);
        withHistory = t.nsecsElapsed() / 1e9;
        geral->Close();
    }
    const qint64 bytes = QFileInfo(out + u'/' + name).size();
    result({{QStringLiteral("phase"), QStringLiteral("export")},
            {QStringLiteral("seconds"), num(seconds)},
            {QStringLiteral("with_history"), num(withHistory)},
            {QStringLiteral("peak_mb"), num(peakMb())},
            {QStringLiteral("file_bytes"), QString::number(bytes)}});
}

// The export writer's floor on the same records, its file checked against the writer's.
void phaseExportFloor(const Args& a) {
    const QString server = markedNew(a, QStringLiteral("exportFloor"));
    const QString out = a.dir + QStringLiteral("/out-exportFloor");
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    pinClock();
    const QString name = exportFileName();
    double seconds = 0;
    std::int64_t bytes = 0;
    {
        Sqlite db = openSqlite(server + QStringLiteral("/Velmora.db"));
        QElapsedTimer t;
        t.start();
        bytes = runExportFloor(db.get(), out + u'/' + name, name);
        seconds = t.nsecsElapsed() / 1e9;
    }
    QFile mine(out + u'/' + name);
    QFile theirs(a.dir + QStringLiteral("/out-export/") + name);
    if (!mine.open(QIODevice::ReadOnly) || !theirs.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("an export file is missing");
    }
    result({{QStringLiteral("phase"), QStringLiteral("exportFloor")},
            {QStringLiteral("seconds"), num(seconds)},
            {QStringLiteral("peak_mb"), num(peakMb())},
            {QStringLiteral("file_bytes"), QString::number(bytes)},
            {QStringLiteral("same_file"), mine.readAll() == theirs.readAll() ? QStringLiteral("yes") : QStringLiteral("NO")}});
}

// A year of history: the folder after run B with one zipped copy of 2 MB kept a day, written
// directly (the zeros take the same room in the file as a zip would).
constexpr int kHistoryCopies = 365;
constexpr int kHistoryCopyBytes = 2 * 1024 * 1024;

void phaseHistory(const Args& a) {
    QElapsedTimer t;
    t.start();
    const QString server = a.dir + QStringLiteral("/history");
    copyFolder(a.dir + QStringLiteral("/changed"), server);
    {
        // Through the write-ahead log the copies would be written twice (the log, then its
        // checkpoint); a rollback journal keeps only the few pages changed in place. The
        // database goes back to the log mode the engine left it in.
        Sqlite db = openSqlite(server + QStringLiteral("/Velmora.db"));
        sql(db.get(), "PRAGMA journal_mode = DELETE");
        sql(db.get(), "PRAGMA synchronous = OFF");
        sql(db.get(), QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
                                     "insert into HistFiles (Filename, Ficheiro, Datasys) select 'BN' || i || '.MOV', "
                                     "zeroblob(%2), '2023-01-01 00:00:00.000' from n")
                          .arg(kHistoryCopies)
                          .arg(kHistoryCopyBytes));
        sql(db.get(), "PRAGMA journal_mode = WAL");
    }
    prepared(QStringLiteral("history"), t);
}

void runPhase(const Args& a) {
    if (a.phase == u"prepare") return phasePrepare(a);
    if (a.phase == u"runA") return phaseRun(a, QStringLiteral("start"), QStringLiteral("runA"));
    if (a.phase == u"mutate") return phaseMutate(a);
    if (a.phase == u"runB") return phaseRun(a, QStringLiteral("changed"), QStringLiteral("runB"));
    if (a.phase == u"baselineA") return phaseBaseline(a, QStringLiteral("start"), QStringLiteral("runA"), QStringLiteral("baseA"));
    if (a.phase == u"baselineB") return phaseBaseline(a, QStringLiteral("changed"), QStringLiteral("runB"), QStringLiteral("baseB"));
    if (a.phase == u"export") return phaseExport(a);
    if (a.phase == u"exportFloor") return phaseExportFloor(a);
    if (a.phase == u"history") return phaseHistory(a);
    if (a.phase == u"runH") return phaseRun(a, QStringLiteral("history"), QStringLiteral("runH"));
    static const QMap<QString, Floor> floors = {
        {QStringLiteral("floorA"), {"start", "runA", 1, false}},
        {QStringLiteral("floorA1"), {"start", "runA", 1000, false}},
        {QStringLiteral("floorAr"), {"start", "runA", 1000, true}},
        {QStringLiteral("floorB"), {"changed", "runB", 1, false}},
        {QStringLiteral("floorB1"), {"changed", "runB", 1000, false}},
        {QStringLiteral("floorBr"), {"changed", "runB", 1000, true}},
    };
    if (floors.contains(a.phase)) return phaseFloor(a, a.phase, floors.value(a.phase));
    throw std::runtime_error(("unknown phase " + a.phase).toStdString());
}

// --- the driver ------------------------------------------------------------------------------

QMap<QString, QString> child(const QString& dir, double scale, const QString& phase) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--phase"), phase, QStringLiteral("--dir"), dir, QStringLiteral("--scale"),
             QString::number(scale, 'g', 10)});
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fputs(p.readAllStandardOutput().constData(), stdout);
        throw std::runtime_error(("phase " + phase + " failed").toStdString());
    }
    QMap<QString, QString> r;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (!line.startsWith("RESULT")) continue;
        for (const QByteArray& kv : line.split(' ')) {
            const qsizetype eq = kv.indexOf('=');
            if (eq > 0) r.insert(QString::fromUtf8(kv.left(eq)), QString::fromUtf8(kv.mid(eq + 1)));
        }
    }
    return r;
}

// The result of a repetition of a phase, with the fastest time and the highest peak of memory
// of it and the earlier ones (every repetition does the same work on the same files).
QMap<QString, QString> keepBest(const QMap<QString, QString>& earlier, QMap<QString, QString> again) {
    for (const char* k : {"seconds", "with_history"}) {
        const QString key = QString::fromLatin1(k);
        if (earlier.contains(key)) {
            again.insert(key, QString::number(std::min(earlier.value(key).toDouble(), again.value(key).toDouble()), 'f', 3));
        }
    }
    const QString peak = QStringLiteral("peak_mb");
    again.insert(peak, QString::number(std::max(earlier.value(peak).toDouble(), again.value(peak).toDouble()), 'f', 3));
    return again;
}

// A timed phase run a.repeat times: the fastest time, the highest peak of memory, the rest of
// the last repetition.
QMap<QString, QString> best(const Args& a, const QString& dir, double scale, const QString& phase) {
    QMap<QString, QString> r = child(dir, scale, phase);
    for (int i = 1; i < a.repeat; ++i) r = keepBest(r, child(dir, scale, phase));
    return r;
}

// A run and its baseline, each a.repeat times, taking turns: this machine's speed drifts over
// minutes, and a ratio of two phases measured minutes apart drifts with it.
std::pair<QMap<QString, QString>, QMap<QString, QString>> bestPair(const Args& a, const QString& dir, double scale,
                                                                     const QString& run, const QString& baseline) {
    QMap<QString, QString> r = child(dir, scale, run);
    QMap<QString, QString> b = child(dir, scale, baseline);
    for (int i = 1; i < a.repeat; ++i) {
        r = keepBest(r, child(dir, scale, run));
        b = keepBest(b, child(dir, scale, baseline));
    }
    return {r, b};
}

int drive(const Args& a) {
    QTemporaryDir tmp;
    QString root = a.dir.isEmpty() ? tmp.path() : a.dir;
    if (a.keep || !a.dir.isEmpty()) tmp.setAutoRemove(false);
    const QString one = root + QStringLiteral("/s1");
    const QString two = root + QStringLiteral("/s2");
    // Zip files of the history copy go to a temporary folder of the benchmark's own.
    qputenv("Temp", (root + QStringLiteral("/temp")).toUtf8());
    QDir().mkpath(root + QStringLiteral("/temp"));

    std::printf("velmora benchmark: scale %g (%d customers, %d products, %d lines), best of %d, work folder %s\n",
                a.scale, Scale{a.scale}.clientes(), Scale{a.scale}.produtos(), Scale{a.scale}.linhas(), a.repeat,
                root.toUtf8().constData());
    std::fflush(stdout);
    auto line = [](const char* what, const QMap<QString, QString>& r, const char* extra = "") {
        std::printf("  %-28s %9s s  peak %8s MB%s\n", what, r.value(QStringLiteral("seconds")).toUtf8().constData(),
                    r.value(QStringLiteral("peak_mb")).toUtf8().constData(), extra);
        std::fflush(stdout);
    };

    const auto prepA = child(one, a.scale, QStringLiteral("prepare"));
    line("   preparation: the company", prepA);
    const auto [A, baseA] = bestPair(a, one, a.scale, QStringLiteral("runA"), QStringLiteral("baselineA"));
    line("A  first automatic run", A);
    line("   baseline of A (set-based)", baseA);
    // The floors: the run's own row-by-row statements in plain SQLite, every statement its own
    // transaction (once: it is slow), 1000 to a transaction on both connections, and in the
    // run's rhythm (the staging connection's statements grouped, every read of the company
    // database its own transaction). They only inform; their rows are shown, not held against
    // the run.
    struct Floors {
        QMap<QString, QString> each, grouped, rhythm;
    };
    auto floorsOf = [&](const char* run) {
        const QString name = QStringLiteral("floor") + QLatin1String(run);
        Floors f;
        f.each = child(one, a.scale, name);
        line("   row by row, plain SQLite (1 txn/statement)", f.each);
        f.grouped = best(a, one, a.scale, name + u'1');
        line("   row by row, plain SQLite (1 txn/1000 statements)", f.grouped);
        f.rhythm = best(a, one, a.scale, name + u'r');
        line("   row by row, plain SQLite (the run's rhythm)", f.rhythm);
        return f;
    };
    const Floors floorA = floorsOf("A");
    const auto prepB = child(one, a.scale, QStringLiteral("mutate"));
    line("   preparation: 1% changes", prepB);
    const auto [B, baseB] = bestPair(a, one, a.scale, QStringLiteral("runB"), QStringLiteral("baselineB"));
    line("B  run after 1% changes", B);
    line("   baseline of B (set-based)", baseB);
    const Floors floorB = floorsOf("B");
    const auto [C, floorC] = bestPair(a, one, a.scale, QStringLiteral("export"), QStringLiteral("exportFloor"));
    line("C  export writer alone", C);
    line("   plain SQLite, snprintf, stdio", floorC);
    const auto prepH = child(one, a.scale, QStringLiteral("history"));
    line("   preparation: history copies", prepH);
    const auto H = best(a, one, a.scale, QStringLiteral("runH"));
    line("B again, a year of history kept", H);
    const auto prep2 = child(two, a.scale * 2, QStringLiteral("prepare"));
    line("   preparation: the company at 2S", prep2);
    // In turns with its floor: SQLite's own work per row grows with the tables, and the run's
    // growth only means something beside that.
    const auto [A2, floor2] = bestPair(a, two, a.scale * 2, QStringLiteral("runA"), QStringLiteral("floorAr"));
    line("A at twice the scale", A2);
    line("   row by row, plain SQLite (the run's rhythm)", floor2);

    auto d = [](const QMap<QString, QString>& r, const char* k) { return r.value(QString::fromLatin1(k)).toDouble(); };
    const double fileMb = d(A, "file_bytes") / 1e6;
    const double memLimit = 2 * d(A, "file_bytes") / 1048576.0 + 150;
    const bool checked = baseA.value(QStringLiteral("same_file")) == u"yes" &&
                         baseA.value(QStringLiteral("same_rows")) == u"yes" &&
                         baseB.value(QStringLiteral("same_file")) == u"yes" &&
                         baseB.value(QStringLiteral("same_rows")) == u"yes";
    const bool sameExport = floorC.value(QStringLiteral("same_file")) == u"yes";
    std::printf("\nfigures (goal in brackets)\n");
    std::printf("  A / floor, the run's rhythm  %8.2f   [<= 1.3]\n", d(A, "seconds") / d(floorA.rhythm, "seconds"));
    std::printf("  B / floor, the run's rhythm  %8.2f   [<= 1.3]\n", d(B, "seconds") / d(floorB.rhythm, "seconds"));
    std::printf("  A / baseline                 %8.2f   (reported)\n", d(A, "seconds") / d(baseA, "seconds"));
    std::printf("  B / baseline                 %8.2f   (reported)\n", d(B, "seconds") / d(baseB, "seconds"));
    std::printf("  A at 2S / A at S             %8.2f   [<= 2.1]\n", d(A2, "seconds") / d(A, "seconds"));
    std::printf("  floor at 2S / floor at S     %8.2f   (reported: plain SQLite's own growth, the run's rhythm)\n",
                d(floor2, "seconds") / d(floorA.rhythm, "seconds"));
    std::printf("  C / floor, export writer     %8.2f   [<= 1.3]\n", d(C, "seconds") / d(floorC, "seconds"));
    std::printf("  C export writer              %8.1f MB/s  (%.1f MB in %.3f s; its floor %.1f MB/s)\n",
                d(C, "file_bytes") / 1e6 / d(C, "seconds"), d(C, "file_bytes") / 1e6, d(C, "seconds"),
                d(floorC, "file_bytes") / 1e6 / d(floorC, "seconds"));
    std::printf("  C with history copy and reset%8.1f MB/s  (%.3f s)\n", d(C, "file_bytes") / 1e6 / d(C, "with_history"),
                d(C, "with_history"));
    std::printf("  peak memory of A             %8.1f MB   [< %.1f = 2 x %.1f MB file + 150]\n", d(A, "peak_mb"),
                memLimit, d(A, "file_bytes") / 1048576.0);
    std::printf("  peak memory, %d history copies %6.1f MB   [< %.1f = 2 x %.1f MB file + 150] (%d x %d MB kept)\n",
                kHistoryCopies, d(H, "peak_mb"), 2 * d(H, "file_bytes") / 1048576.0 + 150, d(H, "file_bytes") / 1048576.0,
                kHistoryCopies, kHistoryCopyBytes / (1024 * 1024));
    std::printf("  statements per second, A     %8.0f   (%s statements)\n", d(A, "statements") / d(A, "seconds"),
                A.value(QStringLiteral("statements")).toUtf8().constData());
    std::printf("  statements per second, B     %8.0f   (%s statements)\n", d(B, "statements") / d(B, "seconds"),
                B.value(QStringLiteral("statements")).toUtf8().constData());
    std::printf("  export file of A             %8.1f MB\n", fileMb);
    auto floors = [&](const char* run, const QMap<QString, QString>& r, const QMap<QString, QString>& base,
                      const Floors& fl) {
        const auto& f = fl.each;
        const auto& f1 = fl.grouped;
        const auto& fr = fl.rhythm;
        std::printf("  floor of %s / baseline        %8.2f   (1 txn/1000 statements: %.2f; the run's rhythm: %.2f)\n", run,
                    d(f, "seconds") / d(base, "seconds"), d(f1, "seconds") / d(base, "seconds"),
                    d(fr, "seconds") / d(base, "seconds"));
        std::printf("  %s / floor                    %8.2f   (1 txn/1000 statements: %.2f; the run's rhythm: %.2f)\n", run,
                    d(r, "seconds") / d(f, "seconds"), d(r, "seconds") / d(f1, "seconds"), d(r, "seconds") / d(fr, "seconds"));
        std::printf("  statements per second, floor %8.0f   (%s statements, %s commits; 1 txn/1000: %.0f, %s commits)\n",
                    d(f, "statements") / d(f, "seconds"), f.value(QStringLiteral("statements")).toUtf8().constData(),
                    f.value(QStringLiteral("commits")).toUtf8().constData(), d(f1, "statements") / d(f1, "seconds"),
                    f1.value(QStringLiteral("commits")).toUtf8().constData());
        const bool same = f.value(QStringLiteral("same_rows")) == u"yes" && f1.value(QStringLiteral("same_rows")) == u"yes" &&
                          fr.value(QStringLiteral("same_rows")) == u"yes";
        std::printf("  floor check of %s (rows)      %s\n", run, same ? "identical" : "DIFFERENT (not counted in the exit code)");
    };
    floors("A", A, baseA, floorA);
    floors("B", B, baseB, floorB);
    std::printf("  preparation / its run        %8.2f   [<= 1 each] (company / A %.2f; 1%% changes / B %.2f; history / "
                "B again %.2f; company at 2S / A at 2S %.2f)\n",
                std::max({d(prepA, "seconds") / d(A, "seconds"), d(prepB, "seconds") / d(B, "seconds"),
                          d(prepH, "seconds") / d(H, "seconds"), d(prep2, "seconds") / d(A2, "seconds")}),
                d(prepA, "seconds") / d(A, "seconds"), d(prepB, "seconds") / d(B, "seconds"),
                d(prepH, "seconds") / d(H, "seconds"), d(prep2, "seconds") / d(A2, "seconds"));
    std::printf("  baseline check (rows, file)  %s\n", checked ? "identical" : "DIFFERENT");
    std::printf("  export floor check (file)    %s\n", sameExport ? "identical" : "DIFFERENT");
    if (!a.keep && a.dir.isEmpty()) QDir(root).removeRecursively();
    return checked && sameExport ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Private per-user folders, so the regional settings and the per-user store of whoever runs
    // the benchmark are never read or changed; a fixed locale for repeatable texts.
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    const QByteArray root = home.path().toLocal8Bit();
    setenv("HOME", root.constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-bench"));
    try {
        const Args a = parse(QCoreApplication::arguments());
        if (!a.phase.isEmpty()) {
            runPhase(a);
            return 0;
        }
        return drive(a);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora_bench: %s\n", e.what());
        return 1;
    }
}
