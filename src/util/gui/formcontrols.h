#pragma once
// A form's controls as the system's window members see them: every widget of the form in its
// control order (creation order, containers before their contents), with the control
// properties those members read. Qt's own inner widgets (named "qt_...", such as a tab
// widget's page stack or a combo box's list) are no controls, and neither are the pages of a
// tab widget: the controls on its pages are the tab widget's own, as on the system's tab
// control, and the contents of a scroll area are reached through its viewport.

#include <QString>
#include <QVariant>
#include <vector>

class QWidget;

namespace util::gui {

std::vector<QWidget*> formControls(QWidget* form);

// A control that holds others the way a frame, a tab control or a picture box does: a group
// box, a tab widget, a stacked widget, a scroll area, or a plain frame or widget.
bool isContainerControl(const QWidget* w);

// The nearest enclosing control, or the form itself (nullptr when w is not inside form).
QWidget* controlContainer(const QWidget* w, const QWidget* form);

// The control that owns a widget: the widget itself, or for one of Qt's inner widgets (a spin
// box's or combo box's text field) the control around it.
QWidget* owningControl(QWidget* w);

// The control's Tag ("" when the control has none).
QString controlTag(const QWidget* w);

// The control's own Enabled setting (true inside a disabled container, as the system's
// controls report it).
bool controlEnabled(const QWidget* w);

// The control's TabIndex: its "TabIndex" property when set, else its place (from 0) in the
// form's tab order among the form's controls.
int controlTabIndex(QWidget* w, QWidget* form);

// Sets a property the control declares, by name; a control without it raises run-time error
// 438 ("Object doesn't support this property or method"), as setting it by name always did.
void setPropertyByName(QWidget* w, const char* name, const QVariant& value);

}  // namespace util::gui
