#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "KelvoInfo.h"
#include "PreferenceKeys.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkReply>
#include <QPushButton>
#include <QSplashScreen>
#include <QSysInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

namespace {

KelvoApplication* app()
{
    return KelvoApplication::instance();
}

// An HTTP server on 127.0.0.1 that answers each request with the next answer of its script
// and closes the connection; it keeps the requests it was sent.
class StubServer : public QObject
{
public:
    struct Answer
    {
        QByteArray response; // the whole response, status line first
        bool held = false; // sent only on release()
        bool never = false; // never sent
    };

    StubServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            }
        });
    }

    QString url(const QString& path = QStringLiteral("/check")) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

    void answer(const QByteArray& response, bool held = false)
    {
        m_script.append({response, held, false});
    }
    void neverAnswer() { m_script.append({QByteArray(), false, true}); }
    // A reply with the headers given (no heading when `heading` is null) and the body.
    void answerVersion(const QByteArray& version, const QByteArray& heading = "Kelvo 9",
                       const QByteArray& body = "It is here.", bool held = false)
    {
        QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
        if (!version.isNull())
            response += "lastestVersion: " + version + "\r\n";
        if (!heading.isNull())
            response += "heading: " + heading + "\r\n";
        response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        answer(response, held);
    }
    void release()
    {
        for (QTcpSocket* socket : std::exchange(m_held, {}))
            send(socket, m_heldResponses.takeFirst());
    }

    // The head of each request received, in order.
    QList<QByteArray> requests;
    int connections() const { return m_connections; }

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        requests.append(buffer.left(end));
        buffer.clear();
        const Answer next
            = m_script.isEmpty() ? Answer {"HTTP/1.1 404 Not Found\r\n\r\n"} : m_script.takeFirst();
        if (next.never)
            return;
        if (next.held) {
            m_held.append(socket);
            m_heldResponses.append(next.response);
            return;
        }
        send(socket, next.response);
    }

    static void send(QTcpSocket* socket, QByteArray response)
    {
        const qsizetype head = response.indexOf("\r\n");
        response.insert(head + 2, "Connection: close\r\n");
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QList<Answer> m_script;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QTcpSocket*> m_held;
    QList<QByteArray> m_heldResponses;
    int m_connections = 0;
};

QList<QMessageBox*> updateBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->windowTitle() == QStringLiteral("Kelvo Update"))
            boxes.append(box);
    }
    return boxes;
}

QLabel* informativeLabel(QMessageBox* box)
{
    return box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
}

// Closes the boxes shown; the check they belong to ends with them.
void closeBoxes()
{
    for (QMessageBox* box : updateBoxes())
        box->button(QMessageBox::Ok)->click();
    settle();
}

QString failureCode(QNetworkReply::NetworkError error)
{
    return QStringLiteral("Code: %1").arg(int(error));
}

// Records the addresses handed to the desktop.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

// The update check against a server of the test's own, the help links and the About box.
class TestAppUpdate : public QObject
{
    Q_OBJECT

private:
    QSettings* store() const { return app()->settings(); }

    void configure(const StubServer& server)
    {
        store()->setValue(PreferenceKeys::UpdateCheckUrl, server.url());
    }

    // The one box the check in progress shows, once it is shown; null when none or several are.
    static QMessageBox* waitForBox(int timeoutMs = 5000)
    {
        if (!QTest::qWaitFor([] { return !updateBoxes().isEmpty(); }, timeoutMs))
            return nullptr;
        return updateBoxes().size() == 1 ? updateBoxes().first() : nullptr;
    }

    // Runs an automatic check to its end; true when it showed a box.
    bool automaticCheckShows(StubServer& server)
    {
        const qsizetype before = server.requests.size();
        app()->checkForUpdate(true);
        if (!QTest::qWaitFor([&] { return server.requests.size() > before; }, 5000))
            return false;
        QTest::qWait(200);
        settle();
        const bool shown = !updateBoxes().isEmpty();
        closeBoxes();
        return shown;
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    void cleanup()
    {
        closeBoxes();
        QTRY_VERIFY(updateBoxes().isEmpty());
        store()->remove(PreferenceKeys::UpdateCheckUrl);
        store()->remove(PreferenceKeys::CheckForUpdateLatestKnownVersion);
        app()->setUpdateCheckTimeout(15000);
    }

    void versionStrings()
    {
        QCOMPARE(Kelvo::longVersionString(),
                 QStringLiteral("Kelvo/2.1.0.5 (Linux; %1)").arg(QSysInfo::buildCpuArchitecture()));
        QVERIFY(Kelvo::kelvoSupportUrl(QString()).isEmpty());
    }

    void noServerConfigured()
    {
        StubServer server;
        QVERIFY(store()->value(PreferenceKeys::UpdateCheckUrl).toString().isEmpty());
        app()->checkForUpdate(true);
        QTest::qWait(200);
        QVERIFY(updateBoxes().isEmpty());

        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("No update server is configured."));
        closeBoxes();

        // An address that is no web address is not asked.
        store()->setValue(PreferenceKeys::UpdateCheckUrl,
                          server.url().replace(QStringLiteral("http:"), QStringLiteral("ftp:")));
        app()->checkForUpdate(true);
        QTest::qWait(200);
        QVERIFY(updateBoxes().isEmpty());
        app()->checkForUpdate(false);
        box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Kelvo update check failed\t"));
        QCOMPARE(server.connections(), 0);
    }

    void loginAnsweredOnce()
    {
        StubServer server;
        configure(server);
        const QByteArray challenge = "HTTP/1.1 401 Unauthorized\r\n"
                                     "WWW-Authenticate: Basic realm=\"updates\"\r\n"
                                     "Content-Length: 0\r\n\r\n";
        server.answer(challenge);
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "Kelvo 9 is out", "Get it now.");
        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Kelvo 9 is out\t"));
        QCOMPARE(box->informativeText(), QStringLiteral("Get it now."));
        QCOMPARE(server.requests.size(), 2);
        QVERIFY(server.requests.first().contains(
            "User-Agent: " + Kelvo::longVersionString().toUtf8() + "\r\n"));
        QVERIFY(!server.requests.first().contains("Authorization:"));
        // The second request logs in: a six-character user and a hexadecimal 32-bit password.
        const QRegularExpression basic(QStringLiteral("Authorization: Basic (\\S+)"));
        const QRegularExpressionMatch match
            = basic.match(QString::fromLatin1(server.requests.at(1)));
        QVERIFY(match.hasMatch());
        const QString credentials
            = QString::fromLatin1(QByteArray::fromBase64(match.captured(1).toLatin1()));
        QVERIFY2(QRegularExpression(QStringLiteral("^[ -~]{6}:[0-9a-f]{1,8}$"))
                     .match(credentials)
                     .hasMatch(),
                 qPrintable(credentials));
        closeBoxes();
        QTRY_COMPARE(store()->value(PreferenceKeys::CheckForUpdateLatestKnownVersion).toString(),
                     QStringLiteral("Kelvo/9.0.0.0 (Linux; any)"));

        // Refused after the login: the check gives up and says so.
        closeBoxes();
        StubServer refusing;
        configure(refusing);
        refusing.answer(challenge);
        refusing.answer(challenge);
        refusing.answer(challenge);
        app()->checkForUpdate(false);
        box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Kelvo update check failed\t"));
        QVERIFY(box->informativeText().endsWith(
            failureCode(QNetworkReply::AuthenticationRequiredError)));
        QCOMPARE(refusing.requests.size(), 2);
        QVERIFY(refusing.requests.at(1).contains("Authorization: Basic "));
    }

    void noRedirectToAnotherServer()
    {
        StubServer server;
        StubServer elsewhere;
        configure(server);
        server.answer("HTTP/1.1 302 Found\r\nLocation: " + elsewhere.url().toLatin1()
                      + "\r\nContent-Length: 0\r\n\r\n");
        elsewhere.answerVersion("Kelvo/9.0.0.0 (Linux; any)");
        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Kelvo update check failed\t"));
        QCOMPARE(elsewhere.connections(), 0);

        // A redirect on the same server is followed.
        closeBoxes();
        server.answer("HTTP/1.1 302 Found\r\nLocation: " + server.url("/moved").toLatin1()
                      + "\r\nContent-Length: 0\r\n\r\n");
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "Moved");
        app()->checkForUpdate(false);
        box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Moved\t"));
        QVERIFY(server.requests.last().startsWith("GET /moved "));
    }

    void failuresShowOnlyWhenAsked_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("code");
        QTest::newRow("server error") << "500" << int(QNetworkReply::InternalServerError);
        QTest::newRow("refused") << "refused" << int(QNetworkReply::ConnectionRefusedError);
        QTest::newRow("stalled") << "stalled" << int(QNetworkReply::OperationCanceledError);
    }

    void failuresShowOnlyWhenAsked()
    {
        QFETCH(QString, failure);
        QFETCH(int, code);
        StubServer server;
        configure(server);
        app()->setUpdateCheckTimeout(300);
        const auto script = [&] {
            if (failure == QLatin1String("500"))
                server.answer("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
            else if (failure == QLatin1String("stalled"))
                server.neverAnswer();
        };
        if (failure == QLatin1String("refused")) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            store()->setValue(PreferenceKeys::UpdateCheckUrl,
                              QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()));
        }

        script();
        app()->checkForUpdate(true);
        QTest::qWait(1000);
        QVERIFY(updateBoxes().isEmpty());

        script();
        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Kelvo update check failed\t"));
        QVERIFY2(box->informativeText().endsWith(failureCode(QNetworkReply::NetworkError(code))),
                 qPrintable(box->informativeText()));
        QVERIFY(store()->value(PreferenceKeys::CheckForUpdateLatestKnownVersion).isNull());
    }

    void anAutomaticCheckTellsOfAVersionOnce()
    {
        StubServer server;
        configure(server);
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)");
        QVERIFY(automaticCheckShows(server));
        QTRY_COMPARE(store()->value(PreferenceKeys::CheckForUpdateLatestKnownVersion).toString(),
                     QStringLiteral("Kelvo/9.0.0.0 (Linux; any)"));
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)");
        QVERIFY(!automaticCheckShows(server));
        // Never the version running.
        server.answerVersion(Kelvo::longVersionString().toUtf8());
        QVERIFY(!automaticCheckShows(server));
        server.answerVersion("Kelvo/9.1.0.0 (Linux; any)");
        QVERIFY(automaticCheckShows(server));

        // Asked for, the same version is shown again.
        server.answerVersion("Kelvo/9.1.0.0 (Linux; any)", "Still 9.1");
        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Still 9.1\t"));
    }

    void aReplyWithoutVersionIsAFailure()
    {
        StubServer server;
        configure(server);
        store()->setValue(PreferenceKeys::CheckForUpdateLatestKnownVersion, QStringLiteral("old"));
        server.answerVersion(QByteArray(), "No version");
        QVERIFY(!automaticCheckShows(server));
        QCOMPARE(store()->value(PreferenceKeys::CheckForUpdateLatestKnownVersion).toString(),
                 QStringLiteral("old"));

        server.answerVersion(QByteArray(), "No version");
        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Kelvo update check failed\t"));
        settle();
        QCOMPARE(store()->value(PreferenceKeys::CheckForUpdateLatestKnownVersion).toString(),
                 QStringLiteral("old"));
    }

    void theServersTextIsShownAsItStands()
    {
        StubServer server;
        configure(server);
        QByteArray body = "<h1>Kelvo 9</h1> &amp; more";
        const qsizetype shown = body.size();
        body += '\0' + QByteArray("hidden");
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "<b>New</b>", body);
        app()->checkForUpdate(false);
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("<b>New</b>\t"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->informativeText(), QString::fromLatin1(body.left(shown)));
        QVERIFY(informativeLabel(box));
        QCOMPARE(informativeLabel(box)->textFormat(), Qt::PlainText);
        closeBoxes();

        // A long text is cut at 64 KiB.
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "Long", QByteArray(100000, 'a'));
        app()->checkForUpdate(false);
        box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->informativeText().size(), 64 * 1024);
    }

    void aCheckInProgressIsNotRepeated()
    {
        StubServer server;
        configure(server);
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "Once");
        app()->checkForUpdate(false);
        app()->checkForUpdate(false);
        QVERIFY(waitForBox());
        QTest::qWait(200);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(updateBoxes().size(), 1);
        // While its box is open the check is not over.
        app()->checkForUpdate(false);
        QTest::qWait(200);
        QCOMPARE(server.requests.size(), 1);
        closeBoxes();
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "Twice");
        app()->checkForUpdate(false);
        QVERIFY(waitForBox());
        QCOMPARE(server.requests.size(), 2);
    }

    void askingDuringAnAutomaticCheckShowsItsResult()
    {
        StubServer server;
        configure(server);
        store()->setValue(PreferenceKeys::CheckForUpdateLatestKnownVersion,
                          QStringLiteral("Kelvo/9.0.0.0 (Linux; any)"));
        server.answerVersion("Kelvo/9.0.0.0 (Linux; any)", "Known", "Already told.", true);
        app()->checkForUpdate(true);
        QTRY_COMPARE(server.requests.size(), 1);
        app()->checkForUpdate(false);
        server.release();
        QMessageBox* box = waitForBox();
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Known\t"));
        QCOMPARE(server.requests.size(), 1);
    }

    void helpLinks()
    {
        UrlRecorder recorder;
        for (const char* scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "open");

        // Nothing is configured: nothing opens.
        app()->openKelvoWebsiteUrl();
        app()->openKelvoCommunityUrl();
        app()->openKelvoSupportUrl();
        QVERIFY(recorder.opened.isEmpty());

        store()->setValue(PreferenceKeys::WebsiteUrl, QStringLiteral("https://kelvo.example/"));
        store()->setValue(PreferenceKeys::SupportMailAddress, QStringLiteral("help@kelvo.example"));
        app()->openKelvoWebsiteUrl();
        app()->openKelvoCommunityUrl();
        app()->openKelvoSupportUrl();
        store()->remove(PreferenceKeys::WebsiteUrl);
        store()->remove(PreferenceKeys::SupportMailAddress);
        QCOMPARE(recorder.opened.size(), 3);
        QCOMPARE(recorder.opened.at(0), QUrl(QStringLiteral("https://kelvo.example/")));
        QCOMPARE(recorder.opened.at(1), QUrl(QStringLiteral("https://kelvo.example/community/")));
        const QUrl mail = recorder.opened.at(2);
        QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
        QCOMPARE(mail.path(), QStringLiteral("help@kelvo.example"));
        QCOMPARE(QUrlQuery(mail).queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                 Kelvo::longVersionString() + QStringLiteral(" Support"));

        for (const char* scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    void theManual()
    {
        QTemporaryDir manual;
        qputenv("KELVO_DOC", manual.path().toLocal8Bit());
        // The desktop's opener is a script of the test's own, which notes what it is given.
        QTemporaryDir bin;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit());
        const QString opened = bin.filePath(QStringLiteral("opened"));
        const auto opener = [&](int status) {
            const QString script = bin.filePath(QStringLiteral("xdg-open"));
            writeText(script,
                      QStringLiteral("#!/bin/sh\necho \"$1\" >> %1\nexit %2\n")
                          .arg(opened)
                          .arg(status)
                          .toUtf8());
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        const auto box = [] {
            QMessageBox* shown = nullptr;
            const bool shownInTime = QTest::qWaitFor(
                [&] {
                    return (shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
                },
                20000);
            return shownInTime ? shown : nullptr;
        };

        // Not installed: the user is told where it was looked for.
        app()->openKelvoManual();
        QMessageBox* shown = box();
        QVERIFY(shown);
        QCOMPARE(shown->text(), QStringLiteral("The Kelvo manual is not installed."));
        QVERIFY(shown->informativeText().contains(manual.path()));
        shown->button(QMessageBox::Ok)->click();

        // Installed, with an opener that works, that fails, and with none: where it cannot be
        // opened the user learns its path.
        const QString index = manual.filePath(QStringLiteral("index.html"));
        writeText(index, "<html></html>");
        opener(0);
        app()->openKelvoManual();
        app()->showAppHelp();
        const auto openedFiles = [&] {
            QFile file(opened);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        QTRY_COMPARE(openedFiles(), index + "\n" + index + "\n");
        settle();
        QVERIFY(!QApplication::activeModalWidget());
        opener(3);
        app()->openKelvoManual();
        QVERIFY((shown = box()));
        QCOMPARE(shown->text(), QStringLiteral("Kelvo could not open its manual."));
        QVERIFY(shown->informativeText().contains(index));
        shown->button(QMessageBox::Ok)->click();
        QFile::remove(bin.filePath(QStringLiteral("xdg-open")));
        app()->openKelvoManual();
        QVERIFY((shown = box()));
        QVERIFY(shown->informativeText().contains(index));
        shown->button(QMessageBox::Ok)->click();

        qputenv("PATH", path);
        qunsetenv("KELVO_DOC");
    }

    void theAboutBox()
    {
        QTRY_VERIFY(!app()->splash()->isVisible());
        app()->showAppAbout();
        QDialog* about = app()->aboutBox();
        QVERIFY(about && about->isVisible());
        QCOMPARE(about->findChild<QLabel*>("versionInfoLabel")->text(),
                 Kelvo::shortVersionString());
        QVERIFY(about->findChild<QLabel*>("launchInfoLabel")->text().isEmpty());
        QVERIFY(QTest::qWaitForWindowActive(about));
        // Escape closes it, and so does its Close button.
        QTest::keyClick(about, Qt::Key_Escape);
        QTRY_VERIFY(!app()->aboutBox());
        app()->showAppAbout();
        auto* buttons = app()->aboutBox()->findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        buttons->button(QDialogButtonBox::Close)->click();
        QTRY_VERIFY(!app()->aboutBox());
    }
};

KELVO_APP_TEST_MAIN(TestAppUpdate)

#include "tst_appupdate.moc"
