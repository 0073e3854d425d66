#include <gtest/gtest.h>

#include "screens/Inteiro.h"
#include "util/gui_helpers.h"

namespace {

struct Field {
    Inteiro eint;
    Field() {
        eint.setObjectName(QStringLiteral("eintP7"));
        guitest::activate(eint);
        eint.setFocus();
    }
    void typed(const QString& text) {
        eint.clear();
        guitest::type(&eint, text);
    }
    void leave() { guitest::key(&eint, Qt::Key_Return, QStringLiteral("\r")); }
};

}  // namespace

TEST(Inteiro, ValorByNameCountsNonNumbersAsZeroAndStopsAtMaximo) {
    Inteiro eint;
    EXPECT_EQ(eint.text(), "0");
    ASSERT_TRUE(eint.setProperty("Minimo", 1));
    ASSERT_TRUE(eint.setProperty("Maximo", 99));
    ASSERT_TRUE(eint.setProperty("Valor", 42));
    EXPECT_EQ(eint.property("Valor").toInt(), 42);
    EXPECT_EQ(eint.text(), "42");
    eint.setProperty("Valor", QStringLiteral("abc"));
    EXPECT_EQ(eint.property("Valor").toInt(), 0);
    eint.setProperty("Valor", 150);
    EXPECT_EQ(eint.property("Valor").toInt(), 99);
    eint.setProperty("Valor", QStringLiteral(" 12 "));
    EXPECT_EQ(eint.valor(), 12);
    eint.setProperty("Valor", -5);  // only the upper limit applies to a set value
    EXPECT_EQ(eint.valor(), -5);
    eint.setProperty("Valor", QVariant());
    EXPECT_EQ(eint.valor(), 0);

    eint.setProperty("Maximo", 100000);  // limits are 16-bit
    EXPECT_EQ(eint.property("Maximo").toInt(), 32767);
    eint.setProperty("Minimo", QStringLiteral("x"));
    EXPECT_EQ(eint.property("Minimo").toInt(), 0);
}

TEST(Inteiro, TypingAndLeavingKeepTheValueWithinItsLimits) {
    Field f;
    f.eint.setProperty("Minimo", 1);
    f.eint.setProperty("Maximo", 99);
    f.typed(QStringLiteral("-1a50"));
    EXPECT_EQ(f.eint.text(), "150");
    f.leave();
    EXPECT_EQ(f.eint.text(), "99");
    f.typed(QStringLiteral("0"));
    f.leave();
    EXPECT_EQ(f.eint.text(), "1");
    f.typed(QString());
    f.leave();
    EXPECT_EQ(f.eint.valor(), 1);
    f.typed(QStringLiteral("0007"));
    f.leave();
    EXPECT_EQ(f.eint.text(), "7");

    f.eint.setProperty("Minimo", -10);
    f.eint.setProperty("Maximo", 32767);
    f.typed(QStringLiteral("-5-"));
    EXPECT_EQ(f.eint.text(), "-5");
    f.leave();
    EXPECT_EQ(f.eint.valor(), -5);
    f.typed(QStringLiteral("-20"));
    f.leave();
    EXPECT_EQ(f.eint.valor(), -10);
    f.typed(QStringLiteral("1234567"));
    EXPECT_EQ(f.eint.text(), "12345");
    f.typed(QStringLiteral("99999"));
    f.leave();
    EXPECT_EQ(f.eint.text(), "32767");
}
