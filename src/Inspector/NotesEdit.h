#ifndef NOTESEDIT_H
#define NOTESEDIT_H

#include "QmdKelvoController.h"

#include <QPlainTextEdit>
#include <QStringList>

class NotesSyntaxHighligher;
class QPropertyAnimation;
class QTimer;

// The editor of a node's notes text. It validates the text after every change and reports
// only valid changes, colours the pitch, velocity and duration lists and the comments, pulses
// an orange border once the text has stayed invalid for a second, completes the next field of
// a note on Tab, upper-cases letters typed outside comments, and takes notes and chords
// played on the MIDI-entry input.
class NotesEdit : public QPlainTextEdit
{
    Q_OBJECT
    Q_PROPERTY(
        qreal currentErrorPulseValue READ currentErrorPulseValue WRITE setCurrentErrorPulseValue)

public:
    explicit NotesEdit(QWidget* parent = nullptr);
    ~NotesEdit() override;

    // The lists of the text as last validated: from each list's start to its length and
    // kind, in positions of the document's characters.
    const QmdKelvoController::NotesTokenMap& lists() const { return m_lists; }

    qreal currentErrorPulseValue() const { return m_errorPulseValue; }
    void setCurrentErrorPulseValue(qreal value) { m_errorPulseValue = value; }
    bool isChordOpen() const { return m_chordOpen; }

    // Validates a notes text; `lists` receives its lists in positions of the text's
    // characters (the notes language counts bytes of the UTF-8 form).
    static bool validate(const QString& text, QmdKelvoController::NotesTokenMap& lists);

signals:
    void textChangedAndValid();

public slots:
    void onDocumentContentsChanged();
    void onErrorPulseValueChanged();

protected:
    void customEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Inserts the next field of the note before the cursor: the velocity after a pitch list,
    // the duration after a velocity list.
    void completeNote();
    void endChord();
    void setStyleSheetIfChanged(const QString& sheet);

    qreal m_errorPulseValue = 0;
    QString m_lastText;
    NotesSyntaxHighligher* m_highlighter;
    QmdKelvoController::NotesTokenMap m_lists;
    QPropertyAnimation* m_errorPulse;
    QTimer* m_errorDelay;

    // The chord being played: open from its first note on until a note off.
    bool m_chordOpen = false;
    QStringList m_chordNotes;
    QString m_textBeforeChord;
    // Set while a played note changes the text, which then does not end the chord.
    bool m_enteringNotes = false;
};

#endif // NOTESEDIT_H
