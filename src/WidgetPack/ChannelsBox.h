#ifndef CHANNELSBOX_H
#define CHANNELSBOX_H

#include <QBitArray>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QStyle;

// Edits a set of MIDI channels as sixteen toggle buttons with "All" and "None". Bit i of the
// value set means channel i + 1 is selected; the value always holds 16 bits.
class ChannelsBox : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QBitArray channels READ channels WRITE setChannels NOTIFY channelsChanged)

public:
    static constexpr int ChannelCount = 16;

    explicit ChannelsBox(QWidget* parent = nullptr);
    ~ChannelsBox() override;

    QBitArray channels() const { return m_channels; }
    QAbstractButton* channelButton(int index) const;

public slots:
    // Stores the value cut or extended to 16 bits (new bits cleared), shows it and emits
    // channelsChanged, also when nothing changed.
    void setChannels(const QBitArray& channels);
    void onButtonClicked(QAbstractButton* button);
    void onAllButtonClicked();
    void onNoneButtonClicked();

signals:
    void channelsChanged(const QBitArray& channels);

private:
    // The one style of every box's buttons, kept by the application object.
    static QStyle* buttonStyle();

    QBitArray m_channels;
    QButtonGroup* m_group;
};

#endif // CHANNELSBOX_H
