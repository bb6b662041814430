#ifndef MIDISYNTHDIALOG_H
#define MIDISYNTHDIALOG_H

#include <QDialog>
#include <QPointer>

class MidiSynth;

// The dialog of the built-in synthesizer: which instrument plays on each channel of the
// synthesizer port. One per application, parentless, a tool window.
class MidiSynthDialog : public QDialog
{
    Q_OBJECT

public:
    // The dialog is always made without a parent; the argument is not used.
    explicit MidiSynthDialog(QWidget* parent = nullptr);
    ~MidiSynthDialog() override;

    void setSynth(MidiSynth* synth);
    MidiSynth* synth() const;

private:
    QPointer<MidiSynth> m_synth;
};

#endif // MIDISYNTHDIALOG_H
