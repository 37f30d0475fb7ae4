#include "association_monitor.h"

#include <gio/gio.h>

AssociationMonitor::AssociationMonitor(QObject* parent) : QObject(parent)
{
    GAppInfoMonitor* monitor = g_app_info_monitor_get();
    m_monitor = monitor;
    m_connection = g_signal_connect(monitor, "changed", G_CALLBACK(+[](GAppInfoMonitor*, gpointer self) {
                                        Q_EMIT static_cast<AssociationMonitor*>(self)->changed();
                                    }),
                                    this);
    // GIO watches its folders only from the first question on.
    if (GAppInfo* info = g_app_info_get_default_for_uri_scheme("https"))
        g_object_unref(info);
}

AssociationMonitor::~AssociationMonitor()
{
    g_signal_handler_disconnect(m_monitor, m_connection);
    g_object_unref(m_monitor);
}
