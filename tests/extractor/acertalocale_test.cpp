#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>

#include "extractor/MainMod.h"
#include "platform/regional.h"
#include "util/Locale.h"

namespace {

// Points the regional store at a fresh file holding the given settings.
class RegionalFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        platform::setRegionalFile(dir_.filePath("regional.ini"));
    }
    void TearDown() override {
        platform::setRegionalFile(QString());
        Locale() = LocaleRecord{};
    }

    void store(const std::map<int, QString>& values) {
        for (const auto& [code, text] : values) ASSERT_TRUE(platform::setLocaleInfo(code, text)) << code;
    }
    static QString stored(int code) { return platform::getLocaleInfo(code).value_or("<none>"); }

    // A usable Portuguese set; tests change what they are about.
    std::map<int, QString> base() const {
        return {{14, ","}, {15, "."}, {16, "3;0"}, {29, "-"}, {30, ":"}, {31, "dd-MM-yyyy"}};
    }

private:
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(RegionalFixture, UsableSettingsAreReadAndLeftAlone) {
    auto v = base();
    v[29] = "/";
    v[31] = "dd/MM/yyyy";
    store(v);
    AcertaLocale();
    const LocaleRecord& l = Locale();
    EXPECT_EQ(l.gstrDecSep, ",");
    EXPECT_EQ(l.gstrMilSep, ".");
    EXPECT_EQ(l.gstrAgrupamento, "3");
    EXPECT_EQ(l.gstrFormatoData, "dd/MM/yyyy");
    EXPECT_EQ(l.gstrHoraSep, ":");
    EXPECT_EQ(l.gstrDataSep, "/");
    EXPECT_EQ(l.gstrDataSepSistema, "/");
    EXPECT_EQ(stored(31), "dd/MM/yyyy");

    for (const char* f : {"yyyy/MM/dd", "MM/dd/yyyy", "MM/yyyy/dd", "yyyy/dd/MM", "dd/yyyy/MM", "DD/mm/YYYY"}) {
        v[31] = f;
        store(v);
        AcertaLocale();
        EXPECT_EQ(Locale().gstrFormatoData, f) << "every arrangement of the three parts is usable";
    }
}

TEST_F(RegionalFixture, UnusableShortDatesAreRepairedInTheStore) {
    auto v = base();
    v[29] = "/";
    for (const char* f : {"d/M/yyyy", "dd/MM/yy", "dd-MM-yyyy"}) {
        v[31] = f;
        store(v);
        AcertaLocale();
        EXPECT_EQ(Locale().gstrFormatoData, "dd-MM-yyyy") << f;
        EXPECT_EQ(stored(31), "dd-MM-yyyy") << f;
    }

    v[29] = "-";
    v[31] = "dd-MM-aaaa";
    store(v);
    AcertaLocale();
    EXPECT_EQ(Locale().gstrFormatoData, "dd-MM-aaaa") << "a year written aaaa is usable";

    v[31] = "dd/MM";
    store(v);
    AcertaLocale();
    EXPECT_EQ(Locale().gstrFormatoData, "dd-MM-aaaa");
    EXPECT_EQ(stored(31), "dd-MM-aaaa");
}

TEST_F(RegionalFixture, ClashingOrDashNumberSeparatorsBecomePointAndComma) {
    struct Case {
        const char* dec;
        const char* mil;
    };
    for (const Case c : {Case{"-", "-"}, Case{".", "."}, Case{",", ","}, Case{"-", "."}}) {
        auto v = base();
        v[14] = c.dec;
        v[15] = c.mil;
        store(v);
        AcertaLocale();
        EXPECT_EQ(Locale().gstrDecSep, ".") << c.dec << c.mil;
        EXPECT_EQ(Locale().gstrMilSep, ",") << c.dec << c.mil;
        EXPECT_EQ(stored(14), ".");
        EXPECT_EQ(stored(15), ",");
    }
}

TEST_F(RegionalFixture, DateSeparatorRepairs) {
    auto v = base();
    v[29] = "1";
    v[31] = "dd1MM1yyyy";
    store(v);
    AcertaLocale();
    EXPECT_EQ(Locale().gstrDataSep, "-");
    EXPECT_EQ(Locale().gstrDataSepSistema, "-");
    EXPECT_EQ(stored(29), "-");

    // A blank separator reads as empty text (the regional reader trims), so the format no
    // longer matches and is repaired too, and only the record's system copy stays empty.
    v[29] = " ";
    v[31] = "dd MM yyyy";
    store(v);
    AcertaLocale();
    EXPECT_EQ(Locale().gstrDataSep, "-");
    EXPECT_EQ(Locale().gstrDataSepSistema, "");
    EXPECT_EQ(Locale().gstrFormatoData, "dd-MM-yyyy");
    EXPECT_EQ(stored(29), "-");
}
