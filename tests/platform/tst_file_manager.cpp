#include "platform/gio/gio_file_manager.h"

#include <QDBusConnection>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// A file manager on the session bus, as Nautilus and its peers offer it.
class FakeFileManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QStringList> shown;

public Q_SLOTS:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        shown.append(uris);
    }
};

} // namespace

class FileManagerTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The file goes to the file manager as a file URI, spaces and all, so that it opens with the file selected.
    void showItemAsksTheFileManagerOnTheBus()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY2(bus.isConnected(), "run under dbus-run-session");
        FakeFileManager fileManager;
        QVERIFY(bus.registerObject(u"/org/freedesktop/FileManager1"_s, &fileManager,
                                   QDBusConnection::ExportScriptableSlots));
        QVERIFY(bus.registerService(u"org.freedesktop.FileManager1"_s));

        QTemporaryDir dir;
        const QString path = dir.filePath(u"my rules.json"_s);
        GioFileManager().showItem(path);
        QTRY_COMPARE(fileManager.shown.size(), 1);
        QCOMPARE(fileManager.shown.first(), QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)});
    }
};

QTEST_GUILESS_MAIN(FileManagerTest)
#include "tst_file_manager.moc"
