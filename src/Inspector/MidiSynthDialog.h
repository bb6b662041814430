#ifndef MIDISYNTHDIALOG_H
#define MIDISYNTHDIALOG_H

#include "MidiSynth.h"
#include "ui_MidiSynthDialogForm.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QDialog>
#include <QPointer>

// The 16 channels of the synthesizer port: the channel number and the name of the instrument
// that plays on it. Empty without a synthesizer.
class SynthChannelsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit SynthChannelsModel(QObject* parent = nullptr);

    void setSynth(MidiSynth* synth);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

public slots:
    void onInstrumentChanged(int channel);

private:
    QPointer<MidiSynth> synth;
};

// The instruments of the synthesizer's sound bank, by name. Empty without a synthesizer.
class SynthInstrumentsModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit SynthInstrumentsModel(QObject* parent = nullptr);

    void setSynth(MidiSynth* synth);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QPointer<MidiSynth> synth;
};

// The dialog of the built-in synthesizer: which instrument plays on each channel of the
// synthesizer port, chosen by name or by program and bank, and a reset to the default sound
// bank. One per application, parentless, a tool window that remembers where it was.
class MidiSynthDialog : public QDialog, public Ui::MidiSynthDialogForm
{
    Q_OBJECT

public:
    // The dialog is always made without a parent; the argument is not used.
    explicit MidiSynthDialog(QWidget* parent = nullptr);
    ~MidiSynthDialog() override;

    void setSynth(MidiSynth* synth);
    MidiSynth* synth() const;

    SynthChannelsModel* channelsModel() const { return m_channelsModel; }
    SynthInstrumentsModel* instrumentsModel() const { return m_instrumentsModel; }

private slots:
    void on_resetButton_clicked();
    void onChannelIndexOrDataChanged(const QModelIndex& topLeft);
    void on_instrumentsComboBox_currentIndexChanged(int index);
    void onAnySpinBoxValueChanged();
    // The synthesizer is going: the models let go of it before their views ask again.
    void onSynthDestroyed();

private:
    void setModelsSynth(MidiSynth* synth);
    void refresh();
    // Where the dialog goes when it has no stored geometry: centred across the available area
    // of the primary screen, in its upper half.
    void placeFirstTime();
    // The channel shown below the table; -1 when none is current.
    int currentChannel() const;

    SynthChannelsModel* m_channelsModel;
    SynthInstrumentsModel* m_instrumentsModel;
    QPointer<MidiSynth> m_synth;
};

#endif // MIDISYNTHDIALOG_H
