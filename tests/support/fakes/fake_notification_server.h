#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// The desktop's notification server on the session bus, as far as Linkherd uses one: it records what it is asked
// to show and to close, and the test presses a notification's buttons by sending ActionInvoked as a server does.
// It takes the server's name on the bus for as long as it lives.
class FakeNotificationServer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Shown> shown; // the ID of each is its index + 1
    QList<uint> closed;

    FakeNotificationServer();
    ~FakeNotificationServer() override;

    // Whether it holds the server's name: false when there is no session bus or another server has it.
    bool isRegistered() const { return m_registered; }
    void press(uint id, const QString& key);

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesID, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout);
    void CloseNotification(uint id);

private:
    bool m_registered = false;
};
