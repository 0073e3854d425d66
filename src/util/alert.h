#pragma once
// The choice dialog's seam. Alert of EDiv belongs to the core, which never touches a widget:
// it asks the dialog through a hook that the windowed program installs at start-up
// (util/gui/WAlert1.h). Without a hook nobody can answer, and Alert answers as cancelled.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "data/variant.h"

// The answer of the choice dialog: the 1-based position of the chosen line, 0 when cancelled.
// It starts at 0 and keeps its last value between dialogs.
std::int16_t& gintRespostaAlert();

namespace util {

// Shows the choice dialog with this caption and these lines, modally, and returns once it is
// answered or closed; the dialog writes its answer to gintRespostaAlert().
using AlertDialogHook = std::function<void(const QString& titulo, const std::vector<data::Variant>& opcoes)>;

// Installs the dialog (an empty hook removes it).
void setAlertDialogHook(AlertDialogHook hook);
bool hasAlertDialogHook();

}  // namespace util
