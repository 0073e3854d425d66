#include "util/gui/IconeDoMenu.h"

#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget>& janelaDoIcone() {
    static QPointer<QWidget> janela;
    return janela;
}

}  // namespace

namespace util {

void setJanelaDoIcone(QWidget* janela) { janelaDoIcone() = janela; }

}  // namespace util

void SetIcon(QWidget* frm) {
    if (frm == nullptr) return;
    if (const QWidget* menu = janelaDoIcone()) frm->setWindowIcon(menu->windowIcon());
    frm->setWindowTitle(frm->windowTitle());
}
