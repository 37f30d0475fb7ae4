#include "gui/rules_window/json_editor_dialog.h"
#include "routing/rule_store.h"
#include "support/gui/widgets.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

void replaceText(QPlainTextEdit* editor, const QString& text)
{
    editor->selectAll();
    editor->insertPlainText(text);
}

} // namespace

class JsonEditorDialogTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_directory.emplace().isValid());
        m_path = m_directory->filePath(u"rules.json"_s);
        m_store.emplace(m_path);
        m_store->setRules({hostRule(u"a.example"_s, Destination::browser(u"firefox"_s)),
                           hostRule(u"b.example"_s, Destination::browser(u"firefox"_s))});
        m_store->setFallback(Destination::browser(u"chromium"_s));
        LinkRewriter rewriter = LinkRewriter::initial();
        rewriter.upgradesToHTTPS = !rewriter.upgradesToHTTPS;
        m_store->setRewriter(rewriter);
    }

    void cleanup() { m_store.reset(); }

    // The text is the file as the store writes it; saving it unchanged changes nothing.
    void unchangedSaveCloses()
    {
        const QByteArray file = TestFiles::read(m_path);
        const RuleStore::Document before = m_store->currentDocument();
        JsonEditorDialog dialog(*m_store);
        dialog.show();
        auto* editor = dialog.findChild<QPlainTextEdit*>();
        QCOMPARE(editor->toPlainText(), m_store->jsonText());
        QVERIFY(!Widgets::childWhere<QLabel>(dialog, &QLabel::wordWrap)->isVisible());

        QTest::mouseClick(Widgets::named(dialog, u"Save"_s), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(m_store->currentDocument(), before);
        QCOMPARE(TestFiles::read(m_path), file);
    }

    // Return types a new line; Ctrl+Return saves.
    void keyboard()
    {
        JsonEditorDialog dialog(*m_store);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog)); // shortcuts work in the active window only
        auto* editor = dialog.findChild<QPlainTextEdit*>();
        editor->moveCursor(QTextCursor::End);
        QTest::keyClick(editor, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        QCOMPARE(editor->toPlainText(), m_store->jsonText() + u'\n');

        replaceText(editor, m_store->jsonText().replace(u"a.example"_s, u"c.example"_s));
        QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(m_store->rules().at(0).pattern, u"c.example"_s);
    }

    // What the store cannot read is shown and keeps the dialog open with the text as typed; nothing changes, and
    // Cancel then throws the edit away.
    void errorKeepsItOpen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("not JSON") << u"{ rules: "_s << QString();
        QTest::newRow("no rules") << uR"({"version": 1, "fallback": {"ask": {}}})"_s << u"rules"_s;
    }

    void errorKeepsItOpen()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const QByteArray file = TestFiles::read(m_path);
        const RuleStore::Document before = m_store->currentDocument();
        JsonEditorDialog dialog(*m_store);
        dialog.show();
        auto* editor = dialog.findChild<QPlainTextEdit*>();
        replaceText(editor, text);

        for (int attempt = 0; attempt < 2; ++attempt) {
            QTest::mouseClick(Widgets::named(dialog, u"Save"_s), Qt::LeftButton);
            QVERIFY(dialog.isVisible());
            const QLabel* errorLine = Widgets::childWhere<QLabel>(dialog, &QLabel::wordWrap);
            QVERIFY(errorLine->isVisible());
            QVERIFY(errorLine->text().startsWith(u"⚠ "_s));
            QVERIFY2(errorLine->text().contains(error), qPrintable(errorLine->text()));
            QCOMPARE(editor->toPlainText(), text);
        }
        QCOMPARE(m_store->currentDocument(), before);

        QTest::mouseClick(Widgets::named(dialog, u"Cancel"_s), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(m_store->currentDocument(), before);
        QCOMPARE(TestFiles::read(m_path), file);
    }

    // A document without link-cleaning settings replaces rules and fallback and keeps the settings.
    void documentWithoutRewriterKeepsIt()
    {
        const LinkRewriter rewriter = m_store->rewriter();
        JsonEditorDialog dialog(*m_store);
        dialog.show();
        replaceText(dialog.findChild<QPlainTextEdit*>(), uR"({"version": 1, "fallback": {"ask": {}}, "rules": []})"_s);
        QTest::mouseClick(Widgets::named(dialog, u"Save"_s), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QVERIFY(m_store->rules().isEmpty());
        QCOMPARE(m_store->fallback(), Destination::ask());
        QCOMPARE(m_store->rewriter(), rewriter);
    }

private:
    std::optional<QTemporaryDir> m_directory;
    QString m_path;
    std::optional<RuleStore> m_store;
};

QTEST_MAIN(JsonEditorDialogTest)
#include "tst_json_editor_dialog.moc"
