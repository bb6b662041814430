#include "ColorChooserButton.h"

#include "AppServices.h"

#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

ColorChooserButton::ColorChooserButton(QWidget* parent)
    : QPushButton(parent)
{
    connect(this, &QPushButton::clicked, this, &ColorChooserButton::onClicked);
}

ColorChooserButton::~ColorChooserButton() = default;

void ColorChooserButton::setColor(const QColor& color)
{
    m_color = color;
    if (m_ignoreAlpha && m_color.isValid())
        m_color.setAlpha(255);
    updateSwatch();
    emit colorChanged(m_color);
}

void ColorChooserButton::setIgnoreAlpha(bool ignore)
{
    m_ignoreAlpha = ignore;
}

void ColorChooserButton::onClicked()
{
    AppServices* services = AppServices::instance();
    if (!services)
        return;
    services->connectAppColorDialog(this, SLOT(setColor(QColor)));
    services->updateAppColorDialog(m_color);
    services->showAppColorDialog();
}

void ColorChooserButton::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    // The swatch fills the button at every size, not only at the size it had when the colour
    // was set.
    if (event->size() != event->oldSize())
        updateSwatch();
}

void ColorChooserButton::updateSwatch()
{
    const int w = width() - 2 * m_iconMargin;
    const int h = height() - 2 * m_iconMargin;
    if (!m_color.isValid() || w < 3 || h < 3) {
        setIcon(QIcon());
        return;
    }
    QPixmap swatch(w, h);
    swatch.fill(QColor(90, 90, 90));
    QPainter painter(&swatch);
    painter.setPen(Qt::NoPen);
    const QRect inner(1, 1, w - 2, h - 2);
    painter.fillRect(inner, Qt::white);
    painter.setBrush(Qt::black);
    const QPoint triangle[3] = {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2)};
    painter.drawPolygon(triangle, 3);
    painter.fillRect(inner, m_color);
    painter.end();
    setIcon(QIcon(swatch));
    setIconSize(swatch.size());
}
