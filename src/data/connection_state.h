#pragma once
// What a Connection shares with the recordsets and commands that use it.

#include <functional>
#include <memory>
#include <type_traits>

#include "data/dberror.h"
#include "data/provider.h"

namespace data::detail {

struct RecordsetState;

struct ConnectionState {
    QString connectionString;
    long connectionTimeout = 15;
    long commandTimeout = 30;
    std::shared_ptr<provider::Session> session;  // set while open
    ErrorList errors;
    int transactionLevel = 0;

    // A recordset whose last inserted row is read back only when somebody looks at it, or
    // before anything else is done on the connection: the row is then read as its insert left
    // it, and a recordset closed right after its insert (an import adding row after row) never
    // reads it at all.
    std::weak_ptr<RecordsetState> unread;
    void readBack();  // reads that row now, if any

    // Runs fn, recording a DbError (or another run-time error) in errors before it travels on.
    template <class Fn>
    auto guarded(Fn&& fn) -> decltype(fn()) {
        try {
            if (!unread.expired()) readBack();
            if constexpr (std::is_void_v<decltype(fn())>) {
                fn();
                takeMessages();
            } else {
                auto result = fn();
                takeMessages();
                return result;
            }
        } catch (const DbError& e) {
            errors.assign(e.errors());
            // The server rolled back the transaction of a deadlock's victim: a new one may begin.
            if (e.number() == 1205) transactionLevel = 0;
            throw;
        } catch (const platform::RuntimeError& e) {
            errors.assign({Error(e.number(), e.description())});
            throw;
        }
    }

    provider::Session& openSession();  // raises 3709 when closed
    // Adds the session's informational messages to errors.
    void takeMessages();
};

}  // namespace data::detail
