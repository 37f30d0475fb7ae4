#include "tool_process.h"

#include "elided_text.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype errorsKept = 64 * 1024;
constexpr qsizetype longestComplaint = 1000;

} // namespace

QString ToolProcess::Exited::complaint() const
{
    // Qt's own warnings and the tool's messages both start with the tool's name; the last line is the verdict.
    const QList<QByteArray> lines = err.trimmed().split('\n');
    QString line = QString::fromUtf8(lines.last().trimmed());
    if (const qsizetype colon = line.indexOf(u": "_s); colon > 0 && !line.left(colon).contains(u' '))
        line = line.mid(colon + 2);
    return elidedText(line, longestComplaint);
}

ToolProcess::ToolProcess(QString program, QStringList arguments, Limits limits, QObject* parent)
    : QObject(parent),
      m_program(std::move(program)),
      m_arguments(std::move(arguments)),
      m_limits(limits)
{}

ToolProcess::~ToolProcess()
{
    cancel();
}

QString ToolProcess::programName() const
{
    return m_program.isEmpty() ? u"The linkherd tool"_s : QFileInfo(m_program).fileName();
}

void ToolProcess::start(const QByteArray& input, std::function<void(const Outcome&)> done)
{
    Q_ASSERT(!m_process && !m_done);
    m_done = std::move(done);
    if (m_program.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this] { finish(Failure{u"The linkherd tool is not installed next to Linkherd."_s}); },
            Qt::QueuedConnection);
        return;
    }
    m_process = new QProcess(this);
    m_process->setProgram(m_program);
    m_process->setArguments(m_arguments);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        const double seconds = double(m_limits.time.count()) / 1000;
        finish(Failure{
            u"%1 did not finish within its time limit (%2 s) and was stopped."_s.arg(programName()).arg(seconds)});
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this, &ToolProcess::readOutput);
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray more = m_process->readAllStandardError();
        m_err += more.left(std::max<qsizetype>(0, errorsKept - m_err.size()));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // Reported from the event loop: QProcess may say so before start() has returned.
        if (error == QProcess::FailedToStart) {
            const Failure failure{u"%1 could not be started: %2"_s.arg(programName(), m_process->errorString())};
            QMetaObject::invokeMethod(
                this, [this, failure] { finish(failure); }, Qt::QueuedConnection);
        }
    });
    connect(m_process, &QProcess::finished, this, [this](int status, QProcess::ExitStatus exit) {
        readOutput();
        if (!m_done)
            return;
        if (exit == QProcess::CrashExit)
            finish(Failure{u"%1 stopped unexpectedly."_s.arg(programName())});
        else
            finish(Exited{status, std::move(m_out), std::move(m_err)});
    });
    m_timer->start(m_limits.time);
    m_process->start(QIODevice::ReadWrite);
    if (!input.isEmpty())
        m_process->write(input);
    m_process->closeWriteChannel();
}

void ToolProcess::readOutput()
{
    if (!m_process)
        return;
    m_out += m_process->readAllStandardOutput();
    if (m_out.size() > m_limits.outputBytes && m_done) {
        finish(Failure{u"%1 printed more than was expected of it and was stopped."_s.arg(programName())});
    }
}

bool ToolProcess::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

void ToolProcess::finish(const Outcome& outcome)
{
    if (!m_done)
        return;
    const std::function<void(const Outcome&)> done = std::exchange(m_done, {});
    cancel();
    done(outcome);
}

void ToolProcess::cancel()
{
    m_done = {};
    if (m_timer)
        m_timer->stop();
    if (m_process) {
        // No signal of it reaches this object any more; the process object reaps the child once it is killed.
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(1000);
        }
    }
}
