#pragma once
// How the run reaches the mail window without knowing windows: the window side implements
// this, and tests put a recorder in its place.

#include <QString>
#include <cstdint>

#include "platform/byref.h"

class MailHost {
public:
    virtual ~MailHost() = default;

    // frmSendMail.SendMail: sends AttachPattern's files of the folder AttachPath to sTo and
    // logs the outcome itself. A trailing separator is removed from AttachPath, in the caller's
    // variable too. The result is always false; errors before the send (a missing folder)
    // reach the caller as platform::RuntimeError.
    virtual bool SendMail(const QString& SMTPServer, const QString& sTo, const QString& From, const QString& Subject,
                          const QString& Message, const QString& CC, platform::Ref<QString> AttachPath,
                          const QString& AttachPattern, const QString& Login, const QString& Password,
                          bool RequestReceipt, const QString& ReceiptAddress, std::int32_t intSMTPPort,
                          bool blnSMTPSSL) = 0;

    // Unload frmSendMail: the next SendMail gets a fresh window with a fresh mail component.
    virtual void UnloadSendMail() = 0;
};
