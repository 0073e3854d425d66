#pragma once
// WMenu: the program's main window. It is loaded hidden at start-up and lives as long as the
// program. Its load finishes the start-up (settings, staging schema, notification icon); its
// one-second timer Timer1 is the scheduler that starts the automatic run at the configured
// weekday and minute; the notification icon (modSysTray) shows whether the scheduler is on (1),
// running (2) or off (3), and opens the options menu mnuOpcoes. A double click on the icon
// shows the window; closing it only hides it again; "Fechar Aplicativo" ends the program.
//
// The screens that the menu opens live in the folders built on top of this one; the program
// hands them in (Ecras), so the window does not depend on them.
//
// On a desktop without a notification area (modSysTray's janelaVisivelAoIniciar) the program
// shows the window at start with MostraSemIcone: mnuOpcoes is then its menu bar, and closing
// minimises it instead of hiding it, since nothing could show it again.
//
// While a modal window is open the main window takes no mouse events from its icon, as a
// window disabled by a modal screen would: the menu cannot open a second screen over the first.

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>

#include "extractor/RunHost.h"
#include "extractor/gui/frmSendMail.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class QTimer;

class WMenu : public QMainWindow, public RunHost {
    Q_OBJECT

public:
    // The screens of the menu, each shown modally by the function given; an empty function
    // makes its entry do nothing.
    struct Ecras {
        std::function<void()> Configura;                  // "Configurações Base": frmConfigura
        std::function<void()> LigaClientes;               // "Configurar Clientes": frmTabLigaClientes
        std::function<void()> LigaProdutos;               // "Configurar Produtos": frmTabLigaProdutos
        std::function<void(QString& Mascara)> LigaVendas; // frmTabLigaVendas.ShowForm(Mascara)
        std::function<void()> ProcessaManual;             // "Processar Manualmente": frmProcessaManual
    };

    // Loads the window hidden: builds it and runs its load (Form_Load), which starts Timer1.
    explicit WMenu(Ecras ecras = {});
    ~WMenu() override;
    WMenu(const WMenu&) = delete;
    WMenu& operator=(const WMenu&) = delete;

    // The loaded main window; nullptr while there is none.
    static WMenu* instancia();

    // How the program ends at "Fechar Aplicativo" (and when the window is closed for any
    // other reason than the user's close): by default the application's event loop stops at
    // once. Tests put a recorder here. An empty function restores the default.
    static void setFimDoPrograma(std::function<void()> fim);

    // An image of ImageList1: 1 scheduler on, 2 run in progress, 3 scheduler off; an empty
    // icon for any other number.
    QIcon imagem(int numero) const;

    // The scheduler tick (every 1000 ms).
    void Timer1_Timer();
    // The icon's mouse events, the event code in place of the horizontal coordinate: 0x203
    // (left double click) shows the window, 0x205 (right button up) opens mnuOpcoes at the
    // mouse position; every other code is ignored.
    Q_INVOKABLE void Form_MouseMove(int X);

    // Shows the window for a desktop without a notification area: the options menu becomes its
    // menu bar and a close only minimises it.
    void MostraSemIcone();

    // ---- RunHost: the run's progress in panel 1, the pointer, its failure box, the mail ----
    void SetPanelText(const QString& text) override;
    void RefreshStatusBar() override;
    void SetBusyPointer(bool busy) override;
    void ShowCriticalMessage(const QString& text) override;
    MailHost* Mail() override { return &mail_; }

    // ---- controls (each widget's objectName is its name here) ----
    QComboBox* eselP1;   // run weekday (shown only)
    QLabel* lblP9;       // "Data/Hora de Execução :"
    QLineEdit* txtP9;    // run time (shown only)
    QCheckBox* chkActiva;  // "Activar o Extractor": the scheduler switch
    QStatusBar* StatusBar1;
    QLabel* Panel1;      // messages, with the error of a failed connection as its tooltip
    QLabel* Panel2;      // the current time while the scheduler is on
    QTimer* Timer1;

    QMenu* mnuOpcoes;  // "Opções"
    QMenu* mnuConfig;  // "Configurações"
    QAction* mnuConfigura;
    QAction* mnuLigaClientes;
    QAction* mnuLigaProdutos;
    QAction* mnuConfiguraVendas;
    QAction* mnuConfigDevol;
    QAction* mnuConfiguraEO;
    QAction* mnuConfiguraAcV;
    QAction* mnuConfAO;
    QAction* mnuProcManual;
    QAction* mnuSair;

protected:
    void closeEvent(QCloseEvent* event) override;  // Form_QueryUnload

private:
    void Form_Load();
    void chkActiva_Click();
    void mnuSair_Click();
    void abreLigaVendas(const QString& Mascara);
    // Steps 7 to 13 of the tick: the connections, the icon and the run.
    void Executa();

    Ecras ecras_;
    std::array<QIcon, 3> ImageList1;
    bool fechando_ = false;          // set only by "Fechar Aplicativo"
    bool sessaoATerminar_ = false;   // the desktop session is ending: the window may close
    bool semIcone_ = false;          // no notification area: the window is the way in
    bool ponteiroOcupado_ = false;
    frmSendMailHost mail_;
};
