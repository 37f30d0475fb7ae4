#pragma once

#include "services/rule_commands.h"
#include "services/scripting_backend.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QList>
#include <QStringList>
#include <QVariantMap>

// org.linkherd.Linkherd.Scripting, beside org.freedesktop.Application on the same object: the rule operations
// for scripts. A translation of the dictionaries and errors of the bus onto RuleCommands over the backend's
// store, nothing more; data/org.linkherd.Linkherd.Scripting.xml describes it for people and tools.
class ScriptingBus final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.linkherd.Linkherd.Scripting")
    Q_PROPERTY(QString FallbackBrowser READ fallbackBrowser WRITE setFallbackBrowser)
    Q_PROPERTY(bool IsDefaultBrowser READ isDefaultBrowser)
    Q_PROPERTY(QStringList InstalledBrowsers READ installedBrowsers)
    Q_PROPERTY(uint RuleCount READ ruleCount)

public:
    // Offered with the object it is attached to, which owns it (registered with its adaptors exported).
    ScriptingBus(ScriptingBackend& backend, QObject* object);

    QString fallbackBrowser() const;
    void setFallbackBrowser(const QString& browser);
    bool isDefaultBrowser() const;
    QStringList installedBrowsers() const;
    uint ruleCount() const;

public Q_SLOTS:
    // Each takes the call last: an adaptor has no QDBusContext, and errors are replies to it.
    QList<QVariantMap> GetRules(const QDBusMessage& call);
    QVariantMap GetRule(const QString& id, const QDBusMessage& call);
    QString AddRule(const QVariantMap& rule, int position, const QDBusMessage& call);
    void UpdateRule(const QString& id, const QVariantMap& changes, const QDBusMessage& call);
    void RemoveRule(const QString& id, const QDBusMessage& call);
    void RemoveRuleAt(int index, const QDBusMessage& call);
    void MoveRule(const QString& id, int position, const QDBusMessage& call);
    QString Resolve(const QString& url, const QString& from, const QDBusMessage& call);
    void Route(const QString& url, const QDBusMessage& call);

Q_SIGNALS:
    void RulesChanged();

private:
    // Sends the error of a refused call; false when there was one.
    static bool succeeded(const RuleCommands::Error* error, const QString& invalidArgumentName,
                          const QDBusMessage& call);
    RuleCommands::Outcome<void> changeFallback(const QString& browser);
    static std::optional<RuleCommands::RuleFields> fieldsOf(const QVariantMap& map, const QString& forId,
                                                            const QDBusMessage& call);

    ScriptingBackend& m_backend;
    RuleCommands m_commands;
};
