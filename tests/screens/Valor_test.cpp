#include <gtest/gtest.h>

#include <QClipboard>

#include "screens/Valor.h"
#include "util/gui_helpers.h"

using data::Currency;

namespace {

Currency amount(const char* text) { return *Currency::parse(QString::fromLatin1(text)); }

// A field on an active window, with the focus, as the user meets it.
struct Field {
    Valor eval;
    guitest::ScopedLocale locale;
    Field() {
        eval.setObjectName(QStringLiteral("evalPreco"));
        guitest::activate(eval);
        eval.setFocus();
    }
    void typed(const QString& text) { guitest::type(&eval, text); }
    void leave() { guitest::key(&eval, Qt::Key_Return, QStringLiteral("\r")); }
};

}  // namespace

TEST(Valor, TypingFollowsTheDecimalsAndTheRegionalSeparator) {
    Field f;
    f.typed(QStringLiteral("-12a3,4567"));
    EXPECT_EQ(f.eval.text(), "-123,45");  // letters refused, two decimals by default
    EXPECT_EQ(f.eval.valor(), amount("-123.45"));

    f.eval.clear();
    f.typed(QStringLiteral("7.5,1"));  // the point is typed as the decimal separator, once
    EXPECT_EQ(f.eval.text(), "7,51");
    f.eval.clear();
    f.typed(QStringLiteral("1-2"));  // a minus only in front
    EXPECT_EQ(f.eval.text(), "12");

    f.eval.setProperty("Decimais", 0);
    f.eval.clear();
    f.typed(QStringLiteral("45,6"));
    EXPECT_EQ(f.eval.text(), "456");
}

TEST(Valor, LeavingShowsTheAmountWithItsDecimals) {
    Field f;
    f.typed(QStringLiteral("1234,5"));
    f.leave();
    EXPECT_EQ(f.eval.text(), "1234,50");
    f.eval.clear();
    f.typed(QStringLiteral(",5"));
    f.leave();
    EXPECT_EQ(f.eval.text(), "0,50");
    f.eval.clear();
    f.typed(QStringLiteral("-"));
    f.leave();
    EXPECT_EQ(f.eval.text(), "0,00");
    f.eval.clear();
    f.leave();
    EXPECT_EQ(f.eval.text(), "");
    EXPECT_EQ(f.eval.valor(), Currency());
}

TEST(Valor, DecimaisSetByNameRevalidatesTheShownText) {
    Field f;
    f.eval.setProperty("Decimais", 3);
    f.typed(QStringLiteral("2,126"));
    EXPECT_TRUE(f.eval.setProperty("Decimais", QStringLiteral("2")));
    EXPECT_EQ(f.eval.property("Decimais").toInt(), 2);
    EXPECT_EQ(f.eval.valor().raw() / 100, 213);  // rounded to the shown decimals
    EXPECT_EQ(f.eval.text(), "2,13");
    f.eval.setProperty("Decimais", QStringLiteral("muitas"));
    EXPECT_EQ(f.eval.property("Decimais").toInt(), 0);
    EXPECT_EQ(f.eval.text(), "2");
    f.eval.setProperty("Decimais", 9);
    EXPECT_EQ(f.eval.property("Decimais").toInt(), 4);
    EXPECT_EQ(f.eval.text(), "2,0000");
}

TEST(Valor, ComprimentoLimitsTheTypedLength) {
    Field f;
    EXPECT_TRUE(f.eval.setProperty("Comprimento", 5));
    f.typed(QStringLiteral("123456"));
    EXPECT_EQ(f.eval.text(), "12345");

    // A shorter limit does not cut the text; it may shrink, not grow.
    f.eval.setProperty("Comprimento", 3);
    EXPECT_EQ(f.eval.text(), "12345");
    f.typed(QStringLiteral("6"));
    EXPECT_EQ(f.eval.text(), "12345");
    guitest::key(&f.eval, Qt::Key_Backspace, QString(QChar(8)));
    EXPECT_EQ(f.eval.text(), "1234");

    f.eval.setProperty("Comprimento", QStringLiteral("sem"));  // no limit
    EXPECT_EQ(f.eval.property("Comprimento").toInt(), 0);
    f.eval.clear();
    f.typed(QString(16, u'9'));  // the amount ends below 10^15
    EXPECT_EQ(f.eval.text(), QString(14, u'9'));
}

TEST(Valor, SetValorShowsTheAmount) {
    guitest::ScopedLocale locale;
    Valor eval;
    eval.setValor(amount("-1234567.891"));
    EXPECT_EQ(eval.text(), "-1234567,89");
    eval.setProperty("Decimais", 4);
    EXPECT_EQ(eval.text(), "-1234567,8900");
    EXPECT_TRUE(Valor::aceitaTexto(QStringLiteral("-0,1"), 2, 18));
    EXPECT_FALSE(Valor::aceitaTexto(QStringLiteral("1,2,3"), 2, 18));
    EXPECT_FALSE(Valor::aceitaTexto(QStringLiteral("1.000"), 2, 18));
    EXPECT_FALSE(Valor::aceitaTexto(QStringLiteral("--1"), 2, 18));
}

TEST(Valor, PastedTextFollowsTheSameRules) {
    Field f;
    QGuiApplication::clipboard()->setText(QStringLiteral("12a"));
    guitest::key(&f.eval, Qt::Key_V, QString(QChar(22)), Qt::ControlModifier);
    EXPECT_EQ(f.eval.text(), "");
    QGuiApplication::clipboard()->setText(QString(40000, u'1'));
    guitest::key(&f.eval, Qt::Key_V, QString(QChar(22)), Qt::ControlModifier);
    EXPECT_EQ(f.eval.text(), "");
    QGuiApplication::clipboard()->setText(QStringLiteral("-12,5"));
    guitest::key(&f.eval, Qt::Key_V, QString(QChar(22)), Qt::ControlModifier);
    EXPECT_EQ(f.eval.text(), "-12,5");
    EXPECT_EQ(f.eval.valor(), amount("-12.5"));
}
