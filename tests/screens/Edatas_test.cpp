#include <gtest/gtest.h>

#include "platform/clock.h"
#include "screens/Edatas.h"
#include "support/messagebox_recorder.h"
#include "util/gui_helpers.h"

namespace {

struct Field {
    guitest::ScopedLocale locale;
    testsupport::MessageBoxRecorder boxes;
    Edatas edat;
    Field() {
        platform::setClock([] { return QDateTime(QDate(2025, 6, 10), QTime(9, 30), Qt::UTC); });
        edat.setObjectName(QStringLiteral("edatDataInicial"));
        guitest::activate(edat);
        edat.setFocus();
    }
    ~Field() { platform::setClock({}); }
    void typed(const QString& text) {
        edat.clear();
        guitest::type(&edat, text);
    }
    void leave() { guitest::key(&edat, Qt::Key_Return, QStringLiteral("\r")); }
};

}  // namespace

TEST(Edatas, TypedDatesAreReadAsTheRegionalShortDate) {
    Field f;
    f.typed(QStringLiteral("15032024"));
    f.leave();
    EXPECT_EQ(f.edat.Data(), "2024-03-15");
    EXPECT_EQ(f.edat.text(), "15-03-2024");

    f.typed(QStringLiteral("1/3/2024"));  // "/" is typed as the regional separator
    EXPECT_EQ(f.edat.text(), "1-3-2024");
    f.leave();
    EXPECT_EQ(f.edat.property("Data").toString(), "2024-03-01");
    EXPECT_EQ(f.edat.text(), "01-03-2024");

    f.typed(QStringLiteral("15-3"));  // this year
    f.leave();
    EXPECT_EQ(f.edat.Data(), "2025-03-15");
    EXPECT_TRUE(f.boxes.shown.empty());
}

TEST(Edatas, ImpossibleDatesAreRefusedWithTheSystemsMessageOnce) {
    Field f;
    f.typed(QStringLiteral("31-02-2024"));
    f.leave();
    ASSERT_EQ(f.boxes.shown.size(), 1U);
    EXPECT_EQ(f.boxes.shown[0].text, QStringLiteral("Data Invalida\r2024-02-31"));
    EXPECT_EQ(f.edat.Data(), "");
    EXPECT_EQ(f.edat.text(), "31-02-2024");  // kept for the user to correct
    EXPECT_FALSE(f.edat.Valida());
    f.leave();
    EXPECT_EQ(f.boxes.shown.size(), 1U);

    f.typed(QStringLiteral("32-01-2024"));
    f.leave();
    ASSERT_EQ(f.boxes.shown.size(), 2U);
    EXPECT_EQ(f.boxes.shown[1].text,
              QStringLiteral("Data Inválida de Acordo com o formato de data existente no  Painel de Control (dd-MM-yyyy)"));

    f.typed(QStringLiteral("29-02-2024"));
    EXPECT_TRUE(f.edat.Valida());
    EXPECT_EQ(f.edat.Data(), "2024-02-29");
}

TEST(Edatas, TypingTakesDigitsAndSeparatorsUpToTenCharacters) {
    Field f;
    f.typed(QStringLiteral("a1b2.0x3-2024999"));
    EXPECT_EQ(f.edat.text(), "12-03-2024");
    f.typed(QStringLiteral("   "));
    EXPECT_EQ(f.edat.text(), "");
    f.leave();
    EXPECT_EQ(f.edat.Data(), "");
    EXPECT_TRUE(f.edat.Valida());
}

TEST(Edatas, DataSetByNameShowsOrEmptiesTheField) {
    guitest::ScopedLocale locale;
    Edatas edat;
    ASSERT_TRUE(edat.setProperty("Data", QStringLiteral("2024-12-25")));
    EXPECT_EQ(edat.text(), "25-12-2024");
    EXPECT_EQ(edat.Data(), "2024-12-25");
    edat.setData(QStringLiteral("2024-13-01"));
    EXPECT_EQ(edat.text(), "");
    EXPECT_EQ(edat.Data(), "");
    edat.setData(QString(40000, u'9'));
    EXPECT_EQ(edat.Data(), "");
    Locale().gstrFormatoData = QStringLiteral("yyyy/MM/dd");
    Locale().gstrDataSep = QStringLiteral("/");
    edat.setData(QStringLiteral("2024-01-05"));
    EXPECT_EQ(edat.text(), "2024/01/05");
    EXPECT_EQ(edat.Data(), "2024-01-05");
}
