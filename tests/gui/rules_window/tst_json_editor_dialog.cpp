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
        m_file = TestFiles::read(m_path);
        m_before = m_store->currentDocument();
        m_dialog.emplace(*m_store);
        m_dialog->show();
    }

    void cleanup()
    {
        m_dialog.reset();
        m_store.reset();
    }

    // The text is the file as the store writes it; saving it unchanged changes nothing.
    void unchangedSaveCloses()
    {
        QCOMPARE(editor()->toPlainText(), m_store->jsonText());
        QVERIFY(!Widgets::childWhere<QLabel>(*m_dialog, &QLabel::wordWrap)->isVisible());

        QTest::mouseClick(Widgets::named(*m_dialog, u"Save"_s), Qt::LeftButton);
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_store->currentDocument(), m_before);
        QCOMPARE(TestFiles::read(m_path), m_file);
    }

    // Return types a new line; Ctrl+Return saves.
    void keyboard()
    {
        QVERIFY(QTest::qWaitForWindowActive(&*m_dialog)); // shortcuts work in the active window only
        editor()->moveCursor(QTextCursor::End);
        QTest::keyClick(editor(), Qt::Key_Return);
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(editor()->toPlainText(), m_store->jsonText() + u'\n');

        replaceText(m_store->jsonText().replace(u"a.example"_s, u"c.example"_s));
        QTest::keyClick(editor(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!m_dialog->isVisible());
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
        replaceText(text);
        for (int attempt = 0; attempt < 2; ++attempt) {
            QTest::mouseClick(Widgets::named(*m_dialog, u"Save"_s), Qt::LeftButton);
            QVERIFY(m_dialog->isVisible());
            const QLabel* errorLine = Widgets::childWhere<QLabel>(*m_dialog, &QLabel::wordWrap);
            QVERIFY(errorLine->isVisible());
            QVERIFY(errorLine->text().startsWith(u"⚠ "_s));
            QVERIFY2(errorLine->text().contains(error), qPrintable(errorLine->text()));
            QCOMPARE(editor()->toPlainText(), text);
        }
        QCOMPARE(m_store->currentDocument(), m_before);

        QTest::mouseClick(Widgets::named(*m_dialog, u"Cancel"_s), Qt::LeftButton);
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_store->currentDocument(), m_before);
        QCOMPARE(TestFiles::read(m_path), m_file);
    }

    // A document without link-cleaning settings replaces rules and fallback and keeps the settings.
    void documentWithoutRewriterKeepsIt()
    {
        replaceText(uR"({"version": 1, "fallback": {"ask": {}}, "rules": []})"_s);
        QTest::mouseClick(Widgets::named(*m_dialog, u"Save"_s), Qt::LeftButton);
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_store->currentDocument(), (RulesDocument{1, {}, Destination::ask(), m_before.rewriter}));
    }

private:
    QPlainTextEdit* editor() const { return m_dialog->findChild<QPlainTextEdit*>(); }

    void replaceText(const QString& text) const
    {
        editor()->selectAll();
        editor()->insertPlainText(text);
    }

    std::optional<QTemporaryDir> m_directory;
    QString m_path;
    std::optional<RuleStore> m_store;
    QByteArray m_file; // as the store wrote it
    RuleStore::Document m_before;
    std::optional<JsonEditorDialog> m_dialog; // on screen over the store
};

QTEST_MAIN(JsonEditorDialogTest)
#include "tst_json_editor_dialog.moc"
