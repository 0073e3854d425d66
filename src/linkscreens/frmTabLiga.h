#pragma once
// The list screen that the three link-rule lists share: the rules of one table in a report
// list, and the buttons "&Novo", "&Alterar", "&Eliminar" and "&Fechar". The list is read over a
// staging connection of its own that is closed again once it is filled; every change goes
// through the rule's edit screen (or, for a deletion, through the question "Confirma a
// Eliminação?" answered "Sim") and the list is read again afterwards. Each row carries the
// rule's NumRegisto as its Tag.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "data/variant.h"

namespace data {
class Recordset;
}
class ListView;
class QPushButton;
class QTreeWidgetItem;

class frmTabLiga : public QDialog {
    Q_OBJECT

public:
    ListView* lvwLista() const { return lista_; }
    QPushButton* cmdNovo() const { return novo_; }
    QPushButton* cmdAlterar() const { return alterar_; }
    QPushButton* cmdEliminar() const { return eliminar_; }
    QPushButton* cmdFechar() const { return fechar_; }

    // Reads the rules into the list. False when the staging database did not open (the user
    // saw why) or the list could not be read.
    bool Carregar();

    // The rule of the selected row (0 when no row is selected).
    std::int64_t registoSeleccionado() const;

protected:
    // colunas: the description triples (caption, width in twips, alignment) of the list.
    frmTabLiga(const QString& nome, const std::vector<data::Variant>& colunas, QWidget* parent);

    // The statement that reads the rules, NumRegisto first.
    virtual QString sqlLista() const = 0;
    // The texts of one rule's row, first column first.
    virtual QStringList textosDaLinha(const data::Recordset& rs) const = 0;
    // The table the rules are deleted from.
    virtual QString tabela() const = 0;
    // Opens the edit screen for the rule (0: a new one); true when it wrote the rule.
    virtual bool editar(std::int64_t numRegisto) = 0;

private:
    void Novo();
    void Alterar();
    void Eliminar();
    void seleccionar(std::int64_t numRegisto);

    ListView* lista_;
    QPushButton* novo_;
    QPushButton* alterar_;
    QPushButton* eliminar_;
    QPushButton* fechar_;
};
