// Settings typed by hand into the file: numbers with letters, signs or more digits than 16 bits
// hold, run times that are no time, last-run dates that are no date or lie in the future, and
// files that are garbage. Loading gives defined values, the scheduler either starts a whole
// run over a defined period or does not start, and nothing crashes.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "extractor/MainMod_configuracao.h"
#include "extractor/gui/WMenu.h"
#include "support/company_db.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/gui_helpers.h"
#include "wmenu_support.h"

namespace {

using testsupport::MessageBoxRecorder;
using wmenutest::RelogioFalso;
using wmenutest::WMenuGravado;

constexpr std::int16_t kAntes = 111;  // what a field held before the load

constexpr std::int32_t kNao = kPortaSmtpIlegivel;

struct Numero {
    const char* texto;
    int esperado;  // kAntes: the value does not fit 16 bits and the field keeps what it had
    std::int32_t porta;  // the SMTP port: the same number in 32 bits (the mail refuses what is no port)
};

TEST(BadInputSettings, NumbersWithLettersSignsAndOverflowLoadAsDefinedValues) {
    const std::vector<Numero> casos = {
        {"abc", 0, 0},              {"7x", 7, 7},
        {"-3", -3, -3},             {"+4", 4, 4},
        {"", 0, 0},                 {" 1 2", 12, 12},
        {"3.5", 4, 4},              {"2.5", 2, 2},
        {"32767", 32767, 32767},    {"-32768", -32768, -32768},
        {"32768", kAntes, 32768},   {"99999999999", kAntes, kNao},
        {"-99999999999", kAntes, kNao}, {"1e999", 1, 1},
        {"\x01\x7f", 0, 0},          {"--5", 0, 0},
        {"0x10", 0, 0},             {"'; drop --", 0, 0},
    };
    MessageBoxRecorder boxes;
    testsupport::TempProgramFolder program;
    int passados = 0;
    for (const Numero& caso : casos) {
        SCOPED_TRACE(caso.texto);
        const QString texto = QString::fromLatin1(caso.texto);
        for (const char* chave : {"P1", "Ligado"}) program.set("Extractor", QString::fromLatin1(chave), texto);
        program.set("Email", "SMTPPort", texto);
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gintP1 = cfg.gintLigado = cfg.gintSMTPPort = kAntes;
        LerConfiguracao();
        const bool ok = cfg.gintP1 == caso.esperado && cfg.gintLigado == caso.esperado &&
                        cfg.gintSMTPPort == caso.porta;
        EXPECT_EQ(cfg.gintP1, caso.esperado);
        EXPECT_EQ(cfg.gintLigado, caso.esperado);
        EXPECT_EQ(cfg.gintSMTPPort, caso.porta);
        if (ok) ++passados;
    }
    EXPECT_EQ(passados, static_cast<int>(casos.size()));
    EXPECT_TRUE(boxes.shown.empty());

    // A file of garbage: every text field reads "" or what the garbage holds, every number 0.
    QRandomGenerator rng(9);
    QByteArray lixo(1 << 18, '\0');
    for (char& c : lixo) c = static_cast<char>(rng.bounded(256));
    lixo.replace('[', ' ');
    program.writeRaw(lixo + QByteArray("\r\n[Extractor]\r\nP1=\0\x01\r\n", 22) + lixo);
    Configuracao().gintP1 = kAntes;
    LerConfiguracao();
    EXPECT_EQ(Configuracao().gintP1, 0);
    EXPECT_EQ(Configuracao().gstrServer, QString());
    EXPECT_EQ(Configuracao().gstrP9, QString());
}

// A main window whose staging server refuses the login: a tick that falls due shows the
// failure in panel 1, which tells whether the tick went on to start a run.
struct Agendador {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    testsupport::TempEmbeddedServer server;
    testsupport::TempProgramFolder program;
    RelogioFalso relogio{QDateTime(QDate(2017, 3, 6), QTime(8, 0), Qt::UTC)};  // a Monday
    WMenu w;
    Agendador() {
        w.Timer1->stop();
        w.chkActiva->setChecked(true);
        program.pointTo(server, QStringLiteral("Empresa"), QStringLiteral("errada"));
    }
    // Loads the settings and ticks through a whole week at the configured minute and the
    // minutes around it; the moments at which a run would have started.
    QStringList arranques(const QString& p1, const QString& p9) {
        program.set("Extractor", "P1", p1);
        program.set("Extractor", "P9", p9);
        LerConfiguracao();
        QStringList out;
        for (int dia = 0; dia < 7; ++dia) {
            for (const QTime& t : {QTime(8, 4), QTime(8, 5), QTime(8, 6), QTime(20, 5), QTime(0, 0)}) {
                relogio.agora = QDateTime(QDate(2017, 3, 6).addDays(dia), t, Qt::UTC);
                w.Panel1->clear();
                w.Timer1_Timer();
                if (w.Panel1->text() == QStringLiteral("Erro na ligação SQL (Velmora)")) {
                    out << QString::number(relogio.agora.date().dayOfWeek()) + relogio.agora.toString(QStringLiteral(" HH:mm"));
                }
            }
        }
        return out;
    }
};

TEST(BadInputSettings, TheSchedulerStartsOnlyAtARunTimeAndWeekdayItCanRead) {
    Agendador a;
    const QStringList todosOsDias = {"1 08:05", "2 08:05", "3 08:05", "4 08:05", "5 08:05", "6 08:05", "7 08:05"};
    // Run times that are no "hh:mm" of the clock never fall due; they stop nothing else.
    for (const char* p9 : {"8:05", "08:5", "08:05:00", "0805", "08.05", "25:00", "08:60", "ab:cd", "", " ",
                           "08:05'; --", "99999999999"}) {
        EXPECT_EQ(a.arranques("0", QString::fromLatin1(p9)), QStringList()) << p9;
    }
    EXPECT_EQ(a.arranques("0", "08:05"), todosOsDias);
    // Weekdays: letters and an empty text read 0, every day; a number that is no weekday never
    // falls due; one beyond 16 bits leaves the weekday that was loaded before.
    EXPECT_EQ(a.arranques("abc", "08:05"), todosOsDias);
    EXPECT_EQ(a.arranques("", "08:05"), todosOsDias);
    EXPECT_EQ(a.arranques("3x", "08:05"), QStringList{"3 08:05"});
    EXPECT_EQ(a.arranques("-3", "08:05"), QStringList());
    EXPECT_EQ(a.arranques("8", "08:05"), QStringList());
    EXPECT_EQ(a.arranques("99999999999", "08:05"), QStringList());  // still -3 from before
    EXPECT_EQ(a.arranques("7", "08:05"), QStringList{"7 08:05"});
    EXPECT_TRUE(a.boxes.shown.empty());
}

TEST(BadInputSettings, BadCutOffsAndLastRunDatesStillGiveWholeRunsOverADefinedPeriod) {
    guitest::ScopedLocale locale;
    QTemporaryDir pasta;
    QTemporaryDir temp;
    qputenv("Temp", temp.path().toLocal8Bit());
    testsupport::RunDatabases db;
    db.addOneSale("2017-01-05");
    db.setExport(pasta.path());
    db.program.set("Extractor", "P1", "0");
    db.program.set("Extractor", "P9", "14:05");
    db.program.set("Extractor", "Ligado", "1");
    LerConfiguracao();

    RelogioFalso relogio(QDateTime(QDate(2017, 3, 1), QTime(14, 5, 9), Qt::UTC));
    MessageBoxRecorder boxes;
    WMenuGravado w;
    w.Timer1->stop();

    struct Caso {
        const char* p7;
        const char* p11;
        const char* inicio;  // the period's first day the run shows
    };
    const std::vector<Caso> casos = {
        {"abc", "2017-03-01 10:00:00", "2017-03-01"},
        {"-5", "2017-03-01 10:00:00", "2017-03-01"},
        {"99999999999", "2017-03-01 10:00:00", "2017-03-01"},
        {"-99999999999", "2017-03-01 10:00:00", "2017-03-01"},
        {"3", "2017-02-30 10:00:00", "2017-01-01"},
        {"3", "2017-02-30", "2017-01-01"},
        {"3", "0000-00-00 00:00:00", "2017-01-01"},
        {"3", "", "2017-01-01"},
        {"3", "'; delete from Movimentos --", "2017-01-01"},
        // A last run later than today: the period would end before it starts.
        {"3", "9999-12-31 23:59:59", "2017-01-01"},
        {"3", "2017-12-31 08:00:00", "2017-01-01"},
    };
    int passados = 0;
    for (std::size_t i = 0; i < casos.size(); ++i) {
        const Caso& caso = casos[i];
        SCOPED_TRACE(std::string(caso.p7) + " / " + caso.p11);
        db.program.set("Extractor", "P7", QString::fromLatin1(caso.p7));
        db.program.set("Extractor", "P11", QString::fromLatin1(caso.p11));
        db.execStaging("delete from LogGeral");
        w.paineis.clear();
        relogio.em(2017, 3, 2 + static_cast<int>(i), 14, 5, 1);
        const QString hoje = relogio.agora.date().toString(QStringLiteral("yyyy-MM-dd"));
        w.Timer1_Timer();
        const QString periodo = QStringLiteral("Processando Movimentos (") + QString::fromLatin1(caso.inicio) +
                                QStringLiteral(" a ") + hoje + u')';
        const bool ok = w.paineis.contains(periodo) &&
                        db.stagingScalar("select count(*) from LogGeral where Opcao like 'Função%'").toInt32() == 0 &&
                        db.stagingScalar("select count(*) from LogGeral where Opcao='Fim do processamento "
                                         "automático.'")
                                .toInt32() == 1 &&
                        LerIni("Extractor", "P12") == QStringLiteral("Concluído");
        EXPECT_TRUE(ok) << w.paineis.join('|').toStdString();
        if (ok) ++passados;
    }
    EXPECT_EQ(passados, static_cast<int>(casos.size()));
    // The January line was taken by the first run that reached back to 1 January, once.
    EXPECT_EQ(db.stagingScalar("select count(*) from Movimentos where isnull(Status,'')=''").toInt32(), 1);
    EXPECT_EQ(db.stagingScalar("select count(*) from HistFiles").toInt32(), static_cast<int>(casos.size()));
    EXPECT_TRUE(boxes.shown.empty());
    qunsetenv("Temp");
}

}  // namespace
