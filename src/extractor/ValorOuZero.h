#pragma once
// An amount, a price or a quantity as the run reads it from a column: Null (or nothing) counts
// as 0, as the company's own sums read it. One line without a quantity must not stop an import
// or every later export file.

#include "data/currency.h"
#include "data/variant.h"

inline data::Currency valorOuZero(const data::Variant& v) {
    return (v.isNull() || v.isEmpty()) ? data::Currency() : v.toCurrency();
}
