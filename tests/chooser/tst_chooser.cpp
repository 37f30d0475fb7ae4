#include "app/preferences.h"
#include "browsers/browser_launcher.h"
#include "chooser/chooser_controller.h"
#include "chooser/chooser_view.h"
#include "chooser/message_box.h"
#include "routing/router.h"
#include "routing/rule_store.h"
#include "support/fake_platform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Records every open; a browser that fails keeps its failure handler until the test delivers the error.
class RecordingLauncher final : public BrowserLaunching {
public:
    struct Open {
        QString link;
        QString bundleID;
        std::optional<QString> profile;
        qsizetype rulesAtOpen = 0;
    };

    const RuleStore* store = nullptr;
    QList<Open> opens;
    QList<FailureHandler> failures;

    void open(const QString& link, const Browsers::Browser& browser, const std::optional<QString>& profile,
              FailureHandler onFailure) override
    {
        opens.append({link, browser.bundleID, profile, store ? store->rules().size() : 0});
        failures.append(std::move(onFailure));
    }
    void open(const QString& link, const Browsers::Browser& browser, FailureHandler onFailure) override
    {
        open(link, browser, std::nullopt, std::move(onFailure));
    }
};

QStringList rowNames(const ChooserView& view)
{
    QStringList names;
    for (const QAbstractButton* row : view.browserRows())
        names.append(row->accessibleName());
    return names;
}

QString textOf(const QWidget& parent, const QString& objectName)
{
    const auto* label = parent.findChild<QLabel*>(objectName);
    return label ? label->text() : QString();
}

Router::Request request(const QString& url, const QString& source = QString())
{
    return Router::Request{QUuid::createUuid(), url, source};
}

} // namespace

class ChooserTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_catalog.browsers.clear();
        for (int number = 1; number <= 12; ++number)
            m_catalog.browsers.append(
                fakeEntry(u"b"_s + QString::number(number), u"Browser "_s + QString::number(number)));
        DesktopEntry mail = fakeEntry(u"org.example.Mail"_s, u"Mail"_s);
        DesktopEntry chat = fakeEntry(u"org.example.Chat"_s, u"Chat"_s);
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::red);
        chat.icon = m_dir.filePath(u"chat.png"_s);
        QVERIFY(image.save(chat.icon));
        m_catalog.applications = {mail, chat};
        Browsers::setCatalog(&m_catalog);

        QFile::remove(m_dir.filePath(u"rules.json"_s));
        QFile::remove(m_dir.filePath(u"preferences.ini"_s));
        m_store = std::make_unique<RuleStore>(m_dir.filePath(u"rules.json"_s));
        m_preferences = std::make_unique<Preferences>(m_dir.filePath(u"preferences.ini"_s));
        m_launcher = RecordingLauncher();
        m_launcher.store = m_store.get();
        m_router = std::make_unique<Router>(*m_store, *m_preferences, m_launcher);
        m_controller = std::make_unique<ChooserController>(*m_router, *m_store, *m_preferences, m_launcher);
        m_router->presentChooser = [this](const Router::Request& asked) { m_controller->enqueue(asked); };
        m_router->showAlert = [](const Router::Alert& alert) { return MessageBox::show(alert); };
        MessageBox::reset();
    }

    void cleanup()
    {
        m_controller.reset();
        m_router.reset();
        m_preferences.reset();
        m_store.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void queueShowsLinksInArrivalOrderInOnePanel()
    {
        const QStringList links = {u"https://one.example/"_s, u"https://two.example/"_s, u"https://three.example/"_s};
        for (const QString& link : links)
            m_controller->enqueue(request(link));
        QWidget* panel = m_controller->panel();
        const QPointer<QWidget> alive = panel;
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->windowTitle(), u"Open Link"_s);
        QVERIFY(panel->windowFlags().testFlags(Qt::Tool | Qt::WindowStaysOnTopHint));
        QVERIFY(QTest::qWaitForWindowActive(panel));
        QCOMPARE(QApplication::focusWidget(), m_controller->view()->browserRows().first());
        // Built while it was alone; the links behind it do not rebuild it.
        QCOMPARE(m_controller->view()->request().url, links[0]);
        QCOMPARE(textOf(*panel, u"waiting"_s), QString());

        const QPoint movedByUser = panel->pos() + QPoint(37, 23);
        panel->move(movedByUser);
        QTest::mouseClick(panel->findChild<QPushButton*>(u"cancel"_s), Qt::LeftButton);
        QCOMPARE(m_controller->panel(), panel);
        QCOMPARE(panel->pos(), movedByUser);
        QCOMPARE(m_controller->view()->request().url, links[1]);
        QCOMPARE(textOf(*m_controller->view(), u"waiting"_s), u"1 more link waiting"_s);

        QTest::mouseClick(m_controller->view()->browserRows()[1], Qt::LeftButton);
        QCOMPARE(m_controller->view()->request().url, links[2]);
        QCOMPARE(textOf(*m_controller->view(), u"waiting"_s), QString());
        m_controller->cancel();

        QVERIFY(m_controller->queue().isEmpty());
        QVERIFY(!m_controller->panel());
        QVERIFY(!alive->isVisible());
        QCOMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.opens[0].link, links[1]);
        QCOMPARE(m_launcher.opens[0].bundleID, u"b2"_s);
        QCOMPARE(m_router->recent().size(), 1);

        // After idle a fresh panel comes up for the next link.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!alive);
        m_controller->enqueue(request(u"https://four.example/"_s));
        QVERIFY(m_controller->panel() && m_controller->panel()->isVisible());
        QCOMPARE(m_controller->view()->request().url, u"https://four.example/"_s);
    }

    void rememberAddsAHostRuleBeforeOpening()
    {
        m_store->add(Rule{});
        m_controller->enqueue(request(u"https://Sub.Example.com:8443/a?b=c"_s, u"org.example.Mail"_s));
        ChooserView* view = m_controller->view();
        QVERIFY(view->rememberSwitch()->isEnabled());
        view->rememberSwitch()->setChecked(true);
        QTest::mouseClick(view->browserRows()[2], Qt::LeftButton);

        QCOMPARE(m_store->rules().size(), 2);
        const Rule& added = m_store->rules().last();
        QVERIFY(added.isEnabled);
        QCOMPARE(added.match, Rule::Match::host);
        QCOMPARE(added.pattern, u"Sub.Example.com"_s);
        QVERIFY(added.sourceBundleIDs.isEmpty());
        QCOMPARE(added.destination, Destination::browser(u"b3"_s));
        QCOMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.opens[0].rulesAtOpen, 2);
        QCOMPARE(m_launcher.opens[0].profile, std::nullopt);
        const Router::Routed& routed = m_router->recent().first();
        QCOMPARE(routed.url, u"https://Sub.Example.com:8443/a?b=c"_s);
        QCOMPARE(routed.browserBundleID, u"b3"_s);
        QCOMPARE(routed.profile, std::nullopt);
        QCOMPARE(routed.sourceBundleID, u"org.example.Mail"_s);

        // A link without a host cannot become a rule, even when asked to.
        for (const QString& link : {u"mailto:someone@example.com"_s, u"file:///tmp/page.html"_s}) {
            m_controller->enqueue(request(link));
            QVERIFY(!m_controller->view()->rememberSwitch()->isEnabled());
            m_controller->choose(*Browsers::browser(u"b1"_s), true, m_controller->queue().first());
            QCOMPARE(m_launcher.opens.last().link, link);
        }
        QCOMPARE(m_store->rules().size(), 2);
    }

    void shortcutsAndOrder()
    {
        m_preferences->setBrowserOrder({u"b7"_s, u"b3"_s});
        ChooserView view(request(u"https://example.com/"_s), 0, *m_preferences);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QCOMPARE(rowNames(view), QStringList({u"Browser 7"_s, u"Browser 3"_s, u"Browser 1"_s, u"Browser 2"_s,
                                              u"Browser 4"_s, u"Browser 5"_s, u"Browser 6"_s, u"Browser 8"_s,
                                              u"Browser 9"_s, u"Browser 10"_s, u"Browser 11"_s, u"Browser 12"_s}));
        QSignalSpy chosen(&view, &ChooserView::chosen);
        for (int index = 0; index < 12; ++index) {
            const auto* hint = view.browserRows()[index]->findChild<QLabel*>(u"shortcutHint"_s);
            QCOMPARE(hint ? hint->text() : QString(), index < 9 ? u"Ctrl+"_s + QString::number(index + 1) : QString());
            if (index < 9)
                QTest::keyClick(&view, static_cast<Qt::Key>(Qt::Key_1 + index), Qt::ControlModifier);
        }
        QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(chosen.size(), 9);
        for (int index = 0; index < 9; ++index)
            QCOMPARE(chosen[index][0].value<Browsers::Browser>().name, view.browserRows()[index]->accessibleName());

        // The keyboard starts on the first row; Return chooses it, with the switch as it stands.
        view.rememberSwitch()->setChecked(true);
        view.focusFirstRow();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(chosen.last()[0].value<Browsers::Browser>().bundleID, u"b7"_s);
        QCOMPARE(chosen.last()[1].toBool(), true);
    }

    void escapeCancelAndCloseButtonCancel()
    {
        for (int way = 0; way < 3; ++way) {
            m_controller->enqueue(request(u"https://first.example/"_s));
            m_controller->enqueue(request(u"https://second.example/"_s));
            QWidget* panel = m_controller->panel();
            QVERIFY(QTest::qWaitForWindowActive(panel));
            if (way == 0)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            else if (way == 1)
                QTest::mouseClick(panel->findChild<QPushButton*>(u"cancel"_s), Qt::LeftButton);
            else
                QVERIFY(!panel->close()); // the panel stays for the link still waiting
            QCOMPARE(m_controller->queue().size(), 1);
            QVERIFY(panel->isVisible());
            QCOMPARE(m_controller->view()->request().url, u"https://second.example/"_s);
            panel->close();
            QVERIFY(m_controller->queue().isEmpty());
            QVERIFY(!m_controller->panel());
            QVERIFY(!panel->isVisible());
        }
        QVERIFY(m_launcher.opens.isEmpty());
        QVERIFY(m_router->recent().isEmpty());

        // Going away with links waiting closes the panel without moving on to them.
        m_controller->enqueue(request(u"https://first.example/"_s));
        m_controller->enqueue(request(u"https://second.example/"_s));
        m_controller.reset();
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(
            std::none_of(windows.cbegin(), windows.cend(), [](const QWidget* window) { return window->isVisible(); }));
    }

    void viewShowsTheLinkItsSourceAndWhatWaits()
    {
        const QString longLink = u"https://example.com/"_s + QString(300, u'x') + u"/end"_s;
        ChooserView hosted(request(longLink, u"org.example.Chat"_s), 1, *m_preferences);
        QCOMPARE(textOf(hosted, u"title"_s), u"example.com"_s);
        QCOMPARE(textOf(hosted, u"source"_s), u"from Chat"_s);
        QVERIFY(hosted.findChild<QLabel*>(u"sourceIcon"_s));
        QCOMPARE(textOf(hosted, u"waiting"_s), u"1 more link waiting"_s);
        QCOMPARE(hosted.rememberSwitch()->text(), u"Always open example.com this way"_s);
        QCOMPARE(textOf(hosted, u"link"_s).count(u'\n'), 1);

        ChooserView hostless(request(u"mailto:someone@example.com"_s, u"org.example.Mail"_s), 2, *m_preferences);
        QCOMPARE(textOf(hostless, u"title"_s), u"mailto:someone@example.com"_s);
        QCOMPARE(textOf(hostless, u"source"_s), u"from Mail"_s);
        QVERIFY(!hostless.findChild<QLabel*>(u"sourceIcon"_s));
        QCOMPARE(textOf(hostless, u"waiting"_s), u"2 more links waiting"_s);
        QCOMPARE(hostless.rememberSwitch()->text(), u"Always open mailto:someone@example.com this way"_s);
        QVERIFY(!hostless.rememberSwitch()->isEnabled());

        m_catalog.browsers.clear();
        Browsers::invalidate();
        ChooserView empty(request(u"https://example.com/"_s), 0, *m_preferences);
        QVERIFY(!empty.findChild<QLabel*>(u"source"_s));
        QVERIFY(!empty.findChild<QLabel*>(u"waiting"_s));
        QVERIFY(empty.browserRows().isEmpty());
        QCOMPARE(textOf(empty, u"noBrowsers"_s), u"No other browsers are installed."_s);
    }

    void elidedLinesKeepBeginningAndEnd()
    {
        const QFontMetrics metrics(QApplication::font());
        const int width = metrics.horizontalAdvance(u"https://example.com/"_s);
        QCOMPARE(elidedLines(u"https://a.b/"_s, metrics, width, 2), QStringList({u"https://a.b/"_s}));
        const QString twoLines = u"https://example.com/https://a/"_s;
        QCOMPARE(elidedLines(twoLines, metrics, width, 2).join(QString()), twoLines);
        const QString link = u"https://example.com/"_s + QString(200, u'm') + u"?tail=1"_s;
        const QStringList lines = elidedLines(link, metrics, width, 2);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], u"https://example.com/"_s);
        QVERIFY(lines[1].startsWith(u'…') && link.endsWith(lines[1].mid(1)));
        for (const QString& line : lines)
            QVERIFY(metrics.horizontalAdvance(line) <= width);
        // A surrogate pair is never split across lines.
        const QString emoji = QString(40, u'a') + u"😀😀😀😀😀😀😀😀😀😀😀😀"_s;
        for (const QString& line : elidedLines(emoji, metrics, metrics.horizontalAdvance(QString(41, u'a')), 3))
            QVERIFY(!line.back().isHighSurrogate() && !line.front().isLowSurrogate());
    }

    void failedLaunchAlertIsAnsweredByTheHook()
    {
        m_controller->enqueue(request(u"https://example.com/a"_s, u"org.example.Mail"_s));
        QTest::mouseClick(m_controller->view()->browserRows()[1], Qt::LeftButton);
        QVERIFY(!m_controller->panel());

        MessageBox::setNextAnswer(1);
        m_launcher.failures.last()(u"No such file"_s);
        const MessageBox::Message expected{MessageBox::Style::warning,
                                           u"Browser 2 could not open the link"_s,
                                           u"No such file\n\nhttps://example.com/a"_s,
                                           {u"Choose Another Browser…"_s, u"Cancel"_s}};
        QCOMPARE(MessageBox::lastShown(), expected);
        QVERIFY(!m_controller->panel());

        // "Choose Another Browser…" asks again, for the link without a source.
        MessageBox::setNextAnswer(0);
        m_launcher.failures.last()(u"No such file"_s);
        QVERIFY(m_controller->panel());
        QCOMPARE(m_controller->queue().size(), 1);
        QCOMPARE(m_controller->queue().first().url, u"https://example.com/a"_s);
        QCOMPARE(m_controller->queue().first().sourceBundleID, QString());
    }

private:
    QTemporaryDir m_dir;
    FakeApplicationCatalog m_catalog;
    std::unique_ptr<RuleStore> m_store;
    std::unique_ptr<Preferences> m_preferences;
    RecordingLauncher m_launcher;
    std::unique_ptr<Router> m_router;
    std::unique_ptr<ChooserController> m_controller;
};

QTEST_MAIN(ChooserTest)
#include "tst_chooser.moc"
