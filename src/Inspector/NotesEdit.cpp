#include "NotesEdit.h"

#include "MidiEvent.h"
#include "NotesSyntaxHighligher.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

const QString PlainStyleSheet
    = QStringLiteral("QPlainTextEdit { border-width: 1px; padding: 1px; }");

// The UTF-8 length of the character that starts at text[i], and how many QChars it takes.
int utf8Length(const QString& text, int i, int* width)
{
    const char16_t c = text.at(i).unicode();
    *width = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < text.size()
        && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
        *width = 2;
        return 4;
    }
    // Other characters of the basic plane, and a lone surrogate (written as U+FFFD).
    return 3;
}

} // namespace

NotesEdit::NotesEdit(QWidget* parent)
    : QPlainTextEdit(parent)
    , m_highlighter(new NotesSyntaxHighligher(this))
    , m_errorPulse(new QPropertyAnimation(this, "currentErrorPulseValue", this))
    , m_errorDelay(new QTimer(this))
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const int defaultSize = QApplication::font().pointSize();
    if (defaultSize > 1)
        fixed.setPointSize(defaultSize - 1);
    setFont(fixed);
    setStyleSheet(PlainStyleSheet);

    m_errorPulse->setLoopCount(1);
    m_errorPulse->setDuration(500);
    m_errorPulse->setStartValue(10);
    m_errorPulse->setKeyValueAt(0.33, 255);
    m_errorPulse->setKeyValueAt(0.66, 10);
    m_errorPulse->setEndValue(255);
    connect(m_errorPulse, &QVariantAnimation::valueChanged, this,
            &NotesEdit::onErrorPulseValueChanged);

    m_errorDelay->setObjectName(QStringLiteral("errorDelay"));
    m_errorDelay->setInterval(1000);
    m_errorDelay->setSingleShot(true);
    connect(m_errorDelay, &QTimer::timeout, m_errorPulse, [this] { m_errorPulse->start(); });

    connect(document(), &QTextDocument::contentsChanged, this,
            &NotesEdit::onDocumentContentsChanged);
}

NotesEdit::~NotesEdit() = default;

bool NotesEdit::validate(const QString& text, QmdKelvoController::NotesTokenMap& lists)
{
    QmdKelvoController::NotesTokenMap bytes;
    const bool valid = QmdKelvoController::validateNotes(text, bytes);

    // The byte offset at which each character of the text starts, and the end.
    std::vector<int> offsets;
    offsets.reserve(size_t(text.size()) + 1);
    int offset = 0;
    for (int i = 0; i < text.size();) {
        int width = 1;
        const int length = utf8Length(text, i, &width);
        for (int k = 0; k < width; ++k)
            offsets.push_back(offset);
        offset += length;
        i += width;
    }
    offsets.push_back(offset);

    const auto position = [&offsets](int byte) {
        return int(std::lower_bound(offsets.cbegin(), offsets.cend(), byte) - offsets.cbegin());
    };
    const bool ascii = offset == text.size();
    for (auto it = bytes.cbegin(); it != bytes.cend(); ++it) {
        // Lists that the parser made up while recovering have no place in the text.
        if (it.key() < 0)
            continue;
        if (ascii) {
            lists.insert(it.key(), it.value());
            continue;
        }
        const int start = position(it.key());
        const int end = position(it.key() + it->first);
        lists.insert(start, qMakePair(end - start, it->second));
    }
    return valid;
}

void NotesEdit::onDocumentContentsChanged()
{
    const QString text = toPlainText();
    if (text == m_lastText)
        return;
    // A text set from outside, or typed, ends the chord being played: its next note would
    // otherwise bring back the text from before the chord.
    if (!m_enteringNotes)
        endChord();

    QmdKelvoController::NotesTokenMap lists;
    const bool valid = validate(text, lists);
    if (valid) {
        m_errorDelay->stop();
        m_errorPulse->stop();
        setStyleSheetIfChanged(PlainStyleSheet);
    } else {
        m_errorDelay->start();
    }
    m_lists = lists;

    const bool blocked = document()->blockSignals(true);
    m_highlighter->rehighlight();
    document()->blockSignals(blocked);
    m_lastText = text;

    if (valid)
        emit textChangedAndValid();
}

void NotesEdit::onErrorPulseValueChanged()
{
    setStyleSheetIfChanged(
        QStringLiteral("QPlainTextEdit { border: 2px solid rgba(255, 128, 0, %1); "
                       "border-radius: 4px; }")
            .arg(m_errorPulseValue));
}

void NotesEdit::setStyleSheetIfChanged(const QString& sheet)
{
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
}

void NotesEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Tab) {
        event->accept();
        completeNote();
        return;
    }
    // Taken here, so that the window does not pass the focus on either.
    if (event->key() == Qt::Key_Backtab) {
        event->accept();
        return;
    }
    if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) {
        const QTextCursor cursor = textCursor();
        const int comment = cursor.block().text().indexOf(QLatin1String("//"));
        const bool inComment = comment >= 0 && cursor.positionInBlock() > comment + 1;
        if (!inComment) {
            QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text().toUpper(),
                           event->isAutoRepeat(), event->count());
            QPlainTextEdit::keyPressEvent(&copy);
            event->setAccepted(copy.isAccepted());
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void NotesEdit::completeNote()
{
    const int p = textCursor().position();
    auto it = m_lists.upperBound(p);
    if (it == m_lists.cbegin())
        return;
    --it;
    const int end = it.key() + it->first;
    if (end > p)
        return;
    const QTextDocument* doc = document();
    for (int i = end; i < p; ++i) {
        if (!doc->characterAt(i).isSpace())
            return;
    }
    if (doc->characterAt(p) == QLatin1Char(':'))
        return;
    if (it->second == QmdKelvoController::PitchListToken)
        insertPlainText(QStringLiteral(":96"));
    else if (it->second == QmdKelvoController::VelocityListToken)
        insertPlainText(QStringLiteral(":100%"));
}

bool NotesEdit::focusNextPrevChild(bool)
{
    setFocus(Qt::TabFocusReason);
    return false;
}

void NotesEdit::focusOutEvent(QFocusEvent* event)
{
    endChord();
    QPlainTextEdit::focusOutEvent(event);
}

void NotesEdit::endChord()
{
    m_chordOpen = false;
    m_chordNotes.clear();
    m_textBeforeChord.clear();
}

void NotesEdit::customEvent(QEvent* event)
{
    const MidiEvent* midi = MidiEvent::entryEvent(event);
    if (!midi) {
        QPlainTextEdit::customEvent(event);
        return;
    }
    const QVector<uchar>& bytes = midi->bytes();
    if (bytes.size() != 3 || isReadOnly())
        return;
    const int status = bytes.at(0) & 0xF0;
    if (status == 0x80 || (status == 0x90 && bytes.at(2) == 0)) {
        endChord();
        return;
    }
    if (status != 0x90)
        return;

    const QString note = QStringLiteral("%1:%2:100%")
                             .arg(QmdKelvoController::noteName(bytes.at(1)))
                             .arg(bytes.at(2));
    m_chordNotes << note;
    m_enteringNotes = true;
    if (!m_chordOpen) {
        m_textBeforeChord = toPlainText();
        appendPlainText(note);
        m_chordOpen = true;
    } else {
        QString chord = m_textBeforeChord;
        if (!chord.isEmpty())
            chord += QLatin1Char('\n');
        chord += QStringLiteral("[\n ") + m_chordNotes.join(QStringLiteral("\n "))
            + QStringLiteral("\n]");
        // Replaced through a cursor, so that the change can be undone like typing.
        QTextCursor cursor(document());
        cursor.select(QTextCursor::Document);
        cursor.insertText(chord);
        moveCursor(QTextCursor::End);
    }
    m_enteringNotes = false;
}
