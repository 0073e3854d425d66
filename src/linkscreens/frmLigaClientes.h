#pragma once
// frmLigaClientes: the edit screen of one customer link rule: group, family and sub-family
// codes, each blank for "all". A second rule with the same three codes is refused with
// "Já existe esta combinação !".

#include <QString>
#include <cstdint>

#include "linkscreens/frmLigaEdicao.h"

class QLineEdit;

class frmLigaClientes : public frmLigaEdicao {
    Q_OBJECT

public:
    explicit frmLigaClientes(QWidget* parent = nullptr);

    // Modal; NumRegisto 0 makes a new rule, another changes that rule. True when the user
    // confirmed and the rule was written.
    bool ShowForm(std::int64_t NumRegisto = 0);

    QLineEdit* txtGrupo() const { return grupo_; }
    QLineEdit* txtFamilia() const { return familia_; }
    QLineEdit* txtSubfamilia() const { return subfamilia_; }

protected:
    QString tabela() const override;
    void mostrar(const data::Recordset& rs) override;
    bool gravar(data::Connection& conn) override;

private:
    QLineEdit* grupo_;
    QLineEdit* familia_;
    QLineEdit* subfamilia_;
};
