#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "Inspector.h"
#include "KelvoInfo.h"
#include "PreferencesDialog.h"

#include <QLabel>
#include <QProcess>
#include <QSplashScreen>
#include <QTemporaryDir>

// Start-up: in this process without arguments, and in the probe program with arguments,
// file-open events, a file that cannot be read, and an end before start-up.
class TestAppStart : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    struct Run
    {
        int exitCode = -1;
        QStringList lines;
        QString errors;
    };

    static Run probe(const QStringList& arguments, const QHash<QString, QString>& environment = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KELVO_APP_PROBE), arguments);
        Run run;
        if (!process.waitForFinished(60000))
            return run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        run.lines = QString::fromLocal8Bit(process.readAllStandardOutput())
                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        run.errors = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

    static QStringList windowLines(const Run& run)
    {
        return run.lines.filter(QRegularExpression(QStringLiteral("^window ")));
    }

    QString network(const QString& name) { return writeNetwork(m_dir.filePath(name)); }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    void startsWithOneUntitledWindow()
    {
        KelvoApplication* app = KelvoApplication::instance();
        QCOMPARE(app->windows().size(), 1);
        KelvoWindow* window = app->windows().first();
        QCOMPARE(app->replaceableWindow(), window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Untitled[*]"));
        QVERIFY(window->isVisible());
        QVERIFY(window->controller()->fileName().isEmpty());
        QVERIFY(app->inspector()->isVisible());
        QCOMPARE(app->inspector()->width(), Inspector::FixedWidth);
        QTRY_VERIFY(!app->splash()->isVisible());
        QCOMPARE(Kelvo::shortVersionString(), QStringLiteral("2.1.0.5"));
        QCOMPARE(Kelvo::fileFilter(), QStringLiteral("Kelvo Network (*.kvd)"));
        QCOMPARE(app->splash()->findChild<QLabel*>("versionInfoLabel")->text(),
                 Kelvo::shortVersionString());
        QVERIFY(app->splash()->findChild<QLabel*>("launchInfoLabel")->text().isEmpty());
        QVERIFY(!QApplication::windowIcon().isNull());
        QVERIFY(app->synth()->isReady());
        QVERIFY(app->settings());
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Kelvo"));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Kelvo"));
    }

    // Without a MIDI system the program's own ports are still there, and the preferences
    // show the ports the program uses: the entry port and the thru port, the synthesizer.
    void withoutAMidiSystemItsOwnPortsAreListed()
    {
        KelvoApplication* app = KelvoApplication::instance();
        QTRY_VERIFY(app->midiOutputPorts().contains(QStringLiteral("Kelvo Synthesizer")));
        QVERIFY(app->midiOutputPorts().contains(QStringLiteral("Kelvo Input")));
        QVERIFY(app->midiInputPorts().contains(QStringLiteral("Kelvo Input")));
        app->showAppPrefs();
        PreferencesDialog* dialog = app->preferencesDialog();
        QVERIFY(dialog);
        const Ui_PreferencesDialogForm& form = dialog->form();
        QTRY_COMPARE(form.thruPortsComboBox->currentText(), QStringLiteral("Kelvo Synthesizer"));
        QCOMPARE(form.inputPortsComboBox->currentText(), QStringLiteral("Kelvo Input"));
        // Stored once the settings have taken the change the program posted to them.
        QTRY_COMPARE(app->settings()->value(QStringLiteral("MidiThruPort")).toString(),
                     QStringLiteral("Kelvo Synthesizer"));
        dialog->close();
        QTRY_VERIFY(!app->preferencesDialog());
    }

    void noArgumentsAndTheSessionArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("-psn") << QStringList {QStringLiteral("-psn_0_4711")};
    }

    void noArgumentsAndTheSessionArgument()
    {
        QFETCH(QStringList, arguments);
        const Run run = probe(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(windowLines(run), QStringList({"window untitled replaceable=1 visible=1"}));
        QVERIFY(run.lines.contains("returned 0"));
        QVERIFY2(!run.errors.contains("QObject::connect"), qPrintable(run.errors));
    }

    void twoFiles()
    {
        const QString a = network("a.kvd");
        const QString b = network("b.kvd");
        const Run run = probe({a, b});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(windowLines(run),
                 QStringList({"window " + a + " replaceable=0 visible=1",
                              "window " + b + " replaceable=0 visible=1"}));
    }

    void fileOpenEventsBeforeAndAfterTheWindows()
    {
        const QString a = network("first.kvd");
        const QString b = network("early.kvd");
        const QString c = network("late.kvd");
        const Run run = probe({a}, {{"KELVO_PROBE_EARLY", b}, {"KELVO_PROBE_LATE", c}});
        QCOMPARE(run.exitCode, 0);
        // The early event waits for the arguments; the late one opens at once.
        QCOMPARE(windowLines(run),
                 QStringList({"window " + a + " replaceable=0 visible=1",
                              "window " + b + " replaceable=0 visible=1",
                              "window " + c + " replaceable=0 visible=1"}));
    }

    void lateFileOpenEventTakesTheStartWindow()
    {
        const QString a = network("late-only.kvd");
        const Run run = probe({}, {{"KELVO_PROBE_LATE", a}});
        QCOMPARE(windowLines(run), QStringList({"window " + a + " replaceable=0 visible=1"}));
    }

    void oneBadFile()
    {
        const QString bad = writeText(m_dir.filePath("bad.kvd"), "<plist><dict><key>");
        const Run run = probe({bad}, {{"KELVO_PROBE_ANSWERS", "1"}});
        QCOMPARE(run.exitCode, 0);
        // The user is told, and an untitled window takes the place of the one that closed.
        QCOMPARE(run.lines.filter("box ").size(), 1);
        QVERIFY(run.lines.filter("box ").first().contains("“bad.kvd” could not be opened"));
        QCOMPARE(windowLines(run), QStringList({"window untitled replaceable=1 visible=1"}));
    }

    void closingTheLastWindowEndsTheProgram()
    {
        const Run run = probe({}, {{"KELVO_PROBE", "close-last"}});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.lines.contains("returned 0"));
    }

    void destroyedBeforeStartUp()
    {
        const Run run = probe({}, {{"KELVO_PROBE", "destroy-before-init"}});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.lines, QStringList({"synth=0 windows=0", "destroyed"}));
        // No MIDI port and no synthesizer was touched.
        QVERIFY2(!run.errors.contains("MidiSystem") && !run.errors.contains("FluidSynth"),
                 qPrintable(run.errors));
    }
};

KELVO_APP_TEST_MAIN(TestAppStart)
#include "tst_appstart.moc"
