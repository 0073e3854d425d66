#include "extractor/gui/IsFormCarregado.h"

#include <QApplication>
#include <QWidget>

#include "util/text.h"

bool IsFormCarregado(platform::Ref<QString> strFormName) {
    *strFormName = util::trimBlanks(*strFormName).toUpper();
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
    const QWidgetList janelas = QApplication::topLevelWidgets();
    for (const QWidget* janela : janelas) {
        // Menus, tool tips and other unnamed top-level widgets are no windows of the program.
        if (janela->objectName().isEmpty()) continue;
        if (janela->objectName().toUpper() == *strFormName) return true;
    }
    return false;
}
