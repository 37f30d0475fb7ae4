#include "app/window_process.h"
#include "support/test_files.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The resident's side of the windows, against a stand-in window process (tests/support/fakes/fake_windows.py) that
// records what it is told and answers, or ends, as each test has it.
class WindowProcessTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder.emplace();
        QVERIFY(m_folder->isValid());
        qputenv("LINKHERD_FAKE_WINDOWS", QFile::encodeName(m_folder->path()));
        m_windows.emplace(QStringLiteral(LINKHERD_FAKE_WINDOWS));
    }

    void cleanup()
    {
        m_windows.reset();
        m_folder.reset();
    }

    // A process that ends with a link and an alert unanswered: the next one is shown both, once each, the link
    // without the activation the first one took; its answers reach the resident.
    void waitingLinkAndAlertOutliveTheProcess()
    {
        Router::Request request;
        request.url = u"https://example.com/"_s;
        request.activation = shareActivation({u"T-1"_s, u"S-1"_s});
        const QString id = request.id.toString(QUuid::WithoutBraces);
        replies(1, {{}, u"exit 1"_s});
        replies(2, {{}, u"{\"kind\":\"finished\",\"id\":\"%1\"}\t{\"kind\":\"answer\",\"id\":1,\"button\":0}"_s.arg(id)});
        QList<int> answers;
        m_windows->present(request);
        m_windows->alert({u"Failed"_s, {}, {u"Choose Another Browser…"_s, u"Cancel"_s}},
                         [&answers](int button) { answers.append(button); });
        QTRY_COMPARE(answers, QList<int>{0});
        QVERIFY(m_windows->waiting().isEmpty());

        const QList<QJsonObject> first = received(1);
        QCOMPARE(kinds(first), (QStringList{u"present"_s, u"alert"_s}));
        QCOMPARE(first[0].value("activation"_L1).toObject().value("token"_L1).toString(), u"T-1"_s);
        const QList<QJsonObject> second = received(2);
        QCOMPARE(kinds(second), (QStringList{u"present"_s, u"alert"_s}));
        QCOMPARE(second[0].value("id"_L1).toString(), id);
        QVERIFY(!second[0].contains("activation"_L1));
        QCOMPARE(starts(), 2);
    }

    // A process that keeps ending is started three times; then the alert counts as cancelled and the link as
    // dropped, rather than Linkherd starting it forever.
    void aProcessThatKeepsEndingIsGivenUp()
    {
        for (int start = 1; start <= 3; ++start)
            replies(start, {u"exit 1"_s});
        QList<int> answers;
        m_windows->alert({u"Failed"_s, {}, {u"Choose Another Browser…"_s, u"Cancel"_s}},
                         [&answers](int button) { answers.append(button); });
        Router::Request request;
        request.url = u"https://example.com/"_s;
        m_windows->present(request);
        QTRY_COMPARE(answers, QList<int>{1});
        QTRY_VERIFY(m_windows->waiting().isEmpty());
        QCOMPARE(starts(), 3);
    }

    // Let go once it says it is idle having seen every message sent; an idle that crossed a later message keeps it.
    void letGoOnlyWhenIdleAfterEverything()
    {
        m_windows->setLinger(std::chrono::milliseconds(0));
        replies(1, {u"{\"kind\":\"idle\",\"seen\":0}"_s, u"{\"kind\":\"idle\",\"seen\":{SEEN}}"_s});
        m_windows->show(WindowProcess::Window::rules);
        m_windows->show(WindowProcess::Window::settings);
        QTRY_VERIFY(!m_windows->isRunning());
        QCOMPARE(kinds(received(1)), (QStringList{u"show"_s, u"show"_s}));
        QCOMPARE(starts(), 1);
        // The next window starts another.
        m_windows->show(WindowProcess::Window::feedback);
        QTRY_COMPARE(starts(), 2);
    }

    // A line chosen in the tray runs only from the menu the process shows now, with the time of the click.
    void trayLinesRunFromTheMenuShownNow()
    {
        QList<std::pair<QString, quint32>> ran;
        const auto menu = [&ran](const QString& name) {
            return QList<TrayMenuEntry>{{.text = name, .activated = [&ran, name](quint32 time) {
                                             ran.append({name, time});
                                         }}};
        };
        replies(1, {{},
                    u"{\"kind\":\"trayChosen\",\"menu\":1,\"entry\":0,\"inputTime\":4}\t"
                    "{\"kind\":\"trayChosen\",\"menu\":2,\"entry\":0,\"inputTime\":5}"_s});
        m_windows->setTrayMenu(menu(u"old"_s));
        m_windows->setTrayMenu(menu(u"new"_s));
        QTRY_COMPARE(ran.size(), 1);
        QCOMPARE(ran[0], std::pair(u"new"_s, 5u));
        const QList<QJsonObject> sent = received(1);
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[1].value("entries"_L1).toArray()[0].toObject().value("text"_L1).toString(), u"new"_s);
    }

private:
    void replies(int start, const QStringList& lines)
    {
        TestFiles::write(m_folder->filePath(u"replies-%1"_s.arg(start)), lines.join(u'\n').toUtf8());
    }

    QList<QJsonObject> received(int start) const
    {
        QList<QJsonObject> messages;
        QFile file(m_folder->filePath(u"received-%1"_s.arg(start)));
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (!line.isEmpty())
                    messages.append(QJsonDocument::fromJson(line).object());
            }
        }
        return messages;
    }

    static QStringList kinds(const QList<QJsonObject>& messages)
    {
        QStringList kinds;
        for (const QJsonObject& message : messages)
            kinds.append(message.value("kind"_L1).toString());
        return kinds;
    }

    int starts() const
    {
        QFile file(m_folder->filePath(u"starts"_s));
        return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : 0;
    }

    std::optional<QTemporaryDir> m_folder;
    std::optional<WindowProcess> m_windows;
};

QTEST_GUILESS_MAIN(WindowProcessTest)
#include "tst_window_process.moc"
