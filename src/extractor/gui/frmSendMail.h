#pragma once
// The mail window "Norta - SMTP": hands the settings, the recipients, the text and the files
// to attach to the mail component, sends when it is shown, follows the send in lblInfo and
// prgBar, lets "Cancelar" stop it, and writes one log row with the outcome.
//
// The window is used through its default instance, loaded on first use and unloaded by the
// caller after each send, so every send starts with a fresh window and a fresh component.
// The send runs while the window is shown modally; the component keeps the window's events
// turning, so the window repaints and "Cancelar" works during the send.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "data/variant.h"
#include "extractor/MailHost.h"
#include "platform/byref.h"

class QLabel;
class QProgressBar;
class QPushButton;
class SmtpMail;

class frmSendMail : public QDialog {
    Q_OBJECT

public:
    // The default instance: created (loaded) on first use.
    static frmSendMail& Instance();
    static bool IsLoaded();
    // Destroys the default instance; the next use loads a new one. Not during a send: a send
    // in progress is cancelled instead and the window stays until it has ended.
    static void Unload();

    // Where the outcome rows go; an empty writer means LancaLog. Tests capture the rows here.
    using LogWriter = std::function<bool(const QString& Opcao, const QString& Texto)>;
    static void setLogWriter(LogWriter writer);
    // Called with every mail component the window creates, before it is used; tests point the
    // component at their own authority and implicit-TLS port here.
    using ComponentSetup = std::function<void(SmtpMail&)>;
    static void setComponentSetup(ComponentSetup setup);

    void AppendReceipient(const QString& sTo, const QString& CC, const QString& BCC, const QString& Subject,
                          const QString& Message);
    void SendMailVarious(const QString& SMTPServer, const QString& Login, const QString& Password, const QString& From,
                         const QString& AttachCRLF = QString(), bool RequestReceipt = false,
                         const data::Variant& ReceiptAddress = data::Variant());
    // Always false: the outcome is in the log. A folder AttachPath that does not exist raises
    // error 76 before the window is shown. An empty AttachPath takes the current folder.
    bool SendMail(const QString& SMTPServer, const QString& sTo, const QString& From, const QString& Subject,
                  const QString& Message, const QString& CC, platform::Ref<QString> AttachPath,
                  const QString& AttachPattern, const QString& Login, const QString& Password, bool RequestReceipt,
                  const QString& ReceiptAddress, std::int32_t intSMTPPort, bool blnSMTPSSL);
    void mvSendMail_onMailSend(const QString& Operation, qint32 TotalCount, qint32 CurrentCount);

    // The mail component while the window holds one (between loading and the end of a send).
    SmtpMail* mvSendMail() const { return mvSendMail_.get(); }
    // The attachment list of the last SendMail: full paths, each followed by CR LF.
    QString attachmentList() const { return attachList_; }

    // Every file of Folder whose name matches Pattern ("*" and "?", case ignored, several
    // patterns separated by ";"), in name order, as Folder, "/", the name and CR LF.
    static QString ListaFicheiros(const QString& Folder, const QString& Pattern);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct Key {
        explicit Key() = default;
    };

public:
    explicit frmSendMail(Key);  // through Instance() only
    ~frmSendMail() override;

private:
    void Form_Load();
    void Form_Activate();
    void cmdCancelar_Click();
    void Log(const QString& Opcao, const QString& Texto);

    QLabel* lblInfo;
    QProgressBar* prgBar;
    QPushButton* cmdCancelar;

    std::unique_ptr<SmtpMail> mvSendMail_;
    QString attachList_;
    QString recipients_;
    bool ssl_ = false;
    bool activated_ = false;
    bool sending_ = false;
};

// The run's way to the mail window.
class frmSendMailHost final : public MailHost {
public:
    bool SendMail(const QString& SMTPServer, const QString& sTo, const QString& From, const QString& Subject,
                  const QString& Message, const QString& CC, platform::Ref<QString> AttachPath,
                  const QString& AttachPattern, const QString& Login, const QString& Password, bool RequestReceipt,
                  const QString& ReceiptAddress, std::int32_t intSMTPPort, bool blnSMTPSSL) override;
    void UnloadSendMail() override;
};
