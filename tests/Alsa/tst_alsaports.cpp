#include "AlsaPeer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiPortNames.h"
#include "MidiSystem.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTest>

using Platform::MidiSystem;

namespace {

const QString kelvo = QStringLiteral("Kelvo");
const QString input = MidiPortNames::inputPortName();
const QString synth = MidiPortNames::synthesizerPortName();
const QString output = MidiPortNames::outputPortName();
const QString peerSynth = QStringLiteral("Peer:Synth");
const QString peerOut = QStringLiteral("Peer:Out");

// The sequencer's clients as `aconnect -l` lists them, for messages.
QString describe(const QList<AlsaPeer::Client>& clients)
{
    QStringList lines;
    for (const AlsaPeer::Client& client : clients) {
        QStringList ports;
        for (const AlsaPeer::Port& port : client.ports)
            ports.append(QStringLiteral("%1 '%2'").arg(port.number).arg(port.name));
        lines.append(QStringLiteral("client %1 '%2': %3")
                         .arg(client.id)
                         .arg(client.name, ports.join(QStringLiteral(", "))));
    }
    return lines.join(QLatin1Char('\n'));
}

QList<AlsaPeer::Client> clientsCalledKelvo(const QList<AlsaPeer::Client>& clients)
{
    QList<AlsaPeer::Client> found;
    for (const AlsaPeer::Client& client : clients) {
        if (client.name == kelvo)
            found.append(client);
    }
    return found;
}

const AlsaPeer::Port* portCalled(const AlsaPeer::Client& client, const QString& name)
{
    for (const AlsaPeer::Port& port : client.ports) {
        if (port.name == name)
            return &port;
    }
    return nullptr;
}

QString join(const QSet<QString>& names)
{
    QStringList list(names.cbegin(), names.cend());
    list.sort();
    return list.join(QStringLiteral(", "));
}

InstrumentMsg noteOn(quint8 pitch)
{
    InstrumentMsg m;
    m.kind = InstrumentMsg::NoteOn;
    m.data1 = pitch;
    m.data2 = 100;
    return m;
}

} // namespace

// What Kelvo's MIDI layer does on the ALSA sequencer, seen by another client on it: one client
// "Kelvo" holds all of the program's ports, the connections to other programs' ports are
// ports of that client, the port lists show names a user can keep, and listing them opens no
// client.
class TestAlsaPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("KELVO_MIDI_API", "alsa");
        QVERIFY2(m_peer.isOpen(),
                 qPrintable(m_peer.error()
                            + QStringLiteral(" (these tests run in a virtual machine with the "
                                             "sequencer: tests/AlsaVm/run-alsa-tests)")));
        QVERIFY(m_peer.watchAnnounce());
        QVERIFY(m_peer.openPort(QStringLiteral("Synth"), AlsaPeer::Writable) >= 0);
        QVERIFY(m_peer.openPort(QStringLiteral("Out"), AlsaPeer::Readable) >= 0);
        QCOMPARE(MidiSystem::api(), MidiSystem::Alsa);
        QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
        QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
    }

    void cleanupTestCase()
    {
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
        QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
    }

    void init()
    {
        QVERIFY(m_peer.settleAnnouncements());
        m_peer.clearAnnouncements();
        m_peer.takeReceived();
    }

    void oneClientHoldsTheVirtualPorts()
    {
        const QList<AlsaPeer::Client> clients = m_peer.clients();
        const QList<AlsaPeer::Client> kelvos = clientsCalledKelvo(clients);
        QVERIFY2(kelvos.size() == 1,
                 qPrintable(QStringLiteral("%1 clients are called \"Kelvo\", not one:\n%2")
                                .arg(kelvos.size())
                                .arg(describe(clients))));
        for (const QString& name : {input, synth}) {
            const AlsaPeer::Port* port = portCalled(kelvos.first(), name);
            QVERIFY2(port && port->othersCanWrite(),
                     qPrintable(QStringLiteral("the client \"Kelvo\" has no port \"%1\" that "
                                               "other programs send to:\n%2")
                                    .arg(name, describe(clients))));
        }
        const AlsaPeer::Port* port = portCalled(kelvos.first(), output);
        QVERIFY2(port && port->othersCanRead(),
                 qPrintable(QStringLiteral("the client \"Kelvo\" has no port \"%1\" that other "
                                           "programs receive from:\n%2")
                                .arg(output, describe(clients))));
    }

    void outputToAPeerIsAPortOfTheClient()
    {
        MidiOutput out;
        QVERIFY2(out.openPort(peerSynth), "no output opens on the peer's port \"Peer:Synth\"");
        QVERIFY(m_peer.settleAnnouncements());
        QVERIFY2(m_peer.announced(AlsaPeer::ClientStart) == 0,
                 "opening an output on \"Peer:Synth\" started a sequencer client");
        expectConnectionPort(QStringLiteral("to Peer:Synth"));

        QBitArray channel1(16);
        channel1.setBit(0);
        out.setChannels(channel1);
        QVERIFY(out.write(noteOn(60)));
        QList<QByteArray> notes;
        const QDeadlineTimer deadline(10000);
        while (notes.isEmpty() && !deadline.hasExpired()) {
            for (const AlsaPeer::Message& m : m_peer.receive(1, 100)) {
                if (m.port == QStringLiteral("Synth") && (uchar(m.bytes.at(0)) & 0xf0) == 0x90)
                    notes.append(m.bytes);
            }
        }
        QCOMPARE(notes, QList<QByteArray>({QByteArray("\x90\x3c\x64", 3)}));
    }

    void inputFromAPeerIsAPortOfTheClient()
    {
        MidiInput in;
        QVERIFY2(in.openPort(peerOut), "no input opens on the peer's port \"Peer:Out\"");
        QVERIFY(m_peer.settleAnnouncements());
        QVERIFY2(m_peer.announced(AlsaPeer::ClientStart) == 0,
                 "opening an input on \"Peer:Out\" started a sequencer client");
        expectConnectionPort(QStringLiteral("from Peer:Out"));

        QVERIFY(m_peer.send(QStringLiteral("Out"), QByteArray("\x90\x40\x50", 3)));
        QList<MidiInputMessage> received;
        QTRY_VERIFY_WITH_TIMEOUT((received += in.takeMessages(), !received.isEmpty()), 10000);
        QCOMPARE(received.first().bytes, QVector<uchar>({0x90, 0x40, 0x50}));
    }

    void portListsHoldBareNames()
    {
        // Connection ports of Kelvo's own, which must not be listed.
        MidiOutput out;
        MidiInput in;
        QVERIFY(out.openPort(peerSynth));
        QVERIFY(in.openPort(peerOut));

        const QSet<QString> outputs = MidiIO<RtMidiOut>::ports();
        for (const QString& name : {peerSynth, input, synth, output})
            QVERIFY2(outputs.contains(name), qPrintable(name + " is not among " + join(outputs)));
        QVERIFY2(!outputs.contains(peerOut), qPrintable(join(outputs)));
        const QSet<QString> inputs = MidiIO<RtMidiIn>::ports();
        for (const QString& name : {peerOut, output, input, synth})
            QVERIFY2(inputs.contains(name), qPrintable(name + " is not among " + join(inputs)));
        QVERIFY2(!inputs.contains(peerSynth), qPrintable(join(inputs)));

        for (const QString& name : outputs + inputs) {
            QVERIFY2(!name.startsWith(kelvo + QLatin1Char(':'))
                         && !name.contains(QLatin1String("to Peer:"))
                         && !name.contains(QLatin1String("from Peer:")),
                     qPrintable(QStringLiteral("Kelvo's own port is listed as \"%1\"").arg(name)));
        }
    }

    void listingPortsOpensNoClient()
    {
        for (int i = 0; i < 20; ++i) {
            MidiIO<RtMidiOut>::ports();
            MidiIO<RtMidiIn>::ports();
        }
        QVERIFY(m_peer.settleAnnouncements());
        const int started = m_peer.announced(AlsaPeer::ClientStart);
        const int ended = m_peer.announced(AlsaPeer::ClientExit);
        QVERIFY2(started == 0 && ended == 0,
                 qPrintable(QStringLiteral("listing the ports 20 times in each direction "
                                           "started %1 sequencer clients and ended %2")
                                .arg(started)
                                .arg(ended)));
    }

    void namesAreTheSameInEveryRun()
    {
        QString error;
        const QStringList first = probe(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QStringList second = probe(&error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(!first.filter(QRegularExpression(QStringLiteral("^client Kelvo: "))).isEmpty(),
                 qPrintable(QStringLiteral("the first run had no client \"Kelvo\":\n")
                            + first.join(QLatin1Char('\n'))));
        QCOMPARE(second, first);
    }

private:
    // The client "Kelvo" has a port `name` and no other client is called "Kelvo".
    void expectConnectionPort(const QString& name)
    {
        const QList<AlsaPeer::Client> clients = m_peer.clients();
        const QList<AlsaPeer::Client> kelvos = clientsCalledKelvo(clients);
        QVERIFY2(kelvos.size() == 1 && portCalled(kelvos.first(), name),
                 qPrintable(QStringLiteral("not one client \"Kelvo\" with the port \"%1\":\n%2")
                                .arg(name, describe(clients))));
    }

    // What another client sees of the ports of one run of the probe, one line per client of
    // that process; an error when the probe failed.
    static QStringList probe(QString* error)
    {
        QProcess process;
        process.start(QStringLiteral(KELVO_ALSA_PORTS_PROBE), {});
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            *error = QStringLiteral("the probe failed (exit code %1): %2")
                         .arg(process.exitCode())
                         .arg(QString::fromLocal8Bit(process.readAllStandardError()));
        }
        QStringList seen;
        for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
            if (line.startsWith(QLatin1String("seen: ")))
                seen.append(line.mid(6));
        }
        return seen;
    }

    AlsaPeer m_peer {QStringLiteral("Peer")};
};

QTEST_GUILESS_MAIN(TestAlsaPorts)
#include "tst_alsaports.moc"
