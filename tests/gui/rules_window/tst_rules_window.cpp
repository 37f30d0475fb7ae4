#include "gui/common/destination_picker.h"
#include "gui/common/file_dialog.h"
#include "gui/common/message_box.h"
#include "gui/rules_window/json_editor_dialog.h"
#include "gui/rules_window/rule_editor_dialog.h"
#include "gui/rules_window/rule_row_delegate.h"
#include "gui/rules_window/rules_list_model.h"
#include "gui/rules_window/rules_view.h"
#include "gui/rules_window/rules_window_controller.h"
#include "interchange/finicky_report.h"
#include "platform/file_manager.h"
#include "support/gui/widgets.h"
#include "support/gui/window_fixture.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QAccessible>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>
#include <signal.h>

using namespace Qt::StringLiterals;

namespace {

const Destination b1 = Destination::browser(u"b1"_s);

class RecordingFileManager final : public FileManager {
public:
    QStringList shown;
    void showItem(const QString& path) override { shown.append(path); }
};

} // namespace

class RulesWindowTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace(QList{fakeEntry(u"b1"_s, u"Browser One"_s), fakeEntry(u"b2"_s, u"Browser Two"_s)},
                          QList{fakeEntry(u"org.linkherd.Linkherd"_s, u"Linkherd"_s)});
        QVERIFY(m_desktop->folder.isValid());
        m_desktop->catalog.defaultBrowser = m_desktop->catalog.browsers.first();
        m_files = RecordingFileManager();
        m_controller = makeController();
        MessageBox::reset();
        FileDialog::reset();
    }

    void cleanup()
    {
        // Becoming the default browser takes a turn of the event loop per scheme, and the banner may already show
        // the outcome before the last turn: those turns run while the objects they belong to still exist.
        for (int turn = 0; turn < 8; ++turn)
            QCoreApplication::sendPostedEvents();
        m_controller.reset();
        m_desktop.reset();
    }

    void showReusesOneWindowAndRemembersItsPlace()
    {
        QSignalSpy opened(m_controller.get(), &RulesWindowController::didOpen);
        m_controller->show();
        QWidget* window = m_controller->window();
        QVERIFY(window);
        window->close();
        QVERIFY(!window->isVisible());
        m_controller->show();
        QCOMPARE(m_controller->window(), window);
        QVERIFY(window->isVisible());
        QCOMPARE(opened.count(), 2);

        window->resize(700, 500);
        window->close();
        const std::unique_ptr<RulesWindowController> later = makeController();
        later->show();
        QCOMPARE(later->window()->size(), QSize(700, 500));
    }

    void emptyStateAndDeleteButtonFollowTheList()
    {
        RulesView& view = shownView();
        // A screen reader finds only rows in a list: what is drawn over the empty one is its description.
        const auto description = [&view] {
            return QAccessible::queryAccessibleInterface(view.list())->text(QAccessible::Description);
        };
        QVERIFY(view.emptyState()->isVisible());
        QVERIFY2(description().startsWith(u"No rules yet. Every link goes to the fallback"_s),
                 qPrintable(description()));
        QVERIFY(!view.deleteButton()->isEnabled());

        view.addButton()->click();
        QCOMPARE(qobject_cast<RuleEditorDialog*>(view.openDialog())->windowModality(), Qt::WindowModal);
        finishEditor(view, u"example.com"_s, false);
        QVERIFY(m_desktop->store.rules().isEmpty()); // cancelled: nothing is stored

        Widgets::actionNamed(*std::unique_ptr<QMenu>(view.contextMenuFor({})), u"New Rule…"_s)->trigger();
        finishEditor(view, u"example.com"_s, true);
        QCOMPARE(patternsOf(m_desktop->store.rules()), QStringList{u"example.com"_s});
        QVERIFY(!view.emptyState()->isVisible());
        QCOMPARE(description(), QString());

        const Rule rule = m_desktop->store.rules().first();
        Widgets::actionNamed(*std::unique_ptr<QMenu>(view.contextMenuFor({rule.id})), u"Edit…"_s)->trigger();
        finishEditor(view, u"example.org"_s, true); // the same identifier: replaced in place
        QCOMPARE(patternsOf(m_desktop->store.rules()), QStringList{u"example.org"_s});
        QCOMPARE(m_desktop->store.rules().first().id, rule.id);

        view.select({rule.id});
        QVERIFY(view.deleteButton()->isEnabled());
        view.deleteButton()->click();
        QVERIFY(m_desktop->store.rules().isEmpty());
        QVERIFY(view.emptyState()->isVisible());
        QVERIFY(!view.deleteButton()->isEnabled());
    }

    // Space and a click on the check box switch a rule on or off in the store; a double click edits the rule,
    // except on the check box.
    void toggleAndDoubleClick()
    {
        RulesView& view = viewWithRules({u"A"_s, u"B"_s});
        QListView* list = view.list();
        const QModelIndex second = view.model()->index(1);
        QCOMPARE(second.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QVERIFY(second.flags() & Qt::ItemIsUserCheckable); // what a screen reader offers as "toggle"

        list->setFocus();
        list->setCurrentIndex(second);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(m_desktop->store.rules().at(1).isEnabled, false);
        QCOMPARE(m_desktop->store.rules().at(0).isEnabled, true);

        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(view.model()->index(0));
        const QPoint box = view.delegate()->checkBoxRect(option).center();
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, box);
        QVERIFY(!view.openDialog());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box);
        QCOMPARE(m_desktop->store.rules().at(0).isEnabled, false);

        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, option.rect.center());
        auto* editor = qobject_cast<RuleEditorDialog*>(view.openDialog());
        QVERIFY(editor);
        QCOMPARE(editor->rule(), m_desktop->store.rules().at(0));
        view.editJson(); // one sheet at a time
        QCOMPARE(view.openDialog(), editor);
        editor->reject();
        QTRY_VERIFY(!view.openDialog());
    }

    void keysStartAndEditRules_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("edited"); // -1: a new rule; -2: no editor
        QTest::newRow("Ctrl+N") << QKeyCombination(Qt::ControlModifier, Qt::Key_N) << QList<int>{} << -1;
        QTest::newRow("Return edits the selected rule") << QKeyCombination(Qt::Key_Return) << QList<int>{1} << 1;
        QTest::newRow("Return with two selected") << QKeyCombination(Qt::Key_Return) << QList<int>{0, 1} << -2;
    }

    void keysStartAndEditRules()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(QList<int>, selected);
        QFETCH(int, edited);
        RulesView& view = viewWithRules({u"A"_s, u"B"_s});
        QVERIFY(QTest::qWaitForWindowActive(view.window()));
        QSet<QUuid> ids;
        for (int row : selected)
            ids.insert(m_desktop->store.rules().at(row).id);
        view.select(ids);
        view.list()->setFocus();
        QTest::keyClick(view.list(), key.key(), key.keyboardModifiers());
        auto* editor = qobject_cast<RuleEditorDialog*>(view.openDialog());
        QCOMPARE(editor != nullptr, edited != -2);
        if (edited >= 0)
            QCOMPARE(editor->rule(), m_desktop->store.rules().at(edited));
        if (edited == -1)
            QVERIFY(!view.model()->rowOf(editor->rule().id)); // new, not stored yet
        if (editor)
            editor->reject();
    }

    void rowTexts_data()
    {
        QTest::addColumn<Rule>("rule");
        QTest::addColumn<QString>("sources");
        QTest::addColumn<QString>("missing");
        Rule slack = hostRule(u"example.com"_s, b1);
        slack.sourceDesktopIDs = {u"com.tinyspeck.slackmacgap"_s, u"com.apple.mail"_s};
        QTest::newRow("sources that are not browsers") << slack << u"from slackmacgap, mail"_s << QString();
        QTest::newRow("missing browser") << hostRule(u"example.com"_s, Destination::browser(u"com.google.Chrome"_s))
                                         << QString()
                                         << u"Chrome is not installed. Links matching this rule go to the fallback "
                                            u"instead."_s;
        QTest::newRow("ask is never missing")
            << hostRule(u"example.com"_s, Destination::ask()) << QString() << QString();
    }

    void rowTexts()
    {
        QFETCH(Rule, rule);
        QFETCH(QString, sources);
        QFETCH(QString, missing);
        QCOMPARE(RuleRowDelegate::sourcesText(rule), sources);
        QCOMPARE(RuleRowDelegate::missingBrowserText(rule), missing);
        const QString spoken = RuleRowDelegate::spokenText(rule);
        QVERIFY(spoken.startsWith(u"Host is example.com"_s));
        QVERIFY(spoken.contains(sources));
        QVERIFY(spoken.contains(missing));
    }

    void contextDeleteKeepsTheRestOfTheSelection()
    {
        RulesView& view = viewWithRules({u"A"_s, u"B"_s, u"C"_s, u"D"_s});
        const QList<Rule> rules = m_desktop->store.rules();
        view.select({rules[0].id, rules[2].id, rules[3].id});
        const std::unique_ptr<QMenu> menu(view.contextMenuFor({rules[2].id}));
        Widgets::actionNamed(*menu, u"Delete"_s)->trigger();
        QCOMPARE(patternsOf(m_desktop->store.rules()), (QStringList{u"A"_s, u"B"_s, u"D"_s}));
        QCOMPARE(view.selectedIds(), (QList<QUuid>{rules[0].id, rules[3].id}));

        view.list()->setFocus();
        QTest::keyClick(view.list(), Qt::Key_Delete);
        QCOMPARE(patternsOf(m_desktop->store.rules()), QStringList{u"B"_s});
        QVERIFY(view.selectedIds().isEmpty());
    }

    // Each copy comes after its rule; Send To sets the destination of every rule the menu is for.
    void duplicateAndSendTo()
    {
        RulesView& view = viewWithRules({u"A"_s, u"B"_s, u"C"_s});
        const QList<Rule> before = m_desktop->store.rules();
        const std::unique_ptr<QMenu> menu(view.contextMenuFor({before[2].id, before[0].id}));
        QMenu* sendTo = Widgets::actionNamed(*menu, u"Send 2 Rules To"_s)->menu();
        QVERIFY(sendTo);
        Widgets::actionNamed(*sendTo, u"Browser Two"_s)->trigger();
        QCOMPARE(m_desktop->store.rules()[0].destination, Destination::browser(u"b2"_s));
        QCOMPARE(m_desktop->store.rules()[1], before[1]);
        QCOMPARE(m_desktop->store.rules()[2].destination, Destination::browser(u"b2"_s));

        const QList<Rule> sent = m_desktop->store.rules();
        Widgets::actionNamed(*menu, u"Duplicate 2 Rules"_s)->trigger();
        const QList<Rule> after = m_desktop->store.rules();
        QCOMPARE(patternsOf(after), (QStringList{u"A"_s, u"A"_s, u"B"_s, u"C"_s, u"C"_s}));
        QCOMPARE(after[0], sent[0]);
        QVERIFY(after[1].id != sent[0].id);
        Rule copy = after[4];
        copy.id = sent[2].id;
        QCOMPARE(copy, sent[2]);
        QVERIFY(view.selectedIds().isEmpty());
    }

    void dropMovesRulesInTheStore_data()
    {
        QTest::addColumn<QList<int>>("dragged");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("two rows before the last")
            << QList<int>{0, 2} << 3 << QStringList{u"B"_s, u"A"_s, u"C"_s, u"D"_s};
        QTest::newRow("below the last row") << QList<int>{2, 0} << -1 << QStringList{u"B"_s, u"D"_s, u"A"_s, u"C"_s};
    }

    void dropMovesRulesInTheStore()
    {
        QFETCH(QList<int>, dragged);
        QFETCH(int, row);
        RulesView& view = viewWithRules({u"A"_s, u"B"_s, u"C"_s, u"D"_s});
        RulesListModel* model = view.model();
        QModelIndexList indexes;
        for (int at : dragged)
            indexes.append(model->index(at));
        const std::unique_ptr<QMimeData> data(model->mimeData(indexes));
        model->dropMimeData(data.get(), Qt::MoveAction, row, 0, QModelIndex());
        QTEST(patternsOf(m_desktop->store.rules()), "order");
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(model->index(0).data(RulesListModel::ruleIdRole).toUuid(), m_desktop->store.rules()[0].id);
    }

    void listAndFallbackFollowTheStore()
    {
        RulesView& view = viewWithRules({u"A"_s});
        // Another program writes the file: what the store takes over, the list shows.
        RuleStore other(m_desktop->filePath(u"other.json"_s));
        other.setRules({hostRule(u"x.example"_s, b1), hostRule(u"y.example"_s, b1)});
        other.setFallback(Destination::browser(u"b2"_s));
        QVERIFY(m_desktop->store.apply(other.jsonText()));
        QCOMPARE(view.model()->rowCount(), 2);
        QCOMPARE(view.model()->index(1).data().toString(), u"Host is y.example"_s);
        QCOMPARE(view.fallbackPicker()->destination(), Destination::browser(u"b2"_s));
        // And the other way: what the picker picks, the store takes.
        Widgets::actionNamed(*view.fallbackPicker()->menu(), u"Browser One"_s)->trigger();
        QCOMPARE(m_desktop->store.fallback(), b1);
    }

    void bannerFollowsTheDefaultBrowser()
    {
        RulesView& view = shownView();
        QVERIFY(view.banner()->isVisible());
        view.makeDefaultButton()->click();
        QTRY_VERIFY(!view.banner()->isVisible());
        QCOMPARE(m_desktop->handlers.schemesSet, DefaultBrowser::webSchemes());

        // Changed elsewhere: the next showing tells.
        m_desktop->catalog.defaultBrowser = m_desktop->catalog.browsers.first();
        m_controller->show();
        QVERIFY(view.banner()->isVisible());
    }

    // The menu's items do what they say. Every control has a name; menu buttons open from a screen reader's Press
    // as from a click (Qt ignores "ShowMenu" on a button that opens at once).
    void moreMenuAndControlNames()
    {
        RulesView& view = shownView();
        QSignalSpy settingsRequested(m_controller.get(), &RulesWindowController::settingsRequested);
        QSignalSpy feedbackRequested(m_controller.get(), &RulesWindowController::feedbackRequested);
        QSignalSpy askNextRequested(m_controller.get(), &RulesWindowController::askNextRequested);
        for (const QString& item : {u"Show rules.json in File Manager"_s, u"Settings…"_s, u"Send Feedback…"_s,
                                    u"Ask for the Next Link"_s, u"Edit as JSON…"_s})
            Widgets::actionNamed(*view.moreButton()->menu(), item)->trigger();
        // The sheet's text and saving are tst_json_editor_dialog's.
        QCOMPARE(qobject_cast<JsonEditorDialog*>(view.openDialog())->windowModality(), Qt::WindowModal);
        QCOMPARE(m_files.shown, QStringList{m_desktop->store.filePath()});
        QCOMPARE(settingsRequested.size(), 1);
        QCOMPARE(feedbackRequested.size(), 1);
        QCOMPARE(askNextRequested.size(), 1);
        qobject_cast<JsonEditorDialog*>(view.openDialog())->reject();
        QTRY_VERIFY(!view.openDialog());
        Widgets::verifyControlsNamed(view, view);
    }

    // The window's side of an import: the tool's report (as the tool writes it) read, confirmed, and taken into
    // the rules as the user says. The tool's own side is tst_finicky_cli's.
    void finickyImport_data()
    {
        QTest::addColumn<QList<Rule>>("rules");
        QTest::addColumn<std::optional<Destination>>("finickyDefault");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("patterns");
        QTest::addColumn<Destination>("fallback");
        const QList<Rule> one{hostRule(u"x.example"_s, b1)};
        const QList<Rule> two{hostRule(u"x.example"_s, b1), hostRule(u"y.example"_s, Destination::browser(u"b2"_s))};
        const std::optional<Destination> second = Destination::browser(u"b2"_s);
        QTest::newRow("one rule, added") << one << second << QStringList() << 0 << u"Import 1 rule?"_s
                                         << QStringList{u"A"_s, u"x.example"_s} << Destination::ask();
        QTest::newRow("one rule, replacing") << one << second << QStringList() << 1 << u"Import 1 rule?"_s
                                             << QStringList{u"x.example"_s} << Destination::browser(u"b2"_s);
        QTest::newRow("replacing without a fallback keeps it")
            << two << std::optional<Destination>() << QStringList() << 1 << u"Import 2 rules?"_s
            << QStringList{u"x.example"_s, u"y.example"_s} << Destination::ask();
        QTest::newRow("notes warn, cancelled") << one << std::optional<Destination>() << QStringList{u"Skipped"_s} << 2
                                               << u"Import 1 rule?"_s << QStringList{u"A"_s} << Destination::ask();
    }

    void finickyImport()
    {
        QFETCH(QList<Rule>, rules);
        QFETCH(std::optional<Destination>, finickyDefault);
        QFETCH(QStringList, notes);
        QFETCH(int, answer);
        RulesView& view = viewWithRules({u"A"_s});
        TestFiles::write(m_desktop->filePath(u"report.json"_s),
                         FinickyConfig::writeReport({rules, finickyDefault, notes}));
        writeTool("printf '%s\\n' \"$@\" > '" + m_desktop->filePath(u"arguments"_s).toUtf8() + "'; cat '" +
                  m_desktop->filePath(u"report.json"_s).toUtf8() + "'");
        const QString path = m_desktop->filePath(u"finicky.js"_s);

        FileDialog::setNextFileName(path);
        MessageBox::setNextAnswer(answer);
        view.importFromFinicky();
        QCOMPARE(FileDialog::lastShown()->acceptLabel, u"Import"_s);
        QVERIFY(view.isInterchanging());
        QTRY_VERIFY(MessageBox::lastShown());
        QVERIFY(!view.isInterchanging());
        QCOMPARE(TestFiles::read(m_desktop->filePath(u"arguments"_s)), "finicky\nimport\n" + path.toUtf8() + '\n');
        QTEST(MessageBox::lastShown()->text, "text");
        // Notes make it a warning.
        QCOMPARE(MessageBox::lastShown()->style,
                 notes.isEmpty() ? MessageBox::Style::information : MessageBox::Style::warning);
        QVERIFY(MessageBox::lastShown()->informativeText.startsWith(u"From finicky.js."_s));
        QTEST(patternsOf(m_desktop->store.rules()), "patterns");
        QTEST(m_desktop->store.fallback(), "fallback");
    }

    // Whatever goes wrong in the tool is said, and the rules stay as they were.
    void finickyImportFailuresChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("tool");
        QTest::addColumn<QString>("informativeText"); // the beginning of it

        QTest::newRow("unreadable file") << QByteArray("exec '" LINKHERD_CLI_EXECUTABLE "' \"$@\"")
                                         << u"That file is not valid JavaScript: "_s;
        QTest::newRow("crash") << QByteArray("kill -SEGV $$") << u"linkherd stopped unexpectedly."_s;
        QTest::newRow("garbage") << QByteArray("echo Segmentation fault")
                                 << u"The linkherd tool's report could not be read: "_s;
        QTest::newRow("a report with a broken rule")
            << QByteArray(R"(echo '{"fallback":null,"notes":[],"rules":[{"match":"nope"}]}')")
            << u"The linkherd tool's report could not be read: the report's rules are not readable: "_s;
        QTest::newRow("no tool") << QByteArray() << u"linkherd could not be started: "_s;
    }

    void finickyImportFailuresChangeNothing()
    {
        QFETCH(QByteArray, tool);
        QFETCH(QString, informativeText);
        if (!tool.isEmpty())
            writeTool(tool);
        RulesView& view = viewWithRules({u"A"_s});
        FileDialog::setNextFileName(m_desktop->filePath(u"missing.js"_s));
        MessageBox::setNextAnswer(0);
        view.importFromFinicky();
        QTRY_VERIFY(MessageBox::lastShown());
        QCOMPARE(MessageBox::lastShown()->text, u"Could not read that Finicky config"_s);
        QVERIFY2(MessageBox::lastShown()->informativeText.startsWith(informativeText),
                 qPrintable(MessageBox::lastShown()->informativeText));
        QCOMPARE(patternsOf(m_desktop->store.rules()), QStringList{u"A"_s});
    }

    // Closing the window stops a running import: the tool is killed, and nothing is asked or imported.
    void closingStopsTheImport()
    {
        const QString pidFile = m_desktop->filePath(u"pid"_s);
        writeTool("echo $$ > '" + pidFile.toUtf8() + ".new'; mv '" + pidFile.toUtf8() + ".new' '" + pidFile.toUtf8() +
                  "'; exec sleep 60");
        RulesView& view = viewWithRules({u"A"_s});
        FileDialog::setNextFileName(m_desktop->filePath(u"finicky.js"_s));
        view.importFromFinicky();
        QTRY_VERIFY(QFile::exists(pidFile));
        const pid_t pid = TestFiles::read(pidFile).trimmed().toInt();
        QVERIFY(view.isInterchanging());
        m_controller->window()->close();
        QVERIFY(!view.isInterchanging());
        QCOMPARE(::kill(pid, 0), -1); // killed and reaped
        QTest::qWait(50);
        QVERIFY(!MessageBox::lastShown());
        QCOMPARE(patternsOf(m_desktop->store.rules()), QStringList{u"A"_s});
    }

    // The export through the tool itself: it writes what the rules give, and a file it cannot write is said.
    void finickyExport()
    {
        writeTool("exec '" LINKHERD_CLI_EXECUTABLE "' \"$@\"");
        RulesView& view = viewWithRules({});
        // Rules that name no browser: the tool knows the desktop's browsers, not this test's.
        m_desktop->store.setRules(
            {hostRule(u"a.example"_s, Destination::ask()), hostRule(u"b.example"_s, Destination::ask())});
        const QString path = m_desktop->filePath(u"out.js"_s);
        FileDialog::setNextFileName(path);
        view.exportToFinicky();
        QTRY_VERIFY(!view.isInterchanging());
        QCOMPARE(QString::fromUtf8(TestFiles::read(path)),
                 FinickyConfig::exportConfig(m_desktop->store.rules(), m_desktop->store.fallback()));
        QVERIFY(!MessageBox::lastShown());

        FileDialog::setNextFileName(m_desktop->filePath(u"no/such/folder/out.js"_s));
        MessageBox::setNextAnswer(0);
        view.exportToFinicky();
        QTRY_VERIFY(MessageBox::lastShown());
        QCOMPARE(MessageBox::lastShown()->text, u"Could not write that file"_s);
        QCOMPARE(MessageBox::lastShown()->style, MessageBox::Style::warning);
        QVERIFY(MessageBox::lastShown()->informativeText.startsWith(m_desktop->filePath(u"no/such/folder/out.js: "_s)));

        FileDialog::setNextFileName(std::nullopt); // cancelled: nothing written, nothing said
        MessageBox::reset();
        view.exportToFinicky();
        QVERIFY(!view.isInterchanging());
        QVERIFY(!MessageBox::lastShown());
    }

    void testALink_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("decidingRow");
        QTest::addColumn<QString>("line");
        QTest::newRow("host rule") << u"https://www.b.example/page"_s << 2
                                   << u"Opens in Browser Two: rule 3, “Host is b.example”, takes it"_s;
        QTest::newRow("disabled rule is skipped") << u"https://a.example/"_s << -1
                                                  << u"Asks every time: no rule takes it, so it falls through to "
                                                     u"Everything else"_s;
        QTest::newRow("cleaned before deciding")
            << u"https://c.example/?utm_source=x"_s << 1
            << u"Opens in Browser One: rule 2, “URL contains c.example/”, takes it (after cleaning: "
               u"https://c.example/)"_s;
        QTest::newRow("empty") << QString() << -1 << QString();
    }

    void testALink()
    {
        QFETCH(QString, link);
        QFETCH(int, decidingRow);
        m_desktop->store.setRules({makeRule(Rule::Match::host, u"a.example"_s, b1, false),
                                   makeRule(Rule::Match::urlContains, u"c.example/"_s, b1),
                                   hostRule(u"b.example"_s, Destination::browser(u"b2"_s))});
        RulesView& view = viewCleaningLinks();
        view.testField()->setText(link);
        QTEST(view.testResult()->text(), "line");
        QCOMPARE(view.decidingRule(), decidingRow < 0 ? QUuid() : m_desktop->store.rules().at(decidingRow).id);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(view.model()->index(row).data(RulesListModel::isDecidingRole).toBool(), row == decidingRow);
    }

    void testALinkShowsBothEndsOfAHugeLink()
    {
        RulesView& view = viewCleaningLinks();
        view.testField()->setText(u"https://c.example/"_s + QString(20'000, u'a') + u"?utm_source=x"_s);
        QVERIFY(view.testResult()->text().size() < 500);
        QVERIFY2(view.testResult()->text().contains(u"https://c.example/aaa"_s),
                 qUtf8Printable(view.testResult()->text()));
    }

private:
    RulesView& shownView()
    {
        m_controller->show();
        return *m_controller->view();
    }

    RulesView& viewWithRules(const QStringList& patterns)
    {
        QList<Rule> rules;
        for (const QString& pattern : patterns)
            rules.append(hostRule(pattern, b1));
        m_desktop->store.setRules(rules);
        return shownView();
    }

    RulesView& viewCleaningLinks()
    {
        LinkRewriter cleaning;
        cleaning.stripsTrackingParameters = true;
        m_desktop->store.setRewriter(cleaning);
        return shownView();
    }

    // Ends the rule editor the view has open with `pattern` typed in, saved or cancelled.
    static void finishEditor(RulesView& view, const QString& pattern, bool save)
    {
        auto* editor = qobject_cast<RuleEditorDialog*>(view.openDialog());
        QVERIFY(editor);
        Widgets::named<QLineEdit>(*editor, u"Pattern"_s)->setText(pattern);
        if (save)
            Widgets::named(*editor, u"Save"_s)->click();
        else
            editor->reject();
        QTRY_VERIFY(!view.openDialog());
    }

    // The `linkherd` the window runs: a stand-in each test writes (writeTool); none until it does.
    QString toolPath() const { return m_desktop->filePath(u"linkherd"_s); }
    void writeTool(const QByteArray& script) const { TestFiles::writeScript(toolPath(), script); }

    std::unique_ptr<RulesWindowController> makeController()
    {
        return std::make_unique<RulesWindowController>(m_desktop->store, m_desktop->preferences,
                                                       m_desktop->defaultBrowser, m_files, toolPath());
    }

    std::optional<WindowFixture> m_desktop;
    RecordingFileManager m_files;
    std::unique_ptr<RulesWindowController> m_controller;
};

QTEST_MAIN(RulesWindowTest)
#include "tst_rules_window.moc"
