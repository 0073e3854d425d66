#include "extractor/gui/WMenu.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <optional>

#include "data/connection.h"
#include "data/variant.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/PeriodoAutomatico.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/ProcessoEmCurso.h"
#include "extractor/gui/modSysTray.h"
#include "extractor/modActDB.h"
#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/Locale.h"
#include "util/gui/ControlEnterFilter.h"
#include "util/gui/IconeDoMenu.h"
#include "util/text.h"

namespace {

const QString kExtractorVelmora = QStringLiteral("Extractor Velmora");
const QString kEmExecucao = QStringLiteral("Extractor Velmora em Execução!");
const QString kDiasDaSemana =
    QStringLiteral("0:Todos os Dias;1:Segunda;2:Terça;3:Quarta;4:Quinta;5:Sexta;6:Sábado;7:Domingo;");

WMenu*& instanciaCarregada() {
    static WMenu* w = nullptr;
    return w;
}

std::function<void()>& fimDoPrograma() {
    static std::function<void()> fim;
    return fim;
}

void terminaPrograma() {
    if (fimDoPrograma()) {
        fimDoPrograma()();
    } else {
        QCoreApplication::exit(0);
    }
}

// ---- the keyed option list of the window: "key:text;" entries, selected by key ----------

void preencheLista(QComboBox* lista, const QString& Lista) {
    lista->clear();
    std::vector<std::array<data::Variant, 2>> entradas;
    try {
        eFun().eselToArray(Lista, entradas);
    } catch (const std::exception&) {
        return;
    }
    for (const auto& e : entradas) lista->addItem(e[1].toString(), e[0].toString());
    if (lista->count() > 0) lista->setCurrentIndex(0);
}

void selecionaChave(QComboBox* lista, const QString& Chave) {
    const QString procurada = Chave.toUpper();
    for (int i = 0; i < lista->count(); ++i) {
        if (lista->itemData(i).toString().toUpper() == procurada) {
            lista->setCurrentIndex(i);
            return;
        }
    }
    if (lista->count() > 0) lista->setCurrentIndex(0);
}

// ---- the clock as the settings store the run time ---------------------------------------

QString separadorHora() {
    const QString& s = Locale().gstrHoraSep;
    return s.isEmpty() ? QStringLiteral(":") : s;
}

// Hours and minutes with two digits each, joined by the regional time separator: the text
// that the settings screen stores in P9.
QString horaMinuto(const QTime& t) {
    return QStringLiteral("%1%2%3")
        .arg(t.hour(), 2, 10, QLatin1Char('0'))
        .arg(separadorHora())
        .arg(t.minute(), 2, 10, QLatin1Char('0'));
}

// The months of the sales-line re-check window: the leading number of P7 as the nearest
// 16-bit integer; a number beyond that range takes its nearest end instead of stopping the
// scheduler.
std::int16_t mesesCutOff(const QString& p7) {
    const double n = data::leadingNumber(p7);
    try {
        return data::Variant(n).toInt16();
    } catch (const std::exception&) {
        return n < 0 ? std::int16_t{-32768} : std::int16_t{32767};
    }
}

// ---- ImageList1 ----------------------------------------------------------------------------

QIcon desenhaImagem(const QColor& fundo, bool emExecucao) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(fundo.darker(160), 2));
    p.setBrush(fundo);
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(9, 9), QPointF(16, 23), QPointF(23, 9)}));
    if (emExecucao) {
        // A small arrow: the file is on its way.
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(22, 20), QPointF(30, 25), QPointF(22, 30)}));
    }
    p.end();
    return QIcon(pm);
}

}  // namespace

WMenu::WMenu(Ecras ecras) : QMainWindow(nullptr), ecras_(std::move(ecras)) {
    instanciaCarregada() = this;
    util::setJanelaDoIcone(this);
    setObjectName(QStringLiteral("WMenu"));
    setWindowTitle(kExtractorVelmora);

    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        ImageList1 = {desenhaImagem(QColor(0x2e, 0x8b, 0x3a), false), desenhaImagem(QColor(0xe0, 0x8a, 0x00), true),
                      desenhaImagem(QColor(0x80, 0x80, 0x80), false)};
    }

    auto* centro = new QWidget(this);
    auto* grelha = new QGridLayout(centro);
    lblP9 = new QLabel(QStringLiteral("Data/Hora de Execução :"), centro);
    lblP9->setObjectName(QStringLiteral("lblP9"));
    eselP1 = new QComboBox(centro);
    eselP1->setObjectName(QStringLiteral("eselP1"));
    txtP9 = new QLineEdit(centro);
    txtP9->setObjectName(QStringLiteral("txtP9"));
    txtP9->setMaximumWidth(80);
    chkActiva = new QCheckBox(QStringLiteral("Activar o Extractor"), centro);
    chkActiva->setObjectName(QStringLiteral("chkActiva"));
    grelha->addWidget(lblP9, 0, 0, 1, 2);
    grelha->addWidget(eselP1, 1, 0);
    grelha->addWidget(txtP9, 1, 1);
    grelha->addWidget(chkActiva, 2, 0, 1, 2);
    grelha->setRowStretch(3, 1);
    setCentralWidget(centro);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    Panel1 = new QLabel(StatusBar1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel2 = new QLabel(StatusBar1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setMinimumWidth(60);
    Panel2->setAlignment(Qt::AlignCenter);
    StatusBar1->addWidget(Panel1, 1);
    StatusBar1->addPermanentWidget(Panel2);
    setStatusBar(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &WMenu::Timer1_Timer);

    // The menu of the icon: a pop-up, and a menu bar only where there is no icon (MostraSemIcone).
    mnuOpcoes = new QMenu(QStringLiteral("Opções"), this);
    mnuOpcoes->setObjectName(QStringLiteral("mnuOpcoes"));
    mnuConfig = mnuOpcoes->addMenu(QStringLiteral("Configurações"));
    mnuConfig->setObjectName(QStringLiteral("mnuConfig"));
    const auto entrada = [this](QMenu* menu, const char* nome, const QString& caption, auto&& accao) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(nome));
        connect(a, &QAction::triggered, this, accao);
        return a;
    };
    const auto abre = [](const std::function<void()>& ecra) {
        if (ecra) ecra();
    };
    mnuConfigura = entrada(mnuConfig, "mnuConfigura", QStringLiteral("Configurações Base"),
                           [this, abre] { abre(ecras_.Configura); });
    mnuLigaClientes = entrada(mnuConfig, "mnuLigaClientes", QStringLiteral("Configurar Clientes"),
                              [this, abre] { abre(ecras_.LigaClientes); });
    mnuLigaProdutos = entrada(mnuConfig, "mnuLigaProdutos", QStringLiteral("Configurar Produtos"),
                              [this, abre] { abre(ecras_.LigaProdutos); });
    mnuConfiguraVendas = entrada(mnuConfig, "mnuConfiguraVendas", QStringLiteral("Configurar Vendas"),
                                 [this] { abreLigaVendas(QStringLiteral("V")); });
    mnuConfigDevol = entrada(mnuConfig, "mnuConfigDevol", QStringLiteral("Configurar Devoluções"),
                             [this] { abreLigaVendas(QStringLiteral("D")); });
    mnuConfiguraEO = entrada(mnuConfig, "mnuConfiguraEO", QStringLiteral("Configurar Ofertas"),
                             [this] { abreLigaVendas(QStringLiteral("EO")); });
    mnuConfiguraAcV = entrada(mnuConfig, "mnuConfiguraAcV", QStringLiteral("Configurar Acerto a Vendas"),
                              [this] { abreLigaVendas(QStringLiteral("AV")); });
    mnuConfAO = entrada(mnuConfig, "mnuConfAO", QStringLiteral("Configurar Acerto a Ofertas"),
                        [this] { abreLigaVendas(QStringLiteral("AO")); });
    // The adjustment kinds have no record in the export file, so their rules would only stage
    // lines that never leave: the design keeps both entries out of the operator's reach.
    mnuConfiguraAcV->setVisible(false);
    mnuConfAO->setVisible(false);
    mnuProcManual = entrada(mnuOpcoes, "mnuProcManual", QStringLiteral("Processar Manualmente"),
                            [this, abre] { abre(ecras_.ProcessaManual); });
    mnuSair = entrada(mnuOpcoes, "mnuSair", QStringLiteral("Fechar Aplicativo"), [this] { mnuSair_Click(); });

    connect(chkActiva, &QCheckBox::toggled, this, [this] { chkActiva_Click(); });
    new ControlEnterFilter(this);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this] { sessaoATerminar_ = true; });
    }

    resize(320, 140);
    Form_Load();
}

WMenu::~WMenu() {
    if (ponteiroOcupado_) QApplication::restoreOverrideCursor();
    if (instanciaCarregada() == this) {
        instanciaCarregada() = nullptr;
        util::setJanelaDoIcone(nullptr);
    }
}

WMenu* WMenu::instancia() { return instanciaCarregada(); }

void WMenu::setFimDoPrograma(std::function<void()> fim) { fimDoPrograma() = std::move(fim); }

QIcon WMenu::imagem(int numero) const {
    if (numero < 1 || numero > static_cast<int>(ImageList1.size())) return QIcon();
    return ImageList1[static_cast<std::size_t>(numero - 1)];
}

void WMenu::Form_Load() {
    preencheLista(eselP1, kDiasDaSemana);
    eFun().CenterForm(this);
    LerConfiguracao();
    const ConfiguracaoRecord& cfg = Configuracao();
    if (!util::trimBlanks(cfg.gstrServer).isEmpty() && !util::trimBlanks(cfg.gstrUID).isEmpty() &&
        !util::trimBlanks(cfg.gstrDataBase).isEmpty()) {
        ActualizaBaseDados();
    }
    selecionaChave(eselP1, QString::number(cfg.gintP1));
    txtP9->setText(cfg.gstrP9);
    // Only 1 ticks the box; any other stored value leaves it off.
    chkActiva->setChecked(cfg.gintLigado == 1);
    const int imagemInicial = chkActiva->isChecked() ? 1 : 3;
    AddTrayIcon(kExtractorVelmora, imagemInicial);
    setWindowIcon(imagem(imagemInicial));
    Timer1->start();
}

void WMenu::Timer1_Timer() {
    Panel1->clear();
    Panel1->setToolTip(QString());
    if (!chkActiva->isChecked()) return;

    const QDateTime agora = platform::now();
    const QString hhmm = horaMinuto(agora.time());
    Panel2->setText(hhmm);

    const ConfiguracaoRecord& cfg = Configuracao();
    if (cfg.gintP1 != 0 && cfg.gintP1 != agora.date().dayOfWeek()) return;
    if (hhmm != cfg.gstrP9) return;

    // The run writes P11 first: a tick later in the same minute finds it and stops.
    const std::optional<QDateTime> p11 = dataHoraDeExecucao(LerIni(QStringLiteral("Extractor"), QStringLiteral("P11")));
    if (p11 && p11->date() == agora.date() && horaMinuto(p11->time()) == hhmm) return;

    // A run (a manual one, or one of an earlier minute) still waiting in one of its modal
    // windows is not run over.
    if (ProcessoEmCurso::activo()) return;

    Executa();
}

void WMenu::Executa() {
    ProcessoEmCurso emCurso;
    bool emExecucao = false;
    const auto erroLigacao = [this](const QString& texto) {
        Panel1->setText(texto);
        Panel1->setToolTip(QString::number(errC()) + QStringLiteral(" ") + errD());
    };
    try {
        data::Connection gconnGeral;
        if (!OpenVelmora(gconnGeral, errC(), errD(), kTimeoutLigacao)) {
            erroLigacao(QStringLiteral("Erro na ligação SQL (Velmora)"));
            return;
        }
        data::Connection gconnGestao;
        if (!OpenGeral(gconnGestao, errC(), errD(), kTimeoutLigacao)) {
            gconnGeral.Close();
            erroLigacao(QStringLiteral("Erro na ligação SQL (Tramonta)"));
            return;
        }

        ModifyTrayIcon(kEmExecucao, 2);
        emExecucao = true;

        const QDate hoje = platform::today();
        // From P11's day, or from the start of the last run whose sales-line import ended when
        // that is earlier; 1 January for the first run.
        const QString DataIni = inicioDoPeriodoAutomatico(hoje);
        // The run compares its period with the staged dates as text, always "yyyy-mm-dd".
        const QString DataFim = hoje.toString(QStringLiteral("yyyy-MM-dd"));
        const std::int16_t CutOffMovimentos = mesesCutOff(LerIni(QStringLiteral("Extractor"), QStringLiteral("P7")));

        clsVelmora().Processa(gconnGeral, gconnGestao, DataIni, DataFim, CutOffMovimentos, *this, false);

        Panel1->clear();
        ModifyTrayIcon(kExtractorVelmora, 1);
        emExecucao = false;
        gconnGestao.Close();
        gconnGeral.Close();
    } catch (const platform::RuntimeError& e) {
        // The run traps its own errors; what reaches here is the tick's own (a connection that
        // would not close): shown like a failed connection, and the icon put back.
        Panel1->setText(e.description());
        Panel1->setToolTip(QString::number(e.number()) + QStringLiteral(" ") + e.description());
        if (emExecucao) ModifyTrayIcon(kExtractorVelmora, 1);
    } catch (const std::exception& e) {
        Panel1->setText(QString::fromLocal8Bit(e.what()));
        if (emExecucao) ModifyTrayIcon(kExtractorVelmora, 1);
    }
}

void WMenu::chkActiva_Click() {
    const int valor = chkActiva->isChecked() ? 1 : 0;
    if (!platform::WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("Ligado"),
                                             QString::number(valor), caminhoFicheiroIni())) {
        // The switch still works for this session; the operator learns it will not survive.
        platform::MsgBox(QStringLiteral("Não foi possível gravar o ficheiro de configurações ") + gstrFicheiroIni(),
                         platform::mb::Critical);
    }
    Configuracao().gintLigado = static_cast<std::int16_t>(valor);
    ModifyTrayIcon(kExtractorVelmora, valor == 1 ? 1 : 3);
}

void WMenu::Form_MouseMove(int X) {
    // A modal screen keeps the main window from its icon's events.
    if (QApplication::activeModalWidget() != nullptr) return;
    if (X == static_cast<int>(WM_LBUTTONDBLCLK)) {
        show();
        raise();
        activateWindow();
    } else if (X == static_cast<int>(WM_RBUTTONUP)) {
        mnuOpcoes->popup(QCursor::pos());
    }
}

void WMenu::MostraSemIcone() {
    if (!semIcone_) {
        semIcone_ = true;
        menuBar()->addMenu(mnuOpcoes);
    }
    show();
    raise();
    activateWindow();
}

void WMenu::abreLigaVendas(const QString& Mascara) {
    if (!ecras_.LigaVendas) return;
    QString mascara = Mascara;
    ecras_.LigaVendas(mascara);
}

void WMenu::mnuSair_Click() {
    fechando_ = true;
    RemoveTrayIcon();
    LancaLog(QStringLiteral("Fecho da Aplicação"), QString());
    Timer1->stop();
    terminaPrograma();
}

void WMenu::closeEvent(QCloseEvent* event) {
    if (!fechando_ && !sessaoATerminar_) {
        event->ignore();
        // Without an icon a hidden window could never be shown again.
        if (semIcone_) {
            showMinimized();
        } else {
            hide();
        }
        return;
    }
    event->accept();
    // Closed by the desktop (the session ends): nothing removes the icon or writes a row.
    if (!fechando_) terminaPrograma();
}

void WMenu::SetPanelText(const QString& text) { Panel1->setText(text); }

void WMenu::RefreshStatusBar() { StatusBar1->repaint(); }

void WMenu::SetBusyPointer(bool busy) {
    if (busy == ponteiroOcupado_) return;
    ponteiroOcupado_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void WMenu::ShowCriticalMessage(const QString& text) { platform::MsgBox(text, platform::mb::Critical); }
