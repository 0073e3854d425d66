// Where a password could leak during a run: log rows (the run's own, the traps', the mail
// window's), error texts (a refused database login, a refused SMTP login), the connection
// strings the run's connections give back, the settings file, and the command lines of this
// process and of every process started while the run works. Distinctive passwords are used
// and every text is searched for them, with the run made to fail in every step that logs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <map>

#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/frmSendMail.h"
#include "extractor/mail/SmtpMail.h"
#include "platform/clock.h"
#include "support/company_db.h"
#include "support/program_folder.h"
#include "support/recording_run_host.h"
#include "support/smtp_server.h"
#include "support/run_day.h"

namespace {

using testsupport::SmtpTestServer;

const QString kMailUser = QStringLiteral("extractor");
const QString kMailPassword = QStringLiteral("Qx9!Correio-Palavra");
const QString kWrongMailPassword = QStringLiteral("Kw3!Errada-Palavra");
const QString kWrongDbPassword = QStringLiteral("Jv5!BaseErrada");

// The command line of a process as one text, its arguments separated by blanks.
QString commandLine(const QString& pid) {
    QFile f(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = f.readAll();
    bytes.replace('\0', ' ');
    return QString::fromLocal8Bit(bytes);
}

// This process and every process below it, by id, with its command line.
std::map<QString, QString> ownProcesses() {
    std::map<QString, QString> parentOf;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        pid.toInt(&numeric);
        if (!numeric) continue;
        QFile f(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray stat = f.readAll();
        // "pid (name) state ppid ...": the name may hold blanks, so read after its last ")".
        const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1) parentOf[pid] = QString::fromLatin1(rest[1]);
    }
    std::map<QString, QString> mine;
    const QString me = QString::number(::getpid());
    mine[me] = commandLine(me);
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : parentOf) {
            if (mine.count(parent) != 0 && mine.count(pid) == 0) {
                mine[pid] = commandLine(pid);
                grew = true;
            }
        }
    }
    return mine;
}

class SecurityRun : public ::testing::Test {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        db_.program.set("Email", "Password", testsupport::storedPassword(kMailPassword));
        db_.addOneSale();
        host_.mail = &mailHost_;
        host_.onPanel = [this](const QString&) { sample(); };
    }
    void TearDown() override {
        frmSendMail::setComponentSetup({});
        frmSendMail::Unload();
    }

    QStringList secrets() const { return {db_.server.password(), kMailPassword, kWrongMailPassword, kWrongDbPassword}; }

    // Every command line seen now, kept for the end.
    void sample() {
        for (const auto& [pid, line] : ownProcesses()) commandLines_ << pid + QStringLiteral(": ") + line;
        ++samples_;
    }

    // Every text the run left where people or other programs can read it.
    QStringList visibleTexts() const {
        QStringList out;
        for (const auto& r : db_.staging("select Opcao, Texto from LogGeral")) {
            out << r[0].toString() << (r[1].isNull() ? QString() : r[1].toString());
        }
        out << errD() << host_.panelTexts << host_.criticalMessages << commandLines_;
        out << db_.geral->ConnectionString() << db_.gestao->ConnectionString();
        for (const data::Connection* c : {db_.geral.get(), db_.gestao.get()}) {
            for (int i = 0; i < c->Errors().Count(); ++i) out << c->Errors().Item(i).Description();
        }
        QFile ini(db_.program.iniFile());
        if (ini.open(QIODevice::ReadOnly)) out << QString::fromLatin1(ini.readAll());
        return out;
    }

    void expectNoSecretIn(const QStringList& texts) const {
        for (const QString& secret : secrets()) {
            for (const QString& t : texts) {
                EXPECT_FALSE(t.contains(secret)) << "a password in: " << t.toStdString();
            }
        }
    }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
    frmSendMailHost mailHost_;
    QStringList commandLines_;
    int samples_ = 0;
};

}  // namespace

TEST_F(SecurityRun, NoPasswordInAnyLogRowErrorTextConnectionStringOrCommandLine) {
    SmtpTestServer server({.mode = SmtpTestServer::Mode::StartTls, .user = kMailUser, .password = kMailPassword});
    ASSERT_TRUE(server.started()) << server.error().toStdString();

    // Each step that logs made to fail: a product rule that stops the import and a refused
    // SMTP login; the command lines are also looked at while the mail is on its way.
    db_.addLigaProduto({.grupo = data::Variant::null()});
    ConfiguracaoRecord& cfg = Configuracao();
    cfg.gstrEmailServer = QStringLiteral("localhost");
    cfg.gstrEmailTo = QStringLiteral("a@norta.pt");
    cfg.gstrEmailFrom = QStringLiteral("extractor@norta.pt");
    cfg.gstrEmailLogin = kMailUser;
    cfg.gstrEmailPassword = kWrongMailPassword;
    cfg.gintSMTPPort = server.port();
    cfg.gblnSMTPSSL = true;
    // The component's last error reaches the log row of the failed send, searched below.
    frmSendMail::setComponentSetup([&](SmtpMail& m) {
        m.setCaInfo(server.caFile());
        QObject::connect(&m, &SmtpMail::onMailSend, [&] { sample(); });
    });

    clsVelmora v;
    v.Processa(*db_.geral, *db_.gestao, "2017-01-01", "2017-03-07", 3, host_, false);

    QStringList labels;
    for (const auto& r : db_.staging("select Opcao from LogGeral order by NumRegisto")) labels << r[0].toString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Função Processa Produtos"))) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("Envio de Email - Form_Activate")));
    EXPECT_EQ(server.events(), QStringList{"auth refused"});
    EXPECT_GT(samples_, 5);
    EXPECT_TRUE(std::any_of(commandLines_.begin(), commandLines_.end(),
                            [](const QString& l) { return l.contains(QStringLiteral("smtp_server.py")); }))
        << "the look at the processes sees the children";
    QStringList texts = visibleTexts();
    expectNoSecretIn(texts);

    // A refused login to the staging database: the error text that LancaLog leaves and the
    // one a screen would show hold the login, never the password given.
    Configuracao().gstrPwd = kWrongDbPassword;
    EXPECT_FALSE(LancaLog(QStringLiteral("Teste"), QStringLiteral("linha")));
    EXPECT_EQ(errC(), 18456);
    EXPECT_TRUE(errD().contains(db_.server.login())) << errD().toStdString();
    data::Connection geral;
    EXPECT_FALSE(OpenVelmora(geral, errC(), errD(), 120));
    EXPECT_FALSE(geral.ConnectionString().isEmpty());
    texts = visibleTexts();
    texts << geral.ConnectionString() << errD();
    for (int i = 0; i < geral.Errors().Count(); ++i) texts << geral.Errors().Item(i).Description();
    expectNoSecretIn(texts);

    // The openers' own connections, once open, give their string back without the password.
    Configuracao().gstrPwd = db_.server.password();
    data::Connection gestao;
    ASSERT_TRUE(OpenGeral(gestao, errC(), errD(), 120));
    EXPECT_TRUE(gestao.ConnectionString().contains(QStringLiteral("Initial Catalog=Empresa")));
    expectNoSecretIn({gestao.ConnectionString()});
}
