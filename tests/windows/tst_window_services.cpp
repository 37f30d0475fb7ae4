#include "gui/chooser/chooser_controller.h"
#include "platform/file_manager.h"
#include "support/gui/window_fixture.h"
#include "windows/resident_channel.h"
#include "windows/window_services.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct NoFileManager final : FileManager {
    void showItem(const QString&) override {}
};

// The resident's end of the channel: sends messages and collects what the windows say.
class ResidentEnd {
public:
    explicit ResidentEnd(int socket) : m_socket(socket) { ::fcntl(m_socket, F_SETFL, O_NONBLOCK); }
    ~ResidentEnd() { ::close(m_socket); }
    Q_DISABLE_COPY_MOVE(ResidentEnd)

    void send(const QString& kind, const QJsonObject& fields = {})
    {
        const QByteArray line = WindowMessages::encode(kind, fields);
        QCOMPARE(::write(m_socket, line.constData(), static_cast<size_t>(line.size())), line.size());
    }

    // The messages of that kind received so far.
    QList<QJsonObject> said(const QString& kind)
    {
        char buffer[65536];
        for (ssize_t count; (count = ::read(m_socket, buffer, sizeof buffer)) > 0;)
            m_reader.append(QByteArray(buffer, count));
        while (std::optional<WindowMessages::Message> message = m_reader.next())
            m_messages.append(*message);
        QList<QJsonObject> found;
        for (const WindowMessages::Message& message : std::as_const(m_messages)) {
            if (message.kind == kind)
                found.append(message.fields);
        }
        return found;
    }

private:
    int m_socket;
    WindowMessages::LineReader m_reader;
    QList<WindowMessages::Message> m_messages;
};

} // namespace

// Linkherd's window process as the resident drives it: what it is told to show, and what it tells back.
class WindowServicesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_desktop.emplace(QList<DesktopEntry>{fakeEntry(u"b1"_s, u"Browser 1"_s), fakeEntry(u"b2"_s, u"Browser 2"_s)});
        int sockets[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
        m_resident.emplace(sockets[1]);
        m_channel = new ResidentChannel(sockets[0], ::dup(sockets[0]), this);
        m_services.emplace(WindowServices::Desktop{m_desktop->catalog, m_desktop->handlers, m_desktop->autostart,
                                                   m_fileManager},
                           m_desktop->store, m_desktop->preferences, *m_channel);
    }

    void cleanup()
    {
        m_services.reset();
        delete m_channel;
        m_resident.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_desktop.reset();
    }

    // The panel asks about the link it is sent; the choice goes back for the resident to open, the request is
    // finished, and with nothing left on screen the process says it is idle, having seen both messages. An alert
    // nobody can see (offscreen) is answered at once with its last button.
    void choiceAndAnswersGoBackToTheResident()
    {
        Router::Request request;
        request.url = u"https://example.com/"_s;
        request.sourceDesktopID = u"org.example.Mail"_s;
        m_resident->send(u"present"_s, WindowMessages::toJson(request));
        QTRY_VERIFY(m_services->chooser().panel() && m_services->chooser().panel()->isVisible());
        QTest::keyClick(m_services->chooser().panel(), Qt::Key_2, Qt::ControlModifier);
        QTRY_COMPARE(m_resident->said(u"launch"_s).size(), 1);
        const WindowMessages::Launch launch = WindowMessages::launchFromJson(m_resident->said(u"launch"_s)[0]);
        QCOMPARE(launch.routed.url, request.url);
        QCOMPARE(launch.routed.browserDesktopID, u"b2"_s);
        QCOMPARE(launch.routed.sourceDesktopID, request.sourceDesktopID);
        QCOMPARE(m_resident->said(u"finished"_s).value(0).value("id"_L1).toString(),
                 request.id.toString(QUuid::WithoutBraces));

        m_resident->send(u"alert"_s, {{"id"_L1, 7}, {"message"_L1, u"Failed"_s},
                                      {"buttons"_L1, QJsonArray{u"Choose Another Browser…"_s, u"Cancel"_s}}});
        QTRY_COMPARE(m_resident->said(u"answer"_s).size(), 1);
        QCOMPARE(m_resident->said(u"answer"_s)[0], (QJsonObject{{"kind"_L1, u"answer"_s}, {"id"_L1, 7}, {"button"_L1, 1}}));
        QTRY_VERIFY(!m_resident->said(u"idle"_s).isEmpty());
        QCOMPARE(m_resident->said(u"idle"_s).last().value("seen"_L1).toInt(), 2);
    }

    // An X11 tray's icon, never blank, with the resident's menu behind a left click as behind a right one; a line
    // chosen goes back with the menu's number, and the menu about to show is told so the resident can catch up.
    void trayIconDrawsTheResidentsMenu()
    {
        const QIcon icon = WindowServices::applicationIcon();
        for (const int size : {16, 22, 48})
            QVERIFY(qAlpha(icon.pixmap(size).toImage().pixel(size / 2, size / 2)) > 0);

        QJsonObject tray = WindowMessages::toJson(QList<TrayMenuEntry>{
            {.text = u"Rules…"_s, .shortcut = u"Ctrl+R"_s}, {.separator = true}, {.text = u"Quit Linkherd"_s}});
        tray.insert("menu"_L1, 3);
        tray.insert("shown"_L1, true);
        m_resident->send(u"tray"_s, tray);
        QTRY_VERIFY(m_services->trayIcon());
        QMenu* menu = m_services->trayIcon()->contextMenu();
        QVERIFY(!m_services->trayIcon()->icon().isNull());
        Q_EMIT m_services->trayIcon()->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(menu->isVisible());
        QTRY_COMPARE(m_resident->said(u"trayAboutToShow"_s).size(), 1);
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.size(), 3);
        QVERIFY(actions[1]->isSeparator());
        actions[2]->trigger();
        QTRY_COMPARE(m_resident->said(u"trayChosen"_s).size(), 1);
        QCOMPARE(m_resident->said(u"trayChosen"_s)[0].value("menu"_L1).toInt(), 3);
        QCOMPARE(m_resident->said(u"trayChosen"_s)[0].value("entry"_L1).toInt(), 2);
        menu->hide();
        // Kept while the icon is shown; the settings switch it off and the process is idle.
        QVERIFY(m_resident->said(u"idle"_s).isEmpty());
        m_resident->send(u"tray"_s, {{"menu"_L1, 4}, {"shown"_L1, false}});
        QTRY_VERIFY(!m_services->trayIcon());
        QTRY_COMPARE(m_resident->said(u"idle"_s).size(), 1);
    }

private:
    std::optional<WindowFixture> m_desktop;
    NoFileManager m_fileManager;
    std::optional<ResidentEnd> m_resident;
    ResidentChannel* m_channel = nullptr;
    std::optional<WindowServices> m_services;
};

QTEST_MAIN(WindowServicesTest)
#include "tst_window_services.moc"
