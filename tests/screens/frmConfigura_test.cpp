// The settings screen: every key shown (passwords in clear, P11 and P12 read-only), every key
// saved one by one (passwords encrypted, Ligado left to the main window), the first failed
// write stopping the save with the system's message, then the reload and the staging schema.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

#include "crypto/clsEncripta.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/wmenu_support.h"
#include "platform/profile.h"
#include "screens/Inteiro.h"
#include "screens/SelOpta.h"
#include "screens/frmConfigura.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/gui_helpers.h"

namespace {

using testsupport::MessageBoxRecorder;
using testsupport::storedPassword;
using testsupport::TempEmbeddedServer;
using testsupport::TempProgramFolder;

// The value as it stands in the file; nothing when the key is not there.
std::optional<QString> noFicheiro(const TempProgramFolder& p, const char* seccao, const char* chave) {
    return platform::privateProfileValue(QString::fromLatin1(seccao), QString::fromLatin1(chave), p.iniFile());
}

QString desencripta(const QString& cifra) { return crypto::clsEncripta().Desencripta(0, QString(), cifra); }

void preencheTudo(const TempProgramFolder& p) {
    p.set("Extractor", "Ligado", "1");
    p.set("Extractor", "P1", "5");
    p.set("Extractor", "P3", "/srv/velmora/saida");
    p.set("Extractor", "P5", "6");
    p.set("Extractor", "P6", "12");
    p.set("Extractor", "P7", "3");
    p.set("Extractor", "P8", "SISTEMA NORTA");
    p.set("Extractor", "P9", "08:05");
    p.set("Extractor", "P11", "2017-03-07 08:05:00");
    p.set("Extractor", "P12", "Concluído");
    p.set("Extractor", "P13", "/srv/velmora/log");
    p.set("Extractor", "P14", "OP1");
    p.set("Extractor", "P15", "NRT");
    p.set("Tramontix", "Server", "SRVSQL");
    p.set("Tramontix", "Login", "sa");
    p.set("Tramontix", "Password", storedPassword("segredo"));
    p.set("Tramontix", "Database", "Empresa");
    p.set("Email", "Server", "smtp.norta.pt");
    p.set("Email", "Login", "velmora");
    p.set("Email", "Password", storedPassword("correio"));
    p.set("Email", "From", "velmora@norta.pt");
    p.set("Email", "To", "a@norta.pt;b@norta.pt");
    p.set("Email", "SMTPPort", "587");
    p.set("Email", "SMTPSSL", "1");
}

// Types into a field as the user does: focus (which selects the whole text), then the keys.
void escreve(QLineEdit* campo, const QString& texto) {
    campo->setFocus();
    guitest::pump();
    campo->selectAll();
    guitest::type(campo, texto);
}

struct FalhaNaChave {
    explicit FalhaNaChave(QString seccao, QString chave) {
        frmConfigura::setEscritor([this, seccao, chave](const QString& s, const QString& k, const QString& v,
                                                        const QString& f) {
            escritas << s + u'/' + k;
            if (s == seccao && k == chave) return false;
            return platform::WritePrivateProfileString(s, k, v, f);
        });
    }
    ~FalhaNaChave() { frmConfigura::setEscritor({}); }
    QStringList escritas;
};

TEST(frmConfigura, ShowsEveryKeyWithThePasswordsInClear) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    preencheTudo(program);
    program.set("Extractor", "P13", QString(300, u'L'));
    frmConfigura f;
    EXPECT_EQ(f.objectName(), "frmConfigura");
    EXPECT_EQ(f.eselP1->Chave(), "5");
    EXPECT_EQ(f.eselP1->currentText(), "Sexta");
    EXPECT_EQ(f.txtP9->text(), "08:05");
    EXPECT_EQ(f.txtP3->text(), "/srv/velmora/saida");
    EXPECT_EQ(f.eintP5->text(), "6");
    EXPECT_EQ(f.eintP6->text(), "12");
    EXPECT_EQ(f.eintP7->text(), "3");
    EXPECT_EQ(f.txtP8->text(), "SISTEMA NORTA");
    EXPECT_EQ(f.txtP11->text(), "2017-03-07 08:05:00");
    EXPECT_EQ(f.txtP12->text(), "Concluído");
    EXPECT_TRUE(f.txtP11->isReadOnly());
    EXPECT_TRUE(f.txtP12->isReadOnly());
    EXPECT_EQ(f.txtP13->text(), QString(254, u'L'));  // as the settings reader gives it
    EXPECT_EQ(f.txtP14->text(), "OP1");
    EXPECT_EQ(f.txtP15->text(), "NRT");
    EXPECT_EQ(f.txtServer->text(), "SRVSQL");
    EXPECT_EQ(f.txtLogin->text(), "sa");
    EXPECT_EQ(f.txtPassword->text(), "segredo");
    EXPECT_EQ(f.txtPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(f.txtDatabase->text(), "Empresa");
    EXPECT_EQ(f.txtEmailServer->text(), "smtp.norta.pt");
    EXPECT_EQ(f.txtEmailLogin->text(), "velmora");
    EXPECT_EQ(f.txtEmailPassword->text(), "correio");
    EXPECT_EQ(f.txtEmailFrom->text(), "velmora@norta.pt");
    EXPECT_EQ(f.txtEmailTo->text(), "a@norta.pt;b@norta.pt");
    EXPECT_EQ(f.eintSMTPPort->text(), "587");
    EXPECT_TRUE(f.chkSMTPSSL->isChecked());
    EXPECT_TRUE(boxes.shown.empty());

    // An empty file: empty texts, zero numbers, every day, no SSL; nothing reported.
    QFile::remove(program.iniFile());
    program.set("Email", "SMTPSSL", "2");
    frmConfigura vazio;
    EXPECT_EQ(vazio.eselP1->currentText(), "Todos os Dias");
    EXPECT_EQ(vazio.txtPassword->text(), "");
    EXPECT_EQ(vazio.eintP7->text(), "0");
    EXPECT_EQ(vazio.eintSMTPPort->text(), "0");
    EXPECT_FALSE(vazio.chkSMTPSSL->isChecked());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(frmConfigura, SavesEveryKeyEncryptsThePasswordsReloadsAndBringsTheSchemaUp) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempEmbeddedServer server;
    TempProgramFolder program;
    preencheTudo(program);
    program.set("Tramontix", "Server", server.serverName());
    program.set("Tramontix", "Login", server.login());
    program.set("Tramontix", "Password", storedPassword("antiga"));
    frmConfigura f;
    ASSERT_TRUE(guitest::activate(f));

    escreve(f.txtPassword, server.password());
    escreve(f.txtP8, QStringLiteral("O'NEIL & FILHOS"));
    escreve(f.txtP15, QStringLiteral("ABCDEF"));
    escreve(f.txtEmailPassword, QStringLiteral("  "));
    f.eselP1->setChave(QStringLiteral("7"));
    f.chkSMTPSSL->setChecked(false);
    escreve(f.txtP9, QStringLiteral("9:5"));
    wmenutest::clica(f.cmdGravar);

    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(f.result(), QDialog::Accepted);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(LerIni("Extractor", "P1"), "7");
    EXPECT_EQ(LerIni("Extractor", "P3"), "/srv/velmora/saida");
    EXPECT_EQ(LerIni("Extractor", "P5"), "6");
    EXPECT_EQ(LerIni("Extractor", "P6"), "12");
    EXPECT_EQ(LerIni("Extractor", "P7"), "3");
    EXPECT_EQ(LerIni("Extractor", "P8"), "O`NEIL & FILHOS");  // the screen's keys turn ' into `
    EXPECT_EQ(LerIni("Extractor", "P9"), "09:05");
    EXPECT_EQ(LerIni("Extractor", "P11"), "2017-03-07 08:05:00");
    EXPECT_EQ(LerIni("Extractor", "P12"), "Concluído");
    EXPECT_EQ(LerIni("Extractor", "P13"), "/srv/velmora/log");
    EXPECT_EQ(LerIni("Extractor", "P14"), "OP1");
    EXPECT_EQ(LerIni("Extractor", "P15"), "ABCD");
    EXPECT_EQ(LerIni("Extractor", "Ligado"), "1");
    EXPECT_EQ(LerIni("Tramontix", "Server"), server.serverName());
    EXPECT_EQ(LerIni("Tramontix", "Database"), "Empresa");
    const QString cifra = LerIni("Tramontix", "Password");
    EXPECT_NE(cifra, server.password());
    EXPECT_EQ(cifra, cifra.toUpper());
    EXPECT_EQ(desencripta(cifra), server.password());
    EXPECT_EQ(LerIni("Email", "Password"), "");  // blank: stored as it is, not encrypted
    EXPECT_EQ(LerIni("Email", "To"), "a@norta.pt;b@norta.pt");
    EXPECT_EQ(LerIni("Email", "SMTPPort"), "587");
    {
        // A port beyond a 16-bit field's reach is shown and saved as it is.
        program.set("Email", "SMTPPort", "40000");
        frmConfigura f;
        EXPECT_EQ(f.eintSMTPPort->text(), "40000");
        EXPECT_TRUE(f.Gravar());
    }
    EXPECT_EQ(LerIni("Email", "SMTPPort"), "40000");
    EXPECT_EQ(LerIni("Email", "SMTPSSL"), "0");

    // Reloaded, then the staging database made on the server just saved.
    EXPECT_EQ(Configuracao().gstrPwd, server.password());
    EXPECT_EQ(Configuracao().gintP1, 7);
    EXPECT_EQ(Configuracao().gstrP9, "09:05");
    EXPECT_FALSE(Configuracao().gblnSMTPSSL);
    ASSERT_TRUE(QFile::exists(server.databaseFile("Velmora")));
    EXPECT_EQ(server.scalar("Velmora", "select Opcao from LogGeral").toString(), "Arranque da Aplicação");

    // A key the file never had stays out of it.
    QFile::remove(program.iniFile());
    frmConfigura semLigado;
    EXPECT_TRUE(semLigado.Gravar());
    EXPECT_FALSE(noFicheiro(program, "Extractor", "Ligado").has_value());
    EXPECT_EQ(noFicheiro(program, "Email", "SMTPSSL"), std::optional<QString>("0"));
    EXPECT_FALSE(QFile::exists(server.databaseFile("Empresa")));
}

TEST(frmConfigura, APasswordThatDoesNotDecryptIsShownAndKeptAsStoredUntilRetyped) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    // A password typed into the file by hand is the one the connections use.
    TempEmbeddedServer server(QStringLiteral("sa"), QStringLiteral("Escrita;a=Mao"));
    TempProgramFolder program;
    preencheTudo(program);
    program.set("Tramontix", "Server", server.serverName());
    program.set("Tramontix", "Password", server.password());
    program.set("Email", "Password", "ABC");  // hex of no whole byte
    {
        frmConfigura f;
        ASSERT_TRUE(guitest::activate(f));
        EXPECT_EQ(f.txtPassword->text(), server.password());
        EXPECT_EQ(f.txtPassword->echoMode(), QLineEdit::Password);
        EXPECT_EQ(f.txtEmailPassword->text(), "ABC");
        EXPECT_EQ(f.txtEmailPassword->echoMode(), QLineEdit::Password);

        escreve(f.txtP8, QStringLiteral("SO O NOME"));
        wmenutest::clica(f.cmdGravar);
        EXPECT_EQ(f.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(LerIni("Extractor", "P8"), "SO O NOME");
    EXPECT_EQ(LerIni("Tramontix", "Password"), server.password());
    EXPECT_EQ(LerIni("Email", "Password"), "ABC");
    EXPECT_EQ(Configuracao().gstrPwd, server.password());
    // The save's reload connected with it and brought the staging database up.
    EXPECT_TRUE(QFile::exists(server.databaseFile("Velmora")));

    // A password typed over it is stored encrypted; the other one stays as it was.
    {
        frmConfigura f;
        ASSERT_TRUE(guitest::activate(f));
        escreve(f.txtEmailPassword, QStringLiteral("nova"));
        EXPECT_TRUE(f.Gravar());
    }
    EXPECT_EQ(desencripta(LerIni("Email", "Password")), "nova");
    EXPECT_EQ(LerIni("Tramontix", "Password"), server.password());
    {
        frmConfigura f;
        EXPECT_EQ(f.txtEmailPassword->text(), "nova");
        f.txtPassword->clear();
        EXPECT_TRUE(f.Gravar());
    }
    EXPECT_EQ(LerIni("Tramontix", "Password"), "");
    EXPECT_EQ(desencripta(LerIni("Email", "Password")), "nova");
}

TEST(frmConfigura, TheFirstFailedWriteStopsTheSaveWithTheSystemsMessage) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    preencheTudo(program);
    {
        frmConfigura f;
        f.txtP8->setText(QStringLiteral("NOVO"));
        f.txtP14->setText(QStringLiteral("OP2"));
        Configuracao().gstrP9 = QStringLiteral("não recarregado");
        FalhaNaChave falha(QStringLiteral("Extractor"), QStringLiteral("P9"));
        EXPECT_FALSE(f.Gravar());
        EXPECT_EQ(falha.escritas, QStringList({"Extractor/P1", "Extractor/P3", "Extractor/P5", "Extractor/P6",
                                               "Extractor/P7", "Extractor/P8", "Extractor/P9"}));
        ASSERT_EQ(boxes.shown.size(), 1U);
        EXPECT_EQ(boxes.shown[0].text, "Não foi possível gravar o ficheiro de configurações Velmora.ini");
        EXPECT_EQ(boxes.shown[0].style, 16);
        EXPECT_EQ(LerIni("Extractor", "P8"), "NOVO");  // written before the failure
        EXPECT_EQ(LerIni("Extractor", "P14"), "OP1");  // never reached
        EXPECT_EQ(Configuracao().gstrP9, "não recarregado");
        EXPECT_NE(f.result(), QDialog::Accepted);
    }
    {
        frmConfigura f;
        FalhaNaChave falha(QStringLiteral("Email"), QStringLiteral("SMTPSSL"));
        EXPECT_FALSE(f.Gravar());
        EXPECT_EQ(falha.escritas.size(), 23);  // every key but Ligado, the last one refused
        EXPECT_EQ(falha.escritas.last(), "Email/SMTPSSL");
        EXPECT_EQ(boxes.shown.size(), 2U);
    }
    // A settings file that cannot be written at all: one message, at its first key.
    QFile::remove(program.iniFile());
    ASSERT_TRUE(QDir().mkdir(program.iniFile()));
    {
        frmConfigura f;
        EXPECT_FALSE(f.Gravar());
        EXPECT_EQ(boxes.shown.size(), 3U);
    }
    QDir().rmdir(program.iniFile());
}

TEST(frmConfigura, TheTimeFieldTakesTimesOnlyAndTheScreenRefusesBadOnes) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    preencheTudo(program);
    program.set("Tramontix", "Server", "");  // no server to bring up after the save
    frmConfigura f;
    ASSERT_TRUE(guitest::activate(f));

    escreve(f.txtP9, QStringLiteral("1a7h:3'0"));  // only digits and the separator arrive
    EXPECT_EQ(f.txtP9->text(), "17:30");
    escreve(f.txtP9, QStringLiteral("25:00"));
    f.txtP8->setFocus();  // leaving keeps a refused time as typed
    guitest::pump();
    EXPECT_EQ(f.txtP9->text(), "25:00");
    EXPECT_FALSE(f.Gravar());
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Hora Inválida");
    EXPECT_EQ(LerIni("Extractor", "P9"), "08:05");  // nothing written
    EXPECT_EQ(LerIni("Extractor", "P1"), "5");

    escreve(f.txtP9, QStringLiteral("0730"));
    f.txtP8->setFocus();
    guitest::pump();
    EXPECT_EQ(f.txtP9->text(), "07:30");
    // An empty time is kept: the scheduler then never runs.
    f.txtP9->clear();
    // Texts of any length are saved as far as the file takes them.
    f.txtP14->setText(QString(40000, u'9'));
    EXPECT_TRUE(f.Gravar());
    EXPECT_EQ(LerIni("Extractor", "P9"), "");
    EXPECT_EQ(LerIni("Extractor", "P14"), QString(254, u'9'));
    EXPECT_EQ(boxes.shown.size(), 1U);
}

TEST(frmConfigura, ThePortFieldShowsThePortTheRunUsesAndTheSaveRefusesWhatIsNoPort) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    preencheTudo(program);
    program.set("Tramontix", "Server", "");
    for (const auto& [guardado, mostrado] : {std::pair<const char*, const char*>{"587abc", "587"},
                                             {" 25.5 ", "26"},
                                             {"abc", "0"},
                                             {"99999999999", "99999999999"}}) {
        program.set("Email", "SMTPPort", guardado);
        frmConfigura f;
        EXPECT_EQ(f.eintSMTPPort->text(), QString::fromLatin1(mostrado)) << guardado;
    }

    program.set("Email", "SMTPPort", "587");
    frmConfigura f;
    ASSERT_TRUE(guitest::activate(f));
    escreve(f.eintSMTPPort, QStringLiteral("99999"));
    EXPECT_EQ(f.eintSMTPPort->text(), "99999") << "five digits pass the field while typed";
    EXPECT_FALSE(f.Gravar());
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Porta SMTP Inválida");
    EXPECT_EQ(QApplication::focusWidget(), f.eintSMTPPort);
    EXPECT_EQ(LerIni("Email", "SMTPPort"), "587");
    EXPECT_EQ(LerIni("Extractor", "P1"), "5") << "nothing written";

    escreve(f.eintSMTPPort, QStringLiteral("65535"));
    EXPECT_TRUE(f.Gravar());
    EXPECT_EQ(LerIni("Email", "SMTPPort"), "65535");
    EXPECT_EQ(Configuracao().gintSMTPPort, 65535);
    EXPECT_EQ(boxes.shown.size(), 1U);
}

}  // namespace
