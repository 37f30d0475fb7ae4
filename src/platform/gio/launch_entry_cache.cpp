#include "launch_entry_cache.h"

#include <gio/gdesktopappinfo.h>

#include <algorithm>

namespace {

bool same(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

LaunchEntryCache::~LaunchEntryCache()
{
    for (const Cached& cached : m_entries)
        g_object_unref(cached.info);
}

GDesktopAppInfo* LaunchEntryCache::entry(const QString& path)
{
    const QByteArray file = path.toUtf8();
    struct stat status {};
    if (::stat(file.constData(), &status) != 0)
        return nullptr;
    for (auto cached = m_entries.begin(); cached != m_entries.end(); ++cached) {
        if (cached->path != path)
            continue;
        if (cached->device == status.st_dev && cached->inode == status.st_ino && cached->size == status.st_size &&
            same(cached->changed, status.st_ctim)) {
            std::rotate(cached, cached + 1, m_entries.end());
            return G_DESKTOP_APP_INFO(g_object_ref(m_entries.back().info));
        }
        g_object_unref(cached->info);
        m_entries.erase(cached);
        break;
    }
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(file.constData());
    if (!info)
        return nullptr;
    if (m_entries.size() == capacity) {
        g_object_unref(m_entries.front().info);
        m_entries.erase(m_entries.begin());
    }
    m_entries.push_back({path, status.st_dev, status.st_ino, status.st_size, status.st_ctim, info});
    return G_DESKTOP_APP_INFO(g_object_ref(info));
}
