#ifndef WHEELLESSWIDGETS_H
#define WHEELLESSWIDGETS_H

#include "Chooser.h"
#include "QwpComboBox.h"

// Variants for forms inside a scroll area: the mouse wheel never changes their value and goes
// on to the parent, so that turning it over the form scrolls the form.

class WheellessQwpComboBox : public QwpComboBox
{
    Q_OBJECT

public:
    explicit WheellessQwpComboBox(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};

class WheellessChooser : public Chooser
{
    Q_OBJECT

public:
    explicit WheellessChooser(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};

#endif // WHEELLESSWIDGETS_H
