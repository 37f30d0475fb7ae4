#pragma once

#include "services/window_messages.h"

#include <QObject>

class QSocketNotifier;

// The window process's line to the resident that started it: messages arrive on one descriptor and go back on
// another, both owned from then on.
class ResidentChannel final : public QObject {
    Q_OBJECT

public:
    ResidentChannel(int input, int output, QObject* parent = nullptr);
    // Over this process's standard input and output, which then point elsewhere (input at /dev/null, output at the
    // error stream), so that nothing a library prints can pass for a message.
    static ResidentChannel* overStandardStreams(QObject* parent = nullptr);
    ~ResidentChannel() override;

    void send(const QString& kind, const QJsonObject& fields = {});
    // Messages received so far, which the resident compares with those it sent.
    quint64 received() const { return m_received; }

Q_SIGNALS:
    void messageReceived(const WindowMessages::Message& message);
    // The resident has let this process go, or has ended.
    void closed();

private:
    void readAvailable();

    int m_input = -1;
    int m_output = -1;
    QSocketNotifier* m_notifier = nullptr;
    WindowMessages::LineReader m_reader;
    quint64 m_received = 0;
};
