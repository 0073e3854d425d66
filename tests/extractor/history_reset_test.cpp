// What the export writer does once the file is on disk: the zipped copy in HistFiles, the
// status reset for each kind of run, P12, and a failing compression.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace {

using data::Variant;
using Access = clsVelmoraTestAccess;

const QString kNome = QStringLiteral("NRT170307.MOV");

class HistoryResetTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.program.set("Extractor", "P12", "Em Curso");

        for (const char* s : {"N", "A", "E"}) {
            db_.execStaging(QStringLiteral("insert into Clientes (Activo, Status, Codigo) values (1, '") +
                            QString::fromLatin1(s) + QStringLiteral("', 'C") + QString::fromLatin1(s) + QStringLiteral("')"));
            db_.execStaging(QStringLiteral("insert into Produtos (Activo, Status, Codigo, PVP) values (1, '") +
                            QString::fromLatin1(s) + QStringLiteral("', 'P") + QString::fromLatin1(s) + QStringLiteral("', 1)"));
            db_.execStaging(QStringLiteral("insert into Movimentos (Status, Mascara, Chave, Data, TipoVenda, "
                                           "Quantidade, Valor, IEC) values ('") +
                            QString::fromLatin1(s) + QStringLiteral("', 'V', 'L") + QString::fromLatin1(s) +
                            QStringLiteral("', '2017-03-01', 'C', 1, 2, 'N')"));
        }
        // An inactive customer with a letter is not in the file, but its letter is reset too.
        db_.execStaging("insert into Clientes (Activo, Status, Codigo) values (0, 'A', 'C0')");
    }
    void write(bool manual) {
        clsVelmora v;
        Access::CriaFicheiro(v, *db_.geral, "2017-03-01", "2017-03-07", dir_.path() + u'/' + kNome, kNome,
                             "SISTEMA", manual, host_);
    }

    // Code and letter of every row of a table, by code.
    std::vector<std::pair<QString, QString>> letters(const QString& table, const QString& key = "Codigo") const {
        std::vector<std::pair<QString, QString>> out;
        for (const auto& r : db_.staging(QStringLiteral("select ") + key + QStringLiteral(", Status from ") + table +
                                         QStringLiteral(" order by ") + key)) {
            out.emplace_back(r[0].toString(), r[1].isNull() ? QStringLiteral("<null>") : r[1].toString());
        }
        return out;
    }

    QString p12() const { return LerIni("Extractor", "P12"); }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
};

using Rows = std::vector<std::pair<QString, QString>>;

TEST_F(HistoryResetTest, AutomaticRunKeepsAZipCopyAndEmptiesEveryLetter) {
    write(false);
    ASSERT_TRUE(host_.criticalMessages.isEmpty());

    QFile exported(dir_.path() + u'/' + kNome);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QByteArray bytes = exported.readAll();
    EXPECT_TRUE(bytes.startsWith("0SISTEMA"));

    // One history row whose zip holds exactly the file, under its own name.
    const auto hist = db_.staging("select Filename, Ficheiro, Datasys from HistFiles");
    ASSERT_EQ(hist.size(), 1u);
    EXPECT_EQ(hist[0][0].toString(), kNome);
    EXPECT_EQ(hist[0][2].toDateTime(), testsupport::RunDay::instant());
    const QString zipCopy = day_.temp() + QStringLiteral("/copy.zip");
    {
        QFile z(zipCopy);
        ASSERT_TRUE(z.open(QIODevice::WriteOnly));
        z.write(hist[0][1].toBytes());
    }
    QProcess list;
    list.start("unzip", {"-Z1", zipCopy});
    ASSERT_TRUE(list.waitForFinished());
    EXPECT_EQ(list.readAllStandardOutput().trimmed(), kNome.toLatin1());
    QProcess unzip;
    unzip.start("unzip", {"-p", zipCopy, kNome});
    ASSERT_TRUE(unzip.waitForFinished());
    EXPECT_EQ(unzip.exitCode(), 0);
    EXPECT_EQ(unzip.readAllStandardOutput(), bytes);
    // The zip file in the temporary folder is gone.
    EXPECT_FALSE(QFile::exists(day_.temp() + u'/' + kNome + QStringLiteral(".zip")));

    // Every customer and product stays (also the gone ones), every letter empty; gone lines go.
    EXPECT_EQ(letters("Clientes"), (Rows{{"C0", ""}, {"CA", ""}, {"CE", ""}, {"CN", ""}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{"PA", ""}, {"PE", ""}, {"PN", ""}}));
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"LA", ""}, {"LN", ""}}));
    EXPECT_EQ(p12(), QStringLiteral("Concluído"));
}

TEST_F(HistoryResetTest, ManualRunLeavesWhatItFoundNewToTheNextRun) {
    write(true);
    ASSERT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
    EXPECT_EQ(letters("Clientes"), (Rows{{"C0", ""}, {"CA", ""}, {"CE", ""}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{"PA", ""}, {"PE", ""}}));
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"LA", ""}}));
    EXPECT_EQ(p12(), QStringLiteral("Em Curso"));
}

TEST_F(HistoryResetTest, AFailedCompressionKeepsTheFileTheLettersAndEmCurso) {
    qputenv("Temp", (day_.temp() + QStringLiteral("/missing")).toLocal8Bit());
    write(false);
    EXPECT_EQ(host_.criticalMessages, QStringList{"Falha no Processo"});
    const auto log = db_.staging("select Opcao, Texto from LogGeral");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0].toString(), QStringLiteral("Função Cria Ficheiro"));
    EXPECT_FALSE(log[0][1].toString().isEmpty());

    EXPECT_TRUE(QFile::exists(dir_.path() + u'/' + kNome)) << "the file stays for the mail";
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"LA", "A"}, {"LE", "E"}, {"LN", "N"}}));
    EXPECT_EQ(letters("Clientes"), (Rows{{"C0", "A"}, {"CA", "A"}, {"CE", "E"}, {"CN", "N"}}));
    EXPECT_EQ(p12(), QStringLiteral("Em Curso"));
}

}  // namespace
