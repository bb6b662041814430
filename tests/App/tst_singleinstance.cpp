#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using SingleInstance::Forwarding;

// One Kelvo per user. This process is the running instance; the real program is the launch
// that hands its files over, or, in a runtime folder of its own, the instance itself.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    InstanceServer m_server;

    KelvoApplication* app() { return KelvoApplication::instance(); }

    // The program in a process of its own, without MIDI, with a home folder of its own.
    struct Launch
    {
        QProcess process;
        QTemporaryDir home;

        Launch(const QStringList& arguments, const QString& workingDirectory,
               const QString& runtimeDirectory = QString(),
               const QList<QPair<QString, QString>>& moreEnvironment = {})
        {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const auto& [name, value] : moreEnvironment)
                env.insert(name, value);
            env.insert("KELVO_MIDI_API", "jack");
            env.insert("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
            env.insert("HOME", home.path());
            env.insert("XDG_CONFIG_HOME", home.filePath("config"));
            env.insert("XDG_DATA_HOME", home.filePath("data"));
            env.insert("XDG_CACHE_HOME", home.filePath("cache"));
            if (!runtimeDirectory.isEmpty())
                env.insert("XDG_RUNTIME_DIR", runtimeDirectory);
            process.setProcessEnvironment(env);
            process.setWorkingDirectory(workingDirectory);
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(QStringLiteral(KELVO_PROGRAM), arguments);
        }

        // The exit code of a process that ended by itself in time; -1 otherwise. The event
        // loop runs meanwhile, so that this process's server can answer.
        int exitCode(int timeoutMs = 30000)
        {
            if (!QTest::qWaitFor([this] { return process.state() == QProcess::NotRunning; },
                                 timeoutMs)
                || process.exitStatus() != QProcess::NormalExit)
                return -1;
            return process.exitCode();
        }

        // Whether the launch left anything in its home folder (preferences, caches).
        bool homeIsEmpty() const
        {
            return QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
        }
    };

    // A runtime folder that no instance uses, private to its user as the desktop's is.
    static QString privateRuntimeFolder(const QTemporaryDir& dir)
    {
        const QString path = dir.filePath("run");
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Waits until an instance answers at `path`.
    static bool answers(const QString& path, int timeoutMs = 40000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (SingleInstance::forward({}, path, 2000) == Forwarding::Forwarded)
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    static bool stop(Launch& instance)
    {
        instance.process.terminate();
        return instance.exitCode() == 0;
    }

    static QStringList openFiles()
    {
        QStringList files;
        for (KelvoWindow* window : KelvoApplication::instance()->windows())
            files << window->controller()->fileName();
        return files;
    }

    // Sends raw bytes to this process's server and tells whether it answered before it hung up.
    bool answered(const QByteArray& bytes, int timeoutMs = 3000)
    {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::serverPath());
        if (!socket.waitForConnected(1000))
            return false;
        socket.write(bytes);
        QByteArray answer;
        [[maybe_unused]] const bool ended = QTest::qWaitFor(
            [&] {
                answer += socket.readAll();
                return socket.state() == QLocalSocket::UnconnectedState;
            },
            timeoutMs);
        answer += socket.readAll();
        return socket.state() != QLocalSocket::UnconnectedState || !answer.isEmpty();
    }

    static QByteArray request(const QByteArray& payload)
    {
        QByteArray header(4, '\0');
        qToBigEndian(quint32(payload.size()), header.data());
        return header + payload;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_server.listen());
        // The start-up window may take the first file; the tests want windows of their own.
        app()->openDocument(writeNetwork(m_dir.filePath("start.kvd")));
        settle();
    }

    void cleanup() { settle(); }

    void requestsRoundTrip()
    {
        const QStringList files = {"/tmp/a b.kvd", QString::fromUtf8("/tmp/Größe ♪.kvd"), "/x"};
        QCOMPARE(SingleInstance::decodeRequest(SingleInstance::encodeRequest(files)).value(),
                 files);
        QCOMPARE(SingleInstance::decodeRequest(SingleInstance::encodeRequest({})).value(),
                 QStringList());

        // Nothing but the request word, files after NULs, absolute names, UTF-8.
        QVERIFY(!SingleInstance::decodeRequest("kelvo-opem"));
        QVERIFY(!SingleInstance::decodeRequest(QByteArray("kelvo-open\0rel.kvd", 18)));
        QVERIFY(!SingleInstance::decodeRequest(QByteArray("kelvo-open\0", 11)));
        QVERIFY(!SingleInstance::decodeRequest(QByteArray("kelvo-open\0/\xff\xfe.kvd", 18)));

        // Files that would make the request too long are left out, whole.
        const QString longName = QLatin1Char('/') + QString(1000, QLatin1Char('x'));
        const QStringList many(2000, longName);
        const QByteArray payload = SingleInstance::encodeRequest(many);
        QVERIFY(payload.size() + 4 <= SingleInstance::MaxRequestBytes);
        const QStringList kept = SingleInstance::decodeRequest(payload).value();
        QVERIFY(kept.size() > 1000 && kept.size() < 2000);
        QCOMPARE(QSet<QString>(kept.cbegin(), kept.cend()), QSet<QString>({longName}));
    }

    void filesAreMadeAbsolute()
    {
        QCOMPARE(SingleInstance::filesToForward(
                     {"a.kvd", "../b/c.kvd", "/abs/d.kvd", "-psn_0_42", "./e f.kvd", ""},
                     "/home/u/songs"),
                 QStringList({"/home/u/songs/a.kvd", "/home/u/b/c.kvd", "/abs/d.kvd",
                              "/home/u/songs/e f.kvd"}));
    }

    // The second launch opens no preferences of its own, ends with 0, and its relative
    // names are the files it meant.
    void forwardedFilesOpen()
    {
        QDir(m_dir.path()).mkpath("sub");
        const QString a = writeNetwork(m_dir.filePath("a.kvd"));
        const QString b = writeNetwork(m_dir.filePath("sub/b c.kvd"));
        Launch launch({"a.kvd", "../" + QFileInfo(m_dir.path()).fileName() + "/sub/b c.kvd"},
                      m_dir.path());
        QCOMPARE(launch.exitCode(), 0);
        QTRY_VERIFY(openFiles().contains(a) && openFiles().contains(b));
        QVERIFY(launch.homeIsEmpty());

        // Files open already come to the front instead of opening twice.
        const qsizetype windows = app()->windows().size();
        Launch again({a}, m_dir.path());
        QCOMPARE(again.exitCode(), 0);
        settle();
        QCOMPARE(app()->windows().size(), windows);
    }

    // A launch is answered at once while the application's thread is busy (here, waiting in
    // the forwarding itself); the file opens when the application gets to it.
    void aBusyInstanceStillAnswers()
    {
        const QString busy = writeNetwork(m_dir.filePath("busy.kvd"));
        QCOMPARE(SingleInstance::forward({busy}, SingleInstance::serverPath(), 5000),
                 Forwarding::Forwarded);
        QTRY_VERIFY(openFiles().contains(busy));
    }

    void noFilesRaisesTheFocusWindow()
    {
        KelvoWindow* window = app()->windows().first();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        settle();
        QCOMPARE(app()->focusWindow(), window);

        // Another window in front, then the focus window minimised.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        QCOMPARE(app()->focusWindow(), window);

        const qsizetype windows = app()->windows().size();
        Launch launch({}, m_dir.path());
        QCOMPARE(launch.exitCode(), 0);
        QTRY_VERIFY(!window->isMinimized());
        QTRY_COMPARE(QApplication::activeWindow(), window);
        QCOMPARE(app()->windows().size(), windows);
    }

    void foreignClientsAreIgnored()
    {
        const qsizetype windows = app()->windows().size();
        const QString file = writeNetwork(m_dir.filePath("foreign.kvd"));
        QVERIFY(!answered(request("hello")));
        QVERIFY(
            !answered(request(QByteArray("kelvo-open\0", 11) + QFile::encodeName(file) + "\xff")));
        QVERIFY(!answered(request(QByteArray("kelvo-open\0foreign.kvd", 22))));
        // A length beyond the limit is refused before anything more is read.
        QVERIFY(!answered(QByteArray::fromHex("ffffffff") + "kelvo-open"));
        // Bytes after the request.
        QVERIFY(!answered(request("kelvo-open") + "more"));
        // A request that never ends.
        QVERIFY(!answered(request("kelvo-open").left(6), InstanceServer::RequestTimeoutMs + 3000));
        settle();
        QCOMPARE(app()->windows().size(), windows);

        // The server still serves well-formed requests.
        QVERIFY(answered(request(SingleInstance::encodeRequest({file}))));
        QTRY_VERIFY(openFiles().contains(file));
    }

    // A socket that a crashed instance left does not stop the next launch.
    void staleSocket()
    {
        QTemporaryDir dir;
        const QString runtime = privateRuntimeFolder(dir);
        const QString path = runtime + "/kelvo-instance";
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        QCOMPARE(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(listen(fd, 1), 0);
        close(fd);
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(SingleInstance::forward({}, path), Forwarding::NoInstance);

        Launch instance({}, m_dir.path(), runtime);
        QVERIFY(answers(path));
        QCOMPARE(instance.process.state(), QProcess::Running);
        QVERIFY(stop(instance));
        QVERIFY(!QFileInfo::exists(path));
    }

    // A launch that answers others may be told to quit at once (a logout as it starts): it
    // quits as asked instead of being killed by the signal. The launch is held after its
    // server listens, where it lets go of the launch lock, until the signal has been sent.
    void quitAsSoonAsAnswering()
    {
        QTemporaryDir dir;
        const QString runtime = privateRuntimeFolder(dir);
        const QString release = dir.filePath("release");
        QString sanitizerOptions = qEnvironmentVariable("ASAN_OPTIONS");
        sanitizerOptions += QStringLiteral(":verify_asan_link_order=0");
        Launch instance({}, m_dir.path(), runtime,
                        {{"LD_PRELOAD", KELVO_LAUNCH_HOLD},
                         {"ASAN_OPTIONS", sanitizerOptions},
                         {"KELVO_TEST_HOLD_UNLINK", runtime + "/kelvo-instance.lock"},
                         {"KELVO_TEST_RELEASE", release}});
        QVERIFY(answers(runtime + "/kelvo-instance"));
        instance.process.terminate();
        QFile released(release);
        QVERIFY(released.open(QIODevice::WriteOnly));
        released.close();
        QCOMPARE(instance.exitCode(), 0);
    }

    void twoLaunchesAtOnceMakeOneInstance()
    {
        QTemporaryDir dir;
        const QString runtime = privateRuntimeFolder(dir);
        const QString a = writeNetwork(dir.filePath("a.kvd"));
        const QString b = writeNetwork(dir.filePath("b.kvd"));
        Launch first({a}, dir.path(), runtime);
        Launch second({b}, dir.path(), runtime);

        // One of them hands its file over and ends; the other goes on as the instance.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return first.process.state() == QProcess::NotRunning
                    || second.process.state() == QProcess::NotRunning;
            },
            40000));
        Launch& ended = first.process.state() == QProcess::NotRunning ? first : second;
        Launch& running = &ended == &first ? second : first;
        QCOMPARE(ended.exitCode(), 0);
        QVERIFY(ended.homeIsEmpty());
        QVERIFY(answers(runtime + "/kelvo-instance"));
        QCOMPARE(running.process.state(), QProcess::Running);
        QVERIFY(stop(running));
    }
};

KELVO_APP_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
