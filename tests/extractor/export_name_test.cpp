// A file-name prefix P15 that holds a folder separator: the file step refuses the name, so
// neither the export file nor its zip lands outside the export and temporary folders, and the
// run keeps every letter for the next file.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>

#include "extractor/MainMod_configuracao.h"
#include "support/run_fixture.h"

namespace {

class ExportName : public testsupport::RunFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir(base_.path()).mkpath(QStringLiteral("a/export")));
        ASSERT_TRUE(QDir(base_.path()).mkpath(QStringLiteral("a/temp")));
        db_.setExport(exportFolder());
        qputenv("Temp", (base_.path() + QStringLiteral("/a/temp")).toLocal8Bit());
        db_.program.set("Extractor", "P12", "Concluído");
        Configuracao().gstrEmailTo = QStringLiteral("a@norta.pt");
        db_.addOneSale();
    }
    QString exportFolder() const { return base_.path() + QStringLiteral("/a/export"); }
    // Every file under the test's folder, relative to it.
    QStringList files() const {
        QStringList out;
        QDirIterator it(base_.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) out << QDir(base_.path()).relativeFilePath(it.next());
        out.sort();
        return out;
    }
    int lettered() const {
        return db_.stagingScalar("select count(*) from Movimentos where isnull(Status,'')<>''").toInt32();
    }

    QTemporaryDir base_;
};

TEST_F(ExportName, APrefixWithAFolderSeparatorIsTheFileStepsFailureAndWritesNothing) {
    int passados = 0;
    for (const char* prefixo : {"../q", "..\\q", "a/b", "/q"}) {
        SCOPED_TRACE(prefixo);
        fresh();
        db_.program.set("Extractor", "P15", QString::fromLatin1(prefixo));
        run();
        const auto rows = log();
        const QString nome = QString::fromLatin1(prefixo) + QStringLiteral("170307.MOV");
        const auto falha = std::find_if(rows.begin(), rows.end(), [](const auto& r) {
            return r.first == QStringLiteral("Função Cria Ficheiro");
        });
        const bool ok = falha != rows.end() && falha->second.contains(nome) &&
                        host_.criticalMessages == QStringList{QStringLiteral("Falha no Processo")} &&
                        files().isEmpty() && labels().back() == QStringLiteral("Fim do processamento automático.");
        EXPECT_TRUE(ok) << labels().join(u'|').toStdString() << " / " << files().join(u'|').toStdString();
        if (ok) ++passados;
    }
    EXPECT_EQ(passados, 4);
    // Nothing was kept or reset: the letters wait for a file that can be written.
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);
    EXPECT_GT(lettered(), 0);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));

    // Put right, the file goes where it was meant to, with what waited.
    fresh();
    db_.program.set("Extractor", "P15", "NRT");
    run();
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << labels().join(u'|').toStdString();
    EXPECT_EQ(files(), QStringList{QStringLiteral("a/export/NRT170307.MOV")});
    EXPECT_EQ(lettered(), 0);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
}

}  // namespace
