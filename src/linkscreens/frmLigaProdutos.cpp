#include "linkscreens/frmLigaProdutos.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>

#include "data/recordset.h"
#include "extractor/MainMod_configuracao.h"
#include "linkscreens/LigaComum.h"
#include "util/EDiv.h"
#include "util/sqltext.h"
#include "util/text.h"

using linkscreens::codigoDoCampo;
using util::sqlApostrofos;

namespace {

// The width of a supplier code, in the company's table and in the rule.
constexpr std::int16_t kLarguraFornecedor = 10;

}  // namespace

frmLigaProdutos::frmLigaProdutos(QWidget* parent) : frmLigaEdicao(QStringLiteral("frmLigaProdutos"), parent) {
    setWindowTitle(QStringLiteral("Ligação de Produtos ") + linkscreens::kProduto);
    grupo_ = campoCodigo(QStringLiteral("txtGrupo"), QStringLiteral("Grupo :"), 3, QStringLiteral("Todos"));
    familia_ = campoCodigo(QStringLiteral("txtFamilia"), QStringLiteral("Família :"), 3, QStringLiteral("Todas"));
    subfamilia_ =
        campoCodigo(QStringLiteral("txtSubfamilia"), QStringLiteral("Subfamília :"), 3, QStringLiteral("Todas"));
    fornecedor_ = campoCodigo(QStringLiteral("txtFornecedor"), QStringLiteral("Fornecedor :"), kLarguraFornecedor,
                              QStringLiteral("Todos"));
    pvp_ = new QComboBox(this);
    pvp_->setObjectName(QStringLiteral("cboPVP"));
    pvp_->addItems({QString(), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});
    pvp_->setProperty("Tag", QStringLiteral("1"));
    campos()->addRow(QStringLiteral("PVP :"), pvp_);
    resize(360, 220);

    // The user sees the code as it will be stored as soon as the field is left.
    connect(fornecedor_, &QLineEdit::editingFinished, this, [this] {
        const QString codigo = CodigoFornecedor(fornecedor_->text());
        if (codigo != fornecedor_->text()) fornecedor_->setText(codigo);
    });
    linkscreens::prepararJanela(this);
}

bool frmLigaProdutos::ShowForm(std::int64_t NumRegisto) { return Editar(NumRegisto); }

QString frmLigaProdutos::CodigoFornecedor(const QString& texto) {
    const QString codigo = util::trimBlanks(texto);
    if (codigo.isEmpty() || Configuracao().gintZerarFornece == 0) return codigo;
    std::int16_t largura = kLarguraFornecedor;
    return eFun().Zerar(codigo, largura);
}

QString frmLigaProdutos::tabela() const { return QStringLiteral("LigaProdutos"); }

void frmLigaProdutos::mostrar(const data::Recordset& rs) {
    grupo_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Grupo")).Value()));
    familia_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Familia")).Value()));
    subfamilia_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Subfamilia")).Value()));
    fornecedor_->setText(linkscreens::texto(rs.Fields(QStringLiteral("Fornecedor")).Value()));
    const QString pvp = util::trimBlanks(linkscreens::texto(rs.Fields(QStringLiteral("PVP")).Value()));
    // A level this screen does not offer, written elsewhere, is kept as it is.
    if (pvp_->findText(pvp) < 0) pvp_->addItem(pvp);
    pvp_->setCurrentIndex(pvp_->findText(pvp));
}

bool frmLigaProdutos::gravar(data::Connection& conn) {
    fornecedor_->setText(CodigoFornecedor(fornecedor_->text()));
    const QString grupo = sqlApostrofos(codigoDoCampo(grupo_));
    const QString familia = sqlApostrofos(codigoDoCampo(familia_));
    const QString subfamilia = sqlApostrofos(codigoDoCampo(subfamilia_));
    const QString fornecedor = sqlApostrofos(codigoDoCampo(fornecedor_));
    const QString pvp = sqlApostrofos(pvp_->currentText());
    // Rules written elsewhere may hold Null where these hold an empty text: both mean "all".
    if (existe(conn, QStringLiteral("Select NumRegisto from LigaProdutos Where isnull(Grupo,'')='") + grupo +
                         QStringLiteral("' and isnull(Familia,'')='") + familia +
                         QStringLiteral("' and isnull(Subfamilia,'')='") + subfamilia +
                         QStringLiteral("' and isnull(Fornecedor,'')='") + fornecedor +
                         QStringLiteral("' and NumRegisto<>") + linkscreens::numero(numRegisto()))) {
        recusar(QStringLiteral("Já existe esta combinação !"));
        grupo_->setFocus();
        return false;
    }
    if (numRegisto() == 0) {
        executar(conn, QStringLiteral("Insert into LigaProdutos (Grupo,Familia,Subfamilia,Fornecedor,PVP) Values ('") +
                           grupo + QStringLiteral("','") + familia + QStringLiteral("','") + subfamilia +
                           QStringLiteral("','") + fornecedor + QStringLiteral("','") + pvp + QStringLiteral("')"));
    } else {
        executar(conn, QStringLiteral("Update LigaProdutos Set Grupo='") + grupo + QStringLiteral("',Familia='") +
                           familia + QStringLiteral("',Subfamilia='") + subfamilia +
                           QStringLiteral("',Fornecedor='") + fornecedor + QStringLiteral("',PVP='") + pvp +
                           QStringLiteral("' Where NumRegisto=") + linkscreens::numero(numRegisto()));
    }
    return true;
}
