// Control-group members of EDiv: switching a frame's controls, finding the first or last usable
// control of a tab range, and setting the entry controls' properties by name.

#include <QWidget>
#include <exception>

#include "util/EDiv.h"
#include "util/gui/formcontrols.h"

using util::gui::controlContainer;
using util::gui::controlEnabled;
using util::gui::controlTabIndex;
using util::gui::controlTag;
using util::gui::formControls;

namespace {

// The controls a by-name setter takes: every control whose name starts with the prefix when
// asked for "Todos", else the control of that very name (a widget without a name is no control
// of the form's design and is never taken).
std::vector<QWidget*> controlsByName(QWidget* form, const QString& ctrlName, const QString& prefix) {
    std::vector<QWidget*> taken;
    for (QWidget* c : formControls(form)) {
        const QString name = c->objectName();
        if (name.isEmpty()) continue;
        if (ctrlName == QLatin1String("Todos") ? name.startsWith(prefix) : name == ctrlName) taken.push_back(c);
    }
    return taken;
}

void setDecimals(QWidget* form, std::int16_t numCasas, const QString& ctrlName, const QString& prefix) {
    for (QWidget* c : controlsByName(form, ctrlName, prefix)) {
        util::gui::setPropertyByName(c, "Decimais", QVariant::fromValue(numCasas));
        util::gui::setPropertyByName(c, "Comprimento", QVariant::fromValue<std::int16_t>(18));
    }
}

}  // namespace

void EDiv::EnableFrame(QWidget* frmForm, QWidget* fraFrame, bool blnValue, bool blnRecurseContainers,
                       const Variant& /*Index*/) {
    if (frmForm == nullptr || fraFrame == nullptr) return;
    for (QWidget* c : formControls(frmForm)) {
        try {
            if (controlTag(c) == QLatin1String("0")) continue;
            if (controlContainer(c, frmForm) != fraFrame) continue;
            if (util::gui::isContainerControl(c)) {
                if (blnRecurseContainers) EnableFrame(frmForm, c, blnValue, true);
                continue;
            }
            const QString upper = c->objectName().toUpper();
            if (upper == QLatin1String("CMDFECHAR") || upper == QLatin1String("CMDCANCELAR")) continue;
            c->setEnabled(blnValue);
        } catch (const std::exception&) {
        }
    }
}

data::Variant EDiv::EnableControlContainer(QWidget* xForm, QWidget* xControl) {
    if (xForm == nullptr || xControl == nullptr) return Variant();
    const QWidget* container = controlContainer(xControl, xForm);
    for (QWidget* c : formControls(xForm)) {
        if (container == c) {
            xControl->setEnabled(true);
            EnableControlContainer(xForm, c);
        }
    }
    return Variant();
}

QWidget* EDiv::GetControlDisponivel(QWidget* frmForm, std::int16_t TabIndexInicial, std::int16_t TabIndexFinal,
                                    std::int32_t Indice, const QString& strCtrlNameIncludeLeft3) {
    if (frmForm == nullptr) return nullptr;
    int highest = 0;
    QWidget* highestCtrl = nullptr;
    int lowest = 32767;
    QWidget* lowestCtrl = nullptr;
    for (QWidget* c : formControls(frmForm)) {
        const QString name = c->objectName();
        if (name.isEmpty() || strCtrlNameIncludeLeft3.isEmpty()) continue;
        if (!strCtrlNameIncludeLeft3.contains(name.left(3))) continue;
        if (controlTag(c) == QLatin1String("0") || !controlEnabled(c)) continue;
        const int tab = controlTabIndex(c, frmForm);
        if (tab < TabIndexInicial || tab > TabIndexFinal) continue;
        if (tab > highest) {
            highest = tab;
            highestCtrl = c;
        }
        if (tab < lowest) {
            lowest = tab;
            lowestCtrl = c;
        }
    }
    if (Indice == 1) return lowestCtrl;
    if (Indice == 2) return highestCtrl;
    return nullptr;
}

void EDiv::SetCasasDecimaisEmValores(QWidget* xForm, std::int16_t NumCasas, const QString& ctrlName) {
    setDecimals(xForm, NumCasas, ctrlName, QStringLiteral("eval"));
}

void EDiv::SetCasasDecimaisEmDecimais(QWidget* xForm, std::int16_t NumCasas, const QString& ctrlName) {
    setDecimals(xForm, NumCasas, ctrlName, QStringLiteral("deci"));
}

void EDiv::SetMinMaxEmInteiros(QWidget* xForm, std::int16_t Minimo, std::int16_t Maximo, bool SetValCtrlToMin,
                               const QString& ctrlName) {
    for (QWidget* c : controlsByName(xForm, ctrlName, QStringLiteral("eint"))) {
        util::gui::setPropertyByName(c, "Minimo", QVariant::fromValue(Minimo));
        util::gui::setPropertyByName(c, "Maximo", QVariant::fromValue(Maximo));
        if (SetValCtrlToMin) util::gui::setPropertyByName(c, "Valor", QVariant::fromValue(Minimo));
    }
}
