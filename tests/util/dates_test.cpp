#include <gtest/gtest.h>

#include <QDateTime>
#include <functional>

#include "platform/clock.h"
#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"
#include "util/Locale.h"

using data::Currency;
using data::Variant;

namespace {

const QString kFormatMessage =
    QStringLiteral("Data Inválida de Acordo com o formato de data existente no  Painel de Control (");

long errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return 0;
}

QDateTime at(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
    return QDateTime(QDate(y, m, d), QTime(h, n, s), Qt::UTC);
}

// Every test runs on a pinned "today" (a Sunday of a common year) and a dd-MM-yyyy region; the
// program-wide record, working year and month and the clock are put back afterwards.
class Dates : public ::testing::Test {
protected:
    void SetUp() override {
        savedLocale_ = Locale();
        savedAno_ = gstrAno();
        savedMes_ = gstrMes();
        pinToday(QDate(2023, 7, 9));
        region(QStringLiteral("dd-MM-yyyy"), QStringLiteral("-"));
    }
    void TearDown() override {
        Locale() = savedLocale_;
        gstrAno() = savedAno_;
        gstrMes() = savedMes_;
        platform::setClock({});
    }
    static void pinToday(QDate d, QTime t = QTime(10, 30)) {
        platform::setClock([d, t] { return QDateTime(d, t, Qt::UTC); });
    }
    static void region(const QString& format, const QString& sep) {
        Locale().gstrFormatoData = format;
        Locale().gstrDataSep = sep;
    }
    QString lastBox() const { return boxes.shown.empty() ? QString() : boxes.shown.back().text; }

    testsupport::MessageBoxRecorder boxes;
    EDiv e;

private:
    LocaleRecord savedLocale_;
    QString savedAno_;
    QString savedMes_;
};

}  // namespace

TEST_F(Dates, CreateStrPosGivesTheOrderOfTheRegionalFormat) {
    region("d/M/yy", "/");
    EXPECT_EQ(e.CreateStrPos(), "DMY");
    region("yyyy-MM-dd", "-");
    EXPECT_EQ(e.CreateStrPos(), "YMD");
    region("MM.dd.yyyy", ".");
    EXPECT_EQ(e.CreateStrPos(), "MDY");
    region("dd-MM-aaaa", "-");
    EXPECT_EQ(e.CreateStrPos(), "DMA");
    region("dd MM yyyy", "-");
    EXPECT_EQ(e.CreateStrPos(), "DMY") << "a blank that is not the separator is taken as the empty text";
    region("", "-");
    EXPECT_EQ(e.CreateStrPos(), "");
}

TEST_F(Dates, PDataReadsDayMonthYearTexts) {
    EXPECT_EQ(e.PData("5-3-2024"), "2024-03-05");
    EXPECT_EQ(e.PData(" 5 - 3 - 2024 "), "2024-03-05");
    EXPECT_EQ(e.PData("15-3"), "2023-03-15") << "the year comes from today";
    EXPECT_EQ(e.PData("15"), "2023-07-15") << "typed without separators, the missing month and year are today's";
    EXPECT_EQ(e.PData("15-"), "2023-07-15");
    EXPECT_EQ(e.PData("15032024"), "2024-03-15");
    EXPECT_EQ(e.PData("15-03-2024-99"), "2024-03-15") << "parts beyond the third are ignored";
    EXPECT_EQ(e.PData("-"), "2023-07-09") << "a separator alone leaves every part to today";
    EXPECT_TRUE(boxes.shown.empty());

    // Two-digit year typed together: the year reads 0024, which no date of the system has.
    EXPECT_EQ(e.PData("150324"), "");
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r0024-03-15"));
    EXPECT_EQ(boxes.shown.back().style, platform::mb::Critical);
}

TEST_F(Dates, PDataRefusesImpossibleDates) {
    EXPECT_EQ(e.PData("32-01-2024"), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kFormatMessage + "dd-MM-yyyy)");
    EXPECT_EQ(boxes.shown[0].style, 16);

    EXPECT_EQ(e.PData("15-13-2024"), "");
    EXPECT_EQ(lastBox(), kFormatMessage + "dd-MM-yyyy)");
    EXPECT_EQ(e.PData("15-03-0"), "");
    EXPECT_EQ(lastBox(), kFormatMessage + "dd-MM-yyyy)");

    EXPECT_EQ(e.PData("31-02-2024"), "");
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r2024-02-31"));
    EXPECT_EQ(boxes.shown.back().style, 16);
    EXPECT_EQ(e.PData("31-04-2024"), "");
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r2024-04-31"));

    // Leap years: 2024 and 2000 have a 29 February, 2023 and 1900 have none.
    EXPECT_EQ(e.PData("29-02-2024"), "2024-02-29");
    EXPECT_EQ(e.PData("29-02-2000"), "2000-02-29");
    EXPECT_EQ(e.PData("29-02-2023"), "");
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r2023-02-29"));
    EXPECT_EQ(e.PData("29-02-1900"), "");
    EXPECT_EQ(e.PData("29-02"), "") << "today's year 2023 is common";
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r2023-02-29"));
    pinToday(QDate(2024, 1, 10));
    EXPECT_EQ(e.PData("29-02"), "2024-02-29");
}

TEST_F(Dates, PDataGivesADefinedAnswerForBadInput) {
    EXPECT_EQ(e.PData(""), "");
    EXPECT_EQ(e.PData("     "), "");
    EXPECT_TRUE(boxes.shown.empty()) << "nothing typed is no date, without a message";

    EXPECT_EQ(e.PData("abc"), "");
    EXPECT_EQ(lastBox(), kFormatMessage + "dd-MM-yyyy)");
    EXPECT_EQ(e.PData("99-99-9999"), "");
    EXPECT_EQ(lastBox(), kFormatMessage + "dd-MM-yyyy)");
    EXPECT_EQ(e.PData("1x-03-2024"), "") << "the range check reads the leading number only";
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r2024-03-1x"));
    EXPECT_EQ(e.PData("15-03-20245"), "");
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r20245-03-15"));

    const std::size_t before = boxes.shown.size();
    EXPECT_EQ(e.PData(QString(40000, u'x')), "");
    EXPECT_EQ(e.PData(QString(40000, u'-')), "") << "more separators than a count can hold";
    EXPECT_EQ(e.PData(QString(40000, u'7')), "");
    EXPECT_EQ(e.PData(QStringLiteral("15-03-") + QString(40000, u'2')), "");
    EXPECT_EQ(boxes.shown.size(), before + 4);
    EXPECT_EQ(e.PData(QString(40000, u'1')), "1111-11-11") << "characters after the eighth are ignored";

    region("", "-");
    EXPECT_EQ(e.PData("15-03-2024"), "") << "without a regional format no part has a letter";
    EXPECT_EQ(lastBox(), QStringLiteral("Data Invalida\r--"));
}

TEST_F(Dates, PDataAcceptsTheSixArrangementsWithEachSeparator) {
    struct Arrangement {
        const char* format;  // with '|' for the separator
        const char* unpadded;
        const char* packed;
        const char* printed;
    };
    const Arrangement all[] = {
        {"dd|MM|yyyy", "5|3|2024", "05032024", "05|03|2024"}, {"MM|dd|yyyy", "3|5|2024", "03052024", "03|05|2024"},
        {"MM|yyyy|dd", "3|2024|5", "03202405", "03|2024|05"}, {"yyyy|MM|dd", "2024|3|5", "20240305", "2024|03|05"},
        {"yyyy|dd|MM", "2024|5|3", "20240503", "2024|05|03"}, {"dd|yyyy|MM", "5|2024|3", "05202403", "05|2024|03"},
    };
    for (const QString& sep : {QStringLiteral("-"), QStringLiteral("/"), QStringLiteral(".")}) {
        for (const auto& a : all) {
            region(QString::fromLatin1(a.format).replace('|', sep), sep);
            const QString expected = "2024" + sep + "03" + sep + "05";
            const QString typed = QString::fromLatin1(a.unpadded).replace('|', sep);
            SCOPED_TRACE(Locale().gstrFormatoData.toStdString());
            EXPECT_EQ(e.PData(typed), expected);
            EXPECT_EQ(e.PData(QString::fromLatin1(a.packed)), expected);
            // What GData prints, PData reads back.
            EXPECT_EQ(e.GData(Variant(at(2024, 3, 5))), QString::fromLatin1(a.printed).replace('|', sep));
            EXPECT_EQ(e.PData(e.GData(Variant(at(2024, 3, 5)))), expected);
            EXPECT_EQ(e.PData(e.GData(Variant(at(2024, 2, 29)))), "2024" + sep + "02" + sep + "29");
        }
    }
    EXPECT_TRUE(boxes.shown.empty());

    region("yyyy/MM/dd", "/");
    EXPECT_EQ(e.PData("2024/3/5"), "2024/03/05");
    EXPECT_EQ(e.PData("20240305"), "2024/03/05");
    EXPECT_EQ(e.PData("2024/3"), "2024/03/09") << "the day comes from today";
    region("MM/dd/yyyy", "/");
    EXPECT_EQ(e.PData("3/15"), "2023/03/15");
    region("dd-MM-aaaa", "-");
    EXPECT_EQ(e.PData("5-3-2024"), "2024-03-05");
    EXPECT_EQ(e.PData("05032024"), "2024-03-05") << "the year written with a is read at its place";
}

TEST_F(Dates, GDataPrintsTheRegionalShortDate) {
    const Variant d(at(2024, 3, 5, 17, 45));
    EXPECT_EQ(e.GData(d), "05-03-2024");
    region("d/M/yy", "/");
    EXPECT_EQ(e.GData(d), "5/3/24");
    region("dd/MM/yyyy", ".");
    EXPECT_EQ(e.GData(d), "05.03.2024") << "the parts are joined by the regional separator";
    region("dd-MM-aaaa", "-");
    EXPECT_EQ(e.GData(d), "05-03-2024");
    region("yyyy-MM-dd", "-");
    EXPECT_EQ(e.GData(Variant("2024-03-05")), "2024-03-05");
    EXPECT_EQ(e.GData(Variant("2024-03-05 10:00:00")), "2024-03-05");
    EXPECT_EQ(e.GData(Variant(45000)), "2023-03-15") << "a number is a serial date";
    EXPECT_EQ(e.GData(Variant("abc")), "");
    EXPECT_EQ(e.GData(Variant("2024-02-30")), "");
    EXPECT_EQ(e.GData(Variant()), "");
    EXPECT_EQ(e.GData(Variant::null()), "");
    EXPECT_EQ(e.GData(Variant(QString(40000, u'9'))), "");
}

TEST_F(Dates, FormataDataReadsByLength) {
    QString fmt = "dd-mm-yyyy";
    QString trocada = "old";
    QString certa = "old";
    EXPECT_FALSE(e.FormataData("150324", fmt, trocada, certa));
    EXPECT_EQ(certa, "old");
    EXPECT_EQ(trocada, "old");

    EXPECT_TRUE(e.FormataData("15-03-2024", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-03-15");
    EXPECT_EQ(trocada, "15-03-2024");
    EXPECT_TRUE(e.FormataData("15032024", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-03-15");
    EXPECT_EQ(trocada, "15-03-2024");
    EXPECT_TRUE(e.FormataData("7", fmt, trocada, certa));
    EXPECT_EQ(certa, "2023-07-07");
    EXPECT_EQ(trocada, "07-07-2023");
    EXPECT_TRUE(e.FormataData("45", fmt, trocada, certa));
    EXPECT_EQ(certa, "2023-05-04");
    EXPECT_TRUE(e.FormataData("15", fmt, trocada, certa));
    EXPECT_EQ(certa, "2023-07-15");
    EXPECT_TRUE(e.FormataData("153", fmt, trocada, certa));
    EXPECT_EQ(certa, "2023-03-15");
    EXPECT_TRUE(e.FormataData("412", fmt, trocada, certa));
    EXPECT_EQ(certa, "2023-12-04") << "41 is no day: day 4, month from characters 2-3";
    EXPECT_FALSE(e.FormataData("453", fmt, trocada, certa)) << "day 4, month 53";
    EXPECT_TRUE(e.FormataData("1503", fmt, trocada, certa));
    EXPECT_EQ(certa, "2023-03-15");

    EXPECT_FALSE(e.FormataData("31-02-2024", fmt, trocada, certa));
    EXPECT_FALSE(e.FormataData("29-02-2023", fmt, trocada, certa));
    EXPECT_TRUE(e.FormataData("29-02-2024", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-02-29");
    EXPECT_FALSE(e.FormataData("15-03-1899", fmt, trocada, certa));
    EXPECT_FALSE(e.FormataData("15-13-2024", fmt, trocada, certa));
    EXPECT_FALSE(e.FormataData("00-03-2024", fmt, trocada, certa));
    EXPECT_FALSE(e.FormataData("ab-cd-efgh", fmt, trocada, certa));
    EXPECT_FALSE(e.FormataData("15-3x-2024", fmt, trocada, certa));
    EXPECT_FALSE(e.FormataData(QString(40000, u'1'), fmt, trocada, certa));
    EXPECT_EQ(fmt, "dd-mm-yyyy");

    EXPECT_TRUE(e.FormataData("   ", fmt, trocada, certa));
    EXPECT_EQ(certa, "");
    EXPECT_EQ(trocada, "");
}

TEST_F(Dates, FormataDataFormatsAndPositions) {
    QString trocada;
    QString certa;
    QString fmt;
    EXPECT_TRUE(e.FormataData("15-03-2024", fmt, trocada, certa));
    EXPECT_EQ(fmt, "dd-MM-yyyy") << "an empty format takes the regional one, in the caller's variable";

    region("", "-");
    fmt = "dd-mm-yyyy";
    EXPECT_TRUE(e.FormataData("2024-03-15", fmt, trocada, certa));
    EXPECT_EQ(fmt, "yyyy-mm-dd") << "without a regional format the sortable one is imposed";
    EXPECT_EQ(certa, "2024-03-15");

    fmt = "mm/dd/yyyy";
    region("MM/dd/yyyy", "/");
    EXPECT_TRUE(e.FormataData("03/15/2024", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-03-15");
    EXPECT_EQ(trocada, "03/15/2024");

    // Typed without separators, each part is read where it stands once the separators are gone.
    fmt = "yyyy-mm-dd";
    EXPECT_TRUE(e.FormataData("20240315", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-03-15");
    EXPECT_EQ(trocada, "2024-03-15");
    fmt = "dd-yyyy-mm";
    EXPECT_TRUE(e.FormataData("15202403", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-03-15");
    EXPECT_EQ(trocada, "15-2024-03");

    fmt = "dd-mm-aaaa";
    EXPECT_TRUE(e.FormataData("15-03-2024", fmt, trocada, certa));
    EXPECT_EQ(certa, "2024-03-15");
    EXPECT_EQ(trocada, "15-03-2024");

    fmt = "yyyy-mm";  // no day letter: the day would be read before the first character
    EXPECT_EQ(errorOf([&] { e.FormataData("2024-03-15", fmt, trocada, certa); }), platform::errnum::InvalidProcedureCall);
}

TEST_F(Dates, DataAddMovesByThePlatformsIntervals) {
    EXPECT_EQ(e.DataAdd("d", Variant(1), "2024-02-28"), "2024-02-29");
    EXPECT_EQ(e.DataAdd("d", Variant(1), "2023-02-28"), "2023-03-01");
    EXPECT_EQ(e.DataAdd("d", Variant(-1), "2024-03-01"), "2024-02-29");
    EXPECT_EQ(e.DataAdd("y", Variant(366), "2024-01-01"), "2025-01-01");
    EXPECT_EQ(e.DataAdd("w", Variant(1.9), "2024-01-01"), "2024-01-02") << "the fraction is ignored";
    EXPECT_EQ(e.DataAdd("ww", Variant(2), "2024-03-01"), "2024-03-15");
    EXPECT_EQ(e.DataAdd("m", Variant(1), "2024-01-31"), "2024-02-29");
    EXPECT_EQ(e.DataAdd("m", Variant(1), "2023-01-31"), "2023-02-28");
    EXPECT_EQ(e.DataAdd("q", Variant(1), "2024-11-30"), "2025-02-28");
    EXPECT_EQ(e.DataAdd("yyyy", Variant(1), "2024-02-29"), "2025-02-28");
    EXPECT_EQ(e.DataAdd("yyyy", Variant(4), "2024-02-29"), "2028-02-29");
    EXPECT_EQ(e.DataAdd("h", Variant(24), "2024-03-01"), "2024-03-02");
    EXPECT_EQ(e.DataAdd("n", Variant(1440), "2024-03-01"), "2024-03-02");
    EXPECT_EQ(e.DataAdd("s", Variant(86399), "2024-03-01"), "2024-03-01");
    EXPECT_EQ(e.DataAdd("d", Variant("3"), "15-03-2024"), "2024-03-18") << "the regional text is a date too";
    EXPECT_EQ(e.DataAdd("d", Variant(1), "2024-03-15 23:00"), "2024-03-16");
    region("yyyy/MM/dd", "/");
    EXPECT_EQ(e.DataAdd("d", Variant(1), "2024/03/15"), "2024-03-16") << "always written with '-'";
    EXPECT_TRUE(boxes.shown.empty());

    EXPECT_EQ(errorOf([&] { e.DataAdd("x", Variant(1), "2024-03-15"); }), platform::errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { e.DataAdd("d", Variant(1), "abc"); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(errorOf([&] { e.DataAdd("d", Variant(1), ""); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(errorOf([&] { e.DataAdd("d", Variant(1), "2024-02-30"); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(errorOf([&] { e.DataAdd("d", Variant(1), QString(40000, u'1')); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(errorOf([&] { e.DataAdd("d", Variant("abc"), "2024-03-15"); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(errorOf([&] { e.DataAdd("yyyy", Variant(1), "9999-06-01"); }), platform::errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { e.DataAdd("d", Variant(1e300), "2024-03-15"); }), platform::errnum::InvalidProcedureCall);

    region("d/M/yy", "/");  // a short date FormataData cannot read
    EXPECT_EQ(e.DataAdd("d", Variant(1), "2024-03-15"), "2024-03-15");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Erro Interno ( DataAdd )");
    EXPECT_EQ(boxes.shown[0].style, platform::mb::OKOnly);
}

TEST_F(Dates, GetDateIsTodayAsSortableText) {
    pinToday(QDate(2024, 2, 29));
    EXPECT_EQ(e.GetDate(), "2024-02-29");
    region("MM/dd/yyyy", "/");
    EXPECT_EQ(e.GetDate(), "2024-02-29");
    region("yyyy.dd.MM", ".");
    EXPECT_EQ(e.GetDate(), "2024-02-29");
    region("", "");
    EXPECT_EQ(e.GetDate(), "2024-02-29");
    EXPECT_TRUE(boxes.shown.empty());

    region("d/M/yy", "/");
    EXPECT_EQ(e.GetDate(), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Erro Interno ( GetDate )");
    EXPECT_EQ(boxes.shown[0].style, 0);
}

TEST_F(Dates, DivideDiasMesesAnosCountsYearsThenMonthsThenDays) {
    Currency anos;
    Currency meses;
    Currency dias;
    e.DivideDiasMesesAnos("2024-01-15", Variant("2025-03-20"), anos, meses, dias);
    EXPECT_EQ(anos, Currency::fromUnits(1));
    EXPECT_EQ(meses, Currency::fromUnits(2));
    EXPECT_EQ(dias, Currency::fromUnits(5));

    e.DivideDiasMesesAnos("2024-02-29", Variant("2025-02-28"), anos, meses, dias);
    EXPECT_EQ(anos, Currency::fromUnits(1)) << "a candidate equal to the second date counts";
    EXPECT_EQ(meses, Currency());
    EXPECT_EQ(dias, Currency());

    e.DivideDiasMesesAnos("2024-01-31", Variant("2024-03-30"), anos, meses, dias);
    EXPECT_EQ(anos, Currency());
    EXPECT_EQ(meses, Currency::fromUnits(2)) << "31 January, 29 February, 29 March";
    EXPECT_EQ(dias, Currency::fromUnits(1));

    e.DivideDiasMesesAnos("2024-01-15", Variant("9999-12-31"), anos, meses, dias);
    EXPECT_EQ(anos, Currency::fromUnits(7975)) << "the walk stops at the last day a date can have";
    EXPECT_EQ(meses, Currency::fromUnits(11));
    EXPECT_EQ(dias, Currency::fromUnits(16));
    e.DivideDiasMesesAnos("2024-01-15", Variant("zzz"), anos, meses, dias);
    EXPECT_EQ(anos, Currency::fromUnits(7975)) << "any text sorts after the dates";

    e.DivideDiasMesesAnos("2024-03-20", Variant("2024-03-15"), anos, meses, dias);
    EXPECT_EQ(anos + meses + dias, Currency()) << "a second date before the first counts nothing";

    region("dd/MM/yyyy", "/");
    e.DivideDiasMesesAnos("2024/01/15", Variant("2025/03/20"), anos, meses, dias);
    EXPECT_EQ(anos, Currency::fromUnits(1));
    EXPECT_EQ(meses, Currency::fromUnits(2));
    EXPECT_EQ(dias, Currency::fromUnits(5));

    anos = meses = dias = Currency::fromUnits(7);
    e.DivideDiasMesesAnos("", Variant("2025-03-20"), anos, meses, dias);
    e.DivideDiasMesesAnos("2024-01-15", Variant(""), anos, meses, dias);
    e.DivideDiasMesesAnos("2024-01-15", Variant(), anos, meses, dias);
    EXPECT_EQ(anos, Currency::fromUnits(7));
    EXPECT_EQ(meses, Currency::fromUnits(7));
    EXPECT_EQ(dias, Currency::fromUnits(7));

    EXPECT_EQ(errorOf([&] { e.DivideDiasMesesAnos("abc", Variant("2025-03-20"), anos, meses, dias); }),
              platform::errnum::TypeMismatch);
    EXPECT_NE(errorOf([&] { e.DivideDiasMesesAnos("2024-01-15", Variant::null(), anos, meses, dias); }), 0);
    EXPECT_EQ(anos, Currency::fromUnits(7));
}

TEST_F(Dates, DataExtensoWritesTheDateInWords) {
    EXPECT_EQ(e.DataExtenso("2024-03-05"), QStringLiteral("05 de Março de 2024"));
    EXPECT_EQ(e.DataExtenso("  2024-12-25 "), "25 de Dezembro de 2024");
    EXPECT_EQ(e.DataExtenso("2024-13-05"), QStringLiteral("05 de 13 - Não Defenido de 2024"));
    EXPECT_EQ(e.DataExtenso("2024-3-5"), "");
    EXPECT_EQ(e.DataExtenso(""), "");
    EXPECT_EQ(e.DataExtenso(QString(40000, u'2')), "");
    EXPECT_EQ(errorOf([&] { e.DataExtenso("2024-xx-05"); }), platform::errnum::TypeMismatch);
}

TEST_F(Dates, GetDataIniFimParaMovsGivesTheMonthsFirstAndLastDay) {
    QString ini;
    QString fim;
    e.GetDataIniFimParaMovs(ini, fim, "2024", "2");
    EXPECT_EQ(ini, "2024-02-01");
    EXPECT_EQ(fim, "2024-02-29");
    e.GetDataIniFimParaMovs(ini, fim, "2023", "02");
    EXPECT_EQ(fim, "2023-02-28");
    e.GetDataIniFimParaMovs(ini, fim, "2024", "12");
    EXPECT_EQ(ini, "2024-12-01");
    EXPECT_EQ(fim, "2024-12-31");

    e.GetDataIniFimParaMovs(ini, fim, "9999", "12");
    EXPECT_EQ(fim, "9999-12-31");

    region("MM/dd/yyyy", "/");
    e.GetDataIniFimParaMovs(ini, fim, "2024", "4");
    EXPECT_EQ(ini, "2024-04-01") << "the start is always written with '-'";
    EXPECT_EQ(fim, "2024/04/30") << "the end carries the regional separator";

    region("dd-MM-yyyy", "-");
    gstrAno() = "2024";
    gstrMes() = "06";
    e.GetDataIniFimParaMovs(ini, fim);
    EXPECT_EQ(ini, "2024-06-01");
    EXPECT_EQ(fim, "2024-06-30");
    EXPECT_TRUE(boxes.shown.empty());

    gstrAno().clear();
    gstrMes().clear();
    EXPECT_EQ(errorOf([&] { e.GetDataIniFimParaMovs(ini, fim); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(ini, "--01");
    EXPECT_EQ(errorOf([&] { e.GetDataIniFimParaMovs(ini, fim, "2024", "13"); }), platform::errnum::TypeMismatch);
}

TEST_F(Dates, MonthAndWeekdayNames) {
    EXPECT_EQ(e.meses(1), "Jan");
    EXPECT_EQ(e.meses(3, true), QStringLiteral("Março"));
    EXPECT_EQ(e.meses(12, true), "Dezembro");
    EXPECT_EQ(e.meses(0), QStringLiteral("0 - Não Defenido"));
    EXPECT_EQ(e.meses(13, true), QStringLiteral("13 - Não Defenido"));
    EXPECT_EQ(e.meses(-1), QStringLiteral("-1 - Não Defenido"));
    EXPECT_EQ(e.Dias(1), "Seg");
    EXPECT_EQ(e.Dias(6), QStringLiteral("Sáb"));
    EXPECT_EQ(e.Dias(2, true), QStringLiteral("Terça Feira"));
    EXPECT_EQ(e.Dias(7, true), "Domingo");
    EXPECT_EQ(e.Dias(8), QStringLiteral("8 - Não Defenido"));
    EXPECT_EQ(e.MesesStr(3), QStringLiteral("Março"));
    EXPECT_EQ(e.MesesStr(12), "Dezembro");
    EXPECT_EQ(errorOf([&] { e.MesesStr(0); }), platform::errnum::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { e.MesesStr(13); }), platform::errnum::SubscriptOutOfRange);
}

TEST_F(Dates, DataToMinutesIgnoresSeconds) {
    EXPECT_EQ(e.DataToMinutes(Variant(at(2024, 3, 15, 13, 45, 59))), 825);
    EXPECT_EQ(e.DataToMinutes(Variant("2024-03-15 13:45")), 825);
    EXPECT_EQ(e.DataToMinutes(Variant("10:30")), 630);
    EXPECT_EQ(e.DataToMinutes(Variant("15-03-2024")), 0);
    EXPECT_EQ(e.DataToMinutes(Variant(0.75)), 1080) << "a serial date's fraction is the time";
    EXPECT_EQ(e.DataToMinutes(Variant()), 0);
    EXPECT_EQ(errorOf([&] { e.DataToMinutes(Variant("abc")); }), platform::errnum::TypeMismatch);
    EXPECT_EQ(errorOf([&] { e.DataToMinutes(Variant("25:00")); }), platform::errnum::TypeMismatch);
    EXPECT_NE(errorOf([&] { e.DataToMinutes(Variant::null()); }), 0);
}

TEST_F(Dates, UnitConversions) {
    EXPECT_EQ(e.ConvertDaysToOther(45, "M"), 1);
    EXPECT_EQ(e.ConvertDaysToOther(45, "m"), 1);
    EXPECT_EQ(e.ConvertDaysToOther(548, "A"), 2);
    EXPECT_EQ(e.ConvertDaysToOther(182, "a"), 0);
    EXPECT_EQ(e.ConvertDaysToOther(183, "A"), 1);
    EXPECT_EQ(e.ConvertDaysToOther(-548, "A"), -2);
    EXPECT_EQ(e.ConvertDaysToOther(45, "d"), 45);
    EXPECT_EQ(e.ConvertDaysToOther(45, "x"), 0);
    EXPECT_EQ(e.ConvertDaysToOther(45), 0);
    EXPECT_EQ(e.ConvertDaysToOther(45, "Anos"), 0);

    EXPECT_EQ(e.ConvertOtherToDays(2, "A"), 730);
    EXPECT_EQ(e.ConvertOtherToDays(2, "m"), 62);
    EXPECT_EQ(e.ConvertOtherToDays(5, "D"), 5);
    EXPECT_EQ(e.ConvertOtherToDays(5, "x"), 0);
    EXPECT_EQ(e.ConvertOtherToDays(5), 0);
    EXPECT_EQ(e.ConvertOtherToDays(5883516, "A"), 2147483340);
    EXPECT_EQ(errorOf([&] { e.ConvertOtherToDays(5883517, "A"); }), platform::errnum::Overflow);
    EXPECT_EQ(errorOf([&] { e.ConvertOtherToDays(-70000000, "M"); }), platform::errnum::Overflow);
}
