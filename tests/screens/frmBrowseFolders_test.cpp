#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include "screens/frmBrowseFolders.h"
#include "util/gui_helpers.h"

using guitest::whenShown;

TEST(frmBrowseFolders, ConfirmingHandsBackTheChosenFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString start = QDir::cleanPath(root.path());
    ASSERT_TRUE(QDir(start).mkpath(QStringLiteral("Extraidos/2025")));
    const QString chosen = start + QStringLiteral("/Extraidos/2025");

    frmBrowseFolders picker;
    EXPECT_EQ(picker.objectName(), "frmBrowseFolders");
    QString pasta = start;
    whenShown<frmBrowseFolders>([&](frmBrowseFolders& d) {
        EXPECT_EQ(d.pastaEscolhida(), start);
        EXPECT_EQ(d.txtPasta()->text(), start);
        d.escolherPasta(chosen);
        EXPECT_EQ(d.txtPasta()->text(), chosen);
        d.cmdOK()->click();
    });
    EXPECT_TRUE(picker.ShowForm(pasta));
    EXPECT_EQ(pasta, chosen);
}

TEST(frmBrowseFolders, CancellingKeepsTheFolderAndABadStartOpensAtHome) {
    frmBrowseFolders picker;
    QString pasta = QStringLiteral("/não/existe/de/todo");
    whenShown<frmBrowseFolders>([](frmBrowseFolders& d) {
        EXPECT_EQ(d.pastaEscolhida(), QDir::cleanPath(QDir::homePath()));
        d.cmdCancelar()->click();
    });
    EXPECT_FALSE(picker.ShowForm(pasta));
    EXPECT_EQ(pasta, "/não/existe/de/todo");

    frmBrowseFolders again;
    whenShown<frmBrowseFolders>([](frmBrowseFolders& d) { guitest::key(&d, Qt::Key_Escape, QString(QChar(27))); });
    EXPECT_FALSE(again.ShowForm(QString()));
}
