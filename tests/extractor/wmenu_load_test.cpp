// The main window's load: settings first, the staging schema only with server, login and
// database set, the weekday, time and switch shown from the settings, the icon and its image;
// the window's captions, names, menu and timer.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

#include "extractor/MainMod_configuracao.h"
#include "extractor/gui/WMenu.h"
#include "extractor/gui/modSysTray.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/gui_helpers.h"
#include "wmenu_support.h"

namespace {

using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;
using testsupport::TempProgramFolder;

bool mesmaImagem(const QIcon& a, const QIcon& b) { return a.cacheKey() == b.cacheKey(); }

TEST(WMenuLoad, ShowsTheSettingsAndTheSwitchWithItsIcon) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    program.set("Extractor", "P1", "3");
    program.set("Extractor", "P9", "08:05");
    program.set("Extractor", "Ligado", "1");
    {
        WMenu w;
        w.Timer1->stop();
        EXPECT_EQ(WMenu::instancia(), &w);
        EXPECT_FALSE(w.isVisible());  // loaded hidden
        EXPECT_EQ(w.eselP1->count(), 8);
        EXPECT_EQ(w.eselP1->currentText(), "Quarta");
        EXPECT_EQ(w.txtP9->text(), "08:05");
        EXPECT_TRUE(w.chkActiva->isChecked());
        EXPECT_EQ(Configuracao().gintP1, 3);
        EXPECT_EQ(Configuracao().gstrP9, "08:05");
        // The switch writes at every change of its value, the load's included.
        EXPECT_EQ(LerIni("Extractor", "Ligado"), "1");
        const EstadoTray tray = estadoTray();
        EXPECT_TRUE(tray.adicionado);
        EXPECT_FALSE(tray.visivel);  // no notification area here
        EXPECT_EQ(tray.tip, "Extractor Velmora");
        EXPECT_EQ(tray.imagem, 1);
        EXPECT_EQ(tray.uCallbackMessage, WM_MOUSEMOVE);
        EXPECT_TRUE(mesmaImagem(w.windowIcon(), w.imagem(1)));
    }
    EXPECT_EQ(WMenu::instancia(), nullptr);

    // Off, a weekday key that is not in the list, no time.
    program.set("Extractor", "Ligado", "0");
    program.set("Extractor", "P1", "9");
    program.set("Extractor", "P9", "");
    {
        WMenu w;
        w.Timer1->stop();
        EXPECT_EQ(w.eselP1->currentText(), "Todos os Dias");
        EXPECT_EQ(w.txtP9->text(), "");
        EXPECT_FALSE(w.chkActiva->isChecked());
        EXPECT_EQ(estadoTray().imagem, 3);
        EXPECT_TRUE(mesmaImagem(w.windowIcon(), w.imagem(3)));
        EXPECT_EQ(LerIni("Extractor", "Ligado"), "0");
    }
    // Only 1 ticks the box: any other stored value leaves it off, and the file alone.
    program.set("Extractor", "Ligado", "2");
    {
        WMenu w;
        w.Timer1->stop();
        EXPECT_FALSE(w.chkActiva->isChecked());
        EXPECT_EQ(estadoTray().imagem, 3);
        EXPECT_EQ(LerIni("Extractor", "Ligado"), "2");
    }
    // No settings file at all.
    QFile::remove(program.iniFile());
    {
        WMenu w;
        w.Timer1->stop();
        EXPECT_EQ(w.eselP1->currentText(), "Todos os Dias");
        EXPECT_FALSE(w.chkActiva->isChecked());
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(WMenuLoad, BringsTheStagingDatabaseUpOnlyWithServerLoginAndDatabase) {
    MessageBoxRecorder boxes;
    TempEmbeddedServer server;
    TempProgramFolder program;
    program.pointTo(server, "Empresa");
    const QString velmora = server.databaseFile("Velmora");

    // Each of the three blank (blanks only count as blank): no schema, no message.
    for (const char* chave : {"Server", "Login", "Database"}) {
        program.pointTo(server, "Empresa");
        program.set("Tramontix", chave, "\"   \"");
        WMenu w;
        w.Timer1->stop();
        EXPECT_FALSE(QFile::exists(velmora)) << chave;
    }
    EXPECT_TRUE(boxes.shown.empty());

    // All three set: the schema is made after the settings are loaded, and logs the start.
    program.pointTo(server, "Empresa");
    {
        WMenu w;
        w.Timer1->stop();
        EXPECT_EQ(Configuracao().gstrPwd, server.password());
    }
    ASSERT_TRUE(QFile::exists(velmora));
    const auto rows = server.rows("Velmora", "select Opcao from LogGeral");
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0][0].toString(), "Arranque da Aplicação");
}

TEST(WMenuLoad, WindowMenuAndTimerCarryTheSystemsNamesAndCaptions) {
    TempProgramFolder program;
    WMenu w;
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 1000);
    w.Timer1->stop();

    EXPECT_EQ(w.objectName(), "WMenu");
    EXPECT_EQ(w.windowTitle(), "Extractor Velmora");
    EXPECT_EQ(w.lblP9->text(), "Data/Hora de Execução :");
    EXPECT_EQ(w.chkActiva->text(), "Activar o Extractor");
    for (const char* nome : {"eselP1", "txtP9", "chkActiva", "StatusBar1", "Timer1", "mnuOpcoes"}) {
        EXPECT_NE(w.findChild<QObject*>(QString::fromLatin1(nome)), nullptr) << nome;
    }
    EXPECT_EQ(w.statusBar(), w.StatusBar1);
    EXPECT_EQ(w.eselP1->itemText(0), "Todos os Dias");
    EXPECT_EQ(w.eselP1->itemText(2), "Terça");
    EXPECT_EQ(w.eselP1->itemText(6), "Sábado");
    EXPECT_EQ(w.eselP1->itemText(7), "Domingo");

    EXPECT_EQ(w.mnuOpcoes->title(), "Opções");
    const QList<QAction*> topo = w.mnuOpcoes->actions();
    ASSERT_EQ(topo.size(), 3);
    EXPECT_EQ(topo[0]->menu(), w.mnuConfig);
    EXPECT_EQ(topo[0]->text(), "Configurações");
    EXPECT_EQ(topo[1]->objectName(), "mnuProcManual");
    EXPECT_EQ(topo[1]->text(), "Processar Manualmente");
    EXPECT_EQ(topo[2]->objectName(), "mnuSair");
    EXPECT_EQ(topo[2]->text(), "Fechar Aplicativo");

    const std::pair<const char*, const char*> entradas[] = {
        {"mnuConfigura", "Configurações Base"},
        {"mnuLigaClientes", "Configurar Clientes"},
        {"mnuLigaProdutos", "Configurar Produtos"},
        {"mnuConfiguraVendas", "Configurar Vendas"},
        {"mnuConfigDevol", "Configurar Devoluções"},
        {"mnuConfiguraEO", "Configurar Ofertas"},
        {"mnuConfiguraAcV", "Configurar Acerto a Vendas"},
        {"mnuConfAO", "Configurar Acerto a Ofertas"},
    };
    const QList<QAction*> config = w.mnuConfig->actions();
    ASSERT_EQ(config.size(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(config[i]->objectName(), entradas[i].first);
        EXPECT_EQ(config[i]->text(), QString::fromUtf8(entradas[i].second));
    }
    // The two adjustment kinds are kept out of reach, as the design has them.
    EXPECT_FALSE(w.mnuConfiguraAcV->isVisible());
    EXPECT_FALSE(w.mnuConfAO->isVisible());
    EXPECT_TRUE(w.mnuConfiguraEO->isVisible());
    EXPECT_NE(w.imagem(1).cacheKey(), w.imagem(3).cacheKey());
    EXPECT_TRUE(w.imagem(0).isNull());
    EXPECT_TRUE(w.imagem(4).isNull());
}

}  // namespace
