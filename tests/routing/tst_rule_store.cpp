#include "routing/rule_store.h"
#include "routing/rules_codec.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

Rule hostRule(const QString& pattern, const QString& browser = u"firefox"_s)
{
    Rule rule;
    rule.pattern = pattern;
    rule.destination = Destination::browser(browser);
    return rule;
}

QStringList patterns(const QList<Rule>& rules)
{
    QStringList result;
    for (const Rule& rule : rules)
        result.append(rule.pattern);
    return result;
}

QByteArray documentWith(const QList<Rule>& rules, const Destination& fallback = Destination::ask(),
                        const std::optional<LinkRewriter>& rewriter = std::nullopt)
{
    RulesDocument document;
    document.rules = rules;
    document.fallback = fallback;
    document.rewriter = rewriter;
    return RulesCodec::encode(document);
}

// Lets queued inotify events arrive and be handled.
void settle()
{
    QTest::qWait(150);
}

} // namespace

class RuleStoreTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_path = m_directory->filePath(u"rules.json"_s);
    }

    void missingFileIsAFirstRunAndWritesNothing()
    {
        RuleStore store(m_path);
        QVERIFY(store.isFirstRun());
        QVERIFY(store.rules().isEmpty());
        QCOMPARE(store.fallback(), Destination::ask());
        QCOMPARE(store.rewriter(), LinkRewriter::initial());
        QVERIFY(!QFile::exists(m_path));

        store.replace(hostRule(u"nobody.example"_s)); // an id that is not in the list
        QVERIFY(!QFile::exists(m_path));
        store.setFallback(Destination::browser(u"firefox"_s));
        QVERIFY(QFile::exists(m_path));
    }

    void unreadableFileIsCopiedAsideBeforeAnythingOverwritesIt()
    {
        const QByteArray broken = TestFiles::read(TestFiles::dataPath(u"rules/match_wrong_case.json"_s));
        TestFiles::write(m_path, broken);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"could not be read.*kept as .*rules\\.json\\.unreadable-"_s));
        RuleStore store(m_path);
        QVERIFY(store.isFirstRun());
        QVERIFY(store.rules().isEmpty());

        const QStringList copies = QDir(m_directory->path()).entryList({u"rules.json.unreadable-*"_s});
        QCOMPARE(copies.size(), 1);
        QVERIFY(QRegularExpression(u"^rules\\.json\\.unreadable-\\d{8}T\\d{6}Z$"_s).match(copies.front()).hasMatch());
        QCOMPARE(store.unreadableCopy(), m_directory->filePath(copies.front()));
        QCOMPARE(TestFiles::read(store.unreadableCopy()), broken);

        store.setFallback(Destination::browser(u"firefox"_s)); // what the first run does
        QCOMPARE(TestFiles::read(store.unreadableCopy()), broken);
        QVERIFY(TestFiles::read(m_path) != broken);
    }

    void mutationsSaveAndNotifyOnlyOnChange()
    {
        RuleStore store(m_path);
        QSignalSpy rulesChanged(&store, &RuleStore::rulesChanged);
        QSignalSpy fallbackChanged(&store, &RuleStore::fallbackChanged);
        QSignalSpy rewriterChanged(&store, &RuleStore::rewriterChanged);

        const Rule first = hostRule(u"one.example"_s);
        store.add(first);
        QCOMPARE(savedPatterns(), QStringList{u"one.example"_s});

        Rule edited = first;
        edited.pattern = u"uno.example"_s;
        store.replace(edited);
        store.replace(edited); // equal value: saved, nobody notified
        QCOMPARE(rulesChanged.size(), 2);

        store.setFallback(Destination::ask());
        QCOMPARE(fallbackChanged.size(), 0);
        store.setFallback(Destination::browser(u"firefox"_s, u"Profile 2"_s));
        QCOMPARE(fallbackChanged.size(), 1);

        LinkRewriter rewriter;
        rewriter.stripsTrackingParameters = true;
        store.setRewriter(rewriter);
        QCOMPARE(rewriterChanged.size(), 1);
        QVERIFY(TestFiles::read(m_path).contains("\"rewriter\""));
        store.setRewriter(LinkRewriter::initial()); // back to the initial settings: the key goes away
        QCOMPARE(rewriterChanged.size(), 2);
        QVERIFY(!TestFiles::read(m_path).contains("\"rewriter\""));

        Rule twin = edited; // with duplicate ids, replacing affects the first
        twin.pattern = u"twin.example"_s;
        store.add(twin);
        twin.pattern = u"replaced.example"_s;
        store.replace(twin);
        QCOMPARE(savedPatterns(), QStringList({u"replaced.example"_s, u"twin.example"_s}));

        store.deleteRules({edited.id, QUuid::createUuid()});
        QVERIFY(store.rules().isEmpty());
        QCOMPARE(rulesChanged.size(), 5);
        QVERIFY(savedPatterns().isEmpty());
    }

    void move_data()
    {
        QTest::addColumn<QList<qsizetype>>("from");
        QTest::addColumn<qsizetype>("to");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("0 and 2 to 4") << QList<qsizetype>{0, 2} << qsizetype(4)
                                      << QStringList{u"1"_s, u"3"_s, u"0"_s, u"2"_s, u"4"_s};
        QTest::newRow("last to top") << QList<qsizetype>{4} << qsizetype(0)
                                     << QStringList{u"4"_s, u"0"_s, u"1"_s, u"2"_s, u"3"_s};
        QTest::newRow("3 and 1 to 0") << QList<qsizetype>{3, 1} << qsizetype(0)
                                      << QStringList{u"1"_s, u"3"_s, u"0"_s, u"2"_s, u"4"_s};
    }

    void move()
    {
        QFETCH(QList<qsizetype>, from);
        QFETCH(qsizetype, to);
        QFETCH(QStringList, order);
        RuleStore store(m_path);
        store.setRules({hostRule(u"0"_s), hostRule(u"1"_s), hostRule(u"2"_s), hostRule(u"3"_s), hostRule(u"4"_s)});
        store.move(from, to);
        QCOMPARE(patterns(store.rules()), order);
        QCOMPARE(savedPatterns(), order);
    }

    void applyTakesEditedTextOrChangesNothing()
    {
        RuleStore store(m_path);
        LinkRewriter rewriter;
        rewriter.upgradesToHTTPS = true;
        store.setRewriter(rewriter);
        store.add(hostRule(u"kept.example"_s));
        const QByteArray before = TestFiles::read(m_path);

        const Result<void> refused = store.apply(u"{\"fallback\": {}, \"rules\": 3, \"version\": 1}"_s);
        QVERIFY(!refused);
        QCOMPARE(refused.error(), u"rules: expected an array, found the number 3"_s);
        QCOMPARE(TestFiles::read(m_path), before);
        QCOMPARE(patterns(store.rules()), QStringList{u"kept.example"_s});

        // Text without a rewriter keeps the current one (an outside edit would reset it).
        QVERIFY(store.apply(QString::fromUtf8(documentWith({hostRule(u"new.example"_s)}))));
        QCOMPARE(patterns(store.rules()), QStringList{u"new.example"_s});
        QCOMPARE(store.rewriter(), rewriter);
        QCOMPARE(TestFiles::read(m_path), store.jsonText().toUtf8());
    }

    void takesOverAnOutsideAtomicSaveWithoutRewritingIt()
    {
        LinkRewriter rewriter;
        rewriter.stripsTrackingParameters = true;
        TestFiles::write(m_path, documentWith({hostRule(u"old.example"_s)}, Destination::ask(), rewriter));
        RuleStore store(m_path);
        int externalChanges = 0;
        store.onExternalChange = [&] { ++externalChanges; };
        store.startWatching();
        QSignalSpy rulesChanged(&store, &RuleStore::rulesChanged);
        QSignalSpy rewriterChanged(&store, &RuleStore::rewriterChanged);

        // Written in another layout, without a rewriter: taken over as is, not rewritten in the store's form.
        const QByteArray outside = R"({"version":1,"fallback":{"browser":{"bundleID":"chromium"}},"rules":[)"
                                   R"({"id":"6F1C2A9E-0B7D-4C3A-9E55-1D2B3C4D5E6F","isEnabled":true,"match":"host",)"
                                   R"("pattern":"new.example","sourceBundleIDs":[],"destination":{"ask":{}}}]})";
        TestFiles::writeAtomicallyAsAnotherProgram(m_path, outside);
        QTRY_COMPARE(rulesChanged.size(), 1);
        QCOMPARE(patterns(store.rules()), QStringList{u"new.example"_s});
        QCOMPARE(store.fallback(), Destination::browser(u"chromium"_s));
        QCOMPARE(store.rewriter(), LinkRewriter::initial());
        QCOMPARE(rewriterChanged.size(), 1);
        QCOMPARE(externalChanges, 1);
        settle();
        QCOMPARE(TestFiles::read(m_path), outside);
        QCOMPARE(externalChanges, 1);
    }

    void takesOverAnInPlaceSave()
    {
        TestFiles::write(m_path, documentWith({hostRule(u"old.example"_s)}));
        RuleStore store(m_path);
        store.startWatching();
        TestFiles::write(m_path, documentWith({hostRule(u"edited.example"_s)}));
        QTRY_COMPARE(patterns(store.rules()), QStringList{u"edited.example"_s});
    }

    void keepsItsRulesWhenAnOutsideSaveIsBroken()
    {
        TestFiles::write(m_path, documentWith({hostRule(u"good.example"_s)}));
        RuleStore store(m_path);
        store.startWatching();
        QSignalSpy rulesChanged(&store, &RuleStore::rulesChanged);

        const QByteArray broken = "{\"fallback\": {\"ask\": {}}, \"rules\": [,], \"version\": 1}";
        QTest::ignoreMessage(QtCriticalMsg, "Ignoring an unreadable rules file; keeping the rules already loaded");
        TestFiles::writeAtomicallyAsAnotherProgram(m_path, broken);
        settle();
        QCOMPARE(rulesChanged.size(), 0);
        QCOMPARE(patterns(store.rules()), QStringList{u"good.example"_s});
        QCOMPARE(TestFiles::read(m_path), broken);

        store.add(hostRule(u"more.example"_s)); // the next change in the application replaces the bad file
        QCOMPARE(savedPatterns(), QStringList({u"good.example"_s, u"more.example"_s}));
    }

    void ownSavesAndDeletionCauseNoReload()
    {
        RuleStore store(m_path);
        int externalChanges = 0;
        store.onExternalChange = [&] { ++externalChanges; };
        store.startWatching();
        store.add(hostRule(u"a.example"_s));
        const QByteArray first = TestFiles::read(m_path);
        store.save();
        QCOMPARE(TestFiles::read(m_path), first);
        settle();
        QCOMPARE(externalChanges, 0);

        QVERIFY(QFile::remove(m_path));
        settle();
        QCOMPARE(externalChanges, 0);
        QCOMPARE(patterns(store.rules()), QStringList{u"a.example"_s});
        store.add(hostRule(u"b.example"_s));
        QCOMPARE(savedPatterns(), QStringList({u"a.example"_s, u"b.example"_s}));
    }

    void failedSaveKeepsTheChangeInMemory()
    {
        const QString unwritable = m_directory->filePath(u"no-such-folder/rules.json"_s);
        RuleStore store(unwritable);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Could not save rules: "_s));
        store.add(hostRule(u"b.example"_s));
        QCOMPARE(patterns(store.rules()), QStringList{u"b.example"_s});
        QVERIFY(!QFile::exists(unwritable));
    }

private:
    QStringList savedPatterns() const { return patterns(RulesCodec::decode(TestFiles::read(m_path))->rules); }

    std::optional<QTemporaryDir> m_directory;
    QString m_path;
};

QTEST_GUILESS_MAIN(RuleStoreTest)
#include "tst_rule_store.moc"
