#pragma once
// Shared by the main window's tests: a fake clock the tests move minute by minute, a record of
// how the program would end, and a main window whose status panel texts are recorded.

#include <QApplication>
#include <QDateTime>
#include <QMouseEvent>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "extractor/gui/WMenu.h"
#include "platform/clock.h"

namespace wmenutest {

// The wall clock of the test: set `agora` and tick.
class RelogioFalso {
public:
    explicit RelogioFalso(const QDateTime& inicio) : agora(inicio) {
        platform::setClock([this] { return agora; });
    }
    ~RelogioFalso() { platform::setClock({}); }
    RelogioFalso(const RelogioFalso&) = delete;
    RelogioFalso& operator=(const RelogioFalso&) = delete;

    void em(int ano, int mes, int dia, int h, int m, int s = 0) {
        agora = QDateTime(QDate(ano, mes, dia), QTime(h, m, s), Qt::UTC);
    }
    QDateTime agora;
};

// Counts the ends of the program instead of ending the test program.
class FimGravado {
public:
    FimGravado() {
        WMenu::setFimDoPrograma([this] { ++fins; });
    }
    ~FimGravado() { WMenu::setFimDoPrograma({}); }
    FimGravado(const FimGravado&) = delete;
    FimGravado& operator=(const FimGravado&) = delete;
    int fins = 0;
};

// The main window with every text its first panel received.
class WMenuGravado : public WMenu {
public:
    using WMenu::WMenu;
    void SetPanelText(const QString& text) override {
        paineis << text;
        WMenu::SetPanelText(text);
    }
    QStringList paineis;
};

// A left click at the point (the widget's centre by default).
inline void clica(QWidget* w, QPoint at = QPoint(-1, -1)) {
    if (at.x() < 0) at = w->rect().center();
    const QPointF p(at);
    const QPointF g(w->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, p, g, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, g, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

}  // namespace wmenutest
