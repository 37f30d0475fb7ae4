#include "platform/x11/keyboard_state.h"
#include "platform/x11/window_activation.h"
#include "platform/x11/xembed_tray.h"

#include <QTest>

#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The X11 core protocol's key-and-button mask bits, as the server sends them.
enum : quint16 { Shift = 1, Lock = 2, Control = 4, Mod1 = 8, Mod2 = 16, Mod4 = 64, Button1 = 256 };

// A local X display that accepts connections and answers nothing, or only the connection's setup: a hung server,
// which xcb waits on without end. It listens where xcb looks first on Linux, the abstract socket of its display
// number, so it leaves no file.
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

    // Takes the next connection, answers its setup as a server with one screen, then reads its requests without
    // answering one until the client closes it; the number of requests.
    int answerSetupThenCount()
    {
        pollfd listening{m_socket, POLLIN, 0};
        if (::poll(&listening, 1, 10'000) != 1)
            return -1;
        const int connection = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return -1;
        m_accepted.append(connection);
        // The client's setup: byte order, protocol version, then its authorization's name and data, padded.
        const QByteArray setup = readFully(connection, 12);
        if (setup.size() < 12)
            return -1;
        const auto padded = [](int length) { return (length + 3) & ~3; };
        readFully(connection,
                  padded(quint8(setup[6]) | quint8(setup[7]) << 8) + padded(quint8(setup[8]) | quint8(setup[9]) << 8));
        QByteArray reply;
        const auto put = [&reply](quint32 value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                reply.append(char(value >> (8 * i) & 0xff));
        };
        put(1, 1), put(0, 1), put(11, 2), put(0, 2), put(19, 2);  // success, X11.0, 76 more bytes
        put(0, 4), put(0x200000, 4), put(0x1fffff, 4), put(0, 4); // release, resource IDs, motion buffer
        put(4, 2), put(0xffff, 2), put(1, 1), put(0, 1);          // vendor length, request length, 1 screen
        put(0, 4), put(8, 1), put(255, 1), put(0, 4);             // orders and formats, key codes
        reply.append("fake");
        put(0x100, 4), put(0x20, 4), put(0xffffff, 4), put(0, 4), put(0, 4); // root, colormap, pixels, masks
        put(1280, 2), put(800, 2), put(340, 2), put(210, 2), put(1, 2), put(1, 2);
        put(0x21, 4), put(0, 1), put(0, 1), put(24, 1), put(0, 1); // visual, backing, depth, no depths listed
        if (::write(connection, reply.constData(), size_t(reply.size())) != reply.size())
            return -1;
        int requests = 0;
        for (QByteArray header; (header = readFully(connection, 4)).size() == 4; ++requests)
            readFully(connection, 4 * (quint8(header[2]) | quint8(header[3]) << 8) - 4);
        return requests;
    }

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
    static QByteArray readFully(int connection, int length)
    {
        QByteArray data(qMax(length, 0), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t got = ::read(connection, data.data() + done, size_t(data.size() - done));
            if (got <= 0)
                break;
            done += got;
        }
        return data.first(done);
    }

    int m_socket = -1;
    int m_connections = 0;
    QList<int> m_accepted;
    QByteArray m_name;
};

// Asks the X server of display what the link path asks, in a child process, which starts without a connection:
// the process's connection is opened once and kept.
pid_t startQueries(const QByteArray& display)
{
    const pid_t child = ::fork();
    if (child == 0) {
        qputenv("DISPLAY", display);
        const bool nothing = currentKeyboardModifiers() == Qt::KeyboardModifiers() && !XEmbedTray::isRunning() &&
                             WindowActivation::startupIDForInputAt(1234).isEmpty() &&
                             currentKeyboardModifiers() == Qt::KeyboardModifiers();
        ::_exit(nothing ? 0 : 1);
    }
    return child;
}

bool saidNothing(pid_t child)
{
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

    // These run on the link path: a server that does not answer must neither hold a link for good nor be waited
    // on again by each later one.
    void aServerThatNeverAnswersIsGivenUpOnce()
    {
        SilentDisplay display;
        QVERIFY(!display.name().isEmpty());
        QVERIFY(saidNothing(startQueries(display.name())));
        QCOMPARE(display.connectionsMade(), 1);
    }
    void aServerThatStopsAnsweringIsLeftAlone()
    {
        SilentDisplay display;
        QVERIFY(!display.name().isEmpty());
        const pid_t child = startQueries(display.name());
        QCOMPARE(display.answerSetupThenCount(), 1);
        QVERIFY(saidNothing(child));
    }
};

QTEST_GUILESS_MAIN(X11QueriesTest)
#include "tst_x11_queries.moc"
