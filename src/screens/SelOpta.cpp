#include "screens/SelOpta.h"

#include <array>
#include <vector>

#include "platform/runtime_error.h"
#include "util/EDiv.h"

SelOpta::SelOpta(QWidget* parent) : QComboBox(parent) { setEditable(false); }

void SelOpta::setLista(const QString& lista) {
    lista_ = lista;
    std::vector<std::array<data::Variant, 2>> entries;
    try {
        eFun().eselToArray(lista, entries);
    } catch (const platform::RuntimeError&) {
        entries.clear();
    }
    QSignalBlocker quiet(this);
    clear();
    for (const auto& entry : entries) addItem(entry[1].toString(), entry[0].toString());
    setCurrentIndex(-1);
    quiet.unblock();  // the first entry's selection is announced like any other
    setCurrentIndex(count() > 0 ? 0 : -1);
}

QString SelOpta::Chave() const {
    if (currentIndex() < 0) return QString();
    return currentData().toString();
}

void SelOpta::setChave(const QString& chave) {
    if (count() == 0) return;
    const QString wanted = chave.toUpper();
    for (int i = 0; i < count(); ++i) {
        if (itemData(i).toString().toUpper() == wanted) {
            setCurrentIndex(i);
            return;
        }
    }
    setCurrentIndex(0);
}
