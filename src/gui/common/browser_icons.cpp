#include "browser_icons.h"

#include "browsers/browsers.h"

#include <QFileInfo>
#include <QHash>

using namespace Qt::StringLiterals;

namespace BrowserIcons {

namespace {

struct Caches {
    quint64 generation = 0;      // the Browsers cache these icons were made from
    QHash<QString, QIcon> icons; // a null icon remembers an application that is not installed
    QHash<QString, QIcon> sizedIcons;
};

// The icons made since Browsers last forgot what it discovered: an icon of an application since reinstalled or
// removed is never handed out.
Caches& caches()
{
    static Caches instance;
    if (const quint64 generation = Browsers::cacheGeneration(); generation != instance.generation) {
        instance.icons.clear();
        instance.sizedIcons.clear();
        instance.generation = generation;
    }
    return instance;
}

QString sizeKey(double size)
{
    QString text = QString::number(size, 'g', 15);
    if (!text.contains(u'.') && !text.contains(u'e'))
        text += u".0"_s;
    return text;
}

} // namespace

QIcon icon(const QString& desktopID)
{
    if (desktopID.isEmpty())
        return QIcon();
    Caches& state = caches();
    if (const auto cached = state.icons.constFind(desktopID); cached != state.icons.cend())
        return *cached;
    const QString name = Browsers::iconName(desktopID);
    const QIcon found = name.isEmpty() ? QIcon() : QFileInfo(name).isAbsolute() ? QIcon(name) : QIcon::fromTheme(name);
    state.icons.insert(desktopID, found);
    return found;
}

QIcon icon(const QString& desktopID, double size)
{
    if (desktopID.isEmpty())
        return QIcon();
    const QString key = desktopID + u'@' + sizeKey(size);
    Caches& state = caches();
    if (const auto cached = state.sizedIcons.constFind(key); cached != state.sizedIcons.cend())
        return *cached;
    const QIcon full = icon(desktopID);
    if (full.isNull())
        return QIcon();
    const int side = qRound(size);
    const QIcon sized(full.pixmap(QSize(side, side)));
    state.sizedIcons.insert(key, sized);
    return sized;
}

} // namespace BrowserIcons
