#pragma once
// The edit screen that the three kinds of link rule share: the rule's fields above the buttons
// "&Gravar" and "&Cancelar". An existing rule is read by its NumRegisto over a staging
// connection that is closed again at once; "&Gravar" opens another, checks the rule (a refused
// rule is reported and nothing is written), writes it and closes the screen as confirmed.

#include <QDialog>
#include <QString>
#include <cstdint>

namespace data {
class Connection;
class Recordset;
}
class QFormLayout;
class QLineEdit;
class QPushButton;

class frmLigaEdicao : public QDialog {
    Q_OBJECT

public:
    QPushButton* cmdGravar() const { return gravar_; }
    QPushButton* cmdCancelar() const { return cancelar_; }

    // The rule being changed; 0 while a new one is being made.
    std::int64_t numRegisto() const { return numRegisto_; }

protected:
    frmLigaEdicao(const QString& nome, QWidget* parent);

    // Where the fields go, one labelled line each.
    QFormLayout* campos() const { return campos_; }
    // A code field of the rule: as wide as its column, showing `todos` ("Todos" or "Todas")
    // while it is blank, since a blank code stands for every code. Enter steps to the next field.
    QLineEdit* campoCodigo(const QString& nome, const QString& rotulo, int largura, const QString& todos);

    // Reads the rule (numRegisto 0: a new rule, nothing to read), shows the screen modally and
    // answers whether the rule was written. False without showing the screen when the staging
    // database does not open or the rule is no longer there.
    bool Editar(std::int64_t numRegisto);

    virtual QString tabela() const = 0;
    // Puts the rule's columns into the fields.
    virtual void mostrar(const data::Recordset& rs) = 0;
    // Checks and writes the rule on the open connection; false, with the refusal shown, when it
    // is refused. Statement failures reach the caller.
    virtual bool gravar(data::Connection& conn) = 0;

    // Whether the statement returns a row.
    static bool existe(data::Connection& conn, const QString& sql);
    // Runs a statement without rows.
    static void executar(data::Connection& conn, const QString& sql);
    // A refusal: the warning box with the system's text.
    static void recusar(const QString& texto);

private:
    void Gravar();

    QFormLayout* campos_;
    QPushButton* gravar_;
    QPushButton* cancelar_;
    std::int64_t numRegisto_ = 0;
};
