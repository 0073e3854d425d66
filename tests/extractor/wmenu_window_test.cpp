// The main window as the operator meets it: the switch that writes Ligado, the icon's mouse
// events, the menu and the screens it opens, closing that only hides, and the exit that logs
// "Fecho da Aplicação". Also the notification record, SetIcon and IsFormCarregado.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <memory>

#include "extractor/MainMod_configuracao.h"
#include "extractor/gui/IsFormCarregado.h"
#include "extractor/gui/WMenu.h"
#include "extractor/gui/modSysTray.h"
#include "support/company_db.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/gui/IconeDoMenu.h"
#include "util/gui_helpers.h"
#include "wmenu_support.h"

namespace {

using testsupport::MessageBoxRecorder;
using testsupport::TempProgramFolder;
using wmenutest::FimGravado;

// On the box itself, where a click toggles it.
void clicaCaixa(QCheckBox* caixa) { wmenutest::clica(caixa, QPoint(6, caixa->height() / 2)); }

TEST(WMenuWindow, TheSwitchWritesLigadoAndSetsTheIcon) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    program.set("Extractor", "Ligado", "0");
    WMenu w;
    w.Timer1->stop();
    ASSERT_TRUE(guitest::activate(w));

    clicaCaixa(w.chkActiva);
    EXPECT_TRUE(w.chkActiva->isChecked());
    EXPECT_EQ(LerIni("Extractor", "Ligado"), "1");
    EXPECT_EQ(Configuracao().gintLigado, 1);
    EXPECT_EQ(estadoTray().imagem, 1);
    EXPECT_EQ(estadoTray().tip, "Extractor Velmora");
    EXPECT_EQ(w.windowIcon().cacheKey(), w.imagem(1).cacheKey());

    clicaCaixa(w.chkActiva);
    EXPECT_FALSE(w.chkActiva->isChecked());
    EXPECT_EQ(LerIni("Extractor", "Ligado"), "0");
    EXPECT_EQ(Configuracao().gintLigado, 0);
    EXPECT_EQ(estadoTray().imagem, 3);
    EXPECT_EQ(w.windowIcon().cacheKey(), w.imagem(3).cacheKey());
    // The other keys of the file stay as they were.
    program.set("Extractor", "P9", "10:00");
    clicaCaixa(w.chkActiva);
    EXPECT_EQ(LerIni("Extractor", "P9"), "10:00");
    EXPECT_TRUE(boxes.shown.empty());

    // A file that cannot be written: the switch works for this session and says so.
    QFile::remove(program.iniFile());
    ASSERT_TRUE(QDir().mkdir(program.iniFile()));
    clicaCaixa(w.chkActiva);
    EXPECT_FALSE(w.chkActiva->isChecked());
    EXPECT_EQ(Configuracao().gintLigado, 0);
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Não foi possível gravar o ficheiro de configurações Velmora.ini");
    EXPECT_EQ(boxes.shown[0].style, 16);
    QDir().rmdir(program.iniFile());
}

TEST(WMenuWindow, ClosingOnlyHidesAndTheIconShowsTheWindowAndTheMenu) {
    TempProgramFolder program;
    FimGravado fim;
    WMenu w;
    w.Timer1->stop();

    w.Form_MouseMove(0x203);  // left double click on the icon
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.close() == false);  // the close is cancelled ...
    EXPECT_FALSE(w.isVisible());       // ... and the window hidden
    EXPECT_EQ(WMenu::instancia(), &w);
    EXPECT_EQ(fim.fins, 0);

    w.Form_MouseMove(0x202);  // a single left click does nothing
    w.Form_MouseMove(0x200);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.mnuOpcoes->isVisible());

    w.Form_MouseMove(0x205);  // right button up: the menu at the mouse
    EXPECT_TRUE(w.mnuOpcoes->isVisible());
    w.mnuOpcoes->hide();

    // While a modal screen is open the icon's events do not reach the window.
    QDialog modal;
    modal.setModal(true);
    modal.show();
    w.Form_MouseMove(0x205);
    w.Form_MouseMove(0x203);
    EXPECT_FALSE(w.mnuOpcoes->isVisible());
    EXPECT_FALSE(w.isVisible());
    modal.hide();
    w.Form_MouseMove(0x203);
    EXPECT_TRUE(w.isVisible());
}

TEST(WMenuWindow, TheMenuOpensItsScreens) {
    TempProgramFolder program;
    QStringList abertos;
    WMenu::Ecras ecras;
    ecras.Configura = [&] { abertos << "frmConfigura"; };
    ecras.LigaClientes = [&] { abertos << "frmTabLigaClientes"; };
    ecras.LigaProdutos = [&] { abertos << "frmTabLigaProdutos"; };
    ecras.LigaVendas = [&](QString& Mascara) { abertos << "frmTabLigaVendas " + Mascara; };
    ecras.ProcessaManual = [&] { abertos << "frmProcessaManual"; };
    WMenu w(ecras);
    w.Timer1->stop();

    // A real pop-up, and a click on its entry.
    w.Form_MouseMove(0x205);
    ASSERT_TRUE(w.mnuOpcoes->isVisible());
    const QRect r = w.mnuOpcoes->actionGeometry(w.mnuProcManual);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(r.center()), QPointF(w.mnuOpcoes->mapToGlobal(r.center())),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.mnuOpcoes, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(r.center()),
                        QPointF(w.mnuOpcoes->mapToGlobal(r.center())), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.mnuOpcoes, &release);
    EXPECT_EQ(abertos, QStringList({"frmProcessaManual"}));
    w.mnuOpcoes->hide();

    for (QAction* a : {w.mnuConfigura, w.mnuLigaClientes, w.mnuLigaProdutos, w.mnuConfiguraVendas, w.mnuConfigDevol,
                       w.mnuConfiguraEO, w.mnuConfiguraAcV, w.mnuConfAO}) {
        a->trigger();
    }
    EXPECT_EQ(abertos, QStringList({"frmProcessaManual", "frmConfigura", "frmTabLigaClientes", "frmTabLigaProdutos",
                                    "frmTabLigaVendas V", "frmTabLigaVendas D", "frmTabLigaVendas EO",
                                    "frmTabLigaVendas AV", "frmTabLigaVendas AO"}));

    // Without screens handed in, the entries do nothing.
    WMenu semEcras;
    semEcras.Timer1->stop();
    semEcras.mnuConfigura->trigger();
    semEcras.mnuConfiguraVendas->trigger();
}

TEST(WMenuWindow, TheExitRemovesTheIconLogsAndEndsTheProgram) {
    testsupport::RunDatabases db;
    MessageBoxRecorder boxes;
    FimGravado fim;
    WMenu w;
    db.execStaging("delete from LogGeral");
    ASSERT_TRUE(estadoTray().adicionado);

    w.mnuSair->trigger();
    EXPECT_EQ(fim.fins, 1);
    EXPECT_FALSE(estadoTray().adicionado);
    EXPECT_FALSE(w.Timer1->isActive());
    const auto rows = db.staging("select Opcao, Texto from LogGeral");
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0][0].toString(), "Fecho da Aplicação");
    EXPECT_EQ(rows[0][1].toString(), "");
    // Once the exit started, the window closes for real.
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(boxes.shown.empty());

    // Without a reachable staging database the exit still ends the program, without a word.
    Configuracao().gstrPwd = QStringLiteral("errada");
    WMenu outra;
    outra.mnuSair->trigger();
    EXPECT_EQ(fim.fins, 2);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(ModSysTray, TheRecordAndTheOperationsFollowTheNotificationArea) {
    TempProgramFolder program;
    NOTIFYICONDATA nid;
    QWidget janela;
    FillNotifyIconData(nid, &janela, 1, 7, 0x200, QIcon(), QStringLiteral("Extractor Velmora"));
    EXPECT_EQ(nid.cbSize, 88U);
    EXPECT_EQ(nid.hWnd, &janela);
    EXPECT_EQ(nid.uID, 1U);
    EXPECT_EQ(nid.uFlags, 7U);
    EXPECT_EQ(nid.uCallbackMessage, 0x200U);
    ASSERT_EQ(nid.szTip.size(), 64);
    EXPECT_EQ(nid.szTip, QStringLiteral("Extractor Velmora") + QChar(u'\0') + QString(46, u' '));
    // A tip of 64 characters or more is cut to 64, without its character 0.
    FillNotifyIconData(nid, &janela, 1, 7, 0x200, QIcon(), QString(40000, u'x'));
    EXPECT_EQ(nid.szTip, QString(64, u'x'));
    FillNotifyIconData(nid, &janela, 1, 7, 0x200, QIcon(), QString());
    EXPECT_EQ(nid.szTip, QChar(u'\0') + QString(63, u' '));

    // With no main window loaded the operations go to no window; the area keeps its rules.
    RemoveTrayIcon();
    ModifyTrayIcon(QStringLiteral("x"), 2);
    EXPECT_FALSE(estadoTray().adicionado);  // modified before it was added: refused
    AddTrayIcon(QStringLiteral("Extractor Velmora"), 3);
    {
        WMenu w;  // its load adds the icon of its own window
        w.Timer1->stop();
        EXPECT_EQ(estadoTray().imagem, 3);
        NOTIFYICONDATA dupla;
        FillNotifyIconData(dupla, &w, 1, 7, 0x200, QIcon(), QStringLiteral("y"));
        EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, dupla));  // added twice
        FillNotifyIconData(dupla, &w, 2, 7, 0x200, QIcon(), QStringLiteral("y"));
        EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, dupla));  // another identifier
        ModifyTrayIcon(QString(100, u'z'), 2);
        EXPECT_EQ(estadoTray().tip, QString(64, u'z'));
        RemoveTrayIcon();
        EXPECT_FALSE(estadoTray().adicionado);
        ModifyTrayIcon(QStringLiteral("Extractor Velmora"), 1);
        EXPECT_FALSE(estadoTray().adicionado);
        EXPECT_EQ(w.windowIcon().cacheKey(), w.imagem(1).cacheKey());  // the window follows all the same
        AddTrayIcon(QStringLiteral("Extractor Velmora"), 1);
        EXPECT_TRUE(estadoTray().adicionado);
    }
    // The icon of a window that is gone goes with it.
    AddTrayIcon(QStringLiteral("Extractor Velmora"), 1);
    EXPECT_TRUE(estadoTray().adicionado);
    RemoveTrayIcon();
}

TEST(MainModWindows, SetIconAndIsFormCarregado) {
    TempProgramFolder program;
    QDialog ecra;
    ecra.setObjectName(QStringLiteral("frmSendMail"));
    ecra.setWindowTitle(QStringLiteral("Norta - SMTP"));
    SetIcon(&ecra);  // no main window: nothing to take
    EXPECT_TRUE(ecra.windowIcon().isNull());
    SetIcon(nullptr);
    {
        WMenu w;
        w.Timer1->stop();
        SetIcon(&ecra);
        EXPECT_EQ(ecra.windowIcon().cacheKey(), w.windowIcon().cacheKey());
        EXPECT_EQ(ecra.windowTitle(), "Norta - SMTP");
        EXPECT_EQ(w.windowIcon().cacheKey(), w.imagem(3).cacheKey());
    }
    QDialog depois;
    SetIcon(&depois);
    EXPECT_TRUE(depois.windowIcon().isNull()) << "a main window that is gone gives no icon";

    QString nome = QStringLiteral("  frmsendMAIL ");
    EXPECT_TRUE(IsFormCarregado(nome));  // loaded, though never shown
    EXPECT_EQ(nome, "FRMSENDMAIL");
    EXPECT_TRUE(IsFormCarregado(QStringLiteral("FRMSENDMAIL")));
    EXPECT_FALSE(IsFormCarregado(QStringLiteral("frmSendMai")));
    EXPECT_FALSE(IsFormCarregado(QStringLiteral("frmConfigura")));
    QString vazio = QStringLiteral("   ");
    EXPECT_FALSE(IsFormCarregado(vazio));  // unnamed widgets are no windows
    EXPECT_EQ(vazio, "");
    EXPECT_FALSE(IsFormCarregado(QString(40000, u'x')));
    {
        auto filho = std::make_unique<QWidget>(&ecra);
        filho->setObjectName(QStringLiteral("lblInfo"));
        EXPECT_FALSE(IsFormCarregado(QStringLiteral("lblInfo")));  // a control, not a window
    }
}

TEST(WMenuWindow, WithoutANotificationAreaTheWindowIsTheWayIn) {
    struct Caso {
        bool areaDeNotificacao;
        const char* plataforma;
        bool mostrada;
    };
    for (const Caso& c : {Caso{true, "xcb", false}, Caso{true, "wayland", false}, Caso{false, "xcb", true},
                          Caso{false, "wayland", true}, Caso{false, "offscreen", false},
                          Caso{false, "minimal", false}, Caso{true, "offscreen", false}}) {
        EXPECT_EQ(janelaVisivelAoIniciar(c.areaDeNotificacao, QString::fromLatin1(c.plataforma)), c.mostrada)
            << c.plataforma << (c.areaDeNotificacao ? " with" : " without") << " a notification area";
    }

    TempProgramFolder program;
    FimGravado fim;
    WMenu w;
    w.Timer1->stop();
    w.MostraSemIcone();
    w.MostraSemIcone();  // once is enough: one menu in the bar
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(w.menuBar()->actions().size(), 1);
    EXPECT_EQ(w.menuBar()->actions().front()->menu(), w.mnuOpcoes);
    // A close only minimises: a hidden window could not be shown again.
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
    EXPECT_EQ(fim.fins, 0);
    w.mnuSair->trigger();
    EXPECT_EQ(fim.fins, 1);
}

}  // namespace
