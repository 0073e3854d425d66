#include "util/gui/keystrokes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QWidget>

#include "platform/xkeyboard.h"

namespace util::gui {

namespace {

// Keys that type a character of their own, with and without Shift (US standard layout).
struct Printable {
    int vk;
    char16_t plain, shifted;
};
constexpr Printable kPrintables[] = {
    {0x30, u'0', u')'}, {0x31, u'1', u'!'}, {0x32, u'2', u'@'}, {0x33, u'3', u'#'}, {0x34, u'4', u'$'},
    {0x35, u'5', u'%'}, {0x36, u'6', u'^'}, {0x37, u'7', u'&'}, {0x38, u'8', u'*'}, {0x39, u'9', u'('},
    {0xBA, u';', u':'}, {0xBB, u'=', u'+'}, {0xBC, u',', u'<'}, {0xBD, u'-', u'_'}, {0xBE, u'.', u'>'},
    {0xBF, u'/', u'?'}, {0xC0, u'`', u'~'}, {0xDB, u'[', u'{'}, {0xDC, u'\\', u'|'}, {0xDD, u']', u'}'},
    {0xDE, u'\'', u'"'}, {0xE2, u'\\', u'|'},
};

// The numeric pad: digits 0x60-0x69, then the operator keys; Num Lock does not change what a
// virtual key of the pad types, only which virtual key a real pad key sends.
constexpr Printable kPadOperators[] = {
    {0x6A, u'*', u'*'}, {0x6B, u'+', u'+'}, {0x6C, u',', u','},
    {0x6D, u'-', u'-'}, {0x6E, u'.', u'.'}, {0x6F, u'/', u'/'},
};

// Keys that type nothing of their own (or a control character), and the Qt key of each.
struct Named {
    int vk;
    int key;
};
constexpr Named kNamed[] = {
    {0x03, Qt::Key_Cancel},      {0x08, Qt::Key_Backspace},   {0x09, Qt::Key_Tab},
    {0x0C, Qt::Key_Clear},       {0x0D, Qt::Key_Return},      {0x10, Qt::Key_Shift},
    {0x11, Qt::Key_Control},     {0x12, Qt::Key_Alt},         {0x13, Qt::Key_Pause},
    {0x14, Qt::Key_CapsLock},    {0x15, Qt::Key_Kana_Lock},   {0x17, Qt::Key_Hangul_Jeonja},
    {0x18, Qt::Key_Hangul_End},  {0x19, Qt::Key_Kanji},       {0x1B, Qt::Key_Escape},
    {0x1C, Qt::Key_Henkan},      {0x1D, Qt::Key_Muhenkan},    {0x1F, Qt::Key_Mode_switch},
    {0x20, Qt::Key_Space},       {0x21, Qt::Key_PageUp},      {0x22, Qt::Key_PageDown},
    {0x23, Qt::Key_End},         {0x24, Qt::Key_Home},        {0x25, Qt::Key_Left},
    {0x26, Qt::Key_Up},          {0x27, Qt::Key_Right},       {0x28, Qt::Key_Down},
    {0x29, Qt::Key_Select},      {0x2A, Qt::Key_Printer},     {0x2B, Qt::Key_Execute},
    {0x2C, Qt::Key_Print},       {0x2D, Qt::Key_Insert},      {0x2E, Qt::Key_Delete},
    {0x2F, Qt::Key_Help},        {0x5B, Qt::Key_Meta},        {0x5C, Qt::Key_Meta},
    {0x5D, Qt::Key_Menu},        {0x5F, Qt::Key_Sleep},       {0x90, Qt::Key_NumLock},
    {0x91, Qt::Key_ScrollLock},  {0xA0, Qt::Key_Shift},       {0xA1, Qt::Key_Shift},
    {0xA2, Qt::Key_Control},     {0xA3, Qt::Key_Control},     {0xA4, Qt::Key_Alt},
    {0xA5, Qt::Key_Alt},         {0xA6, Qt::Key_Back},        {0xA7, Qt::Key_Forward},
    {0xA8, Qt::Key_Refresh},     {0xA9, Qt::Key_Stop},        {0xAA, Qt::Key_Search},
    {0xAB, Qt::Key_Favorites},   {0xAC, Qt::Key_HomePage},    {0xAD, Qt::Key_VolumeMute},
    {0xAE, Qt::Key_VolumeDown},  {0xAF, Qt::Key_VolumeUp},    {0xB0, Qt::Key_MediaNext},
    {0xB1, Qt::Key_MediaPrevious}, {0xB2, Qt::Key_MediaStop}, {0xB3, Qt::Key_MediaTogglePlayPause},
    {0xB4, Qt::Key_LaunchMail},  {0xB5, Qt::Key_LaunchMedia}, {0xB6, Qt::Key_Launch0},
    {0xB7, Qt::Key_Launch1},     {0xFA, Qt::Key_Play},        {0xFB, Qt::Key_Zoom},
    {0xFE, Qt::Key_Clear},
};

// The control characters that Ctrl gives with the bracket and backslash keys.
char16_t controlCharOf(int vk) {
    switch (vk) {
        case 0xDB: return 27;
        case 0xDC:
        case 0xE2: return 28;
        case 0xDD: return 29;
        default: return 0;
    }
}

// Caps Lock of this program's own keyboard, for when there is no X keyboard. Strokes are
// delivered on the GUI thread only.
bool gOwnCapsLock = false;

void toggleCapsLock() {
    const bool on = !capsLockOn();
    if (!platform::setXCapsLock(on)) gOwnCapsLock = on;
}

QWidget* keyTarget() {
    if (QWidget* w = QApplication::focusWidget()) return w;
    return QApplication::activeWindow();
}

void deliver(const std::vector<KeyStroke>& strokes) {
    Qt::KeyboardModifiers mods = Qt::NoModifier;
    for (const KeyStroke& s : strokes) {
        const Qt::KeyboardModifier m = modifierOfVirtualKey(s.virtualKey);
        if (m != Qt::NoModifier && !s.down) mods &= ~m;
        if (s.virtualKey == 0x14 && s.down) toggleCapsLock();
        // Only letters heed Caps Lock; asking the keyboard costs a connection to its server.
        const bool letter = s.virtualKey >= 'A' && s.virtualKey <= 'Z';
        const KeyMeaning k = keyOfVirtualKey(s.virtualKey, mods, letter && capsLockOn());
        QWidget* target = keyTarget();
        if (k.key != 0 && target != nullptr) {
            QKeyEvent e(s.down ? QEvent::KeyPress : QEvent::KeyRelease, k.key,
                        k.keypad ? mods | Qt::KeypadModifier : mods, k.text);
            QApplication::sendEvent(target, &e);
        }
        if (m != Qt::NoModifier && s.down) mods |= m;
    }
}

}  // namespace

void sendKeyStrokes(const std::vector<KeyStroke>& strokes) {
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) return;
    QMetaObject::invokeMethod(app, [strokes] { deliver(strokes); }, Qt::QueuedConnection);
}

bool capsLockOn() { return platform::xCapsLock().value_or(gOwnCapsLock); }

Qt::KeyboardModifier modifierOfVirtualKey(int vk) {
    switch (vk) {
        case 0x10:
        case 0xA0:
        case 0xA1: return Qt::ShiftModifier;
        case 0x11:
        case 0xA2:
        case 0xA3: return Qt::ControlModifier;
        case 0x12:
        case 0xA4:
        case 0xA5: return Qt::AltModifier;
        case 0x5B:
        case 0x5C: return Qt::MetaModifier;
        default: return Qt::NoModifier;
    }
}

KeyMeaning keyOfVirtualKey(int vk, Qt::KeyboardModifiers mods, bool capsLock) {
    const bool shift = mods.testFlag(Qt::ShiftModifier);
    const bool ctrl = mods.testFlag(Qt::ControlModifier);
    // Alt and the Windows keys make commands of the keys, not characters.
    const bool typesNothing = mods.testFlag(Qt::AltModifier) || mods.testFlag(Qt::MetaModifier);
    KeyMeaning out;

    if (vk >= 'A' && vk <= 'Z') {
        out.key = Qt::Key_A + (vk - 'A');
        if (typesNothing) return out;
        if (ctrl) out.text = QChar(vk - 'A' + 1);
        else out.text = QChar(shift != capsLock ? vk : vk - 'A' + 'a');
        return out;
    }
    if (vk >= 0x60 && vk <= 0x69) {
        out.key = Qt::Key_0 + (vk - 0x60);
        out.keypad = true;
        if (!typesNothing && !ctrl) out.text = QChar(u'0' + (vk - 0x60));
        return out;
    }
    if (vk >= 0x70 && vk <= 0x87) {
        out.key = Qt::Key_F1 + (vk - 0x70);
        return out;
    }
    for (const Printable& p : kPadOperators) {
        if (p.vk != vk) continue;
        out.key = QChar(p.plain).unicode();
        out.keypad = true;
        if (!typesNothing && !ctrl) out.text = QChar(p.plain);
        return out;
    }
    for (const Printable& p : kPrintables) {
        if (p.vk != vk) continue;
        // Qt names a punctuation key after the character it types, as its keyboards report it.
        const char16_t c = shift ? p.shifted : p.plain;
        out.key = QChar(c).unicode();
        if (typesNothing) return out;
        if (ctrl) {
            if (const char16_t cc = controlCharOf(vk)) out.text = QChar(cc);
        } else {
            out.text = QChar(c);
        }
        return out;
    }
    for (const Named& n : kNamed) {
        if (n.vk != vk) continue;
        out.key = n.key;
        // Shift and Tab together are the back-tab key of Qt's widgets.
        if (out.key == Qt::Key_Tab && shift) out.key = Qt::Key_Backtab;
        if (typesNothing) return out;
        switch (vk) {
            case 0x08: out.text = QChar(ctrl ? 127 : 8); break;
            case 0x09:
                if (!ctrl) out.text = QStringLiteral("\t");
                break;
            case 0x0D: out.text = ctrl ? QStringLiteral("\n") : QStringLiteral("\r"); break;
            case 0x1B:
                if (!ctrl) out.text = QChar(27);
                break;
            case 0x20: out.text = QStringLiteral(" "); break;
            default: break;
        }
        return out;
    }
    return out;
}

}  // namespace util::gui
