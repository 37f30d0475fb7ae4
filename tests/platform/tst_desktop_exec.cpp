#include "platform/xdg/desktop_exec.h"

#include <QTest>

using namespace Qt::StringLiterals;

// A desktop entry's Exec read into the argument vectors of its starts. A link is exactly one argument wherever
// its field code stands, whatever it holds.
class DesktopExecTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void expandsAsTheDesktopEntryStandardReads_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QList<QStringList>>("starts"); // none: refused

        const QStringList two{u"https://a.example/"_s, u"https://b.example/"_s};
        QTest::newRow("%U: every link in one start")
            << u"web --new-window %U"_s << two << QList<QStringList>{{u"web"_s, u"--new-window"_s, two[0], two[1]}};
        QTest::newRow("%u: a start per link")
            << u"web %u"_s << two << QList<QStringList>{{u"web"_s, two[0]}, {u"web"_s, two[1]}};
        QTest::newRow("no field code: the link at the end")
            << u"web --flag"_s << two
            << QList<QStringList>{{u"web"_s, u"--flag"_s, two[0]}, {u"web"_s, u"--flag"_s, two[1]}};
        QTest::newRow("no links: the codes stand for nothing")
            << u"web %U --x"_s << QStringList{} << QList<QStringList>{{u"web"_s, u"--x"_s}};
        QTest::newRow("a link starting with a dash stays one argument after the options")
            << u"web --private %u"_s << QStringList{u"--remote-debugging-port=1 x"_s}
            << QList<QStringList>{{u"web"_s, u"--private"_s, u"--remote-debugging-port=1 x"_s}};
        const QString hostile = u"https://e.example/a b\"c'd\\ $(id) `id` %u;|&"_s;
        QTest::newRow("a link with blanks, quotes and field codes is not read again")
            << u"web %U"_s << QStringList{hostile} << QList<QStringList>{{u"web"_s, hostile}};
        QTest::newRow("quoting and escapes")
            << u"\"/opt/My Browser/run\" \"say \\\"hi\\\" \\$HOME \\\\ \\`x\\`\" it\\ s 'a \"b\"' %u"_s
            << QStringList{two[0]}
            << QList<QStringList>{
                   {u"/opt/My Browser/run"_s, u"say \"hi\" $HOME \\ `x`"_s, u"it s"_s, u"a \"b\""_s, two[0]}};
        QTest::newRow("a field code in quotes is text")
            << u"web \"100%u\""_s << QStringList{two[0]} << QList<QStringList>{{u"web"_s, u"100%u"_s, two[0]}};
        QTest::newRow("env prefix (Snap)")
            << u"env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/firefox_firefox.desktop "
               u"/snap/bin/firefox %u"_s
            << QStringList{two[0]}
            << QList<QStringList>{{u"env"_s,
                                   u"BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/"
                                   u"firefox_firefox.desktop"_s,
                                   u"/snap/bin/firefox"_s, two[0]}};
        QTest::newRow("Flatpak forwarding markers")
            << u"/usr/bin/flatpak run --branch=stable --command=firefox --file-forwarding org.mozilla.firefox "
               u"@@u %U @@"_s
            << two
            << QList<QStringList>{{u"/usr/bin/flatpak"_s, u"run"_s, u"--branch=stable"_s, u"--command=firefox"_s,
                                   u"--file-forwarding"_s, u"org.mozilla.firefox"_s, u"@@u"_s, two[0], two[1],
                                   u"@@"_s}};
        QTest::newRow("%i %c %k %%") << u"web %i --class=%c --from %k 100%% %u"_s << QStringList{two[0]}
                                     << QList<QStringList>{{u"web"_s, u"--icon"_s, u"web-icon"_s, u"--class=Web"_s,
                                                            u"--from"_s, u"/apps/web.desktop"_s, u"100%"_s, two[0]}};
        QTest::newRow("no icon: %i, deprecated and unknown codes stand for nothing")
            << u"web %i %d %D %n %N %v %m %z %u"_s << QStringList{two[0]} << QList<QStringList>{{u"web"_s, two[0]}};
        QTest::newRow("%f: a file link as its path") << u"view %f"_s << QStringList{u"file:///tmp/a%20b.html"_s}
                                                     << QList<QStringList>{{u"view"_s, u"/tmp/a b.html"_s}};
        QTest::newRow("unterminated quote") << u"web \"%u"_s << two << QList<QStringList>{};
        QTest::newRow("no program") << u"  %U"_s << two << QList<QStringList>{};
    }

    void expandsAsTheDesktopEntryStandardReads()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, links);
        QFETCH(QList<QStringList>, starts);
        // Rows tagged "no icon" are of an entry without one.
        const bool noIcon = QByteArrayView(QTest::currentDataTag()).startsWith("no icon");
        const DesktopExec entry{exec, u"Web"_s, noIcon ? QString() : u"web-icon"_s, u"/apps/web.desktop"_s};
        const Result<QList<QStringList>> expanded = expandExec(entry, links);
        if (starts.isEmpty()) {
            QVERIFY(!expanded);
            QVERIFY(!expanded.error().isEmpty());
        } else {
            QVERIFY2(expanded, qPrintable(expanded.error()));
            QCOMPARE(*expanded, starts);
        }
    }
};

QTEST_GUILESS_MAIN(DesktopExecTest)
#include "tst_desktop_exec.moc"
