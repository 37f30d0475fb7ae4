#pragma once

#include "platform/launch_activation.h"
#include "platform/tray_menu_entry.h"
#include "services/router.h"
#include "services/window_messages.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

class QProcess;

// Linkherd's windows, drawn by a process of their own (linkherd-windows) so that the resident, which every link
// goes through, carries no toolkit. Started when a window is asked for, told what to show over its standard input,
// and let go a while after its last window closed. The resident keeps what must outlive that process: the links
// waiting for a choice and the alerts waiting for an answer are shown again by the next one if it ends (crashes)
// before they are answered.
class WindowProcess final : public QObject {
    Q_OBJECT

public:
    using Window = WindowMessages::Window;

    // How long the process is kept by default once it has nothing on screen, for the next window to come up at once.
    static constexpr std::chrono::seconds defaultLinger{30};

    // The windows' program, linkherd-windows beside this one (installed, and in a build tree).
    static QString besideThisProgram();

    explicit WindowProcess(QString program, QObject* parent = nullptr);
    ~WindowProcess() override;

    // The rules, settings or feedback window, or for reopen the waiting panel or else the rules window, brought to
    // the front with the activation.
    void show(Window window, const LaunchActivation& activation = {});
    // The "Open Link" panel asks about the link; its activation is taken.
    void present(const Router::Request& request);
    // Answered once: with the button chosen, or with the last (Cancel) when no window can show it. A critical one
    // says that Linkherd cannot go on.
    enum class Severity { warning, critical };
    void alert(const Router::Alert& alert, Router::AlertAnswer answered, Severity severity = Severity::warning);
    // The icon with this menu in an X11 (XEmbed) tray, which only a window can be; none takes it out.
    void setTrayMenu(std::optional<QList<TrayMenuEntry>> entries);

    void setLinger(std::chrono::milliseconds linger) { m_lingerTimer.setInterval(linger); }

    // What the windows ask of the resident.
    std::function<void(const WindowMessages::Launch& launch)> launch;
    std::function<void()> askNext;
    std::function<void()> quit;
    std::function<void()> trayAboutToShow;

    // The links the panel has not answered yet, oldest first.
    const QList<Router::Request>& waiting() const { return m_waiting; }
    bool isRunning() const;

private:
    // Starts the process when none runs.
    void send(const QString& kind, const QJsonObject& fields = {});
    void write(const QString& kind, const QJsonObject& fields);
    QJsonObject trayFields() const;
    void start();
    void readMessages();
    void handle(const WindowMessages::Message& message);
    void ended(QProcess* process);
    void letGo();
    bool hasWork() const { return !m_waiting.isEmpty() || !m_alerts.isEmpty() || m_tray.has_value(); }

    QString m_program;
    QProcess* m_process = nullptr;
    WindowMessages::LineReader m_reader;
    quint64 m_sent = 0; // messages written to the running process
    int m_failedStarts = 0;
    QList<Router::Request> m_waiting;
    QHash<int, QJsonObject> m_alertTexts; // the messages, as sent
    QHash<int, Router::AlertAnswer> m_alerts;
    int m_nextAlert = 1;
    std::optional<QList<TrayMenuEntry>> m_tray;
    int m_trayGeneration = 0;
    QTimer m_lingerTimer;
};
