#pragma once

#include <QString>

#include <concepts>
#include <optional>
#include <utility>

// The one way Linkherd returns an expected failure: a value, or why there is none. Why is a text to show
// (Failure) unless the caller tells the cases apart: then the result carries a typed error E instead, which has
// its own description (FinickyConfig::ImportError). Failures are never thrown across Qt code.
struct Failure {
    QString error;
};

template <typename T, typename E = QString>
class [[nodiscard]] Result final {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) requires std::same_as<E, QString> : m_error(std::move(failure.error)) {}
    Result(E error) requires(!std::same_as<E, QString>) : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T& operator*() const& { return *m_value; }
    const T* operator->() const { return &*m_value; }

    const E& error() const { return m_error; }

private:
    std::optional<T> m_value;
    E m_error{};
};

template <typename E>
class [[nodiscard]] Result<void, E> final {
public:
    Result() = default;
    Result(Failure failure) requires std::same_as<E, QString> : m_ok(false), m_error(std::move(failure.error)) {}
    Result(E error) requires(!std::same_as<E, QString>) : m_ok(false), m_error(std::move(error)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const E& error() const { return m_error; }

private:
    bool m_ok = true;
    E m_error{};
};
