#include "FocusWindow.h"
#include "MidiEvent.h"
#include "NotesEdit.h"
#include "NotesSyntaxHighligher.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>

namespace {

void play(QWidget* widget, const QVector<uchar>& bytes)
{
    MidiEvent event(Qt::NoModifier, 0.0, bytes);
    QApplication::sendEvent(widget, &event);
}

void placeCursor(NotesEdit& edit, int position)
{
    QTextCursor cursor = edit.textCursor();
    cursor.setPosition(position);
    edit.setTextCursor(cursor);
}

// The colour of every coloured range of one line, as (start, length, colour).
struct Range
{
    int start;
    int length;
    QColor color;
    bool operator==(const Range& other) const
    {
        return start == other.start && length == other.length && color == other.color;
    }
};

QList<Range> colours(const NotesEdit& edit, int line)
{
    QList<Range> ranges;
    const QTextBlock block = edit.document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
        if (range.format.hasProperty(QTextFormat::ForegroundBrush))
            ranges.append({range.start, range.length, range.format.foreground().color()});
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.start < b.start; });
    return ranges;
}

const QColor Pitch = NotesSyntaxHighligher::listColor(QmdKelvoController::PitchListToken);
const QColor Velocity = NotesSyntaxHighligher::listColor(QmdKelvoController::VelocityListToken);
const QColor Duration = NotesSyntaxHighligher::listColor(QmdKelvoController::DurationListToken);
const QColor Comment = NotesSyntaxHighligher::commentColor();

} // namespace

QT_BEGIN_NAMESPACE
namespace QTest {
template<>
char* toString(const Range& range)
{
    return qstrdup(QStringLiteral("(%1, %2, %3)")
                       .arg(range.start)
                       .arg(range.length)
                       .arg(range.color.name())
                       .toUtf8()
                       .constData());
}
} // namespace QTest
QT_END_NAMESPACE

// The notes editor: validation and what it reports, the error pulse, completion, letter case,
// MIDI entry of notes and chords, and the colours of the lists.
class TestNotesEdit : public QObject
{
    Q_OBJECT

private slots:
    void reportsValidChangesOnly()
    {
        NotesEdit edit;
        QSignalSpy valid(&edit, &NotesEdit::textChangedAndValid);
        edit.setPlainText(QStringLiteral("C3:96:100%"));
        QCOMPARE(valid.size(), 1);

        edit.moveCursor(QTextCursor::End);
        QTest::keyClicks(&edit, QStringLiteral(" "));
        QCOMPARE(valid.size(), 2);
        QTest::keyClicks(&edit, QStringLiteral("[Q"));
        QCOMPARE(edit.toPlainText(), QStringLiteral("C3:96:100% [Q"));
        QCOMPARE(valid.size(), 2);

        // A change of formatting alone is no change of the text.
        QTextCursor cursor(edit.document());
        cursor.select(QTextCursor::Document);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.mergeCharFormat(bold);
        QCOMPARE(valid.size(), 2);

        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(valid.size(), 3);
        QCOMPARE(edit.toPlainText(), QStringLiteral("C3:96:100% "));
    }

    void errorPulseFollowsTheLastInvalidEdit()
    {
        NotesEdit edit;
        const QString plain = edit.styleSheet();
        auto* delay = edit.findChild<QTimer*>(QStringLiteral("errorDelay"));
        QVERIFY(delay);

        QTest::keyClicks(&edit, QStringLiteral("C3:"));
        QVERIFY(delay->isActive());
        QTest::qWait(400);
        QCOMPARE(edit.styleSheet(), plain);
        // A further invalid edit puts the pulse off to a second after it.
        QTest::keyClicks(&edit, QStringLiteral(":"));
        QVERIFY(delay->remainingTime() > 800);
        QCOMPARE(edit.styleSheet(), plain);
        QTRY_VERIFY_WITH_TIMEOUT(edit.styleSheet().contains(QLatin1String("rgba(255, 128, 0")),
                                 5000);
        // It ends fully orange.
        QTRY_VERIFY(edit.styleSheet().contains(QLatin1String("rgba(255, 128, 0, 255)")));

        QTest::keyClick(&edit, Qt::Key_Backspace);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.toPlainText(), QStringLiteral("C3"));
        QCOMPARE(edit.styleSheet(), plain);
        QVERIFY(!delay->isActive());
    }

    void tabCompletesTheNextField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("result");
        QTest::newRow("velocity") << "C3" << 2 << "C3:96";
        QTest::newRow("duration") << "C3:96" << 5 << "C3:96:100%";
        QTest::newRow("nothing after a duration") << "C3:96:100%" << 10 << "C3:96:100%";
        QTest::newRow("after spaces") << "C3   " << 5 << "C3   :96";
        QTest::newRow("before a colon") << "C3:96" << 2 << "C3:96";
        QTest::newRow("inside a list") << "C#3" << 1 << "C#3";
        QTest::newRow("after other text") << "C3 x" << 4 << "C3 x";
        QTest::newRow("no list") << "" << 0 << "";
        QTest::newRow("list of pitches") << "C3,E3,G3" << 8 << "C3,E3,G3:96";
        QTest::newRow("after a comment line") << "// é\nC3" << 7 << "// é\nC3:96";
        QTest::newRow("accented list") << "// ü\nC3:96 D3" << 13 << "// ü\nC3:96 D3:96";
    }

    void tabCompletesTheNextField()
    {
        QFETCH(QString, text);
        QFETCH(int, cursor);
        QFETCH(QString, result);
        auto* edit = new NotesEdit;
        FocusWindow w(edit);
        QVERIFY(w.open());
        edit->setPlainText(text);
        placeCursor(*edit, cursor);
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(edit->toPlainText(), result);
        // Tab never leaves the editor.
        QVERIFY(edit->hasFocus());
        QTest::keyClick(edit, Qt::Key_Backtab);
        QVERIFY(edit->hasFocus());
    }

    void typingCompletesANote()
    {
        auto* edit = new NotesEdit;
        FocusWindow w(edit);
        QVERIFY(w.open());
        QTest::keyClicks(edit, QStringLiteral("c3"));
        QTest::keyClick(edit, Qt::Key_Tab);
        QTest::keyClick(edit, Qt::Key_Tab);
        QCOMPARE(edit->toPlainText(), QStringLiteral("C3:96:100%"));
    }

    void lettersUpperCaseOutsideComments()
    {
        NotesEdit edit;
        QTest::keyClicks(&edit, QStringLiteral("c3 // a b"));
        QCOMPARE(edit.toPlainText(), QStringLiteral("C3 // a b"));
        QTest::keyClick(&edit, Qt::Key_Return);
        QTest::keyClicks(&edit, QStringLiteral("d3"));
        QCOMPARE(edit.toPlainText(), QStringLiteral("C3 // a b\nD3"));
        // Before the comment on its line a letter is upper-cased.
        placeCursor(edit, 2);
        QTest::keyClicks(&edit, QStringLiteral(",e"));
        QCOMPARE(edit.toPlainText(), QStringLiteral("C3,E // a b\nD3"));
    }

    void playedNotesAndChords()
    {
        auto* edit = new NotesEdit;
        FocusWindow w(edit);
        QVERIFY(w.open());
        QSignalSpy valid(edit, &NotesEdit::textChangedAndValid);
        play(edit, {0x90, 60, 96});
        QCOMPARE(edit->toPlainText(), QStringLiteral("C3:96:100%"));
        QCOMPARE(valid.size(), 1);
        play(edit, {0x91, 64, 80});
        const QString chord = QStringLiteral("[\n C3:96:100%\n E3:80:100%\n]");
        QCOMPARE(edit->toPlainText(), chord);
        QCOMPARE(edit->textCursor().position(), chord.size());
        QCOMPARE(valid.size(), 2);

        // A control change, a two-byte message and a malformed one change nothing.
        play(edit, {0xB0, 7, 100});
        play(edit, {0x90, 60});
        play(edit, {0x90, 0x80, 100});
        QCOMPARE(edit->toPlainText(), chord);
        QVERIFY(edit->isChordOpen());

        // Releasing a key ends the chord; the next note starts a new line.
        play(edit, {0x80, 64, 0});
        QVERIFY(!edit->isChordOpen());
        play(edit, {0x90, 67, 90});
        QCOMPARE(edit->toPlainText(), chord + QStringLiteral("\nG3:90:100%"));
        play(edit, {0x90, 72, 0});
        QVERIFY(!edit->isChordOpen());
        play(edit, {0x90, 72, 70});
        play(edit, {0x90, 76, 70});
        QCOMPARE(edit->toPlainText(),
                 chord + QStringLiteral("\nG3:90:100%\n[\n C4:70:100%\n E4:70:100%\n]"));

        // Played notes can be undone as typing can.
        edit->undo();
        QCOMPARE(edit->toPlainText(), chord + QStringLiteral("\nG3:90:100%\nC4:70:100%"));
    }

    void chordEndsOnFocusOut()
    {
        auto* edit = new NotesEdit;
        FocusWindow w(edit);
        QVERIFY(w.open());
        play(edit, {0x90, 60, 96});
        QVERIFY(FocusWindow::focus(w.other));
        QVERIFY(!edit->isChordOpen());
        QVERIFY(FocusWindow::focus(edit));
        play(edit, {0x90, 64, 80});
        QCOMPARE(edit->toPlainText(), QStringLiteral("C3:96:100%\nE3:80:100%"));
    }

    void chordEndsOnATextFromOutside()
    {
        NotesEdit edit;
        play(&edit, {0x90, 60, 96});
        QVERIFY(edit.isChordOpen());
        // Another node selected: its notes are pushed in while the key is held.
        edit.setPlainText(QStringLiteral("A3"));
        QVERIFY(!edit.isChordOpen());
        play(&edit, {0x90, 64, 80});
        QCOMPARE(edit.toPlainText(), QStringLiteral("A3\nE3:80:100%"));

        // Typing ends it too, so that the next note keeps what was typed.
        edit.moveCursor(QTextCursor::End);
        QTest::keyClicks(&edit, QStringLiteral(" "));
        play(&edit, {0x90, 67, 80});
        QCOMPARE(edit.toPlainText(), QStringLiteral("A3\nE3:80:100% \nG3:80:100%"));
    }

    void listColours()
    {
        NotesEdit edit;
        edit.setPlainText(QStringLiteral("C3:96:100% // Comment\nD3"));
        QCOMPARE(
            colours(edit, 0),
            (QList<Range> {{0, 2, Pitch}, {3, 2, Velocity}, {6, 4, Duration}, {11, 10, Comment}}));
        QCOMPARE(colours(edit, 1), (QList<Range> {{0, 2, Pitch}}));
        // Lists show in lower case; a comment keeps the case it was typed in.
        const QTextBlock first = edit.document()->firstBlock();
        for (const QTextLayout::FormatRange& range : first.layout()->formats()) {
            const bool comment = range.format.foreground().color() == Comment;
            QCOMPARE(range.format.fontCapitalization(),
                     comment ? QFont::MixedCase : QFont::AllLowercase);
        }
    }

    void listColoursAfterOtherCharacters()
    {
        NotesEdit edit;
        edit.setPlainText(QStringLiteral("// é\nC3:96:100%\n// ü ö\nE3 F#3"));
        QCOMPARE(colours(edit, 0), (QList<Range> {{0, 4, Comment}}));
        QCOMPARE(colours(edit, 1),
                 (QList<Range> {{0, 2, Pitch}, {3, 2, Velocity}, {6, 4, Duration}}));
        QCOMPARE(colours(edit, 3), (QList<Range> {{0, 2, Pitch}, {3, 3, Pitch}}));

        QmdKelvoController::NotesTokenMap lists;
        QVERIFY(NotesEdit::validate(QStringLiteral("// é\nC#3"), lists));
        QCOMPARE(lists.firstKey(), 5);
        QCOMPARE(lists.first().first, 3);
        lists.clear();
        // A character outside the basic plane, which the notes language refuses, takes two
        // places of the text; the lists after it are still found.
        QVERIFY(!NotesEdit::validate(QStringLiteral("// \U0001F3B5\nC3"), lists));
        QCOMPARE(lists.firstKey(), 6);
        QCOMPARE(lists.first().first, 2);
    }

    void listOverSeveralLines()
    {
        NotesEdit edit;
        edit.setPlainText(QStringLiteral("C3,\nD3,\nE3:96"));
        QCOMPARE(colours(edit, 0), (QList<Range> {{0, 3, Pitch}}));
        QCOMPARE(colours(edit, 1), (QList<Range> {{0, 3, Pitch}}));
        QCOMPARE(colours(edit, 2), (QList<Range> {{0, 2, Pitch}, {3, 2, Velocity}}));
    }

    void coloursFollowEdits()
    {
        NotesEdit edit;
        edit.setPlainText(QStringLiteral("C3 D3"));
        edit.moveCursor(QTextCursor::Start);
        QTest::keyClicks(&edit, QStringLiteral("E3 "));
        QCOMPARE(colours(edit, 0), (QList<Range> {{0, 2, Pitch}, {3, 2, Pitch}, {6, 2, Pitch}}));
    }

    void usesTheSystemsFixedFont()
    {
        NotesEdit edit;
        QCOMPARE(edit.font().family(),
                 QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
        QCOMPARE(edit.font().pointSize(), QApplication::font().pointSize() - 1);
    }
};

QTEST_MAIN(TestNotesEdit)
#include "tst_notesedit.moc"
