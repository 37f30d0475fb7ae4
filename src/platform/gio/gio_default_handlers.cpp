#include "gio_default_handlers.h"

#include "platform/xdg/config_files.h"
#include "platform/xdg/web_link_layers.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <gio/gdesktopappinfo.h>

using namespace Qt::StringLiterals;

namespace {

QString configHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

} // namespace

Result<void> GioDefaultHandlers::setDefaultForScheme(const QString& applicationPath, const QString& scheme)
{
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(applicationPath.toUtf8().constData());
    if (!info)
        return Failure{u"%1 is not an application's desktop entry."_s.arg(applicationPath)};
    const QString desktopFile = QString::fromUtf8(g_app_info_get_id(G_APP_INFO(info)));
    const QString type = u"x-scheme-handler/"_s + scheme;

    // The desktop-specific files first: GIO rereads the whole user configuration after its own write, and
    // must then find them already in line.
    for (const QString& desktop : WebLinkLayers::currentDesktops()) {
        const QString list = configHome() + u'/' + desktop + u"-mimeapps.list"_s;
        if (!QFileInfo::exists(list))
            continue;
        const Result<void> updated =
            ConfigFiles::replaceValue(list, u"Default Applications"_s, type, desktopFile + u';');
        if (!updated) {
            g_object_unref(info);
            return updated;
        }
    }
    if (WebLinkLayers::currentDesktops().contains(u"kde"_s)) {
        const Result<void> updated =
            ConfigFiles::setValue(WebLinkLayers::kdeglobalsPath(), u"General"_s, u"BrowserApplication"_s, desktopFile);
        if (!updated) {
            g_object_unref(info);
            return updated;
        }
    }

    GError* error = nullptr;
    const bool set = g_app_info_set_as_default_for_type(G_APP_INFO(info), type.toUtf8().constData(), &error);
    g_object_unref(info);
    if (!set) {
        const QString message = QString::fromUtf8(error->message);
        g_clear_error(&error);
        return Failure{message};
    }
    return {};
}
