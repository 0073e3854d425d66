#pragma once
// A run-time error as the system's routines raise it to their callers: an error number
// (the classic numbering: 5 invalid procedure call, 6 overflow, 9 subscript out of range,
// 13 type mismatch; database errors carry the server's own number) and its text.
// Routines that "trap" errors catch this type; routines that let errors reach the caller
// simply do not.

#include <QString>
#include <stdexcept>

namespace platform {

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(long number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number), description_(description) {}

    long number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }

private:
    long number_;
    QString description_;
};

namespace errnum {
inline constexpr long InvalidProcedureCall = 5;
inline constexpr long Overflow = 6;
inline constexpr long SubscriptOutOfRange = 9;
inline constexpr long TypeMismatch = 13;
}  // namespace errnum

[[noreturn]] inline void raiseOverflow() { throw RuntimeError(errnum::Overflow, QStringLiteral("Overflow")); }
[[noreturn]] inline void raiseTypeMismatch() { throw RuntimeError(errnum::TypeMismatch, QStringLiteral("Type mismatch")); }
[[noreturn]] inline void raiseSubscript() {
    throw RuntimeError(errnum::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
}
[[noreturn]] inline void raiseInvalidCall() {
    throw RuntimeError(errnum::InvalidProcedureCall, QStringLiteral("Invalid procedure call or argument"));
}

}  // namespace platform
