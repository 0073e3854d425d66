#include "crypto/clsCrypBlowfish.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <vector>

using crypto::clsCrypBlowfish;

namespace {

QByteArray xorBlocks(const QByteArray& a, const QByteArray& b) {
    QByteArray out = a;
    for (qsizetype i = 0; i < out.size(); ++i) out[i] = static_cast<char>(a.at(i) ^ b.at(i));
    return out;
}

// Undoes the chaining block by block with the bare block function.
QByteArray plainBlocksByHand(const QByteArray& cipher, const QByteArray& key) {
    QByteArray plain;
    for (qsizetype at = 8; at < cipher.size(); at += 8)
        plain += xorBlocks(clsCrypBlowfish::DecryptBlock(cipher.mid(at, 8), key), cipher.mid(at - 8, 8));
    return plain;
}

// A two-block cipher text built by hand whose first block carries the given stored length.
QByteArray cipherWithStoredLength(quint32 length, const QByteArray& key) {
    const QByteArray random("\x11\x22\x33\x44\x55\x66\x77\x88", 8);
    QByteArray block1(8, 'x');
    qToLittleEndian(length, block1.data());
    const QByteArray c0 = clsCrypBlowfish::EncryptBlock(random, key);
    return c0 + clsCrypBlowfish::EncryptBlock(xorBlocks(block1, c0), key);
}

QByteArray sampleBytes(qsizetype size) {
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return data;
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

TEST(BlowfishShape, LayoutIsRandomBlockThenLengthDataAndZeroFillChained) {
    clsCrypBlowfish bf;
    QByteArray cipher("ABCDEFGHI");
    ASSERT_TRUE(bf.EncryptByte(cipher, QStringLiteral("k")));
    ASSERT_EQ(cipher.size(), 24);
    EXPECT_EQ(plainBlocksByHand(cipher, "k"), QByteArray("\x09\0\0\0ABCDEFGHI\0\0\0", 16));

    for (const qsizetype n : {0, 1, 3, 4, 5, 11, 12, 13}) {
        QByteArray data(n, 'z');
        ASSERT_TRUE(bf.EncryptByte(data, QString()));
        EXPECT_EQ(data.size(), 8 + (4 + n + 7) / 8 * 8) << n;
    }
}

TEST(BlowfishShape, BytesRoundTripAndDifferEachTime) {
    clsCrypBlowfish bf;
    for (const qsizetype n : {0, 1, 7, 8, 9, 100000}) {
        const QByteArray plain = sampleBytes(n);
        QByteArray first = plain;
        QByteArray second = plain;
        ASSERT_TRUE(bf.EncryptByte(first, QStringLiteral("chave")));
        ASSERT_TRUE(bf.EncryptByte(second, QStringLiteral("chave")));
        EXPECT_NE(first, second) << n;
        EXPECT_TRUE(bf.DecryptByte(first, QStringLiteral("chave")));
        EXPECT_EQ(first, plain) << n;
    }
    EXPECT_EQ(bf.DecryptString(bf.EncryptString(QStringLiteral("ção€"), QString()), QString()), QStringLiteral("ção€"));
}

TEST(BlowfishShape, RefusesMalformedCipherTexts) {
    clsCrypBlowfish bf;
    for (const qsizetype n : {0, 7, 8, 15, 17, 23}) {
        QByteArray data(n, 'q');
        EXPECT_FALSE(bf.DecryptByte(data, QString())) << n;
        EXPECT_TRUE(data.isEmpty()) << n;
    }
    QByteArray exact = cipherWithStoredLength(4, "k");
    EXPECT_TRUE(bf.DecryptByte(exact, QStringLiteral("k")));
    EXPECT_EQ(exact, QByteArray("xxxx"));
    for (const quint32 length : {5u, 1000u, 0xFFFFFFFFu}) {
        QByteArray tooLong = cipherWithStoredLength(length, "k");
        EXPECT_FALSE(bf.DecryptByte(tooLong, QStringLiteral("k"))) << length;
    }

    QByteArray truncated = sampleBytes(20);
    ASSERT_TRUE(bf.EncryptByte(truncated, QString()));
    truncated.chop(8);
    EXPECT_FALSE(bf.DecryptByte(truncated, QString()));
    EXPECT_TRUE(bf.DecryptString(QByteArray(13, 'q'), QString()).isEmpty());
}

TEST(BlowfishShape, ProgressRisesToOneHundred) {
    clsCrypBlowfish bf;
    std::vector<int> seen;
    bf.onProgress = [&](int percent) { seen.push_back(percent); };
    QByteArray data = sampleBytes(1 << 20);
    ASSERT_TRUE(bf.EncryptByte(data, QString()));
    ASSERT_GT(seen.size(), 2u);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LT(seen[i - 1], seen[i]);
    EXPECT_EQ(seen.back(), 100);

    seen.clear();
    ASSERT_TRUE(bf.DecryptByte(data, QString()));
    ASSERT_GT(seen.size(), 2u);
    EXPECT_EQ(seen.back(), 100);

    seen.clear();
    QByteArray empty;
    ASSERT_TRUE(bf.EncryptByte(empty, QString()));
    EXPECT_EQ(seen, std::vector<int>{100});
}

TEST(BlowfishShape, FilesRoundTripAndRefusalsLeaveNoOutput) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plainPath = dir.filePath("plain.bin");
    const QString cipherPath = dir.filePath("cipher.bin");
    const QString backPath = dir.filePath("back.bin");
    clsCrypBlowfish bf;

    for (const qsizetype n : {0, 5, 200003}) {
        const QByteArray plain = sampleBytes(n);
        ASSERT_TRUE(writeFile(plainPath, plain));
        ASSERT_TRUE(bf.EncryptFile(plainPath, cipherPath, QStringLiteral("chave")));
        EXPECT_EQ(QFile(cipherPath).size(), 8 + (4 + n + 7) / 8 * 8);
        ASSERT_TRUE(bf.DecryptFile(cipherPath, backPath, QStringLiteral("chave")));
        EXPECT_EQ(readFile(backPath), plain) << n;
        QByteArray inMemory = readFile(cipherPath);
        EXPECT_TRUE(bf.DecryptByte(inMemory, QStringLiteral("chave")));
        EXPECT_EQ(inMemory, plain);
    }

    EXPECT_FALSE(bf.EncryptFile(dir.filePath("missing"), cipherPath, QString()));
    EXPECT_FALSE(bf.EncryptFile(plainPath, dir.filePath("no/such/folder/out"), QString()));

    ASSERT_TRUE(writeFile(plainPath, QByteArray(13, 'q')));
    EXPECT_FALSE(bf.DecryptFile(plainPath, dir.filePath("refused.bin"), QString()));
    EXPECT_FALSE(QFile::exists(dir.filePath("refused.bin")));

    ASSERT_TRUE(writeFile(backPath, "kept"));
    ASSERT_TRUE(writeFile(cipherPath, cipherWithStoredLength(99, "")));
    EXPECT_FALSE(bf.DecryptFile(cipherPath, backPath, QString()));
    EXPECT_EQ(readFile(backPath), QByteArray("kept"));
}
