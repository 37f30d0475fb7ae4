#pragma once

#include "result.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QProcess;
class QTimer;

// One run of a helper program in a child process, for work the resident keeps out of its own address space (the
// JavaScript engine of a Finicky import, the network stack of a feedback send): the input written to its
// standard input, its standard output and error collected, its end reported once on this object's thread. Never
// waits: start() returns at once and the event loop goes on. A run that passes its time limit or prints more
// than its limit is killed (SIGKILL) and reported as such; a run that is cancelled, or whose ToolProcess goes
// (the window that started it closed), is killed and reported to nobody.
class ToolProcess final : public QObject {
    Q_OBJECT

public:
    struct Limits {
        std::chrono::milliseconds time;
        qint64 outputBytes = qint64(64) * 1024 * 1024; // of standard output; the first 64 KiB of the errors are kept
    };

    // A program that exited by itself, with whatever status: what its output means is for the caller to judge.
    struct Exited {
        int status = 0;
        QByteArray out;
        QByteArray err;

        // What the program said last on its error stream, without its name in front ("linkherd: …"), elided;
        // empty when it said nothing.
        QString complaint() const;
    };
    // Exited, or why the program gave nothing: it could not be started, crashed, or was stopped at a limit.
    using Outcome = Result<Exited>;

    ToolProcess(QString program, QStringList arguments, Limits limits, QObject* parent = nullptr);
    ~ToolProcess() override;

    // Starts the program with this on its standard input (closed after it). done is called once, later than this
    // call returns, unless cancel() or the destructor comes first. An empty program (the tool was not found)
    // reports that it could not be started. One start per instance.
    void start(const QByteArray& input, std::function<void(const Outcome&)> done);
    bool isRunning() const;
    // Kills the program; nothing is reported.
    void cancel();

private:
    void readOutput();
    void finish(const Outcome& outcome);
    QString programName() const;

    QString m_program;
    QStringList m_arguments;
    Limits m_limits;
    QProcess* m_process = nullptr;
    QTimer* m_timer = nullptr;
    QByteArray m_out;
    QByteArray m_err;
    std::function<void(const Outcome&)> m_done;
};
