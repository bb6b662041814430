#include "FlashingValidator.h"
#include "FocusWindow.h"
#include "MidiEvent.h"
#include "MidiInputListEdits.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

enum EditKind { PitchList, PitchSingle, VelocityList, VelocitySingle, MessageList };

std::unique_ptr<CommonMidiInputListEdit> makeEdit(int kind)
{
    switch (kind) {
    case PitchList:
        return std::make_unique<PitchListEdit>();
    case PitchSingle:
        return std::make_unique<PitchSingleEdit>();
    case VelocityList:
        return std::make_unique<VelocityListEdit>();
    case VelocitySingle:
        return std::make_unique<VelocitySingleEdit>();
    default:
        return std::make_unique<UserMidiMessageListEdit>();
    }
}

const FlashingValidator* flashing(const QLineEdit& edit)
{
    return qobject_cast<const FlashingValidator*>(edit.validator());
}

void play(QWidget* widget, const QVector<uchar>& bytes,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    MidiEvent event(modifiers, 0.0, bytes);
    QApplication::sendEvent(widget, &event);
}

const QVector<uchar> NoteOnE3 {0x90, 64, 100};

} // namespace

// The pitch, velocity and message fields: their patterns, letter case, MIDI entry and the
// text they take back when left holding an unfinished one.
class TestListEdits : public QObject
{
    Q_OBJECT

private slots:
    void patterns_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        const int ok = QValidator::Acceptable;
        const int part = QValidator::Intermediate;
        const int bad = QValidator::Invalid;

        QTest::newRow("pitch G8") << int(PitchSingle) << "G8" << ok;
        QTest::newRow("pitch F#8") << int(PitchSingle) << "F#8" << ok;
        QTest::newRow("pitch C8") << int(PitchSingle) << "C8" << ok;
        QTest::newRow("pitch G#8, 128") << int(PitchSingle) << "G#8" << bad;
        QTest::newRow("pitch A8") << int(PitchSingle) << "A8" << bad;
        QTest::newRow("pitch A#8") << int(PitchSingle) << "A#8" << bad;
        QTest::newRow("pitch B8, 131") << int(PitchSingle) << "B8" << bad;
        QTest::newRow("pitch B7") << int(PitchSingle) << "B7" << ok;
        QTest::newRow("pitch C-2") << int(PitchSingle) << "C-2" << ok;
        QTest::newRow("pitch B-1") << int(PitchSingle) << "B-1" << ok;
        QTest::newRow("pitch C-3") << int(PitchSingle) << "C-3" << bad;
        QTest::newRow("pitch E#3") << int(PitchSingle) << "E#3" << bad;
        QTest::newRow("pitch +127") << int(PitchSingle) << "+127" << ok;
        QTest::newRow("pitch -0") << int(PitchSingle) << "-0" << ok;
        QTest::newRow("pitch +128") << int(PitchSingle) << "+128" << bad;
        QTest::newRow("pitch 60") << int(PitchSingle) << "60" << bad;
        QTest::newRow("pitch lone C") << int(PitchSingle) << "C" << part;
        QTest::newRow("pitch empty") << int(PitchSingle) << "" << part;
        QTest::newRow("pitch lower case") << int(PitchSingle) << "c3" << bad;
        QTest::newRow("pitch one only") << int(PitchSingle) << "C3,D3" << bad;
        QTest::newRow("pitches empty") << int(PitchList) << "" << ok;
        QTest::newRow("pitches") << int(PitchList) << "C#3,-12,+7,G8" << ok;
        QTest::newRow("pitches comma") << int(PitchList) << "C3,D3," << part;
        QTest::newRow("pitches G#8") << int(PitchList) << "C3,G#8" << bad;
        QTest::newRow("pitches two commas") << int(PitchList) << "C3,,D3" << bad;
        QTest::newRow("pitches H") << int(PitchList) << "H" << bad;
        QTest::newRow("velocities empty") << int(VelocityList) << "" << ok;
        QTest::newRow("velocities") << int(VelocityList) << "127,+3,-0,0" << ok;
        QTest::newRow("velocities comma") << int(VelocityList) << "96," << part;
        QTest::newRow("velocity 128") << int(VelocityList) << "128" << bad;
        QTest::newRow("velocity single") << int(VelocitySingle) << "-127" << ok;
        QTest::newRow("velocity single list") << int(VelocitySingle) << "1,2" << bad;
        QTest::newRow("messages empty") << int(MessageList) << "" << ok;
        QTest::newRow("message") << int(MessageList) << "0x90 0x3c 0x7f" << ok;
        QTest::newRow("messages") << int(MessageList) << "0xc0 0x5,0x90 0x3c 0x7f" << ok;
        QTest::newRow("message open byte") << int(MessageList) << "0x90 0x" << part;
        QTest::newRow("message upper case") << int(MessageList) << "0X90" << bad;
        QTest::newRow("message two spaces") << int(MessageList) << "0x90  0x3c" << bad;
        QTest::newRow("message three digits") << int(MessageList) << "0x900" << part;
        QTest::newRow("message not hex") << int(MessageList) << "0xg" << bad;
    }

    void patterns()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, state);
        const auto edit = makeEdit(kind);
        int pos = 0;
        QCOMPARE(int(edit->validator()->validate(text, pos)), state);
    }

    void rejectedKeysFlash()
    {
        PitchSingleEdit single;
        QTest::keyClicks(&single, QStringLiteral("c3"));
        QCOMPARE(single.text(), QStringLiteral("C3"));
        QVERIFY(!flashing(single)->isFlashing());
        QTest::keyClick(&single, Qt::Key_9);
        QCOMPARE(single.text(), QStringLiteral("C3"));
        QVERIFY(flashing(single)->isFlashing());

        PitchListEdit list;
        QTest::keyClicks(&list, QStringLiteral("C3,"));
        QCOMPARE(list.text(), QStringLiteral("C3,"));
        QVERIFY(!flashing(list)->isFlashing());
        QTest::keyClick(&list, Qt::Key_H);
        QCOMPARE(list.text(), QStringLiteral("C3,"));
        QVERIFY(flashing(list)->isFlashing());
    }

    void letterCase()
    {
        PitchListEdit pitches;
        QTest::keyClicks(&pitches, QStringLiteral("c#3,f-1"));
        QCOMPARE(pitches.text(), QStringLiteral("C#3,F-1"));

        UserMidiMessageListEdit messages;
        QTest::keyClicks(&messages, QStringLiteral("0X7F 0XA"));
        QCOMPARE(messages.text(), QStringLiteral("0x7f 0xa"));

        // A shortcut's key passes with its modifiers.
        messages.selectAll();
        QTest::keyClick(&messages, Qt::Key_Backspace);
        QCOMPARE(messages.text(), QString());
    }

    void midiEntryIntoLists_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selectionStart");
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<QVector<uchar>>("message");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<QString>("result");

        QTest::newRow("empty pitch list")
            << int(PitchList) << "" << 0 << 0 << QVector<uchar> {0x90, 60, 100} << false << "C3";
        QTest::newRow("after a comma")
            << int(PitchList) << "C3,D3" << 3 << 0 << NoteOnE3 << false << "C3,E3,D3";
        QTest::newRow("at the end")
            << int(PitchList) << "C3" << 2 << 0 << NoteOnE3 << false << "C3,E3";
        QTest::newRow("at the start")
            << int(PitchList) << "C3" << 0 << 0 << NoteOnE3 << false << "E3,C3";
        QTest::newRow("all selected")
            << int(PitchList) << "C3,D3" << 0 << 5 << NoteOnE3 << false << "E3";
        QTest::newRow("one selected")
            << int(PitchList) << "C3,D3,F3" << 3 << 2 << NoteOnE3 << false << "C3,E3,F3";
        QTest::newRow("any channel")
            << int(PitchList) << "" << 0 << 0 << QVector<uchar> {0x9F, 61, 1} << false << "C#3";
        QTest::newRow("lowest pitch") << int(PitchSingle) << "D3" << 2 << 0
                                      << QVector<uchar> {0x90, 0, 100} << false << "C-2";
        QTest::newRow("highest pitch")
            << int(PitchSingle) << "" << 0 << 0 << QVector<uchar> {0x90, 127, 100} << false << "G8";
        QTest::newRow("velocity list")
            << int(VelocityList) << "64" << 2 << 0 << NoteOnE3 << false << "64,100";
        QTest::newRow("velocity single")
            << int(VelocitySingle) << "64" << 2 << 0 << NoteOnE3 << false << "100";
        QTest::newRow("message replaces")
            << int(MessageList) << "0xc0 0x5" << 8 << 0 << QVector<uchar> {0x90, 60, 127} << false
            << "0x90 0x3c 0x7f";
        QTest::newRow("message added with Shift")
            << int(MessageList) << "0xc0 0x5" << 8 << 0 << QVector<uchar> {0x90, 60, 127} << true
            << "0xc0 0x5,0x90 0x3c 0x7f";
        QTest::newRow("small bytes")
            << int(MessageList) << "" << 0 << 0 << QVector<uchar> {0xC3, 15} << false << "0xc3 0xf";
    }

    void midiEntryIntoLists()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, selectionStart);
        QFETCH(int, selectionLength);
        QFETCH(QVector<uchar>, message);
        QFETCH(bool, shift);
        QFETCH(QString, result);

        const auto edit = makeEdit(kind);
        edit->setText(text);
        if (selectionLength > 0)
            edit->setSelection(selectionStart, selectionLength);
        else
            edit->setCursorPosition(selectionStart);
        QSignalSpy edited(edit.get(), &QLineEdit::textEdited);
        play(edit.get(), message, shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(edit->text(), result);
        // The entry is an edit, as if typed or pasted.
        QCOMPARE(edited.size(), 1);
        QVERIFY(edit->isModified());
    }

    void midiEntryIgnores_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QVector<uchar>>("message");
        for (int kind : {PitchList, VelocitySingle}) {
            const char* name = kind == PitchList ? "pitch" : "velocity";
            QTest::addRow("%s: note on at velocity 0", name)
                << kind << QVector<uchar> {0x90, 60, 0};
            QTest::addRow("%s: note off", name) << kind << QVector<uchar> {0x80, 60, 64};
            QTest::addRow("%s: control change", name) << kind << QVector<uchar> {0xB0, 7, 100};
            QTest::addRow("%s: two bytes", name) << kind << QVector<uchar> {0x90, 60};
            QTest::addRow("%s: four bytes", name) << kind << QVector<uchar> {0x90, 60, 1, 2};
            QTest::addRow("%s: pitch byte 0x80", name) << kind << QVector<uchar> {0x90, 0x80, 100};
            QTest::addRow("%s: velocity byte 0xff", name)
                << kind << QVector<uchar> {0x90, 60, 0xFF};
        }
        QTest::newRow("message: data byte 0x90")
            << int(MessageList) << QVector<uchar> {0xB0, 0x90, 1};
        QTest::newRow("message: no status") << int(MessageList) << QVector<uchar> {60, 100};
        QTest::newRow("message: empty") << int(MessageList) << QVector<uchar> {};
    }

    void midiEntryIgnores()
    {
        QFETCH(int, kind);
        QFETCH(QVector<uchar>, message);
        const auto edit = makeEdit(kind);
        edit->setText(QStringLiteral("1"));
        play(edit.get(), message);
        QCOMPARE(edit->text(), QStringLiteral("1"));
    }

    void otherEventsOfTheSameNumberAreIgnored()
    {
        PitchListEdit edit;
        QEvent other(QEvent::User);
        QApplication::sendEvent(&edit, &other);
        QCOMPARE(edit.text(), QString());
        edit.setReadOnly(true);
        play(&edit, NoteOnE3);
        QCOMPARE(edit.text(), QString());
    }

    void enteredTextFinishesLikeTypedText()
    {
        auto* edit = new PitchSingleEdit;
        FocusWindow w(edit);
        QVERIFY(w.open());
        edit->setText(QStringLiteral("D3"));
        QSignalSpy finished(edit, &QLineEdit::editingFinished);

        play(edit, NoteOnE3);
        QCOMPARE(edit->text(), QStringLiteral("E3"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(finished.size(), 1);
        play(edit, QVector<uchar> {0x90, 65, 1});
        w.other->setFocus();
        QTRY_COMPARE(finished.size(), 2);
        QCOMPARE(edit->text(), QStringLiteral("F3"));
    }

    void leftUnfinishedTakesBackItsText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        QTest::newRow("lone letter") << int(PitchSingle) << "D3"
                                     << "\bc"
                                     << "D3";
        QTest::newRow("list item") << int(PitchList) << "C3"
                                   << ",d"
                                   << "C3";
        QTest::newRow("trailing comma") << int(PitchList) << "C3"
                                        << ",D3,"
                                        << "C3,D3";
        QTest::newRow("open byte") << int(MessageList) << "0x90"
                                   << " 0x"
                                   << "0x90";
        QTest::newRow("finished") << int(VelocitySingle) << "64"
                                  << "\b\b96"
                                  << "96";
    }

    void leftUnfinishedTakesBackItsText()
    {
        QFETCH(int, kind);
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, left);

        CommonMidiInputListEdit* edit = makeEdit(kind).release();
        FocusWindow w(edit);
        // The document's value, pushed in from outside.
        edit->setText(stored);
        QVERIFY(w.open());
        edit->end(false);
        for (QChar c : typed) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(edit, Qt::Key_Backspace);
            else
                QTest::keyClicks(edit, QString(c));
        }
        QSignalSpy finished(edit, &QLineEdit::editingFinished);
        QVERIFY(FocusWindow::focus(w.other));
        QCOMPARE(edit->text(), left);
        const bool restored = left == stored;
        QCOMPARE(finished.size(), restored ? 0 : 1);
        QCOMPARE(flashing(*edit)->isFlashing(), restored);
    }

    void finishedTextIsWhatALaterEditGoesBackTo()
    {
        auto* edit = new PitchSingleEdit;
        FocusWindow w(edit);
        edit->setText(QStringLiteral("D3"));
        QVERIFY(w.open());

        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("e3"));
        QTest::keyClick(edit, Qt::Key_Return);
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("f"));
        QCOMPARE(edit->text(), QStringLiteral("F"));
        QVERIFY(FocusWindow::focus(w.other));
        QCOMPARE(edit->text(), QStringLiteral("E3"));
    }
};

QTEST_MAIN(TestListEdits)
#include "tst_listedits.moc"
