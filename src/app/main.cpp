// The program's entry, Main: a single copy, the settings file's name, the regional settings
// checked, and the main window WMenu loaded hidden (shown where the desktop has no notification
// area). From then on the program lives in the main
// window's event loop (scheduler, notification icon, menu) until "Fechar Aplicativo".

#include <QApplication>
#include <QSystemTrayIcon>
#include <memory>

#include "extractor/MainMod.h"
#include "extractor/MainMod_config.h"
#include "extractor/gui/WMenu.h"
#include "extractor/gui/modSysTray.h"
#include "linkscreens/frmTabLigaClientes.h"
#include "linkscreens/frmTabLigaProdutos.h"
#include "linkscreens/frmTabLigaVendas.h"
#include "platform/gui/qtmessagebox.h"
#include "platform/gui/qtsystemhooks.h"
#include "platform/messagebox.h"
#include "platform/singlecopy.h"
#include "screens/frmConfigura.h"
#include "screens/frmProcessaManual.h"
#include "sqltoolkit/gui/ponteiro.h"
#include "util/gui/WAlert1.h"

namespace {

// The windowed services (message boxes, the choice dialog, folder picker, beep) for the life of the application.
class WindowedServices {
public:
    WindowedServices() {
        platform::setMessageBoxHost(&boxes_);
        platform::installQtSystemHooks();
        util::gui::installAlertDialog();
        csql::gui::installMousePointer();
        InstalaServicosConfig();
    }
    ~WindowedServices() {
        util::gui::removeAlertDialog();
        platform::removeQtSystemHooks();
        platform::setMessageBoxHost(nullptr);
    }
    WindowedServices(const WindowedServices&) = delete;
    WindowedServices& operator=(const WindowedServices&) = delete;

private:
    platform::QtMessageBoxHost boxes_;
};

// ---- the screens of the main window's menu, each shown modally --------------------------

void abreConfigura() {
    frmConfigura ecra;
    ecra.exec();
}

void abreProcessaManual() {
    frmProcessaManual ecra;
    ecra.exec();
}

// The link-rule screens; their results are not used.
void abreLigaClientes() {
    frmTabLigaClientes ecra;
    ecra.ShowForm();
}

void abreLigaProdutos() {
    frmTabLigaProdutos ecra;
    ecra.ShowForm();
}

void abreLigaVendas(QString& Mascara) {
    frmTabLigaVendas ecra;
    ecra.ShowForm(Mascara);
}

WMenu::Ecras ecrasDoMenu() {
    WMenu::Ecras e;
    e.Configura = abreConfigura;
    e.LigaClientes = abreLigaClientes;
    e.LigaProdutos = abreLigaProdutos;
    e.LigaVendas = abreLigaVendas;
    e.ProcessaManual = abreProcessaManual;
    return e;
}

// Main, in its order. Nothing when the program must end at once (another copy runs).
std::unique_ptr<WMenu> Main(platform::SingleCopyLock& copiaUnica) {
    if (copiaUnica.isAnotherCopyRunning()) {
        platform::MsgBox(kJaEmExecucao, platform::mb::Critical);
        return nullptr;
    }
    gstrFicheiroIni() = QStringLiteral("Velmora.ini");
    AcertaLocale();
    return std::make_unique<WMenu>(ecrasDoMenu());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // The main window is hidden all the time: closing a screen opened from its menu must not
    // end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    WindowedServices services;

    platform::SingleCopyLock copiaUnica;
    const std::unique_ptr<WMenu> menu = Main(copiaUnica);
    if (!menu) return 0;
    // A desktop without a notification area has no icon to open the menu from: the window is
    // shown so that the settings, the manual run and the exit stay within the operator's reach.
    if (janelaVisivelAoIniciar(QSystemTrayIcon::isSystemTrayAvailable(), QGuiApplication::platformName())) {
        menu->MostraSemIcone();
    }
    return QApplication::exec();
}
