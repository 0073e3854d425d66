// The customer rule list and its edit screen, driven through their widgets.

#include "linkscreens/frmLigaClientes.h"
#include "linkscreens/frmTabLigaClientes.h"
#include "linkscreens_fixture.h"

using guitest::whenShown;
using linktest::LinkScreensTest;

namespace {

const QString kRegras = QStringLiteral("Select Grupo,Familia,Subfamilia from LigaClientes Order by NumRegisto");

}  // namespace

TEST_F(LinkScreensTest, ClientesListShowsItsRulesWithBlankCodesAsTodosOrTodas) {
    db.addLigaCliente({.grupo = "G1", .familia = "", .subfamilia = ""});
    db.addLigaCliente({.grupo = "", .familia = "F2", .subfamilia = "S3"});
    db.addLigaCliente({.grupo = data::Variant::null(), .familia = "  ", .subfamilia = data::Variant::null()});

    frmTabLigaClientes lista;
    EXPECT_EQ(lista.objectName(), "frmTabLigaClientes");
    EXPECT_EQ(lista.windowTitle(), "Ligação de Clientes Tramontix");
    whenShown<frmTabLigaClientes>([&](frmTabLigaClientes& ecra) {
        EXPECT_EQ(textosDaLista(ecra.lvwLista()), (QList<QStringList>{{"Todos", "Todas", "Todas"},
                                                                    {"Todos", "F2", "S3"},
                                                                    {"G1", "Todas", "Todas"}}));
        EXPECT_EQ(ecra.lvwLista()->columnCaption(1), "Grupo");
        ecra.cmdFechar()->click();
    });
    EXPECT_TRUE(lista.ShowForm());
    EXPECT_TRUE(caixas.shown.empty());
}

TEST_F(LinkScreensTest, ClientesNewAndChangedRulesAreWrittenAsTyped) {
    frmTabLigaClientes lista;
    ASSERT_TRUE(lista.Carregar());
    EXPECT_EQ(lista.lvwLista()->rowCount(), 0);

    // A new rule: codes trimmed, blanks stored as empty texts ("all"), never as Null.
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        EXPECT_EQ(e.windowTitle(), "Ligação de Clientes Tramontix");
        EXPECT_EQ(e.txtFamilia()->placeholderText(), "Todas");
        escrever(e.txtGrupo(), " G1");
        e.cmdGravar()->click();
    });
    lista.cmdNovo()->click();
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"G1", "", ""}}));
    EXPECT_EQ(textosDaLista(lista.lvwLista()), (QList<QStringList>{{"G1", "Todas", "Todas"}}));

    // Changing it: the screen opens with the rule's codes; Enter steps on to the next field.
    lista.lvwLista()->setSelectedRow(lista.lvwLista()->row(1));
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        EXPECT_EQ(e.txtGrupo()->text(), "G1");
        EXPECT_EQ(e.txtFamilia()->text(), "");
        escrever(e.txtGrupo(), QString());
        guitest::key(e.txtGrupo(), Qt::Key_Return, QString(QChar(13)));
        guitest::pump();
        EXPECT_EQ(QApplication::focusWidget(), e.txtFamilia());
        e.txtFamilia()->setText("F1");
        e.txtSubfamilia()->setText("S1");
        e.cmdGravar()->click();
    });
    lista.cmdAlterar()->click();
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"G1", "F1", "S1"}}));
    EXPECT_EQ(textosDaLista(lista.lvwLista()), (QList<QStringList>{{"G1", "F1", "S1"}}));
    EXPECT_EQ(ListView::rowText(lista.lvwLista()->selectedRow(), 1), "F1");

    // A double click opens the same screen; cancelling writes nothing.
    QTreeWidget* arvore = lista.lvwLista();
    lista.show();
    guitest::pump();
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        EXPECT_EQ(e.txtSubfamilia()->text(), "S1");
        e.txtSubfamilia()->setText("S9");
        e.cmdCancelar()->click();
    });
    guitest::doubleClick(arvore->viewport(), arvore->visualItemRect(lista.lvwLista()->row(1)).center());
    lista.hide();
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"G1", "F1", "S1"}}));
    EXPECT_TRUE(caixas.shown.empty());
    EXPECT_EQ(comandos.size(), 2);
}

TEST_F(LinkScreensTest, ClientesASecondRuleWithTheSameCombinationIsRefused) {
    db.addLigaCliente({.grupo = "G1", .familia = "F1", .subfamilia = ""});
    db.addLigaCliente({.grupo = data::Variant::null(), .familia = "F2", .subfamilia = data::Variant::null()});
    db.addLigaCliente({.grupo = "G3", .familia = "", .subfamilia = ""});

    frmLigaClientes novo;
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        e.txtGrupo()->setText("g1");  // codes compare as the server compares them
        e.txtFamilia()->setText("F1 ");
        e.cmdGravar()->click();
        EXPECT_TRUE(e.isVisible());
        // Null in a stored rule and a blank field both mean "all".
        e.txtGrupo()->setText("");
        e.txtFamilia()->setText("F2");
        e.cmdGravar()->click();
        EXPECT_TRUE(e.isVisible());
        e.cmdCancelar()->click();
    });
    EXPECT_FALSE(novo.ShowForm());
    EXPECT_EQ(textosDasCaixas(), QStringList({"Já existe esta combinação !", "Já existe esta combinação !"}));
    EXPECT_EQ(caixas.shown.front().style, platform::mb::Exclamation);
    EXPECT_TRUE(comandos.isEmpty());
    EXPECT_EQ(linhas("Select count(*) from LigaClientes"), (QList<QStringList>{{"3"}}));

    // Changing a rule into another one's combination is refused too; saving it unchanged is not.
    const auto g3 = db.stagingScalar("Select NumRegisto from LigaClientes Where Grupo='G3'").toInt64();
    frmLigaClientes muda;
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        e.txtFamilia()->setText("F1");
        e.txtGrupo()->setText("G1");
        e.cmdGravar()->click();
        EXPECT_TRUE(e.isVisible());
        e.txtGrupo()->setText("G3");
        e.txtFamilia()->setText("");
        e.cmdGravar()->click();
    });
    EXPECT_TRUE(muda.ShowForm(g3));
    EXPECT_EQ(caixas.shown.size(), 3U);
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"G1", "F1", ""}, {"<NULL>", "F2", "<NULL>"}, {"G3", "", ""}}));
}

TEST_F(LinkScreensTest, ClientesCodesWithApostrophesAndOverlongTextsAreStoredSafely) {
    frmLigaClientes novo;
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        // A typed apostrophe becomes a backquote, as on every screen of the system ...
        escrever(e.txtSubfamilia(), "'");
        EXPECT_EQ(e.txtSubfamilia()->text(), "`");
        // ... but one that arrives otherwise (pasted) is kept, and a huge paste is cut to the width.
        e.txtGrupo()->setText("A'B");
        e.txtFamilia()->setText(QString(32767, u'\''));
        e.cmdGravar()->click();
    });
    EXPECT_TRUE(novo.ShowForm());
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"A'B", "'''", "`"}}));

    frmTabLigaClientes lista;
    ASSERT_TRUE(lista.Carregar());
    EXPECT_EQ(textosDaLista(lista.lvwLista()), (QList<QStringList>{{"A'B", "'''", "`"}}));

    // The same codes again are found as a duplicate, apostrophes and all.
    frmLigaClientes outra;
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        e.txtGrupo()->setText("A'B");
        e.txtFamilia()->setText("'''");
        e.txtSubfamilia()->setText("`");
        e.cmdGravar()->click();
        e.cmdCancelar()->click();
    });
    EXPECT_FALSE(outra.ShowForm());
    EXPECT_EQ(textosDasCaixas(), QStringList({"Já existe esta combinação !"}));
}

TEST_F(LinkScreensTest, DeletingARuleNeedsConfirmaAEliminacaoAnsweredSim) {
    db.addLigaCliente({.grupo = "G1"});
    db.addLigaCliente({.grupo = "G2"});
    frmTabLigaClientes lista;
    ASSERT_TRUE(lista.Carregar());

    lista.lvwLista()->setSelectedRow(nullptr);
    lista.lvwLista()->clearSelection();
    lista.cmdEliminar()->click();  // nothing selected: nothing asked
    EXPECT_TRUE(alertas.empty());

    lista.lvwLista()->setSelectedRow(linhaCom(lista.lvwLista(), 0, "G1"));
    respostasAlert = {1, 0};  // "Não", then the dialog cancelled
    lista.cmdEliminar()->click();
    lista.cmdEliminar()->click();
    ASSERT_EQ(alertas.size(), 2U);
    EXPECT_EQ(alertas[0].titulo, "Confirma a Eliminação?");
    EXPECT_EQ(alertas[0].opcoes, QStringList({"Não", "Sim"}));
    EXPECT_EQ(linhas("Select Grupo from LigaClientes Order by Grupo"), (QList<QStringList>{{"G1"}, {"G2"}}));

    respostasAlert = {2};
    lista.cmdEliminar()->click();
    EXPECT_EQ(linhas("Select Grupo from LigaClientes Order by Grupo"), (QList<QStringList>{{"G2"}}));
    EXPECT_EQ(textosDaLista(lista.lvwLista()), (QList<QStringList>{{"G2", "Todas", "Todas"}}));
    EXPECT_TRUE(caixas.shown.empty());
}
