#include <gtest/gtest.h>

#include "screens/ValidateTime.h"
#include "util/gui_helpers.h"

using ValidateTime::FormataHora;
using ValidateTime::HoraKeyPress;
using ValidateTime::ValidaHora;

namespace {

QString accepted(const QString& text) {
    QString hora = QStringLiteral("sem");
    return ValidaHora(text, hora) ? hora : QStringLiteral("recusada");
}

std::int16_t key(std::int16_t k) {
    HoraKeyPress(k);
    return k;
}

}  // namespace

TEST(ValidateTime, AcceptedTimesAreWrittenAsTheSchedulerComparesThem) {
    guitest::ScopedLocale locale;
    EXPECT_EQ(FormataHora(QTime(8, 5)), "08:05");
    EXPECT_EQ(accepted(QStringLiteral("08:05")), "08:05");
    EXPECT_EQ(accepted(QStringLiteral("8:05")), "08:05");
    EXPECT_EQ(accepted(QStringLiteral("7:5")), "07:05");
    EXPECT_EQ(accepted(QStringLiteral(" 23:59 ")), "23:59");
    EXPECT_EQ(accepted(QStringLiteral("0000")), "00:00");
    EXPECT_EQ(accepted(QStringLiteral("1230")), "12:30");

    Locale().gstrHoraSep = QStringLiteral(".");
    EXPECT_EQ(FormataHora(QTime(21, 0)), "21.00");
    EXPECT_EQ(accepted(QStringLiteral("21.00")), "21.00");
    EXPECT_EQ(accepted(QStringLiteral("21:00")), "21.00");
}

TEST(ValidateTime, RefusedTextsLeaveTheTimeAlone) {
    guitest::ScopedLocale locale;
    for (const QString& bad : {QString(), QStringLiteral("  "), QStringLiteral("24:00"), QStringLiteral("12:60"),
                               QStringLiteral("ab:cd"), QStringLiteral("12:345"), QStringLiteral("123"),
                               QStringLiteral("12-30"), QStringLiteral("1:2:3"), QStringLiteral("-1:30"),
                               QStringLiteral("12:3a"), QString(40000, u'1')}) {
        EXPECT_EQ(accepted(bad), "recusada") << bad.left(20).toStdString();
    }
    EXPECT_FALSE(ValidaHora(QStringLiteral("25:00")));
}

TEST(ValidateTime, TheKeyFilterLetsOnlyTimeCharactersThrough) {
    guitest::ScopedLocale locale;
    for (const std::int16_t k : {std::int16_t{'0'}, std::int16_t{'9'}, std::int16_t{':'}, std::int16_t{8}, std::int16_t{13}, std::int16_t{27}}) EXPECT_EQ(key(k), k);
    for (const std::int16_t k : {std::int16_t{'a'}, std::int16_t{'-'}, std::int16_t{' '}, std::int16_t{'.'}, std::int16_t{39}}) EXPECT_EQ(key(k), 0);
    Locale().gstrHoraSep = QStringLiteral(".");
    EXPECT_EQ(key('.'), '.');
    EXPECT_EQ(key(':'), '.');
}
