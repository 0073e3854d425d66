// The sales-line rule lists of the five movement kinds and their edit screen.

#include <QCheckBox>

#include "linkscreens/frmLigaVendas.h"
#include "linkscreens/frmTabLigaVendas.h"
#include "linkscreens_fixture.h"
#include "screens/SelOpta.h"

using guitest::whenShown;
using linktest::LinkScreensTest;

namespace {

const QString kRegras = QStringLiteral(
    "Select Mascara,Tipo,TipoOferta,ApenasMovComValor from LigaMovimentos Order by NumRegisto");
const QString kSimultaneo =
    QStringLiteral("Este tipo de movimento não pode ser considerado uma venda e uma oferta em simultâneo!");

}  // namespace

TEST_F(LinkScreensTest, VendasShowFormCaptionsTheKindAndListsOnlyItsRules) {
    db.addLigaMovimento({.mascara = "V", .tipo = "FT", .tipoOferta = "1", .apenasMovComValor = std::int16_t{1}});
    db.addLigaMovimento({.mascara = "V", .tipo = "FS"});
    db.addLigaMovimento({.mascara = "D", .tipo = "NC", .tipoOferta = data::Variant::null()});
    db.addLigaMovimento({.mascara = "EO", .tipo = "OF"});

    const QList<QPair<QString, QString>> tipos = {{"V", "Configuração de Vendas"},
                                                  {"D", "Configuração de Devoluções"},
                                                  {"EO", "Configuração de Entrega de Ofertas"},
                                                  {"AV", "Configuração de Acerto a Vendas"},
                                                  {"AO", "Configuração de Acerto a Ofertas"}};
    QMap<QString, QList<QStringList>> vistos;
    for (const auto& [tipo, titulo] : tipos) {
        frmTabLigaVendas lista;
        QString mascara = tipo;
        whenShown<frmTabLigaVendas>([&, titulo = titulo](frmTabLigaVendas& ecra) {
            EXPECT_EQ(ecra.windowTitle(), titulo);
            vistos[ecra.mascara()] = textosDaLista(ecra.lvwLista());
            ecra.cmdFechar()->click();
        });
        EXPECT_TRUE(lista.ShowForm(mascara));
        EXPECT_EQ(mascara, tipo);
    }
    const QString porTipo = QStringLiteral("As ofertas são consideradas por tipo de movimento");
    const QString porValor = QStringLiteral("As ofertas são consideradas por movimentos de Valor 0");
    EXPECT_EQ(vistos["V"], (QList<QStringList>{{"FS", porTipo, "Não"}, {"FT", porValor, "Sim"}}));
    EXPECT_EQ(vistos["D"], (QList<QStringList>{{"NC", porTipo, "Não"}}));
    EXPECT_EQ(vistos["EO"], (QList<QStringList>{{"OF", porTipo, "Não"}}));
    EXPECT_TRUE(vistos["AV"].isEmpty());
    EXPECT_TRUE(vistos["AO"].isEmpty());

    // A kind that is none of the five shows nothing at all.
    frmTabLigaVendas outra;
    QString desconhecida = QStringLiteral("X'Y");
    EXPECT_FALSE(outra.ShowForm(desconhecida));
    QString enorme(32767, u'V');
    EXPECT_FALSE(outra.ShowForm(enorme));
    QString vazia;
    EXPECT_FALSE(outra.ShowForm(vazia));
    EXPECT_FALSE(outra.isVisible());
    EXPECT_TRUE(caixas.shown.empty());
}

TEST_F(LinkScreensTest, VendasRulesAreWrittenWithTheSystemsStatements) {
    frmTabLigaVendas lista;
    QString mascara = QStringLiteral("V");
    whenShown<frmTabLigaVendas>([&](frmTabLigaVendas& ecra) {
        whenShown<frmLigaVendas>([&](frmLigaVendas& e) {
            EXPECT_EQ(e.windowTitle(), "Configuração de Vendas");
            EXPECT_FALSE(e.cmdGravar()->isEnabled());  // no type yet
            EXPECT_EQ(e.eselTipoOferta()->Chave(), "0");
            EXPECT_EQ(e.chkApenasMovComValor()->text(), "Apenas movimentos com valor líquido superior a zero");
            escrever(e.txtTipo(), "FT");
            e.eselTipoOferta()->setChave("1");
            e.chkApenasMovComValor()->click();
            e.cmdGravar()->click();
        });
        ecra.cmdNovo()->click();
        ASSERT_EQ(ecra.lvwLista()->rowCount(), 1);
        ecra.lvwLista()->setSelectedRow(ecra.lvwLista()->row(1));
        whenShown<frmLigaVendas>([&](frmLigaVendas& e) {
            EXPECT_EQ(e.txtTipo()->text(), "FT");
            EXPECT_EQ(e.eselTipoOferta()->Chave(), "1");
            EXPECT_TRUE(e.chkApenasMovComValor()->isChecked());
            e.txtTipo()->setText("F'1");
            e.eselTipoOferta()->setChave("0");
            e.chkApenasMovComValor()->click();
            e.cmdGravar()->click();
        });
        ecra.cmdAlterar()->click();
        EXPECT_EQ(textosDaLista(ecra.lvwLista()),
                  (QList<QStringList>{{"F'1", "As ofertas são consideradas por tipo de movimento", "Não"}}));
        ecra.cmdFechar()->click();
    });
    EXPECT_TRUE(lista.ShowForm(mascara));

    ASSERT_EQ(comandos.size(), 2);
    EXPECT_TRUE(comandos[0].startsWith("Insert into LigaMovimentos (Tipo,TipoOferta,Mascara,ApenasMovComValor) "));
    EXPECT_TRUE(comandos[1].startsWith("Update LigaMovimentos Set Tipo='F''1'"));
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"V", "F'1", "0", "0"}}));
}

TEST_F(LinkScreensTest, VendasATypeStandsOnceInAKindAndNeverBesideAnOffer) {
    db.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    db.addLigaMovimento({.mascara = "EO", .tipo = "OF"});
    const auto novaRegra = [&](const QString& mascara, const QString& tipo, bool gravada) {
        frmLigaVendas ecra;
        whenShown<frmLigaVendas>([&](frmLigaVendas& e) {
            e.txtTipo()->setText(tipo);
            e.cmdGravar()->click();
            if (e.isVisible()) e.cmdCancelar()->click();
        });
        EXPECT_EQ(ecra.ShowForm(mascara), gravada) << mascara.toStdString() << "/" << tipo.toStdString();
    };

    novaRegra("V", "ft", false);  // the same type in the same kind
    novaRegra("EO", "FT", false);  // a sale type as an offer
    novaRegra("D", "OF", false);  // an offer type as a return
    novaRegra("AV", "FT", true);  // a type may stand in two kinds other than "EO"
    novaRegra("D", "FT", true);
    novaRegra("EO", "OF2", true);
    EXPECT_EQ(textosDasCaixas(), QStringList({"Já existe este tipo  !", kSimultaneo, kSimultaneo}));
    EXPECT_EQ(linhas(kRegras), (QList<QStringList>{{"V", "FT", "0", "0"},
                                                   {"EO", "OF", "0", "0"},
                                                   {"AV", "FT", "0", "0"},
                                                   {"D", "FT", "0", "0"},
                                                   {"EO", "OF2", "0", "0"}}));

    // Changing the offer rule to a sale's type is refused as well; keeping its own type is not.
    const auto of = db.stagingScalar("Select NumRegisto from LigaMovimentos Where Tipo='OF'").toInt64();
    frmLigaVendas muda;
    whenShown<frmLigaVendas>([&](frmLigaVendas& e) {
        e.txtTipo()->setText("FT");
        e.cmdGravar()->click();
        EXPECT_TRUE(e.isVisible());
        e.txtTipo()->setText("OF");
        e.chkApenasMovComValor()->setChecked(true);
        e.cmdGravar()->click();
    });
    EXPECT_TRUE(muda.ShowForm("EO", of));
    EXPECT_EQ(textosDasCaixas().last(), kSimultaneo);
    EXPECT_EQ(linhas("Select Tipo,ApenasMovComValor from LigaMovimentos Where Mascara='EO' Order by Tipo"),
              (QList<QStringList>{{"OF", "1"}, {"OF2", "0"}}));
}
