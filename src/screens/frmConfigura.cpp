#include "screens/frmConfigura.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "crypto/clsEncripta.h"
#include "data/variant.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/modActDB.h"
#include "platform/messagebox.h"
#include "platform/profile.h"
#include "platform/win1252.h"
#include "screens/Inteiro.h"
#include "screens/SelOpta.h"
#include "screens/ValidateTime.h"
#include "screens/frmBrowseFolders.h"
#include "util/EDiv.h"
#include "util/gui/ControlEnterFilter.h"
#include "util/gui/IconeDoMenu.h"
#include "util/text.h"

namespace {

const QString kExtractor = QStringLiteral("Extractor");
const QString kTramontix = QStringLiteral("Tramontix");
const QString kEmail = QStringLiteral("Email");
constexpr int kPortaMaxima = 65535;
const QString kDiasDaSemana =
    QStringLiteral("0:Todos os Dias;1:Segunda;2:Terça;3:Quarta;4:Quinta;5:Sexta;6:Sábado;7:Domingo;");

frmConfigura::Escritor& escritor() {
    static frmConfigura::Escritor e;
    return e;
}

bool escreve(const QString& seccao, const QString& chave, const QString& valor) {
    const QString ficheiro = caminhoFicheiroIni();
    if (escritor()) return escritor()(seccao, chave, valor, ficheiro);
    return platform::WritePrivateProfileString(seccao, chave, valor, ficheiro);
}

bool preenchido(const QString& s) { return !util::trimBlanks(s).isEmpty(); }

// The time field takes digits and the time separator only, as ValidateTime filters them.
class FiltroHora : public QObject {
public:
    explicit FiltroHora(QLineEdit* campo) : QObject(campo) { campo->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || reenviando_) return false;
        auto* tecla = static_cast<QKeyEvent*>(event);
        if (tecla->text().size() != 1) return false;
        const int codigo = platform::ansiCode(tecla->text().at(0));
        std::int16_t KeyAscii = static_cast<std::int16_t>(codigo);
        ValidateTime::HoraKeyPress(KeyAscii);
        if (KeyAscii == 0) return true;
        if (KeyAscii == codigo) return false;
        QKeyEvent outra(QEvent::KeyPress, tecla->key(), tecla->modifiers(), QString(platform::ansiChar(KeyAscii)));
        reenviando_ = true;
        QApplication::sendEvent(watched, &outra);
        reenviando_ = false;
        return true;
    }

private:
    bool reenviando_ = false;
};

class FiltroSel : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn && !aSelecionar_) {
            QPointer<QWidget> campo(qobject_cast<QWidget*>(watched));
            // After the focus has settled, so the click that gave it does not undo the selection.
            QTimer::singleShot(0, this, [this, campo] {
                if (campo.isNull() || !campo->hasFocus()) return;
                aSelecionar_ = true;
                eFun().Sel(campo.data());
                aSelecionar_ = false;
            });
        }
        return false;
    }

private:
    bool aSelecionar_ = false;
};

QLineEdit* campo(QWidget* pai, const char* nome, int largura = 0) {
    auto* c = new QLineEdit(pai);
    c->setObjectName(QString::fromLatin1(nome));
    c->setProperty("Tag", QStringLiteral("1"));
    if (largura > 0) c->setMinimumWidth(largura);
    return c;
}

Inteiro* inteiro(QWidget* pai, const char* nome) {
    auto* c = new Inteiro(pai);
    c->setObjectName(QString::fromLatin1(nome));
    c->setProperty("Tag", QStringLiteral("1"));
    c->setMaximumWidth(90);
    return c;
}

QWidget* comBotao(QWidget* pai, QLineEdit* campoTexto, QPushButton* botao) {
    auto* w = new QWidget(pai);
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    campoTexto->setParent(w);
    botao->setParent(w);
    l->addWidget(campoTexto, 1);
    l->addWidget(botao);
    return w;
}

}  // namespace

void SelecionaAoEntrar(QWidget* form) {
    if (form == nullptr) return;
    auto* filtro = new FiltroSel(form);
    const QList<QLineEdit*> campos = form->findChildren<QLineEdit*>();
    for (QLineEdit* c : campos) {
        // The text fields inside other controls (a combo box's) are theirs to handle.
        if (c->objectName().startsWith(QStringLiteral("qt_")) || c->objectName().isEmpty()) continue;
        c->installEventFilter(filtro);
    }
}

void frmConfigura::setEscritor(Escritor e) { escritor() = std::move(e); }

frmConfigura::frmConfigura(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmConfigura"));
    setWindowTitle(QStringLiteral("Configurações Base"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    // ---- Extractor ----
    auto* fraExtractor = new QGroupBox(QStringLiteral("Extractor"), this);
    fraExtractor->setObjectName(QStringLiteral("fraExtractor"));
    auto* fe = new QFormLayout(fraExtractor);
    eselP1 = new SelOpta(fraExtractor);
    eselP1->setObjectName(QStringLiteral("eselP1"));
    eselP1->setProperty("Tag", QStringLiteral("1"));
    txtP9 = campo(fraExtractor, "txtP9");
    txtP9->setMaximumWidth(90);
    new FiltroHora(txtP9);
    txtP3 = campo(fraExtractor, "txtP3", 260);
    cmdP3 = new QPushButton(QStringLiteral("..."), fraExtractor);
    cmdP3->setObjectName(QStringLiteral("cmdP3"));
    eintP5 = inteiro(fraExtractor, "eintP5");
    eintP6 = inteiro(fraExtractor, "eintP6");
    eintP7 = inteiro(fraExtractor, "eintP7");
    txtP8 = campo(fraExtractor, "txtP8");
    txtP11 = campo(fraExtractor, "txtP11");
    txtP11->setReadOnly(true);
    txtP12 = campo(fraExtractor, "txtP12");
    txtP12->setReadOnly(true);
    txtP13 = campo(fraExtractor, "txtP13", 260);
    cmdP13 = new QPushButton(QStringLiteral("..."), fraExtractor);
    cmdP13->setObjectName(QStringLiteral("cmdP13"));
    txtP14 = campo(fraExtractor, "txtP14");
    txtP15 = campo(fraExtractor, "txtP15");
    // The prefix and the date must fit the export header's 14-character file-name field.
    txtP15->setMaxLength(4);
    txtP15->setMaximumWidth(90);
    for (QPushButton* b : {cmdP3, cmdP13}) {
        b->setAutoDefault(false);
        b->setMaximumWidth(32);
    }
    fe->addRow(QStringLiteral("Dia de Execução :"), eselP1);
    fe->addRow(QStringLiteral("Hora de Execução :"), txtP9);
    fe->addRow(QStringLiteral("Localização dos ficheiros extraídos"), comBotao(fraExtractor, txtP3, cmdP3));
    fe->addRow(QStringLiteral("Prazo de cut-off para análise de clientes"), eintP5);
    fe->addRow(QStringLiteral("Prazo de cut-off para análise de artigos"), eintP6);
    fe->addRow(QStringLiteral("Prazo de cut-off para análise de vendas"), eintP7);
    fe->addRow(QStringLiteral("Nome lógico do sistema"), txtP8);
    fe->addRow(QStringLiteral("Última Execução :"), txtP11);
    fe->addRow(QStringLiteral("Estado da Última Execução :"), txtP12);
    fe->addRow(QStringLiteral("Localização do ficheiro Log"), comBotao(fraExtractor, txtP13, cmdP13));
    fe->addRow(QStringLiteral("Código do operador comercial"), txtP14);
    fe->addRow(QStringLiteral("Nome do ficheiro Log"), txtP15);

    // ---- Tramontix ----
    auto* fraTramontix = new QGroupBox(QStringLiteral("Tramontix"), this);
    fraTramontix->setObjectName(QStringLiteral("fraTramontix"));
    auto* ft = new QFormLayout(fraTramontix);
    txtServer = campo(fraTramontix, "txtServer", 200);
    txtLogin = campo(fraTramontix, "txtLogin");
    txtPassword = campo(fraTramontix, "txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    txtDatabase = campo(fraTramontix, "txtDatabase");
    ft->addRow(QStringLiteral("Servidor :"), txtServer);
    ft->addRow(QStringLiteral("Utilizador :"), txtLogin);
    ft->addRow(QStringLiteral("Palavra-passe :"), txtPassword);
    ft->addRow(QStringLiteral("Base de Dados :"), txtDatabase);

    // ---- Email ----
    auto* fraEmail = new QGroupBox(QStringLiteral("Email"), this);
    fraEmail->setObjectName(QStringLiteral("fraEmail"));
    auto* fm = new QFormLayout(fraEmail);
    txtEmailServer = campo(fraEmail, "txtEmailServer", 200);
    txtEmailLogin = campo(fraEmail, "txtEmailLogin");
    txtEmailPassword = campo(fraEmail, "txtEmailPassword");
    txtEmailPassword->setEchoMode(QLineEdit::Password);
    txtEmailFrom = campo(fraEmail, "txtEmailFrom");
    txtEmailTo = campo(fraEmail, "txtEmailTo");
    eintSMTPPort = campo(fraEmail, "eintSMTPPort");
    eintSMTPPort->setValidator(new QIntValidator(0, kPortaMaxima, eintSMTPPort));
    eintSMTPPort->setMaximumWidth(90);
    chkSMTPSSL = new QCheckBox(QStringLiteral("Utilizar SSL"), fraEmail);
    chkSMTPSSL->setObjectName(QStringLiteral("chkSMTPSSL"));
    fm->addRow(QStringLiteral("Servidor SMTP :"), txtEmailServer);
    fm->addRow(QStringLiteral("Utilizador :"), txtEmailLogin);
    fm->addRow(QStringLiteral("Palavra-passe :"), txtEmailPassword);
    fm->addRow(QStringLiteral("Remetente :"), txtEmailFrom);
    fm->addRow(QStringLiteral("Destinatários :"), txtEmailTo);
    fm->addRow(QStringLiteral("Porta SMTP :"), eintSMTPPort);
    fm->addRow(QString(), chkSMTPSSL);

    cmdGravar = new QPushButton(QStringLiteral("&Gravar"), this);
    cmdGravar->setObjectName(QStringLiteral("cmdGravar"));
    cmdSair = new QPushButton(QStringLiteral("&Sair"), this);
    cmdSair->setObjectName(QStringLiteral("cmdSair"));
    cmdGravar->setAutoDefault(false);
    cmdSair->setAutoDefault(false);

    auto* direita = new QVBoxLayout;
    direita->addWidget(fraTramontix);
    direita->addWidget(fraEmail);
    direita->addStretch();
    auto* corpo = new QHBoxLayout;
    corpo->addWidget(fraExtractor);
    corpo->addLayout(direita);
    auto* botoes = new QHBoxLayout;
    botoes->addStretch();
    botoes->addWidget(cmdGravar);
    botoes->addWidget(cmdSair);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(corpo);
    layout->addLayout(botoes);

    connect(cmdGravar, &QPushButton::clicked, this, [this] { Gravar(); });
    connect(cmdSair, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdP3, &QPushButton::clicked, this, [this] { EscolhePasta(txtP3); });
    connect(cmdP13, &QPushButton::clicked, this, [this] { EscolhePasta(txtP13); });
    connect(txtP9, &QLineEdit::editingFinished, this, &frmConfigura::txtP9_LostFocus);

    new ControlEnterFilter(this);
    SelecionaAoEntrar(this);
    Form_Load();
}

void frmConfigura::Form_Load() {
    SetIcon(this);
    adjustSize();
    eFun().CenterForm(this);

    eselP1->setLista(kDiasDaSemana);
    eselP1->setChave(LerIni(kExtractor, QStringLiteral("P1")));
    txtP9->setText(LerIni(kExtractor, QStringLiteral("P9")));
    txtP3->setText(LerIni(kExtractor, QStringLiteral("P3")));
    eintP5->setValor(LerIni(kExtractor, QStringLiteral("P5")));
    eintP6->setValor(LerIni(kExtractor, QStringLiteral("P6")));
    eintP7->setValor(LerIni(kExtractor, QStringLiteral("P7")));
    txtP8->setText(LerIni(kExtractor, QStringLiteral("P8")));
    txtP11->setText(LerIni(kExtractor, QStringLiteral("P11")));
    txtP12->setText(LerIni(kExtractor, QStringLiteral("P12")));
    txtP13->setText(LerIni(kExtractor, QStringLiteral("P13")));
    txtP14->setText(LerIni(kExtractor, QStringLiteral("P14")));
    txtP15->setText(LerIni(kExtractor, QStringLiteral("P15")));

    txtServer->setText(LerIni(kTramontix, QStringLiteral("Server")));
    txtLogin->setText(LerIni(kTramontix, QStringLiteral("Login")));
    password_ = mostraPassword(txtPassword, LerIni(kTramontix, QStringLiteral("Password")));
    txtDatabase->setText(LerIni(kTramontix, QStringLiteral("Database")));

    txtEmailServer->setText(LerIni(kEmail, QStringLiteral("Server")));
    txtEmailLogin->setText(LerIni(kEmail, QStringLiteral("Login")));
    emailPassword_ = mostraPassword(txtEmailPassword, LerIni(kEmail, QStringLiteral("Password")));
    txtEmailFrom->setText(LerIni(kEmail, QStringLiteral("From")));
    txtEmailTo->setText(LerIni(kEmail, QStringLiteral("To")));
    // The port the run would use; a number too big for any reading is shown as stored.
    const QString porta = LerIni(kEmail, QStringLiteral("SMTPPort"));
    const std::int32_t lida = portaSmtp(porta);
    eintSMTPPort->setText(lida == kPortaSmtpIlegivel ? porta.trimmed() : QString::number(lida));
    chkSMTPSSL->setChecked(data::leadingNumber(LerIni(kEmail, QStringLiteral("SMTPSSL"))) == 1.0);
}

frmConfigura::PasswordGuardada frmConfigura::mostraPassword(QLineEdit* campoPassword, const QString& guardada) {
    PasswordGuardada lida{guardada, true};
    // As the settings loader decides: a blank text is not decrypted, and an empty result means
    // the text was no cipher text of ours.
    if (preenchido(guardada)) {
        const QString claro = crypto::clsEncripta().Desencripta(0, QString(), guardada);
        if (!claro.isEmpty()) {
            campoPassword->setText(claro);
            lida.semCifra = false;
            return lida;
        }
    }
    campoPassword->setText(guardada);
    return lida;
}

QString frmConfigura::paraGravar(const QLineEdit* campoPassword, const PasswordGuardada& lida) {
    const QString texto = campoPassword->text();
    if (lida.semCifra && texto == lida.guardada) return lida.guardada;
    return preenchido(texto) ? crypto::clsEncripta().Encripta(0, QString(), texto) : texto;
}

void frmConfigura::txtP9_LostFocus() {
    QString hora;
    if (ValidateTime::ValidaHora(txtP9->text(), hora)) txtP9->setText(hora);
}

void frmConfigura::EscolhePasta(QLineEdit* campoPasta) {
    frmBrowseFolders picker(this);
    QString pasta = campoPasta->text();
    if (picker.ShowForm(pasta)) campoPasta->setText(pasta);
}

bool frmConfigura::Gravar() {
    // The scheduler compares the clock's "hh:mm" with this text: anything else would never run.
    QString hora;
    if (preenchido(txtP9->text())) {
        if (!ValidateTime::ValidaHora(txtP9->text(), hora)) {
            platform::MsgBox(QStringLiteral("Hora Inválida"), platform::mb::Exclamation);
            txtP9->setFocus();
            return false;
        }
        txtP9->setText(hora);
    }

    // The field's validator lets a number of five digits through while it is typed (99999);
    // the mail would only be refused at every run, so the save refuses it now.
    const QString porta = eintSMTPPort->text().trimmed().isEmpty() ? QStringLiteral("0") : eintSMTPPort->text().trimmed();
    bool portaLida = false;
    const int numeroPorta = porta.toInt(&portaLida);
    if (!portaLida || numeroPorta < 0 || numeroPorta > kPortaMaxima) {
        platform::MsgBox(QStringLiteral("Porta SMTP Inválida"), platform::mb::Exclamation);
        eintSMTPPort->setFocus();
        return false;
    }

    const auto numero = [](const Inteiro* c) {
        return QString::number(std::max(c->valor(), static_cast<std::int16_t>(c->Minimo().toInt())));
    };

    const std::pair<QString, QString> extractor[] = {
        {QStringLiteral("P1"), eselP1->Chave()},  {QStringLiteral("P3"), txtP3->text()},
        {QStringLiteral("P5"), numero(eintP5)},   {QStringLiteral("P6"), numero(eintP6)},
        {QStringLiteral("P7"), numero(eintP7)},   {QStringLiteral("P8"), txtP8->text()},
        {QStringLiteral("P9"), txtP9->text()},    {QStringLiteral("P11"), txtP11->text()},
        {QStringLiteral("P12"), txtP12->text()},  {QStringLiteral("P13"), txtP13->text()},
        {QStringLiteral("P14"), txtP14->text()},  {QStringLiteral("P15"), txtP15->text()},
    };
    const std::pair<QString, QString> tramontix[] = {
        {QStringLiteral("Server"), txtServer->text()},
        {QStringLiteral("Login"), txtLogin->text()},
        {QStringLiteral("Password"), paraGravar(txtPassword, password_)},
        {QStringLiteral("Database"), txtDatabase->text()},
    };
    const std::pair<QString, QString> email[] = {
        {QStringLiteral("Server"), txtEmailServer->text()},
        {QStringLiteral("Login"), txtEmailLogin->text()},
        {QStringLiteral("Password"), paraGravar(txtEmailPassword, emailPassword_)},
        {QStringLiteral("From"), txtEmailFrom->text()},
        {QStringLiteral("To"), txtEmailTo->text()},
        {QStringLiteral("SMTPPort"), porta},
        {QStringLiteral("SMTPSSL"), chkSMTPSSL->isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
    };

    const auto gravaSeccao = [](const QString& seccao, const auto& chaves) {
        for (const auto& [chave, valor] : chaves) {
            if (!escreve(seccao, chave, valor)) {
                platform::MsgBox(QStringLiteral("Não foi possível gravar o ficheiro de configurações ") +
                                     gstrFicheiroIni(),
                                 platform::mb::Critical);
                return false;
            }
        }
        return true;
    };
    if (!gravaSeccao(kExtractor, extractor) || !gravaSeccao(kTramontix, tramontix) || !gravaSeccao(kEmail, email)) {
        return false;
    }

    LerConfiguracao();
    const ConfiguracaoRecord& cfg = Configuracao();
    if (preenchido(cfg.gstrServer) && preenchido(cfg.gstrUID) && preenchido(cfg.gstrDataBase)) ActualizaBaseDados();
    accept();
    return true;
}
