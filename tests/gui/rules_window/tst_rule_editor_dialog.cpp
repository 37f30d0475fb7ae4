#include "browsers/browsers.h"
#include "gui/common/destination_picker.h"
#include "gui/rules_window/application_chooser.h"
#include "gui/rules_window/rule_editor_dialog.h"
#include "support/fakes/fake_platform.h"
#include "support/gui/widgets.h"
#include "support/rules.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// What the "Only for links from" section lists: "Any app", or each row by its remove button.
QStringList sourceLines(const RuleEditorDialog& dialog)
{
    auto* section = dialog.findChild<QGroupBox*>();
    QStringList lines;
    for (QLabel* label : section->findChildren<QLabel*>()) {
        if (label->text() == u"Any app"_s)
            lines.append(label->text());
    }
    for (QToolButton* remove : section->findChildren<QToolButton*>())
        lines.append(remove->accessibleName());
    return lines;
}

// Opens the application chooser from "Add App…", picks the applications with these names and presses Choose.
void addApps(RuleEditorDialog& dialog, const QStringList& names)
{
    QTest::mouseClick(Widgets::named(dialog, u"Add App…"_s), Qt::LeftButton);
    ApplicationChooser* chooser = Widgets::childWhere<ApplicationChooser>(dialog, &QWidget::isVisible);
    QVERIFY(chooser);
    auto* list = chooser->findChild<QListWidget*>();
    for (const QString& name : names) {
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        found[0]->setSelected(true);
    }
    QTest::mouseClick(Widgets::named(*chooser, u"Choose"_s), Qt::LeftButton);
    QVERIFY(!chooser->isVisible());
}

} // namespace

class RuleEditorDialogTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_catalog.browsers = {fakeEntry(u"org.mozilla.firefox"_s, u"Firefox"_s)};
        m_catalog.applications = {fakeEntry(u"com.b"_s, u"Bee"_s), fakeEntry(u"com.a"_s, u"Ant"_s),
                                  fakeEntry(u"com.slack.Slack"_s, u"Slack"_s)};
        Browsers::setCatalog(&m_catalog);
    }

    void cleanup() { Browsers::setCatalog(nullptr); }

    // Save trims the pattern's ends and nothing else, keeps every other field (the switch included) and the
    // pattern typed before the kind changed, and is reached by the button and by Return in the pattern field.
    void saveTrimsThePattern_data()
    {
        QTest::addColumn<Rule::Match>("match");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("byReturn");
        QTest::newRow("host, button") << Rule::Match::host << u"  example.com  "_s << u"example.com"_s << false;
        QTest::newRow("host, Return") << Rule::Match::host << u"  example.com  "_s << u"example.com"_s << true;
        QTest::newRow("case and path stay") << Rule::Match::urlContains << u"\t/Pull/ "_s << u"/Pull/"_s << true;
        QTest::newRow("regex") << Rule::Match::regex << u" ^HTTPS://a\\.b/ "_s << u"^HTTPS://a\\.b/"_s << false;
    }

    void saveTrimsThePattern()
    {
        QFETCH(Rule::Match, match);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(bool, byReturn);

        Rule original;
        original.isEnabled = false;
        original.sourceDesktopIDs = {u"com.a"_s};
        original.destination = Destination::browser(u"org.mozilla.firefox"_s);
        RuleEditorDialog dialog(original);
        dialog.show();
        QLineEdit* pattern = dialog.findChild<QLineEdit*>();
        pattern->setFocus();
        QTest::keyClicks(pattern, typed);
        // Another kind keeps what was typed.
        auto* kind = dialog.findChild<QComboBox*>();
        kind->setCurrentIndex(
            kind->findText(QStringList{u"Host is"_s, u"URL contains"_s, u"URL matches"_s}.at(static_cast<int>(match))));

        QSignalSpy savedRules(&dialog, &RuleEditorDialog::saved);
        if (byReturn)
            QTest::keyClick(pattern, Qt::Key_Return);
        else
            QTest::mouseClick(Widgets::named(dialog, u"Save"_s), Qt::LeftButton);

        QCOMPARE(savedRules.size(), 1);
        Rule expected = original;
        expected.match = match;
        expected.pattern = saved;
        QCOMPARE(savedRules[0][0].value<Rule>(), expected);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
    }

    // The help line follows the kind and, for expressions, whether the pattern compiles; Save (and Return) only
    // for a rule that could be stored.
    void helpLineAndSave_data()
    {
        QTest::addColumn<Rule::Match>("match");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("help");
        QTest::addColumn<bool>("canSave");
        QTest::newRow("empty regex is neutral")
            << Rule::Match::regex << QString() << u"A regular expression, matched against the whole link."_s << false;
        QTest::newRow("blank regex is neutral")
            << Rule::Match::regex << u" \n "_s << u"A regular expression, matched against the whole link."_s << false;
        QTest::newRow("open parenthesis")
            << Rule::Match::regex << u"("_s << u"⚠ Not a valid regular expression"_s << false;
        QTest::newRow("escaped parenthesis") << Rule::Match::regex << u"\\("_s << u"✓ Valid expression"_s << true;
        QTest::newRow("blank host") << Rule::Match::host << u"   "_s
                                    << u"Subdomains are included — example.com also matches docs.example.com."_s
                                    << false;
        QTest::newRow("contains") << Rule::Match::urlContains << u"("_s
                                  << u"Matched anywhere in the whole link, ignoring case."_s << true;
    }

    void helpLineAndSave()
    {
        QFETCH(Rule::Match, match);
        QFETCH(QString, pattern);
        QFETCH(QString, help);
        QFETCH(bool, canSave);

        RuleEditorDialog dialog(makeRule(match, pattern));
        dialog.show();
        const QLabel* helpLine = Widgets::childWhere<QLabel>(dialog, &QLabel::wordWrap);
        QCOMPARE(helpLine->text(), help);
        QCOMPARE(Widgets::named(dialog, u"Save"_s)->isEnabled(), canSave);
        const QColor colour = helpLine->palette().color(QPalette::WindowText);
        QCOMPARE(colour.green() > colour.red() + 40, help.startsWith(u"✓"_s));
        QCOMPARE(colour.red() > colour.blue() + 80, help.startsWith(u"⚠"_s));

        QSignalSpy saved(&dialog, &RuleEditorDialog::saved);
        QTest::keyClick(dialog.findChild<QLineEdit*>(), Qt::Key_Return);
        QCOMPARE(saved.size(), canSave ? 1 : 0);
        QCOMPARE(dialog.isVisible(), !canSave);
    }

    // Cancel and Escape end the dialog with nothing saved, whatever was changed.
    void cancelSavesNothing_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape") << true;
    }

    void cancelSavesNothing()
    {
        QFETCH(bool, byEscape);
        RuleEditorDialog dialog(makeRule(Rule::Match::host, u"example.com"_s));
        dialog.show();
        QSignalSpy saved(&dialog, &RuleEditorDialog::saved);
        QTest::keyClicks(dialog.findChild<QLineEdit*>(), u".org"_s);
        addApps(dialog, {u"Ant"_s});
        if (byEscape)
            QTest::keyClick(dialog.findChild<QLineEdit*>(), Qt::Key_Escape);
        else
            QTest::mouseClick(Widgets::named(dialog, u"Cancel"_s), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(saved.size(), 0);
    }

    // Added applications are merged, without duplicates, in character-code order; a row's button removes it.
    // Every control has a name.
    void sourceApplications()
    {
        RuleEditorDialog dialog(makeRule(Rule::Match::host, u"example.com"_s));
        dialog.show();
        QCOMPARE(sourceLines(dialog), QStringList{u"Any app"_s});

        addApps(dialog, {u"Bee"_s});
        addApps(dialog, {u"Ant"_s});
        addApps(dialog, {u"Bee"_s, u"Slack"_s});
        // Uppercase sorts before lowercase by character code.
        QCOMPARE(dialog.rule().sourceDesktopIDs, QStringList({u"com.a"_s, u"com.b"_s, u"com.slack.Slack"_s}));
        QCOMPARE(sourceLines(dialog), QStringList({u"Remove Ant"_s, u"Remove Bee"_s, u"Remove Slack"_s}));

        QTest::mouseClick(Widgets::named<QToolButton>(dialog, u"Remove Bee"_s), Qt::LeftButton);
        QCOMPARE(dialog.rule().sourceDesktopIDs, QStringList({u"com.a"_s, u"com.slack.Slack"_s}));
        QCOMPARE(sourceLines(dialog), QStringList({u"Remove Ant"_s, u"Remove Slack"_s}));

        // Every control, in the editor and in the chooser, has a name a screen reader can say.
        QTest::mouseClick(Widgets::named(dialog, u"Add App…"_s), Qt::LeftButton);
        Widgets::verifyControlsNamed(dialog, dialog);
        QWidget* chooser = Widgets::childWhere<ApplicationChooser>(dialog, &QWidget::isVisible);
        Widgets::verifyControlsNamed(*chooser, *chooser);
    }

    // The search narrows the list by name or ID, and Choose takes only what is still listed.
    void chooserSearch()
    {
        RuleEditorDialog dialog(makeRule(Rule::Match::host, u"example.com"_s));
        dialog.show();
        QTest::mouseClick(Widgets::named(dialog, u"Add App…"_s), Qt::LeftButton);
        ApplicationChooser* chooser = Widgets::childWhere<ApplicationChooser>(dialog, &QWidget::isVisible);
        auto* list = chooser->findChild<QListWidget*>();
        QStringList names;
        for (int row = 0; row < list->count(); ++row)
            names.append(list->item(row)->text());
        QCOMPARE(names, QStringList({u"Ant"_s, u"Bee"_s, u"Firefox"_s, u"Slack"_s}));
        QVERIFY(!Widgets::named(*chooser, u"Choose"_s)->isEnabled());

        list->selectAll();
        QTest::keyClicks(chooser->findChild<QLineEdit*>(), u"MOZILLA"_s);
        QSignalSpy chosen(chooser, &ApplicationChooser::chosen);
        QTest::mouseClick(Widgets::named(*chooser, u"Choose"_s), Qt::LeftButton);
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(chosen[0][0].toStringList(), QStringList{u"org.mozilla.firefox"_s});
    }

    // The window is offered beside "Open in" for a browser that can open one, and kept while the browser can.
    void windowChoice()
    {
        m_catalog.browsers.append(fakeEntry(u"netsurf"_s, u"NetSurf"_s));
        Rule rule = makeRule(Rule::Match::host, u"example.com"_s);
        rule.destination = Destination::browser(u"org.mozilla.firefox"_s);
        RuleEditorDialog dialog(rule);
        dialog.show();
        QComboBox* window = Widgets::named<QComboBox>(dialog, u"Window"_s);
        QVERIFY(window->isVisible());
        QCOMPARE(window->count(), 3);
        window->setCurrentIndex(2);
        Q_EMIT window->activated(2);
        QCOMPARE(dialog.rule().destination,
                 Destination::browser(u"org.mozilla.firefox"_s, std::nullopt, Destination::Window::privateWindow));

        Q_EMIT dialog.findChild<DestinationPicker*>()->destinationChanged(Destination::browser(u"netsurf"_s));
        QCOMPARE(dialog.rule().destination, Destination::browser(u"netsurf"_s));
        QVERIFY(!window->isVisible());
    }

private:
    FakeApplicationCatalog m_catalog;
};

QTEST_MAIN(RuleEditorDialogTest)
#include "tst_rule_editor_dialog.moc"
