// The user list: the server's logins in a list view, marked by UserManagement or by sysadmin.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QTreeWidgetItem>
#include <algorithm>

#include "csql_test_support.h"
#include "platform/messagebox.h"
#include "sqltoolkit/gui/ponteiro.h"
#include "support/borvia_config.h"
#include "util/gui/ListView.h"

using csqltest::ConfiguredLogin;
using csqltest::PointerRecorder;
using csqltest::ProgramServices;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

struct Row {
    QString text;
    QString mark;  // sub-item 1
    int icon;
    bool checked;
    bool operator==(const Row&) const = default;
};

std::vector<Row> rowsOf(const ListView& list) {
    std::vector<Row> out;
    for (int i = 1; i <= list.rowCount(); ++i) {
        QTreeWidgetItem* item = list.row(i);
        out.push_back({ListView::rowText(item, 0), ListView::rowText(item, 1), ListView::rowSmallIcon(item),
                       list.rowChecked(item)});
    }
    std::sort(out.begin(), out.end(), [](const Row& a, const Row& b) { return a.text < b.text; });
    return out;
}

QList<QIcon> twoImages() {
    QPixmap p(4, 4);
    p.fill(Qt::red);
    return {QIcon(p), QIcon(p)};
}

class CSqlListaUsersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
        ASSERT_TRUE(s_.CreateLogin("rui", "Pw.2", 5));
        pointer_.values.clear();
    }
    TempEmbeddedServer server_;
    ConfiguredLogin cfg_{server_};
    ProgramServices services_;
    CSql& s_ = gobjSql();
    MessageBoxRecorder boxes_;
    PointerRecorder pointer_;
};

}  // namespace

TEST_F(CSqlListaUsersTest, LoginsAreMarkedByTheirAccessToAllDatabases) {
    testsupport::BorviaConfig config(server_, false);
    config.addUserManagement(" ANA ", 0);
    config.addUserManagement("rui", 1);
    config.addUserManagement("naoexiste", 0);

    ListView icons;
    icons.setSmallIcons(twoImages());
    icons.addRow("antiga");
    EXPECT_TRUE(s_.LoadUsersToListview(icons));
    EXPECT_TRUE(icons.HideColumnHeaders());
    EXPECT_EQ(rowsOf(icons), (std::vector<Row>{{"ana", "2", 2, false}, {"rui", "1", 1, false}, {"sa", "1", 1, false}}));
    EXPECT_EQ(pointer_.values, (std::vector<std::int16_t>{util::vbHourglass, util::vbDefault}));
    EXPECT_EQ(services_.openings, 1);

    ListView checks;
    checks.setCheckboxes(true);
    checks.setSmallIcons(twoImages());
    s_.LoadUsersToListview(checks);
    EXPECT_EQ(rowsOf(checks), (std::vector<Row>{{"ana", "2", 2, false}, {"rui", "1", 1, true}, {"sa", "1", 0, true}}));

    // Without an image list the marks of the first pass stay; the listed logins show their icon.
    ListView plain;
    s_.LoadUsersToListview(plain);
    EXPECT_EQ(rowsOf(plain), (std::vector<Row>{{"ana", "1", 1, false}, {"rui", "1", 1, false}, {"sa", "1", 1, false}}));
    ListView plainChecks;
    plainChecks.setCheckboxes(true);
    s_.LoadUsersToListview(plainChecks);
    EXPECT_EQ(rowsOf(plainChecks),
              (std::vector<Row>{{"ana", "0", 0, true}, {"rui", "0", 0, true}, {"sa", "1", 0, true}}));
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CSqlListaUsersTest, WithoutUserManagementEveryLoginReachesAllAndWithoutTheDatabaseTheListIsEmpty) {
    testsupport::BorviaConfig config(server_, false);
    server_.exec("BorviaConfig", "drop table UserManagement");
    ListView icons;
    icons.setSmallIcons(twoImages());
    EXPECT_TRUE(s_.LoadUsersToListview(icons));
    EXPECT_EQ(rowsOf(icons), (std::vector<Row>{{"ana", "1", 1, false}, {"rui", "1", 1, false}, {"sa", "1", 1, false}}));
    EXPECT_TRUE(boxes_.shown.empty());

    server_.exec("master", "drop database BorviaConfig");
    pointer_.values.clear();
    EXPECT_FALSE(s_.LoadUsersToListview(icons));
    EXPECT_EQ(icons.rowCount(), 0);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
    EXPECT_EQ(boxes_.shown[0].text, QString::number(ProgramServices::errC()) + "\r" + ProgramServices::errD());
    EXPECT_EQ(ProgramServices::errC(), 4060);
    EXPECT_TRUE(pointer_.values.empty());
}

TEST_F(CSqlListaUsersTest, TheOlderListMarksTheSysAdmins) {
    ASSERT_TRUE(s_.SetServerRoleMember("rui", 0, 1));
    pointer_.values.clear();
    ListView icons;
    icons.setSmallIcons(twoImages());
    EXPECT_TRUE(s_.OldLoadUsersToListview(icons));
    EXPECT_EQ(rowsOf(icons), (std::vector<Row>{{"ana", "2", 2, false}, {"rui", "1", 1, false}, {"sa", "1", 1, false}}));
    ListView checks;
    checks.setCheckboxes(true);
    s_.OldLoadUsersToListview(checks);
    EXPECT_EQ(rowsOf(checks), (std::vector<Row>{{"ana", "2", 0, false}, {"rui", "1", 0, true}, {"sa", "1", 0, true}}));
    EXPECT_TRUE(pointer_.values.empty());
    EXPECT_EQ(services_.openings, 0) << "the older list reads no configuration database";
}

TEST(CSqlPonteiro, TheWindowedProgramShowsTheBusyPointerUntilTheDefaultComesBack) {
    csql::gui::installMousePointer();
    util::setScreenMousePointer(util::vbHourglass);
    util::setScreenMousePointer(util::vbHourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    util::setScreenMousePointer(util::vbDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "one default pointer ends every busy one";
    csql::gui::removeMousePointer();
    util::setScreenMousePointer(util::vbHourglass);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
