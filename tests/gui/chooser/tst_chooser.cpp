#include "gui/chooser/chooser_controller.h"
#include "gui/chooser/chooser_view.h"
#include "gui/common/message_box.h"
#include "services/router.h"
#include "support/fakes/recording_launcher.h"
#include "support/gui/window_fixture.h"
#include "support/rules.h"
#include "support/test_files.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

Router::Request request(const QString& url, const QString& source = QString())
{
    return Router::Request{QUuid::createUuid(), url, source, nullptr};
}

} // namespace

class ChooserTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QList<DesktopEntry> browsers;
        for (int number = 1; number <= 12; ++number)
            browsers.append(fakeEntry(u"b"_s + QString::number(number), u"Browser "_s + QString::number(number)));
        m_desktop.emplace(browsers);
        QVERIFY(m_desktop->folder.isValid());
        m_launcher = RecordingLauncher();
        m_rulesAtOpen.clear();
        m_launcher.onOpen = [this] { m_rulesAtOpen.append(m_desktop->store.rules().size()); };
        m_router = std::make_unique<Router>(m_desktop->store, m_desktop->preferences, m_launcher);
        m_controller = std::make_unique<ChooserController>(
            [this](const Router::Routed& chosen, const LaunchActivation& activation) {
                m_router->launch(chosen, activation);
            },
            m_desktop->store, m_desktop->preferences);
        m_router->presentChooser = [this](const Router::Request& asked) { m_controller->enqueue(asked); };
        m_router->showAlert = qOverload<const Router::Alert&, MessageBox::Answer>(&MessageBox::open);
        MessageBox::reset();
    }

    void cleanup()
    {
        m_controller.reset();
        m_router.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_desktop.reset();
    }

    // Escape, Cancel and the window's close button each drop the link on screen without opening it.
    void queueShowsLinksInArrivalOrderInOnePanel()
    {
        const QStringList links = {u"https://one.example/"_s, u"https://two.example/"_s, u"https://three.example/"_s};
        for (const QString& link : links)
            m_controller->enqueue(request(link));
        QWidget* panel = m_controller->panel();
        const QPointer<QWidget> alive = panel;
        QVERIFY(QTest::qWaitForWindowActive(panel));
        // Built while it was alone; the links behind it do not rebuild it.
        QCOMPARE(m_controller->view()->request().url, links[0]);
        QCOMPARE(waiting(), QString());

        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(m_controller->panel(), panel);
        QCOMPARE(m_controller->view()->request().url, links[1]);
        QCOMPARE(waiting(), u"1 more link waiting"_s);
        QTest::mouseClick(m_controller->view()->browserRows()[1], Qt::LeftButton);
        QCOMPARE(m_controller->panel(), panel);
        QCOMPARE(m_controller->view()->request().url, links[2]);
        QCOMPARE(waiting(), QString());
        QTest::mouseClick(m_controller->view()->findChild<QPushButton*>(u"cancel"_s), Qt::LeftButton);
        QVERIFY(!m_controller->panel());
        QVERIFY(!alive->isVisible());

        // After idle a fresh panel comes up for the next link.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!alive);
        m_controller->enqueue(request(u"https://four.example/"_s));
        m_controller->enqueue(request(u"https://five.example/"_s));
        QWidget* fresh = m_controller->panel();
        QVERIFY(fresh && fresh->isVisible());
        QVERIFY(!fresh->close()); // the panel stays for the link still waiting
        QCOMPARE(m_controller->view()->request().url, u"https://five.example/"_s);
        fresh->close();
        QVERIFY(!m_controller->panel());
        QVERIFY(!fresh->isVisible());
        QCOMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_launcher.opens[0].link, links[1]);
        QCOMPARE(m_router->recent().size(), 1);
    }

    void rememberAddsAHostRuleBeforeOpening()
    {
        m_desktop->store.add(Rule{});
        m_controller->enqueue(request(u"https://Sub.Example.com:8443/a?b=c"_s, u"org.example.Mail"_s));
        m_controller->view()->rememberSwitch()->setChecked(true);
        QTest::mouseClick(m_controller->view()->browserRows()[2], Qt::LeftButton);

        Rule added = hostRule(u"Sub.Example.com"_s, Destination::browser(u"b3"_s));
        added.id = m_desktop->store.rules().last().id;
        QCOMPARE(m_desktop->store.rules().mid(1), QList{added});
        QCOMPARE(m_launcher.opens.size(), 1);
        QCOMPARE(m_rulesAtOpen, QList<qsizetype>{2});

        // A link without a host cannot become a rule, even when asked to.
        m_controller->enqueue(request(u"mailto:someone@example.com"_s));
        QVERIFY(!m_controller->view()->rememberSwitch()->isEnabled());
        m_controller->choose(*Browsers::browser(u"b1"_s), QString(), true, m_controller->queue().first());
        QCOMPARE(m_launcher.opens.last().link, u"mailto:someone@example.com"_s);
        QCOMPARE(m_desktop->store.rules().size(), 2);
    }

    // The browsers named in the user's order come first; the first nine rows have Ctrl+1…Ctrl+9.
    void shortcutsAndOrder()
    {
        m_desktop->preferences.setBrowserOrder({u"b7"_s, u"b3"_s});
        ChooserView view(request(u"https://example.com/"_s), 0, m_desktop->preferences);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QSignalSpy chosen(&view, &ChooserView::chosen);
        for (int digit = 0; digit <= 9; ++digit)
            QTest::keyClick(&view, static_cast<Qt::Key>(Qt::Key_0 + digit), Qt::ControlModifier);
        QStringList names;
        for (const QList<QVariant>& arguments : chosen)
            names.append(arguments[0].value<Browsers::Browser>().name);
        QCOMPARE(names, QStringList({u"Browser 7"_s, u"Browser 3"_s, u"Browser 1"_s, u"Browser 2"_s, u"Browser 4"_s,
                                     u"Browser 5"_s, u"Browser 6"_s, u"Browser 8"_s, u"Browser 9"_s}));
        for (qsizetype index = 9; index < 12; ++index)
            QVERIFY(!view.browserRows()[index]->findChild<QLabel*>(u"shortcutHint"_s));
    }

    // With "Show profiles" on, a browser of two or more profiles has a row for each, the shortcuts run over the
    // rows, and remembering the choice makes a rule with the profile.
    void profilesAreRowsOfTheirOwn()
    {
        qputenv("HOME", QFile::encodeName(m_desktop->folder.path()));
        QVERIFY(QDir().mkpath(m_desktop->folder.filePath(u".mozilla/firefox"_s)));
        TestFiles::write(
            m_desktop->folder.filePath(u".mozilla/firefox/profiles.ini"_s),
            "[Profile0]\nName=Work\nIsRelative=1\nPath=w.Work\n[Profile1]\nName=Home\nIsRelative=1\nPath=h.Home\n");
        m_desktop->catalog.browsers = {fakeEntry(u"b1"_s, u"Browser 1"_s), fakeEntry(u"firefox"_s, u"Firefox"_s)};
        Browsers::invalidate();
        const auto rowNames = [this] {
            QStringList names;
            for (const QAbstractButton* row : m_controller->view()->browserRows())
                names.append(row->accessibleName());
            return names;
        };

        m_controller->enqueue(request(u"https://one.example/"_s));
        QCOMPARE(rowNames(), (QStringList{u"Browser 1"_s, u"Firefox"_s}));
        m_controller->cancel();

        m_desktop->preferences.setChooserShowsProfiles(true);
        m_controller->enqueue(request(u"https://two.example/"_s));
        QCOMPARE(rowNames(), (QStringList{u"Browser 1"_s, u"Firefox — Home"_s, u"Firefox — Work"_s}));
        QCOMPARE(m_controller->view()->browserRows()[2]->findChild<QLabel*>(u"shortcutHint"_s)->text(), u"Ctrl+3"_s);
        m_controller->view()->rememberSwitch()->setChecked(true);
        QTest::mouseClick(m_controller->view()->browserRows()[2], Qt::LeftButton);
        QCOMPARE(m_launcher.opens.last().profile, u"w.Work"_s);
        QCOMPARE(m_desktop->store.rules().last().destination, Destination::browser(u"firefox"_s, u"w.Work"_s));
    }

    void sourceName_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("shown");
        QTest::newRow("installed application") << u"org.example.Xmessage"_s << u"from Mail"_s;
        QTest::newRow("application without a name") << u"org.example.Nameless"_s << u"from Nameless"_s;
    }

    // Where a link came from reads as the application's own name, when the desktop knows one (for browsers and
    // what is not installed, see tst_browsers).
    void sourceName()
    {
        QFETCH(QString, source);
        m_desktop->catalog.applications = {fakeEntry(u"org.example.Xmessage"_s, u"Mail"_s),
                                           fakeEntry(u"org.example.Nameless"_s, QString())};
        Browsers::invalidate();
        const ChooserView view(request(u"https://example.com/"_s, source), 0, m_desktop->preferences);
        QTEST(view.findChild<QLabel*>(u"source"_s)->text(), "shown");
    }

    // A long link keeps its beginning and its end.
    void elidedLinesKeepBeginningAndEnd()
    {
        const QFontMetrics metrics(QApplication::font());
        const QString link = u"https://example.com/"_s + QString(200, u'm') + u"?tail=1"_s;
        const QStringList lines = elidedLines(link, metrics, metrics.horizontalAdvance(u"https://example.com/"_s), 2);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], u"https://example.com/"_s);
        QVERIFY(lines[1].startsWith(u'…') && link.endsWith(lines[1].mid(1)));
        // Narrower than one character, a line still takes one, and a surrogate pair stays whole.
        QCOMPARE(elidedLines(u"😀😀"_s, metrics, 1, 2).first(), u"😀"_s);
    }

    // A link that joins the queue, or raisePanel() (launching Linkherd again), brings the panel back to the
    // front, un-minimized and active.
    void panelComesBackWhenALinkJoins()
    {
        m_controller->enqueue(request(u"https://one.example/"_s));
        QWidget* panel = m_controller->panel();
        QVERIFY(QTest::qWaitForWindowActive(panel));

        QWidget other;
        const auto bury = [&] {
            panel->setWindowState(Qt::WindowMinimized);
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QVERIFY(!panel->isActiveWindow());
        };
        bury();
        m_controller->enqueue(request(u"https://two.example/"_s));
        QCOMPARE(m_controller->panel(), panel);
        QVERIFY(!panel->isMinimized());
        QVERIFY(QTest::qWaitForWindowActive(panel));

        bury();
        QVERIFY(m_controller->raisePanel());
        QVERIFY(!panel->isMinimized());
        QVERIFY(QTest::qWaitForWindowActive(panel));
        m_controller->cancel();
        m_controller->cancel();
        QVERIFY(!m_controller->raisePanel());
    }

    // Every link on screen, not only the first, starts with the focus ring on its first browser.
    void focusRingOnEveryLink()
    {
        for (const QString& link : {u"https://one.example/"_s, u"https://two.example/"_s, u"https://three.example/"_s})
            m_controller->enqueue(request(link));
        QVERIFY(QTest::qWaitForWindowActive(m_controller->panel()));
        for (int shown = 0; shown < 3; ++shown) {
            QAbstractButton* first = m_controller->view()->browserRows().first();
            QTRY_VERIFY(first->isVisible());
            QCOMPARE(QApplication::focusWidget(), first);
            QVERIFY(ringDrawn(first));
            QTest::keyClick(first, Qt::Key_Return);
        }
        QCOMPARE(m_launcher.opens.size(), 3);
    }

    // Links refused together make one alert that waits for the user without an event loop of its own; alerts
    // that each ran one, nested in the one before, took the application down after a few thousand links.
    void refusedLinksShowOneAlertWithoutBlocking()
    {
        for (int number = 1; number <= 3; ++number)
            m_controller->enqueue(request(u"https://example.com/"_s + QString::number(number)));
        for (int number = 1; number <= 3; ++number)
            QTest::mouseClick(m_controller->view()->browserRows()[0], Qt::LeftButton);
        QCOMPARE(m_launcher.failures.size(), 3);

        // An alert that runs an event loop of its own is closed at once, so that the test ends either way.
        const int level = QThread::currentThread()->loopLevel();
        int deepest = level;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            deepest = std::max(deepest, QThread::currentThread()->loopLevel());
            if (QThread::currentThread()->loopLevel() > level && QApplication::activeModalWidget())
                QApplication::activeModalWidget()->close();
        });
        watcher.start(5);
        for (const BrowserLaunching::FailureHandler& fail : m_launcher.failures)
            fail(u"No such file"_s);
        QTRY_VERIFY(visibleAlert() || deepest > level);
        QCOMPARE(deepest, level);
        QMessageBox* alert = visibleAlert();
        QTest::qWait(50);
        QCOMPARE(deepest, level);
        QCOMPARE(visibleAlerts().size(), 1);
        QCOMPARE(alert->text(), u"3 links could not be opened"_s);
        QVERIFY(alert->informativeText().startsWith(u"Browser 1: No such file\nhttps://example.com/1\n\n"_s));
        QCOMPARE(alert->buttons().size(), 2);
        const QList<QAbstractButton*> buttons = alert->buttons();
        const auto choose = std::find_if(buttons.cbegin(), buttons.cend(), [](const QAbstractButton* button) {
            return button->text() == u"Choose Another Browser…"_s;
        });
        QVERIFY(choose != buttons.cend());
        QTest::mouseClick(*choose, Qt::LeftButton);
        QTRY_COMPARE(m_controller->queue().size(), 3);
        QCOMPARE(m_controller->queue().last().url, u"https://example.com/3"_s);
        QTRY_VERIFY(!visibleAlert());
    }

private:
    static QList<QMessageBox*> visibleAlerts()
    {
        QList<QMessageBox*> alerts;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
                alerts.append(box);
        }
        return alerts;
    }

    static QMessageBox* visibleAlert() { return visibleAlerts().value(0); }

    // The row as it paints itself shows the focus ring: its top edge differs from a row without focus.
    bool ringDrawn(QAbstractButton* row) const
    {
        QAbstractButton* plain = m_controller->view()->browserRows().last();
        const QImage focused = row->grab().toImage();
        const QImage unfocused = plain->grab().toImage();
        const QPoint top(focused.width() / 2, 1);
        return focused.pixel(top) != unfocused.pixel(top);
    }

    // The count of links behind the one on screen, as the panel shows it.
    QString waiting() const
    {
        const auto* label = m_controller->view()->findChild<QLabel*>(u"waiting"_s);
        return label ? label->text() : QString();
    }

    std::optional<WindowFixture> m_desktop;
    RecordingLauncher m_launcher;
    QList<qsizetype> m_rulesAtOpen; // how many rules the store held at each launch
    std::unique_ptr<Router> m_router;
    std::unique_ptr<ChooserController> m_controller;
};

QTEST_MAIN(ChooserTest)
#include "tst_chooser.moc"
