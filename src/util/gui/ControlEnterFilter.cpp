#include "util/gui/ControlEnterFilter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "platform/win1252.h"
#include "util/EDiv.h"
#include "util/gui/formcontrols.h"

ControlEnterFilter::ControlEnterFilter(QWidget* form) : QObject(form), form_(form) {
    // Keys go to the focused control first; the application sees them before it does.
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->installEventFilter(this);
}

ControlEnterFilter::~ControlEnterFilter() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

bool ControlEnterFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || resending_ || form_.isNull()) return false;
    auto* target = qobject_cast<QWidget*>(watched);
    // Only the control with the focus: the same key travelling on to its parents is not a new key.
    if (target == nullptr || target != QApplication::focusWidget() || target->window() != form_) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.size() != 1) return false;
    const QChar c = text.at(0);
    int code = c.unicode();
    if (code >= 32) {
        code = platform::ansiCode(c);
        if (platform::ansiChar(code) != c) return false;  // no code of the code page: untouched
    }

    const QString tag = util::gui::controlTag(util::gui::owningControl(target));
    QPointer<QWidget> guard(target);
    std::int16_t keyAscii = static_cast<std::int16_t>(code);
    eFun().ControlEnter(keyAscii, tag);
    if (keyAscii == 0) return true;
    if (keyAscii == code) return false;
    if (guard.isNull()) return true;
    // The key became another character: that character is typed instead.
    const QChar typed = platform::ansiChar(keyAscii);
    QKeyEvent replacement(QEvent::KeyPress, typed == u'`' ? Qt::Key_QuoteLeft : key->key(), key->modifiers(),
                          QString(typed));
    resending_ = true;
    QApplication::sendEvent(guard.data(), &replacement);
    resending_ = false;
    return true;
}
