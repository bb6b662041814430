#include "AppTestMain.h"
#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiPeer.h"
#include "MidiSystem.h"

#include <QMessageBox>
#include <atomic>
#include <csignal>

namespace {

KelvoApplication* app()
{
    return KelvoApplication::instance();
}

JackTestServer* testServer = nullptr;

// The boxes that tell that the JACK server has gone.
QList<QMessageBox*> goneBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::allWidgets()) {
        if (widget->objectName() == QLatin1String("jackServerGoneBox"))
            boxes.append(qobject_cast<QMessageBox*>(widget));
    }
    return boxes;
}

} // namespace

// The application on a JACK server that goes away and comes back: the user is told once each
// time, and MIDI entry hears Kelvo Input again on the server that runs next.
class TestAppJack : public QObject
{
    Q_OBJECT

private:
    // A peer plays into Kelvo Input; the triggering input, on Kelvo Input, hears it.
    void entryHearsAPeer()
    {
        // The preferences of a first run are applied once the event loop has run.
        QTRY_COMPARE(app()->triggeringInput()->port(), QStringLiteral("Kelvo Input"));
        MidiPeer peer("Keyboard");
        QTRY_VERIFY(peer.connectOutput(QStringLiteral("Kelvo Input")));
        std::atomic<int> heard {0};
        const QMetaObject::Connection counting = connect(
            app()->triggeringInput(), &MidiInput::readyRead, this, [&heard] { ++heard; },
            Qt::DirectConnection);
        // A controller reset until the new connection carries it.
        QTRY_VERIFY((peer.send(QByteArray("\xb0\x79\x00", 3)), heard.load() > 0));
        disconnect(counting);
    }

    // Stops the server, or freezes it (a server that hangs, which nobody asks anything), and
    // waits for the window to tell it.
    void loseTheServer(int told, bool frozen = false)
    {
        if (frozen)
            QVERIFY(testServer->signalServer(SIGSTOP));
        else
            testServer->stopServer();
        QTRY_COMPARE_WITH_TIMEOUT(goneBoxes().size(), 1, 10000);
        QCOMPARE(Platform::MidiSystem::jackServerLosses(), quint64(told));
        QVERIFY(goneBoxes().first()->isVisible());
        // Further polls while the server is away tell nothing more.
        app()->pollMidiPorts();
        app()->pollMidiPorts();
        QCOMPARE(goneBoxes().size(), 1);
        goneBoxes().first()->close();
        QTRY_VERIFY(goneBoxes().isEmpty());
        app()->pollMidiPorts();
        QVERIFY(goneBoxes().isEmpty());
    }

private slots:
    void theUserIsToldOnceEachTimeAndTheServerIsTakenUpAgain()
    {
        entryHearsAPeer();
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(goneBoxes().isEmpty());
        loseTheServer(1);
        QVERIFY(!QTest::currentTestFailed());
        QString error;
        QVERIFY2(testServer->restart(&error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(Platform::MidiSystem::api(), Platform::MidiSystem::Jack, 15000);
        entryHearsAPeer();
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(goneBoxes().isEmpty());
        // Gone again, hung this time: told again.
        loseTheServer(2, true);
    }
};

int main(int argc, char** argv)
{
    // The server comes first: the application opens its ports at start-up.
    JackTestServer server;
    QString error;
    if (!server.start(&error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    testServer = &server;
    const QTemporaryDir preferences;
    useFreshPreferences(preferences);
    KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);
    app.init();
    TestAppJack test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appjack.moc"
