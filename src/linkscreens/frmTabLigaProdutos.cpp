#include "linkscreens/frmTabLigaProdutos.h"

#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "linkscreens/frmLigaProdutos.h"

using data::Variant;
using linkscreens::codigoOuTodos;

frmTabLigaProdutos::frmTabLigaProdutos(QWidget* parent)
    : frmTabLiga(QStringLiteral("frmTabLigaProdutos"),
                 {Variant(QStringLiteral("Grupo")), Variant(1200), Variant(0), Variant(QStringLiteral("Família")),
                  Variant(1200), Variant(0), Variant(QStringLiteral("Subfamília")), Variant(1200), Variant(0),
                  Variant(QStringLiteral("Fornecedor")), Variant(1600), Variant(0), Variant(QStringLiteral("PVP")),
                  Variant(700), Variant(2)},
                 parent) {
    setWindowTitle(QStringLiteral("Ligação de Produtos ") + linkscreens::kProduto);
    linkscreens::prepararJanela(this);
}

bool frmTabLigaProdutos::ShowForm() {
    if (!Carregar()) return false;
    exec();
    return true;
}

QString frmTabLigaProdutos::sqlLista() const {
    return QStringLiteral("Select NumRegisto,Grupo,Familia,Subfamilia,Fornecedor,PVP from LigaProdutos "
                          "Order by Grupo,Familia,Subfamilia,Fornecedor,NumRegisto");
}

QStringList frmTabLigaProdutos::textosDaLinha(const data::Recordset& rs) const {
    return {codigoOuTodos(rs.Fields(QStringLiteral("Grupo")).Value(), QStringLiteral("Todos")),
            codigoOuTodos(rs.Fields(QStringLiteral("Familia")).Value(), QStringLiteral("Todas")),
            codigoOuTodos(rs.Fields(QStringLiteral("Subfamilia")).Value(), QStringLiteral("Todas")),
            codigoOuTodos(rs.Fields(QStringLiteral("Fornecedor")).Value(), QStringLiteral("Todos")),
            linkscreens::texto(rs.Fields(QStringLiteral("PVP")).Value())};
}

QString frmTabLigaProdutos::tabela() const { return QStringLiteral("LigaProdutos"); }

bool frmTabLigaProdutos::editar(std::int64_t numRegisto) {
    frmLigaProdutos ecra(this);
    return ecra.ShowForm(numRegisto);
}
