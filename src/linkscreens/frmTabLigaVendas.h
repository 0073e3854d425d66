#pragma once
// frmTabLigaVendas: the sales-line link rules (LigaMovimentos) of one movement kind: which
// company document types feed sales ("V"), returns ("D"), offer deliveries ("EO"), sales
// adjustments ("AV") or offer adjustments ("AO"), with the offer handling of each type and
// whether only lines with a value are taken. The main window opens it through ShowForm with
// the kind.

#include <QString>

#include "linkscreens/frmTabLiga.h"

class frmTabLigaVendas : public frmTabLiga {
    Q_OBJECT

public:
    explicit frmTabLigaVendas(QWidget* parent = nullptr);

    // Captions the screen for the kind, reads that kind's rules and shows the screen modally.
    // False, without showing it, when the staging database does not open (the user saw the
    // error number and text) or the kind is none of the five.
    bool ShowForm(QString& Mascara);

    // The kind whose rules the screen shows.
    const QString& mascara() const { return mascara_; }

protected:
    QString sqlLista() const override;
    QStringList textosDaLinha(const data::Recordset& rs) const override;
    QString tabela() const override;
    bool editar(std::int64_t numRegisto) override;

private:
    QString mascara_;
};
