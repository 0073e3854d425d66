// A run killed outright (SIGKILL) at each of its step boundaries, then the program started
// again. What must hold after every kill: no half-written export file under a final name (the
// previous whole file, or none); no history copy of a file that was not whole; the staging rows
// and the whole export files together carry every change of the company exactly once, or at
// least once where the killed run had written its file but not yet reset the letters (the
// next file then repeats them); P12 tells an unfinished run; the log shows the killed run's
// steps up to the kill and no end row for it.
//
// The killed run lives in a child process (a death test in the "threadsafe" style re-runs this
// binary); the child adopts the world that the parent built, in folders named by
// VELMORA_CRASH_WORLD, and arms the crash point only inside itself. The parent then starts the
// next run as a new program would and checks.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "crash_support.h"
#include "extractor/PeriodoAutomatico.h"
#include "platform/clock.h"
#include "platform/crashpoint.h"
#include "support/company_db.h"

namespace {

using crashsupport::Change;
using Rows = std::vector<std::pair<QString, QString>>;

const char* const kWorldVar = "VELMORA_CRASH_WORLD";
const QDateTime kBaseline(QDate(2017, 3, 7), QTime(9, 0, 0), Qt::UTC);
const QDateTime kKilledRun(QDate(2017, 3, 7), QTime(14, 5, 9), Qt::UTC);
const QDateTime kSameDay(QDate(2017, 3, 7), QTime(14, 30, 0), Qt::UTC);
const QDateTime kNextDay(QDate(2017, 3, 8), QTime(9, 0, 0), Qt::UTC);
const QString kFileOfTheDay = QStringLiteral("NRT170307.MOV");
const QString kFileOfNextDay = QStringLiteral("NRT170308.MOV");
const QString kMailTo = QStringLiteral("centro@norta.pt");

// What the company changes after the first run: a new customer, product and sales line, a
// product whose description changed, and a sales line gone from the company.
const std::vector<Change> kChanges = {
    {'C', "C3", 'N'}, {'L', "V2", 'E'}, {'L', "V3", 'N'}, {'P', "P1", 'A'}, {'P', "P3", 'N'}};

// A company, its staging database after one complete automatic run, and then the changes
// above waiting for the next run. Built by the parent only.
struct World {
    QTemporaryDir exportDir;
    QTemporaryDir tempDir;
    testsupport::RunDatabases db;
    QByteArray firstFile;
    std::size_t firstLogRows = 0;

    explicit World(QDateTime& clock) {
        qputenv("Temp", tempDir.path().toLocal8Bit());
        auto& p = db.program;
        p.set("Extractor", "P3", exportDir.path());
        p.set("Extractor", "P15", "NRT");
        p.set("Extractor", "P8", "SISTEMA NORTA");
        p.set("Extractor", "P7", "3");
        p.set("Email", "Server", "smtp.norta.pt");
        p.set("Email", "To", kMailTo);
        p.set("Email", "From", "extractor@norta.pt");

        auto& c = db.company;
        c.addProduto({.codigo = "P1", .descricao = "Café", .unidadeVenda = "KG"});
        c.addProduto({.codigo = "P2", .descricao = "Chá", .unidadeVenda = "CX"});
        c.addPostal("1000-001", "LISBOA");
        c.addCliente({.codigo = "C1", .descricao = "Ana", .codPost = "1000-001"});
        c.addCliente({.codigo = "C2", .descricao = "Rui", .codPost = "1000-001"});
        c.addTipoMov("FT", "D");
        c.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01",
                    .vendedor = "V1"});
        c.addLinha({.identifica = "L2", .codigo = "P2", .terceiro = "C2", .tipo = "FT", .data = "2017-03-02",
                    .vendedor = "V2"});
        db.addLigaProduto({});
        db.addLigaCliente({});
        db.addLigaMovimento({.mascara = "V", .tipo = "FT"});

        clock = kBaseline;
        const QStringList failures = crashsupport::freshRun(folder(), false);
        EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
        firstFile = crashsupport::readAll(exportDir.path() + u'/' + kFileOfTheDay);
        EXPECT_EQ(crashsupport::changesIn(firstFile).size(), 6u);
        firstLogRows = db.staging("select NumRegisto from LogGeral").size();

        c.addProduto({.codigo = "P3", .descricao = "Açúcar", .unidadeVenda = "KG"});
        c.addCliente({.codigo = "C3", .descricao = "Eva", .codPost = "1000-001"});
        c.addLinha({.identifica = "L3", .codigo = "P3", .terceiro = "C3", .tipo = "FT", .data = "2017-03-07",
                    .vendedor = "V3"});
        c.setCampo("Produtos", "P1", "Descricao", "Café Torrado");
        c.removeLinha("L2");
    }

    QString folder() const { return db.program.folder(); }
    QString exportPath(const QString& name) const { return exportDir.path() + u'/' + name; }
    QString p12() const { return LerIni("Extractor", "P12"); }

    // Every file of the export folder by name.
    std::map<QString, QByteArray> exportFolder() const {
        std::map<QString, QByteArray> out;
        for (const QString& name : QDir(exportDir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            out[name] = crashsupport::readAll(exportPath(name));
        }
        return out;
    }

    // The export files kept in HistFiles, unzipped, in the order they were added.
    std::vector<std::pair<QString, QByteArray>> historyCopies() const {
        std::vector<std::pair<QString, QByteArray>> out;
        for (const auto& r : db.staging("select Filename, Ficheiro from HistFiles order by NumRegisto")) {
            out.emplace_back(r[0].toString(), crashsupport::unzipEntry(r[1].toBytes(), r[0].toString()));
        }
        return out;
    }

    // Log rows written after the first run.
    Rows logSinceFirstRun() const {
        Rows out;
        const auto rows = db.staging("select Opcao, Texto from LogGeral order by NumRegisto");
        for (std::size_t i = firstLogRows; i < rows.size(); ++i) {
            out.emplace_back(rows[i][0].toString(), rows[i][1].isNull() ? QString() : rows[i][1].toString());
        }
        return out;
    }

    // Table, code and letter of every staged row with a letter.
    std::vector<Change> stagedLetters() const {
        std::vector<Change> out;
        for (const auto& r : db.staging("select 'C', Codigo, Status from Clientes where isnull(Status,'')<>'' "
                                        "union all select 'P', Codigo, Status from Produtos where "
                                        "isnull(Status,'')<>'' union all select 'L', CodigoVendedor, Status from "
                                        "Movimentos where isnull(Status,'')<>''")) {
            out.push_back({r[0].toString().toLatin1().at(0), r[1].toString(), r[2].toString().toLatin1().at(0)});
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    // Staged sales lines whose customer or product is not staged.
    std::vector<QString> orphanLines() const {
        std::vector<QString> out;
        for (const auto& r : db.staging("select Chave from Movimentos m where not exists (select 1 from Clientes c "
                                        "where c.Codigo=m.CodigoCliente) or not exists (select 1 from Produtos p "
                                        "where p.Codigo=m.CodigoProduto)")) {
            out.push_back(r[0].toString());
        }
        return out;
    }
};

// How often each change reached a whole export file after the first run: the history copies
// after the first one, and the files of the export folder that no history copy holds (a file
// written by a run killed before its history row).
std::map<Change, int> deliveredChanges(const World& w, std::vector<std::string>& problems) {
    std::map<Change, int> count;
    std::vector<QByteArray> files;
    const auto history = w.historyCopies();
    for (std::size_t i = 0; i < history.size(); ++i) {
        const QString why = crashsupport::wholeFileProblem(history[i].second);
        if (!why.isEmpty()) problems.push_back("history copy " + history[i].first.toStdString() + ": " + why.toStdString());
        if (i > 0) files.push_back(history[i].second);
    }
    for (const auto& [name, bytes] : w.exportFolder()) {
        const QString why = crashsupport::wholeFileProblem(bytes);
        if (!why.isEmpty()) problems.push_back("export folder " + name.toStdString() + ": " + why.toStdString());
        const bool kept = std::any_of(history.begin(), history.end(), [&](const auto& h) { return h.second == bytes; });
        if (!kept) files.push_back(bytes);
    }
    for (const QByteArray& f : files) {
        for (const Change& c : crashsupport::changesIn(f)) ++count[c];
    }
    return count;
}

std::string describe(const std::map<Change, int>& m) {
    std::string s;
    for (const auto& [c, n] : m) s += crashsupport::describe(c) + " x" + std::to_string(n) + "  ";
    return s;
}

enum class Times { Once, AtLeastOnce };

void expectEveryChangeDelivered(const World& w, Times times) {
    std::vector<std::string> problems;
    const auto delivered = deliveredChanges(w, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::vector<Change> distinct;
    for (const auto& [c, n] : delivered) {
        distinct.push_back(c);
        if (times == Times::Once) {
            EXPECT_EQ(n, 1) << crashsupport::describe(c);
        }
    }
    EXPECT_EQ(distinct, kChanges) << describe(delivered);
}

// The log rows of one automatic run, the first `steps` of them for a run that did not end.
Rows automaticRows(const World& w, const QString& dataFim, const QString& file, std::size_t steps = 7) {
    Rows all = {{"Início do processamento automático...", dataFim},
                {"Processando produtos...", ""},
                {"Processando clientes...", ""},
                {"Processando movimentos...", ""},
                {"Criando ficheiro...", w.exportPath(file)},
                {"Enviando ficheiro...", kMailTo},
                {"Fim do processamento automático.", dataFim}};
    all.resize(steps);
    return all;
}

Rows operator+(Rows a, const Rows& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Staging after a complete run over the changes: every letter empty, the gone line deleted.
void expectStagingSettled(const World& w) {
    EXPECT_TRUE(w.stagedLetters().empty());
    std::vector<QString> chaves;
    for (const auto& r : w.db.staging("select Chave from Movimentos order by Chave")) chaves.push_back(r[0].toString());
    EXPECT_EQ(chaves, (std::vector<QString>{"L1", "L3"}));
    EXPECT_EQ(w.db.stagingScalar("select count(*) from Clientes").toInt32(), 3);
    EXPECT_EQ(w.db.stagingScalar("select Descricao from Produtos where Codigo='P3'").toString(), QStringLiteral("Açúcar"));
    EXPECT_TRUE(w.orphanLines().empty());
}

class CrashRecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        style_ = GTEST_FLAG_GET(death_test_style);
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        clock_ = kKilledRun;
        platform::setClock([this] { return clock_; });
        child_ = !qgetenv(kWorldVar).isEmpty();
    }
    void TearDown() override {
        platform::setClock({});
        qunsetenv("Temp");
        // The other death tests of this program keep their own style.
        GTEST_FLAG_SET(death_test_style, style_);
    }
    std::string style_;

    // A new world in the parent; none in the child, which adopts the parent's.
    std::unique_ptr<World> world() {
        if (child_) return nullptr;
        auto w = std::make_unique<World>(clock_);
        clock_ = kKilledRun;
        return w;
    }

    // Runs the next run in a child process armed to die at `point`, and expects it killed.
    void killAt(const World* w, const char* point, bool manual) {
        QString folder;
        if (w != nullptr) {
            folder = w->folder();
            qputenv(kWorldVar, folder.toLocal8Bit());
        } else {
            folder = QString::fromLocal8Bit(qgetenv(kWorldVar));
        }
        EXPECT_EXIT(killedRun(folder, point, manual), ::testing::KilledBySignal(SIGKILL), "") << point;
        if (w != nullptr) {
            qunsetenv(kWorldVar);
            removeChildHomes(folder);
        }
    }

    static void killedRun(const QString& folder, const char* point, bool manual) {
        setenv("VELMORA_CRASH_AT", point, 1);
        // The child's private home folder outlives it; the parent removes it.
        QFile homes(folder + QStringLiteral("/child-homes.txt"));
        if (homes.open(QIODevice::Append)) homes.write(qgetenv("HOME") + '\n');
        homes.close();
        crashsupport::freshRun(folder, manual, QStringLiteral("2017-03-01"), QStringLiteral("2017-03-07"));
    }

    static void removeChildHomes(const QString& folder) {
        const QString own = QString::fromLocal8Bit(qgetenv("HOME"));
        const QString notes = folder + QStringLiteral("/child-homes.txt");
        for (const QByteArray& line : crashsupport::readAll(notes).split('\n')) {
            const QString home = QString::fromLocal8Bit(line);
            if (!home.isEmpty() && home != own && home.startsWith(QDir::tempPath() + u'/')) QDir(home).removeRecursively();
        }
        QFile::remove(notes);
    }

    // The restart: a new program's run at `when`.
    void restart(const World& w, const QDateTime& when) {
        clock_ = when;
        const QStringList failures = crashsupport::freshRun(w.folder(), false);
        EXPECT_TRUE(failures.isEmpty()) << failures.join('|').toStdString();
    }

    QDateTime clock_;
    bool child_ = false;
};

// A death test's child removes its own private home folder first: it ends without cleaning up.
void dropOwnHome() {
    const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
    if (home.startsWith(QDir::tempPath() + u'/')) QDir(home).removeRecursively();
}

TEST(CrashPointTest, EndsTheProcessOnlyAtTheArmedPointAndReadsTheVariableOnce) {
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            dropOwnHome();
            setenv("VELMORA_CRASH_AT", "ficheiro.escrita", 1);
            platform::crashPoint("ficheiro");
            platform::crashPoint("ficheiro.escrita.");
            platform::crashPoint("");
            platform::crashPoint(nullptr);
            platform::crashPoint("ficheiro.escrita");
            std::_Exit(3);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    // The variable is read at the first point reached and kept: a later change is not seen.
    EXPECT_EXIT(
        {
            dropOwnHome();
            setenv("VELMORA_CRASH_AT", "um", 1);
            platform::crashPoint("dois");
            setenv("VELMORA_CRASH_AT", "dois", 1);
            platform::crashPoint("dois");
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EXIT(
        {
            dropOwnHome();
            unsetenv("VELMORA_CRASH_AT");
            platform::crashPoint("um");
            setenv("VELMORA_CRASH_AT", "um", 1);
            platform::crashPoint("um");
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(3), "");
    // Unarmed (as in every other test of this program), a point is nothing.
    platform::crashPoint("ficheiro.escrita");
    GTEST_FLAG_SET(death_test_style, style);
}

// Killed before the new file is whole: after the P11/P12 writes, after the imports, after the
// deletions of inactive records, and between writing the temporary file and renaming it.
TEST_F(CrashRecoveryTest, AKillBeforeTheFileIsWholeLeavesThePreviousFileAndTheNextRunSendsEverythingOnce) {
    const std::vector<std::pair<const char*, std::size_t>> points = {
        {"processa.em-curso", 0}, {"processa.importacoes", 4}, {"processa.acerto", 4}, {"ficheiro.escrita", 5}};
    for (const auto& [point, stepsLogged] : points) {
        SCOPED_TRACE(point);
        const std::unique_ptr<World> w = world();
        killAt(w.get(), point, false);
        if (!w) continue;

        // The previous file untouched under its name, nothing else in the folder.
        const auto folder = w->exportFolder();
        QStringList names;
        for (const auto& f : folder) names << f.first;
        ASSERT_EQ(folder.size(), 1u) << names.join(' ').toStdString();
        EXPECT_EQ(folder.begin()->first, kFileOfTheDay);
        EXPECT_EQ(folder.begin()->second, w->firstFile);
        EXPECT_EQ(w->historyCopies().size(), 1u);
        EXPECT_EQ(w->p12(), QStringLiteral("Em Curso"));
        EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-03-07 14:05:09"));
        if (stepsLogged > 0) {
            EXPECT_EQ(w->stagedLetters(), kChanges) << "the imports stay staged with their letters";
        } else {
            EXPECT_TRUE(w->stagedLetters().empty());
        }

        restart(*w, kSameDay);
        expectEveryChangeDelivered(*w, Times::Once);
        const QByteArray file = crashsupport::readAll(w->exportPath(kFileOfTheDay));
        EXPECT_EQ(w->historyCopies().back().second, file);
        expectStagingSettled(*w);
        EXPECT_EQ(w->p12(), QStringLiteral("Concluído"));
        EXPECT_EQ(w->logSinceFirstRun(), automaticRows(*w, "2017-03-07", kFileOfTheDay, stepsLogged) +
                                             automaticRows(*w, "2017-03-07", kFileOfTheDay));
        EXPECT_EQ(crashsupport::NotingMail::calls(w->folder()),
                  (QStringList{kFileOfTheDay + "\twhole", kFileOfTheDay + "\twhole"}));
    }
}

// Killed when the whole file has its temporary name but not yet its own (on a share whose files
// are named from the start, a kill anywhere in the file leaves the same): the leftover waits
// beside the previous file, and the next run removes it, and nothing else of the folder.
TEST_F(CrashRecoveryTest, AWriterKilledBeforeItsFileHasItsNameLeavesALeftoverTheNextRunRemoves) {
    // Files of other programs, with names close to the leftovers'.
    static constexpr const char* kOutros[] = {"NRT170307.MOV.backup", "notas.incompleto-abc", "notas.txt"};
    const std::unique_ptr<World> w = world();
    if (w) {
        for (const char* outro : kOutros) {
            QFile f(w->exportPath(QString::fromLatin1(outro)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
    }
    killAt(w.get(), "ficheiro.nomeado", false);
    if (!w) return;
    QStringList restos;
    for (const auto& [name, bytes] : w->exportFolder()) {
        if (name.startsWith(kFileOfTheDay + QStringLiteral(".incompleto-"))) {
            restos << name;
            EXPECT_EQ(crashsupport::wholeFileProblem(bytes), QString()) << "the leftover holds the whole new file";
        }
    }
    ASSERT_EQ(restos.size(), 1) << "a leftover of the killed writer";
    EXPECT_EQ(restos[0].size(), kFileOfTheDay.size() + 18);
    EXPECT_EQ(crashsupport::readAll(w->exportPath(kFileOfTheDay)), w->firstFile);

    restart(*w, kSameDay);
    QStringList names;
    for (const auto& [name, bytes] : w->exportFolder()) names << name;
    EXPECT_EQ(names, (QStringList{"NRT170307.MOV", "NRT170307.MOV.backup", "notas.incompleto-abc", "notas.txt"}));
    for (const char* outro : kOutros) QFile::remove(w->exportPath(QString::fromLatin1(outro)));
    expectEveryChangeDelivered(*w, Times::Once);
}

// Killed once the file is whole but before its letters are reset for good: before the zip,
// after the zip, after the history row, and between (or right after) the reset statements.
// The next run, a day later, carries the records of both runs.
TEST_F(CrashRecoveryTest, AKillAfterTheFileBeforeTheResetKeepsEveryLetterForTheNextFile) {
    const std::vector<std::pair<const char*, bool>> points = {
        {"historico.inicio", false},       {"historico.zip-feito", false}, {"historico.linha-gravada", true},
        {"historico.reset-1", true},       {"historico.reset-2", true},    {"historico.reset-3", true},
        {"historico.reset-feito", true}};
    for (const auto& [point, historyRow] : points) {
        SCOPED_TRACE(point);
        const std::unique_ptr<World> w = world();
        killAt(w.get(), point, false);
        if (!w) continue;

        // The killed run's file is whole and holds every change; a history copy only of it.
        const QByteArray killedFile = crashsupport::readAll(w->exportPath(kFileOfTheDay));
        EXPECT_EQ(crashsupport::wholeFileProblem(killedFile), QString());
        std::vector<Change> inFile = crashsupport::changesIn(killedFile);
        std::sort(inFile.begin(), inFile.end());
        EXPECT_EQ(inFile, kChanges);
        EXPECT_EQ(w->exportFolder().size(), 1u);
        const auto history = w->historyCopies();
        ASSERT_EQ(history.size(), historyRow ? 2u : 1u);
        if (historyRow) {
            EXPECT_EQ(history.back().second, killedFile);
        }
        // Not a letter is lost, and the run is not taken for finished.
        EXPECT_EQ(w->stagedLetters(), kChanges);
        EXPECT_EQ(w->p12(), QStringLiteral("Em Curso"));
        EXPECT_EQ(crashsupport::NotingMail::calls(w->folder()).size(), 1) << "only the first run mailed";

        restart(*w, kNextDay);
        const QByteArray nextFile = crashsupport::readAll(w->exportPath(kFileOfNextDay));
        std::vector<Change> inNext = crashsupport::changesIn(nextFile);
        std::sort(inNext.begin(), inNext.end());
        EXPECT_EQ(inNext, kChanges) << "the next file repeats the killed run's records";
        EXPECT_EQ(crashsupport::readAll(w->exportPath(kFileOfTheDay)), killedFile);
        expectEveryChangeDelivered(*w, Times::AtLeastOnce);
        expectStagingSettled(*w);
        EXPECT_EQ(w->p12(), QStringLiteral("Concluído"));
        EXPECT_EQ(w->logSinceFirstRun(), automaticRows(*w, "2017-03-07", kFileOfTheDay, 5) +
                                             automaticRows(*w, "2017-03-08", kFileOfNextDay));
        EXPECT_EQ(crashsupport::NotingMail::calls(w->folder()).last(), kFileOfNextDay + "\twhole");
    }
}

// Killed after the export writer finished (letters reset, "Concluído"): before the mail and
// after it. Nothing is sent twice.
TEST_F(CrashRecoveryTest, AKillAfterTheResetSendsNothingTwice) {
    const std::vector<std::pair<const char*, std::size_t>> points = {{"processa.ficheiro-criado", 5},
                                                                     {"processa.mail-enviado", 6}};
    for (const auto& [point, stepsLogged] : points) {
        SCOPED_TRACE(point);
        const std::unique_ptr<World> w = world();
        killAt(w.get(), point, false);
        if (!w) continue;

        const auto history = w->historyCopies();
        ASSERT_EQ(history.size(), 2u);
        EXPECT_EQ(history.back().second, crashsupport::readAll(w->exportPath(kFileOfTheDay)));
        EXPECT_TRUE(w->stagedLetters().empty());
        EXPECT_EQ(w->p12(), QStringLiteral("Concluído"));
        const QStringList mailed = crashsupport::NotingMail::calls(w->folder());
        EXPECT_EQ(mailed.size(), stepsLogged == 6 ? 2 : 1);
        EXPECT_EQ(mailed.last(), kFileOfTheDay + "\twhole");

        restart(*w, kSameDay);
        expectEveryChangeDelivered(*w, Times::Once);
        EXPECT_TRUE(crashsupport::changesIn(crashsupport::readAll(w->exportPath(kFileOfTheDay))).empty());
        expectStagingSettled(*w);
        EXPECT_EQ(w->p12(), QStringLiteral("Concluído"));
        EXPECT_EQ(w->logSinceFirstRun(), automaticRows(*w, "2017-03-07", kFileOfTheDay, stepsLogged) +
                                             automaticRows(*w, "2017-03-07", kFileOfTheDay));
    }
}

// A manual run killed in the middle of its reset, after it deleted the new products but
// before it deleted the new sales line that refers to one of them. The next automatic run must
// still send the new customer, product and line together, as new.
TEST_F(CrashRecoveryTest, AManualRunKilledInItsResetLeavesNoSalesLineWithoutItsProduct) {
    const std::unique_ptr<World> w = world();
    killAt(w.get(), "historico.reset-manual", true);
    if (!w) return;

    const QByteArray manualFile = crashsupport::readAll(w->exportPath(kFileOfTheDay));
    EXPECT_EQ(crashsupport::wholeFileProblem(manualFile), QString());
    EXPECT_EQ(w->stagedLetters(), crashsupport::sorted(crashsupport::changesIn(manualFile)))
        << "every letter as the manual file found it";
    EXPECT_TRUE(w->orphanLines().empty());
    EXPECT_EQ(w->p12(), QStringLiteral("Concluído")) << "a manual run leaves P12 as it was";

    restart(*w, kSameDay);
    std::vector<Change> next = crashsupport::changesIn(crashsupport::readAll(w->exportPath(kFileOfTheDay)));
    for (const Change& c : {Change{'C', "C3", 'N'}, Change{'P', "P3", 'N'}, Change{'L', "V3", 'N'}}) {
        EXPECT_NE(std::find(next.begin(), next.end(), c), next.end()) << crashsupport::describe(c);
    }
    std::vector<std::string> problems;
    const auto delivered = deliveredChanges(*w, problems);
    EXPECT_TRUE(problems.empty());
    for (const Change& c : kChanges) EXPECT_GE(delivered.count(c), 1u) << crashsupport::describe(c);
    EXPECT_TRUE(w->stagedLetters().empty());
    EXPECT_TRUE(w->orphanLines().empty());
}

// The same half reset made by an error instead of a kill: the staging database refuses to
// delete the new customer, after the new products are already deleted. The whole reset is
// undone, the failure is reported as the export writer's, the run still mails and ends, and
// the next automatic run sends the new records together.
TEST_F(CrashRecoveryTest, AnErrorInTheMiddleOfTheResetUndoesAllOfIt) {
    if (child_) return;
    World w(clock_);
    clock_ = kKilledRun;
    const auto sqlite = [&](const QString& sql) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {w.db.server.databaseFile(QStringLiteral("Velmora")), sql});
        return p.waitForFinished() && p.exitCode() == 0;
    };
    ASSERT_TRUE(sqlite("create trigger recusa before delete on Clientes when old.Status='N' "
                       "begin select raise(abort, 'recusado'); end;"));

    EXPECT_EQ(crashsupport::freshRun(w.folder(), true, "2017-03-01", "2017-03-07"), QStringList{"Falha no Processo"});
    const QByteArray manualFile = crashsupport::readAll(w.exportPath(kFileOfTheDay));
    EXPECT_EQ(crashsupport::wholeFileProblem(manualFile), QString());
    EXPECT_EQ(w.stagedLetters(), crashsupport::sorted(crashsupport::changesIn(manualFile)));
    EXPECT_EQ(w.db.stagingScalar("select count(*) from Produtos where Codigo='P3'").toInt32(), 1);
    EXPECT_TRUE(w.orphanLines().empty());
    const Rows log = w.logSinceFirstRun();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[5].first, QStringLiteral("Função Cria Ficheiro"));
    EXPECT_TRUE(log[5].second.contains(QStringLiteral("recusado"))) << log[5].second.toStdString();
    EXPECT_EQ(log[6].first, QStringLiteral("Enviando ficheiro..."));
    EXPECT_EQ(log[7].first, QStringLiteral("Fim do processamento manual."));

    ASSERT_TRUE(sqlite("drop trigger recusa;"));
    restart(w, kSameDay);
    const std::vector<Change> next = crashsupport::changesIn(crashsupport::readAll(w.exportPath(kFileOfTheDay)));
    for (const Change& c : {Change{'C', "C3", 'N'}, Change{'P', "P3", 'N'}, Change{'L', "V3", 'N'}}) {
        EXPECT_NE(std::find(next.begin(), next.end(), c), next.end()) << crashsupport::describe(c);
    }
    EXPECT_TRUE(w.stagedLetters().empty());
    EXPECT_TRUE(w.orphanLines().empty());
}

// ---- the period after a run that did not finish its sales lines --------------------------

const QDateTime kDayTwo(QDate(2017, 3, 8), QTime(14, 5, 9), Qt::UTC);
const QDateTime kDayThree(QDate(2017, 3, 9), QTime(9, 0, 0), Qt::UTC);

// Every change in `expected` reached exactly one whole export file, and nothing else did.
void expectDeliveredOnce(const World& w, const std::vector<Change>& expected) {
    std::vector<std::string> problems;
    const auto delivered = deliveredChanges(w, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    std::vector<Change> distinct;
    int repeated = 0;
    for (const auto& [c, n] : delivered) {
        distinct.push_back(c);
        if (n != 1) ++repeated;
    }
    EXPECT_EQ(repeated, 0) << describe(delivered);
    EXPECT_EQ(distinct, crashsupport::sorted(expected)) << describe(delivered);
}

// The sales lines of the day after the killed or failed run: a line of day three.
void addDayThreeLine(World& w) {
    w.db.company.addLinha({.identifica = "L4", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-09",
                           .vendedor = "V4"});
}

std::vector<Change> changesWithDayThree() {
    std::vector<Change> out = kChanges;
    out.push_back({'L', "V4", 'N'});
    return out;
}

// The sales-line import of day two stops through its trap on one line (the staging database
// refuses it), the run still ends "Concluído"; the line put right, day three's run takes every
// line of both days, those already staged once.
TEST_F(CrashRecoveryTest, ASalesLineImportStoppedByItsTrapLeavesItsDaysForTheNextRun) {
    if (child_) return;
    World w(clock_);
    const auto sqlite = [&](const QString& sql) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {w.db.server.databaseFile(QStringLiteral("Velmora")), sql});
        return p.waitForFinished() && p.exitCode() == 0;
    };
    EXPECT_EQ(LerIni("Extractor", kInicioMovimentos), QStringLiteral("2017-03-07 09:00:00"));
    ASSERT_TRUE(sqlite("create trigger recusa before insert on Movimentos when new.Chave='L3' "
                       "begin select raise(abort, 'recusado'); end;"));

    clock_ = kDayTwo;
    EXPECT_EQ(crashsupport::freshRun(w.folder(), false), QStringList{"Falha no Processo"});
    EXPECT_EQ(w.p12(), QStringLiteral("Concluído"));
    EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-03-08 14:05:09")) << "the same-minute guard";
    EXPECT_EQ(LerIni("Extractor", kInicioMovimentos), QStringLiteral("2017-03-07 09:00:00"));
    EXPECT_EQ(w.db.stagingScalar("select count(*) from Movimentos where Chave='L3'").toInt32(), 0);

    ASSERT_TRUE(sqlite("drop trigger recusa;"));
    addDayThreeLine(w);
    restart(w, kDayThree);
    EXPECT_EQ(inicioDoPeriodoAutomatico(kDayThree.date()), QStringLiteral("2017-03-09"));
    expectDeliveredOnce(w, changesWithDayThree());
    EXPECT_TRUE(w.stagedLetters().empty());
    EXPECT_TRUE(w.orphanLines().empty());
    EXPECT_EQ(w.p12(), QStringLiteral("Concluído"));
}

// A run of day two killed at each of its steps, inside each import as well, and the program
// started again on day three: every change of both days reaches exactly one whole file.
// (A kill after the file is whole but before its letters are reset repeats them in the next
// file by design; those points have their own test above.)
TEST_F(CrashRecoveryTest, ARunKilledAtAnyStepLosesNoDayAndSendsNothingTwice) {
    const char* const points[] = {"processa.em-curso",      "produtos.ultimo-grupo", "clientes.ultimo-grupo",
                                  "movimentos.ultimo-grupo", "processa.importacoes",  "processa.acerto",
                                  "ficheiro.escrita",        "processa.ficheiro-criado", "processa.mail-enviado"};
    for (const char* point : points) {
        SCOPED_TRACE(point);
        std::unique_ptr<World> w = world();
        clock_ = kDayTwo;
        killAt(w.get(), point, false);
        if (!w) continue;
        EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-03-08 14:05:09"));

        addDayThreeLine(*w);
        restart(*w, kDayThree);
        expectDeliveredOnce(*w, changesWithDayThree());
        EXPECT_TRUE(w->stagedLetters().empty());
        EXPECT_TRUE(w->orphanLines().empty());
        EXPECT_EQ(w->p12(), QStringLiteral("Concluído"));
        EXPECT_EQ(LerIni("Extractor", kInicioMovimentos), QStringLiteral("2017-03-09 09:00:00"));
    }
}

// The same inside the groups of rows the imports commit: the killed run commits every four
// rows, and is killed before the commit of its first group, of a middle one and of its last,
// in each import.
TEST_F(CrashRecoveryTest, ARunKilledInsideAnImportsGroupsLosesNoDayAndSendsNothingTwice) {
    constexpr int kNovos = 5;
    const char* const points[] = {"produtos.grupo-1",   "produtos.grupo-2",   "produtos.ultimo-grupo",
                                  "clientes.grupo-1",   "clientes.grupo-2",   "clientes.ultimo-grupo",
                                  "movimentos.grupo-1", "movimentos.grupo-2", "movimentos.ultimo-grupo"};
    for (const char* point : points) {
        SCOPED_TRACE(point);
        std::unique_ptr<World> w = world();
        std::vector<Change> expected = changesWithDayThree();
        if (w) {
            auto& c = w->db.company;
            for (int i = 1; i <= kNovos; ++i) {
                const QString n = QString::number(i);
                c.addProduto({.codigo = "Q" + n, .descricao = "Produto " + n, .unidadeVenda = "UN"});
                c.addCliente({.codigo = "D" + n, .descricao = "Cliente " + n, .codPost = "1000-001"});
                c.addLinha({.identifica = "M" + n, .codigo = "Q" + n, .terceiro = "D" + n, .tipo = "FT",
                            .data = "2017-03-08", .vendedor = "W" + n});
                expected.push_back({'C', "D" + n, 'N'});
                expected.push_back({'P', "Q" + n, 'N'});
                expected.push_back({'L', "W" + n, 'N'});
            }
        }
        clock_ = kDayTwo;
        qputenv("VELMORA_LINHAS_POR_GRUPO", "4");
        killAt(w.get(), point, false);
        qunsetenv("VELMORA_LINHAS_POR_GRUPO");
        if (!w) continue;

        addDayThreeLine(*w);
        restart(*w, kDayThree);
        expectDeliveredOnce(*w, expected);
        EXPECT_TRUE(w->stagedLetters().empty());
        EXPECT_TRUE(w->orphanLines().empty());
    }
}

// Thirty days of one automatic run a day, the company changing every day, and on some days
// (a fixed seed) the run killed at a step drawn at random. Afterwards every change reached
// exactly one whole file, and a description changed after its product was sent, a later one.
TEST_F(CrashRecoveryTest, ThirtyDaysWithRandomKillsLoseAndRepeatNothing) {
    const char* const points[] = {"processa.em-curso",      "produtos.ultimo-grupo",   "clientes.ultimo-grupo",
                                  "movimentos.ultimo-grupo", "processa.importacoes",    "processa.acerto",
                                  "ficheiro.escrita",        "processa.ficheiro-criado", "processa.mail-enviado"};
    constexpr int kDias = 30;
    std::mt19937 sorte(20170308);
    std::unique_ptr<World> w = world();
    std::vector<Change> expected = kChanges;
    for (int dia = 1; dia <= kDias; ++dia) {
        const QDate data = kBaseline.date().addDays(dia);
        const QString n = QString::number(dia);
        SCOPED_TRACE(data.toString(Qt::ISODate).toStdString());
        // The draw is made in the child as well, so that both reach the same kills.
        const bool mata = dia < kDias && sorte() % 3 == 0;
        const char* const point = points[sorte() % std::size(points)];
        if (w) {
            auto& c = w->db.company;
            // A product and customer of three days ago changes its description once sent.
            if (dia % 3 == 1 && dia > 3) {
                const QString q = "Q" + QString::number(dia - 1);
                std::vector<std::string> problems;
                if (deliveredChanges(*w, problems).count({'P', q, 'N'}) > 0) expected.push_back({'P', q, 'A'});
                c.setCampo("Produtos", q, "Descricao", "Outro " + q);
            }
            QString cliente = QStringLiteral("C1");
            QString produto = QStringLiteral("P1");
            if (dia % 3 == 0) {
                cliente = "D" + n;
                produto = "Q" + n;
                c.addProduto({.codigo = produto, .descricao = "Produto " + n, .unidadeVenda = "UN"});
                c.addCliente({.codigo = cliente, .descricao = "Cliente " + n, .codPost = "1000-001"});
                expected.push_back({'C', cliente, 'N'});
                expected.push_back({'P', produto, 'N'});
            }
            // The seller code names the line in the file; the staging column holds two characters.
            const QString vendedor = QString::number(dia + 10);
            c.addLinha({.identifica = "S" + n, .codigo = produto, .terceiro = cliente, .tipo = "FT",
                        .data = data.toString(Qt::ISODate), .vendedor = vendedor});
            expected.push_back({'L', vendedor, 'N'});
        }
        clock_ = QDateTime(data, QTime(9, 0, 0), Qt::UTC);
        if (mata) {
            SCOPED_TRACE(point);
            killAt(w.get(), point, false);
        } else if (w) {
            restart(*w, clock_);
        }
    }
    if (!w) return;
    expectDeliveredOnce(*w, expected);
    EXPECT_TRUE(w->stagedLetters().empty());
    EXPECT_TRUE(w->orphanLines().empty());
    EXPECT_EQ(w->p12(), QStringLiteral("Concluído"));
}

}  // namespace
