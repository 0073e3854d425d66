#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "platform/singlecopy.h"

using platform::SingleCopyLock;

namespace {

const char* const kFolderVar = "VELMORA_LOCK_HELPER_FOLDER";
const char* const kHoldVar = "VELMORA_LOCK_HELPER_HOLD";

// Runs this test program again as a helper that tries the lock in folder and prints
// "acquired" or "refused"; with hold it keeps the lock until it is killed.
class Helper {
public:
    Helper(const QString& folder, bool hold) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kFolderVar), folder);
        env.insert(QString::fromLatin1(kHoldVar), hold ? QStringLiteral("1") : QStringLiteral("0"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--gtest_filter=SingleCopyLockHelper.*")});
    }
    ~Helper() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(-1);
        }
    }

    // The helper's verdict, once it has printed one (empty if it ended without one).
    QString verdict() {
        for (;;) {
            if (output_.contains("acquired")) return QStringLiteral("acquired");
            if (output_.contains("refused")) return QStringLiteral("refused");
            if (process_.state() == QProcess::NotRunning) {
                output_ += process_.readAllStandardOutput();
                if (output_.contains("acquired") || output_.contains("refused")) continue;
                return QString();
            }
            process_.waitForReadyRead(1000);
            output_ += process_.readAllStandardOutput();
        }
    }

    void kill() {
        process_.kill();
        process_.waitForFinished(-1);
    }

    bool finish() { return process_.waitForFinished(-1) && process_.exitCode() == 0; }

private:
    QProcess process_;
    QByteArray output_;
};

}  // namespace

TEST(SingleCopyLockHelper, TryTheLock) {
    const QString folder = qEnvironmentVariable(kFolderVar);
    if (folder.isEmpty()) GTEST_SKIP() << "runs only as the helper of the other lock tests";
    SingleCopyLock lock(QStringLiteral("helper-program"), folder);
    const bool acquired = lock.tryAcquire();
    std::printf("%s\n", acquired ? "acquired" : "refused");
    std::fflush(stdout);
    if (acquired && qEnvironmentVariable(kHoldVar) == QLatin1String("1")) {
        for (;;) ::pause();
    }
}

TEST(SingleCopyLock, ASecondHolderIsRefusedUntilTheFirstLetsGo) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto first = std::make_unique<SingleCopyLock>(QStringLiteral("prog"), dir.path());
    SingleCopyLock second(QStringLiteral("prog"), dir.path());
    SingleCopyLock otherProgram(QStringLiteral("other prog"), dir.path());
    EXPECT_FALSE(first->isAnotherCopyRunning());
    EXPECT_TRUE(first->isHeld());
    EXPECT_FALSE(first->isAnotherCopyRunning());  // asking again does not refuse itself
    EXPECT_TRUE(second.isAnotherCopyRunning());
    EXPECT_FALSE(second.isHeld());
    EXPECT_FALSE(otherProgram.isAnotherCopyRunning());
    EXPECT_EQ(first->lockFilePath(), dir.path() + QStringLiteral("/prog.lock"));
    EXPECT_EQ(otherProgram.lockFilePath(), dir.path() + QStringLiteral("/other_prog.lock"));

    first->release();
    EXPECT_FALSE(first->isHeld());
    EXPECT_FALSE(second.isAnotherCopyRunning());
    EXPECT_TRUE(first->isAnotherCopyRunning());
    // The lock is held for the life of its object.
    auto third = std::make_unique<SingleCopyLock>(QStringLiteral("prog"), dir.path());
    EXPECT_TRUE(third->isAnotherCopyRunning());
}

TEST(SingleCopyLock, AnotherProcessIsRefusedAndADeadHoldersLockIsTakenOver) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        SingleCopyLock mine(QStringLiteral("helper-program"), dir.path());
        ASSERT_TRUE(mine.tryAcquire());
        Helper probe(dir.path(), false);
        EXPECT_EQ(probe.verdict(), QStringLiteral("refused"));
        EXPECT_TRUE(probe.finish());
    }
    {
        Helper probe(dir.path(), false);
        EXPECT_EQ(probe.verdict(), QStringLiteral("acquired"));
        EXPECT_TRUE(probe.finish());
    }
    Helper holder(dir.path(), true);
    ASSERT_EQ(holder.verdict(), QStringLiteral("acquired"));
    SingleCopyLock mine(QStringLiteral("helper-program"), dir.path());
    EXPECT_TRUE(mine.isAnotherCopyRunning());
    holder.kill();
    EXPECT_TRUE(QFile::exists(mine.lockFilePath()));  // left behind by the dead holder
    EXPECT_FALSE(mine.isAnotherCopyRunning());
}

TEST(SingleCopyLock, TheDefaultFolderIsTheUsersRuntimeFolder) {
    SingleCopyLock lock;
    EXPECT_TRUE(lock.lockFilePath().endsWith(QStringLiteral("/velmora-tests.lock")) ||
                lock.lockFilePath().endsWith(QStringLiteral("/velmora-tests-") + QString::number(::getuid()) +
                                             QStringLiteral(".lock")));
    EXPECT_TRUE(lock.tryAcquire());
}
