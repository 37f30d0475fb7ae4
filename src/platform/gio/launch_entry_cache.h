#pragma once

#include <QString>

#include <sys/stat.h>
#include <vector>

struct _GDesktopAppInfo;

// The desktop entries links were last opened with, parsed: reading and parsing an entry (a browser's carries its
// name in dozens of languages) took longer than everything else the resident does for a link before the browser
// starts. An entry is read again whenever its file (where a link points, the file it reaches) is not the one
// read before: another inode, size, or change time, as a package update, a Flatpak's new version or an edit
// leaves it. Only the main thread may use it.
class LaunchEntryCache {
public:
    LaunchEntryCache() = default;
    ~LaunchEntryCache();
    LaunchEntryCache(const LaunchEntryCache&) = delete;
    LaunchEntryCache& operator=(const LaunchEntryCache&) = delete;

    // A new reference to the entry at path (g_object_unref it), or nullptr when there is no such file or GIO
    // cannot read it as an application's entry.
    _GDesktopAppInfo* entry(const QString& path);

    // Enough for every browser a user has; beyond it, the entry used longest ago makes room.
    static constexpr std::size_t capacity = 16;

private:
    struct Cached {
        QString path;
        dev_t device;
        ino_t inode;
        off_t size;
        timespec changed;
        _GDesktopAppInfo* info;
    };
    std::vector<Cached> m_entries; // the most recently used last
};
