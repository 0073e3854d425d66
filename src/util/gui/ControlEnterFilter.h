#pragma once
// The key preview of the system's screens: every character typed anywhere on the form passes
// first through EDiv::ControlEnter with the Tag of the control that has the focus, as the
// screens' key-press handlers did. A swallowed key never reaches the control; an apostrophe
// arrives as a backquote; Enter and Esc on a control with a numeric Tag move the focus on or
// back instead.

#include <QObject>
#include <QPointer>

class QWidget;

class ControlEnterFilter : public QObject {
    Q_OBJECT

public:
    // Starts filtering the keys of this form; the filter belongs to the form.
    explicit ControlEnterFilter(QWidget* form);
    ~ControlEnterFilter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> form_;
    bool resending_ = false;
};
