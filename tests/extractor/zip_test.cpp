// The zip control of frmCtrls, driven through its numbered properties as the export writer
// drives it, checked with the unzip tool.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <random>

#include "extractor/zip/frmCtrls.h"
#include "platform/runtime_error.h"

namespace {

using data::Variant;
using DZACTXLibCtl::dzactxctrl;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The nine assignments of the writer, in its order; the last one compresses.
void zipLikeTheWriter(dzactxctrl& zip, const QString& file, const QString& temp, const QString& zipPath) {
    zip.setProperty(8, Variant(std::int16_t{5}));
    zip.setProperty(15, Variant(false));
    zip.setProperty(2, Variant(QLatin1Char('"') + file + QLatin1Char('"')));
    zip.setProperty(11, Variant(temp));
    zip.setProperty(1, Variant(zipPath));
    zip.setProperty(28, Variant(true));
    zip.setProperty(17, Variant(true));
    zip.setProperty(46, Variant(true));
    zip.setProperty(40, Variant(std::int16_t{4}));
}

struct Run {
    int exitCode = -1;
    QByteArray out;
};

Run unzip(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("unzip"), args);
    Run r;
    if (!p.waitForFinished(300000)) return r;
    r.out = p.readAllStandardOutput();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

// The zip file passes unzip's test, holds exactly the one entry `name`, and that entry has the
// given bytes.
void expectZipHolds(const QString& zipPath, const QString& name, const QByteArray& bytes) {
    EXPECT_EQ(unzip({QStringLiteral("-tq"), zipPath}).exitCode, 0) << zipPath.toStdString();
    const Run list = unzip({QStringLiteral("-Z1"), zipPath});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(list.out).trimmed(), name);
    const Run content = unzip({QStringLiteral("-p"), zipPath, name});
    EXPECT_EQ(content.exitCode, 0);
    EXPECT_TRUE(content.out == bytes) << "entry differs: " << content.out.size() << " bytes against " << bytes.size();
}

TEST(ZipControl, CompressesTheFileUnderItsOwnNameAsTheWriterDrivesIt) {
    QTemporaryDir export_, temp;
    ASSERT_TRUE(export_.isValid() && temp.isValid());
    const QString name = QStringLiteral("NRT170307.MOV");
    const QString file = export_.path() + QLatin1Char('/') + name;
    QByteArray bytes = "0NRT 170307\r\n1C000123Jos\xe9 Concei\xe7\xe3o      \r\n9000001\r\n";
    writeFile(file, bytes);
    const QString zipPath = temp.path() + QLatin1Char('/') + name + QStringLiteral(".zip");

    dzactxctrl& zip = frmCtrls().Zip;
    EXPECT_EQ(&zip, &frmCtrls().Zip);  // the hidden form stays loaded
    zipLikeTheWriter(zip, file, temp.path(), zipPath);

    EXPECT_EQ(zip.property(41).toInt32(), 0);
    EXPECT_EQ(zip.property(42).toString(), QString());
    EXPECT_EQ(zip.property(1).toString(), zipPath);  // the writer reads the path back
    EXPECT_EQ(zip.property(2).toString(), QLatin1Char('"') + file + QLatin1Char('"'));
    EXPECT_EQ(zip.property(8).toInt16(), 5);
    EXPECT_TRUE(zip.property(46).toBool());
    EXPECT_FALSE(zip.property(15).toBool());
    expectZipHolds(zipPath, name, bytes);
    // Nothing but the zip file is left in the folder: the temporary name was renamed.
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name + QStringLiteral(".zip")});
    EXPECT_TRUE(QFile::exists(file));

    // A folder with blanks (the reason for the quotes), and a second action over the same
    // zip path replaces the earlier zip file instead of adding to it.
    QTemporaryDir spaced(temp.path() + QStringLiteral("/pasta com espa\u00e7os XXXXXX"));
    ASSERT_TRUE(spaced.isValid());
    const QString other = spaced.path() + QLatin1Char('/') + name;
    bytes = "0NRT 170308\r\n9000000\r\n";
    writeFile(other, bytes);
    zipLikeTheWriter(zip, other, temp.path(), zipPath);
    EXPECT_EQ(zip.property(41).toInt32(), 0) << zip.property(42).toString().toStdString();
    expectZipHolds(zipPath, name, bytes);
}

TEST(ZipControl, LargeAndEmptyFilesRoundTrip) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    dzactxctrl zip;

    // 20 MB of mixed content: long runs that compress and noise that does not.
    QByteArray big(20 * 1024 * 1024, '\0');
    std::mt19937 rng(1234);
    for (qsizetype i = 0; i < big.size(); ++i) {
        big[i] = (i / 4096) % 2 == 0 ? static_cast<char>(rng() & 0xFF) : static_cast<char>('A' + (i / 4096) % 26);
    }
    const QString bigFile = dir.path() + QStringLiteral("/GRANDE.MOV");
    writeFile(bigFile, big);
    const QString bigZip = dir.path() + QStringLiteral("/GRANDE.MOV.zip");
    zipLikeTheWriter(zip, bigFile, dir.path(), bigZip);
    EXPECT_EQ(zip.property(41).toInt32(), 0) << zip.property(42).toString().toStdString();
    expectZipHolds(bigZip, QStringLiteral("GRANDE.MOV"), big);

    const QString emptyFile = dir.path() + QStringLiteral("/VAZIO.MOV");
    writeFile(emptyFile, QByteArray());
    const QString emptyZip = dir.path() + QStringLiteral("/VAZIO.MOV.zip");
    zipLikeTheWriter(zip, emptyFile, dir.path(), emptyZip);
    EXPECT_EQ(zip.property(41).toInt32(), 0) << zip.property(42).toString().toStdString();
    EXPECT_GT(QFileInfo(emptyZip).size(), 0);
    expectZipHolds(emptyZip, QStringLiteral("VAZIO.MOV"), QByteArray());

    // Level 0 stores the file as it is; the result is still a valid zip file.
    zip.setProperty(8, Variant(std::int16_t{0}));
    zip.setProperty(2, Variant(emptyFile));  // without quotes too
    zip.setProperty(40, Variant(std::int16_t{4}));
    EXPECT_EQ(zip.property(41).toInt32(), 0);
    expectZipHolds(emptyZip, QStringLiteral("VAZIO.MOV"), QByteArray());
}

TEST(ZipControl, FailuresAreReportedAndLeaveNoZipFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.path() + QStringLiteral("/EXISTE.MOV");
    writeFile(file, "dados\r\n");
    const QString zipPath = dir.path() + QStringLiteral("/EXISTE.MOV.zip");
    dzactxctrl zip;

    // A stale zip file from an earlier run must not pass for the new one.
    writeFile(zipPath, "zip antigo");
    zipLikeTheWriter(zip, dir.path() + QStringLiteral("/FALTA.MOV"), dir.path(), zipPath);
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrItemMissing);
    EXPECT_TRUE(zip.property(42).toString().contains(QStringLiteral("FALTA.MOV")));
    EXPECT_FALSE(QFile::exists(zipPath));

    // A zip file in a folder that does not exist.
    zipLikeTheWriter(zip, file, dir.path(), dir.path() + QStringLiteral("/nao/existe/EXISTE.MOV.zip"));
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrCannotWrite);
    EXPECT_FALSE(zip.property(42).toString().isEmpty());

    // The zip file may not be the file itself.
    zipLikeTheWriter(zip, file, dir.path(), file);
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrCannotWrite);
    EXPECT_TRUE(QFile::exists(file));

    // Nothing to compress, or nowhere to put it.
    zipLikeTheWriter(zip, QString(), dir.path(), zipPath);
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrNoItem);
    zip.setProperty(2, Variant(QStringLiteral("\"\"")));
    zip.setProperty(40, Variant(std::int16_t{4}));
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrNoItem);
    zip.setProperty(2, Variant(file));
    zip.setProperty(1, Variant(QString()));
    zip.setProperty(40, Variant(std::int16_t{4}));
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrNoZipFile);

    // Another action value does nothing but report; a success clears the report.
    zip.setProperty(1, Variant(zipPath));
    zip.setProperty(40, Variant(std::int16_t{1}));
    EXPECT_EQ(zip.property(41).toInt32(), dzactxctrl::kErrBadAction);
    EXPECT_FALSE(QFile::exists(zipPath));
    zip.setProperty(40, Variant(std::int16_t{4}));
    EXPECT_EQ(zip.property(41).toInt32(), 0);
    EXPECT_EQ(zip.property(42).toString(), QString());
    EXPECT_TRUE(QFile::exists(zipPath));

    // Members the control lacks, read-only members and values of the wrong kind raise.
    auto errorOf = [](auto&& call) -> long {
        try {
            call();
        } catch (const platform::RuntimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(errorOf([&] { zip.setProperty(3, Variant(1)); }), 438);
    EXPECT_EQ(errorOf([&] { (void)zip.property(99); }), 438);
    EXPECT_EQ(errorOf([&] { zip.setProperty(41, Variant(0)); }), 383);
    EXPECT_EQ(errorOf([&] { zip.setProperty(8, Variant(QStringLiteral("cinco"))); }), 13);
    EXPECT_EQ(errorOf([&] { zip.setProperty(40, Variant(70000)); }), 6);
    EXPECT_EQ(errorOf([&] { zip.setProperty(1, Variant(QString(40000, QLatin1Char('x')))); }), 0);
}

}  // namespace
