#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

// Where a link goes: a browser (optionally in one of its profiles, and in a new or private window), or the
// chooser.
class Destination final {
public:
    enum class Kind { ask, browser };
    // usual: however the browser opens links by itself (most often a new tab of its last window).
    enum class Window { usual, newWindow, privateWindow };

    // Asking is what a destination is until it names a browser.
    Destination() = default;

    static Destination ask() { return Destination(); }
    static Destination browser(QString desktopID, std::optional<QString> profile = std::nullopt,
                               Window window = Window::usual)
    {
        Destination destination;
        destination.m_kind = Kind::browser;
        destination.m_desktopID = std::move(desktopID);
        destination.m_profile = std::move(profile);
        destination.m_window = window;
        return destination;
    }

    Kind kind() const { return m_kind; }
    bool isAsk() const { return m_kind == Kind::ask; }
    bool isBrowser() const { return m_kind == Kind::browser; }
    // Empty for ask.
    const QString& desktopID() const { return m_desktopID; }
    const std::optional<QString>& profile() const { return m_profile; }
    // usual for ask.
    Window window() const { return m_window; }

    friend bool operator==(const Destination&, const Destination&) = default;

private:
    Kind m_kind = Kind::ask;
    QString m_desktopID;
    std::optional<QString> m_profile;
    Window m_window = Window::usual;
};

// The words files and commands use: "usual", "new", "private".
QString windowKeyword(Destination::Window window);
std::optional<Destination::Window> windowFromKeyword(const QString& keyword);

inline size_t qHash(const Destination& destination, size_t seed = 0)
{
    return qHashMulti(seed, static_cast<int>(destination.kind()), destination.desktopID(),
                      destination.profile().value_or(QString()), destination.profile().has_value(),
                      static_cast<int>(destination.window()));
}
