#pragma once
// Two lists of recorded statements compared one by one: the first that differs is named by its
// place, and the statements the run sent beyond the expected ones are shown whole.

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>

namespace testsupport {

inline void expectStatements(const QStringList& got, const QStringList& expected) {
    for (qsizetype i = 0; i < std::min(got.size(), expected.size()); ++i) {
        ASSERT_EQ(got[i].toStdString(), expected[i].toStdString()) << "statement " << i;
    }
    EXPECT_EQ(got.size(), expected.size()) << got.mid(expected.size()).join(u'\n').toStdString();
}

}  // namespace testsupport
