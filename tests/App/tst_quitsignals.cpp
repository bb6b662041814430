#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// SIGINT and SIGTERM quit as the Quit command does; a second signal while the first is being
// handled ends the program at once. Tried on the probe program app_quitsignals.
class TestQuitSignals : public QObject
{
    Q_OBJECT

private:
    struct Probe
    {
        QProcess process;
        QStringList lines;

        explicit Probe(const QHash<QString, QString>& environment = {})
        {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (auto it = environment.cbegin(); it != environment.cend(); ++it)
                env.insert(it.key(), it.value());
            process.setProcessEnvironment(env);
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(QStringLiteral(KELVO_QUIT_PROBE));
        }

        // Waits for the probe to print `line`, counting the lines it printed before.
        bool waitFor(const QString& line, int count = 1)
        {
            return QTest::qWaitFor(
                       [&] {
                           while (process.canReadLine())
                               lines << QString::fromLocal8Bit(process.readLine()).trimmed();
                           return lines.count(line) >= count
                               || process.state() == QProcess::NotRunning;
                       },
                       40000)
                && lines.count(line) >= count;
        }

        void send(int signal) { ::kill(pid_t(process.processId()), signal); }

        // The exit code of a probe that ended by itself; -1 otherwise.
        int exitCode()
        {
            if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
                return -1;
            lines += QString::fromLocal8Bit(process.readAllStandardOutput())
                         .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            return process.exitCode();
        }
    };

private slots:
    void cleanDocumentQuits_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    // Under the address sanitizer the end is also checked for leaks.
    void cleanDocumentQuits()
    {
        QFETCH(int, signal);
        Probe probe;
        QVERIFY(probe.waitFor("ready"));
        probe.send(signal);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY(probe.lines.contains("returned 0"));
        QVERIFY(!probe.lines.contains("prompt"));
    }

    void secondSignalEndsAtOnce_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void secondSignalEndsAtOnce()
    {
        QFETCH(int, signal);
        Probe probe({{"KELVO_PROBE_MODIFIED", "1"}});
        QVERIFY(probe.waitFor("ready"));
        probe.send(signal);
        QVERIFY(probe.waitFor("prompt"));
        probe.send(signal);
        QCOMPARE(probe.exitCode(), 128 + signal);
        QVERIFY(!probe.lines.contains("returned 0"));
    }

    // A quit that the user cancelled leaves the program as it was: the next signal asks again.
    void cancelledQuitAsksAgain()
    {
        Probe probe({{"KELVO_PROBE_MODIFIED", "1"}, {"KELVO_PROBE_CANCELS", "1"}});
        QVERIFY(probe.waitFor("ready"));
        probe.send(SIGTERM);
        QVERIFY(probe.waitFor("cancelled"));
        QVERIFY(probe.waitFor("quit ended"));
        QCOMPARE(probe.process.state(), QProcess::Running);
        probe.send(SIGTERM);
        QVERIFY(probe.waitFor("prompt", 2));
        probe.send(SIGTERM);
        QCOMPARE(probe.exitCode(), 128 + SIGTERM);
    }

    // A save that fails on the way out ends the quit: the next signal asks again.
    void failedSaveEndsTheQuit()
    {
        QTemporaryDir dir;
        Probe probe({{"KELVO_PROBE_MODIFIED", "1"},
                     {"KELVO_PROBE_SAVE_FAILS", dir.filePath(QStringLiteral("locked.kvd"))}});
        QVERIFY(probe.waitFor("ready"));
        probe.send(SIGTERM);
        QVERIFY(probe.waitFor("save failed"));
        QVERIFY(probe.waitFor("quit ended"));
        QCOMPARE(probe.process.state(), QProcess::Running);
        probe.send(SIGTERM);
        QVERIFY(probe.waitFor("prompt", 2));
        QCOMPARE(probe.process.state(), QProcess::Running);
        probe.send(SIGTERM);
        QCOMPARE(probe.exitCode(), 128 + SIGTERM);
    }
};

QTEST_GUILESS_MAIN(TestQuitSignals)
#include "tst_quitsignals.moc"
