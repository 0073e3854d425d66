#include "util/gui/keystrokes.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QWidget>

namespace util::gui {

namespace {

Qt::KeyboardModifier modifierOf(int vk) {
    switch (vk) {
        case 16: return Qt::ShiftModifier;
        case 17: return Qt::ControlModifier;
        case 18: return Qt::AltModifier;
        default: return Qt::NoModifier;
    }
}

// The text a key produces, as the keyboard would give it.
QString textOf(int key, Qt::KeyboardModifiers mods) {
    if (mods & Qt::ControlModifier) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z) return QString(QChar(key - Qt::Key_A + 1));
        return QString();
    }
    if (mods & Qt::AltModifier) return QString();
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return QStringLiteral("\r");
        case Qt::Key_Escape: return QString(QChar(27));
        case Qt::Key_Backspace: return QString(QChar(8));
        case Qt::Key_Tab: return QStringLiteral("\t");
        case Qt::Key_Space: return QStringLiteral(" ");
        default: break;
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return QString(QChar(key));
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar c(key);
        return QString(mods & Qt::ShiftModifier ? c : c.toLower());
    }
    return QString();
}

QWidget* keyTarget() {
    if (QWidget* w = QApplication::focusWidget()) return w;
    return QApplication::activeWindow();
}

void deliver(const std::vector<KeyStroke>& strokes) {
    Qt::KeyboardModifiers mods = Qt::NoModifier;
    for (const KeyStroke& s : strokes) {
        const Qt::KeyboardModifier m = modifierOf(s.virtualKey);
        int key = qtKeyOfVirtualKey(s.virtualKey);
        if (m != Qt::NoModifier && !s.down) mods &= ~m;
        // Shift and Tab together are the back-tab key of Qt's widgets.
        if (key == Qt::Key_Tab && (mods & Qt::ShiftModifier)) key = Qt::Key_Backtab;
        QWidget* target = keyTarget();
        if (key != 0 && target != nullptr) {
            QKeyEvent e(s.down ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, textOf(key, mods));
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

int qtKeyOfVirtualKey(int vk) {
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= 0x60 && vk <= 0x69) return Qt::Key_0 + (vk - 0x60);  // number pad digits
    if (vk >= 0x70 && vk <= 0x87) return Qt::Key_F1 + (vk - 0x70);
    switch (vk) {
        case 0x08: return Qt::Key_Backspace;
        case 0x09: return Qt::Key_Tab;
        case 0x0D: return Qt::Key_Return;
        case 0x10: return Qt::Key_Shift;
        case 0x11: return Qt::Key_Control;
        case 0x12: return Qt::Key_Alt;
        case 0x13: return Qt::Key_Pause;
        case 0x14: return Qt::Key_CapsLock;
        case 0x1B: return Qt::Key_Escape;
        case 0x20: return Qt::Key_Space;
        case 0x21: return Qt::Key_PageUp;
        case 0x22: return Qt::Key_PageDown;
        case 0x23: return Qt::Key_End;
        case 0x24: return Qt::Key_Home;
        case 0x25: return Qt::Key_Left;
        case 0x26: return Qt::Key_Up;
        case 0x27: return Qt::Key_Right;
        case 0x28: return Qt::Key_Down;
        case 0x2C: return Qt::Key_Print;
        case 0x2D: return Qt::Key_Insert;
        case 0x2E: return Qt::Key_Delete;
        case 0x90: return Qt::Key_NumLock;
        case 0x91: return Qt::Key_ScrollLock;
        default: return 0;
    }
}

}  // namespace util::gui
