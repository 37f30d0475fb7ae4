#pragma once

#include <QObject>

class DesktopNotifications;
class RuleStore;
struct UnreadableRules;

// Tells the user, with a desktop notification, when the rules file could not be read and what Linkherd does
// about it: which file, the reader's message (as `linkherd rules` prints it) and which rules are in force.
class RulesFileNotices final : public QObject {
    Q_OBJECT

public:
    RulesFileNotices(RuleStore& store, DesktopNotifications& notifications, QObject* parent = nullptr);

    // Tells about a file that could not be read at start-up; later problems are told as they happen.
    void start();

private:
    void tell(const UnreadableRules& problem);

    RuleStore& m_store;
    DesktopNotifications& m_notifications;
};
