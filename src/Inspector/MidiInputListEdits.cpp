#include "MidiInputListEdits.h"

#include "FlashingValidator.h"
#include "MidiEvent.h"
#include "QmdKelvoController.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace {

// A pitch: a note from C-2 up to G8 (octave 8 ends at G, pitch 127), or a relative step.
const QString PitchItem = QStringLiteral("((([ACDFG]#?|[EB])(-[12]|[0-7])|([CDF]#?|[EG])8)"
                                         "|[+-]([0-9]{1,2}|1[01][0-9]|12[0-7]))");
const QString VelocityItem = QStringLiteral("([+-]?([0-9]{1,2}|1[01][0-9]|12[0-7]))");

// The empty text, or items separated by ",".
QString listOf(const QString& item)
{
    return QStringLiteral("|(%1(,%1)*)").arg(item);
}

} // namespace

CommonMidiInputListEdit::CommonMidiInputListEdit(QWidget* parent)
    : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &CommonMidiInputListEdit::onTextChanged);
    connect(this, &QLineEdit::textEdited, this, [this] { m_edited = true; });
    connect(this, &QLineEdit::editingFinished, this, [this] {
        m_textBeforeEdit = text();
        m_edited = false;
    });
}

CommonMidiInputListEdit::~CommonMidiInputListEdit() = default;

void CommonMidiInputListEdit::setPattern(const QString& pattern)
{
    const QValidator* old = validator();
    setValidator(new FlashingValidator(QRegularExpression(pattern), this));
    delete old;
}

void CommonMidiInputListEdit::keyPressWithText(QKeyEvent* event, const QString& text)
{
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), text, event->isAutoRepeat(),
                   event->count());
    QLineEdit::keyPressEvent(&copy);
    event->setAccepted(copy.isAccepted());
}

void CommonMidiInputListEdit::onTextChanged()
{
    // A text set from outside (the document's value) is what an edit starts from.
    if (!isModified()) {
        m_textBeforeEdit = text();
        m_edited = false;
    }
}

void CommonMidiInputListEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (!m_edited)
        m_textBeforeEdit = text();
}

void CommonMidiInputListEdit::focusOutEvent(QFocusEvent* event)
{
    // The line edit finishes an acceptable text, or one that fix-up makes acceptable.
    QLineEdit::focusOutEvent(event);
    if (!m_edited || event->reason() == Qt::PopupFocusReason || hasAcceptableInput())
        return;
    setText(m_textBeforeEdit);
    if (const auto* flashing = qobject_cast<const FlashingValidator*>(validator()))
        flashing->flash();
}

void CommonMidiInputListEdit::customEvent(QEvent* event)
{
    const MidiEvent* midi = MidiEvent::entryEvent(event);
    if (!midi) {
        QLineEdit::customEvent(event);
        return;
    }
    if (isReadOnly() || !isEnabled())
        return;
    const QString entry = entryText(*midi);
    if (entry.isEmpty())
        return;

    const bool replace = !m_listMode
        || (midiEntry() == MessageEntry && !midi->modifiers().testFlag(Qt::ShiftModifier));
    if (replace) {
        // Replaced as a paste would: an edit, which the line edit reports when it finishes.
        selectAll();
        insert(entry);
        return;
    }

    // Inserted as one item of the list, at the cursor or in place of the selection.
    const int p = hasSelectedText() ? selectionStart() : cursorPosition();
    QString rest = text();
    if (hasSelectedText())
        rest.remove(p, selectedText().size());
    const QChar comma(QLatin1Char(','));
    const QString prefix = p > 0 && rest.at(p - 1) != comma ? QString(comma) : QString();
    const QString suffix = p < rest.size() && rest.at(p) != comma ? QString(comma) : QString();
    insert(prefix + entry + suffix);
}

QString CommonMidiInputListEdit::entryText(const MidiEvent& event) const
{
    const QVector<uchar>& bytes = event.bytes();
    const int kind = midiEntry();
    if (kind == PitchEntry || kind == VelocityEntry) {
        const bool noteOn = bytes.size() == 3 && (bytes.at(0) & 0xF0) == 0x90 && bytes.at(2) != 0;
        if (!noteOn)
            return QString();
        return kind == PitchEntry ? QmdKelvoController::noteName(bytes.at(1))
                                  : QString::number(bytes.at(2));
    }
    if (kind == MessageEntry) {
        QStringList parts;
        for (uchar byte : bytes)
            parts << QStringLiteral("0x%1").arg(byte, 0, 16);
        return parts.join(QLatin1Char(' '));
    }
    return QString();
}

PitchListEdit::PitchListEdit(QWidget* parent)
    : CommonMidiInputListEdit(parent)
{
    setPattern(listPattern());
}

PitchListEdit::~PitchListEdit() = default;

QString PitchListEdit::listPattern()
{
    return listOf(PitchItem);
}

QString PitchListEdit::singlePattern()
{
    return PitchItem;
}

void PitchListEdit::keyPressEvent(QKeyEvent* event)
{
    keyPressWithText(event, event->text().toUpper());
}

PitchSingleEdit::PitchSingleEdit(QWidget* parent)
    : PitchListEdit(parent)
{
    setListMode(false);
    setPattern(singlePattern());
}

PitchSingleEdit::~PitchSingleEdit() = default;

VelocityListEdit::VelocityListEdit(QWidget* parent)
    : CommonMidiInputListEdit(parent)
{
    setPattern(listPattern());
}

VelocityListEdit::~VelocityListEdit() = default;

QString VelocityListEdit::listPattern()
{
    return listOf(VelocityItem);
}

QString VelocityListEdit::singlePattern()
{
    return VelocityItem;
}

VelocitySingleEdit::VelocitySingleEdit(QWidget* parent)
    : VelocityListEdit(parent)
{
    setListMode(false);
    setPattern(singlePattern());
}

VelocitySingleEdit::~VelocitySingleEdit() = default;

UserMidiMessageListEdit::UserMidiMessageListEdit(QWidget* parent)
    : CommonMidiInputListEdit(parent)
{
    setPattern(listPattern());
}

UserMidiMessageListEdit::~UserMidiMessageListEdit() = default;

QString UserMidiMessageListEdit::listPattern()
{
    // Empty items between commas are allowed; the bytes of one message are separated by
    // single white-space characters.
    return QStringLiteral("|(|((0x([0-9]|[a-f]){1,2})(\\s(0x([0-9]|[a-f]){1,2}))*)"
                          "(,|((0x([0-9]|[a-f]){1,2})(\\s(0x([0-9]|[a-f]){1,2}))*))*)");
}

void UserMidiMessageListEdit::keyPressEvent(QKeyEvent* event)
{
    keyPressWithText(event, event->text().toLower());
}
