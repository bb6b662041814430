#include "MidiSynthDialog.h"

#include "MidiPortNames.h"
#include "MidiSynth.h"

MidiSynthDialog::MidiSynthDialog(QWidget*)
    : QDialog(nullptr,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::CustomizeWindowHint)
{
    setWindowTitle(MidiPortNames::synthesizerPortName());
    resize(250, 380);
}

MidiSynthDialog::~MidiSynthDialog() = default;

MidiSynth* MidiSynthDialog::synth() const
{
    return m_synth;
}

void MidiSynthDialog::setSynth(MidiSynth* synth)
{
    m_synth = synth;
}
