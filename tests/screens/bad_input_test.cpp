// The settings and manual-run screens fed with what a hand-edited settings file or a careless
// operator gives them: numbers with letters, signs or too many digits, names and folders with
// quotes, semicolons and comment dashes, and dates that do not exist. Each gets a defined
// value or the system's message, and a save writes the file without breaking it.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "screens/Edatas.h"
#include "screens/Inteiro.h"
#include "screens/SelOpta.h"
#include "screens/frmConfigura.h"
#include "screens/frmProcessaManual.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/gui_helpers.h"

namespace {

using testsupport::MessageBoxRecorder;
using testsupport::TempProgramFolder;

QString ini(const char* seccao, const char* chave) {
    return LerIni(QString::fromLatin1(seccao), QString::fromLatin1(chave));
}

TEST(BadInputScreens, TheSettingsScreenShowsAndSavesBadNumbersAsDefinedValues) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    TempProgramFolder program;
    struct Caso {
        const char* texto;
        const char* mostrado;  // what the integer fields show
        const char* gravado;   // what a save writes back
    };
    const std::vector<Caso> casos = {
        {"abc", "0", "0"},          {"7x", "0", "0"},     {"-5", "-5", "0"},         {"", "0", "0"},
        {"99999999999", "32767", "32767"}, {"-99999999999", "-32768", "0"}, {"70000", "32767", "32767"},
        {"3,5", "4", "4"},          {"'; --", "0", "0"}, {"12", "12", "12"},
    };
    int passados = 0;
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.texto);
        const QString texto = QString::fromLatin1(caso.texto);
        for (const char* chave : {"P5", "P6", "P7", "P1"}) program.set("Extractor", QString::fromLatin1(chave), texto);
        program.set("Email", "SMTPSSL", texto);
        program.set("Extractor", "P9", "08:05");
        frmConfigura f;
        bool ok = true;
        for (Inteiro* campo : {f.eintP5, f.eintP6, f.eintP7}) {
            EXPECT_EQ(campo->text(), QString::fromLatin1(caso.mostrado)) << campo->objectName().toStdString();
            ok = ok && campo->text() == QString::fromLatin1(caso.mostrado);
        }
        // A weekday that is not in the list shows the first entry, and is saved as it.
        EXPECT_EQ(f.eselP1->Chave(), QStringLiteral("0"));
        EXPECT_FALSE(f.chkSMTPSSL->isChecked());
        EXPECT_TRUE(f.Gravar());
        for (const char* chave : {"P5", "P6", "P7"}) {
            EXPECT_EQ(ini("Extractor", chave), QString::fromLatin1(caso.gravado)) << chave;
            ok = ok && ini("Extractor", chave) == QString::fromLatin1(caso.gravado);
        }
        EXPECT_EQ(ini("Email", "SMTPSSL"), QStringLiteral("0"));
        EXPECT_EQ(ini("Extractor", "P1"), QStringLiteral("0"));
        if (ok && ini("Extractor", "P1") == u"0") ++passados;
    }
    EXPECT_EQ(passados, static_cast<int>(casos.size()));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text.toStdString();
}

TEST(BadInputScreens, QuotesSemicolonsAndDashesInEverySettingAreSavedAsTyped) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    testsupport::TempEmbeddedServer server;
    TempProgramFolder program;
    frmConfigura f;
    ASSERT_TRUE(guitest::activate(f));
    const QString pasta = QStringLiteral("/srv/d'ex; \"x\" --");
    f.txtP3->setText(pasta);
    f.txtP8->setText(QStringLiteral("SIS'TEMA \"N\"; --"));
    f.txtP15->setText(QStringLiteral("N'R;--"));  // the field keeps 4 characters
    f.txtServer->setText(server.serverName());
    f.txtLogin->setText(server.login());
    f.txtPassword->setText(server.password());
    f.txtDatabase->setText(QStringLiteral("Emp'resa; drop database Velmora --"));
    f.txtEmailTo->setText(QStringLiteral("o'neill@x.pt;\"b c\"@x.pt --"));
    f.txtEmailLogin->setText(QStringLiteral("u';--"));
    f.txtEmailPassword->setText(QStringLiteral("p'w\";--"));
    f.txtP14->setText(QStringLiteral("[Tramontix]"));
    EXPECT_TRUE(f.Gravar());
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text.toStdString();

    EXPECT_EQ(ini("Extractor", "P3"), pasta);
    EXPECT_EQ(ini("Extractor", "P8"), QStringLiteral("SIS'TEMA \"N\"; --"));
    EXPECT_EQ(ini("Extractor", "P15"), QStringLiteral("N'R;"));
    EXPECT_EQ(ini("Extractor", "P14"), QStringLiteral("[Tramontix]"));
    EXPECT_EQ(ini("Tramontix", "Server"), server.serverName());
    EXPECT_EQ(Configuracao().gstrDataBase, QStringLiteral("Emp'resa; drop database Velmora --"));
    EXPECT_EQ(Configuracao().gstrEmailTo, QStringLiteral("o'neill@x.pt;\"b c\"@x.pt --"));
    EXPECT_EQ(Configuracao().gstrEmailLogin, QStringLiteral("u';--"));
    EXPECT_EQ(Configuracao().gstrEmailPassword, QStringLiteral("p'w\";--"));
    // The save brought the staging database up on that server; the odd company name opened
    // nothing and dropped nothing.
    EXPECT_EQ(server.scalar("Velmora", "select count(*) from LogGeral where Opcao='Arranque da Aplicação'").toInt32(),
              1);
    data::Connection conn;
    EXPECT_FALSE(OpenGeral(conn, errC(), errD(), 5));
    EXPECT_TRUE(QFile::exists(server.databaseFile(QStringLiteral("Velmora"))));

    // Shown again as saved.
    frmConfigura g;
    EXPECT_EQ(g.txtP3->text(), pasta);
    EXPECT_EQ(g.txtDatabase->text(), QStringLiteral("Emp'resa; drop database Velmora --"));
    EXPECT_EQ(g.txtEmailPassword->text(), QStringLiteral("p'w\";--"));
}

// ---------------------------------------------------------------------------------------------
// Dates

struct CampoData {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    Edatas edat;
    CampoData() {
        platform::setClock([] { return QDateTime(QDate(2017, 3, 7), QTime(9, 30), Qt::UTC); });
        guitest::activate(edat);
        edat.setFocus();
    }
    ~CampoData() { platform::setClock({}); }
    // Types the text and leaves the field; the date read ("" for none) and the message shown.
    std::pair<QString, QString> le(const QString& texto) {
        edat.selectAll();
        guitest::key(&edat, Qt::Key_Backspace);
        guitest::type(&edat, texto);
        const std::size_t antes = boxes.shown.size();
        guitest::key(&edat, Qt::Key_Return, QStringLiteral("\r"));
        return {edat.Data(), boxes.shown.size() > antes ? boxes.shown.back().text : QString()};
    }
};

TEST(BadInputScreens, DatesThatDoNotExistAreRefusedWithTheSystemsMessage) {
    CampoData c;
    using P = std::pair<QString, QString>;
    EXPECT_EQ(c.le("30-02-2017"), (P{"", "Data Invalida\r2017-02-30"}));
    EXPECT_EQ(c.le("29-02-2017"), (P{"", "Data Invalida\r2017-02-29"}));
    const P zeros = c.le("00-00-0000");
    EXPECT_EQ(zeros.first, "");
    EXPECT_FALSE(zeros.second.isEmpty());
    EXPECT_EQ(c.le("31-12-9999"), (P{"9999-12-31", ""}));
    EXPECT_EQ(c.le(""), (P{"", ""}));
    // Typed in the order of the file's dates: read as the regional day-month-year, so refused.
    const P aoContrario = c.le("2017-02-30");
    EXPECT_EQ(aoContrario.first, "");
    EXPECT_FALSE(aoContrario.second.isEmpty());
    // Letters, quotes and more than ten characters never reach the field.
    EXPECT_EQ(c.le("0a1'-0;3-2017--99"), (P{"2017-03-01", ""}));
    EXPECT_EQ(c.edat.text(), QStringLiteral("01-03-2017"));
    // A date set by name that does not exist empties the field.
    for (const char* d : {"2017-02-30", "0000-00-00", "", "2017-13-01", "'; --"}) {
        c.edat.setData(QString::fromLatin1(d));
        EXPECT_EQ(c.edat.Data(), QString()) << d;
        EXPECT_EQ(c.edat.text(), QString()) << d;
    }
    c.edat.setData("9999-12-31");
    EXPECT_EQ(c.edat.Data(), "9999-12-31");
}

TEST(BadInputScreens, TheManualRunRefusesAPeriodItCannotRead) {
    guitest::ScopedLocale locale;
    MessageBoxRecorder boxes;
    testsupport::TempEmbeddedServer server;
    TempProgramFolder program;
    program.pointTo(server, QStringLiteral("Empresa"), QStringLiteral("errada"));
    LerConfiguracao();
    platform::setClock([] { return QDateTime(QDate(2017, 3, 7), QTime(9, 30), Qt::UTC); });
    frmProcessaManual f;
    ASSERT_TRUE(guitest::activate(f));
    const auto processa = [&](const QString& ini, const QString& fim) {
        const std::size_t antes = boxes.shown.size();
        for (auto [campo, texto] : {std::pair{f.edatDataInicial, ini}, std::pair{f.edatDataFinal, fim}}) {
            campo->setFocus();
            guitest::pump();
            campo->selectAll();
            guitest::key(campo, Qt::Key_Backspace);
            guitest::type(campo, texto);
        }
        const bool corrido = f.Processar();
        return std::pair{corrido, boxes.shown.size() > antes ? boxes.shown.back().text : QString()};
    };
    using R = std::pair<bool, QString>;
    EXPECT_EQ(processa("30-02-2017", "07-03-2017"), (R{false, "Data Invalida\r2017-02-30"}));
    EXPECT_EQ(processa("01-01-2017", "00-00-0000").first, false);
    EXPECT_EQ(processa("", "07-03-2017"),
              (R{false, "Indique a data inicial e a data final do período a processar!"}));
    EXPECT_EQ(processa("01-01-2017", ""), (R{false, "Indique a data inicial e a data final do período a processar!"}));
    EXPECT_EQ(processa("01-01-2017", "31-12-9999"), (R{false, "As datas do período têm de pertencer ao mesmo ano!"}));
    // A far date that is one: the period is taken and the run goes as far as its connection,
    // which the server refuses here.
    const R longe = processa("01-01-9999", "31-12-9999");
    EXPECT_FALSE(longe.first);
    EXPECT_TRUE(longe.second.startsWith(QStringLiteral("18456\r"))) << longe.second.toStdString();
    platform::setClock({});
}

}  // namespace
