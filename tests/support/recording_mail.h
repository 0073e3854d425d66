#pragma once
// The mail window as the run sees it (a MailHost that sends nothing): every call with its
// texts, and whether the file to attach was there at that moment; "send" and "unload" in
// `events` in the order they came.

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "extractor/MailHost.h"

namespace testsupport {

class RecordingMail : public MailHost {
public:
    struct Call {
        QStringList texts;  // server, to, from, subject, message, cc, path, pattern, login, password, receipt address
        bool receipt = true;
        std::int32_t port = 0;
        bool ssl = false;
        bool fileThere = false;
    };
    bool SendMail(const QString& SMTPServer, const QString& sTo, const QString& From, const QString& Subject,
                  const QString& Message, const QString& CC, platform::Ref<QString> AttachPath,
                  const QString& AttachPattern, const QString& Login, const QString& Password, bool RequestReceipt,
                  const QString& ReceiptAddress, std::int32_t intSMTPPort, bool blnSMTPSSL) override {
        const QString folder = AttachPath->isEmpty() ? QDir::currentPath() : *AttachPath;
        calls.push_back({{SMTPServer, sTo, From, Subject, Message, CC, *AttachPath, AttachPattern, Login, Password,
                          ReceiptAddress},
                         RequestReceipt,
                         intSMTPPort,
                         blnSMTPSSL,
                         QFile::exists(folder + u'/' + AttachPattern)});
        events.push_back(QStringLiteral("send"));
        return false;
    }
    void UnloadSendMail() override { events.push_back(QStringLiteral("unload")); }

    // Per call, whether the file to attach was there.
    std::vector<bool> filesThere() const {
        std::vector<bool> out;
        for (const Call& c : calls) out.push_back(c.fileThere);
        return out;
    }

    std::vector<Call> calls;
    QStringList events;
};

}  // namespace testsupport
