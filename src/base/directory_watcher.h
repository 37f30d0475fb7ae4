#pragma once

#include "result.h"

#include <QObject>
#include <QStringList>

class QSocketNotifier;

// Reports changes to the entries of one directory: an entry created, removed, renamed in or out, or closed
// after writing (editors that save in place). Built on inotify; changes arrive on the owning thread's event
// loop, each batch of events in one signal.
class DirectoryWatcher final : public QObject {
    Q_OBJECT

public:
    explicit DirectoryWatcher(QObject* parent = nullptr);
    ~DirectoryWatcher() override;

    Result<void> watch(const QString& directory);

Q_SIGNALS:
    // The names of the entries that changed; an empty name means the kernel dropped events, so anything
    // may have changed.
    void entriesChanged(const QStringList& names);

private:
    void readEvents();

    int m_descriptor = -1;
    QSocketNotifier* m_notifier = nullptr;
};
