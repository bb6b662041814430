#include "SqueezedText.h"

#include <QStyleOptionButton>

namespace {

QString squeezed(const QFontMetrics& metrics, const QString& text, Qt::TextElideMode mode,
                 int available)
{
    if (metrics.horizontalAdvance(text) <= available)
        return text;
    return metrics.elidedText(text, mode, available);
}

} // namespace

SqueezedTextCheckBox::SqueezedTextCheckBox(QWidget* parent)
    : QCheckBox(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateDecorationWidth();
}

SqueezedTextCheckBox::SqueezedTextCheckBox(const QString& text, QWidget* parent)
    : SqueezedTextCheckBox(parent)
{
    setText(text);
}

SqueezedTextCheckBox::~SqueezedTextCheckBox() = default;

void SqueezedTextCheckBox::setTextElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    squeeze();
}

QSize SqueezedTextCheckBox::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(m_fullText) + m_decorationWidth,
                 QCheckBox::sizeHint().height());
}

QSize SqueezedTextCheckBox::minimumSizeHint() const
{
    return QSize(-1, QCheckBox::minimumSizeHint().height());
}

void SqueezedTextCheckBox::setText(const QString& text)
{
    m_fullText = text;
    squeeze();
}

void SqueezedTextCheckBox::resizeEvent(QResizeEvent*)
{
    updateDecorationWidth();
    squeeze();
}

void SqueezedTextCheckBox::updateDecorationWidth()
{
    QStyleOptionButton option;
    initStyleOption(&option);
    m_decorationWidth
        = width() - style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this).width();
}

void SqueezedTextCheckBox::squeeze()
{
    const QString shown
        = squeezed(fontMetrics(), m_fullText, m_elideMode, width() - m_decorationWidth);
    if (shown != text())
        QCheckBox::setText(shown);
}

SqueezedTextLabel::SqueezedTextLabel(QWidget* parent)
    : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

SqueezedTextLabel::SqueezedTextLabel(const QString& text, QWidget* parent)
    : SqueezedTextLabel(parent)
{
    setText(text);
}

SqueezedTextLabel::~SqueezedTextLabel() = default;

void SqueezedTextLabel::setTextElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    squeeze();
}

void SqueezedTextLabel::setAlignment(Qt::Alignment alignment)
{
    QLabel::setAlignment(alignment);
    squeeze();
}

QSize SqueezedTextLabel::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(m_fullText), QLabel::sizeHint().height());
}

QSize SqueezedTextLabel::minimumSizeHint() const
{
    return QSize(-1, QLabel::minimumSizeHint().height());
}

void SqueezedTextLabel::setText(const QString& text)
{
    m_fullText = text;
    squeeze();
}

void SqueezedTextLabel::resizeEvent(QResizeEvent*)
{
    squeeze();
}

void SqueezedTextLabel::squeeze()
{
    const QString shown = squeezed(fontMetrics(), m_fullText, m_elideMode, width());
    if (shown != text())
        QLabel::setText(shown);
}
