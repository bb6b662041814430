#include "WheellessWidgets.h"

#include <QWheelEvent>

WheellessQwpComboBox::WheellessQwpComboBox(QWidget* parent)
    : QwpComboBox(parent)
{ }

void WheellessQwpComboBox::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}

WheellessChooser::WheellessChooser(QWidget* parent)
    : Chooser(parent)
{ }

void WheellessChooser::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}
