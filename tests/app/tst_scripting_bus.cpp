#include "app/scripting_bus.h"
#include "gui/settings/automation_settings.h"
#include "routing/rule_store.h"
#include "scripting_proxy.h"
#include "services/scripting_backend.h"
#include "support/test_files.h"

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;
using ScriptingProxy = OrgLinkherdLinkherdScriptingInterface;

namespace {

const QString serviceName = u"org.linkherd.Linkherd"_s;
const QString objectPath = u"/org/linkherd/Linkherd"_s;
const QString scriptingInterface = QString::fromLatin1(ScriptingProxy::staticInterfaceName());
const QString invalidArgs = u"org.freedesktop.DBus.Error.InvalidArgs"_s;
const QString invalidRule = u"org.linkherd.Linkherd.Error.InvalidRule"_s;
const QString noSuchRule = u"org.linkherd.Linkherd.Error.NoSuchRule"_s;
const QString notSaved = u"org.linkherd.Linkherd.Error.NotSaved"_s;
const QString unknownID = u"00000000-0000-0000-0000-000000000000"_s;
const QByteArray noRules = R"({"fallback": {"browser": {"bundleID": "fake"}}, "version": 1, "rules": []})";

// The resident as far as the interface uses it: rules in a file of the test's, browsers and the default-browser
// state as the test sets them, and every link handed over recorded with its caller.
class RecordingBackend final : public ScriptingBackend {
public:
    explicit RecordingBackend(const QString& rulesFile) : m_store(rulesFile) { m_store.startWatching(); }

    RuleStore& store() override { return m_store; }
    QStringList installedBrowsers() const override { return browsers; }
    bool isDefaultBrowser() const override { return isDefault; }
    void route(const QString& url, const QString& caller) override { routed.append({url, caller}); }

    QStringList browsers;
    bool isDefault = false;
    QList<std::pair<QString, QString>> routed;

private:
    RuleStore m_store;
};

// The answer to a call, waited for on the event loop: the adaptor answers on this thread, so a blocking wait would
// wait for itself.
template <typename Reply>
Reply answered(Reply reply)
{
    QDBusPendingCallWatcher watcher(reply);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished())
        loop.exec();
    return reply;
}

} // namespace

// org.linkherd.Linkherd.Scripting in process: the adaptor over a rules file in a temporary folder, offered on the
// session bus of the test (it runs under dbus-run-session) and called from a second connection through the proxy
// made from the installed interface description, as a script's would be.
class ScriptingBusTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), "run under dbus-run-session");
        qDBusRegisterMetaType<QList<QVariantMap>>();
        QVERIFY(m_client.isConnected());
        QVERIFY(QDBusConnection::sessionBus().registerService(serviceName));
    }

    void cleanup()
    {
        m_changes.reset();
        m_proxy.reset();
        QDBusConnection::sessionBus().unregisterObject(objectPath);
        m_object.reset();
        m_backend.reset();
        m_folder.reset();
    }

    // The adaptor offers by name what the description the proxy is made from holds, no more and no less; the calls
    // through the proxy below hold their arguments.
    void offersWhatItsDescriptionSays()
    {
        start();
        QDBusMessage call = QDBusMessage::createMethodCall(serviceName, objectPath,
                                                           u"org.freedesktop.DBus.Introspectable"_s, u"Introspect"_s);
        const QString offered = answered(m_client.asyncCall(call)).reply().arguments().value(0).toString();
        QVERIFY(!memberNames(offered).isEmpty());
        QCOMPARE(memberNames(offered),
                 memberNames(QString::fromUtf8(TestFiles::read(QStringLiteral(LINKHERD_SCRIPTING_DESCRIPTION)))));
    }

    // Every key reads back as given; a rule that gives none reads back with the defaults in the same words, and a
    // whole dictionary read back is a change that keeps its id.
    void rulesReadBackAsGiven()
    {
        start();
        const QVariantMap given{{u"enabled"_s, false},
                                {u"match"_s, u"urlContains"_s},
                                {u"pattern"_s, u"a.example"_s},
                                {u"browser"_s, u"fake"_s},
                                {u"profile"_s, u"Profile 1"_s},
                                {u"window"_s, u"private"_s},
                                {u"sourceApps"_s, QStringList{u"x.y"_s}}};
        const QString id = added(given);
        QVariantMap expected = given;
        expected.insert(u"id"_s, id);
        QCOMPARE(rule(id), expected);
        const QString plain = added({{u"pattern"_s, u"b.example"_s}}, 0);
        QCOMPARE(rule(plain), (QVariantMap{{u"id"_s, plain},
                                           {u"enabled"_s, true},
                                           {u"match"_s, u"host"_s},
                                           {u"pattern"_s, u"b.example"_s},
                                           {u"browser"_s, QString()},
                                           {u"profile"_s, QString()},
                                           {u"window"_s, u"usual"_s},
                                           {u"sourceApps"_s, QStringList()}}));
        QCOMPARE(ruleIds(), (QStringList{plain, id}));

        expected[u"enabled"_s] = true;
        expected[u"id"_s] = id.toLower();
        QVERIFY(succeeded(m_proxy->UpdateRule(id, expected)));
        expected[u"id"_s] = id;
        QCOMPARE(rule(id), expected);
    }

    // A refused change is an error with the name and text that say why, and nothing changes: not the rules, not
    // the file, and no RulesChanged.
    void refusedChangesChangeNothing_data()
    {
        QTest::addColumn<QString>("target"); // "add"; or the rule UpdateRule changes: "first", "unknown"
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("text"); // what the message says

        const auto with = [](const QString& key, const QVariant& value) {
            return QVariantMap{{u"pattern"_s, u"e.example"_s}, {key, value}};
        };
        const QString ownID = u"A rule's id is its own: \"id\" cannot be given here."_s;
        QTest::newRow("unknown key") << u"add"_s << with(u"colour"_s, u"red"_s) << invalidArgs
                                     << u"A rule has no key \"colour\"."_s;
        QTest::newRow("enabled as text") << u"add"_s << with(u"enabled"_s, u"yes"_s) << invalidArgs
                                         << u"\"enabled\" has the wrong type (QString)."_s;
        QTest::newRow("pattern as a number") << u"first"_s << QVariantMap{{u"pattern"_s, 7}} << invalidArgs
                                             << u"\"pattern\" has the wrong type (int)."_s;
        QTest::newRow("source applications as text") << u"add"_s << with(u"sourceApps"_s, u"x.y"_s) << invalidArgs
                                                     << u"\"sourceApps\" has the wrong type (QString)."_s;
        QTest::newRow("unknown match") << u"add"_s << with(u"match"_s, u"domain"_s) << invalidArgs
                                       << u"\"match\" is \"host\", \"urlContains\" or \"regex\"."_s;
        QTest::newRow("unknown window") << u"add"_s << with(u"window"_s, u"incognito"_s) << invalidArgs
                                        << u"\"window\" is \"usual\", \"new\" or \"private\"."_s;
        QTest::newRow("an id for a new rule") << u"add"_s << with(u"id"_s, unknownID) << invalidArgs << ownID;
        QTest::newRow("the id of another rule")
            << u"first"_s << QVariantMap{{u"id"_s, u"second"_s}} << invalidArgs << ownID;
        QTest::newRow("the id as a number") << u"first"_s << QVariantMap{{u"id"_s, 7}} << invalidArgs << ownID;
        QTest::newRow("invalid rule") << u"add"_s << QVariantMap{{u"match"_s, u"regex"_s}, {u"pattern"_s, u"[a"_s}}
                                      << invalidRule << u"Not a valid regular expression"_s;
        QTest::newRow("not written") << u"first"_s << QVariantMap{{u"pattern"_s, QString(65537, u'e')}} << notSaved
                                     << u"The pattern of rule 1 has 65537 characters"_s;
        QTest::newRow("no such rule") << u"unknown"_s << QVariantMap() << noSuchRule << QString();
    }

    void refusedChangesChangeNothing()
    {
        QFETCH(QString, target);
        QFETCH(QVariantMap, fields);
        QFETCH(QString, error);
        QFETCH(QString, text);
        start();
        const QHash<QString, QString> ids{{u"first"_s, added({{u"pattern"_s, u"a.example"_s}})},
                                          {u"second"_s, added({{u"pattern"_s, u"b.example"_s}})},
                                          {u"unknown"_s, unknownID}};
        // A row names another rule by its key; here it becomes that rule's id.
        if (fields.value(u"id"_s) == u"second"_s)
            fields.insert(u"id"_s, ids[u"second"_s]);
        const QList<QVariantMap> before = answered(m_proxy->GetRules()).value();
        const QByteArray file = TestFiles::read(m_rules);
        m_changes->clear();
        if (error == notSaved)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Could not save rules: "_s));

        const QDBusPendingCall reply = answered(target == u"add"_s ? QDBusPendingCall(m_proxy->AddRule(fields, 0))
                                                                   : m_proxy->UpdateRule(ids[target], fields));
        QCOMPARE(reply.error().name(), error);
        QVERIFY(!reply.error().message().isEmpty());
        QVERIFY2(reply.error().message().contains(text), qPrintable(reply.error().message()));
        QCOMPARE(answered(m_proxy->GetRules()).value(), before);
        QCOMPARE(TestFiles::read(m_rules), file);
        QCOMPARE(m_changes->count(), 0);
    }

    // Each method reaches its rule, by its id in any case; an id that names no rule, or too little of one, is
    // NoSuchRule.
    void removesAndMovesRules()
    {
        start();
        QStringList ids;
        for (const QString& pattern : {u"a.example"_s, u"b.example"_s, u"c.example"_s, u"d.example"_s})
            ids.append(added({{u"pattern"_s, pattern}}));
        QVERIFY(succeeded(m_proxy->MoveRule(ids[0].toLower(), 2)));
        QCOMPARE(ruleIds(), (QStringList{ids[1], ids[2], ids[0], ids[3]}));
        QVERIFY(succeeded(m_proxy->RemoveRuleAt(1)));
        QVERIFY(succeeded(m_proxy->RemoveRule(ids[3].toLower())));
        QCOMPARE(ruleIds(), (QStringList{ids[1], ids[0]}));

        for (const QString& id : {unknownID, ids[0].left(3)}) {
            for (const QDBusPendingCall& refused :
                 {QDBusPendingCall(m_proxy->GetRule(id)), QDBusPendingCall(m_proxy->RemoveRule(id)),
                  QDBusPendingCall(m_proxy->MoveRule(id, 0))})
                QCOMPARE(answered(refused).error().name(), noSuchRule);
        }
        QCOMPARE(ruleIds(), (QStringList{ids[1], ids[0]}));
    }

    // Resolve names the browser, or "ask"; Route hands the link over as given, with the caller's connection; neither
    // takes text that is not a link.
    void resolvesAndRoutes()
    {
        start();
        added({{u"pattern"_s, u"a.example"_s}});
        added({{u"pattern"_s, u"b.example"_s}, {u"browser"_s, u"other"_s}, {u"sourceApps"_s, QStringList{u"x.y"_s}}});
        QCOMPARE(answered(m_proxy->Resolve(u"https://a.example/"_s, QString())).value(), u"ask"_s);
        QCOMPARE(answered(m_proxy->Resolve(u"https://b.example/"_s, u"x.y"_s)).value(), u"other"_s);
        const QDBusPendingCall resolve = answered(m_proxy->Resolve(u"x"_s, QString()));
        const QDBusPendingCall route = answered(m_proxy->Route(u"example.com"_s));
        for (const auto& [reply, method] : {std::pair{resolve, u"resolve"_s}, std::pair{route, u"route"_s}}) {
            QCOMPARE(reply.error().name(), u"org.linkherd.Linkherd.Error.InvalidURL"_s);
            QCOMPARE(reply.error().message(), u"Give %1 a URL, as text."_s.arg(method));
        }
        QVERIFY(m_backend->routed.isEmpty());

        QVERIFY(succeeded(m_proxy->Route(u"https://example.com/?utm_source=a"_s)));
        QCOMPARE(m_backend->routed, (QList<std::pair<QString, QString>>{
                                        {u"https://example.com/?utm_source=a"_s, m_client.baseService()}}));
    }

    // The properties read the rules and the backend; all four come with GetAll.
    void propertiesReadTheRulesAndTheBackend()
    {
        start();
        m_backend->browsers = {u"fake"_s, u"other"_s};
        m_backend->isDefault = true;
        added({{u"pattern"_s, u"a.example"_s}});
        QCOMPARE(property(u"FallbackBrowser"_s), QVariant(u"fake"_s));
        QCOMPARE(property(u"InstalledBrowsers"_s), QVariant(QStringList{u"fake"_s, u"other"_s}));
        QCOMPARE(property(u"IsDefaultBrowser"_s), QVariant(true));
        QCOMPARE(property(u"RuleCount"_s), QVariant(1u));
        const QDBusMessage all = properties(u"GetAll"_s, {scriptingInterface});
        QCOMPARE(qdbus_cast<QVariantMap>(all.arguments().value(0)).keys(),
                 (QStringList{u"FallbackBrowser"_s, u"InstalledBrowsers"_s, u"IsDefaultBrowser"_s, u"RuleCount"_s}));

        QCOMPARE(setProperty(u"FallbackBrowser"_s, u"other"_s).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(u"FallbackBrowser"_s), QVariant(u"other"_s));
        QVERIFY(TestFiles::read(m_rules).contains(R"("bundleID": "other")"));
        QCOMPARE(setProperty(u"FallbackBrowser"_s, QString()).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(u"FallbackBrowser"_s), QVariant(QString()));
    }

    // FallbackBrowser takes a string the rules file takes, and nothing else; the others are read-only.
    void propertyWritesRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("error");
        QTest::newRow("a number") << u"FallbackBrowser"_s << QVariant(5) << invalidArgs;
        QTest::newRow("a list of one") << u"FallbackBrowser"_s << QVariant(QStringList{u"other"_s}) << invalidArgs;
        QTest::newRow("a variant") << u"FallbackBrowser"_s << QVariant::fromValue(QDBusVariant(u"other"_s))
                                   << invalidArgs;
        QTest::newRow("a dictionary") << u"FallbackBrowser"_s << QVariant(QVariantMap{{u"a"_s, 1}}) << invalidArgs;
        QTest::newRow("not written") << u"FallbackBrowser"_s << QVariant(QString(65537, u'x')) << notSaved;
        QTest::newRow("read-only") << u"RuleCount"_s << QVariant(3u)
                                   << u"org.freedesktop.DBus.Error.PropertyReadOnly"_s;
    }

    void propertyWritesRefused()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(QString, error);
        start();
        const QByteArray file = TestFiles::read(m_rules);
        if (error == notSaved)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(u"^Could not save rules: "_s));
        const QDBusMessage reply = setProperty(name, value);
        QCOMPARE(reply.errorName(), error);
        QVERIFY(!reply.errorMessage().isEmpty());
        QCOMPARE(property(u"FallbackBrowser"_s), QVariant(u"fake"_s));
        QCOMPARE(TestFiles::read(m_rules), file);
        QCOMPARE(m_changes->count(), 0);
    }

    // RulesChanged follows every change of the store once, whoever made it: this interface (as a window of the
    // resident, through the store), an editor saving the rules and the fallback together.
    void rulesChangedOncePerChange_data()
    {
        QTest::addColumn<QString>("change");
        for (const char* change : {"UpdateRule", "RemoveRuleAt", "FallbackBrowser", "an editor"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void rulesChangedOncePerChange()
    {
        QFETCH(QString, change);
        start();
        QCOMPARE(m_changes->count(), 0);
        const QString id = added({{u"pattern"_s, u"a.example"_s}});
        QCOMPARE(m_changes->count(), 1);
        m_changes->clear();
        if (change == u"UpdateRule"_s)
            QVERIFY(succeeded(m_proxy->UpdateRule(id, {{u"pattern"_s, u"b.example"_s}, {u"enabled"_s, false}})));
        else if (change == u"RemoveRuleAt"_s)
            QVERIFY(succeeded(m_proxy->RemoveRuleAt(0)));
        else if (change == u"FallbackBrowser"_s)
            QCOMPARE(setProperty(u"FallbackBrowser"_s, u"other"_s).type(), QDBusMessage::ReplyMessage);
        else
            TestFiles::write(m_rules, R"({"fallback": {"browser": {"bundleID": "other"}}, "rules": [], "version": 1})");
        QTRY_COMPARE_WITH_TIMEOUT(m_changes->count(), 1, 10'000);
        // A call answered after the change answers after any further signal it sent.
        ruleIds();
        QCOMPARE(m_changes->count(), 1);
    }

    // The D-Bus examples of the README and of the settings window, run as printed with gdbus: a rule one adds is
    // there.
    void busExamplesWork()
    {
        start();
        QStringList examples = TestFiles::readmeBlocks(u"sh"_s);
        examples.removeIf([](const QString& block) { return !block.startsWith(u"gdbus "_s); });
        QVERIFY(!examples.isEmpty());
        examples.append(AutomationSettings::busExample());
        for (const QString& example : std::as_const(examples)) {
            QProcess shell;
            shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QSignalSpy finished(&shell, &QProcess::finished);
            shell.start(u"sh"_s, {u"-c"_s, example});
            // gdbus waits for the answer, which comes from this thread's event loop.
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20'000);
            const QString out = QString::fromUtf8(shell.readAllStandardOutput());
            QVERIFY2(shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0, qPrintable(example));
            // AddRule comes last where an example has more than one call: its answer is the last line.
            if (example.contains(u".AddRule"_s)) {
                const QString id = out.trimmed().section(u'\n', -1).section(u'\'', 1, 1);
                QVERIFY2(!rule(id).isEmpty(), qPrintable(out));
            }
        }
    }

private:
    // The adaptor over a rules file without rules, offered on the session bus, and the proxy that calls it.
    void start()
    {
        m_folder.emplace();
        QVERIFY(m_folder->isValid());
        m_rules = m_folder->filePath(u"rules.json"_s);
        TestFiles::write(m_rules, noRules);
        m_backend.emplace(m_rules);
        m_object.emplace();
        new ScriptingBus(*m_backend, &*m_object);
        QVERIFY(QDBusConnection::sessionBus().registerObject(objectPath, &*m_object, QDBusConnection::ExportAdaptors));
        m_proxy.emplace(serviceName, objectPath, m_client);
        m_changes.emplace(&*m_proxy, &ScriptingProxy::RulesChanged);
        // Answered once the bus sends the proxy RulesChanged.
        ruleIds();
    }

    static bool succeeded(const QDBusPendingCall& call)
    {
        const QDBusPendingCall reply = answered(call);
        if (reply.isError())
            qWarning("%s: %s", qPrintable(reply.error().name()), qPrintable(reply.error().message()));
        return !reply.isError();
    }

    QString added(const QVariantMap& fields, int position = -1)
    {
        const QDBusPendingReply<QString> id = answered(m_proxy->AddRule(fields, position));
        return succeeded(id) ? id.value() : QString();
    }

    QVariantMap rule(const QString& id) { return answered(m_proxy->GetRule(id)).value(); }

    QStringList ruleIds()
    {
        QStringList ids;
        for (const QVariantMap& rule : answered(m_proxy->GetRules()).value())
            ids.append(rule.value(u"id"_s).toString());
        return ids;
    }

    // 'method Name', 'property Name type="s" access="read"', 'signal Name' of the scripting interface in
    // introspection XML, sorted.
    static QStringList memberNames(const QString& xml)
    {
        const QString interface =
            xml.section(u"<interface name=\""_s + scriptingInterface + u"\">"_s, 1).section(u"</interface>"_s, 0, 0);
        QStringList names;
        for (const QRegularExpressionMatch& member :
             QRegularExpression(u"<(method|property|signal) name=\"(\\w+)\"( type=\"[^\"]+\" access=\"\\w+\")?"_s)
                 .globalMatch(interface))
            names.append(member.captured(1) + u' ' + member.captured(2) + member.captured(3));
        names.sort();
        return names;
    }

    // A method of org.freedesktop.DBus.Properties on the object, from the proxy's connection.
    QDBusMessage properties(const QString& method, const QVariantList& arguments)
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(serviceName, objectPath, u"org.freedesktop.DBus.Properties"_s, method);
        call.setArguments(arguments);
        return answered(m_client.asyncCall(call)).reply();
    }

    QVariant property(const QString& name)
    {
        const QDBusMessage reply = properties(u"Get"_s, {scriptingInterface, name});
        return qdbus_cast<QDBusVariant>(reply.arguments().value(0)).variant();
    }

    QDBusMessage setProperty(const QString& name, const QVariant& value)
    {
        return properties(u"Set"_s, {scriptingInterface, name, QVariant::fromValue(QDBusVariant(value))});
    }

    QDBusConnection m_client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"script"_s);
    std::optional<QTemporaryDir> m_folder;
    QString m_rules;
    std::optional<RecordingBackend> m_backend;
    std::optional<QObject> m_object; // what the adaptor is attached to, as the resident's ApplicationBus
    std::optional<ScriptingProxy> m_proxy;
    std::optional<QSignalSpy> m_changes; // RulesChanged, as the proxy receives it
};

QTEST_GUILESS_MAIN(ScriptingBusTest)
#include "tst_scripting_bus.moc"
