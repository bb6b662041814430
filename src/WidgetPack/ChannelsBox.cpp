#include "ChannelsBox.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace {

constexpr int ButtonSide = 22;
constexpr int MinimumPointSize = 7;

// The compact Fusion look, with a selected channel in the highlight colour, plain to see at a
// glance.
class ChannelButtonStyle : public QProxyStyle
{
public:
    ChannelButtonStyle()
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
    { }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element == PE_PanelButtonCommand && button && (button->state & State_On)) {
            QStyleOptionButton on(*button);
            on.palette.setColor(QPalette::Button, on.palette.color(QPalette::Highlight));
            QProxyStyle::drawPrimitive(element, &on, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element == CE_PushButtonLabel && button && (button->state & State_On)) {
            QStyleOptionButton on(*button);
            on.palette.setColor(QPalette::ButtonText, on.palette.color(QPalette::HighlightedText));
            QProxyStyle::drawControl(element, &on, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

ChannelsBox::ChannelsBox(QWidget* parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    m_group->setExclusive(false);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(2);

    QFont buttonFont = font();
    const int defaultSize = QApplication::font().pointSize();
    if (defaultSize > 0)
        buttonFont.setPointSize(qMax(defaultSize - 2, MinimumPointSize));
    QStyle* style = buttonStyle();
    for (int i = 0; i < ChannelCount; ++i) {
        auto* button = new QPushButton(QString::number(i + 1), this);
        button->setCheckable(true);
        button->setFixedSize(ButtonSide, ButtonSide);
        button->setFont(buttonFont);
        button->setStyle(style);
        m_group->addButton(button, i);
        grid->addWidget(button, i / 8, i % 8);
    }
    auto* all = new QPushButton(tr("All"), this);
    auto* none = new QPushButton(tr("None"), this);
    for (QPushButton* button : {all, none}) {
        button->setFont(buttonFont);
        button->setFixedHeight(ButtonSide);
        button->setStyle(style);
    }
    grid->addWidget(all, 2, 4, 1, 2);
    grid->addWidget(none, 2, 6, 1, 2);
    setFixedSize(200, 78);

    connect(m_group, &QButtonGroup::buttonClicked, this, &ChannelsBox::onButtonClicked);
    connect(all, &QPushButton::clicked, this, &ChannelsBox::onAllButtonClicked);
    connect(none, &QPushButton::clicked, this, &ChannelsBox::onNoneButtonClicked);
    setChannels(QBitArray());
}

ChannelsBox::~ChannelsBox() = default;

QAbstractButton* ChannelsBox::channelButton(int index) const
{
    return m_group->button(index);
}

void ChannelsBox::setChannels(const QBitArray& channels)
{
    m_channels = channels;
    m_channels.resize(ChannelCount);
    for (int i = 0; i < ChannelCount; ++i)
        m_group->button(i)->setChecked(m_channels.testBit(i));
    emit channelsChanged(m_channels);
}

void ChannelsBox::onButtonClicked(QAbstractButton* button)
{
    const int i = m_group->id(button);
    if (i < 0 || i >= ChannelCount)
        return;
    m_channels.setBit(i, button->isChecked());
    emit channelsChanged(m_channels);
}

void ChannelsBox::onAllButtonClicked()
{
    setChannels(QBitArray(ChannelCount, true));
}

void ChannelsBox::onNoneButtonClicked()
{
    setChannels(QBitArray(ChannelCount, false));
}

QStyle* ChannelsBox::buttonStyle()
{
    static QPointer<QStyle> style;
    if (!style && qApp) {
        style = new ChannelButtonStyle;
        style->setParent(qApp);
    }
    return style;
}
