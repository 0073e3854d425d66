#pragma once
// frmLigaProdutos: the edit screen of one product link rule: group, family, sub-family and
// supplier codes, each blank for "all", and the price level (blank, or 1 to 4; blank reads as
// level 1). When the company zero-fills its supplier codes (gintZerarFornece), a supplier code
// is filled on the left with "0" to its ten characters. A second rule with the same group,
// family, sub-family and supplier is refused with "Já existe esta combinação !"; the price
// level does not make a rule different, since a product is staged at one price only.

#include <QString>
#include <cstdint>

#include "linkscreens/frmLigaEdicao.h"

class QComboBox;
class QLineEdit;

class frmLigaProdutos : public frmLigaEdicao {
    Q_OBJECT

public:
    explicit frmLigaProdutos(QWidget* parent = nullptr);

    // Modal; NumRegisto 0 makes a new rule, another changes that rule. True when the user
    // confirmed and the rule was written.
    bool ShowForm(std::int64_t NumRegisto = 0);

    QLineEdit* txtGrupo() const { return grupo_; }
    QLineEdit* txtFamilia() const { return familia_; }
    QLineEdit* txtSubfamilia() const { return subfamilia_; }
    QLineEdit* txtFornecedor() const { return fornecedor_; }
    QComboBox* cboPVP() const { return pvp_; }

    // The supplier code as the rule stores it: trimmed, and zero-filled to ten characters when
    // the company asks for it; a blank code stays blank ("all").
    static QString CodigoFornecedor(const QString& texto);

protected:
    QString tabela() const override;
    void mostrar(const data::Recordset& rs) override;
    bool gravar(data::Connection& conn) override;

private:
    QLineEdit* grupo_;
    QLineEdit* familia_;
    QLineEdit* subfamilia_;
    QLineEdit* fornecedor_;
    QComboBox* pvp_;
};
