#pragma once
// Database failures. Every provider reports a failure as a DbError carrying the server's own
// error number (SQL Server's numbering: 208 invalid object, 18456 login failed, ...) and its
// message text; failures of the access layer itself carry ADO's numbers (3021 no current
// record, 3704 object closed, ...). The connection keeps the last failure's list in Errors().
// A password never appears in any text made here.

#include <QString>
#include <vector>

#include "platform/runtime_error.h"

namespace data {

// One entry of a failure, as ADO's Error object shows it.
class Error {
public:
    Error() = default;
    Error(long number, QString description, QString sqlState = {}, QString source = {})
        : number_(number), description_(std::move(description)), sqlState_(std::move(sqlState)),
          source_(std::move(source)) {}

    long Number() const { return number_; }
    long NativeError() const { return number_; }
    const QString& Description() const { return description_; }
    const QString& SQLState() const { return sqlState_; }
    const QString& Source() const { return source_; }

private:
    long number_ = 0;
    QString description_;
    QString sqlState_;
    QString source_;
};

class DbError : public platform::RuntimeError {
public:
    DbError(long number, const QString& description, const QString& sqlState = {}, const QString& source = {})
        : platform::RuntimeError(number, description), sqlState_(sqlState) {
        errors_.emplace_back(number, description, sqlState, source);
    }
    // A failure with several messages (the first is the one reported).
    explicit DbError(std::vector<Error> errors)
        : platform::RuntimeError(errors.empty() ? 0 : errors.front().Number(),
                                 errors.empty() ? QString() : errors.front().Description()),
          sqlState_(errors.empty() ? QString() : errors.front().SQLState()), errors_(std::move(errors)) {}

    const QString& sqlState() const noexcept { return sqlState_; }
    const std::vector<Error>& errors() const noexcept { return errors_; }

private:
    QString sqlState_;
    std::vector<Error> errors_;
};

// The Errors collection of a connection: the entries of its last failure.
class ErrorList {
public:
    long Count() const { return static_cast<long>(items_.size()); }
    // Raises 3265 for an index outside 0..Count()-1.
    const Error& Item(long index) const;
    const Error& operator[](long index) const { return Item(index); }
    void Clear() { items_.clear(); }
    void assign(std::vector<Error> items) { items_ = std::move(items); }
    void append(std::vector<Error> items) {
        items_.insert(items_.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    }

private:
    std::vector<Error> items_;
};

// Failures of the access layer itself, with ADO's numbers and texts.
namespace adoerr {
inline constexpr long NoCurrentRecord = 3021;
inline constexpr long ArgumentsWrong = 3001;
inline constexpr long OperationNotAllowed = 3219;
inline constexpr long NotSupported = 3251;
inline constexpr long ItemNotFound = 3265;
inline constexpr long ObjectClosed = 3704;
inline constexpr long ObjectOpen = 3705;
inline constexpr long ConnectionUnusable = 3709;
inline constexpr long ProviderNotFound = 3706;

[[noreturn]] void raise(long number);
QString text(long number);
}  // namespace adoerr

}  // namespace data
