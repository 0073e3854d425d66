// The manual run screen: the period's checks (a date that exists, one year, the end not
// before the start), the connections, and a whole manual run over the chosen period with its
// progress in the main window's status bar.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <vector>

#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/gui/ProcessoEmCurso.h"
#include "extractor/wmenu_support.h"
#include "screens/Edatas.h"
#include "screens/frmProcessaManual.h"
#include "support/company_db.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "support/recording_run_host.h"
#include "util/gui_helpers.h"

namespace {

using testsupport::MessageBoxRecorder;
using testsupport::TempProgramFolder;

class Aberturas {
public:
    Aberturas() {
        setObservadorAberturas([this](const QString& db, std::int32_t timeout) {
            nomes << db;
            timeouts.push_back(timeout);
        });
    }
    ~Aberturas() { setObservadorAberturas({}); }
    QStringList nomes;
    std::vector<std::int32_t> timeouts;
};

void escreveData(Edatas* campo, const QString& texto) {
    campo->setFocus();
    guitest::pump();
    campo->selectAll();
    guitest::key(campo, Qt::Key_Backspace);
    guitest::type(campo, texto);
}

TEST(frmProcessaManual, RefusesAPeriodThatIsNotOneYearInOrder) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    wmenutest::RelogioFalso relogio(QDateTime(QDate(2017, 3, 7), QTime(10, 0), Qt::UTC));
    Aberturas aberturas;
    frmProcessaManual f;
    ASSERT_TRUE(guitest::activate(f));
    EXPECT_EQ(f.objectName(), "frmProcessaManual");
    EXPECT_EQ(f.windowTitle(), "Processar Manualmente");
    // This year so far is offered.
    EXPECT_EQ(f.edatDataInicial->Data(), "2017-01-01");
    EXPECT_EQ(f.edatDataFinal->Data(), "2017-03-07");

    const auto processa = [&](const QString& ini, const QString& fim) {
        escreveData(f.edatDataInicial, ini);
        escreveData(f.edatDataFinal, fim);
        const std::size_t antes = boxes.shown.size();
        wmenutest::clica(f.cmdProcessar);
        return boxes.shown.size() > antes ? boxes.shown.back().text : QString();
    };
    EXPECT_EQ(processa("01-06-2016", "01-02-2017"), "As datas do período têm de pertencer ao mesmo ano!");
    EXPECT_EQ(boxes.shown.back().style, 48);
    EXPECT_EQ(processa("10-03-2017", "09-03-2017"), "A data final não pode ser anterior à data inicial!");
    EXPECT_EQ(processa("31-12-2016", "01-01-2017"), "As datas do período têm de pertencer ao mesmo ano!");
    EXPECT_EQ(processa("01-01-2017", ""), "Indique a data inicial e a data final do período a processar!");
    // An impossible date: the date field's own message, and nothing more.
    const std::size_t antes = boxes.shown.size();
    escreveData(f.edatDataInicial, "31-02-2017");
    escreveData(f.edatDataFinal, "01-03-2017");
    EXPECT_FALSE(f.Processar());
    ASSERT_EQ(boxes.shown.size(), antes + 1);
    EXPECT_EQ(boxes.shown.back().text, "Data Invalida\r2017-02-31");
    // Letters and overlong typing never reach the field.
    escreveData(f.edatDataInicial, QString(300, u'x') + QStringLiteral("0102201799999"));
    EXPECT_EQ(f.edatDataInicial->text(), "0102201799");
    EXPECT_TRUE(aberturas.nomes.isEmpty());

    // A run already in progress: nothing opens, nothing is said.
    escreveData(f.edatDataInicial, "01-03-2017");
    escreveData(f.edatDataFinal, "07-03-2017");
    const std::size_t caixas = boxes.shown.size();
    {
        ProcessoEmCurso outra;
        EXPECT_FALSE(f.Processar());
    }
    EXPECT_TRUE(aberturas.nomes.isEmpty());
    EXPECT_EQ(boxes.shown.size(), caixas);
}

TEST(frmProcessaManual, AFailedConnectionShowsItsNumberAndText) {
    guitest::ScopedLocale locale;
    testsupport::RunDatabases db;
    MessageBoxRecorder boxes;
    wmenutest::RelogioFalso relogio(QDateTime(QDate(2017, 3, 7), QTime(10, 0), Qt::UTC));
    Configuracao().gstrPwd = QStringLiteral("errada");
    frmProcessaManual f;
    EXPECT_FALSE(f.Processar());
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "18456\rLogin failed for user 'sa'.");
    EXPECT_EQ(boxes.shown[0].style, 16);

    Configuracao().gstrPwd = db.server.password();
    Configuracao().gstrDataBase = QStringLiteral("Inexistente");
    EXPECT_FALSE(f.Processar());
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_TRUE(boxes.shown[1].text.startsWith(QStringLiteral("4060\r"))) << boxes.shown[1].text.toStdString();
    EXPECT_EQ(db.stagingScalar("select count(*) from LogGeral").toInt32(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(frmProcessaManual, RunsTheChosenPeriodAsAManualRun) {
    guitest::ScopedLocale locale;
    QTemporaryDir pasta;
    QTemporaryDir temp;
    qputenv("Temp", temp.path().toLocal8Bit());
    testsupport::RunDatabases db;
    db.addOneSale("2017-02-05");
    db.company.addLinha({.identifica = "L2", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-01-05"});
    db.setExport(pasta.path());
    db.program.set("Extractor", "P7", "3");
    db.program.set("Extractor", "P11", "2016-12-31 08:05:00");
    db.program.set("Extractor", "P12", "Em Curso");
    wmenutest::RelogioFalso relogio(QDateTime(QDate(2017, 3, 7), QTime(10, 0), Qt::UTC));
    MessageBoxRecorder boxes;

    // The progress goes to the main window's status bar.
    wmenutest::WMenuGravado menu;
    menu.Timer1->stop();
    db.execStaging("delete from LogGeral");
    Aberturas aberturas;
    frmProcessaManual f;
    ASSERT_TRUE(guitest::activate(f));
    escreveData(f.edatDataInicial, "01-02-2017");
    escreveData(f.edatDataFinal, "28-02-2017");
    wmenutest::clica(f.cmdProcessar);

    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text.toStdString();
    ASSERT_GE(aberturas.nomes.size(), 2);
    EXPECT_EQ(aberturas.nomes.mid(0, 2), QStringList({"Velmora", "Empresa"}));
    EXPECT_EQ(aberturas.timeouts[0], 120);
    EXPECT_EQ(aberturas.timeouts[1], 120);
    EXPECT_TRUE(menu.paineis.contains("Processando Movimentos (2017-02-01 a 2017-02-28)"))
        << menu.paineis.join('|').toStdString();
    EXPECT_TRUE(menu.paineis.contains("Acertando clientes/produtos"));
    EXPECT_EQ(menu.paineis.last(), "");

    const auto log = db.staging("select Opcao, Texto from LogGeral order by NumRegisto");
    ASSERT_GE(log.size(), 2U);
    EXPECT_EQ(log.front()[0].toString(), "Início do processamento manual...");
    EXPECT_EQ(log.front()[1].toString(), "2017-02-28");
    EXPECT_EQ(log.back()[0].toString(), "Fim do processamento manual.");
    // The file carries today's date whatever the period; the history keeps its copy.
    QFile mov(pasta.path() + "/NRT170307.MOV");
    ASSERT_TRUE(mov.open(QIODevice::ReadOnly));
    const QByteArray bytes = mov.readAll();
    EXPECT_TRUE(bytes.contains("C1")) << bytes.constData();
    EXPECT_EQ(db.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
    // A manual run leaves the automatic run's keys alone, and what it found new goes again.
    EXPECT_EQ(LerIni("Extractor", "P11"), "2016-12-31 08:05:00");
    EXPECT_EQ(LerIni("Extractor", "P12"), "Em Curso");
    EXPECT_EQ(db.stagingScalar("select count(*) from Movimentos").toInt32(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(ProcessoEmCurso::activo());

    // Another status bar can be given; the screen stays open for the next period.
    testsupport::RecordingRunHost outro;
    f.setStatusB(&outro);
    EXPECT_TRUE(f.Processar());
    EXPECT_TRUE(outro.panelTexts.contains("Processando Movimentos (2017-02-01 a 2017-02-28)"));
    EXPECT_TRUE(f.isVisible());
    qunsetenv("Temp");
}

}  // namespace
