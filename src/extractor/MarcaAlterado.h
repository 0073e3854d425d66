#pragma once
// The letter of a staged customer or product whose compared fields changed. A record still
// "N" has not reached a file yet (its run was killed, or its export failed, before the letters
// were reset): it stays new, now with the new values, since a change of a record the receiver
// never got would reach it as "A" of an unknown code and the record itself would never come.

#include <QString>

#include "data/recordset.h"

inline void marcaAlterado(data::Recordset& rs) {
    data::Field status = rs.Fields(QStringLiteral("Status"));
    const data::Variant actual = status.Value();
    if (!actual.isNull() && !actual.isEmpty() && actual.toString() == QStringLiteral("N")) return;
    status.setValue(QStringLiteral("A"));
}
