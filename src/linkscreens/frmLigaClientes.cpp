#include "linkscreens/frmLigaClientes.h"

#include <QLineEdit>

#include "data/recordset.h"
#include "linkscreens/LigaComum.h"
#include "util/sqltext.h"

using linkscreens::codigoDoCampo;
using util::sqlApostrofos;

frmLigaClientes::frmLigaClientes(QWidget* parent) : frmLigaEdicao(QStringLiteral("frmLigaClientes"), parent) {
    setWindowTitle(QStringLiteral("Ligação de Clientes ") + linkscreens::kProduto);
    grupo_ = campoCodigo(QStringLiteral("txtGrupo"), QStringLiteral("Grupo :"), 3, QStringLiteral("Todos"));
    familia_ = campoCodigo(QStringLiteral("txtFamilia"), QStringLiteral("Família :"), 3, QStringLiteral("Todas"));
    subfamilia_ =
        campoCodigo(QStringLiteral("txtSubfamilia"), QStringLiteral("Subfamília :"), 3, QStringLiteral("Todas"));
    resize(340, 170);
    linkscreens::prepararJanela(this);
}

bool frmLigaClientes::ShowForm(std::int64_t NumRegisto) { return Editar(NumRegisto); }

QString frmLigaClientes::tabela() const { return QStringLiteral("LigaClientes"); }

void frmLigaClientes::mostrar(const data::Recordset& rs) {
    grupo_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Grupo")).Value()));
    familia_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Familia")).Value()));
    subfamilia_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Subfamilia")).Value()));
}

bool frmLigaClientes::gravar(data::Connection& conn) {
    const QString grupo = sqlApostrofos(codigoDoCampo(grupo_));
    const QString familia = sqlApostrofos(codigoDoCampo(familia_));
    const QString subfamilia = sqlApostrofos(codigoDoCampo(subfamilia_));
    // Rules written elsewhere may hold Null where these hold an empty text: both mean "all".
    if (existe(conn, QStringLiteral("Select NumRegisto from LigaClientes Where isnull(Grupo,'')='") + grupo +
                         QStringLiteral("' and isnull(Familia,'')='") + familia +
                         QStringLiteral("' and isnull(Subfamilia,'')='") + subfamilia +
                         QStringLiteral("' and NumRegisto<>") + linkscreens::numero(numRegisto()))) {
        recusar(QStringLiteral("Já existe esta combinação !"));
        grupo_->setFocus();
        return false;
    }
    if (numRegisto() == 0) {
        executar(conn, QStringLiteral("Insert into LigaClientes (Grupo,Familia,Subfamilia) Values ('") + grupo +
                           QStringLiteral("','") + familia + QStringLiteral("','") + subfamilia +
                           QStringLiteral("')"));
    } else {
        executar(conn, QStringLiteral("Update LigaClientes Set Grupo='") + grupo + QStringLiteral("',Familia='") +
                           familia + QStringLiteral("',Subfamilia='") + subfamilia +
                           QStringLiteral("' Where NumRegisto=") + linkscreens::numero(numRegisto()));
    }
    return true;
}
