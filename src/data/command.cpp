#include "data/command.h"

#include "data/connection.h"
#include "data/connection_state.h"
#include "data/dberror.h"
#include "data/recordset_state.h"

namespace data {

void ParameterList::Append(const Parameter& p) {
    if (!p.Name().isEmpty()) {
        for (const auto& q : items_) {
            if (q.Name().compare(p.Name(), Qt::CaseInsensitive) == 0) {
                throw DbError(3367, QStringLiteral("Object is already in collection. Cannot append."));
            }
        }
    }
    items_.push_back(p);
}

void ParameterList::Delete(long index) {
    if (index < 0 || index >= Count()) adoerr::raise(adoerr::ItemNotFound);
    items_.erase(items_.begin() + index);
}

Parameter& ParameterList::Item(long index) {
    if (index < 0 || index >= Count()) adoerr::raise(adoerr::ItemNotFound);
    return items_[static_cast<size_t>(index)];
}

Parameter& ParameterList::Item(const QString& name) {
    for (auto& p : items_) {
        if (p.Name().compare(name, Qt::CaseInsensitive) == 0) return p;
    }
    adoerr::raise(adoerr::ItemNotFound);
}

Recordset Command::Execute(long* recordsAffected, long options) {
    if (!connection_ || connection_->State() != ado::adStateOpen) adoerr::raise(adoerr::ConnectionUnusable);
    auto conn = connection_->state();
    provider::Request req;
    req.text = text_;
    req.commandTimeout = timeout_;
    const long kind = options < 0 ? type_ : (options & ~ado::adExecuteNoRecords);
    req.commandType = kind == ado::adCmdStoredProc                              ? ado::adCmdStoredProc
                      : (kind == ado::adCmdTable || kind == ado::adCmdTableDirect) ? ado::adCmdTable
                                                                                 : ado::adCmdText;
    for (const auto& p : parameters_.items()) {
        req.parameters.push_back(provider::Parameter{p.Name(), p.Type(), p.Direction(), p.Size(), p.Value()});
    }
    auto results = conn->guarded([&] {
        conn->errors.Clear();
        return conn->openSession().execute(req);
    });
    // A procedure's output parameters and return value come back into the parameters of the same
    // name, or by direction for the return value.
    for (const auto& r : results) {
        for (const auto& out : r.outputs) {
            for (long i = 0; i < parameters_.Count(); ++i) {
                Parameter& p = parameters_.Item(i);
                const bool same = out.direction == ado::adParamReturnValue
                                      ? p.Direction() == ado::adParamReturnValue
                                      : p.Name().compare(out.name, Qt::CaseInsensitive) == 0;
                if (same) p.setValue(out.value);
            }
        }
    }
    if (recordsAffected) *recordsAffected = results.empty() ? -1 : results.front().recordsAffected;
    if (options >= 0 && (options & ado::adExecuteNoRecords)) results.clear();
    auto rs = std::make_shared<detail::RecordsetState>();
    rs->assign(std::move(results), ado::adOpenForwardOnly, ado::adLockReadOnly, conn);
    return Recordset(rs);
}

}  // namespace data
