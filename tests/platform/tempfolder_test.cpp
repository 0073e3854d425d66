#include <gtest/gtest.h>

#include <QtGlobal>

#include "platform/tempfolder.h"

namespace {

// Sets (or with a null value removes) an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~EnvVar() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

}  // namespace

TEST(TempFolder, TempThenTmpdirThenTmp) {
    {
        EnvVar temp("Temp", "/work/t/");
        EnvVar tmpdir("TMPDIR", "/var/tmp");
        EXPECT_EQ(platform::tempFolder(), QStringLiteral("/work/t"));
    }
    {
        EnvVar temp("Temp", "");
        EnvVar tmpdir("TMPDIR", "/var/tmp//");
        EXPECT_EQ(platform::tempFolder(), QStringLiteral("/var/tmp"));
    }
    {
        EnvVar temp("Temp", nullptr);
        EnvVar tmpdir("TMPDIR", "");
        EXPECT_EQ(platform::tempFolder(), QStringLiteral("/tmp"));
    }
    {
        // The variable's name is exact: TEMP is another variable on Linux.
        EnvVar temp("Temp", nullptr);
        EnvVar upper("TEMP", "/elsewhere");
        EnvVar tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(platform::tempFolder(), QStringLiteral("/tmp"));
    }
    {
        EnvVar temp("Temp", "/");
        EXPECT_EQ(platform::tempFolder(), QStringLiteral("/"));
    }
}
