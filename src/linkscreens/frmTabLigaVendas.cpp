#include "linkscreens/frmTabLigaVendas.h"

#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "linkscreens/frmLigaVendas.h"
#include "util/EDiv.h"
#include "util/sqltext.h"

using data::Variant;

frmTabLigaVendas::frmTabLigaVendas(QWidget* parent)
    : frmTabLiga(QStringLiteral("frmTabLigaVendas"),
                 {Variant(QStringLiteral("Tipo")), Variant(900), Variant(0), Variant(QStringLiteral("Ofertas")),
                  Variant(4800), Variant(0), Variant(QStringLiteral("Apenas c/ Valor")), Variant(1500), Variant(2)},
                 parent) {
    resize(600, 360);
    linkscreens::prepararJanela(this);
}

bool frmTabLigaVendas::ShowForm(QString& Mascara) {
    const QString titulo = linkscreens::tituloDoTipo(Mascara);
    // Rules of a kind the import does not know would never be read, and their kind would not
    // fit the staged line's: nothing is shown for such a kind.
    if (titulo.isEmpty()) return false;
    mascara_ = Mascara;
    setWindowTitle(titulo);
    if (!Carregar()) return false;
    exec();
    return true;
}

QString frmTabLigaVendas::sqlLista() const {
    return QStringLiteral("Select NumRegisto,Tipo,TipoOferta,ApenasMovComValor from LigaMovimentos Where Mascara='") +
           util::sqlApostrofos(mascara_) + QStringLiteral("' Order by Tipo,NumRegisto");
}

QStringList frmTabLigaVendas::textosDaLinha(const data::Recordset& rs) const {
    const Variant tipoOferta = rs.Fields(QStringLiteral("TipoOferta")).Value();
    // The import reads a rule without offer handling as "0".
    const QString chave = tipoOferta.isNull() ? QStringLiteral("0") : linkscreens::texto(tipoOferta);
    QString ofertas = eFun().eselChave(chave, linkscreens::kListaTipoOferta);
    if (ofertas.isEmpty()) ofertas = chave;
    const Variant apenas = rs.Fields(QStringLiteral("ApenasMovComValor")).Value();
    const bool soComValor = !apenas.isNull() && !apenas.isEmpty() && apenas.toInt32() == 1;
    return {linkscreens::texto(rs.Fields(QStringLiteral("Tipo")).Value()), ofertas,
            soComValor ? QStringLiteral("Sim") : QStringLiteral("Não")};
}

QString frmTabLigaVendas::tabela() const { return QStringLiteral("LigaMovimentos"); }

bool frmTabLigaVendas::editar(std::int64_t numRegisto) {
    frmLigaVendas ecra(this);
    return ecra.ShowForm(mascara_, numRegisto);
}
