#pragma once
// frmConfigura: the settings screen, opened modally from the main window's menu entry
// "Configurações Base". It shows every key of the settings file (the two stored passwords
// decrypted, or as stored when they do not decrypt; P11 and P12, the last automatic run's
// start and state, read-only) and, on "&Gravar", writes the keys back one by one (passwords
// encrypted again), stopping at the first write that fails with "Não foi possível gravar o
// ficheiro de configurações " and the file name. After a complete save the program reloads its settings, brings the staging database up
// to date when server, login and database are set, and the screen closes.
//
// Ligado is not on the screen: the main window's check box keeps it.

#include <QDialog>
#include <QString>
#include <functional>

class Inteiro;
class QCheckBox;
class QLineEdit;
class QPushButton;
class SelOpta;

class frmConfigura : public QDialog {
    Q_OBJECT

public:
    explicit frmConfigura(QWidget* parent = nullptr);  // the form's load: fills every field

    // One key written to the settings file; false when it could not be written. By default
    // platform::WritePrivateProfileString; tests make a chosen write fail here. An empty
    // function restores the default.
    using Escritor = std::function<bool(const QString& Seccao, const QString& Chave, const QString& Valor,
                                        const QString& Ficheiro)>;
    static void setEscritor(Escritor escritor);

    // "&Gravar": true when every key was written (the screen then closes).
    bool Gravar();

    // ---- Extractor ----
    SelOpta* eselP1;     // run weekday
    QLineEdit* txtP9;    // run time
    QLineEdit* txtP3;    // folder of the export files
    QPushButton* cmdP3;  // picks it with frmBrowseFolders
    Inteiro* eintP5;
    Inteiro* eintP6;
    Inteiro* eintP7;
    QLineEdit* txtP8;
    QLineEdit* txtP11;   // read-only
    QLineEdit* txtP12;   // read-only
    QLineEdit* txtP13;
    QPushButton* cmdP13;
    QLineEdit* txtP14;
    QLineEdit* txtP15;   // the export file-name prefix, at most 4 characters
    // ---- Tramontix ----
    QLineEdit* txtServer;
    QLineEdit* txtLogin;
    QLineEdit* txtPassword;
    QLineEdit* txtDatabase;
    // ---- Email ----
    QLineEdit* txtEmailServer;
    QLineEdit* txtEmailLogin;
    QLineEdit* txtEmailPassword;
    QLineEdit* txtEmailFrom;
    QLineEdit* txtEmailTo;
    // The mail port takes every TCP port (1 to 65535, 0 for the protocol's default), beyond a
    // 16-bit integer field's reach; a stored value that is no port is shown and kept as stored,
    // and the mail step refuses it by name.
    QLineEdit* eintSMTPPort;
    QCheckBox* chkSMTPSSL;

    QPushButton* cmdGravar;
    QPushButton* cmdSair;

private:
    // A stored password that does not decrypt (typed into the file by hand, or another
    // cipher's text) is what the connections use as it stands: the field shows it so, and it is
    // written back untouched unless the user typed another one.
    struct PasswordGuardada {
        QString guardada;
        bool semCifra = false;  // shown as stored, not decrypted
    };
    static PasswordGuardada mostraPassword(QLineEdit* campoPassword, const QString& guardada);
    static QString paraGravar(const QLineEdit* campoPassword, const PasswordGuardada& lida);

    void Form_Load();
    void txtP9_LostFocus();
    void EscolhePasta(QLineEdit* campo);

    PasswordGuardada password_;
    PasswordGuardada emailPassword_;
};

// The screens' text fields select their whole content when they get the focus (EDiv::Sel).
// Installs that on every line field of the form; the manual-run screen uses it too.
void SelecionaAoEntrar(QWidget* form);
