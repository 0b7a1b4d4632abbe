// Status and Result: how an operation that can fail says so, with the cause in words a user can act on.
#pragma once

#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

/// Why an operation failed: a few lower-case words ("no space left on device", "not a regular file").
struct Failure {
    std::string reason;
};

/// Success, or a failure with its cause.
class Status {
public:
    Status() = default; ///< success
    Status(Failure failure) : cause(std::move(failure.reason)), failed(true) {}

    bool ok() const { return !failed; }
    explicit operator bool() const { return ok(); }
    /// The cause of the failure; empty on success.
    const std::string& error() const { return cause; }

private:
    std::string cause;
    bool failed = false;
};

/// A value, or the failure that prevented it; read like std::optional, with the cause beside it (as std::expected).
/// The cause is a Failure's words, or `E` where callers tell causes apart (an enum class with its own words).
template <typename T, typename E = Failure>
class [[nodiscard]] Result {
public:
    Result(T value) : state(std::move(value)) {}
    Result(E failure) : state(std::move(failure)) {}

    bool has_value() const { return std::holds_alternative<T>(state); }
    explicit operator bool() const { return has_value(); }

    T& value() & { return checked(*this); }
    const T& value() const& { return checked(*this); }
    T&& value() && { return std::move(checked(*this)); }
    T& operator*() & { return std::get<T>(state); }
    const T& operator*() const& { return std::get<T>(state); }
    T&& operator*() && { return std::move(std::get<T>(state)); }
    T* operator->() { return &std::get<T>(state); }
    const T* operator->() const { return &std::get<T>(state); }

    template <typename U>
    T value_or(U&& fallback) const&
    {
        return has_value() ? std::get<T>(state) : static_cast<T>(std::forward<U>(fallback));
    }

    /// The cause of the failure: a Failure's words (empty when there is a value), or the `E` (only when there is no
    /// value).
    decltype(auto) error() const
    {
        if constexpr (std::is_same_v<E, Failure>) {
            static const std::string none;
            return has_value() ? none : std::get<Failure>(state).reason;
        } else {
            return std::get<E>(state);
        }
    }

private:
    template <typename Self>
    static auto& checked(Self& self)
    {
        if (!self.has_value())
            throw std::logic_error("a result without a value was read");
        return std::get<T>(self.state);
    }

    std::variant<T, E> state;
};

} // namespace platform
