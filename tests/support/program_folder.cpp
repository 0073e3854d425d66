#include "support/program_folder.h"

#include <QFile>

#include "crypto/clsEncripta.h"
#include "extractor/MainMod.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "platform/profile.h"
#include "support/embedded_server.h"

namespace testsupport {

namespace {

void resetProgramState() {
    Configuracao() = ConfiguracaoRecord();
    errC() = 0;
    errD().clear();
    setObservadorAberturas({});
}

}  // namespace

TempProgramFolder::TempProgramFolder() : previousIniName_(gstrFicheiroIni()) {
    gstrFicheiroIni() = QStringLiteral("Velmora.ini");
    setPastaFicheiroIni(dir_.path());
    resetProgramState();
}

TempProgramFolder::~TempProgramFolder() {
    setPastaFicheiroIni(QString());
    gstrFicheiroIni() = previousIniName_;
    resetProgramState();
}

QString TempProgramFolder::iniFile() const { return dir_.path() + QStringLiteral("/Velmora.ini"); }

void TempProgramFolder::set(const QString& section, const QString& key, const QString& value) const {
    platform::WritePrivateProfileString(section, key, value, iniFile());
}

void TempProgramFolder::writeRaw(const QByteArray& bytes) const {
    QFile f(iniFile());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

void TempProgramFolder::pointTo(const TempEmbeddedServer& server, const QString& companyDatabase,
                                const QString& passwordOverride) const {
    set(QStringLiteral("Tramontix"), QStringLiteral("Server"), server.serverName());
    set(QStringLiteral("Tramontix"), QStringLiteral("Login"), server.login());
    set(QStringLiteral("Tramontix"), QStringLiteral("Password"),
        storedPassword(passwordOverride.isNull() ? server.password() : passwordOverride));
    set(QStringLiteral("Tramontix"), QStringLiteral("Database"), companyDatabase);
}

QString storedPassword(const QString& plain) {
    if (plain.isEmpty()) return QString();
    return crypto::clsEncripta().Encripta(0, QString(), plain);
}

}  // namespace testsupport
