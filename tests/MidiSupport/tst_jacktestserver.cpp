#include "JackTestServer.h"

#include <QTest>

// The JACK servers of test programs that run side by side never meet.
class TestJackTestServer : public QObject
{
    Q_OBJECT

private slots:
    // A server stopped to be restarted keeps its name: a program's MIDI layer goes on looking
    // for a server of that name meanwhile, and would take the name of Kelvo's client on the
    // server another program started under it.
    void aServerStoppedForARestartKeepsItsName()
    {
        QString error;
        JackTestServer first;
        QVERIFY2(first.start(&error), qPrintable(error));
        first.stopServer();
        JackTestServer second;
        QVERIFY2(second.start(&error), qPrintable(error));
        QVERIFY(second.name() != first.name());
        QVERIFY2(first.restart(&error), qPrintable(error));
        QVERIFY(first.isRunning());
        QVERIFY(second.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestJackTestServer)
#include "tst_jacktestserver.moc"
