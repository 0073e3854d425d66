#include "extractor/gui/frmSendMail.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "extractor/MainMod_ligacoes.h"
#include "extractor/mail/SmtpMail.h"
#include "platform/runtime_error.h"
#include "util/text.h"

namespace {

// A window still loaded when the program ends after its application object is left alone:
// destroying a widget without one would crash the exit.
struct DefaultInstance {
    std::unique_ptr<frmSendMail> window;
    ~DefaultInstance() {
        if (QCoreApplication::instance() == nullptr) (void)window.release();
    }
};

std::unique_ptr<frmSendMail>& defaultInstance() {
    static DefaultInstance instance;
    return instance.window;
}

frmSendMail::LogWriter& logWriter() {
    static frmSendMail::LogWriter writer;
    return writer;
}

frmSendMail::ComponentSetup& componentSetup() {
    static frmSendMail::ComponentSetup setup;
    return setup;
}

[[noreturn]] void raiseObjectNotSet() {
    throw platform::RuntimeError(91, QStringLiteral("Object variable or With block variable not set"));
}

// One file-list pattern as a regular expression: "*" and "?" are the only wildcards.
QRegularExpression patternExpression(const QString& pattern) {
    QString rx;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('*')) {
            rx += QStringLiteral(".*");
        } else if (c == QLatin1Char('?')) {
            rx += QLatin1Char('.');
        } else {
            rx += QRegularExpression::escape(QString(c));
        }
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx), QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

frmSendMail& frmSendMail::Instance() {
    auto& instance = defaultInstance();
    if (!instance) instance = std::make_unique<frmSendMail>(Key{});
    return *instance;
}

bool frmSendMail::IsLoaded() { return defaultInstance() != nullptr; }

void frmSendMail::Unload() {
    auto& instance = defaultInstance();
    if (!instance) return;
    if (instance->sending_) {
        instance->cmdCancelar_Click();
        return;
    }
    instance.reset();
}

void frmSendMail::setLogWriter(LogWriter writer) { logWriter() = std::move(writer); }

void frmSendMail::setComponentSetup(ComponentSetup setup) { componentSetup() = std::move(setup); }

frmSendMail::frmSendMail(Key) : QDialog(nullptr) {
    setObjectName(QStringLiteral("frmSendMail"));
    setWindowTitle(QStringLiteral("Norta - SMTP"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setMinimumWidth(320);
    prgBar = new QProgressBar(this);
    prgBar->setObjectName(QStringLiteral("prgBar"));
    prgBar->setRange(0, 100);
    prgBar->setValue(0);
    cmdCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));
    cmdCancelar->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblInfo);
    layout->addWidget(prgBar);
    layout->addWidget(cmdCancelar, 0, Qt::AlignHCenter);

    // The hourglass over the window, the plain pointer over the button that stops the send.
    setCursor(Qt::WaitCursor);
    cmdCancelar->setCursor(Qt::ArrowCursor);

    connect(cmdCancelar, &QPushButton::clicked, this, &frmSendMail::cmdCancelar_Click);
    Form_Load();
}

frmSendMail::~frmSendMail() = default;

void frmSendMail::Form_Load() {
    try {
        mvSendMail_ = std::make_unique<SmtpMail>();
    } catch (const std::exception&) {
        mvSendMail_.reset();
        return;
    }
    connect(mvSendMail_.get(), &SmtpMail::onMailSend, this, &frmSendMail::mvSendMail_onMailSend);
    if (componentSetup()) componentSetup()(*mvSendMail_);
}

void frmSendMail::Log(const QString& Opcao, const QString& Texto) {
    try {
        if (logWriter()) {
            logWriter()(Opcao, Texto);
        } else {
            LancaLog(Opcao, Texto);
        }
    } catch (...) {
        // The outcome row is written on a best-effort basis; the run goes on without it.
    }
}

void frmSendMail::AppendReceipient(const QString& sTo, const QString& CC, const QString& BCC, const QString& Subject,
                                   const QString& Message) {
    if (!mvSendMail_) raiseObjectNotSet();
    mvSendMail_->AddMessage(sTo, CC, BCC, Subject, Message);
}

void frmSendMail::SendMailVarious(const QString& SMTPServer, const QString& Login, const QString& Password,
                                  const QString& From, const QString& AttachCRLF, bool RequestReceipt,
                                  const data::Variant& ReceiptAddress) {
    if (!mvSendMail_) raiseObjectNotSet();
    mvSendMail_->setServer(SMTPServer);
    mvSendMail_->setLogin(Login);
    mvSendMail_->setFrom(From);
    mvSendMail_->setPassword(Password);
    if (RequestReceipt) mvSendMail_->setReceiptAddress(ReceiptAddress.toString());
    attachList_ = AttachCRLF;
    exec();
    mvSendMail_.reset();
}

QString frmSendMail::ListaFicheiros(const QString& Folder, const QString& Pattern) {
    const QDir dir(Folder);
    if (!dir.exists()) throw platform::RuntimeError(76, QStringLiteral("Path not found"));

    std::vector<QRegularExpression> patterns;
    for (const QString& p : Pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString t = util::trimBlanks(p);
        if (t.isEmpty()) continue;
        // "*.*" is the list's "every file", names without an extension included.
        patterns.push_back(patternExpression(t == QStringLiteral("*.*") ? QStringLiteral("*") : t));
    }
    if (patterns.empty()) patterns.push_back(patternExpression(QStringLiteral("*")));

    const QString prefix = Folder.endsWith(QLatin1Char('/')) ? Folder : Folder + QLatin1Char('/');
    QString list;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase)) {
        const bool matches = std::any_of(patterns.begin(), patterns.end(),
                                         [&](const QRegularExpression& rx) { return rx.match(name).hasMatch(); });
        if (matches) list += prefix + name + QStringLiteral("\r\n");
    }
    return list;
}

bool frmSendMail::SendMail(const QString& SMTPServer, const QString& sTo, const QString& From, const QString& Subject,
                           const QString& Message, const QString& CC, platform::Ref<QString> AttachPath,
                           const QString& AttachPattern, const QString& Login, const QString& Password,
                           bool RequestReceipt, const QString& ReceiptAddress, std::int32_t intSMTPPort,
                           bool blnSMTPSSL) {
    ssl_ = blnSMTPSSL;
    recipients_ = sTo;

    // A window kept loaded after an earlier send has released its component: load a new one.
    if (!mvSendMail_) Form_Load();
    if (!mvSendMail_) raiseObjectNotSet();

    QString& path = AttachPath;
    if (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);

    QString to = sTo;
    if (to.contains(QLatin1Char(';'))) to.replace(QLatin1Char(';'), QLatin1Char(','));

    QString subject = Subject;
    if (util::trimBlanks(subject).isEmpty()) subject = QStringLiteral("Ficheiro Velmora");

    mvSendMail_->setServer(SMTPServer);
    mvSendMail_->setLogin(Login);
    mvSendMail_->setFrom(From);
    mvSendMail_->setPassword(Password);
    mvSendMail_->setPort(intSMTPPort);
    if (RequestReceipt) mvSendMail_->setReceiptAddress(ReceiptAddress);

    mvSendMail_->AddMessage(to, CC, QString(), subject, Message);

    // Without a folder the file is the one the writer left in the current folder.
    attachList_ = ListaFicheiros(path.isEmpty() ? QDir::currentPath() : path, AttachPattern);

    exec();

    mvSendMail_.reset();
    return false;
}

void frmSendMail::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!activated_) {
        activated_ = true;
        // Queued, so the window is on screen before the send starts.
        QTimer::singleShot(0, this, &frmSendMail::Form_Activate);
    }
}

void frmSendMail::hideEvent(QHideEvent* event) {
    activated_ = false;
    QDialog::hideEvent(event);
}

void frmSendMail::Form_Activate() {
    // Closed before the send could start: nothing was sent, nothing to report.
    if (!isVisible() || sending_) return;

    bool sent = false;
    QString raised;
    sending_ = true;
    try {
        if (!mvSendMail_) raiseObjectNotSet();
        sent = mvSendMail_->Send(ssl_, attachList_);
    } catch (const platform::RuntimeError& e) {
        raised = e.description();
    } catch (const std::exception& e) {
        raised = QString::fromLocal8Bit(e.what());
    }
    sending_ = false;

    if (!sent) {
        const QString componentError = mvSendMail_ ? mvSendMail_->LastError() : QString();
        Log(QStringLiteral("Envio de Email - Form_Activate"), QStringLiteral("Não foi possível enviar E-mail") +
                                                                  QLatin1Char('\r') + componentError +
                                                                  QLatin1Char('\r') + raised);
    } else {
        Log(QStringLiteral("Envio de Email"), QStringLiteral("Ficheiro enviado para ") + recipients_);
    }
    hide();
}

void frmSendMail::mvSendMail_onMailSend(const QString& Operation, qint32 TotalCount, qint32 CurrentCount) {
    lblInfo->setText(Operation);
    // Nothing to measure against: the bar stays where it is.
    if (TotalCount == 0) return;
    const auto percent =
        static_cast<float>(static_cast<double>(CurrentCount) / static_cast<double>(TotalCount) * 100.0);
    prgBar->setValue(std::clamp(static_cast<int>(percent), 0, 100));
}

void frmSendMail::cmdCancelar_Click() {
    if (mvSendMail_) mvSendMail_->Cancel();
}

void frmSendMail::closeEvent(QCloseEvent* event) {
    // A send in progress is stopped; the window goes away once the send has reported.
    if (sending_) {
        cmdCancelar_Click();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmSendMail::reject() {
    if (sending_) {
        cmdCancelar_Click();
        return;
    }
    QDialog::reject();
}

bool frmSendMailHost::SendMail(const QString& SMTPServer, const QString& sTo, const QString& From,
                               const QString& Subject, const QString& Message, const QString& CC,
                               platform::Ref<QString> AttachPath, const QString& AttachPattern, const QString& Login,
                               const QString& Password, bool RequestReceipt, const QString& ReceiptAddress,
                               std::int32_t intSMTPPort, bool blnSMTPSSL) {
    return frmSendMail::Instance().SendMail(SMTPServer, sTo, From, Subject, Message, CC, *AttachPath, AttachPattern,
                                            Login, Password, RequestReceipt, ReceiptAddress, intSMTPPort, blnSMTPSSL);
}

void frmSendMailHost::UnloadSendMail() { frmSendMail::Unload(); }
