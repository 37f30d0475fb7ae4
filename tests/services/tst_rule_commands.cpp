#include "routing/rules_codec.h"
#include "services/rule_commands.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using Fields = RuleCommands::RuleFields;
using Kind = RuleCommands::Error::Kind;

} // namespace

class RuleCommandsTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_path = m_directory->filePath(u"rules.json"_s);
    }

    // On the rules file; on the resident's store the commands decide the same, and tst_scripting_bus adds through
    // them there.
    void addTakesDefaultsAtAClampedPosition()
    {
        RuleCommands commands = RuleCommands::onFile(m_path);

        const auto added = commands.add(Fields{.pattern = u"b.example"_s});
        Rule expected = hostRule(u"b.example"_s);
        expected.id = added->id;
        QCOMPARE(*added, expected);
        QVERIFY(commands.add(Fields{.pattern = u"c.example"_s}, 99));
        QVERIFY(commands.add(Fields{.pattern = u"a.example"_s}, -7));
        QVERIFY(commands.add(Fields{.pattern = u"d.example"_s}, -1));
        const QStringList order{u"a.example"_s, u"b.example"_s, u"c.example"_s, u"d.example"_s};
        QCOMPARE(patternsOf(*commands.list()), order);
        QCOMPARE(patternsOf(RulesCodec::decode(TestFiles::read(m_path))->rules), order);

        for (const Fields& invalid : {Fields{.pattern = u" \n"_s}, Fields()}) {
            const auto refused = commands.add(invalid);
            QVERIFY(!refused);
            QCOMPARE(refused.error().kind, Kind::invalidRule);
            QCOMPARE(refused.error().text, u"The pattern is empty."_s);
        }
        const auto refused = commands.add(Fields{.match = Rule::Match::regex, .pattern = u"(unclosed"_s});
        QVERIFY(!refused);
        QCOMPARE(refused.error().text,
                 u"Not a valid regular expression: parentheses do not pair up at character 10."_s);
        QCOMPARE(patternsOf(*commands.list()), order);
    }

    // A browser on an ask rule has no profile; a profile is set on it; "" turns it back into an ask rule without
    // the profile. A change that would leave the rule invalid, or a profile on a rule that asks, leaves it as
    // it was.
    void updateFollowsTheDestinationRules()
    {
        RuleCommands commands = RuleCommands::onFile(m_path);
        const QString id = RuleCommands::idText(
            commands.add(Fields{.match = Rule::Match::regex, .pattern = u"example\\.(com|org)"_s})->id);

        const Fields profile{.profile = u"Profile 1"_s};
        QCOMPARE(commands.update(id, profile).error().kind, Kind::invalidRule);
        QCOMPARE(commands.update(id, Fields{.browser = u"chromium"_s})->destination,
                 Destination::browser(u"chromium"_s));
        QCOMPARE(commands.update(id, profile)->destination, Destination::browser(u"chromium"_s, u"Profile 1"_s));
        QCOMPARE(commands.update(id, Fields{.browser = u"google-chrome"_s})->destination,
                 Destination::browser(u"google-chrome"_s, u"Profile 1"_s));

        QCOMPARE(commands.update(id, Fields{.pattern = u"example\\.(com"_s}).error().kind, Kind::invalidRule);
        QCOMPARE(commands.get(id)->pattern, u"example\\.(com|org)"_s);

        QVERIFY(commands.update(id, Fields{.browser = QString()})->destination.isAsk());
        QCOMPARE(RulesCodec::decode(TestFiles::read(m_path))->rules.front().destination, Destination::ask());
    }

    void idsByUniquePrefix_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<int>("found"); // index, or -1 for no such rule, -2 for a wrong request
        QTest::newRow("whole id") << u"0AB1C2D3-0000-4000-8000-000000000001"_s << 0;
        QTest::newRow("unique prefix, lower case") << u"0ab2"_s << 1;
        QTest::newRow("long shared prefix") << u"0AB1C2D3-0000-4000-8000-00000000000"_s << -1;
        QTest::newRow("shared prefix") << u"0AB1"_s << -1;
        QTest::newRow("too short") << u"0AB"_s << -2;
        QTest::newRow("nothing") << u"FFFF"_s << -1;
    }

    void idsByUniquePrefix()
    {
        QFETCH(QString, given);
        QFETCH(int, found);
        RulesDocument document;
        for (const char* id : {"0AB1C2D3-0000-4000-8000-000000000001", "0AB2C2D3-0000-4000-8000-000000000002",
                               "0AB1C2D3-0000-4000-8000-000000000003"}) {
            document.rules.append(hostRule(u"x"_s));
            document.rules.last().id = QUuid::fromString(QLatin1StringView(id));
        }
        const auto index = RuleCommands::find(document, given);
        if (found >= 0) {
            QCOMPARE(*index, found);
        } else {
            QCOMPARE(index.error().kind, found == -1 ? Kind::noSuchRule : Kind::invalidArgument);
        }
    }

    // A move past either end goes to that end; a removal of several ids, one of which names nothing, removes none.
    void moveAndRemove()
    {
        RuleCommands commands = RuleCommands::onFile(m_path);
        QStringList ids;
        for (const QString& pattern : {u"a.example"_s, u"b.example"_s, u"c.example"_s})
            ids.append(RuleCommands::idText(commands.add(Fields{.pattern = pattern})->id));
        QVERIFY(commands.move(ids[0], 10));
        QCOMPARE(patternsOf(*commands.list()), QStringList({u"b.example"_s, u"c.example"_s, u"a.example"_s}));
        QVERIFY(commands.move(ids[0], -3));
        QCOMPARE(patternsOf(*commands.list()), QStringList({u"a.example"_s, u"b.example"_s, u"c.example"_s}));
        QCOMPARE(commands.move(u"FFFFFFFF"_s, 0).error().kind, Kind::noSuchRule);

        QVERIFY(commands.removeAt(3));
        QVERIFY(commands.removeAt(-1));
        QCOMPARE(commands.list()->size(), 3);
        QCOMPARE(commands.remove({ids[1]})->first().pattern, u"b.example"_s);
        QCOMPARE(commands.remove({ids[1]}).error().kind, Kind::noSuchRule);
        // One id that names nothing removes none of the others.
        QCOMPARE(commands.remove({ids[0], ids[1]}).error().kind, Kind::noSuchRule);
        QCOMPARE(patternsOf(*commands.list()), QStringList({u"a.example"_s, u"c.example"_s}));
    }

    // A file that cannot be read is reported and left as it is.
    void unreadableFileIsNotEdited()
    {
        TestFiles::write(m_path, "{");
        RuleCommands commands = RuleCommands::onFile(m_path);
        const auto refused = commands.add(Fields{.pattern = u"a.example"_s});
        QCOMPARE(refused.error().kind, Kind::notDone);
        QVERIFY(refused.error().text.startsWith(m_path + u": "_s));
        QCOMPARE(TestFiles::read(m_path), QByteArray("{"));
    }

private:
    std::optional<QTemporaryDir> m_directory;
    QString m_path;
};

QTEST_GUILESS_MAIN(RuleCommandsTest)
#include "tst_rule_commands.moc"
