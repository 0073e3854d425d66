// The product rule list and its edit screen, driven through their widgets.

#include <QComboBox>

#include "extractor/MainMod_configuracao.h"
#include "linkscreens/frmLigaProdutos.h"
#include "linkscreens/frmTabLigaProdutos.h"
#include "linkscreens_fixture.h"

using guitest::whenShown;
using linktest::LinkScreensTest;

namespace {

const QString kRegras =
    QStringLiteral("Select Grupo,Familia,Subfamilia,Fornecedor,PVP from LigaProdutos Order by NumRegisto");

}  // namespace

TEST_F(LinkScreensTest, ProdutosListShowsSuppliersAndPriceLevels) {
    db.addLigaProduto({.grupo = "G1", .familia = "F1", .subfamilia = "", .fornecedor = "0000000042", .pvp = "2"});
    db.addLigaProduto({.grupo = "", .familia = "", .subfamilia = "S1", .fornecedor = data::Variant::null(), .pvp = ""});

    frmTabLigaProdutos lista;
    EXPECT_EQ(lista.objectName(), "frmTabLigaProdutos");
    EXPECT_EQ(lista.windowTitle(), "Ligação de Produtos Tramontix");
    whenShown<frmTabLigaProdutos>([&](frmTabLigaProdutos& ecra) {
        EXPECT_EQ(textosDaLista(ecra.lvwLista()), (QList<QStringList>{{"Todos", "Todas", "S1", "Todos", ""},
                                                                    {"G1", "F1", "Todas", "0000000042", "2"}}));
        ecra.cmdFechar()->click();
    });
    EXPECT_TRUE(lista.ShowForm());
}

TEST_F(LinkScreensTest, ProdutosSupplierCodesAreZeroFilledWhenTheCompanyAsks) {
    Configuracao().gintZerarFornece = 1;
    frmTabLigaProdutos lista;
    ASSERT_TRUE(lista.Carregar());
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& e) {
        e.txtGrupo()->setText("G1");
        escrever(e.txtFornecedor(), "123");
        guitest::key(e.txtFornecedor(), Qt::Key_Return, QString(QChar(13)));  // leaving the field fills it
        guitest::pump();
        EXPECT_EQ(e.txtFornecedor()->text(), "0000000123");
        e.cboPVP()->setCurrentIndex(e.cboPVP()->findText("3"));
        e.cmdGravar()->click();
    });
    lista.cmdNovo()->click();
    // A blank supplier ("all") stays blank.
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& e) {
        e.txtGrupo()->setText("G2");
        e.txtFornecedor()->setText("   ");
        e.cmdGravar()->click();
    });
    lista.cmdNovo()->click();
    // The same supplier typed short is the same combination, whatever the price level.
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& e) {
        e.txtGrupo()->setText("G1");
        e.txtFornecedor()->setText("123");
        e.cboPVP()->setCurrentIndex(e.cboPVP()->findText("1"));
        e.cmdGravar()->click();
        EXPECT_TRUE(e.isVisible());
        e.cmdCancelar()->click();
    });
    lista.cmdNovo()->click();
    EXPECT_EQ(textosDasCaixas(), QStringList({"Já existe esta combinação !"}));

    // Without the company's flag a supplier code is stored as typed.
    Configuracao().gintZerarFornece = 0;
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& e) {
        e.txtFornecedor()->setText("O'NEIL");
        e.cmdGravar()->click();
    });
    lista.cmdNovo()->click();
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"G1", "", "", "0000000123", "3"},
                                                   {"G2", "", "", "", ""},
                                                   {"", "", "", "O'NEIL", ""}}));
    EXPECT_EQ(lista.lvwLista()->rowCount(), 3);
}

TEST_F(LinkScreensTest, ProdutosChangingARuleKeepsWhatTheScreenDoesNotOffer) {
    db.addLigaProduto({.grupo = "G1", .familia = "F1", .subfamilia = "S1", .fornecedor = "77", .pvp = "7"});
    Configuracao().gintZerarFornece = 1;
    frmTabLigaProdutos lista;
    ASSERT_TRUE(lista.Carregar());
    lista.lvwLista()->setSelectedRow(lista.lvwLista()->row(1));
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& e) {
        EXPECT_EQ(e.txtSubfamilia()->text(), "S1");
        EXPECT_EQ(e.txtFornecedor()->text(), "77");
        EXPECT_EQ(e.cboPVP()->currentText(), "7");
        e.txtFamilia()->setText("");
        e.cmdGravar()->click();
    });
    lista.cmdAlterar()->click();
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"G1", "", "S1", "0000000077", "7"}}));
    EXPECT_EQ(textosDaLista(lista.lvwLista()), (QList<QStringList>{{"G1", "Todas", "S1", "0000000077", "7"}}));
    ASSERT_EQ(comandos.size(), 1);
    EXPECT_TRUE(comandos.front().startsWith("Update LigaProdutos Set Grupo='G1',Familia='',"));
}
