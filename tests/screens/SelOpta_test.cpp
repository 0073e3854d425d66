#include <gtest/gtest.h>

#include "screens/SelOpta.h"
#include "util/gui_helpers.h"

namespace {

const QString kDias = QStringLiteral("0:Todos os Dias;1:Segunda;2:Terça;3:Quarta;4:Quinta;5:Sexta;6:Sábado;7:Domingo;");

}  // namespace

TEST(SelOpta, ListaFillsAndSelectsTheFirstEntry) {
    SelOpta esel;
    EXPECT_EQ(esel.Chave(), "");
    ASSERT_TRUE(esel.setProperty("Lista", kDias));
    ASSERT_EQ(esel.count(), 8);
    EXPECT_EQ(esel.itemText(0), "Todos os Dias");
    EXPECT_EQ(esel.itemText(6), "Sábado");
    EXPECT_EQ(esel.Chave(), "0");
    EXPECT_EQ(esel.Texto(), "Todos os Dias");
    EXPECT_EQ(esel.property("Lista").toString(), kDias);

    // A second list replaces the first.
    esel.setLista(QStringLiteral("A:Sim;b:Não;"));
    EXPECT_EQ(esel.count(), 2);
    EXPECT_EQ(esel.Chave(), "A");
}

TEST(SelOpta, ChaveSelectsByKeyWithoutCaseOrTheFirstEntry) {
    SelOpta esel;
    esel.setLista(QStringLiteral("S:Sim;n:Não;EO:Ofertas;"));
    ASSERT_TRUE(esel.setProperty("Chave", QStringLiteral("N")));
    EXPECT_EQ(esel.Texto(), "Não");
    EXPECT_EQ(esel.Chave(), "n");
    esel.setChave(QStringLiteral("eo"));
    EXPECT_EQ(esel.Texto(), "Ofertas");
    esel.setChave(QStringLiteral("X"));
    EXPECT_EQ(esel.Texto(), "Sim");
    esel.setChave(QStringLiteral("n"));
    esel.setChave(QString());
    EXPECT_EQ(esel.Chave(), "S");

    esel.setLista(kDias);
    esel.setProperty("Chave", QString::number(7));
    EXPECT_EQ(esel.Texto(), "Domingo");
}

TEST(SelOpta, EmptyAndMalformedListsGiveNoOptions) {
    SelOpta esel;
    esel.setLista(QStringLiteral("1:Um;2:Dois;"));
    esel.setLista(QString());
    EXPECT_EQ(esel.count(), 0);
    EXPECT_EQ(esel.Chave(), "");
    esel.setChave(QStringLiteral("1"));
    EXPECT_EQ(esel.Chave(), "");

    esel.setLista(QStringLiteral("1:Um;sem chave;"));
    EXPECT_EQ(esel.count(), 0);
    // Text after the last ";" is no entry.
    esel.setLista(QStringLiteral("1:Um;2:Dois"));
    EXPECT_EQ(esel.count(), 1);
    esel.setLista(QString(40000, u'x') + QStringLiteral(":longo;"));
    EXPECT_EQ(esel.count(), 1);
    EXPECT_EQ(esel.Texto(), "longo");
}

TEST(SelOpta, TheUserPicksWithTheKeyboard) {
    SelOpta esel;
    esel.setLista(kDias);
    ASSERT_TRUE(guitest::activate(esel));
    esel.setFocus();
    guitest::key(&esel, Qt::Key_Down);
    guitest::key(&esel, Qt::Key_Down);
    EXPECT_EQ(esel.Chave(), "2");
    EXPECT_EQ(esel.Texto(), "Terça");
}
