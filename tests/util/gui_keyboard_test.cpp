#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/gui/ControlEnterFilter.h"
#include "util/gui_helpers.h"

namespace {

std::int16_t filtered(std::int16_t key, const QString& tag = QString()) {
    std::int16_t k = key;
    eFun().ControlEnter(k, tag);
    return k;
}

// A screen with three text fields that passes its keys through ControlEnter.
struct Screen {
    QWidget form;
    QLineEdit* txt1;
    QLineEdit* txt2;
    QLineEdit* txt3;
    Screen() {
        form.setObjectName(QStringLiteral("frmTeste"));
        auto* layout = new QVBoxLayout(&form);
        txt1 = new QLineEdit(&form);
        txt2 = new QLineEdit(&form);
        txt3 = new QLineEdit(&form);
        for (QLineEdit* t : {txt1, txt2, txt3}) layout->addWidget(t);
        new ControlEnterFilter(&form);
    }
};

}  // namespace

TEST(ControlEnter, CharacterFilteringAndTheKeysItLeavesAlone) {
    EXPECT_EQ(filtered(39), 96);  // the apostrophe becomes a backquote, which stays
    for (const std::int16_t accent : {96, 126, 180, 94, 168}) EXPECT_EQ(filtered(accent), 0) << accent;
    EXPECT_EQ(filtered('a'), 'a');
    EXPECT_EQ(filtered(231), 231);  // ç has a code of its own
    EXPECT_EQ(filtered(13), 13);    // no tag: Enter and Esc pass
    EXPECT_EQ(filtered(27, QStringLiteral("abc")), 27);
    EXPECT_EQ(filtered(13, QStringLiteral("  ")), 13);
    EXPECT_EQ(filtered(13, QStringLiteral(" 1 ")), 0);
    EXPECT_EQ(filtered(27, QStringLiteral("3")), 0);
    EXPECT_EQ(filtered(39, QStringLiteral("1")), 96);
    QApplication::processEvents();  // the simulated keys of the tagged calls go nowhere

    std::int16_t k = 39;
    EXPECT_TRUE(eFun().ScanPelicula(k).isEmpty());
    EXPECT_EQ(k, 96);
    k = 126;
    eFun().ScanPelicula(k);
    EXPECT_EQ(k, 126);
}

TEST(ControlEnter, TypingOnAScreenDropsAccentsAndTurnsApostrophes) {
    Screen s;
    ASSERT_TRUE(guitest::activate(s.form));
    s.txt1->setFocus();
    guitest::pump();
    ASSERT_EQ(QApplication::focusWidget(), s.txt1);
    guitest::type(s.txt1, QStringLiteral("d'Ávila~`´^¨ção"));
    EXPECT_EQ(s.txt1->text(), QStringLiteral("d`Ávilação"));
}

TEST(ControlEnter, EnterAndEscMoveTheFocusOnlyOnNumericTags) {
    Screen s;
    ASSERT_TRUE(guitest::activate(s.form));
    s.txt1->setProperty("Tag", QStringLiteral("1"));
    s.txt2->setProperty("Tag", QStringLiteral("3"));
    s.txt1->setFocus();
    guitest::pump();

    guitest::key(s.txt1, Qt::Key_Return, QStringLiteral("\r"));
    guitest::pump();
    EXPECT_EQ(QApplication::focusWidget(), s.txt2);

    guitest::key(s.txt2, Qt::Key_Escape, QString(QChar(27)));
    guitest::pump();
    EXPECT_EQ(QApplication::focusWidget(), s.txt1);

    // Without a numeric tag Enter stays where it is.
    s.txt3->setProperty("Tag", QStringLiteral("x"));
    s.txt3->setFocus();
    guitest::pump();
    guitest::key(s.txt3, Qt::Key_Return, QStringLiteral("\r"));
    guitest::pump();
    EXPECT_EQ(QApplication::focusWidget(), s.txt3);
}

TEST(SimulatedKeys, ArriveLaterAtTheFocusedControl) {
    Screen s;
    ASSERT_TRUE(guitest::activate(s.form));
    s.txt2->setFocus();
    guitest::pump();

    eFun().MandaTeclas('A');
    EXPECT_EQ(s.txt2->text(), "");  // queued, not yet typed
    guitest::pump();
    EXPECT_EQ(s.txt2->text(), "a");

    QGuiApplication::clipboard()->setText(QStringLiteral("colado"));
    eFun().ControlV();
    guitest::pump();
    EXPECT_EQ(s.txt2->text(), "acolado");

    eFun().MandaTeclas(9);  // Tab
    guitest::pump();
    EXPECT_EQ(QApplication::focusWidget(), s.txt3);

    EXPECT_THROW(eFun().MandaTeclas(256), platform::RuntimeError);
    EXPECT_THROW(eFun().MandaTeclas(-1), platform::RuntimeError);
    EXPECT_NO_THROW(eFun().MandaTeclas(255));  // a code without a key sends nothing
    guitest::pump();
}
