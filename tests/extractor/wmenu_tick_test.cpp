// The scheduler tick, minute by minute on a fake clock: the weekday and time rules, the
// same-minute guard of P11, connection failures in panel 1, and whole automatic runs over the
// period from P11 (or 1 January) to today.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <vector>

#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/gui/ProcessoEmCurso.h"
#include "extractor/gui/WMenu.h"
#include "extractor/gui/modSysTray.h"
#include "extractor/modActDB.h"
#include "platform/messagebox.h"
#include "support/company_db.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/Locale.h"
#include "util/gui_helpers.h"
#include "wmenu_support.h"

namespace {

using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;
using testsupport::TempProgramFolder;
using wmenutest::RelogioFalso;
using wmenutest::WMenuGravado;

const QString kErroVelmora = QStringLiteral("Erro na ligação SQL (Velmora)");
const QString kErroTramonta = QStringLiteral("Erro na ligação SQL (Tramonta)");

// Every opening the openers make: the database's name.
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

// A main window whose staging server refuses the login: a tick that falls due shows the
// failure in panel 1, which tells whether the tick went as far as opening.
struct TickComLoginRecusado {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempEmbeddedServer server;
    TempProgramFolder program;
    RelogioFalso relogio{QDateTime(QDate(2017, 3, 6), QTime(8, 0), Qt::UTC)};  // a Monday
    WMenu w;
    TickComLoginRecusado() {
        w.Timer1->stop();
        w.chkActiva->setChecked(true);
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gstrServer = server.serverName();
        cfg.gstrUID = server.login();
        cfg.gstrPwd = QStringLiteral("errada");
        cfg.gstrDataBase = QStringLiteral("Empresa");
        cfg.gintP1 = 0;
        cfg.gstrP9 = QStringLiteral("08:05");
    }
    // Ticks at that moment; true when the tick went on to open the staging database.
    bool tentaEm(const QDate& dia, int h, int m, int s = 0) {
        relogio.agora = QDateTime(dia, QTime(h, m, s), Qt::UTC);
        w.Timer1_Timer();
        return w.Panel1->text() == kErroVelmora;
    }
};

TEST(WMenuTick, RunsOnlyOnTheConfiguredWeekdayAndExactMinute) {
    TickComLoginRecusado t;
    const QDate segunda(2017, 3, 6);
    for (int p1 = 0; p1 <= 7; ++p1) {
        Configuracao().gintP1 = static_cast<std::int16_t>(p1);
        for (int d = 0; d < 7; ++d) {
            const QDate dia = segunda.addDays(d);
            const bool devido = p1 == 0 || p1 == dia.dayOfWeek();
            EXPECT_EQ(t.tentaEm(dia, 8, 5), devido) << "P1 " << p1 << " on " << dia.toString().toStdString();
            EXPECT_EQ(t.tentaEm(dia, 8, 5, 59), devido);
            EXPECT_FALSE(t.tentaEm(dia, 8, 4, 59));
            EXPECT_FALSE(t.tentaEm(dia, 8, 6));
            EXPECT_FALSE(t.tentaEm(dia, 20, 5));
        }
    }
    EXPECT_EQ(t.w.Panel2->text(), "20:05");

    // The time is compared as text: "8:05" never matches 08:05.
    Configuracao().gintP1 = 0;
    Configuracao().gstrP9 = QStringLiteral("8:05");
    EXPECT_FALSE(t.tentaEm(segunda, 8, 5));
    Configuracao().gstrP9 = QString();
    EXPECT_FALSE(t.tentaEm(segunda, 0, 0));

    // The regional time separator joins hours and minutes, as the settings screen stores P9.
    Locale().gstrHoraSep = QStringLiteral(".");
    Configuracao().gstrP9 = QStringLiteral("08:05");
    EXPECT_FALSE(t.tentaEm(segunda, 8, 5));
    EXPECT_EQ(t.w.Panel2->text(), "08.05");
    Configuracao().gstrP9 = QStringLiteral("08.05");
    EXPECT_TRUE(t.tentaEm(segunda, 8, 5));

    // Off: panel 1 is still cleared every second, panel 2 keeps its last time.
    t.w.chkActiva->setChecked(false);
    t.w.Panel1->setText(QStringLiteral("x"));
    EXPECT_FALSE(t.tentaEm(segunda, 8, 5));
    EXPECT_EQ(t.w.Panel1->text(), "");
    EXPECT_EQ(t.w.Panel1->toolTip(), "");
    EXPECT_EQ(t.w.Panel2->text(), "08.05");
    // Only the refused login ever showed up: the load had no server to bring up.
    EXPECT_TRUE(t.boxes.shown.empty());
}

TEST(WMenuTick, P11OfThisMinuteStopsTheTickAndARunInProgressIsNotRunOver) {
    TickComLoginRecusado t;
    const QDate dia(2017, 3, 7);
    t.program.set("Extractor", "P11", "2017-03-07 08:05:00");
    EXPECT_FALSE(t.tentaEm(dia, 8, 5, 30));
    t.program.set("Extractor", "P11", "2017-03-07 08:04:59");
    EXPECT_TRUE(t.tentaEm(dia, 8, 5, 30));
    t.program.set("Extractor", "P11", "2017-03-06 08:05:00");  // yesterday's run
    EXPECT_TRUE(t.tentaEm(dia, 8, 5));
    // Written in the regional short date, as the settings screen may write it back.
    t.program.set("Extractor", "P11", "07-03-2017 08:05:10");
    EXPECT_FALSE(t.tentaEm(dia, 8, 5, 30));
    // Empty or unreadable never matches.
    t.program.set("Extractor", "P11", "");
    EXPECT_TRUE(t.tentaEm(dia, 8, 5));
    t.program.set("Extractor", "P11", "ontem");
    EXPECT_TRUE(t.tentaEm(dia, 8, 5));

    {
        Aberturas aberturas;
        ProcessoEmCurso manual;
        EXPECT_FALSE(t.tentaEm(dia, 8, 5));
        EXPECT_TRUE(aberturas.nomes.isEmpty());
    }
    EXPECT_TRUE(t.tentaEm(dia, 8, 5));
}

TEST(WMenuTick, AFailedConnectionShowsItsErrorAndIsTriedAgainWithinTheMinute) {
    TickComLoginRecusado t;
    const QDate dia(2017, 3, 7);
    {
        Aberturas aberturas;
        ASSERT_TRUE(t.tentaEm(dia, 8, 5, 1));
        EXPECT_EQ(t.w.Panel1->toolTip(), QString::number(errC()) + QStringLiteral(" ") + errD());
        EXPECT_TRUE(t.w.Panel1->toolTip().startsWith(QStringLiteral("18456 Login failed")));
        EXPECT_TRUE(t.tentaEm(dia, 8, 5, 2));
        EXPECT_TRUE(t.tentaEm(dia, 8, 5, 3));
        EXPECT_EQ(aberturas.nomes, QStringList({"Velmora", "Velmora", "Velmora"}));
        EXPECT_EQ(aberturas.timeouts, std::vector<std::int32_t>({120, 120, 120}));
    }
    // Nothing written, nothing logged, no message, the icon never changed.
    EXPECT_EQ(LerIni("Extractor", "P11"), "");
    EXPECT_EQ(estadoTray().imagem, 1);
    EXPECT_TRUE(t.boxes.shown.empty());
    // The next minute the panel and its tooltip are clear again.
    EXPECT_FALSE(t.tentaEm(dia, 8, 6));
    EXPECT_EQ(t.w.Panel1->toolTip(), "");

    // The staging database opens, the company database does not.
    Configuracao().gstrPwd = t.server.password();
    Configuracao().gstrDataBase = QStringLiteral("Inexistente");
    ActualizaBaseDados();
    Aberturas aberturas;
    t.tentaEm(dia, 8, 5);
    EXPECT_EQ(t.w.Panel1->text(), kErroTramonta);
    EXPECT_TRUE(t.w.Panel1->toolTip().startsWith(QStringLiteral("4060 "))) << t.w.Panel1->toolTip().toStdString();
    EXPECT_EQ(aberturas.nomes, QStringList({"Velmora", "Inexistente"}));
    EXPECT_EQ(LerIni("Extractor", "P11"), "");
}

// A box host that, when "Falha no Processo" comes up during a run, looks at what the main
// window shows at that moment and ticks once more in the same minute.
class DuranteAFalha : public platform::MessageBoxHost {
public:
    explicit DuranteAFalha(WMenu& w) : w_(w), anterior_(platform::messageBoxHost()) {
        platform::setMessageBoxHost(this);
    }
    ~DuranteAFalha() override { platform::setMessageBoxHost(anterior_); }
    int show(const QString& text, int style, const QString&) override {
        textos << text;
        estado = estadoTray();
        iconeDaJanela = w_.windowIcon().cacheKey();
        emCurso = ProcessoEmCurso::activo();
        w_.Timer1_Timer();
        return platform::defaultAnswer(style);
    }
    QStringList textos;
    EstadoTray estado;
    qint64 iconeDaJanela = 0;
    bool emCurso = false;

private:
    WMenu& w_;
    platform::MessageBoxHost* anterior_;
};

TEST(WMenuTick, AutomaticRunsCoverP11OrTheFirstOfJanuaryToToday) {
    guitest::ScopedLocale locale;
    QTemporaryDir pasta;
    QTemporaryDir temp;
    qputenv("Temp", temp.path().toLocal8Bit());
    testsupport::RunDatabases db;
    db.addOneSale("2017-01-05");
    db.setExport(pasta.path());
    db.program.set("Extractor", "P7", "3");
    db.program.set("Extractor", "P1", "0");
    db.program.set("Extractor", "P9", "14:05");
    db.program.set("Extractor", "Ligado", "1");

    RelogioFalso relogio(QDateTime(QDate(2017, 3, 7), QTime(14, 5, 9), Qt::UTC));
    MessageBoxRecorder boxes;
    WMenuGravado w;
    w.Timer1->stop();
    db.execStaging("delete from LogGeral");
    const auto inicios = [&db] {
        return db.staging("select Texto from LogGeral where Opcao='Início do processamento automático...'");
    };

    // The first run: P11 empty, so from 1 January of this year to today.
    w.Timer1_Timer();
    EXPECT_TRUE(w.paineis.contains("Processando Movimentos (2017-01-01 a 2017-03-07)")) << w.paineis.join('|').toStdString();
    ASSERT_EQ(inicios().size(), 1U);
    EXPECT_EQ(inicios()[0][0].toString(), "2017-03-07");
    EXPECT_EQ(LerIni("Extractor", "P12"), "Concluído");
    EXPECT_TRUE(QFile::exists(pasta.path() + "/NRT170307.MOV"));
    EXPECT_EQ(db.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
    EXPECT_EQ(db.stagingScalar("select count(*) from Movimentos").toInt32(), 1);  // the January line
    EXPECT_EQ(w.Panel1->text(), "");
    EXPECT_EQ(estadoTray().imagem, 1);
    EXPECT_EQ(estadoTray().tip, "Extractor Velmora");
    EXPECT_FALSE(ProcessoEmCurso::activo());

    // Later in the same minute: P11 holds this minute, no second run.
    relogio.em(2017, 3, 7, 14, 5, 40);
    w.Timer1_Timer();
    EXPECT_EQ(inicios().size(), 1U);
    EXPECT_EQ(w.Panel2->text(), "14:05");

    // The next day: from the date of P11. The export writer fails (its folder is gone): the
    // failure box comes up while the icon shows the run, and a tick then starts nothing.
    db.program.set("Extractor", "P3", pasta.path() + "/desaparecida");
    relogio.em(2017, 3, 8, 14, 5, 1);
    w.paineis.clear();
    {
        DuranteAFalha falha(w);
        w.Timer1_Timer();
        ASSERT_EQ(falha.textos, QStringList({"Falha no Processo"}));
        EXPECT_EQ(falha.estado.imagem, 2);
        EXPECT_EQ(falha.estado.tip, "Extractor Velmora em Execução!");
        EXPECT_EQ(falha.iconeDaJanela, w.imagem(2).cacheKey());
        EXPECT_TRUE(falha.emCurso);
    }
    EXPECT_TRUE(w.paineis.contains("Processando Movimentos (2017-03-07 a 2017-03-08)")) << w.paineis.join('|').toStdString();
    EXPECT_EQ(inicios().size(), 2U);
    EXPECT_EQ(estadoTray().imagem, 1);
    EXPECT_EQ(w.windowIcon().cacheKey(), w.imagem(1).cacheKey());

    // An unreadable P11 counts as none: from 1 January again.
    db.program.set("Extractor", "P3", pasta.path());
    db.program.set("Extractor", "P11", "ontem");
    relogio.em(2017, 3, 9, 14, 5);
    w.paineis.clear();
    w.Timer1_Timer();
    EXPECT_TRUE(w.paineis.contains("Processando Movimentos (2017-01-01 a 2017-03-09)")) << w.paineis.join('|').toStdString();
    EXPECT_EQ(inicios().size(), 3U);
    qunsetenv("Temp");
}

}  // namespace
