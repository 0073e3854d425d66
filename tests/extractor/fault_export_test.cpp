// Whole automatic runs whose export folder or temporary folder fails them: a folder that is
// missing, mounted read-only or full, and a temporary folder where the zip copy cannot be
// made. Each run must log and show its failure, keep the status letters (and Em Curso) so the
// next run sends the records again, never leave a half file or a temporary file beside the
// export, leave an earlier file of the same name as it was, and a run after the fault is
// cleared must send everything.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/frmSendMail.h"
#include "platform/clock.h"
#include "support/company_db.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"
#include "support/run_fixture.h"

namespace {

const QString kNome = QStringLiteral("NRT170307.MOV");
const QString kFalha = QStringLiteral("Falha no Processo");

// A tmpfs mounted on a folder for the life of the object.
class Montagem {
public:
    Montagem(const QString& folder, const QByteArray& options) : folder_(QFile::encodeName(folder)) {
        QDir().mkpath(folder);
        ok_ = ::mount("tmpfs", folder_.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~Montagem() {
        if (ok_) ::umount2(folder_.constData(), MNT_DETACH);
    }
    Montagem(const Montagem&) = delete;
    Montagem& operator=(const Montagem&) = delete;

    bool ok() const { return ok_; }
    bool remount(unsigned long flags, const QByteArray& options) const {
        return ::mount(nullptr, folder_.constData(), nullptr, MS_REMOUNT | flags, options.constData()) == 0;
    }

private:
    QByteArray folder_;
    bool ok_ = false;
};

class FaultExport : public testsupport::RunFixture {
protected:
    void SetUp() override {
        pasta(dir_.path());
        db_.program.set("Extractor", "P15", "NRT");
        db_.program.set("Extractor", "P8", "SISTEMA NORTA");
        db_.program.set("Extractor", "P12", "Concluído");
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gstrEmailServer = "localhost";
        cfg.gstrEmailTo = "a@norta.pt";
        cfg.gstrEmailFrom = "extractor@norta.pt";
        cfg.gintSMTPPort = 25;
        db_.addOneSale();
    }
    void TearDown() override {
        frmSendMail::Unload();
    }

    void pasta(const QString& p) const { db_.program.set("Extractor", "P3", p); }

    QString detail(const QString& label) const {
        for (const auto& r : log()) {
            if (r.first == label) return r.second;
        }
        return QStringLiteral("<no row>");
    }
    void clearLog() const { db_.execStaging("delete from LogGeral"); }

    // Every staged record with its letter: what the next file will carry.
    Rows letters() const {
        Rows out;
        const std::pair<const char*, const char*> tabelas[] = {
            {"C:", "select Codigo, Status from Clientes order by Codigo"},
            {"P:", "select Codigo, Status from Produtos order by Codigo"},
            {"M:", "select Chave, Status from Movimentos order by Chave"}};
        for (const auto& [prefixo, q] : tabelas) {
            for (const auto& r : db_.staging(q)) {
                out.emplace_back(prefixo + r[0].toString(), r[1].isNull() ? QString() : r[1].toString());
            }
        }
        return out;
    }

    static QByteArray bytesOf(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }
    static void put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    static QStringList entries(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    // The records of a file by their type ("1 011 " customers new, "1 30" sales, ...).
    static int count(const QByteArray& file, const QByteArray& type) {
        int n = 0;
        for (const QByteArray& line : file.split('\n')) {
            if (line.startsWith(type)) ++n;
        }
        return n;
    }

    // The export failed: its row and box, the run went on to the mail and its end, the letters
    // and Em Curso stayed, and no history row was kept. The mail goes only when the folder
    // still holds a file under the name (an earlier one, or the one whose copy failed); else
    // the mail step logs its failure instead.
    void expectExportFailed(const Rows& lettersBefore, const QString& why, bool fileInFolder = false) const {
        QStringList expected{"Início do processamento automático...", "Processando produtos...",
                             "Processando clientes...", "Processando movimentos...", "Criando ficheiro...",
                             "Função Cria Ficheiro", "Enviando ficheiro..."};
        if (!fileInFolder) expected << QStringLiteral("Envio de Email - Form_Activate");
        expected << QStringLiteral("Fim do processamento automático.");
        EXPECT_EQ(labels(), expected) << labels().join(u'|').toStdString();
        EXPECT_TRUE(detail("Função Cria Ficheiro").contains(why)) << detail("Função Cria Ficheiro").toStdString();
        EXPECT_EQ(host_.criticalMessages, QStringList{kFalha});
        EXPECT_EQ(letters(), lettersBefore);
        EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
        EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);
    }

    // What the run stages before its file: every record new.
    static Rows staged() { return {{"C:C1", "N"}, {"P:P1", "N"}, {"M:L1", "N"}}; }
    static Rows reset() { return {{"C:C1", ""}, {"P:P1", ""}, {"M:L1", ""}}; }

    // A later run with the fault cleared sends the records of the failed run and ends well.
    void expectNextRunSendsEverything(const QString& folder) {
        clearLog();
        host_ = testsupport::RecordingRunHost();
        host_.mail = &mail_;
        run();
        EXPECT_TRUE(host_.criticalMessages.isEmpty()) << log().back().second.toStdString();
        const QByteArray file = bytesOf(folder + u'/' + kNome);
        EXPECT_EQ(count(file, "1 011 "), 1) << file.left(200).toStdString();
        EXPECT_EQ(count(file, "1 101 "), 1);
        EXPECT_EQ(count(file, "1 301 "), 1);
        EXPECT_TRUE(file.endsWith("\r\n"));
        EXPECT_EQ(entries(folder), QStringList{kNome});
        EXPECT_EQ(letters(), reset());
        EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
        EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
    }
};

}  // namespace

TEST_F(FaultExport, AMissingFolderWritesNothingAndTheMailWindowEndsTheRun) {
    // The real mail window: it looks for the file in the folder before it is shown.
    frmSendMailHost janela;
    host_.mail = &janela;
    const QString missing = dir_.path() + QStringLiteral("/nao-existe");
    pasta(missing);
    run();

    EXPECT_EQ(labels(), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...", "Criando ficheiro...",
                                     "Função Cria Ficheiro", "Enviando ficheiro...", "Envio de Email - Form_Activate",
                                     "Fim do processamento automático."}));
    EXPECT_EQ(detail("Criando ficheiro..."), missing + u'/' + kNome);
    EXPECT_TRUE(detail("Função Cria Ficheiro").startsWith(QStringLiteral("Path not found")));
    EXPECT_TRUE(detail("Envio de Email - Form_Activate").endsWith(QStringLiteral("File not found: ") + missing + u'/' + kNome));
    EXPECT_EQ(host_.criticalMessages, (QStringList{kFalha}));
    EXPECT_FALSE(QFileInfo::exists(missing)) << "the writer makes no folder of its own";
    EXPECT_EQ(letters(), staged());
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);

    // A regular file where the folder should be fails the same way and stays as it was.
    put(missing, "not a folder");
    clearLog();
    host_ = testsupport::RecordingRunHost();
    host_.mail = &mail_;
    run();
    expectExportFailed(staged(), QStringLiteral("Path not found"));
    EXPECT_EQ(bytesOf(missing), QByteArray("not a folder"));

    // Once the folder exists the next run sends what the failed ones staged.
    ASSERT_TRUE(QFile::remove(missing));
    ASSERT_TRUE(QDir().mkpath(missing));
    expectNextRunSendsEverything(missing);
}

TEST_F(FaultExport, AReadOnlyFolderKeepsTheEarlierFileOfTheName) {
    const QString folder = dir_.path() + QStringLiteral("/ro");
    Montagem m(folder, "size=1m");
    if (!m.ok()) GTEST_SKIP() << "mounting a tmpfs is refused here";
    const QByteArray earlier = "0EARLIER FILE OF THE SAME DAY\r\n";
    put(folder + u'/' + kNome, earlier);
    ASSERT_TRUE(m.remount(MS_RDONLY, "size=1m"));
    pasta(folder);

    run();
    expectExportFailed(staged(), QStringLiteral("Path/File access error"), true);
    EXPECT_EQ(bytesOf(folder + u'/' + kNome), earlier);
    EXPECT_EQ(entries(folder), QStringList{kNome});
    // The mail still goes, with what the folder holds under the name.
    EXPECT_EQ(mail_.filesThere(), std::vector<bool>{true});

    ASSERT_TRUE(m.remount(0, "size=1m"));
    expectNextRunSendsEverything(folder);
    EXPECT_NE(bytesOf(folder + u'/' + kNome), earlier);
}

TEST_F(FaultExport, AFullFolderLeavesNoHalfFileAndTheNextRunSendsEveryRecord) {
    // More records than the 64 KiB folder holds: 130 customers of 568 bytes, each with a sale.
    QString clientes;
    QString linhas;
    for (int i = 1; i <= 130; ++i) {
        const QString n = QString::number(i);
        clientes += QStringLiteral("insert into Clientes (NumRegisto, Codigo, Descricao, CodPost, Grupo, Familia, "
                                   "SubFamilia) values (%1, 'X%2', 'Cliente número %2', '1000-001', '', '', '');\n")
                        .arg(100 + i)
                        .arg(n);
        linhas += QStringLiteral("insert into MovProduto (NumRegisto, Identifica, ObsLinha, Vendedor, ValorIliq, "
                                 "TotalDesconto, QuantNormal, Preco, Unidade, Codigo, Terceiro, Tipo, Data, Numero, "
                                 "Ano, CliFor, Fechado) values (%1, 'LX%2', '', '01', 10, 0, 1, 10, 'UN', 'P1', "
                                 "'X%2', 'FT', '2017-03-02', '%2', 2017, 'C', 'S');\n")
                      .arg(100 + i)
                      .arg(n);
    }
    db_.gestao->Execute(clientes);
    db_.gestao->Execute(linhas);
    ASSERT_EQ(db_.company.scalar("select count(*) from Clientes").toInt32(), 131);
    ASSERT_EQ(db_.company.scalar("select count(*) from MovProduto").toInt32(), 131);

    const QString folder = dir_.path() + QStringLiteral("/cheia");
    Montagem m(folder, "size=64k");
    if (!m.ok()) GTEST_SKIP() << "mounting a tmpfs is refused here";
    const QByteArray earlier = "0EARLIER FILE OF THE SAME DAY\r\n";
    put(folder + u'/' + kNome, earlier);
    pasta(folder);

    Rows before;
    host_.onCritical = [&](const QString&) { before = letters(); };
    run();
    ASSERT_EQ(before.size(), 3u + 130u * 2u) << labels().join('|').toStdString();
    EXPECT_EQ(before.front(), (std::pair<QString, QString>("C:C1", "N")));
    expectExportFailed(before, QStringLiteral("Disk full"), true);
    EXPECT_EQ(bytesOf(folder + u'/' + kNome), earlier);
    EXPECT_EQ(entries(folder), QStringList{kNome}) << "no temporary file is left in the folder";

    // More room: every customer and sale of the failed run is in the next file.
    ASSERT_TRUE(m.remount(0, "size=4m"));
    clearLog();
    host_ = testsupport::RecordingRunHost();
    host_.mail = &mail_;
    run();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    const QByteArray file = bytesOf(folder + u'/' + kNome);
    EXPECT_EQ(count(file, "1 011 "), 131);
    EXPECT_EQ(count(file, "1 301 "), 131);
    EXPECT_GT(file.size(), 64 * 1024);
    EXPECT_TRUE(file.endsWith("\r\n"));
    EXPECT_EQ(entries(folder), QStringList{kNome});
    EXPECT_EQ(db_.stagingScalar("select count(*) from Clientes where isnull(Status,'')<>''").toInt32(), 0);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
}

TEST_F(FaultExport, ATemporaryFolderWithoutRoomForTheZipKeepsTheLettersButNotTheFile) {
    // Two ways of not being writable: a read-only mount, and a regular file in its place.
    const QString ro = day_.temp() + QStringLiteral("/ro");
    Montagem m(ro, "size=1m");
    const QString ficheiro = day_.temp() + QStringLiteral("/ficheiro");
    put(ficheiro, "x");
    std::vector<QString> temps{ficheiro};
    if (m.ok() && m.remount(MS_RDONLY, "size=1m")) temps.insert(temps.begin(), ro);

    for (const QString& t : temps) {
        SCOPED_TRACE(t.toStdString());
        clearLog();
        host_ = testsupport::RecordingRunHost();
        host_.mail = &mail_;
        mail_.calls.clear();
        qputenv("Temp", t.toLocal8Bit());
        run();
        expectExportFailed(staged(), QStringLiteral("zip"), true);
        // The file was complete before its copy was tried: it stays and is mailed.
        const QByteArray file = bytesOf(dir_.path() + u'/' + kNome);
        EXPECT_EQ(count(file, "1 011 "), 1);
        EXPECT_TRUE(file.startsWith("0SISTEMA NORTA"));
        EXPECT_EQ(entries(dir_.path()), QStringList{kNome});
        EXPECT_EQ(mail_.filesThere(), std::vector<bool>{true});
    }
    EXPECT_EQ(bytesOf(ficheiro), QByteArray("x"));

    qputenv("Temp", day_.temp().toLocal8Bit());
    expectNextRunSendsEverything(dir_.path());
    EXPECT_FALSE(QFile::exists(day_.temp() + u'/' + kNome + QStringLiteral(".zip")));
}
