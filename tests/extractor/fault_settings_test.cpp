// Automatic runs whose settings file cannot be written when P11/P12 are: made immutable
// (chattr +i, which holds even for root), or, where the file system has no such flag, its
// folder mounted read-only. A run that cannot record its start ends at once through its own
// trap and touches nothing; one that cannot record its end logs that alone, keeps Em Curso and
// its complete export, and goes on to the mail.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "support/company_db.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"
#include "support/run_fixture.h"

namespace {

const QString kNome = QStringLiteral("NRT170307.MOV");
const QString kFalha = QStringLiteral("Falha no Processo");

// Makes a file unwritable for as long as the object lives (or until undo): the immutable flag
// when the file system has it, else a read-only bind mount of its folder.
class SoLeitura {
public:
    explicit SoLeitura(QString file) : file_(std::move(file)) {}
    ~SoLeitura() { undo(); }
    SoLeitura(const SoLeitura&) = delete;
    SoLeitura& operator=(const SoLeitura&) = delete;

    bool apply() {
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), file_}) == 0) {
            how_ = How::Immutable;
            return true;
        }
        const QByteArray folder = QFile::encodeName(QFileInfo(file_).absolutePath());
        if (::mount(folder.constData(), folder.constData(), nullptr, MS_BIND, nullptr) != 0) return false;
        if (::mount(nullptr, folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
            ::umount2(folder.constData(), MNT_DETACH);
            return false;
        }
        how_ = How::Mount;
        return true;
    }
    void undo() {
        if (how_ == How::Immutable) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), file_});
        if (how_ == How::Mount) ::umount2(QFile::encodeName(QFileInfo(file_).absolutePath()).constData(), MNT_DETACH);
        how_ = How::None;
    }

private:
    enum class How { None, Immutable, Mount };
    QString file_;
    How how_ = How::None;
};

class FaultSettings : public testsupport::RunFixture {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        db_.program.set("Extractor", "P11", "2017-03-06 14:05:02");
        db_.program.set("Extractor", "P12", "Concluído");
        Configuracao().gstrEmailTo = "a@norta.pt";
        db_.addOneSale();
    }

    int staged() const {
        return db_.stagingScalar("select count(*) from Clientes").toInt32() +
               db_.stagingScalar("select count(*) from Produtos").toInt32() +
               db_.stagingScalar("select count(*) from Movimentos").toInt32();
    }
    int lettered() const {
        return db_.stagingScalar("select count(*) from Clientes where isnull(Status,'')<>''").toInt32() +
               db_.stagingScalar("select count(*) from Produtos where isnull(Status,'')<>''").toInt32() +
               db_.stagingScalar("select count(*) from Movimentos where isnull(Status,'')<>''").toInt32();
    }
    QByteArray ini() const {
        QFile f(db_.program.iniFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray file() const {
        QFile f(dir_.path() + u'/' + kNome);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }
};

}  // namespace

TEST_F(FaultSettings, AnAutomaticRunThatCannotRecordItsStartEndsBeforeItTouchesAnything) {
    const QByteArray before = ini();
    SoLeitura ro(db_.program.iniFile());
    if (!ro.apply()) GTEST_SKIP() << "neither chattr +i nor a read-only bind mount works here";

    run();
    // Only the trap's own row, with the file that could not be written; one box.
    const Rows got = log();
    ASSERT_EQ(got.size(), 1u) << labels().join('|').toStdString();
    EXPECT_EQ(got[0].first, QStringLiteral("Função Processa"));
    EXPECT_TRUE(got[0].second.contains(db_.program.iniFile())) << got[0].second.toStdString();
    EXPECT_EQ(host_.criticalMessages, QStringList{kFalha});
    EXPECT_EQ(host_.pointerChanges, std::vector<bool>{false});
    // Nothing imported, nothing written, nothing mailed; the settings as they were.
    EXPECT_EQ(staged(), 0);
    EXPECT_FALSE(QFile::exists(dir_.path() + u'/' + kNome));
    EXPECT_EQ(mail_.calls.size(), 0u);
    EXPECT_EQ(ini(), before);

    // A manual run writes no settings: it is not held back by the file.
    fresh();
    run(true);
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << labels().join('|').toStdString();
    EXPECT_EQ(labels().back(), QStringLiteral("Fim do processamento manual."));
    EXPECT_EQ(ini(), before);

    // Writable again: the automatic run records its start and end and sends everything.
    ro.undo();
    fresh();
    run();
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << labels().join('|').toStdString();
    EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-03-07 14:05:09"));
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
    const QByteArray f = file();
    EXPECT_TRUE(f.contains("\r\n1 011 C1")) << f.left(300).toStdString();
    EXPECT_TRUE(f.contains("\r\n1 101 P1"));
    EXPECT_TRUE(f.contains("\r\n1 301 20170301"));
    EXPECT_EQ(lettered(), 0);
}

TEST_F(FaultSettings, AnAutomaticRunThatCannotRecordItsEndReportsItAndKeepsEmCurso) {
    SoLeitura ro(db_.program.iniFile());
    bool applied = false;
    // The file turns read-only once the run has recorded its start, just before the export.
    host_.onPanel = [&](const QString& text) {
        if (text.startsWith(QStringLiteral("Criando ficheiro"))) applied = ro.apply();
    };
    run();
    if (!applied) GTEST_SKIP() << "neither chattr +i nor a read-only bind mount works here";

    // The export itself succeeded: the lost end state has a row of its own, naming the file,
    // and no box; the run mails the file and ends.
    EXPECT_EQ(labels(), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...", "Criando ficheiro...",
                                     "Ficheiro de Configuração", "Enviando ficheiro...",
                                     "Fim do processamento automático."}));
    EXPECT_TRUE(log()[5].second.contains(QStringLiteral("P12"))) << log()[5].second.toStdString();
    EXPECT_TRUE(log()[5].second.contains(db_.program.iniFile())) << log()[5].second.toStdString();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-03-07 14:05:09"));
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
    // The file, its copy and the reset stand: complete, kept, reset and mailed.
    const QByteArray f = file();
    EXPECT_TRUE(f.contains("\r\n1 011 C1"));
    EXPECT_TRUE(f.endsWith("\r\n"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kNome});
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
    EXPECT_EQ(lettered(), 0);
    EXPECT_EQ(mail_.calls.size(), 1u);

    ro.undo();
    host_.onPanel = nullptr;
    fresh();
    run();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
}
