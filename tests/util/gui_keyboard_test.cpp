#include <gtest/gtest.h>

#include <QClipboard>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/gui/ControlEnterFilter.h"
#include "util/gui_helpers.h"
#include "util/gui/keystrokes.h"

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

// Every kind of key of the virtual-key table, with what it gives under the modifiers and
// Caps Lock. Qt keys of punctuation are the character's own code.
TEST(SimulatedKeys, TheVirtualKeyTable) {
    using util::gui::keyOfVirtualKey;
    constexpr auto none = Qt::NoModifier;
    constexpr auto shift = Qt::ShiftModifier;
    constexpr auto ctrl = Qt::ControlModifier;
    constexpr auto alt = Qt::AltModifier;
    const struct {
        int vk;
        Qt::KeyboardModifiers mods;
        bool caps;
        int key;
        const char* text;
        bool keypad;
    } cases[] = {
        // Letters: Caps Lock makes capitals, Shift turns them back; Ctrl gives control codes.
        {'A', none, false, Qt::Key_A, "a", false},      {'A', shift, false, Qt::Key_A, "A", false},
        {'Q', none, true, Qt::Key_Q, "Q", false},       {'Q', shift, true, Qt::Key_Q, "q", false},
        {'V', ctrl, false, Qt::Key_V, "\x16", false},   {'Z', alt, true, Qt::Key_Z, "", false},
        // Digits and their shifted signs; Caps Lock leaves them alone.
        {'0', none, true, Qt::Key_0, "0", false},       {'1', shift, false, Qt::Key_Exclam, "!", false},
        {'9', shift, true, Qt::Key_ParenLeft, "(", false},
        // The numeric pad.
        {0x60, none, false, Qt::Key_0, "0", true},      {0x69, shift, false, Qt::Key_9, "9", true},
        {0x6A, none, false, Qt::Key_Asterisk, "*", true}, {0x6B, none, false, Qt::Key_Plus, "+", true},
        {0x6C, none, false, Qt::Key_Comma, ",", true},  {0x6D, none, false, Qt::Key_Minus, "-", true},
        {0x6E, none, false, Qt::Key_Period, ".", true}, {0x6F, shift, false, Qt::Key_Slash, "/", true},
        {0x65, ctrl, false, Qt::Key_5, "", true},
        // Punctuation, plain and shifted.
        {0xBA, none, false, Qt::Key_Semicolon, ";", false}, {0xBA, shift, false, Qt::Key_Colon, ":", false},
        {0xBB, none, false, Qt::Key_Equal, "=", false},     {0xBB, shift, false, Qt::Key_Plus, "+", false},
        {0xBC, none, false, Qt::Key_Comma, ",", false},     {0xBC, shift, true, Qt::Key_Less, "<", false},
        {0xBD, none, false, Qt::Key_Minus, "-", false},     {0xBD, shift, false, Qt::Key_Underscore, "_", false},
        {0xBE, none, false, Qt::Key_Period, ".", false},    {0xBF, shift, false, Qt::Key_Question, "?", false},
        {0xC0, none, false, Qt::Key_QuoteLeft, "`", false}, {0xC0, shift, false, Qt::Key_AsciiTilde, "~", false},
        {0xDB, none, false, Qt::Key_BracketLeft, "[", false}, {0xDB, ctrl, false, Qt::Key_BracketLeft, "\x1b", false},
        {0xDC, none, false, Qt::Key_Backslash, "\\", false},  {0xDD, shift, false, Qt::Key_BraceRight, "}", false},
        {0xDE, none, false, Qt::Key_Apostrophe, "'", false},  {0xDE, shift, false, Qt::Key_QuoteDbl, "\"", false},
        {0xE2, shift, false, Qt::Key_Bar, "|", false},        {0xBF, alt, false, Qt::Key_Slash, "", false},
        // Modifiers, locks and keys that type nothing.
        {0x10, none, false, Qt::Key_Shift, "", false},    {0xA1, none, false, Qt::Key_Shift, "", false},
        {0x11, none, false, Qt::Key_Control, "", false},  {0xA3, none, false, Qt::Key_Control, "", false},
        {0x12, none, false, Qt::Key_Alt, "", false},      {0xA4, none, false, Qt::Key_Alt, "", false},
        {0x14, none, false, Qt::Key_CapsLock, "", false}, {0x90, none, false, Qt::Key_NumLock, "", false},
        {0x91, none, false, Qt::Key_ScrollLock, "", false}, {0x13, none, false, Qt::Key_Pause, "", false},
        {0x2C, none, false, Qt::Key_Print, "", false},    {0x2D, none, false, Qt::Key_Insert, "", false},
        {0x2E, none, false, Qt::Key_Delete, "", false},   {0x5B, none, false, Qt::Key_Meta, "", false},
        {0x5C, none, false, Qt::Key_Meta, "", false},     {0x5D, none, false, Qt::Key_Menu, "", false},
        {0x70, none, false, Qt::Key_F1, "", false},       {0x87, none, false, Qt::Key_F24, "", false},
        {0x24, shift, false, Qt::Key_Home, "", false},    {0x28, none, false, Qt::Key_Down, "", false},
        {0xAD, none, false, Qt::Key_VolumeMute, "", false}, {0xB3, none, false, Qt::Key_MediaTogglePlayPause, "", false},
        // Keys that type control characters.
        {0x09, none, false, Qt::Key_Tab, "\t", false},    {0x09, shift, false, Qt::Key_Backtab, "\t", false},
        {0x0D, none, false, Qt::Key_Return, "\r", false}, {0x0D, ctrl, false, Qt::Key_Return, "\n", false},
        {0x1B, none, false, Qt::Key_Escape, "\x1b", false}, {0x08, none, false, Qt::Key_Backspace, "\b", false},
        {0x08, ctrl, false, Qt::Key_Backspace, "\x7f", false}, {0x20, shift, true, Qt::Key_Space, " ", false},
        // Mouse buttons and unassigned codes are no keys.
        {0x00, none, false, 0, "", false}, {0x01, none, false, 0, "", false}, {0x07, none, false, 0, "", false},
        {0x3A, none, false, 0, "", false}, {0x88, none, false, 0, "", false}, {0xFF, none, false, 0, "", false},
    };
    for (const auto& c : cases) {
        const auto k = keyOfVirtualKey(c.vk, c.mods, c.caps);
        const std::string where = "vk " + std::to_string(c.vk) + " mods " + std::to_string(c.mods.toInt()) +
                                  (c.caps ? " caps" : "");
        EXPECT_EQ(k.key, c.key) << where;
        EXPECT_EQ(k.text, QString::fromLatin1(c.text)) << where;
        EXPECT_EQ(k.keypad, c.keypad) << where;
    }
    for (const auto& [vk, mod] : {std::pair{0x10, Qt::ShiftModifier}, {0xA0, Qt::ShiftModifier},
                                  {0xA2, Qt::ControlModifier}, {0xA5, Qt::AltModifier}, {0x5C, Qt::MetaModifier},
                                  {0x14, Qt::NoModifier}, {'A', Qt::NoModifier}})
        EXPECT_EQ(util::gui::modifierOfVirtualKey(vk), mod) << vk;
}
