#pragma once
// Runs that mail through the real mail window: the mail settings that point a run at the
// loopback test server, the mail component's set-up (for instance the certificate authority it
// trusts), and a fixture with the run's databases, the pinned moment and the mail window, which
// closes the window and forgets the set-up when the test ends (frmSendMail keeps both).

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <cstdint>

#include "extractor/MainMod_configuracao.h"
#include "extractor/gui/frmSendMail.h"
#include "extractor/mail/SmtpMail.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace testsupport {

struct TestMailSettings {
    int port = 0;
    QString password;
    bool ssl = true;
    QString to = QStringLiteral("a@norta.pt");
    QString from = QStringLiteral("extractor@norta.pt");
    QString login = QStringLiteral("extractor");
    frmSendMail::ComponentSetup setup = {};
};

inline void useTestMail(const TestMailSettings& m) {
    ConfiguracaoRecord& cfg = Configuracao();
    cfg.gstrEmailServer = QStringLiteral("localhost");
    cfg.gstrEmailTo = m.to;
    cfg.gstrEmailFrom = m.from;
    cfg.gstrEmailLogin = m.login;
    cfg.gstrEmailPassword = m.password;
    cfg.gintSMTPPort = m.port;
    cfg.gblnSMTPSSL = m.ssl;
    frmSendMail::setComponentSetup(m.setup);
}

// A component set-up that trusts the certificate authority in caFile (none: the system's).
inline frmSendMail::ComponentSetup trusting(const QString& caFile) {
    return [caFile](SmtpMail& mail) {
        if (!caFile.isEmpty()) mail.setCaInfo(caFile);
    };
}

class MailRunFixture : public ::testing::Test {
protected:
    MailRunFixture() { host_.mail = &mailHost_; }
    void TearDown() override {
        frmSendMail::setComponentSetup({});
        frmSendMail::Unload();
    }

    QTemporaryDir dir_;
    RunDay day_;
    RunDatabases db_;
    RecordingRunHost host_;
    frmSendMailHost mailHost_;
};

}  // namespace testsupport
