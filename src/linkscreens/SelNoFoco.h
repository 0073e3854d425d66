#pragma once
// Selects the whole content of a text field each time it takes the focus, through EDiv::Sel, so
// that a code typed over an old one replaces it. The selection waits until the focus change
// (and the click that caused it) has been handled, or the click would undo it.

#include <QObject>

class QLineEdit;

class SelNoFoco : public QObject {
    Q_OBJECT

public:
    // Watches the field; the watcher belongs to the field.
    explicit SelNoFoco(QLineEdit* campo);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
