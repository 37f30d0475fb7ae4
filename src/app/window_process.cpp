#include "window_process.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

// A process that ends this many times in a row while it has something to show is not restarted again for it: a
// link that makes it crash must not keep Linkherd busy forever.
constexpr int restartLimit = 3;

} // namespace

QString WindowProcess::besideThisProgram()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"linkherd-windows"_s);
}

WindowProcess::WindowProcess(QString program, QObject* parent) : QObject(parent), m_program(std::move(program))
{
    m_lingerTimer.setSingleShot(true);
    m_lingerTimer.setInterval(defaultLinger);
    connect(&m_lingerTimer, &QTimer::timeout, this, &WindowProcess::letGo);
}

WindowProcess::~WindowProcess()
{
    if (!m_process)
        return;
    // The windows save what they keep (the rules window's place) as they close, which they do at the end of input.
    disconnect(m_process, nullptr, this, nullptr);
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(2000))
        m_process->kill();
}

bool WindowProcess::isRunning() const
{
    return m_process != nullptr;
}

void WindowProcess::show(Window window, const LaunchActivation& activation)
{
    QJsonObject fields{{"window"_L1, WindowMessages::nameOf(window)}};
    if (!activation.isEmpty())
        fields.insert("activation"_L1, WindowMessages::toJson(activation));
    send(u"show"_s, fields);
}

void WindowProcess::present(const Router::Request& request)
{
    // The activation is the panel's, once; a process started again for the link shows it without.
    QJsonObject fields = WindowMessages::toJson(request);
    (void)takeActivation(request.activation);
    send(u"present"_s, fields);
    // Kept once sent: a process started for it has been sent what waited before.
    Router::Request kept = request;
    kept.activation = nullptr;
    m_waiting.append(kept);
}

void WindowProcess::alert(const Router::Alert& alert, Router::AlertAnswer answered, Severity severity)
{
    const int id = m_nextAlert++;
    QJsonObject fields = WindowMessages::toJson(alert);
    fields.insert("id"_L1, id);
    if (severity == Severity::critical)
        fields.insert("critical"_L1, true);
    send(u"alert"_s, fields);
    m_alertTexts.insert(id, fields);
    m_alerts.insert(id, std::move(answered));
}

void WindowProcess::setTrayMenu(std::optional<QList<TrayMenuEntry>> entries)
{
    if (!entries && !m_tray)
        return;
    m_tray = std::move(entries);
    ++m_trayGeneration;
    if (m_process)
        send(u"tray"_s, trayFields());
    else if (m_tray)
        start(); // which sends the tray
}

QJsonObject WindowProcess::trayFields() const
{
    QJsonObject fields = m_tray ? WindowMessages::toJson(*m_tray) : QJsonObject{};
    fields.insert("menu"_L1, m_trayGeneration);
    fields.insert("shown"_L1, m_tray.has_value());
    return fields;
}

void WindowProcess::send(const QString& kind, const QJsonObject& fields)
{
    m_lingerTimer.stop();
    if (!m_process)
        start();
    write(kind, fields);
}

void WindowProcess::write(const QString& kind, const QJsonObject& fields)
{
    m_process->write(WindowMessages::encode(kind, fields));
    ++m_sent;
}

void WindowProcess::start()
{
    m_process = new QProcess(this);
    m_process->setProgram(m_program);
    // Its messages go to Linkherd's log; its standard output is the way back.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &WindowProcess::readMessages);
    QProcess* process = m_process;
    connect(process, &QProcess::finished, this, [this, process] { ended(process); });
    // Told from the event loop: it may come from within start().
    connect(
        process, &QProcess::errorOccurred, this,
        [this, process](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || process != m_process)
                return;
            qCWarning(lcApp, "Could not start the windows (%s): %s", qUtf8Printable(m_program),
                      qUtf8Printable(process->errorString()));
            ended(process);
        },
        Qt::QueuedConnection);
    m_reader = {};
    m_sent = 0;
    qCDebug(lcApp, "starting the windows: %s", qUtf8Printable(m_program));
    m_process->start();
    // What the last one had on screen and left unanswered.
    for (const Router::Request& request : std::as_const(m_waiting))
        write(u"present"_s, WindowMessages::toJson(request));
    for (const QJsonObject& alert : std::as_const(m_alertTexts))
        write(u"alert"_s, alert);
    if (m_tray)
        write(u"tray"_s, trayFields());
}

void WindowProcess::readMessages()
{
    // The process may be let go, or end, while its messages are handled.
    QProcess* process = m_process;
    if (!process)
        return;
    m_reader.append(process->readAllStandardOutput());
    while (std::optional<WindowMessages::Message> message = m_reader.next()) {
        handle(*message);
        if (m_process != process)
            return;
    }
}

void WindowProcess::handle(const WindowMessages::Message& message)
{
    const QJsonObject& fields = message.fields;
    if (message.kind == u"ready") {
        qCDebug(lcApp, "the windows are ready");
    } else if (message.kind == u"launch") {
        if (launch)
            launch(WindowMessages::launchFromJson(fields));
    } else if (message.kind == u"finished") {
        const QUuid id = QUuid::fromString(fields.value("id"_L1).toString());
        m_waiting.removeIf([&id](const Router::Request& request) { return request.id == id; });
        m_failedStarts = 0;
    } else if (message.kind == u"answer") {
        const int id = fields.value("id"_L1).toInt();
        m_alertTexts.remove(id);
        if (Router::AlertAnswer answered = m_alerts.take(id))
            answered(fields.value("button"_L1).toInt());
    } else if (message.kind == u"askNext") {
        if (askNext)
            askNext();
    } else if (message.kind == u"quit") {
        if (quit)
            quit();
    } else if (message.kind == u"trayAboutToShow") {
        if (trayAboutToShow)
            trayAboutToShow();
    } else if (message.kind == u"trayChosen") {
        if (!m_tray || fields.value("menu"_L1).toInt() != m_trayGeneration)
            return; // a line of an older menu
        if (const auto command = WindowMessages::trayCommand(*m_tray, fields.value("entry"_L1).toInt(-1)))
            command(static_cast<quint32>(fields.value("inputTime"_L1).toInteger()));
    } else if (message.kind == u"idle") {
        // Only when it has seen everything sent: a window asked for meanwhile is on its way.
        m_failedStarts = 0;
        if (static_cast<quint64>(fields.value("seen"_L1).toInteger()) == m_sent && !hasWork())
            m_lingerTimer.start();
    } else {
        qCWarning(lcApp, "The windows sent an unknown message \"%s\"", qUtf8Printable(message.kind));
    }
}

void WindowProcess::ended(QProcess* process)
{
    if (process != m_process)
        return;
    const int code = m_process->exitCode();
    const bool crashed = m_process->exitStatus() == QProcess::CrashExit;
    disconnect(m_process, nullptr, this, nullptr);
    m_process->deleteLater();
    m_process = nullptr;
    m_lingerTimer.stop();
    if (!hasWork())
        return;
    qCWarning(lcApp, "The windows ended (%s %d) with %lld links and %lld alerts unanswered",
              crashed ? "signal" : "exit code", code, static_cast<long long>(m_waiting.size()),
              static_cast<long long>(m_alerts.size()));
    if (++m_failedStarts < restartLimit) {
        start();
        return;
    }
    // Nothing can show them: the alerts count as cancelled, the links as dropped, as with no display at all.
    m_failedStarts = 0;
    for (const Router::Request& request : std::exchange(m_waiting, {}))
        qCWarning(lcApp, "Dropped %s: no window could ask about it", qUtf8Printable(request.url));
    const QHash<int, QJsonObject> texts = std::exchange(m_alertTexts, {});
    const QHash<int, Router::AlertAnswer> alerts = std::exchange(m_alerts, {});
    for (auto alert = alerts.cbegin(); alert != alerts.cend(); ++alert) {
        if (alert.value())
            alert.value()(static_cast<int>(texts.value(alert.key()).value("buttons"_L1).toArray().size()) - 1);
    }
}

void WindowProcess::letGo()
{
    if (!m_process || hasWork())
        return;
    qCDebug(lcApp, "letting the windows go");
    // It ends at the end of its input; a window asked for from now on starts another.
    QProcess* process = std::exchange(m_process, nullptr);
    disconnect(process, nullptr, this, nullptr);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->closeWriteChannel();
}
