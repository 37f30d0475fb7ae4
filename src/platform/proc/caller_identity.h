#pragma once

#include <QString>

#include <optional>

// Which desktop application a process belongs to, as its desktop file ID without ".desktop"; rules that apply
// only to links from some applications ask this about whoever handed Linkherd the link. Never Linkherd itself.
class CallerIdentity {
public:
    virtual ~CallerIdentity() = default;

    virtual std::optional<QString> applicationOf(qint64 pid) = 0;
    // The application behind a process that asked for a link to be opened: the process or the nearest of its
    // ancestors that belongs to one. Shells and link openers (xdg-open, gio, kde-open, …) are passed over, since
    // they only carry the link for the application that started them.
    virtual std::optional<QString> applicationOfCallerChain(qint64 pid) = 0;
};

// Reads what the kernel says about the process: the Flatpak sandbox it runs in, else the systemd unit its cgroup
// names. Only small files under /proc are read, nothing waits on another process.
class ProcCallerIdentity final : public CallerIdentity {
public:
    ProcCallerIdentity();
    // procRoot: a directory laid out like /proc.
    explicit ProcCallerIdentity(QString procRoot);

    std::optional<QString> applicationOf(qint64 pid) override;
    std::optional<QString> applicationOfCallerChain(qint64 pid) override;

private:
    std::optional<QString> read(qint64 pid, const QString& file) const;

    QString m_procRoot;
};
