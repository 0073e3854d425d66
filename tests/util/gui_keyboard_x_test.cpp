#include <gtest/gtest.h>

#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/xkeyboard.h"
#include "util/EDiv.h"
#include "util/gui/keystrokes.h"
#include "util/gui_helpers.h"
#include "platform/test_x_server.h"  // last: Xlib's macros

namespace {

// A plain field (no key filter) that takes what the simulated keys type.
struct PlainField {
    QWidget form;
    QLineEdit* txt = new QLineEdit(&form);
    PlainField() {
        (new QVBoxLayout(&form))->addWidget(txt);
    }
    QString typed(std::initializer_list<int> keys) {
        txt->clear();
        for (const int k : keys) eFun().MandaTeclas(k);
        guitest::pump();
        return txt->text();
    }
};

}  // namespace

TEST(SimulatedKeys, PadPunctuationAndCapsLockTypeIntoTheFocusedField) {
    testsupport::ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("offscreen"));  // no X keyboard
    PlainField f;
    ASSERT_TRUE(guitest::activate(f.form));
    f.txt->setFocus();
    guitest::pump();

    EXPECT_EQ(f.typed({0x61, 0x6B, 0x62, 0x6A, 0x63, 0x6D, 0x64, 0x6F, 0x65, 0x6E, 0x60}), "1+2*3-4/5.0");
    EXPECT_EQ(f.typed({0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xDB, 0xDC, 0xDD, 0xDE}), ";=,-./`[\\]'");
    EXPECT_EQ(f.typed({'A', 0x14, 'B', 0x14, 'C'}), "aBc") << "a simulated Caps Lock toggles it";
    ASSERT_FALSE(util::gui::capsLockOn());

    f.txt->clear();
    util::gui::sendKeyStrokes({{0x14, true}, {0x14, false}, {0x10, true}, {'D', true}, {'D', false}, {0x10, false},
                               {'E', true}, {'E', false}, {0x14, true}, {0x14, false}});
    guitest::pump();
    EXPECT_EQ(f.txt->text(), "dE");
    EXPECT_FALSE(util::gui::capsLockOn());
}

TEST(SimulatedKeys, CapsLockIsTheXKeyboardsWhenThereIsOne) {
    testsupport::TestXServer server;
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();
    // A server resets its keyboard when its last client leaves; a desktop always has one.
    testsupport::XTestConnection desktop(server.name());
    ASSERT_TRUE(desktop.ok());
    PlainField f;
    ASSERT_TRUE(guitest::activate(f.form));
    f.txt->setFocus();
    guitest::pump();

    testsupport::ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
    testsupport::ScopedEnv display("DISPLAY", server.name());
    ASSERT_EQ(platform::xCapsLock(), std::optional<bool>(false));
    EXPECT_EQ(f.typed({'A', 0x14, 'B'}), "aB");
    EXPECT_EQ(platform::xCapsLock(), std::optional<bool>(true)) << "the key locks the X keyboard's Caps Lock";
    ASSERT_TRUE(platform::setXCapsLock(false));
    EXPECT_EQ(f.typed({'C'}), "c") << "and a change made there is what the next letter sees";
}
