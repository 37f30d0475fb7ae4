#pragma once

#include <QString>
#include <QStringList>

class RuleStore;

// What the scripting interface on the bus works on, and nothing more: the rules it edits, the browsers and the
// default-browser state it reports, and the one way it hands a link over. The resident gives its own services;
// a test gives a rules file in a temporary folder and records the rest.
class ScriptingBackend {
public:
    virtual ~ScriptingBackend() = default;

    // The rules and the fallback the rule commands edit, whose changes the interface reports.
    virtual RuleStore& store() = 0;
    // The IDs of the installed browsers, sorted by name.
    virtual QStringList installedBrowsers() const = 0;
    virtual bool isDefaultBrowser() const = 0;
    // Opens url as a link clicked in the application that made the call: caller is its connection's unique
    // name on the session bus, looked up only when a rule or the chooser needs the source. Called while the
    // call is being answered, so the caller is still there.
    virtual void route(const QString& url, const QString& caller) = 0;
};
