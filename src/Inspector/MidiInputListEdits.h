#ifndef MIDIINPUTLISTEDITS_H
#define MIDIINPUTLISTEDITS_H

#include <QLineEdit>

class FlashingValidator;
class MidiEvent;

// One-line fields for the comma-separated lists and single values that the inspector edits:
// pitches, velocities and raw MIDI messages. Each checks its text against a pattern (a
// rejected keystroke flashes the field) and takes MIDI entry: while it has the focus, a
// message played on the MIDI-entry input becomes text in the field, inserted as a list item
// or replacing a single value.
//
// A field that loses the focus holding text that cannot be made acceptable (a lone "C" in a
// pitch field) takes back its text from before the edit and flashes, since no
// editingFinished() reports such a text and the field would show what the document does not
// hold.
class CommonMidiInputListEdit : public QLineEdit
{
    Q_OBJECT

public:
    enum MidiEntryKind { PitchEntry = 1, VelocityEntry = 2, MessageEntry = 3 };

    explicit CommonMidiInputListEdit(QWidget* parent = nullptr);
    ~CommonMidiInputListEdit() override;

    // What a played message enters: a MidiEntryKind.
    virtual int midiEntry() const = 0;
    bool isListMode() const { return m_listMode; }

protected:
    void customEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    void setListMode(bool listMode) { m_listMode = listMode; }
    // Installs a flashing validator for `pattern` in place of the current one.
    void setPattern(const QString& pattern);
    // Hands the line edit a copy of a key press whose text is `text`.
    void keyPressWithText(QKeyEvent* event, const QString& text);

private:
    // The text of a played message for this field; empty for one that it ignores.
    QString entryText(const MidiEvent& event) const;
    void onTextChanged();

    bool m_listMode = true;
    // What the field showed before the current edit, and whether the user has edited it since.
    QString m_textBeforeEdit;
    bool m_edited = false;
};

// A list of pitches: note names ("C3", "F#-1"; C-2 up to G8) or relative steps ("+2",
// "-12"). Letters typed become upper case.
class PitchListEdit : public CommonMidiInputListEdit
{
    Q_OBJECT

public:
    explicit PitchListEdit(QWidget* parent = nullptr);
    ~PitchListEdit() override;

    int midiEntry() const override { return PitchEntry; }

    static QString listPattern();
    static QString singlePattern();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// One pitch; a played note replaces it.
class PitchSingleEdit : public PitchListEdit
{
    Q_OBJECT

public:
    explicit PitchSingleEdit(QWidget* parent = nullptr);
    ~PitchSingleEdit() override;
};

// A list of velocities, 0 to 127 with an optional sign.
class VelocityListEdit : public CommonMidiInputListEdit
{
    Q_OBJECT

public:
    explicit VelocityListEdit(QWidget* parent = nullptr);
    ~VelocityListEdit() override;

    int midiEntry() const override { return VelocityEntry; }

    static QString listPattern();
    static QString singlePattern();
};

// One velocity; a played note's velocity replaces it.
class VelocitySingleEdit : public VelocityListEdit
{
    Q_OBJECT

public:
    explicit VelocitySingleEdit(QWidget* parent = nullptr);
    ~VelocitySingleEdit() override;
};

// A list of raw MIDI messages, each bytes written "0x" and lower-case hexadecimal digits,
// separated by white space. Letters typed become lower case. A played message replaces the
// list, or is added at the cursor while Shift is held.
class UserMidiMessageListEdit : public CommonMidiInputListEdit
{
    Q_OBJECT

public:
    explicit UserMidiMessageListEdit(QWidget* parent = nullptr);
    ~UserMidiMessageListEdit() override;

    int midiEntry() const override { return MessageEntry; }

    static QString listPattern();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

#endif // MIDIINPUTLISTEDITS_H
