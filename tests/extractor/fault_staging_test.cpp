// Runs whose databases fail them: the staging database held by another process's write
// transaction (the engine keeps its files in write-ahead-log mode, where readers never block
// and only a writer blocks the run's writes), and the company database missing or made of
// garbage. Nothing staged may be lost, and once the fault is gone the next run sends it all.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <functional>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/WMenu.h"
#include "platform/clock.h"
#include "support/company_db.h"
#include "support/messagebox_recorder.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"
#include "support/run_fixture.h"
#include "util/gui_helpers.h"

namespace {

const QString kNome = QStringLiteral("NRT170307.MOV");
const QString kFalha = QStringLiteral("Falha no Processo");

// True while some other connection holds the database's write lock.
bool writeLocked(const QString& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    const int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_BUSY;
}

// The sqlite3 tool holding a write transaction on a database file, as a user inspecting the
// data might; it lets go when told to, or after the pause it was given.
class Bloqueio {
public:
    Bloqueio(const QString& file, const QString& pausaSegundos = QString()) : file_(file) {
        QString script = QStringLiteral("BEGIN IMMEDIATE;\n");
        if (!pausaSegundos.isEmpty()) script += QStringLiteral(".shell sleep ") + pausaSegundos + QStringLiteral("\nCOMMIT;\n");
        proc_.start(QStringLiteral("sqlite3"), {file});
        if (!proc_.waitForStarted(30000)) return;
        proc_.write(script.toUtf8());
        proc_.waitForBytesWritten(30000);
        if (!pausaSegundos.isEmpty()) proc_.closeWriteChannel();
        // Wait until the lock is really held (the tool has read and run the BEGIN).
        for (int i = 0; i < 3000 && !held_; ++i) {
            held_ = writeLocked(file_);
            if (!held_) QThread::msleep(10);
        }
    }
    ~Bloqueio() { solta(); }
    Bloqueio(const Bloqueio&) = delete;
    Bloqueio& operator=(const Bloqueio&) = delete;

    bool held() const { return held_; }
    void solta() {
        if (proc_.state() == QProcess::NotRunning) return;
        proc_.write("COMMIT;\n");
        proc_.waitForBytesWritten(30000);
        proc_.closeWriteChannel();
        if (!proc_.waitForFinished(60000)) proc_.kill();
        proc_.waitForFinished(10000);
    }
    bool stillLocked() const { return writeLocked(file_); }

private:
    QString file_;
    QProcess proc_;
    bool held_ = false;
};

class FaultStaging : public testsupport::RunFixture {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        db_.program.set("Extractor", "P12", "Concluído");
        Configuracao().gstrEmailTo = "a@norta.pt";
        db_.addOneSale("2017-03-06");
    }
    QString stagingFile() const { return db_.server.databaseFile(QStringLiteral("Velmora")); }

    int lettered() const {
        int n = 0;
        for (const char* t : {"Clientes", "Produtos", "Movimentos"}) {
            n += db_.stagingScalar(QStringLiteral("select count(*) from %1 where isnull(Status,'')<>''").arg(t)).toInt32();
        }
        return n;
    }
    QByteArray file() const {
        QFile f(dir_.path() + u'/' + kNome);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }
    // A later run without the fault sends the three records and ends well.
    void expectNextRunSendsEverything() {
        fresh();
        run(*db_.geral);
        EXPECT_TRUE(host_.criticalMessages.isEmpty()) << labels().join('|').toStdString();
        const QByteArray f = file();
        EXPECT_TRUE(f.contains("\r\n1 011 C1")) << f.left(200).toStdString();
        EXPECT_TRUE(f.contains("\r\n1 101 P1"));
        EXPECT_TRUE(f.contains("\r\n1 301 20170306"));
        EXPECT_EQ(lettered(), 0);
        EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
    }
};

}  // namespace

TEST_F(FaultStaging, ARunWaitsForAnotherProcesssWriteLockAndThenEndsWell) {
    // The staging connection as the scheduler opens it (no command time-out: it waits as long
    // as SQL Server would). The other process lets go after a pause of its own.
    data::Connection geral;
    ASSERT_TRUE(OpenVelmora(geral, errC(), errD(), 120)) << errD().toStdString();
    Bloqueio lock(stagingFile(), QStringLiteral("2"));
    ASSERT_TRUE(lock.held()) << "the sqlite3 tool did not take the lock";
    run(geral);

    EXPECT_FALSE(lock.stillLocked());
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << labels().join('|').toStdString();
    EXPECT_EQ(labels().back(), QStringLiteral("Fim do processamento automático."));
    EXPECT_TRUE(file().contains("\r\n1 011 C1"));
    EXPECT_EQ(lettered(), 0);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
    EXPECT_EQ(mail_.calls.size(), 1u);
    geral.Close();
}

TEST_F(FaultStaging, ALockThatOutlastsTheCommandTimeOutEndsTheRunWithNothingLost) {
    // The run's connection given a short command time-out: its first write (the start row)
    // gives up. The trap's row goes over a connection of its own, once the lock is gone.
    db_.geral->setCommandTimeout(1);
    {
        Bloqueio lock(stagingFile());
        ASSERT_TRUE(lock.held()) << "the sqlite3 tool did not take the lock";
        host_.onDefaultPointer = [&] { lock.solta(); };
        run(*db_.geral);
    }
    const Rows got = log();
    ASSERT_EQ(got.size(), 1u) << labels().join('|').toStdString();
    EXPECT_EQ(got[0].first, QStringLiteral("Função Processa"));
    EXPECT_EQ(got[0].second, QStringLiteral("Lock request time out period exceeded."));
    EXPECT_EQ(host_.criticalMessages, QStringList{kFalha});
    EXPECT_FALSE(QFile::exists(dir_.path() + u'/' + kNome));
    EXPECT_EQ(mail_.calls.size(), 0u);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
    EXPECT_EQ(db_.stagingScalar("select count(*) from Clientes").toInt32(), 0);

    // A lock taken while the file is being made: the file is written (reading is not blocked),
    // but its history row is not; the letters stay for the next run.
    fresh();
    std::unique_ptr<Bloqueio> lock;
    host_.onPanel = [&](const QString& text) {
        if (text.startsWith(QStringLiteral("Criando ficheiro"))) lock = std::make_unique<Bloqueio>(stagingFile());
    };
    host_.onDefaultPointer = [&] {
        if (lock) lock->solta();
    };
    run(*db_.geral);
    ASSERT_TRUE(lock && lock->held());
    EXPECT_EQ(labels(), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...", "Criando ficheiro...",
                                     "Função Cria Ficheiro", "Enviando ficheiro...",
                                     "Fim do processamento automático."}));
    EXPECT_EQ(log()[5].second, QStringLiteral("Lock request time out period exceeded."));
    EXPECT_EQ(host_.criticalMessages, QStringList{kFalha});
    EXPECT_TRUE(file().contains("\r\n1 011 C1"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kNome});
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);
    EXPECT_EQ(lettered(), 3);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
    lock.reset();

    db_.geral->setCommandTimeout(30);
    expectNextRunSendsEverything();
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
}

TEST_F(FaultStaging, AMissingOrGarbageCompanyDatabaseStopsTheTickBeforeTheRun) {
    guitest::ScopedLocale locale;
    testsupport::MessageBoxRecorder boxes;
    db_.program.set("Extractor", "P1", "0");
    db_.program.set("Extractor", "P9", "14:05");
    db_.program.set("Extractor", "P11", "2017-02-06 14:05:00");
    Configuracao().gintP1 = 0;
    Configuracao().gstrP9 = QStringLiteral("14:05");
    Configuracao().gstrEmailTo.clear();
    WMenu w;
    w.Timer1->stop();
    w.chkActiva->setChecked(true);
    db_.execStaging("delete from LogGeral");

    db_.gestao->Close();
    const QString empresa = db_.server.databaseFile(QStringLiteral("Empresa"));
    const QString guardada = day_.temp() + QStringLiteral("/Empresa.db");
    ASSERT_TRUE(QFile::copy(empresa, guardada));
    for (const QString& sufixo : {QStringLiteral("-wal"), QStringLiteral("-shm")}) QFile::remove(empresa + sufixo);

    const auto expectNoRun = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(w.Panel1->text(), QStringLiteral("Erro na ligação SQL (Tramonta)"));
        EXPECT_EQ(w.Panel1->toolTip(), QString::number(errC()) + u' ' + errD());
        EXPECT_TRUE(log().empty()) << labels().join('|').toStdString();
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-02-06 14:05:00"));
        EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
        EXPECT_FALSE(QFile::exists(dir_.path() + u'/' + kNome));
    };

    // Missing.
    ASSERT_TRUE(QFile::remove(empresa));
    w.Timer1_Timer();
    expectNoRun("missing");
    EXPECT_EQ(errC(), 4060);

    // Garbage bytes under the database's name.
    QByteArray lixo(64 * 1024, '\0');
    for (qsizetype i = 0; i < lixo.size(); ++i) lixo[i] = static_cast<char>((i * 7919 + 13) % 251);
    {
        QFile f(empresa);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lixo);
    }
    w.Timer1_Timer();
    expectNoRun("garbage");
    EXPECT_NE(errC(), 0);
    EXPECT_FALSE(errD().isEmpty());

    // The database back: a tick in the same minute runs and sends everything.
    QFile::remove(empresa);
    ASSERT_TRUE(QFile::copy(guardada, empresa));
    w.Timer1_Timer();
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
    EXPECT_TRUE(file().contains("\r\n1 011 C1")) << labels().join('|').toStdString();
    EXPECT_EQ(lettered(), 0);
    EXPECT_TRUE(boxes.shown.empty());
}
