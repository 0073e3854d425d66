// A staging database that does not open: every screen says why and writes nothing.

#include "extractor/MainMod_configuracao.h"
#include "linkscreens/frmLigaClientes.h"
#include "linkscreens/frmTabLigaClientes.h"
#include "linkscreens/frmTabLigaProdutos.h"
#include "linkscreens/frmTabLigaVendas.h"
#include "linkscreens_fixture.h"

using guitest::whenShown;
using linktest::LinkScreensTest;

TEST_F(LinkScreensTest, AFailedConnectionShowsTheErrorNumberAndTextInACriticalBox) {
    db.addLigaCliente({.grupo = "G1"});
    const QString senha = Configuracao().gstrPwd;
    Configuracao().gstrPwd = QStringLiteral("errada");
    const QString esperado = QStringLiteral("18456\rLogin failed for user 'sa'.");

    frmTabLigaClientes clientes;
    EXPECT_FALSE(clientes.ShowForm());
    frmTabLigaProdutos produtos;
    EXPECT_FALSE(produtos.ShowForm());
    frmTabLigaVendas vendas;
    QString mascara = QStringLiteral("AO");
    EXPECT_FALSE(vendas.ShowForm(mascara));
    EXPECT_EQ(vendas.windowTitle(), "Configuração de Acerto a Ofertas");
    frmLigaClientes regra;
    EXPECT_FALSE(regra.ShowForm(1));  // a rule to change cannot be read
    ASSERT_EQ(caixas.shown.size(), 4U);
    for (const auto& caixa : caixas.shown) {
        EXPECT_EQ(caixa.text, esperado);
        EXPECT_EQ(caixa.style, platform::mb::Critical);
    }

    // The server goes away while a rule is being typed: the screen stays open with the rule.
    Configuracao().gstrPwd = senha;
    caixas.shown.clear();
    frmLigaClientes nova;
    whenShown<frmLigaClientes>([&](frmLigaClientes& e) {
        e.txtGrupo()->setText("G2");
        Configuracao().gstrPwd = QStringLiteral("errada");
        e.cmdGravar()->click();
        EXPECT_TRUE(e.isVisible());
        EXPECT_EQ(e.txtGrupo()->text(), "G2");
        e.cmdCancelar()->click();
    });
    EXPECT_FALSE(nova.ShowForm());
    EXPECT_EQ(textosDasCaixas(), QStringList({esperado}));
    EXPECT_EQ(linhas("Select Grupo from LigaClientes"), (QList<QStringList>{{"G1"}}));

    // Deleting on a server that went away: asked, refused with the error, nothing lost.
    Configuracao().gstrPwd = senha;
    frmTabLigaClientes lista;
    ASSERT_TRUE(lista.Carregar());
    lista.lvwLista()->setSelectedRow(lista.lvwLista()->row(1));
    Configuracao().gstrPwd = QStringLiteral("errada");
    respostasAlert = {2};
    lista.cmdEliminar()->click();
    EXPECT_EQ(alertas.size(), 1U);
    EXPECT_EQ(textosDasCaixas(), QStringList({esperado, esperado}));  // the typed rule, then the delete
    EXPECT_EQ(linhas("Select Grupo from LigaClientes"), (QList<QStringList>{{"G1"}}));
}

TEST_F(LinkScreensTest, AMissingRuleTableIsReportedWithTheServersError) {
    db.execStaging("Drop Table LigaProdutos");
    frmTabLigaProdutos lista;
    EXPECT_FALSE(lista.ShowForm());
    ASSERT_EQ(caixas.shown.size(), 1U);
    EXPECT_TRUE(caixas.shown.front().text.startsWith("208\r")) << caixas.shown.front().text.toStdString();
    EXPECT_EQ(caixas.shown.front().style, platform::mb::Critical);
}
