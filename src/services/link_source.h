#pragma once

#include <QString>

#include <functional>

// The application a hand-over of links comes from, worked out only when something needs it: a rule that looks at
// source applications, or the chooser, which names it. Working it out asks the bus for the caller's process and
// reads under /proc, which most links need not pay for. Once worked out, it serves the hand-over's other links.
class LinkSource final {
public:
    LinkSource() = default;
    // Known already; empty: not known.
    LinkSource(QString desktopID) // NOLINT(google-explicit-constructor): a known source is just its text
        : m_desktopID(std::move(desktopID))
    {}

    // Worked out by lookUp at the first need. Routing a hand-over is synchronous, so its caller is still there.
    static LinkSource lookedUpBy(std::function<QString()> lookUp)
    {
        LinkSource source;
        source.m_lookUp = std::move(lookUp);
        return source;
    }

    // Works the source out if that has not been done yet; empty when it cannot be told.
    const QString& desktopID() const
    {
        if (m_lookUp)
            m_desktopID = std::exchange(m_lookUp, nullptr)();
        return m_desktopID;
    }
    // What is known without working anything out.
    const QString& known() const { return m_desktopID; }

private:
    mutable QString m_desktopID;
    mutable std::function<QString()> m_lookUp;
};
