#include "platform/xdg/desktop_exec.h"
#include "support/test_files.h"

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
        // The rows, pure data, are tests/data/tables/desktop_exec.json.
        for (const QJsonObject& row : TestFiles::tableRows(u"desktop_exec.json"_s)) {
            QList<QStringList> starts;
            for (const QJsonValue& start : row[u"starts"].toArray())
                starts.append(TestFiles::strings(start));
            QTest::newRow(qPrintable(row[u"row"].toString()))
                << row[u"exec"].toString() << TestFiles::strings(row[u"links"]) << starts;
        }
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
