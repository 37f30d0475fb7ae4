#include "base/bounded_file.h"
#include "routing/rules_codec.h"
#include "routing/rules_file.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

Result<void> appendRule(RulesDocument& document, const QString& pattern)
{
    document.rules.append(hostRule(pattern));
    return {};
}

} // namespace

class RulesFileTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_path = m_directory->filePath(u"rules.json"_s);
    }

    // Writers that each read, change and write the file at the same time: every one of their changes is kept.
    void concurrentEditsAreAllKept()
    {
        constexpr int writers = 4;
        constexpr int editsEach = 15;
        std::vector<std::thread> threads;
        std::atomic<int> failures = 0;
        for (int writer = 0; writer < writers; ++writer) {
            threads.emplace_back([&, writer] {
                for (int edit = 0; edit < editsEach; ++edit) {
                    const QString pattern = u"%1-%2.example"_s.arg(writer).arg(edit);
                    if (!RulesFile::edit(m_path,
                                         [&](RulesDocument& document) { return appendRule(document, pattern); }))
                        ++failures;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(failures.load(), 0);
        const Result<RulesDocument> saved = RulesCodec::decode(TestFiles::read(m_path));
        QVERIFY(saved);
        QCOMPARE(saved->rules.size(), writers * editsEach);
    }

    // Nothing is written when the file cannot be read, when the change refuses, or when the lock stays taken.
    void refusedEditsWriteNothing()
    {
        const QByteArray broken = "{\"rules\": [,]}";
        TestFiles::write(m_path, broken);
        const auto append = [](RulesDocument& document) { return appendRule(document, u"a.example"_s); };
        const Result<QByteArray> unreadable = RulesFile::edit(m_path, append);
        QVERIFY(!unreadable);
        QVERIFY2(unreadable.error().startsWith(m_path + u": "_s), qPrintable(unreadable.error()));
        QCOMPARE(TestFiles::read(m_path), broken);

        TestFiles::write(m_path, RulesCodec::encode(RulesDocument()));
        const Result<QByteArray> refused =
            RulesFile::edit(m_path, [](RulesDocument&) -> Result<void> { return Failure{u"No."_s}; });
        QVERIFY(!refused);
        QCOMPARE(refused.error(), u"No."_s);
        QCOMPARE(TestFiles::read(m_path), RulesCodec::encode(RulesDocument()));

        const Result<FileLock, FileLock::Error> held = RulesFile::lock(m_path, 0ms);
        QVERIFY(held);
        std::optional<Result<QByteArray>> blocked;
        std::thread([&] { blocked.emplace(RulesFile::edit(m_path, append, 50ms)); }).join();
        QVERIFY(!*blocked);
        QVERIFY(blocked->error().contains(u"held by another program"_s));
        QCOMPARE(TestFiles::read(m_path), RulesCodec::encode(RulesDocument()));
    }

    // Rules too large to be read back (added a piece at a time, by a script), or one rule larger than any real
    // rule, are refused, not written.
    void rulesTooLargeAreNotWritten_data()
    {
        QTest::addColumn<qsizetype>("rules");
        QTest::addColumn<qsizetype>("patternSize");
        QTest::addColumn<QString>("error");

        const qsizetype limit = RulesFile::fieldLimit;
        QTest::newRow("too large to read back")
            << BoundedFile::rulesFileLimit / limit + 1 << limit
            << u"The rules would take 65 MiB, more than Linkherd reads (64 MiB); nothing was written"_s;
        QTest::newRow("a pattern past the limit")
            << qsizetype(1) << limit + 1
            << u"The pattern of rule 1 has 65537 characters; a rule's pattern, browser, profile and source "
               u"applications may have at most 65536 each; nothing was written"_s;
    }

    void rulesTooLargeAreNotWritten()
    {
        QFETCH(qsizetype, rules);
        QFETCH(qsizetype, patternSize);
        QFETCH(QString, error);

        TestFiles::write(m_path, RulesCodec::encode(RulesDocument()));
        const QString pattern(patternSize, u'a'); // shared by every rule
        const Result<QByteArray> tooLarge = RulesFile::edit(m_path, [&](RulesDocument& document) -> Result<void> {
            for (qsizetype count = 0; count < rules; ++count)
                document.rules.append(hostRule(pattern));
            return {};
        });
        QVERIFY(!tooLarge);
        QCOMPARE(tooLarge.error(), m_path + u": "_s + error);
        QCOMPARE(TestFiles::read(m_path), RulesCodec::encode(RulesDocument()));
    }

    // The lock goes with the file the saves replace: a link in rules.json's place is locked where it points.
    void theLockLiesBesideTheLinkedFile()
    {
        QVERIFY(QDir(m_directory->path()).mkdir(u"dotfiles"_s));
        const QString real = m_directory->filePath(u"dotfiles/rules.json"_s);
        QVERIFY(QFile::link(real, m_path));
        QCOMPARE(RulesFile::lockPath(m_path), m_directory->filePath(u"dotfiles/.rules.json.lock"_s));
        QVERIFY(RulesFile::edit(m_path, [](RulesDocument& document) { return appendRule(document, u"a"_s); }));
        QVERIFY(QFileInfo(m_path).isSymLink());
        QCOMPARE(RulesCodec::decode(TestFiles::read(real))->rules.size(), 1);
    }

    // A writer killed between naming its save and renaming it over the file leaves the save behind; the next
    // writer holding the lock removes it once it is a moment old, and leaves a save in progress alone.
    void theLockHolderRemovesAKilledWritersSave()
    {
        const QString killed = m_path + u".kIlLeD"_s;
        const QString recent = m_path + u".rEcEnT"_s;
        TestFiles::write(killed, "{");
        TestFiles::write(recent, "{");
        QFile old(killed);
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3), QFileDevice::FileModificationTime));
        old.close();
        QVERIFY(RulesFile::edit(m_path, [](RulesDocument& document) { return appendRule(document, u"a"_s); }));
        QVERIFY(!QFile::exists(killed));
        QVERIFY(QFile::exists(recent));
    }

private:
    std::optional<QTemporaryDir> m_directory;
    QString m_path;
};

QTEST_GUILESS_MAIN(RulesFileTest)
#include "tst_rules_file.moc"
