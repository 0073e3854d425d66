#pragma once
// The records of an export file as the run tests read them: every record must have the width
// of its type and end in CR LF, with nothing after the trailer.

#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

namespace testsupport {

// The widths of the records of the file, by their leading type text.
inline int larguraDoRegisto(const QByteArray& linha) {
    if (linha.startsWith("0")) return 61;
    if (linha.startsWith("1 011 ") || linha.startsWith("1 012 ") || linha.startsWith("1 013 ")) return 566;
    if (linha.startsWith("1 101 ") || linha.startsWith("1 102 ") || linha.startsWith("1 103 ")) return 189;
    if (linha.startsWith("1 30")) return 82;
    if (linha.startsWith("1 31")) return 181;
    if (linha.startsWith("1 40")) return 62;
    if (linha.startsWith("9")) return 89;
    return -1;
}

// The records of a file; every one must have its width and end in CR LF, with nothing after
// the trailer.
inline std::vector<QByteArray> registos(const QByteArray& bytes) {
    std::vector<QByteArray> out;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype fim = bytes.indexOf("\r\n", pos);
        EXPECT_GE(fim, 0) << "a record without its CR LF";
        if (fim < 0) break;
        out.push_back(bytes.mid(pos, fim - pos));
        pos = fim + 2;
    }
    for (const QByteArray& r : out) {
        EXPECT_EQ(r.size(), larguraDoRegisto(r)) << r.constData();
        EXPECT_EQ(r.indexOf('\n'), -1);
        EXPECT_EQ(r.indexOf('\r'), -1);
    }
    if (!out.empty()) {
        EXPECT_TRUE(out.back().startsWith("9"));
    }
    return out;
}

}  // namespace testsupport
