#pragma once

#include <string>
#include <utility>
#include <variant>

// Why an operation failed, in words for the user. `code` tells kinds of failure apart where a
// caller acts on them: the system's negative errno, or a value of the operation's own.
struct Failure {
    std::string reason;
    int code = 0;
};

// What an operation that can fail gives back: its value, or its Failure. Every operation of
// the file and MIDI layers that fails with a reason answers with one.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Failure failure) : m_state(std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }
    // Only when ok().
    T& value() { return std::get<0>(m_state); }
    const T& value() const { return std::get<0>(m_state); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    // The value, or `fallback` when it failed.
    T valueOr(T fallback) && { return ok() ? std::move(value()) : std::move(fallback); }
    // "" and 0 when ok().
    const std::string& error() const { return ok() ? none() : std::get<1>(m_state).reason; }
    int code() const { return ok() ? 0 : std::get<1>(m_state).code; }

private:
    static const std::string& none() {
        static const std::string empty;
        return empty;
    }
    std::variant<T, Failure> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : m_failed(true), m_failure(std::move(failure)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return m_failure.reason; }
    int code() const { return m_failure.code; }

private:
    bool m_failed = false;
    Failure m_failure;
};

// A reason ("the file is empty") as a sentence of its own: with its full stop.
inline std::string asSentence(std::string reason) {
    if (!reason.ends_with('.')) {
        reason += '.';
    }
    return reason;
}

inline Failure failure(std::string reason, int code = 0) {
    return Failure{std::move(reason), code};
}
