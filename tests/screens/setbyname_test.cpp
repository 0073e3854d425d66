#include <gtest/gtest.h>

#include <QWidget>

#include "screens/Inteiro.h"
#include "screens/Valor.h"
#include "util/EDiv.h"
#include "util/gui_helpers.h"

namespace {

template <class W>
W* make(QWidget* parent, const QString& name) {
    auto* w = new W(parent);
    w->setObjectName(name);
    return w;
}

}  // namespace

TEST(SetByName, TheUtilityMembersReachTheEntryControls) {
    guitest::ScopedLocale locale;
    QWidget form;
    auto* eintMeses = make<Inteiro>(&form, QStringLiteral("eintMeses"));
    auto* eintDias = make<Inteiro>(&form, QStringLiteral("eintDias"));
    auto* intOutro = make<Inteiro>(&form, QStringLiteral("intOutro"));
    auto* evalPreco = make<Valor>(&form, QStringLiteral("evalPreco"));
    auto* deciTaxa = make<Valor>(&form, QStringLiteral("deciTaxa"));
    evalPreco->setText(QStringLiteral("12,5"));

    EDiv& e = eFun();
    e.SetMinMaxEmInteiros(&form, 1, 99, true, QStringLiteral("Todos"));
    for (Inteiro* i : {eintMeses, eintDias}) {
        EXPECT_EQ(i->property("Minimo").toInt(), 1);
        EXPECT_EQ(i->property("Maximo").toInt(), 99);
        EXPECT_EQ(i->valor(), 1);
        EXPECT_EQ(i->text(), "1");
    }
    EXPECT_EQ(intOutro->property("Maximo").toInt(), 32767);
    EXPECT_EQ(intOutro->text(), "0");

    e.SetMinMaxEmInteiros(&form, 5, 10, false, QStringLiteral("eintDias"));
    EXPECT_EQ(eintDias->property("Minimo").toInt(), 5);
    EXPECT_EQ(eintDias->valor(), 1);
    EXPECT_EQ(eintMeses->property("Minimo").toInt(), 1);

    e.SetCasasDecimaisEmValores(&form, 3, QStringLiteral("Todos"));
    EXPECT_EQ(evalPreco->text(), "12,500");
    EXPECT_EQ(evalPreco->property("Comprimento").toInt(), 18);
    EXPECT_EQ(deciTaxa->property("Decimais").toInt(), 2);
    e.SetCasasDecimaisEmDecimais(&form, 0, QStringLiteral("Todos"));
    EXPECT_EQ(deciTaxa->property("Decimais").toInt(), 0);
    EXPECT_EQ(evalPreco->property("Decimais").toInt(), 3);
}
