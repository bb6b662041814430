#include "MidiSynth.h"
#include "MidiSynthDialog.h"
#include "PreferenceKeys.h"
#include "TestAppServices.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The synthesizer dialog over a synthesizer without audio output that plays Debian's General
// MIDI bank: the channel table, choosing by name and by program and bank, the reset, and the
// dialog's geometry.
class TestSynthDialog : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppServices> services;
    std::unique_ptr<MidiSynth> synth;

    static QString cell(const MidiSynthDialog& dialog, int row, int column)
    {
        const QAbstractItemModel* model = dialog.channelsView->model();
        return model->index(row, column).data().toString();
    }

    static void chooseChannel(MidiSynthDialog& dialog, int channel)
    {
        dialog.channelsView->setCurrentIndex(dialog.channelsView->model()->index(channel, 0));
    }

private slots:
    void initTestCase()
    {
        synth = std::make_unique<MidiSynth>(nullptr, MidiSynth::NoAudioOutput);
        QTRY_VERIFY_WITH_TIMEOUT(synth->isReady(), 20000);
        if (synth->instrumentCount() == 0)
            QSKIP("No General MIDI sound bank is installed");
    }

    void cleanupTestCase() { synth.reset(); }

    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        services = std::make_unique<TestAppServices>();
        services->settings()->remove(PreferenceKeys::MidiSynthDialogGeometry);
        synth->reset();
        QCoreApplication::sendPostedEvents();
    }

    void cleanup() { services.reset(); }

    void dialogIsSetUp()
    {
        MidiSynthDialog dialog;
        QVERIFY(!dialog.parent());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kelvo Synthesizer"));
        QVERIFY(dialog.windowFlags().testFlag(Qt::Tool));
        QVERIFY(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(dialog.openButton->isHidden());
        QCOMPARE(dialog.objectName(), QStringLiteral("MidiSynthDialogForm"));
        QCOMPARE(dialog.programSpinBox->minimum(), 1);
        QCOMPARE(dialog.programSpinBox->maximum(), 128);
        QCOMPARE(dialog.bankLSBSpinBox->maximum(), 127);
        // Without a synthesizer there is nothing to show.
        QCOMPARE(dialog.channelsView->model()->rowCount(), 0);
        QCOMPARE(dialog.channelsView->model()->columnCount(), 0);
        QCOMPARE(dialog.instrumentsComboBox->count(), 0);
        QCOMPARE(dialog.soundBankLabel->text(), QStringLiteral("(no sound bank)"));

        dialog.setSynth(synth.get());
        QCOMPARE(dialog.synth(), synth.get());
        QCOMPARE(dialog.channelsView->model()->rowCount(), 16);
        QCOMPARE(dialog.channelsView->model()->columnCount(), 2);
        QCOMPARE(cell(dialog, 0, 0), QStringLiteral("1"));
        QCOMPARE(cell(dialog, 15, 0), QStringLiteral("16"));
        QVERIFY(!cell(dialog, 0, 1).isEmpty());
        QCOMPARE(dialog.channelsView->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("MIDI Channel"));
        QCOMPARE(dialog.channelsView->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Instrument"));
        QCOMPARE(dialog.instrumentsComboBox->count(), synth->instrumentCount());
        QCOMPARE(dialog.soundBankLabel->text(), synth->soundBankName());
        QVERIFY(!dialog.soundBankLabel->text().isEmpty());
        QCOMPARE(dialog.channelsView->currentIndex().row(), 0);
        // Showing the synthesizer wrote nothing to it.
        QCOMPARE(synth->channelInstrument(0), MidiInstrumentId(0));
    }

    void choosingSetsTheCurrentChannelOnly()
    {
        MidiSynthDialog dialog;
        dialog.setSynth(synth.get());
        chooseChannel(dialog, 3);
        QSignalSpy changes(synth.get(), &MidiSynth::instrumentChanged);
        const int row = 40;
        const MidiInstrumentId chosen = synth->instrumentId(row);
        dialog.instrumentsComboBox->setCurrentIndex(row);
        QTRY_COMPARE(changes.size(), 1);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first().at(0).toInt(), 3);
        QCOMPARE(synth->soundingInstrument(3), chosen);
        for (int channel : {0, 2, 4, 15})
            QCOMPARE(synth->soundingInstrument(channel), MidiInstrumentId(0));
        QCOMPARE(cell(dialog, 3, 1), synth->instrumentName(chosen));
        // The spin boxes show it: program 1-based, bank bytes as they are.
        QCOMPARE(dialog.programSpinBox->value(), int(chosen & 0x7f) + 1);
        QCOMPARE(dialog.bankMSBSpinBox->value(), int((chosen >> 16) & 0x7f));
        QCOMPARE(dialog.bankLSBSpinBox->value(), int((chosen >> 8) & 0x7f));

        // Another channel shows its own.
        chooseChannel(dialog, 0);
        QCOMPARE(dialog.programSpinBox->value(), 1);
        QCOMPARE(dialog.instrumentsComboBox->currentIndex(), synth->instrumentIndex(0));
        QCOMPARE(changes.size(), 1);
    }

    void programsOneAndHundredTwentyEight()
    {
        MidiSynthDialog dialog;
        dialog.setSynth(synth.get());
        chooseChannel(dialog, 5);
        dialog.programSpinBox->setValue(128);
        QTRY_COMPARE(synth->channelInstrument(5), MidiInstrumentId(127));
        QCOMPARE(synth->soundingInstrument(5), MidiInstrumentId(127));
        QTRY_COMPARE(dialog.instrumentsComboBox->currentIndex(), synth->instrumentIndex(127));
        dialog.programSpinBox->setValue(1);
        QTRY_COMPARE(synth->channelInstrument(5), MidiInstrumentId(0));
        QCOMPARE(dialog.programSpinBox->value(), 1);
    }

    void resetBringsEveryChannelBack()
    {
        MidiSynthDialog dialog;
        dialog.setSynth(synth.get());
        synth->setChannelInstrument(0, synth->instrumentId(10));
        synth->setChannelInstrument(9, synth->instrumentId(20));
        QTRY_COMPARE(dialog.programSpinBox->value(), int(synth->instrumentId(10) & 0x7f) + 1);
        QSignalSpy changes(synth.get(), &MidiSynth::instrumentChanged);
        QTest::mouseClick(dialog.resetButton, Qt::LeftButton);
        QTRY_COMPARE(changes.size(), 16);
        QCOMPARE(dialog.programSpinBox->value(), 1);
        QCOMPARE(cell(dialog, 0, 1), synth->instrumentName(0));

        // Channel 10 shows the kit it plays, and a number touched there keeps it.
        chooseChannel(dialog, 9);
        const QString kit = synth->instrumentName(0x010000);
        QVERIFY(!kit.isEmpty());
        QCOMPARE(cell(dialog, 9, 1), kit);
        QCOMPARE(dialog.instrumentsComboBox->currentText(), kit);
        QCOMPARE(dialog.bankMSBSpinBox->value(), 1);
        QCOMPARE(dialog.bankLSBSpinBox->value(), 0);
        QCOMPARE(dialog.programSpinBox->value(), 1);
        dialog.programSpinBox->stepUp();
        dialog.programSpinBox->stepDown();
        QCOMPARE(synth->channelInstrument(9), MidiInstrumentId(0x010000));
        QCOMPARE(synth->soundingInstrument(9), MidiInstrumentId(0x010000));
        QTRY_COMPARE(cell(dialog, 9, 1), kit);
    }

    void aMissingInstrumentShowsWhatPlays()
    {
        MidiSynthDialog dialog;
        dialog.setSynth(synth.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // A bank no General MIDI SoundFont has, on channel 4 and on channel 10: the table, the
        // combo box and the numbers show the substitute the channel plays.
        for (const int channel : {3, 9}) {
            const QModelIndex row = dialog.channelsView->model()->index(channel, 0);
            QTest::mouseClick(dialog.channelsView->viewport(), Qt::LeftButton, {},
                              dialog.channelsView->visualRect(row).center());
            QCOMPARE(dialog.channelsView->currentIndex().row(), channel);
            synth->setChannelInstrument(channel, 0x7F7E05);
            const MidiInstrumentId sounding = synth->soundingInstrument(channel);
            // Channel 10 plays the kit of that program, or the standard kit without one.
            const MidiInstrumentId kit
                = synth->instrumentName(0x010005).isNull() ? 0x010000 : 0x010005;
            QCOMPARE(sounding, channel == 9 ? kit : MidiInstrumentId(0x000005));
            const QString name = synth->instrumentName(sounding);
            QVERIFY(!name.isEmpty());
            QTRY_COMPARE(cell(dialog, channel, 1), name);
            QTRY_COMPARE(dialog.instrumentsComboBox->currentText(), name);
            QCOMPARE(dialog.bankMSBSpinBox->value(), int((sounding >> 16) & 0x7f));
            QCOMPARE(dialog.bankLSBSpinBox->value(), int((sounding >> 8) & 0x7f));
            QCOMPARE(dialog.programSpinBox->value(), int(sounding & 0x7f) + 1);
        }

        // A number typed goes to the synthesizer once, when it is finished, and the numbers
        // then show what sounds.
        QCoreApplication::sendPostedEvents();
        QSignalSpy sent(synth.get(), &MidiSynth::instrumentChanged);
        QTest::keyClick(dialog.bankMSBSpinBox, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(dialog.bankMSBSpinBox, QStringLiteral("127"));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(sent.size(), 0);
        QCOMPARE(synth->channelInstrument(9), MidiInstrumentId(0x7F7E05));
        QTest::keyClick(dialog.bankMSBSpinBox, Qt::Key_Return);
        QTRY_COMPARE(sent.size(), 1);
        QCOMPARE(synth->channelInstrument(9) >> 16, MidiInstrumentId(127));
        QCOMPARE(dialog.bankMSBSpinBox->value(), int(synth->soundingInstrument(9) >> 16) & 0x7f);
    }

    void withoutASoundBankNothingPlays()
    {
        qputenv("KELVO_SOUNDFONT", "/nonexistent.sf2");
        MidiSynth bankless(nullptr, MidiSynth::NoAudioOutput);
        // The device loads its bank on the synthesizer's thread.
        QTRY_VERIFY_WITH_TIMEOUT(bankless.isReady(), 20000);
        qunsetenv("KELVO_SOUNDFONT");
        MidiSynthDialog dialog;
        dialog.setSynth(&bankless);
        QCOMPARE(dialog.instrumentsComboBox->count(), 0);
        QCOMPARE(cell(dialog, 0, 1), QStringLiteral("(none)"));
        QCOMPARE(cell(dialog, 9, 1), QStringLiteral("(none)"));
        QCOMPARE(dialog.instrumentsComboBox->currentIndex(), -1);
        QCOMPARE(dialog.instrumentsComboBox->placeholderText(), QStringLiteral("(none)"));
    }

    void synthesizerGoneWhileOpen()
    {
        auto own = std::make_unique<MidiSynth>(nullptr, MidiSynth::NoAudioOutput);
        QTRY_VERIFY_WITH_TIMEOUT(own->isReady(), 20000);
        MidiSynthDialog dialog;
        dialog.setSynth(own.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.channelsView->model()->rowCount(), 16);
        own.reset();
        QVERIFY(!dialog.synth());
        QCOMPARE(dialog.channelsView->model()->rowCount(), 0);
        QCOMPARE(dialog.instrumentsComboBox->count(), 0);
        QCOMPARE(dialog.soundBankLabel->text(), QStringLiteral("(no sound bank)"));
        // Painting and choosing now do nothing.
        dialog.repaint();
        dialog.programSpinBox->setValue(7);
        QTest::mouseClick(dialog.resetButton, Qt::LeftButton);
    }

    void geometryIsStoredAndRestored()
    {
        QPoint firstPlace;
        {
            MidiSynthDialog dialog;
            // Centred across the primary screen's free area, in its upper half.
            const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
            QVERIFY(qAbs(dialog.geometry().center().x() - area.center().x()) <= 1);
            QVERIFY(dialog.y() >= area.y());
            QVERIFY(dialog.geometry().center().y() <= area.center().y());
            firstPlace = dialog.pos();
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.setGeometry(QRect(firstPlace + QPoint(40, 30), QSize(300, 420)));
        }
        QVERIFY(!services->settings()->value(PreferenceKeys::MidiSynthDialogGeometry).isNull());
        MidiSynthDialog again;
        QCOMPARE(again.size(), QSize(300, 420));
        QCOMPARE(again.pos(), firstPlace + QPoint(40, 30));
    }
};

QTEST_MAIN(TestSynthDialog)
#include "tst_synthdialog.moc"
