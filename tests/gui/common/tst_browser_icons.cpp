#include "browsers/browsers.h"
#include "gui/common/browser_icons.h"
#include "support/fakes/fake_platform.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString chrome = u"com.google.Chrome"_s;

// The colour an icon is drawn in: each test icon is a square of one colour, so which file a window was given
// shows in its pixels.
QColor colourOf(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().pixelColor(8, 8);
}

} // namespace

class BrowserIconsTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_catalog.browsers = {fakeEntry(chrome, u"Google Chrome"_s), fakeEntry(u"firefox"_s, u"Firefox"_s)};
        m_catalog.browsers[0].icon = iconFile(u"red.png"_s, Qt::red);
        Browsers::setCatalog(&m_catalog);
    }

    void cleanup() { Browsers::setCatalog(nullptr); }

    void iconsAreMadeOncePerSize()
    {
        const QIcon small = BrowserIcons::icon(chrome, 16);
        QCOMPARE(small.availableSizes(), QList<QSize>{QSize(16, 16)});
        QCOMPARE(colourOf(small), QColor(Qt::red));
        QCOMPARE(BrowserIcons::icon(chrome, 16).cacheKey(), small.cacheKey());
        QCOMPARE(BrowserIcons::icon(chrome, 16.5).availableSizes(), QList<QSize>{QSize(17, 17)});
        QCOMPARE(BrowserIcons::icon(chrome).cacheKey(), BrowserIcons::icon(chrome).cacheKey());

        // An application without an Icon, one not installed and no application at all have none.
        for (const QString& desktopID : {u"firefox"_s, u"not.installed"_s, QString()}) {
            QVERIFY2(BrowserIcons::icon(desktopID).isNull(), qPrintable(desktopID));
            QVERIFY2(BrowserIcons::icon(desktopID, 16).isNull(), qPrintable(desktopID));
        }
    }

    // Applications installed, updated or removed while Linkherd runs: every icon made before, of either kind, is
    // made again from the entries as they are now.
    void iconsFollowTheInstalledApplications()
    {
        const QIcon before = BrowserIcons::icon(chrome, 16);
        QVERIFY(BrowserIcons::icon(u"org.example.Later"_s, 16).isNull());
        m_catalog.browsers[0].icon = iconFile(u"blue.png"_s, Qt::blue);
        m_catalog.browsers.append(fakeEntry(u"org.example.Later"_s, u"Later"_s));
        m_catalog.browsers.last().icon = iconFile(u"green.png"_s, Qt::green);
        QCOMPARE(BrowserIcons::icon(chrome, 16).cacheKey(), before.cacheKey()); // until the desktop says so

        m_catalog.changeHandler();
        QCOMPARE(colourOf(BrowserIcons::icon(chrome, 16)), QColor(Qt::blue));
        QCOMPARE(colourOf(BrowserIcons::icon(chrome)), QColor(Qt::blue));
        QCOMPARE(colourOf(BrowserIcons::icon(u"org.example.Later"_s, 16)), QColor(Qt::green));

        m_catalog.browsers.removeFirst();
        Browsers::invalidate();
        QVERIFY(BrowserIcons::icon(chrome, 16).isNull());
        QVERIFY(BrowserIcons::icon(chrome).isNull());
    }

private:
    QString iconFile(const QString& name, Qt::GlobalColor colour)
    {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = m_directory->filePath(name);
        return image.save(path) ? path : QString();
    }

    FakeApplicationCatalog m_catalog;
    std::optional<QTemporaryDir> m_directory;
};

QTEST_MAIN(BrowserIconsTest)
#include "tst_browser_icons.moc"
