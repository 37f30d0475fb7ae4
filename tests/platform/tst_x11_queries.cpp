#include "platform/x11/keyboard_state.h"
#include "platform/x11/window_activation.h"
#include "platform/x11/xembed_tray.h"

#include <QTest>

#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The X11 core protocol's key-and-button mask bits, as the server sends them.
enum : quint16 { Shift = 1, Lock = 2, Control = 4, Mod1 = 8, Mod2 = 16, Mod4 = 64, Button1 = 256 };

// A local X display that accepts connections and never answers: a hung server, which xcb waits on without end.
// It listens where xcb looks first on Linux, the abstract socket of its display number, so it leaves no file.
class SilentDisplay final {
public:
    SilentDisplay()
    {
        m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        for (int number = 4000 + ::getpid() % 1000; m_socket >= 0 && number < 6000; ++number) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const int length =
                std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "/tmp/.X11-unix/X%d", number);
            const auto size =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<std::size_t>(length));
            if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
                ::listen(m_socket, 8) == 0) {
                m_name = ":" + QByteArray::number(number);
                return;
            }
        }
    }
    ~SilentDisplay()
    {
        for (const int connection : std::as_const(m_accepted))
            ::close(connection);
        if (m_socket >= 0)
            ::close(m_socket);
    }
    SilentDisplay(const SilentDisplay&) = delete;
    SilentDisplay& operator=(const SilentDisplay&) = delete;

    QByteArray name() const { return m_name; }

    // The connections made to it so far; they stay open, unanswered.
    int connectionsMade()
    {
        while (true) {
            const int connection = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                return m_connections;
            m_accepted.append(connection);
            ++m_connections;
        }
    }

private:
    int m_socket = -1;
    int m_connections = 0;
    QList<int> m_accepted;
    QByteArray m_name;
};

} // namespace

// What Linkherd reads from the X server over its own connection.
class X11QueriesTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyMaskHoldsItsModifiers_data()
    {
        QTest::addColumn<quint16>("mask");
        QTest::addColumn<Qt::KeyboardModifiers>("held");

        QTest::newRow("none") << quint16(0) << Qt::KeyboardModifiers();
        QTest::newRow("Shift") << quint16(Shift) << Qt::KeyboardModifiers(Qt::ShiftModifier);
        QTest::newRow("Control") << quint16(Control) << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("Alt is Mod1") << quint16(Mod1) << Qt::KeyboardModifiers(Qt::AltModifier);
        QTest::newRow("Meta is Mod4") << quint16(Mod4) << Qt::KeyboardModifiers(Qt::MetaModifier);
        // Caps Lock and Num Lock (Mod2) are on for many users all day long, and a held button is no key.
        QTest::newRow("locks and a button are no modifiers")
            << quint16(Lock | Mod2 | Button1) << Qt::KeyboardModifiers();
        QTest::newRow("Alt with Num Lock on") << quint16(Mod1 | Mod2) << Qt::KeyboardModifiers(Qt::AltModifier);
        QTest::newRow("Control and Shift") << quint16(Control | Shift) << (Qt::ControlModifier | Qt::ShiftModifier);
    }
    void keyMaskHoldsItsModifiers()
    {
        QFETCH(quint16, mask);
        QFETCH(Qt::KeyboardModifiers, held);
        QCOMPARE(modifiersOfKeyMask(mask), held);
    }

    // These run on the link path: a server that never answers must neither hold a link for good nor be waited
    // on again for each later one.
    void aServerThatNeverAnswersIsGivenUpOnce()
    {
        SilentDisplay display;
        QVERIFY(!display.name().isEmpty());
        qputenv("DISPLAY", display.name());

        QCOMPARE(currentKeyboardModifiers(), Qt::KeyboardModifiers());
        QVERIFY(!XEmbedTray::isRunning());
        QVERIFY(WindowActivation::startupIDForInputAt(1234).isEmpty());
        QCOMPARE(display.connectionsMade(), 1);
    }
};

QTEST_GUILESS_MAIN(X11QueriesTest)
#include "tst_x11_queries.moc"
