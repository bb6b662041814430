#include "MidiSynthDialog.h"

#include "AppServices.h"
#include "Inspector.h"
#include "MidiPortNames.h"
#include "PreferenceKeys.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>

// ---- SynthChannelsModel ---------------------------------------------------------------------

namespace {

constexpr int ChannelCount = 16;

} // namespace

SynthChannelsModel::SynthChannelsModel(QObject* parent)
    : QAbstractTableModel(parent)
{ }

void SynthChannelsModel::setSynth(MidiSynth* newSynth)
{
    if (synth)
        disconnect(synth, nullptr, this, nullptr);
    beginResetModel();
    synth = newSynth;
    if (synth)
        connect(synth, &MidiSynth::instrumentChanged, this,
                &SynthChannelsModel::onInstrumentChanged);
    endResetModel();
}

int SynthChannelsModel::rowCount(const QModelIndex& parent) const
{
    return synth && !parent.isValid() ? ChannelCount : 0;
}

int SynthChannelsModel::columnCount(const QModelIndex& parent) const
{
    return synth && !parent.isValid() ? 2 : 0;
}

QVariant SynthChannelsModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !synth || !index.isValid())
        return QVariant();
    if (index.column() == 0)
        return QString::number(index.row() + 1);
    // What the channel plays: the synthesizer's substitute when its sound bank lacks the
    // instrument selected.
    const QString name = synth->instrumentName(synth->soundingInstrument(index.row()));
    return name.isNull() ? tr("(none)") : name;
}

QVariant SynthChannelsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (synth && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return section == 0 ? tr("MIDI Channel") : tr("Instrument");
    return QAbstractTableModel::headerData(section, orientation, role);
}

void SynthChannelsModel::onInstrumentChanged(int channel)
{
    if (channel < 0 || channel >= rowCount())
        return;
    const QModelIndex cell = index(channel, 1);
    emit dataChanged(cell, cell);
}

// ---- SynthInstrumentsModel ------------------------------------------------------------------

SynthInstrumentsModel::SynthInstrumentsModel(QObject* parent)
    : QAbstractListModel(parent)
{ }

void SynthInstrumentsModel::setSynth(MidiSynth* newSynth)
{
    beginResetModel();
    synth = newSynth;
    endResetModel();
}

int SynthInstrumentsModel::rowCount(const QModelIndex& parent) const
{
    return synth && !parent.isValid() ? synth->instrumentCount() : 0;
}

QVariant SynthInstrumentsModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !synth || !index.isValid())
        return QVariant();
    return synth->instrumentName(synth->instrumentId(index.row()));
}

// ---- MidiSynthDialog ------------------------------------------------------------------------

MidiSynthDialog::MidiSynthDialog(QWidget*)
    : QDialog(nullptr,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::CustomizeWindowHint)
{
    setupUi(this);
    // Choosing another sound bank is not offered.
    openButton->hide();
    setWindowTitle(MidiPortNames::synthesizerPortName());
    setStyleSheet(QStringLiteral("QWidget { font-size: %1pt; }").arg(Inspector::fontPointSize()));

    m_channelsModel = new SynthChannelsModel(this);
    channelsView->setModel(m_channelsModel);
    channelsView->setUniformRowHeights(true);
    channelsView->setRootIsDecorated(false);
    // The channel numbers take their width; the names, in the last column, take the rest.
    channelsView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    channelsView->header()->setStretchLastSection(true);
    connect(channelsView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MidiSynthDialog::onChannelIndexOrDataChanged);
    connect(m_channelsModel, &QAbstractItemModel::dataChanged, this,
            &MidiSynthDialog::onChannelIndexOrDataChanged);

    m_instrumentsModel = new SynthInstrumentsModel(this);
    instrumentsComboBox->setModel(m_instrumentsModel);
    // Shown while the channel plays none of the bank's instruments.
    instrumentsComboBox->setPlaceholderText(tr("(none)"));

    // A number typed is sent once it is finished (Return, Tab, a click elsewhere): the digits on
    // the way to it name other instruments.
    for (QSpinBox* box : {programSpinBox, bankMSBSpinBox, bankLSBSpinBox}) {
        box->setKeyboardTracking(false);
        connect(box, &QSpinBox::valueChanged, this, &MidiSynthDialog::onAnySpinBoxValueChanged);
    }

    const AppServices* services = AppServices::instance();
    const QByteArray geometry = services
        ? services->settings()->value(PreferenceKeys::MidiSynthDialogGeometry).toByteArray()
        : QByteArray();
    if (geometry.isNull() || !restoreGeometry(geometry))
        placeFirstTime();
    refresh();
}

MidiSynthDialog::~MidiSynthDialog()
{
    if (const AppServices* services = AppServices::instance())
        services->settings()->setValue(PreferenceKeys::MidiSynthDialogGeometry, saveGeometry());
}

void MidiSynthDialog::placeFirstTime()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.x() + area.width() / 2 - width() / 2,
         area.y() + int((area.height() / 2 - height() / 2) * 0.5));
}

MidiSynth* MidiSynthDialog::synth() const
{
    return m_synth;
}

void MidiSynthDialog::setSynth(MidiSynth* newSynth)
{
    if (m_synth)
        disconnect(m_synth, nullptr, this, nullptr);
    m_synth = newSynth;
    if (newSynth)
        connect(newSynth, &QObject::destroyed, this, &MidiSynthDialog::onSynthDestroyed);
    setModelsSynth(newSynth);
}

void MidiSynthDialog::onSynthDestroyed()
{
    m_synth = nullptr;
    setModelsSynth(nullptr);
}

void MidiSynthDialog::setModelsSynth(MidiSynth* newSynth)
{
    {
        // The combo box would take its first row as a choice and write it to the channel.
        const QSignalBlocker blocker(instrumentsComboBox);
        m_channelsModel->setSynth(newSynth);
        m_instrumentsModel->setSynth(newSynth);
    }
    refresh();
}

void MidiSynthDialog::refresh()
{
    channelsView->reset();
    instrumentsComboBox->view()->reset();
    const QModelIndex first = m_channelsModel->index(0, 0);
    channelsView->selectionModel()->setCurrentIndex(first,
                                                    QItemSelectionModel::ClearAndSelect
                                                        | QItemSelectionModel::Current
                                                        | QItemSelectionModel::Rows);
    // A current index that stayed the same reports no change: show the channel here.
    onChannelIndexOrDataChanged(channelsView->currentIndex());
    const QString bank = m_synth ? m_synth->soundBankName() : QString();
    soundBankLabel->setText(bank.isEmpty() ? tr("(no sound bank)") : bank);
}

int MidiSynthDialog::currentChannel() const
{
    const QModelIndex current = channelsView->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void MidiSynthDialog::onChannelIndexOrDataChanged(const QModelIndex& topLeft)
{
    if (!topLeft.isValid() || topLeft.row() != currentChannel())
        return;
    // The combo box and the numbers show what the channel plays, as the table does: where the
    // bank lacks the instrument selected, the substitute that sounds. A channel that plays
    // nothing (no sound bank) shows the numbers selected.
    MidiInstrumentId id = m_synth ? m_synth->channelInstrument(topLeft.row()) : 0;
    int index = -1;
    if (m_synth) {
        const MidiInstrumentId sounding = m_synth->soundingInstrument(topLeft.row());
        if (sounding != NoMidiInstrument)
            id = sounding;
        index = m_synth->instrumentIndex(sounding);
        if (m_synth->instrumentId(index) != sounding)
            index = -1;
    }
    channelsView->viewport()->update();
    {
        const QSignalBlocker blocker(instrumentsComboBox);
        instrumentsComboBox->setCurrentIndex(index);
    }
    // Program in bits 16-22, bank LSB in bits 8-14, bank MSB in bits 0-6.
    const quint32 programBank = midiInstrumentIdToProgramBank(id);
    const std::pair<QSpinBox*, int> values[] = {{programSpinBox, int(programBank >> 16) + 1},
                                                {bankMSBSpinBox, int(programBank & 0x7f)},
                                                {bankLSBSpinBox, int((programBank >> 8) & 0x7f)}};
    for (const auto& [box, value] : values) {
        const QSignalBlocker blocker(box);
        box->setValue(value);
    }
}

void MidiSynthDialog::on_instrumentsComboBox_currentIndexChanged(int index)
{
    const int channel = currentChannel();
    if (m_synth && channel >= 0 && index >= 0)
        m_synth->setChannelInstrument(channel, m_synth->instrumentId(index));
}

void MidiSynthDialog::onAnySpinBoxValueChanged()
{
    const int channel = currentChannel();
    if (!m_synth || channel < 0)
        return;
    const quint32 programBank = quint32(programSpinBox->value() - 1) << 16
        | quint32(bankLSBSpinBox->value()) << 8 | quint32(bankMSBSpinBox->value());
    m_synth->setChannelInstrument(channel, programBankToMidiInstrumentId(programBank));
}

void MidiSynthDialog::on_resetButton_clicked()
{
    if (m_synth)
        m_synth->reset();
}
