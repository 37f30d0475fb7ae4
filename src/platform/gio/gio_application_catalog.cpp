#include "gio_application_catalog.h"

#include "gio_desktop_entry.h"

#include <gio/gdesktopappinfo.h>

// GIO's application monitor, which says when desktop entries or MIME associations change. Its signal comes on
// the thread-default main context of the thread that asked for it (the main thread's, which Qt's event loop runs).
struct GioApplicationCatalog::Monitor final {
    explicit Monitor(std::function<void()> onChange) : notify(std::move(onChange))
    {
        connection = g_signal_connect(
            monitor, "changed",
            G_CALLBACK(+[](GAppInfoMonitor*, gpointer self) { static_cast<Monitor*>(self)->notify(); }), this);
    }
    ~Monitor()
    {
        g_signal_handler_disconnect(monitor, connection);
        g_object_unref(monitor);
    }
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    GAppInfoMonitor* monitor = g_app_info_monitor_get();
    std::function<void()> notify;
    gulong connection = 0;
};

GioApplicationCatalog::GioApplicationCatalog() = default;

GioApplicationCatalog::~GioApplicationCatalog() = default;

QList<DesktopEntry> GioApplicationCatalog::webBrowsers()
{
    QList<DesktopEntry> entries;
    GList* all = g_app_info_get_all_for_type("x-scheme-handler/https");
    for (GList* item = all; item; item = item->next) {
        auto* info = G_IS_DESKTOP_APP_INFO(item->data) ? G_DESKTOP_APP_INFO(item->data) : nullptr;
        // A null desktop name asks about the current desktop, from XDG_CURRENT_DESKTOP.
        if (info && g_desktop_app_info_get_show_in(info, nullptr))
            entries.append(desktopEntryOf(info));
    }
    g_list_free_full(all, g_object_unref);
    return entries;
}

std::optional<DesktopEntry> GioApplicationCatalog::defaultWebBrowser()
{
    GAppInfo* info = g_app_info_get_default_for_uri_scheme("https");
    if (!info)
        return std::nullopt;
    std::optional<DesktopEntry> entry;
    if (G_IS_DESKTOP_APP_INFO(info))
        entry = desktopEntryOf(G_DESKTOP_APP_INFO(info));
    g_object_unref(info);
    return entry;
}

QList<DesktopEntry> GioApplicationCatalog::shownApplications()
{
    QList<DesktopEntry> entries;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next) {
        // g_app_info_should_show() is the menus' own test: NoDisplay, Hidden, OnlyShowIn and NotShowIn.
        if (G_IS_DESKTOP_APP_INFO(item->data) && g_app_info_should_show(G_APP_INFO(item->data)))
            entries.append(desktopEntryOf(G_DESKTOP_APP_INFO(item->data)));
    }
    g_list_free_full(all, g_object_unref);
    return entries;
}

std::optional<DesktopEntry> GioApplicationCatalog::application(const QString& id)
{
    if (id.isEmpty())
        return std::nullopt;
    GDesktopAppInfo* info = g_desktop_app_info_new((id + u".desktop").toUtf8().constData());
    if (!info)
        return std::nullopt;
    DesktopEntry entry = desktopEntryOf(info);
    addWindowActions(info, entry);
    g_object_unref(info);
    return entry;
}

std::optional<DesktopEntry> GioApplicationCatalog::applicationWithWindowClass(const QString& windowClass)
{
    if (windowClass.isEmpty())
        return std::nullopt;
    readWindowClasses();
    const auto found = m_windowClasses->constFind(windowClass.toCaseFolded());
    if (found == m_windowClasses->cend())
        return std::nullopt;
    return application(*found);
}

void GioApplicationCatalog::prepareWindowClasses()
{
    m_keepsWindowClasses = true;
    readWindowClasses();
}

void GioApplicationCatalog::readWindowClasses()
{
    if (!m_windowClasses) {
        // Reading every entry takes a while on a full desktop; the table is good until the monitor says otherwise.
        watch();
        QHash<QString, QString> classes;
        GList* all = g_app_info_get_all();
        for (GList* item = all; item; item = item->next) {
            if (!G_IS_DESKTOP_APP_INFO(item->data))
                continue;
            const char* startupClass = g_desktop_app_info_get_startup_wm_class(G_DESKTOP_APP_INFO(item->data));
            QString id = QString::fromUtf8(g_app_info_get_id(G_APP_INFO(item->data)));
            if (!startupClass || !*startupClass || !id.endsWith(u".desktop"))
                continue;
            id.chop(8);
            // Of two entries naming the same class, the one GIO lists first (the one that takes precedence) stays.
            const QString key = QString::fromUtf8(startupClass).toCaseFolded();
            if (!classes.contains(key))
                classes.insert(key, id);
        }
        g_list_free_full(all, g_object_unref);
        m_windowClasses = std::move(classes);
    }
}

void GioApplicationCatalog::setChangeHandler(std::function<void()> handler)
{
    m_changeHandler = std::move(handler);
}

void GioApplicationCatalog::watch()
{
    if (!m_monitor)
        m_monitor = std::make_unique<Monitor>([this] { changed(); });
}

void GioApplicationCatalog::changed()
{
    m_windowClasses.reset();
    if (m_keepsWindowClasses)
        readWindowClasses();
    if (m_changeHandler)
        m_changeHandler();
}
