#include "data/dberror.h"

namespace data {

const Error& ErrorList::Item(long index) const {
    if (index < 0 || index >= Count()) adoerr::raise(adoerr::ItemNotFound);
    return items_[static_cast<size_t>(index)];
}

namespace adoerr {

QString text(long number) {
    switch (number) {
        case NoCurrentRecord:
            return QStringLiteral(
                "Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
                "current record.");
        case ArgumentsWrong:
            return QStringLiteral(
                "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.");
        case OperationNotAllowed:
            return QStringLiteral("Operation is not allowed in this context.");
        case NotSupported:
            return QStringLiteral(
                "Current Recordset does not support updating. This may be a limitation of the provider, or of the "
                "selected locktype.");
        case ItemNotFound:
            return QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal.");
        case ObjectClosed:
            return QStringLiteral("Operation is not allowed when the object is closed.");
        case ObjectOpen:
            return QStringLiteral("Operation is not allowed when the object is open.");
        case ConnectionUnusable:
            return QStringLiteral(
                "The connection cannot be used to perform this operation. It is either closed or invalid in this "
                "context.");
        case ProviderNotFound:
            return QStringLiteral("Provider cannot be found. It may not be properly installed.");
        default:
            return QStringLiteral("Unknown error.");
    }
}

void raise(long number) { throw DbError(number, text(number), QString(), QStringLiteral("ADODB")); }

}  // namespace adoerr

}  // namespace data
