#pragma once
// frmLigaVendas: the edit screen of one sales-line rule of a movement kind: the company
// document type, the offer handling ("0" or "1", from its option list) and whether only lines
// with a net value above zero are taken. A type stands once in a kind ("Já existe este tipo  !")
// and, since an offer line and a sale cannot be told apart otherwise, a type of the offer kind
// "EO" stands in no other kind and the other way round ("Este tipo de movimento não pode ser
// considerado uma venda e uma oferta em simultâneo!"); a type may stand in several kinds other
// than "EO".

#include <QString>
#include <cstdint>

#include "linkscreens/frmLigaEdicao.h"

class QCheckBox;
class QLineEdit;
class SelOpta;

class frmLigaVendas : public frmLigaEdicao {
    Q_OBJECT

public:
    explicit frmLigaVendas(QWidget* parent = nullptr);

    // Modal, for a rule of the kind Mascara; NumRegisto 0 makes a new rule, another changes
    // that rule. True when the user confirmed and the rule was written.
    bool ShowForm(const QString& Mascara, std::int64_t NumRegisto = 0);

    QLineEdit* txtTipo() const { return tipo_; }
    SelOpta* eselTipoOferta() const { return tipoOferta_; }
    QCheckBox* chkApenasMovComValor() const { return apenasComValor_; }

protected:
    QString tabela() const override;
    void mostrar(const data::Recordset& rs) override;
    bool gravar(data::Connection& conn) override;

private:
    QString mascara_;
    QLineEdit* tipo_;
    SelOpta* tipoOferta_;
    QCheckBox* apenasComValor_;
};
