#include "linkscreens/SelNoFoco.h"

#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include "util/EDiv.h"

SelNoFoco::SelNoFoco(QLineEdit* campo) : QObject(campo) { campo->installEventFilter(this); }

bool SelNoFoco::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        QPointer<QLineEdit> campo(qobject_cast<QLineEdit*>(watched));
        QTimer::singleShot(0, this, [campo] {
            if (!campo.isNull() && campo->hasFocus()) eFun().Sel(campo.data());
        });
    }
    return false;
}
