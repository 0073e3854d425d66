#pragma once
// An argument passed by reference the way the system's routines take them: when the caller
// passes a variable, the routine's writes reach that variable; when the caller passes a value
// (a literal, an expression, or nothing for an omitted optional argument), the routine works on
// a private copy and the writes are dropped.

#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

template <class T>
class Ref {
public:
    Ref() : own_(T{}), p_(&*own_) {}
    Ref(T& var) : p_(&var) {}  // NOLINT: implicit by design, like a by-reference argument
    template <class U>
        requires(std::is_convertible_v<U, T> && !std::is_same_v<std::remove_cvref_t<U>&, U>)
    Ref(U&& value) : own_(T(std::forward<U>(value))), p_(&*own_) {}  // NOLINT
    template <class U>
        requires(std::is_convertible_v<const U&, T> && !std::is_same_v<U, T>)
    Ref(const U& value) : own_(T(value)), p_(&*own_) {}  // NOLINT
    Ref(const T& value) : own_(value), p_(&*own_) {}  // NOLINT

    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    T& operator*() const { return *p_; }
    T* operator->() const { return p_; }
    Ref& operator=(const T& v) {
        *p_ = v;
        return *this;
    }
    operator T&() const { return *p_; }  // NOLINT

private:
    std::optional<T> own_;
    T* p_;
};

}  // namespace platform
