#include "platform/gio/gio_application_launcher.h"
#include "support/test_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// A browser started from its desktop entry's command line: what it keeps of Linkherd, and what a failed start
// comes to.
class ApplicationLauncherTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // It runs in a session of its own, without Linkherd's descriptors or launch variables, with the activation.
    void browserKeepsNothingOfLinkherd()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString probe = folder.filePath(u"probe.sh"_s);
        const QString out = folder.filePath(u"out"_s);
        TestFiles::write(probe, R"sh(exec > "$1"
[ -e /proc/self/fd/57 ] && echo "descriptor inherited"
[ "$(cut -d' ' -f6 /proc/$$/stat)" = "$$" ] || echo "no session of its own"
echo "link=$2 token=$XDG_ACTIVATION_TOKEN launched=$GIO_LAUNCHED_DESKTOP_FILE"
)sh");
        const QString entry = folder.filePath(u"probe.desktop"_s);
        TestFiles::write(
            entry,
            u"[Desktop Entry]\nType=Application\nName=Probe\nExec=/bin/sh %1 %2 %u\n"_s.arg(probe, out).toUtf8());
        // Open without close-on-exec, as a library might leave one.
        const int leaked = dup2(open("/dev/null", O_RDONLY), 57);
        QCOMPARE(leaked, 57);
        const auto closeLeaked = qScopeGuard([] { close(57); });
        qputenv("GIO_LAUNCHED_DESKTOP_FILE", "/usr/share/applications/linkherd.desktop");

        GioApplicationLauncher launcher;
        std::optional<std::optional<QString>> outcome;
        launcher.openLinks(entry, {u"https://a.example/?q=1 2"_s}, {.token = u"T-1"_s, .startupID = {}},
                           [&](std::optional<QString> error) { outcome = error; });
        QTRY_VERIFY(outcome);
        QCOMPARE(*outcome, std::nullopt);
        QTRY_COMPARE(QFile::exists(out) ? TestFiles::read(out) : QByteArray(),
                     QByteArray("link=https://a.example/?q=1 2 token=T-1 launched=\n"));
    }

    // The resident keeps the entries it launched parsed; an entry replaced, edited in place or removed since is
    // read again, and the browser starts as its entry says now.
    void launchesTheEntryAsItIsNow()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString out = folder.filePath(u"out"_s);
        const QString entry = folder.filePath(u"browser.desktop"_s);
        const auto entryWriting = [&](const char* word) {
            return u"[Desktop Entry]\nType=Application\nName=Browser\nExec=/bin/sh -c 'echo %1 >> %2' sh %u\n"_s
                .arg(QLatin1StringView(word), out)
                .toUtf8();
        };
        const auto written = [&] { return QFile::exists(out) ? TestFiles::read(out) : QByteArray(); };
        GioApplicationLauncher launcher;
        std::optional<std::optional<QString>> outcome;
        const auto open = [&] {
            outcome.reset();
            launcher.openLinks(entry, {u"https://a.example/"_s}, {},
                               [&](std::optional<QString> error) { outcome = error; });
            QTRY_VERIFY(outcome);
        };
        TestFiles::write(entry, entryWriting("one"));
        open();
        QTRY_COMPARE(written(), QByteArray("one\n"));
        TestFiles::write(folder.filePath(u"new"_s), entryWriting("two"));
        QVERIFY(std::rename(qPrintable(folder.filePath(u"new"_s)), qPrintable(entry)) == 0);
        open();
        QTRY_COMPARE(written(), QByteArray("one\ntwo\n"));
        QFile inPlace(entry);
        QVERIFY(inPlace.open(QIODevice::ReadWrite));
        QVERIFY(inPlace.write(entryWriting("six")) > 0);
        inPlace.close();
        open();
        QTRY_COMPARE(written(), QByteArray("one\ntwo\nsix\n"));
        QVERIFY(QFile::remove(entry));
        open();
        QVERIFY(outcome->has_value());
    }

    // A program that cannot be started (here its interpreter is gone) is the launch's failure, told later on the
    // main thread.
    void failedStartReachesTheCompletion()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString program = folder.filePath(u"browser"_s);
        TestFiles::write(program, "#!/nonexistent/interpreter\n");
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        const QString entry = folder.filePath(u"gone.desktop"_s);
        TestFiles::write(entry, u"[Desktop Entry]\nType=Application\nName=Gone\nExec=%1 %u\n"_s.arg(program).toUtf8());
        GioApplicationLauncher launcher;
        std::optional<std::optional<QString>> outcome;
        launcher.openLinks(entry, {u"https://a.example/"_s}, {},
                           [&](std::optional<QString> error) { outcome = error; });
        QVERIFY(!outcome);
        QTRY_VERIFY(outcome);
        QVERIFY(outcome->has_value());
        QVERIFY2(outcome->value().contains(program), qPrintable(outcome->value()));
    }
};

QTEST_GUILESS_MAIN(ApplicationLauncherTest)
#include "tst_application_launcher.moc"
