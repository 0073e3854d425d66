#include "linkscreens/frmTabLigaClientes.h"

#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "linkscreens/frmLigaClientes.h"

using data::Variant;
using linkscreens::codigoOuTodos;

frmTabLigaClientes::frmTabLigaClientes(QWidget* parent)
    : frmTabLiga(QStringLiteral("frmTabLigaClientes"),
                 {Variant(QStringLiteral("Grupo")), Variant(1500), Variant(0), Variant(QStringLiteral("Família")),
                  Variant(1500), Variant(0), Variant(QStringLiteral("Subfamília")), Variant(1500), Variant(0)},
                 parent) {
    setWindowTitle(QStringLiteral("Ligação de Clientes ") + linkscreens::kProduto);
    linkscreens::prepararJanela(this);
}

bool frmTabLigaClientes::ShowForm() {
    if (!Carregar()) return false;
    exec();
    return true;
}

QString frmTabLigaClientes::sqlLista() const {
    return QStringLiteral("Select NumRegisto,Grupo,Familia,Subfamilia from LigaClientes "
                          "Order by Grupo,Familia,Subfamilia,NumRegisto");
}

QStringList frmTabLigaClientes::textosDaLinha(const data::Recordset& rs) const {
    return {codigoOuTodos(rs.Fields(QStringLiteral("Grupo")).Value(), QStringLiteral("Todos")),
            codigoOuTodos(rs.Fields(QStringLiteral("Familia")).Value(), QStringLiteral("Todas")),
            codigoOuTodos(rs.Fields(QStringLiteral("Subfamilia")).Value(), QStringLiteral("Todas"))};
}

QString frmTabLigaClientes::tabela() const { return QStringLiteral("LigaClientes"); }

bool frmTabLigaClientes::editar(std::int64_t numRegisto) {
    frmLigaClientes ecra(this);
    return ecra.ShowForm(numRegisto);
}
