#pragma once
// Whether a window of a given name is loaded: any window that exists, shown or hidden, whose
// name (objectName) matches.

#include <QString>

#include "platform/byref.h"

// The name is compared without case and without leading and trailing blanks; the caller's
// variable is left holding it trimmed and upper-cased.
bool IsFormCarregado(platform::Ref<QString> strFormName);
