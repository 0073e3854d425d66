// The settings file holds the cipher texts of the passwords: whatever writes it leaves it
// readable and writable by its owner only, also when it replaces a file of a wider mode, and a
// write that cannot happen leaves the file (mode and bytes) as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/profile.h"
#include "support/file_modes.h"

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

bool setMode(const QString& path, int mode) {
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool chattr(const QString& flag, const QString& path) {
    return QProcess::execute(QStringLiteral("chattr"), {flag, path}) == 0;
}

QString read(const QString& section, const QString& key, const QString& path) {
    return GetPrivateProfileString(section, key, QString(), 255, path);
}

}  // namespace

TEST(ProfileMode, EveryWriteLeavesTheFileToItsOwnerOnly) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Velmora.ini"));

    // A new file, under the most permissive umask and under the usual one.
    for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
        ScopedUmask umask(mask);
        QFile::remove(ini);
        ASSERT_TRUE(WritePrivateProfileString("Tramontix", "Password", "0A1B2C", ini));
        EXPECT_EQ(modeOf(ini), 0600) << "umask " << mask;
        EXPECT_EQ(read("Tramontix", "Password", ini), QStringLiteral("0A1B2C"));
    }

    // An existing file of a wider mode, by each kind of write: a new section, a new key in a
    // section, a key changed in place.
    ScopedUmask umask(0);
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } writes[] = {{"Email", "Password", "FFEE"}, {"Email", "Login", "norta"}, {"Tramontix", "Password", "99AA"}};
    for (const int wider : {0644, 0666, 0777, 0604}) {
        for (const auto& w : writes) {
            ASSERT_TRUE(setMode(ini, wider));
            ASSERT_TRUE(WritePrivateProfileString(w.section, w.key, w.value, ini));
            EXPECT_EQ(modeOf(ini), 0600) << std::oct << wider << " " << w.section << "/" << w.key;
            EXPECT_EQ(read(w.section, w.key, ini), QString::fromLatin1(w.value));
        }
    }
    // The other keys went through every rewrite untouched.
    EXPECT_EQ(read("Tramontix", "Password", ini), QStringLiteral("99AA"));
    EXPECT_EQ(read("Email", "Password", ini), QStringLiteral("FFEE"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Velmora.ini"})
        << "no temporary file is left beside it";

    // A file reached through a link: the data the program reads is the owner's only.
    const QString target = dir.filePath(QStringLiteral("real.ini"));
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    ASSERT_TRUE(QFile::copy(ini, target));
    ASSERT_TRUE(setMode(target, 0644));
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(WritePrivateProfileString("Extractor", "P12", "Em Curso", link));
    EXPECT_EQ(modeOf(link), 0600);
    EXPECT_EQ(read("Extractor", "P12", link), QStringLiteral("Em Curso"));
}

TEST(ProfileMode, AWriteThatCannotHappenLeavesModeAndBytesAsTheyWere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Velmora.ini"));
    ASSERT_TRUE(WritePrivateProfileString("Extractor", "P12", "Concluído", ini));
    const QByteArray before = bytesOf(ini);

    // An immutable file cannot be replaced, even by root.
    if (!chattr(QStringLiteral("+i"), ini)) GTEST_SKIP() << "chattr +i is not available on this file system";
    const bool written = WritePrivateProfileString("Extractor", "P12", "Em Curso", ini);
    const bool newKey = WritePrivateProfileString("Extractor", "P11", "2017-03-07 14:05:09", ini);
    chattr(QStringLiteral("-i"), ini);
    EXPECT_FALSE(written);
    EXPECT_FALSE(newKey);
    EXPECT_EQ(bytesOf(ini), before);
    EXPECT_EQ(modeOf(ini), 0600);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Velmora.ini"});

    // Once it can be written again, the write goes through with the owner-only mode.
    EXPECT_TRUE(WritePrivateProfileString("Extractor", "P12", "Em Curso", ini));
    EXPECT_EQ(read("Extractor", "P12", ini), QStringLiteral("Em Curso"));
    EXPECT_EQ(modeOf(ini), 0600);
}

namespace {

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// A folder that takes no new file while the object lives: immutable where the file system
// allows it (which stops root too), else without write permission (which stops anyone else).
class FolderWithoutNewFiles {
public:
    explicit FolderWithoutNewFiles(const QString& folder) : folder_(folder) {
        if (chattr(QStringLiteral("+i"), folder_)) {
            how_ = How::Immutable;
        } else if (::geteuid() != 0 && setMode(folder_, 0555)) {
            how_ = How::ReadOnly;
        }
    }
    ~FolderWithoutNewFiles() {
        if (how_ == How::Immutable) chattr(QStringLiteral("-i"), folder_);
        if (how_ == How::ReadOnly) setMode(folder_, 0755);
    }
    FolderWithoutNewFiles(const FolderWithoutNewFiles&) = delete;
    FolderWithoutNewFiles& operator=(const FolderWithoutNewFiles&) = delete;
    bool made() const { return how_ != How::None; }

private:
    enum class How { None, Immutable, ReadOnly };
    QString folder_;
    How how_ = How::None;
};

}  // namespace

TEST(ProfileMode, AFolderThatTakesNoNewFileHasItsFileWrittenInPlaceAndFlushed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Velmora.ini"));
    ASSERT_TRUE(WritePrivateProfileString("Extractor", "P12", "Concluído", ini));
    ASSERT_TRUE(WritePrivateProfileString("Extractor", "P15", "NR", ini));

    // Where the folder allows it, the new content arrives as a new file.
    const ino_t first = inodeOf(ini);
    ASSERT_TRUE(WritePrivateProfileString("Extractor", "P12", "Em Curso", ini));
    EXPECT_NE(inodeOf(ini), first) << "replaced through a temporary file";

    ASSERT_TRUE(setMode(ini, 0644));
    const ino_t kept = inodeOf(ini);
    {
        FolderWithoutNewFiles readOnly(dir.path());
        if (!readOnly.made()) GTEST_SKIP() << "neither chattr +i nor a folder mode can refuse new files here";
        EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", dir.filePath(QStringLiteral("outro.ini"))))
            << "no file to write in place";
        // A longer value, a shorter one, a new key and a new section: each shifts the bytes after it.
        ASSERT_TRUE(WritePrivateProfileString("Extractor", "P12", "Concluído e mais texto", ini));
        ASSERT_TRUE(WritePrivateProfileString("Extractor", "P12", "C", ini));
        ASSERT_TRUE(WritePrivateProfileString("Extractor", "P11", "2017-03-07 14:05:09", ini));
        ASSERT_TRUE(WritePrivateProfileString("Email", "SMTPPort", "587", ini));
        EXPECT_EQ(inodeOf(ini), kept) << "the same file, written where it stands";
    }
    EXPECT_EQ(bytesOf(ini), QByteArray("[Extractor]\r\nP12=C\r\nP15=NR\r\nP11=2017-03-07 14:05:09\r\n"
                                       "[Email]\r\nSMTPPort=587\r\n"));
    EXPECT_EQ(modeOf(ini), 0600);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Velmora.ini"});
}
