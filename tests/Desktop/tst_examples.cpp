#include "AbstractSync.h"
#include "BundleResources.h"
#include "FeedbackMsg.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QBitArray>
#include <QDir>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

namespace K = QmdKelvoKeys;

// The default template and the example networks that Kelvo ships, as the build tree holds
// them: each opens cleanly and plays through the built-in synthesizer, and the examples play
// music from the first seconds of Play.
class TestExamples : public QObject
{
    Q_OBJECT

private:
    struct Document
    {
        QmdMemModel model;
        QmdKelvoController controller;
        Document() { controller.setModel(&model); }

        bool load(const QString& fileName)
        {
            QSignalSpy loaded(&controller, &QmdDocController::fileLoaded);
            controller.requestLoad(fileName);
            QCoreApplication::processEvents();
            return loaded.size() == 1;
        }

        QList<QmdItemId> elementsOfType(QmdKelvo::ElementType type) const
        {
            QList<QmdItemId> ids;
            for (QmdItemId id : controller.elements()) {
                if (controller.elementType(id) == type)
                    ids << id;
            }
            return ids;
        }

        QVariant element(QmdItemId id, const QString& key) const
        {
            return controller.data(key, controller.elementIndex(id));
        }
    };

    static QString templateFile() { return Platform::bundleResourcePath("template.kvd"); }

    static QStringList exampleFiles()
    {
        const QDir folder(Platform::bundleResourcePath("Examples"));
        QStringList files;
        for (const QString& name : folder.entryList({"*.kvd"}, QDir::Files, QDir::Name))
            files << folder.filePath(name);
        return files;
    }

    // The pitches a text box names as drums: those before its first "Try", in a text that
    // speaks of channel 10.
    static QStringList namedDrums(QString text)
    {
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        if (!text.contains(QStringLiteral("channel 10")))
            return {};
        text = text.left(text.indexOf(QStringLiteral("Try ")));
        QStringList pitches;
        QRegularExpressionMatchIterator it
            = QRegularExpression(QStringLiteral("\\b[A-G]#?-?[0-9]\\b")).globalMatch(text);
        while (it.hasNext())
            pitches << it.next().captured();
        return pitches;
    }

    // The MIDI note number of a pitch as the notes language writes it (C3 is 60).
    static int pitchNumber(const QString& pitch)
    {
        static const QString letters = QStringLiteral("C D EF G A B");
        const bool sharp = pitch.at(1) == QLatin1Char('#');
        return letters.indexOf(pitch.at(0)) + (sharp ? 1 : 0)
            + 12 * (pitch.mid(sharp ? 2 : 1).toInt() + 2);
    }

    static void addRows(const QStringList& files)
    {
        QTest::addColumn<QString>("file");
        for (const QString& file : files)
            QTest::newRow(qPrintable(QFileInfo(file).completeBaseName())) << file;
    }

private slots:
    void initTestCase()
    {
        // Instruments find no MIDI system: there is no server by that name.
        qputenv("KELVO_MIDI_API", "jack");
        qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
        QVERIFY(QFileInfo::exists(templateFile()));
        QVERIFY(exampleFiles().size() >= 4);
    }

    void opensCleanly_data() { addRows(QStringList(templateFile()) + exampleFiles()); }

    void opensCleanly()
    {
        QFETCH(QString, file);
        Document document;
        QSignalSpy failed(&document.controller, &QmdDocController::fileLoadError);
        QVERIFY(document.load(file));
        QCOMPARE(failed.size(), 0);

        // As the template of a new network, or an example from the menu: an untitled copy.
        Document copy;
        QSignalSpy loaded(&copy.controller, &QmdDocController::templateLoaded);
        copy.controller.requestLoadTemplate(file);
        QCOMPARE(loaded.size(), 1);
        QVERIFY(copy.controller.fileName().isEmpty());
        QVERIFY(copy.controller.atCleanState());

        for (QmdItemId node : document.elementsOfType(QmdKelvo::NodeElement)) {
            const QString notes = document.element(node, K::Notes).toString();
            QmdKelvoController::NotesTokenMap tokens;
            QVERIFY2(QmdKelvoController::validateNotes(notes, tokens), qPrintable(notes));
        }
        const QmdItemIdList instruments = document.controller.instruments();
        QVERIFY(!instruments.isEmpty());
        for (QmdItemId id : instruments) {
            const QmdIndex instrument = document.controller.instrumentIndex(id);
            QCOMPARE(document.controller.data(K::MidiPort, instrument).toString(),
                     QStringLiteral("Kelvo Synthesizer"));
        }
    }

    void templateIsAnEmptyDarkNetworkWithOneInstrument()
    {
        Document document;
        QVERIFY(document.load(templateFile()));
        QVERIFY(document.controller.elements().isEmpty());
        QCOMPARE(document.controller.instruments().size(), 1);
        const QmdIndex instrument
            = document.controller.instrumentIndex(document.controller.instruments().first());
        QBitArray firstChannel(16);
        firstChannel.setBit(0);
        QCOMPARE(document.controller.data(K::MidiChannels, instrument).toBitArray(), firstChannel);

        Document dark;
        dark.controller.requestLoadStylePreset("Dark");
        const QStringList styleKeys = {K::StyleBackgroundColor,      K::StylePrincipalLinesColor,
                                       K::StylePrincipalPointsColor, K::StyleDivisionLinesColor,
                                       K::StyleDivisionPointsColor,  K::StyleAnnotationColor,
                                       K::StyleNodesColor,           K::StyleEdgesColor};
        for (const QString& key : styleKeys)
            QCOMPARE(document.controller.data(key, QmdIndex()).value<QColor>(),
                     dark.controller.data(key, QmdIndex()).value<QColor>());
    }

    // Play, as a new user does: notes of several pitches at once, and, a minute later, still
    // music and never a voice group short of voices. All examples play side by side.
    void examplesPlay()
    {
        struct Playing
        {
            QString name;
            QString text;
            Document document;
            AbstractSync* clock = nullptr;
            quint64 minute = 0;
            QSet<int> pitches;
            QSet<int> drumPitches; // sounded by instruments on channel 10
            QSet<QmdItemId> drumInstruments;
            quint64 lastNote = 0;
            int exhausted = 0;

            void drain()
            {
                QVector<FeedbackMsg> messages;
                document.controller.feedbackPipe.tryReadIfReady(messages, 100000, ~0ULL);
                for (const FeedbackMsg& m : std::as_const(messages)) {
                    if (m.kind == FeedbackMsg::NoteSounded) {
                        pitches.insert(m.pitch);
                        if (drumInstruments.contains(m.instrumentId))
                            drumPitches.insert(m.pitch);
                        lastNote = std::max(lastNote, m.time);
                    }
                    exhausted += m.kind == FeedbackMsg::VoicesExhausted;
                }
            }
        };
        std::vector<std::unique_ptr<Playing>> examples;
        for (const QString& file : exampleFiles()) {
            auto example = std::make_unique<Playing>();
            example->name = QFileInfo(file).completeBaseName();
            Document& document = example->document;
            QVERIFY(document.load(file));
            const QList<QmdItemId> textBoxes = document.elementsOfType(QmdKelvo::TextBoxElement);
            QCOMPARE(textBoxes.size(), 1);
            example->text = document.element(textBoxes.first(), K::Text).toString();
            QVERIFY(example->text.contains("Space"));
            for (QmdItemId id : document.controller.instruments()) {
                const QmdIndex instrument = document.controller.instrumentIndex(id);
                if (document.controller.data(K::MidiChannels, instrument).toBitArray().testBit(9))
                    example->drumInstruments.insert(id);
            }
            const QList<QmdItemId> groups = document.elementsOfType(QmdKelvo::VoiceGroupElement);
            QVERIFY(!groups.isEmpty());
            for (QmdItemId group : groups)
                QVERIFY(document.element(group, K::TriggeringMidiPitchList).toString().isEmpty());
            example->clock = document.controller.sync();
            QVERIFY(example->clock);
            example->minute = example->clock->nanosToTicks(60000000000ULL);
            examples.push_back(std::move(example));
        }
        const auto playUntil = [&](const std::function<quint64(const Playing&)>& ticks) {
            return QTest::qWaitFor(
                [&] {
                    bool reached = true;
                    for (const auto& example : examples) {
                        example->drain();
                        reached = reached && example->clock->ticksElapsed() >= ticks(*example);
                    }
                    return reached;
                },
                30000);
        };

        for (const auto& example : examples)
            example->document.controller.requestPlay();
        QVERIFY(playUntil([](const Playing& p) { return p.clock->nanosToTicks(3000000000ULL); }));
        for (const auto& example : examples)
            QVERIFY2(example->pitches.size() >= 3, qPrintable(example->name));

        // The rest of the minute at the fastest tempo that keeps its ticks.
        for (const auto& example : examples) {
            AbstractSync* clock = example->clock;
            clock->setTempo(clock->tempo() * (999 / clock->tempo()));
        }
        QVERIFY(playUntil([](const Playing& p) { return p.minute; }));
        for (const auto& example : examples) {
            example->document.controller.requestPause();
            example->drain();
            QVERIFY2(example->exhausted == 0, qPrintable(example->name));
            // Music in the last ten seconds.
            const quint64 tenSeconds = example->minute / 6;
            QVERIFY2(example->lastNote >= example->minute - tenSeconds, qPrintable(example->name));
            // The drums that the text says the example plays (what it suggests to try aside)
            // sound on channel 10 within the minute.
            const QStringList named = namedDrums(example->text);
            QVERIFY2(named.isEmpty() || !example->drumInstruments.isEmpty(),
                     qPrintable(example->name));
            for (const QString& drum : named)
                QVERIFY2(example->drumPitches.contains(pitchNumber(drum)),
                         qPrintable(example->name + ": " + drum));
        }
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
