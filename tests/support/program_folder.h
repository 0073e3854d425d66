#pragma once
// A temporary program folder holding the settings file "Velmora.ini", which the settings code
// reads for as long as the object lives; the settings record, errC/errD and the openers'
// observer are reset on creation and again on destruction, so tests do not see each other.
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class TempEmbeddedServer;

class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    QString folder() const { return dir_.path(); }
    QString iniFile() const;

    // Sets one key of the settings file.
    void set(const QString& section, const QString& key, const QString& value) const;
    // Replaces the whole file with these bytes.
    void writeRaw(const QByteArray& bytes) const;
    // The Tramontix section for the server: its name, login, the password stored as the
    // settings screen stores it (cipher text), and the company database.
    void pointTo(const TempEmbeddedServer& server, const QString& companyDatabase,
                 const QString& passwordOverride = QString()) const;

private:
    QTemporaryDir dir_;
    QString previousIniName_;
};

// The password as the settings screen stores it: the cipher's hex text ("" stays "").
QString storedPassword(const QString& plain);

}  // namespace testsupport
