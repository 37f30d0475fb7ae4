#pragma once

#include <QString>

#include <optional>
#include <utility>

// The one way Linkherd returns an expected failure: a value, or the text that explains why there is none.
// Failures are never thrown across Qt code.
struct Failure {
    QString error;
};

template <typename T>
class [[nodiscard]] Result final {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_error(std::move(failure.error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T& operator*() const& { return *m_value; }
    const T* operator->() const { return &*m_value; }

    const QString& error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template <>
class [[nodiscard]] Result<void> final {
public:
    Result() = default;
    Result(Failure failure) : m_ok(false), m_error(std::move(failure.error)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString& error() const { return m_error; }

private:
    bool m_ok = true;
    QString m_error;
};
