#pragma once
// Helpers of the window tests: regional settings pinned for a test, an active window with a
// focus, typing and clicking as a user would, and driving a modal dialog from inside its wait.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "util/Locale.h"

namespace guitest {

// Portuguese regional settings for the life of the object.
class ScopedLocale {
public:
    ScopedLocale() : saved_(Locale()) {
        LocaleRecord& l = Locale();
        l.gstrDecSep = QStringLiteral(",");
        l.gstrMilSep = QStringLiteral(".");
        l.gstrAgrupamento = QStringLiteral("3");
        l.gstrFormatoData = QStringLiteral("dd-MM-yyyy");
        l.gstrHoraSep = QStringLiteral(":");
        l.gstrDataSep = QStringLiteral("-");
        l.gstrDataSepSistema = QStringLiteral("-");
    }
    ~ScopedLocale() { Locale() = saved_; }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    LocaleRecord saved_;
};

inline void pump() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// Shows the window and makes it the active one, so that focus and key delivery work as on a
// screen.
inline bool activate(QWidget& window) {
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    pump();
    return QApplication::activeWindow() == &window;
}

inline void key(QWidget* target, int qtKey, const QString& text = QString(),
                Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, qtKey, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, mods, text);
    QApplication::sendEvent(target, &release);
}

// Types the text character by character into the widget that has the focus (or the target).
inline void type(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        QWidget* to = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : target;
        const int k = c.isLetter() ? static_cast<int>(c.toUpper().unicode()) : static_cast<int>(c.unicode());
        key(to, k, QString(c));
    }
}

inline void doubleClick(QWidget* viewport, const QPoint& at) {
    const QPointF p(at);
    const QPointF g(viewport->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &dbl);
    QMouseEvent release2(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &release2);
}

// Runs `action` on the first visible top-level widget of type T once the event loop of a modal
// wait is running. A dialog the action leaves open is closed again and the test fails, so a
// wrong answer never hangs the suite.
template <class T>
void whenShown(std::function<void(T&)> action) {
    QTimer::singleShot(0, [action] {
        T* shown = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* t = qobject_cast<T*>(w); t != nullptr && t->isVisible()) shown = t;
        }
        if (shown == nullptr) {
            ADD_FAILURE() << "no dialog was shown";
            return;
        }
        action(*shown);
        if (shown->isVisible()) {
            ADD_FAILURE() << "the dialog is still open";
            shown->hide();
        }
    });
}

}  // namespace guitest
