#include "routing/rule_store.h"
#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

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
        QVERIFY(store.unreadableAtStart());
        const QString copy = store.unreadableAtStart()->keptAs;
        QCOMPARE(copy, m_directory->filePath(copies.front()));
        QCOMPARE(store.unreadableAtStart()->error,
                 u"rules[1].match: \"Host\" is not one of host, urlContains, regex"_s);
        QCOMPARE(TestFiles::read(copy), broken);

        store.setFallback(Destination::browser(u"firefox"_s)); // what the first run does
        QCOMPARE(TestFiles::read(copy), broken);
        QVERIFY(TestFiles::read(m_path) != broken);
    }

    // Neither a FIFO (which would block the reader) nor a device nor a huge file is read, and as nothing of them
    // can be kept aside, the store leaves them alone.
    void refusesWhatIsNotARegularFileOrTooLarge_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        QTest::newRow("FIFO") << u"fifo"_s << u"Not a regular file"_s;
        QTest::newRow("link to /dev/zero") << u"zero"_s << u"Not a regular file"_s;
        QTest::newRow("folder") << u"folder"_s << u"Not a regular file"_s;
        QTest::newRow("65 MiB") << u"large"_s << u"Larger than 64 MiB"_s;
    }

    void refusesWhatIsNotARegularFileOrTooLarge()
    {
        QFETCH(QString, kind);
        QFETCH(QString, error);
        const QByteArray path = QFile::encodeName(m_path);
        if (kind == u"fifo"_s) {
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        } else if (kind == u"zero"_s) {
            QVERIFY(QFile::link(u"/dev/zero"_s, m_path));
        } else if (kind == u"folder"_s) {
            QVERIFY(QDir().mkdir(m_path));
        } else {
            TestFiles::write(m_path, "{}");
            QVERIFY(QFile::resize(m_path, qint64(65) * 1024 * 1024)); // sparse: costs no space
        }

        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression(u"could not be read \\(%1\\), nor copied aside"_s.arg(error)));
        RuleStore store(m_path);
        QVERIFY(store.isFirstRun());
        QVERIFY(store.unreadableAtStart());
        QCOMPARE(store.unreadableAtStart()->error, error);
        QVERIFY(store.unreadableAtStart()->keptAs.isEmpty());
        QVERIFY(!store.unreadableAtStart()->copyError.isEmpty());

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Not saving rules: "_s));
        store.setFallback(Destination::browser(u"firefox"_s));
        QCOMPARE(store.fallback(), Destination::ask()); // not written: not in force
        const QFileInfo after(m_path);
        QCOMPARE(after.isFile(), kind == u"large"_s);
        QCOMPARE(after.isSymLink(), kind == u"zero"_s);
        if (kind == u"large"_s)
            QCOMPARE(after.size(), qint64(65) * 1024 * 1024);
        QVERIFY(QDir(m_directory->path()).entryList({u"rules.json.*"_s}).isEmpty());
    }

    // A copy that cannot be written (the disk is full, say: here a file size limit) leaves the file untouched
    // for as long as it stays unreadable; the refusal is reported once.
    void unreadableFileThatCannotBeKeptAsideIsNeverReplaced()
    {
        const QByteArray broken = "{\"rules\": [" + QByteArray(64 * 1024, ' ');
        TestFiles::write(m_path, broken);
        rlimit original{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &original), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = original;
        limited.rlim_cur = 16 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        const auto restore = qScopeGuard([&] {
            ::setrlimit(RLIMIT_FSIZE, &original);
            std::signal(SIGXFSZ, previousHandler);
        });

        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"nor copied aside"_s));
        RuleStore store(m_path);
        QVERIFY(!store.unreadableAtStart()->copyError.isEmpty());
        QSignalSpy found(&store, &RuleStore::unreadableFileFound);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Not saving rules: "_s));
        store.setFallback(Destination::browser(u"firefox"_s));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Not saving rules: "_s));
        const Result<void> added = store.edit([](RulesDocument& document) -> Result<void> {
            document.rules.append(hostRule(u"new.example"_s));
            return {};
        });
        QVERIFY(!added);
        QVERIFY2(added.error().contains(u"nor kept aside"_s), qPrintable(added.error()));
        QCOMPARE(TestFiles::read(m_path), broken);
        QVERIFY(store.rules().isEmpty());
        QCOMPARE(store.fallback(), Destination::ask());
        QCOMPARE(found.size(), 0); // told at start-up already
        QVERIFY(QDir(m_directory->path()).entryList({u"rules.json.unreadable-*"_s}).isEmpty());

        // The refused changes were never in force: once the file is mended, it is taken over as it is, as soon as
        // the store hears of it, and the next change is made to it.
        store.startWatching();
        TestFiles::writeAtomicallyAsAnotherProgram(m_path, documentWith({hostRule(u"mended.example"_s)}));
        QTRY_COMPARE(patternsOf(store.rules()), QStringList{u"mended.example"_s});
        store.add(hostRule(u"newer.example"_s));
        const QStringList all{u"mended.example"_s, u"newer.example"_s};
        QCOMPARE(savedPatterns(), all);
        QCOMPARE(patternsOf(store.rules()), all);
    }

    // QSaveFile's temporary files, when the saving process was killed: removed once they are a minute old.
    void leftoversOfInterruptedSavesAreRemoved()
    {
        TestFiles::write(m_path, documentWith({hostRule(u"kept.example"_s)}));
        const QStringList removed{u"rules.json.QwErTy"_s, u"rules.json.ABCDEF"_s};
        const QStringList kept{u"rules.json.backup"_s,
                               u"rules.json.AbCdEf1"_s,
                               u"rules.json.AbCdE"_s,
                               u"rules.json.Ab-dEf"_s,
                               u"rules.jsonXAbCdEf"_s,
                               u"other.json.AbCdEf"_s,
                               u"rules.json.unreadable-20260101T000000Z"_s};
        const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-61);
        for (const QString& name : removed + kept) {
            QFile file(m_directory->filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        TestFiles::write(m_directory->filePath(u"rules.json.FrEsHh"_s), "a save going on right now");

        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"rules\\.json\\.QwErTy, left by an interrupted save"_s));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"rules\\.json\\.ABCDEF, left by an interrupted save"_s));
        RuleStore store(m_path);
        QCOMPARE(patternsOf(store.rules()), QStringList{u"kept.example"_s});
        QStringList left = QDir(m_directory->path()).entryList(QDir::Files);
        left.sort();
        QStringList expected = kept + QStringList{u"rules.json"_s, u"rules.json.FrEsHh"_s};
        expected.sort();
        QCOMPARE(left, expected);
    }

    // Dotfile set-ups link rules.json to a file kept elsewhere: edits there are taken over, and saves go
    // through the link, which stays a link.
    void followsALinkedRulesFile()
    {
        QVERIFY(QDir(m_directory->path()).mkdir(u"dotfiles"_s));
        const QString target = m_directory->filePath(u"dotfiles/linkherd.json"_s);
        TestFiles::write(target, documentWith({hostRule(u"old.example"_s)}));
        QVERIFY(QFile::link(u"dotfiles/linkherd.json"_s, m_path));
        RuleStore store(m_path);
        store.startWatching();

        TestFiles::writeAtomicallyAsAnotherProgram(target, documentWith({hostRule(u"edited.example"_s)}));
        QTRY_COMPARE(patternsOf(store.rules()), QStringList{u"edited.example"_s});

        store.add(hostRule(u"added.example"_s));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(patternsOf(RulesCodec::decode(TestFiles::read(target))->rules),
                 QStringList({u"edited.example"_s, u"added.example"_s}));
        QCOMPARE(QDir(m_directory->path()).entryList(QDir::Files), QStringList{u"rules.json"_s});
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
        QCOMPARE(patternsOf(store.rules()), order);
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
        QCOMPARE(patternsOf(store.rules()), QStringList{u"kept.example"_s});

        // Text without a rewriter keeps the current one (an outside edit would reset it).
        QVERIFY(store.apply(QString::fromUtf8(documentWith({hostRule(u"new.example"_s)}))));
        QCOMPARE(patternsOf(store.rules()), QStringList{u"new.example"_s});
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
        QCOMPARE(patternsOf(store.rules()), QStringList{u"new.example"_s});
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
        QTRY_COMPARE(patternsOf(store.rules()), QStringList{u"edited.example"_s});
    }

    // A broken outside edit leaves the rules in force; it is reported once, and kept aside before the next change
    // made in Linkherd replaces it.
    void keepsItsRulesWhenAnOutsideSaveIsBroken()
    {
        TestFiles::write(m_path, documentWith({hostRule(u"good.example"_s)}));
        RuleStore store(m_path);
        store.startWatching();
        QSignalSpy rulesChanged(&store, &RuleStore::rulesChanged);
        QSignalSpy found(&store, &RuleStore::unreadableFileFound);

        const QByteArray broken = "{\"fallback\": {\"ask\": {}}, \"rules\": [,], \"version\": 1}";
        QTest::ignoreMessage(QtCriticalMsg, "Ignoring an unreadable rules file; keeping the rules already loaded");
        TestFiles::writeAtomicallyAsAnotherProgram(m_path, broken);
        QTRY_COMPARE(found.size(), 1);
        TestFiles::write(m_path, broken); // saved again, unchanged: not reported again
        settle();
        QCOMPARE(found.size(), 1);
        const auto outsideEdit = found.takeFirst().front().value<UnreadableRules>();
        QCOMPARE(outsideEdit.occasion, UnreadableRules::Occasion::outsideEdit);
        QCOMPARE(outsideEdit.path, m_path);
        QCOMPARE(outsideEdit.error, RulesCodec::decode(broken).error());
        QCOMPARE(rulesChanged.size(), 0);
        QCOMPARE(patternsOf(store.rules()), QStringList{u"good.example"_s});
        QCOMPARE(TestFiles::read(m_path), broken);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"kept as .*rules\\.json\\.unreadable-"_s));
        store.add(hostRule(u"more.example"_s));
        QCOMPARE(savedPatterns(), QStringList({u"good.example"_s, u"more.example"_s}));
        const QStringList copies = QDir(m_directory->path()).entryList({u"rules.json.unreadable-*"_s});
        QCOMPARE(copies.size(), 1);
        QCOMPARE(TestFiles::read(m_directory->filePath(copies.front())), broken);
        QCOMPARE(found.size(), 1);
        const auto beforeSave = found.takeFirst().front().value<UnreadableRules>();
        QCOMPARE(beforeSave.occasion, UnreadableRules::Occasion::save);
        QCOMPARE(beforeSave.keptAs, m_directory->filePath(copies.front()));

        store.add(hostRule(u"most.example"_s)); // nothing more to keep
        settle();
        QCOMPARE(QDir(m_directory->path()).entryList({u"rules.json.unreadable-*"_s}).size(), 1);
        QCOMPARE(found.size(), 0);
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
        QCOMPARE(patternsOf(store.rules()), QStringList{u"a.example"_s});
        store.add(hostRule(u"b.example"_s));
        QCOMPARE(savedPatterns(), QStringList({u"a.example"_s, u"b.example"_s}));
    }

    // A change is made to the file as it is now: an outside edit not taken over yet (no watching here, or the
    // notification still on its way) is taken over first, every kind of change applied to it.
    void changesApplyToAnOutsideEditNotTakenOverYet_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("add") << 0 << QStringList{u"mine"_s, u"theirs"_s, u"added"_s};
        QTest::newRow("replace") << 1 << QStringList{u"mine, edited"_s, u"theirs"_s};
        QTest::newRow("delete") << 2 << QStringList{u"theirs"_s};
        QTest::newRow("move") << 3 << QStringList{u"theirs"_s, u"mine"_s};
        QTest::newRow("fallback") << 4 << QStringList{u"mine"_s, u"theirs"_s};
    }

    void changesApplyToAnOutsideEditNotTakenOverYet()
    {
        QFETCH(int, change);
        QFETCH(QStringList, expected);
        const Rule mine = hostRule(u"mine"_s);
        TestFiles::write(m_path, documentWith({mine}));
        RuleStore store(m_path);
        int externalChanges = 0;
        store.onExternalChange = [&] { ++externalChanges; };
        TestFiles::write(m_path, documentWith({mine, hostRule(u"theirs"_s)}));

        Rule edited = mine;
        edited.pattern = u"mine, edited"_s;
        switch (change) {
        case 0:
            store.add(hostRule(u"added"_s));
            break;
        case 1:
            store.replace(edited);
            break;
        case 2:
            store.deleteRules({mine.id});
            break;
        case 3:
            store.move({0}, 1);
            break;
        case 4:
            store.setFallback(Destination::browser(u"chromium"_s));
            break;
        }
        QCOMPARE(savedPatterns(), expected);
        QCOMPARE(patternsOf(store.rules()), expected);
        QCOMPARE(externalChanges, 1);
        if (change == 4)
            QCOMPARE(store.fallback(), Destination::browser(u"chromium"_s));
    }

    // While another writer holds the lock the change is in force, and is written onto that writer's edit once
    // the lock is free.
    void aChangeWaitsForAnotherWritersLock()
    {
        RuleStore store(m_path);
        store.startWatching();
        std::optional<Result<FileLock, FileLock::Error>> held = RulesFile::lock(m_path, 0ms);
        QVERIFY(*held);
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"locked by another program"_s));
        store.add(hostRule(u"mine"_s));
        QCOMPARE(patternsOf(store.rules()), QStringList{u"mine"_s});
        QVERIFY(!QFile::exists(m_path));
        TestFiles::writeAtomicallyAsAnotherProgram(m_path, documentWith({hostRule(u"theirs"_s)}));
        settle();
        QCOMPARE(patternsOf(store.rules()), QStringList{u"mine"_s});
        held.reset();
        QTRY_COMPARE(savedPatterns(), QStringList({u"theirs"_s, u"mine"_s}));
        QCOMPARE(patternsOf(store.rules()), QStringList({u"theirs"_s, u"mine"_s}));
    }

    // An edit the file does not take fails to its caller and changes nothing, in memory or on disk; while another
    // writer holds the lock, one that could never be written is refused at once instead of waiting.
    void anEditThatCannotBeWrittenChangesNothing_data()
    {
        QTest::addColumn<bool>("folderMissing");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("error");

        const QString tooLong = u"The pattern of rule 2 has 65537 characters"_s;
        QTest::newRow("folder missing") << true << false << QString();
        QTest::newRow("pattern too long") << false << false << tooLong;
        QTest::newRow("pattern too long, lock busy") << false << true << tooLong;
    }

    void anEditThatCannotBeWrittenChangesNothing()
    {
        QFETCH(bool, folderMissing);
        QFETCH(bool, locked);
        QFETCH(QString, error);

        const QString path = folderMissing ? m_directory->filePath(u"no-such-folder/rules.json"_s) : m_path;
        const QByteArray before = folderMissing ? QByteArray() : documentWith({hostRule(u"kept.example"_s)});
        if (!folderMissing)
            TestFiles::write(path, before);
        RuleStore store(path);
        const QList<Rule> rules = store.rules();
        QSignalSpy changed(&store, &RuleStore::rulesChanged);
        std::optional<Result<FileLock, FileLock::Error>> held;
        if (locked)
            held = RulesFile::lock(path, 0ms);
        else
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Could not save rules: "_s));
        const QString pattern = folderMissing ? u"new.example"_s : QString(RulesFile::fieldLimit + 1, u'a');
        const Result<void> added = store.edit([&pattern](RulesDocument& document) -> Result<void> {
            document.rules.append(hostRule(pattern));
            return {};
        });
        QVERIFY(!added);
        QVERIFY2(added.error().contains(error), qPrintable(added.error()));
        QCOMPARE(store.rules(), rules);
        QCOMPARE(changed.size(), 0);
        QVERIFY(!store.hasUnwrittenChanges());
        QCOMPARE(QFile::exists(path) ? TestFiles::read(path) : QByteArray(), before);
    }

    // Every writer of rules.json goes through RulesFile::write: the tool's first import on a fresh account has no
    // linkherd folder yet, and the file must be exactly what the codec writes, whatever the writer.
    void rulesFileWritesTheDefaultFileIntoAFolderItCreates()
    {
        const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&configHome] { qputenv("XDG_CONFIG_HOME", configHome); });
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_directory->filePath(u"fresh/config"_s)));
        QCOMPARE(RulesFile::defaultPath(), m_directory->filePath(u"fresh/config/linkherd/rules.json"_s));

        RulesDocument document;
        document.rules = {hostRule(u"a.example"_s)};
        const Result<QByteArray> written = RulesFile::write(RulesFile::defaultPath(), document);
        QVERIFY2(written, qPrintable(written.error()));
        QCOMPARE(*written, RulesCodec::encode(document));
        QCOMPARE(TestFiles::read(RulesFile::defaultPath()), *written);
    }

private:
    QStringList savedPatterns() const { return patternsOf(RulesCodec::decode(TestFiles::read(m_path))->rules); }

    std::optional<QTemporaryDir> m_directory;
    QString m_path;
};

QTEST_GUILESS_MAIN(RuleStoreTest)
#include "tst_rule_store.moc"
