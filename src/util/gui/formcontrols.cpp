#include "util/gui/formcontrols.h"

#include <QAbstractScrollArea>
#include <QFrame>
#include <QGroupBox>
#include <QMetaObject>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>

#include "platform/runtime_error.h"

namespace util::gui {

namespace {

bool isInner(const QWidget* w) { return w->objectName().startsWith(QLatin1String("qt_")); }

// Inner widgets that carry controls: a tab widget's page stack, a scroll area's viewport.
bool carriesControls(const QWidget* w) {
    return qobject_cast<const QStackedWidget*>(w) != nullptr ||
           w->objectName() == QLatin1String("qt_scrollarea_viewport");
}

// A page of a tab widget (page -> the tab widget's page stack -> the tab widget). The system's
// tab control has no page controls: what sits on a page sits in the tab control itself.
bool isTabPage(const QWidget* w) {
    const QWidget* stack = w->parentWidget();
    if (qobject_cast<const QStackedWidget*>(stack) == nullptr) return false;
    const auto* tabs = qobject_cast<const QTabWidget*>(stack->parentWidget());
    return tabs != nullptr && tabs->indexOf(w) >= 0;
}

void collect(QWidget* parent, std::vector<QWidget*>& out) {
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w == nullptr || w->isWindow()) continue;
        if (isInner(w) || isTabPage(w)) {
            if (carriesControls(w) || isTabPage(w)) collect(w, out);
            continue;
        }
        out.push_back(w);
        if (isContainerControl(w)) collect(w, out);
    }
}

}  // namespace

std::vector<QWidget*> formControls(QWidget* form) {
    std::vector<QWidget*> out;
    if (form != nullptr) collect(form, out);
    return out;
}

bool isContainerControl(const QWidget* w) {
    if (w == nullptr) return false;
    if (qobject_cast<const QGroupBox*>(w) || qobject_cast<const QTabWidget*>(w) ||
        qobject_cast<const QStackedWidget*>(w) || qobject_cast<const QScrollArea*>(w))
        return true;
    const QMetaObject* mo = w->metaObject();
    return mo == &QFrame::staticMetaObject || mo == &QWidget::staticMetaObject;
}

QWidget* controlContainer(const QWidget* w, const QWidget* form) {
    if (w == nullptr) return nullptr;
    QWidget* p = w->parentWidget();
    while (p != nullptr && p != form && (isInner(p) || isTabPage(p))) p = p->parentWidget();
    if (p == nullptr) return nullptr;
    if (p != form && !form->isAncestorOf(p)) return nullptr;
    return p;
}

QWidget* owningControl(QWidget* w) {
    while (w != nullptr && isInner(w) && !w->isWindow()) w = w->parentWidget();
    return w;
}

QString controlTag(const QWidget* w) {
    if (w == nullptr) return QString();
    const QVariant tag = w->property("Tag");
    return tag.isValid() ? tag.toString() : QString();
}

bool controlEnabled(const QWidget* w) { return w != nullptr && !w->testAttribute(Qt::WA_ForceDisabled); }

int controlTabIndex(QWidget* w, QWidget* form) {
    if (w == nullptr) return 0;
    bool ok = false;
    const int own = w->property("TabIndex").toInt(&ok);
    if (ok) return own;
    if (form == nullptr) return 0;
    const std::vector<QWidget*> controls = formControls(form);
    auto isControl = [&](QWidget* c) { return std::find(controls.begin(), controls.end(), c) != controls.end(); };
    int index = 0;
    // The focus chain is Qt's tab order; it runs through every widget of the window once.
    for (QWidget* c = form->nextInFocusChain(); c != nullptr && c != form; c = c->nextInFocusChain()) {
        if (c == w) return index;
        if (isControl(c)) ++index;
    }
    return index;
}

void setPropertyByName(QWidget* w, const char* name, const QVariant& value) {
    if (w == nullptr || w->metaObject()->indexOfProperty(name) < 0)
        throw platform::RuntimeError(438, QStringLiteral("Object doesn't support this property or method"));
    w->setProperty(name, value);
}

}  // namespace util::gui
