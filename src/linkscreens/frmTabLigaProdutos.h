#pragma once
// frmTabLigaProdutos: the product link rules (LigaProdutos), each a product group, family,
// sub-family and supplier, and the price level at which the selected products are staged; a
// blank code stands for every code and is shown as "Todos" or "Todas". The main window shows
// it modally through ShowForm, with no argument.

#include "linkscreens/frmTabLiga.h"

class frmTabLigaProdutos : public frmTabLiga {
    Q_OBJECT

public:
    explicit frmTabLigaProdutos(QWidget* parent = nullptr);

    // Reads the rules and shows the screen modally. False, without showing it, when the
    // staging database does not open (the user saw the error).
    bool ShowForm();

protected:
    QString sqlLista() const override;
    QStringList textosDaLinha(const data::Recordset& rs) const override;
    QString tabela() const override;
    bool editar(std::int64_t numRegisto) override;
};
