#include "extractor/gui/MainMod_SetIcon.h"

#include <QWidget>

#include "extractor/gui/WMenu.h"

void SetIcon(QWidget* frm) {
    if (frm == nullptr) return;
    if (const WMenu* menu = WMenu::instancia()) frm->setWindowIcon(menu->windowIcon());
    frm->setWindowTitle(frm->windowTitle());
}
