// The rule edit screens fed with quotes, semicolons, comment dashes and characters the
// database's code page lacks, typed and pasted: each rule is stored as the field holds it,
// found again as a duplicate, listed as it is, and no statement breaks or does more than it
// should.

#include "linkscreens/frmLigaClientes.h"
#include "linkscreens/frmLigaProdutos.h"
#include "linkscreens/frmLigaVendas.h"
#include "linkscreens/frmTabLigaClientes.h"
#include "linkscreens_fixture.h"

using guitest::whenShown;
using linktest::LinkScreensTest;

namespace {

QString tabelas(const testsupport::RunDatabases& db) {
    QString out;
    for (const char* t : {"LigaClientes", "LigaProdutos", "LigaMovimentos", "Clientes", "Produtos", "Movimentos"}) {
        out += QString::fromLatin1(t) + u'=' +
               db.stagingScalar(QStringLiteral("select count(*) from ") + QString::fromLatin1(t)).toString() + u' ';
    }
    return out;
}

}  // namespace

TEST_F(LinkScreensTest, QuotesSemicolonsAndDashesInEveryRuleFieldAreStoredAsTheFieldHoldsThem) {
    // Pasted values keep every character; the widths of the columns cut them.
    const QList<QStringList> clientes = {{"\"", ";", "--"}, {"';", "'--", "\";'"}, {"a'b", "--'", "; -"}};
    for (const QStringList& r : clientes) {
        frmLigaClientes e;
        whenShown<frmLigaClientes>([&](frmLigaClientes& ecra) {
            ecra.txtGrupo()->setText(r[0]);
            ecra.txtFamilia()->setText(r[1]);
            ecra.txtSubfamilia()->setText(r[2]);
            ecra.cmdGravar()->click();
        });
        EXPECT_TRUE(e.ShowForm()) << r.join('|').toStdString();
    }
    EXPECT_EQ(linhas("Select Grupo,Familia,Subfamilia from LigaClientes Order by NumRegisto"), clientes);
    frmTabLigaClientes lista;
    ASSERT_TRUE(lista.Carregar());
    EXPECT_EQ(textosDaLista(lista.lvwLista()).size(), 3);

    // Each is found again as a duplicate, quotes and all.
    for (const QStringList& r : clientes) {
        frmLigaClientes e;
        whenShown<frmLigaClientes>([&](frmLigaClientes& ecra) {
            ecra.txtGrupo()->setText(r[0]);
            ecra.txtFamilia()->setText(r[1]);
            ecra.txtSubfamilia()->setText(r[2]);
            ecra.cmdGravar()->click();
            ecra.cmdCancelar()->click();
        });
        EXPECT_FALSE(e.ShowForm());
    }
    EXPECT_EQ(textosDasCaixas(), QStringList(3, QStringLiteral("Já existe esta combinação !")));

    // Products: the supplier field takes ten characters, a statement's worth of them.
    frmLigaProdutos p;
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& ecra) {
        ecra.txtGrupo()->setText("'--");
        ecra.txtFornecedor()->setText("x'; drop table LigaProdutos --");
        ecra.cmdGravar()->click();
    });
    EXPECT_TRUE(p.ShowForm());
    EXPECT_EQ(linhas("Select Grupo,Fornecedor from LigaProdutos"), (QList<QStringList>{{"'--", "x'; drop t"}}));

    // Sales kinds: the document type, typed (the apostrophe arrives as a backquote) and pasted.
    for (const char* tipo : {"'\";", "--;"}) {
        frmLigaVendas v;
        whenShown<frmLigaVendas>([&](frmLigaVendas& ecra) {
            escrever(ecra.txtTipo(), QString::fromLatin1(tipo));
            ecra.cmdGravar()->click();
        });
        EXPECT_TRUE(v.ShowForm(QStringLiteral("V"))) << tipo;
    }
    frmLigaVendas colado;
    whenShown<frmLigaVendas>([&](frmLigaVendas& ecra) {
        ecra.txtTipo()->setText("';--");
        ecra.cmdGravar()->click();
    });
    EXPECT_TRUE(colado.ShowForm(QStringLiteral("D")));
    EXPECT_EQ(linhas("Select Mascara,Tipo from LigaMovimentos Order by NumRegisto"),
              (QList<QStringList>{{"V", "`\";"}, {"V", "--;"}, {"D", "';-"}}));

    EXPECT_EQ(tabelas(db), "LigaClientes=3 LigaProdutos=1 LigaMovimentos=3 Clientes=0 Produtos=0 Movimentos=0 ");
}

TEST_F(LinkScreensTest, CharactersOutsideTheCodePageAndOverlongPastesGiveDefinedRules) {
    // An emoji is two UTF-16 units: at the edge of a field's width it may not fit whole.
    frmLigaProdutos p;
    whenShown<frmLigaProdutos>([&](frmLigaProdutos& ecra) {
        ecra.txtGrupo()->setText(QStringLiteral("\u6771\u4eac"));
        ecra.txtFamilia()->setText(QStringLiteral("\U0001F600"));
        ecra.txtFornecedor()->setText(QString(9, u'9') + QStringLiteral("\U0001F600"));
        ecra.txtSubfamilia()->setText(QString(32767, u'\''));
        ecra.cmdGravar()->click();
    });
    EXPECT_TRUE(p.ShowForm());
    const QList<QStringList> regra = linhas("Select Grupo,Familia,Subfamilia,Fornecedor from LigaProdutos");
    ASSERT_EQ(regra.size(), 1);
    EXPECT_EQ(regra[0][0], QStringLiteral("\u6771\u4eac"));
    EXPECT_EQ(regra[0][1], QStringLiteral("\U0001F600"));
    EXPECT_EQ(regra[0][2], QStringLiteral("'''"));
    // Nine digits and whatever was left of the emoji: never more than the column takes.
    EXPECT_TRUE(regra[0][3].startsWith(QString(9, u'9')));
    EXPECT_LE(regra[0][3].size(), 10);
    EXPECT_TRUE(textosDasCaixas().isEmpty()) << textosDasCaixas().join('|').toStdString();
}
